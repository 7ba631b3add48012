// Registry content as a table, loaded into the in-memory registry: for the
// unit tests and the fuzzer.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/portable.h"

// One registry value below HKEY_LOCAL_MACHINE, names and data in Latin-1.
// Instead of a value type: subkey makes a key below path named name as the
// ANSI functions return it (a best-fit name may hold a backslash); vanished
// makes the key fail to open, and listingFails makes listing its values and
// subkeys fail from the index in name on, as for a key deleted meanwhile.
struct regEntry {
    std::string path;
    std::string name;
    std::uint32_t type;
    std::string data;
};
constexpr std::uint32_t subkey = 0xFFFFFFFE;
constexpr std::uint32_t vanished = 0xFFFFFFFD;
constexpr std::uint32_t listingFails = 0xFFFFFFFC;

inline const std::string jre = "Software\\JavaSoft\\Java Runtime Environment";

// REG_SZ data as the registry stores it: the text and its NUL.
inline std::string sz(const std::string& text) {
    return text + '\0';
}

inline void load(const std::vector<regEntry>& entries) {
    for (const regEntry& entry : entries) {
        if (entry.type == subkey) {
            portable::addKey(entry.path, entry.name);
        } else if (entry.type == vanished) {
            portable::failOpen(entry.path, platform::regFileNotFound);
        } else if (entry.type == listingFails) {
            portable::failListing(entry.path, std::stoul(entry.name), 1018);  // ERROR_KEY_DELETED
        } else {
            portable::setValue(entry.path, entry.name, entry.type, entry.data);
        }
    }
}

// The values v0, v1, ... of one key, and the entries after them.
inline std::vector<regEntry> manyValues(const std::string& path, int count, std::vector<regEntry> after = {}) {
    std::vector<regEntry> entries;
    for (int i = 0; i < count; ++i) entries.push_back({path, "v" + std::to_string(i), platform::regSz, sz("")});
    entries.insert(entries.end(), after.begin(), after.end());
    return entries;
}
