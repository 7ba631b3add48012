// regHelper: reading registry keys and searching a registry subtree.
//
// Every operation opens the key it needs by root and path, closes it again
// before it returns, and reports absence or trouble as an empty result, never
// as a failure. The one failure raised here is a key with too many values for
// the search (tooManyValuesFailure).
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

// A list of names indexed from 0 that always has at least one element: a key
// without names (or one that cannot be opened) gives the list of one empty
// name.
using regNameList = std::vector<std::u16string>;

// The value names of the key rootKey\keyPath, in the registry's enumeration
// order. The key's default value, when set, appears as the empty name. A name
// too long for the 255-byte ANSI buffer is passed over; the listing goes on.
regNameList regListValueNames(std::uint32_t rootKey, const std::u16string& keyPath);

// The direct subkey names of rootKey\keyPath, in enumeration order. Element 0
// is empty exactly when none can be listed. Names too long for the 255-byte
// buffer are passed over, and so are names holding a backslash: no key name
// holds one, but a character outside the ANSI code page can come back as one.
regNameList regListSubkeyNames(std::uint32_t rootKey, const std::u16string& keyPath);

// The text of a REG_SZ value (the empty name addresses the default value), up
// to its first NUL and never past the bytes the registry returned. Empty for a
// missing key or value, any other type, or data over 256 bytes with its NUL.
std::u16string regReadString(std::uint32_t rootKey, const std::u16string& keyPath, const std::u16string& valueName);

// 16-bit truth values: True is -1 (all bits set), False 0.
constexpr std::int16_t regTrue = -1;
constexpr std::int16_t regFalse = 0;

// What regSearch looks for and where. matchMode 0 compares whole texts
// exactly; 1 tests containment after upper-casing both sides; any other mode
// matches nothing. The three match flags count when non-zero; recurse only
// when exactly regTrue.
struct regSearchSpec {
    std::u16string searchText;
    std::u16string keyPath;
    std::uint32_t rootKey = 0;
    std::int32_t matchMode = 0;
    std::int16_t recurse = regFalse;
    std::int16_t matchKey = regFalse;
    std::int16_t matchValueName = regFalse;
    std::int16_t matchValueData = regFalse;
};

// Raised for a key with 32,768 or more values.
struct tooManyValuesFailure : std::exception {
    explicit tooManyValuesFailure(std::u16string path) : keyPath(std::move(path)) {}
    const char* what() const noexcept override { return "registry key has too many values"; }
    std::u16string keyPath;
};

// Appends to hits one text per matching value of the key spec.keyPath and,
// when spec.recurse is regTrue, of every key below it, depth-first and
// pre-order. A hit is: shown key path, CR LF, value name, CR LF, value data as
// regReadString reads it. The shown path is the key path with a backslash in
// front when it holds none (so "Software" shows as "\Software").
//
// spec.keyPath is changed during the search and holds the caller's value again
// when regSearch returns or throws. A failure below the starting key is
// confined to that key's subtree; a failure at the starting key (too many
// values, memory) reaches the caller, with the hits found before it kept.
void regSearch(regSearchSpec& spec, std::vector<std::u16string>& hits);
