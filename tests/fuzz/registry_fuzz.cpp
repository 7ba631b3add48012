// Fuzzes the registry search and the Java home lookup against the in-memory
// registry.
//
// The input describes a registry below the Java key, as a table of the unit
// tests (keys deep and wide; names and data with CR LF, NUL, bytes 0x80-0xFF
// and lengths at the buffer limits; every value type; best-fit key names;
// keys that vanish or fail in the middle of a listing), and a regSearchSpec
// with any texts, mode and flags. Beyond "no crash", every run checks that
// keyPath is put back, every handle is closed, every hit holds two CR LF,
// hits are only appended, and the same registry gives the same hits and home
// twice.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cassert>

#include "../unit/registryTable.h"
#include "launcher/launcher.h"
#include "registry/regHelper.h"

namespace {

// A name that matters to the lookup, one at the buffer limits, or any bytes.
std::string text(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return in.ConsumeRandomLengthString(24);
    if (in.ConsumeBool()) return std::string(in.ConsumeIntegralInRange<std::size_t>(253, 258), 'n');
    return in.PickValueInArray<std::string>({"JavaHome", "OldJAVAHOME", "1.4", "1.4.2", "1.10", "x\\y", "a\r\nb", ""});
}

// Any UTF-16 code units: non-Latin letters, lone surrogates, NUL, CR LF.
std::u16string anyText(FuzzedDataProvider& in) {
    std::u16string result(in.ConsumeIntegralInRange<std::size_t>(0, 12), u'\0');
    for (char16_t& c : result) c = in.ConsumeIntegral<char16_t>();
    return result;
}

std::vector<std::u16string> search(regSearchSpec& spec) {
    std::vector<std::u16string> hits{u"earlier"};
    const std::u16string keyPath = spec.keyPath;
    regSearch(spec, hits);  // no failure short of 32,768 values in a key
    assert(spec.keyPath == keyPath && "keyPath put back");
    assert(portable::openKeyCount() == 0 && "every handle closed");
    assert(hits.front() == u"earlier" && "hits appended, never reordered");
    for (std::size_t i = 1; i < hits.size(); ++i) {
        assert(hits[i].find(u"\r\n", hits[i].find(u"\r\n") + 2) != std::u16string::npos && "two CR LF a hit");
    }
    return hits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider in(bytes, size);
    portable::reset();
    std::vector<std::string> keys{jre};
    std::vector<regEntry> entries;
    for (int n = in.ConsumeIntegralInRange(0, 300); n > 0 && in.remaining_bytes() > 0; --n) {
        const std::string at = keys[in.ConsumeIntegralInRange<std::size_t>(0, keys.size() - 1)];
        std::string name = text(in);
        // Value types 0 to 11, then the table's other kinds (13: a best-fit key name).
        const std::uint32_t kind = in.ConsumeIntegralInRange<std::uint32_t>(0, 15);
        if (kind == 12) {  // a key to put more below: one level, not empty
            std::replace(name.begin(), name.end(), '\\', '/');
            name = name.empty() ? "k" : name;
            keys.push_back(at + "\\" + name);
        }
        if (kind == 15) name = std::to_string(in.ConsumeIntegralInRange(0, 5));
        const std::uint32_t kinds[] = {subkey, subkey, vanished, listingFails};
        entries.push_back({at, name, kind < 12 ? kind : kinds[kind - 12], in.ConsumeBool() ? sz(text(in)) : text(in)});
    }
    load(entries);

    const std::string& start = keys[in.ConsumeIntegralInRange<std::size_t>(0, keys.size() - 1)];
    regSearchSpec spec{
        in.ConsumeBool() ? u"JavaHome" : anyText(in),
        platform::fromAnsi(platform::ansiText(start.data(), start.size())) + (in.ConsumeBool() ? anyText(in) : u""),
        platform::hkeyLocalMachine,
        in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 1) : in.ConsumeIntegral<std::int32_t>()};
    for (std::int16_t* flag : {&spec.recurse, &spec.matchKey, &spec.matchValueName, &spec.matchValueData}) {
        *flag = in.ConsumeBool() ? in.PickValueInArray<std::int16_t>({regTrue, regFalse, 1})
                                 : in.ConsumeIntegral<std::int16_t>();
    }
    assert(search(spec) == search(spec) && "the same registry gives the same hits twice");
    assert(findInstalledJavaHome() == findInstalledJavaHome() && "and the same home");
    assert(portable::openKeyCount() == 0 && "every handle closed after the lookup");
    return 0;
}
