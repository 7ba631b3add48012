// Fuzzes the registry search and the Java home lookup against the in-memory
// registry.
//
// The input describes a registry (keys deep and wide; names and data with CR
// LF, NUL, non-Latin characters and lengths at the buffer limits; every value
// type; enumeration and open errors) and a regSearchSpec with any
// mode and flag values. Beyond "no crash", every run checks that keyPath is
// put back, every handle is closed, every hit holds two CR LF, hits are only
// appended, and the same registry gives the same hits and home twice.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "platform/platform.h"
#include "platform/portable.h"
#include "registry/regHelper.h"

namespace {

const std::string jre = "Software\\JavaSoft\\Java Runtime Environment";

void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Names that matter to the lookup, near-misses, and text the format must
// survive; or arbitrary bytes, sometimes at the 254/255/256-byte limits.
std::string name(FuzzedDataProvider& in, bool forKey) {
    static const char* const words[] = {
        "JavaHome",      "javahome", "OldJavaHome", "JAVAHOME", "1.4",      "1.4.2",      "1.10", "1.9",
        "JavaHomeTools", "a\r\nb",   "\r\n",        "J\xe4ger", "\xff\xfe", "RuntimeLib", "x",
    };
    std::string text;
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            text = words[in.ConsumeIntegralInRange<std::size_t>(0, sizeof words / sizeof words[0] - 1)];
            break;
        case 1:
            text = std::string(in.ConsumeIntegralInRange<std::size_t>(253, 257), 'n');
            break;
        default:
            text = in.ConsumeRandomLengthString(24);
    }
    if (forKey) {
        // A key's name is one level: no backslash, not empty.
        for (char& c : text) {
            if (c == '\\') c = '/';
        }
        if (text.empty()) text = "k";
    }
    return text;
}

std::string data(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            return "C:\\j2re" + std::string(1, '\0');
        case 1:
            return std::string(in.ConsumeIntegralInRange<std::size_t>(254, 258), 'd');
        default:
            return in.ConsumeRandomLengthString(64);
    }
}

// Builds the registry; returns the key paths it made, the starting key first.
std::vector<std::string> buildRegistry(FuzzedDataProvider& in) {
    std::vector<std::string> keys{jre};
    portable::addKey(jre);
    const int steps = in.ConsumeIntegralInRange(0, 200);
    for (int step = 0; step < steps && in.remaining_bytes() > 0; ++step) {
        const std::string& at = keys[in.ConsumeIntegralInRange<std::size_t>(0, keys.size() - 1)];
        switch (in.ConsumeIntegralInRange(0, 7)) {
            case 0:
            case 1:
                keys.push_back(at + "\\" + name(in, true));
                portable::addKey(keys.back());
                break;
            case 2: {  // a chain of keys, deep
                std::string path = at;
                const int depth = in.ConsumeIntegralInRange(1, 60);
                for (int level = 0; level < depth; ++level) path += "\\" + name(in, true).substr(0, 3);
                portable::addKey(path);
                keys.push_back(path);
                break;
            }
            case 3:  // many values, wide
                for (int i = in.ConsumeIntegralInRange(1, 300); i > 0; --i) {
                    portable::setValue(at, "v" + std::to_string(i), platform::regSz, "x");
                }
                break;
            case 4: {
                const std::string valueName = name(in, false);
                const std::uint32_t type = in.ConsumeIntegralInRange<std::uint32_t>(0, 11);
                portable::setValue(at, valueName, type, data(in));
                break;
            }
            case 5:
                portable::failValueEnumeration(at, in.ConsumeIntegralInRange<std::uint32_t>(0, 5),
                                               in.ConsumeBool() ? platform::regAccessDenied : 1018);
                break;
            case 6:
                portable::failSubkeyEnumeration(at, in.ConsumeIntegralInRange<std::uint32_t>(0, 5), 1018);
                break;
            case 7:
                portable::failOpen(at, in.ConsumeBool() ? platform::regAccessDenied : platform::regFileNotFound);
                break;
        }
    }
    return keys;
}

// Any UTF-16 code units: non-Latin letters, lone surrogates, NUL, CR LF. The
// registry itself holds ANSI bytes; such text reaches it only through the
// conversion, which turns what the code page lacks into "?".
std::u16string anyText(FuzzedDataProvider& in) {
    std::u16string text;
    for (std::size_t n = in.ConsumeIntegralInRange<std::size_t>(0, 12); n > 0; --n) {
        text += in.ConsumeIntegral<char16_t>();
    }
    return text;
}

std::int16_t truth(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            return regTrue;
        case 1:
            return regFalse;
        case 2:
            return 1;
        default:
            return in.ConsumeIntegral<std::int16_t>();
    }
}

std::vector<std::u16string> search(regSearchSpec& spec) {
    std::vector<std::u16string> hits{u"earlier"};
    const std::u16string keyPath = spec.keyPath;
    try {
        regSearch(spec, hits);
    } catch (const tooManyValuesFailure&) {
        // Possible at the starting key only; the hits before it stay.
    }
    require(spec.keyPath == keyPath, "keyPath holds the caller's value afterwards");
    require(portable::openKeyCount() == 0, "every registry handle is closed");
    require(!hits.empty() && hits.front() == u"earlier", "hits are appended, never reordered");
    for (std::size_t i = 1; i < hits.size(); ++i) {
        const std::size_t first = hits[i].find(u"\r\n");
        require(first != std::u16string::npos && hits[i].find(u"\r\n", first + 2) != std::u16string::npos,
                "every hit holds two CR LF");
    }
    return hits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider in(bytes, size);
    portable::reset();
    const std::vector<std::string> keys = buildRegistry(in);

    regSearchSpec spec;
    spec.rootKey = platform::hkeyLocalMachine;
    spec.searchText = platform::fromAnsi(platform::ansiText(in.ConsumeBool() ? "JavaHome" : ""));
    if (in.ConsumeBool()) {
        const std::string text = name(in, false);
        spec.searchText = platform::fromAnsi(platform::ansiText(text.data(), text.size()));
    }
    if (in.ConsumeBool()) spec.searchText = anyText(in);
    const std::string& start = keys[in.ConsumeIntegralInRange<std::size_t>(0, keys.size() - 1)];
    spec.keyPath = platform::fromAnsi(platform::ansiText(start.data(), start.size()));
    if (in.ConsumeIntegralInRange(0, 7) == 0) spec.keyPath += anyText(in);
    spec.matchMode = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 1) : in.ConsumeIntegral<std::int32_t>();
    spec.recurse = truth(in);
    spec.matchKey = truth(in);
    spec.matchValueName = truth(in);
    spec.matchValueData = truth(in);

    const std::vector<std::u16string> hits = search(spec);
    require(search(spec) == hits, "the same registry gives the same hits twice");

    std::u16string home;
    try {
        home = findInstalledJavaHome();
    } catch (const tooManyValuesFailure&) {
        home = u"(failed)";
    }
    require(portable::openKeyCount() == 0, "every registry handle is closed after the lookup");
    std::u16string again;
    try {
        again = findInstalledJavaHome();
    } catch (const tooManyValuesFailure&) {
        again = u"(failed)";
    }
    require(home == again, "the same registry gives the same home twice");
    return 0;
}
