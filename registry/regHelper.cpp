#include "registry/regHelper.h"

#include <climits>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "platform/platform.h"

namespace {

// The fixed buffer sizes of the key readers, in ANSI bytes.
constexpr std::uint32_t nameBufferSize = 255;
constexpr std::uint32_t dataBufferSize = 256;

// The search counts values with a signed 16-bit counter: a key with more
// values than it can count fails (see regSearch).
constexpr std::size_t valueCounterLimit = 32768;

// The status of the last registry open, enumeration or query, tested right
// after each call.
std::int32_t lastRegStatus = platform::regSuccess;

// A key path or value name in the ANSI code page, for the ANSI functions. They
// take a name as ending at its first NUL, so a name holding one would reach
// them cut short and address another key or value: such a name names none.
bool toAnsiName(const std::u16string& name, platform::ansiText& ansi) {
    ansi = platform::toAnsi(name);
    return ansi.find('\0') == platform::ansiText::npos;
}

// Opens rootKey\keyPath and returns the status.
std::int32_t openKey(std::uint32_t rootKey, const std::u16string& keyPath, std::uint32_t access,
                     platform::regKey& key) {
    platform::ansiText path;
    return toAnsiName(keyPath, path) ? platform::regOpenKey(rootKey, path, access, key) : platform::regFileNotFound;
}

// The text of a name buffer the platform filled: up to its first NUL and never
// past the length it reported.
std::u16string nameFromBuffer(const char* buffer, std::size_t length) {
    const void* nul = std::memchr(buffer, '\0', length);
    if (nul != nullptr) length = static_cast<std::size_t>(static_cast<const char*>(nul) - buffer);
    return platform::fromAnsi(platform::ansiText(buffer, length));
}

// Enumerates one kind of name of an open key. The enumerator reads the name at
// an index into a blank-filled buffer of nameBufferSize bytes and returns the
// status and the name's length. An index whose name does not fit is passed
// over, so one overlong name hides no other; any other status ends the list.
// For key names (pathLevels) a name holding a backslash is passed over too:
// no key name holds one, but the ANSI functions return a name made of x, the
// fullwidth backslash U+FF3C and y as x\y, which joined into a path would
// name the key y below x instead.
template <typename Enumerate>
regNameList listNames(std::uint32_t rootKey, const std::u16string& keyPath, std::uint32_t access, bool pathLevels,
                      Enumerate enumerate) {
    regNameList names;
    platform::regKey key = 0;
    lastRegStatus = openKey(rootKey, keyPath, access, key);
    if (lastRegStatus == platform::regSuccess) {
        try {
            for (std::int32_t index = 0; index < INT32_MAX; ++index) {
                char buffer[nameBufferSize];
                std::memset(buffer, ' ', sizeof buffer);
                std::uint32_t length = nameBufferSize;
                lastRegStatus = enumerate(key, static_cast<std::uint32_t>(index), buffer, length);
                if (lastRegStatus == platform::regMoreData) continue;
                if (lastRegStatus != platform::regSuccess) break;
                std::u16string name = nameFromBuffer(buffer, length < nameBufferSize ? length : nameBufferSize);
                if (pathLevels && name.find(u'\\') != std::u16string::npos) continue;
                names.push_back(std::move(name));
            }
        } catch (...) {
            platform::regCloseKey(key);
            throw;
        }
        platform::regCloseKey(key);
    }
    if (names.empty()) names.emplace_back();
    return names;
}

// "Software" shows as "\Software", the root as "\"; deeper paths unchanged.
std::u16string shownPath(const std::u16string& keyPath) {
    if (keyPath.find(u'\\') != std::u16string::npos) return keyPath;
    return u'\\' + keyPath;
}

// The last level of a shown path: its text after the last backslash.
std::u16string lastLevel(const std::u16string& path) {
    return path.substr(path.rfind(u'\\') + 1);
}

// The parts one after the other, in one allocation.
std::u16string joined(std::initializer_list<std::u16string_view> parts) {
    std::size_t length = 0;
    for (const std::u16string_view part : parts) length += part.size();
    std::u16string text;
    text.reserve(length);
    for (const std::u16string_view part : parts) text.append(part);
    return text;
}

bool contains(const std::u16string& text, const std::u16string& part) {
    return text.find(part) != std::u16string::npos;
}

// Whether one value is a hit. The criteria are tested in the order data,
// name, key path; upperSearch and upperShown are the upper-cased search text
// and shown path, computed once per key.
bool isHit(const regSearchSpec& spec, const std::u16string& data, const std::u16string& name,
           const std::u16string& shown, const std::u16string& upperSearch, const std::u16string& upperShown) {
    const std::u16string& search = spec.searchText;
    if (spec.matchMode == 0) {
        if (search == data && spec.matchValueData != 0) return true;
        if (search == name && spec.matchValueName != 0) return true;
        // Equality with the whole shown path counts even without matchKey.
        return search == shown || (lastLevel(shown) == search && spec.matchKey != 0);
    }
    if (spec.matchMode == 1) {
        if (spec.matchValueData != 0 && contains(platform::upperCase(data), upperSearch)) return true;
        if (spec.matchValueName != 0 && contains(platform::upperCase(name), upperSearch)) return true;
        return spec.matchKey != 0 && contains(upperShown, upperSearch);
    }
    return false;
}

}  // namespace

regNameList regListValueNames(std::uint32_t rootKey, const std::u16string& keyPath) {
    // Names only, no data buffer: a value with long data must not end the list.
    return listNames(rootKey, keyPath, platform::keyQueryValue, false,
                     [](platform::regKey key, std::uint32_t index, char* name, std::uint32_t& length) {
                         return platform::regEnumValueName(key, index, name, length);
                     });
}

regNameList regListSubkeyNames(std::uint32_t rootKey, const std::u16string& keyPath) {
    return listNames(rootKey, keyPath, platform::keyEnumerateSubKeys, true,
                     [](platform::regKey key, std::uint32_t index, char* name, std::uint32_t& length) {
                         const std::int32_t status = platform::regEnumKey(key, index, name, length);
                         // RegEnumKeyA reports no length; the NUL ends the name.
                         length = nameBufferSize;
                         return status;
                     });
}

std::u16string regReadString(std::uint32_t rootKey, const std::u16string& keyPath, const std::u16string& valueName) {
    platform::regKey key = 0;
    lastRegStatus = openKey(rootKey, keyPath, platform::keyQueryValue, key);
    if (lastRegStatus != platform::regSuccess) return {};

    unsigned char data[dataBufferSize];
    std::memset(data, ' ', sizeof data);
    std::uint32_t length = dataBufferSize;
    std::uint32_t type = platform::regNone;
    std::u16string text;
    try {
        platform::ansiText name;
        lastRegStatus = toAnsiName(valueName, name) ? platform::regQueryValue(key, name, type, data, length)
                                                    : platform::regFileNotFound;
        if (lastRegStatus == platform::regSuccess && type == platform::regSz) {
            text =
                nameFromBuffer(reinterpret_cast<const char*>(data), length < dataBufferSize ? length : dataBufferSize);
        }
    } catch (...) {
        platform::regCloseKey(key);
        throw;
    }
    platform::regCloseKey(key);
    return text;
}

void regSearch(regSearchSpec& spec, std::vector<std::u16string>& hits) {
    // Phase 1: the key's own values. A key without values still has its one
    // empty-named entry examined (the default value).
    const regNameList names = regListValueNames(spec.rootKey, spec.keyPath);
    if (names.size() > valueCounterLimit) throw tooManyValuesFailure(spec.keyPath);

    const std::u16string shown = shownPath(spec.keyPath);
    const bool upper = spec.matchMode == 1;
    const std::u16string upperSearch = upper ? platform::upperCase(spec.searchText) : std::u16string();
    const std::u16string upperShown = upper ? platform::upperCase(shown) : std::u16string();
    for (const std::u16string& name : names) {
        platform::processPendingMessages();
        const std::u16string data = regReadString(spec.rootKey, spec.keyPath, name);
        if (isHit(spec, data, name, shown, upperSearch, upperShown)) {
            hits.push_back(joined({shown, u"\r\n", name, u"\r\n", data}));
        }
    }
    // The counter covers exactly 32,768 values, then overflows on its last step.
    if (names.size() == valueCounterLimit) throw tooManyValuesFailure(spec.keyPath);

    // Phase 2: the subkeys, depth-first.
    if (spec.recurse != regTrue) return;
    const regNameList subkeys = regListSubkeyNames(spec.rootKey, spec.keyPath);
    if (subkeys[0].empty()) return;
    for (const std::u16string& subkey : subkeys) {
        platform::processPendingMessages();
        std::u16string remembered = spec.keyPath;
        try {
            spec.keyPath = remembered.empty() ? subkey : joined({remembered, u"\\", subkey});
            regSearch(spec, hits);
        } catch (...) {  // NOLINT(bugprone-empty-catch): a failure below costs only that subkey's subtree
            // The search goes on with the next subkey.
        }
        spec.keyPath = std::move(remembered);
    }
}
