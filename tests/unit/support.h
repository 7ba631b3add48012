// Shared pieces of the host unit tests: registry content as a table and a
// fixture that starts each test from an empty platform and checks afterwards
// that no registry handle was left open.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/portable.h"

// One registry value (or, with an empty type, just a key) below
// HKEY_LOCAL_MACHINE.
struct regEntry {
    std::string path;
    std::string name;
    std::uint32_t type;
    std::string data;
};

inline const std::uint32_t keyOnly = 0xFFFFFFFF;

// REG_SZ data as the registry stores it: the text and its NUL.
inline std::string sz(const std::string& text) {
    return text + '\0';
}

inline void load(const std::vector<regEntry>& entries) {
    for (const regEntry& entry : entries) {
        if (entry.type == keyOnly) {
            portable::addKey(entry.path);
        } else {
            portable::setValue(entry.path, entry.name, entry.type, entry.data);
        }
    }
}

// Readable UTF-16 in failure messages.
inline std::string show(const std::u16string& text) {
    std::string out;
    for (const char16_t c : text) {
        if (c == u'\r') {
            out += "\\r";
        } else if (c == u'\n') {
            out += "\\n";
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += "\\u{" + std::to_string(static_cast<unsigned>(c)) + "}";
        }
    }
    return out;
}

inline std::vector<std::string> show(const std::vector<std::u16string>& texts) {
    std::vector<std::string> out;
    for (const auto& text : texts) out.push_back(show(text));
    return out;
}

inline std::u16string u16(const std::string& latin1) {
    return platform::fromAnsi(platform::ansiText(latin1.data(), latin1.size()));
}

inline std::string latin1(const std::u16string& text) {
    const platform::ansiText ansi = platform::toAnsi(text);
    return std::string(ansi.data(), ansi.size());
}

class platformTest : public ::testing::Test {
  protected:
    void SetUp() override { portable::reset(); }
    void TearDown() override { EXPECT_EQ(portable::openKeyCount(), 0) << "a registry handle was left open"; }
};
