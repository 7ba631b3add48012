// Every operating-system operation the launcher and the registry helper use.
//
// Two implementations exist and the build links exactly one of them:
// windows.cpp (the real Win32 calls) and portable.cpp (an in-memory stand-in
// for the host tests). Texts are UTF-16 everywhere except where a Windows ANSI
// function is mirrored: there they are bytes in the system's ANSI code page.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Registry statuses, numbered as Windows numbers them.
constexpr std::int32_t regSuccess = 0;
constexpr std::int32_t regFileNotFound = 2;
constexpr std::int32_t regAccessDenied = 5;
constexpr std::int32_t regMoreData = 234;
constexpr std::int32_t regNoMoreItems = 259;

// Predefined root key and access rights, with their Windows values.
constexpr std::uint32_t hkeyLocalMachine = 0x80000002U;
constexpr std::uint32_t keyQueryValue = 0x0001;
constexpr std::uint32_t keyEnumerateSubKeys = 0x0008;

// Value types.
constexpr std::uint32_t regNone = 0;
constexpr std::uint32_t regSz = 1;
constexpr std::uint32_t regExpandSz = 2;
constexpr std::uint32_t regBinary = 3;
constexpr std::uint32_t regDword = 4;
constexpr std::uint32_t regMultiSz = 7;

using regKey = std::uintptr_t;

// Text in the system's ANSI code page, as the ANSI registry functions take
// it. Its own character traits make it a type of its own, so the compiler
// builds only the string members in use instead of linking all of the
// library's prebuilt std::string.
struct ansiTraits : std::char_traits<char> {};
using ansiText = std::basic_string<char, ansiTraits>;

// ---- Registry (the ANSI functions of advapi32) ----------------------------
// Each returns the registry status; nothing is written to the out arguments
// unless the status is regSuccess, except where said.

// RegOpenKeyExA(root, subKey, 0, access, &key). subKey is ANSI text, taken up
// to its first NUL; the empty text opens the root itself. Key names match
// without regard to case.
std::int32_t regOpenKey(std::uint32_t root, const ansiText& subKey, std::uint32_t access, regKey& key);

// RegEnumValueA(key, index, name, &nameCapacity, nullptr, nullptr, nullptr,
// nullptr): the value's name only, no data. On success name holds the
// NUL-terminated name and nameCapacity its length without the NUL.
// regMoreData when the name and its NUL do not fit nameCapacity bytes,
// regNoMoreItems past the last value.
std::int32_t regEnumValueName(regKey key, std::uint32_t index, char* name, std::uint32_t& nameCapacity);

// RegEnumKeyA(key, index, name, capacity): the subkey's NUL-terminated name.
// regMoreData when it does not fit, regNoMoreItems past the last subkey.
std::int32_t regEnumKey(regKey key, std::uint32_t index, char* name, std::uint32_t capacity);

// RegQueryValueExA(key, valueName, nullptr, &type, data, &dataCapacity), the
// name taken up to its first NUL. On success type and the first dataCapacity
// bytes of data hold the value; when the data does not fit, regMoreData (data
// then holds nothing usable).
std::int32_t regQueryValue(regKey key, const ansiText& valueName, std::uint32_t& type, unsigned char* data,
                           std::uint32_t& dataCapacity);

// RegCloseKey(key); its status is of no interest.
void regCloseKey(regKey key);

// ---- Text ------------------------------------------------------------------

// Conversions between UTF-16 and the system's ANSI code page. A character the
// code page lacks becomes a look-alike where Windows knows one ("best fit":
// the fullwidth J, U+FF2A, becomes J, and the fullwidth backslash, U+FF3C, a
// backslash), otherwise "?". The ANSI registry functions convert the names
// they return the same way.
ansiText toAnsi(const std::u16string& text);
std::u16string fromAnsi(const ansiText& text);

// Upper-casing by the user's default locale, one UTF-16 unit for one, so the
// length stays.
std::u16string upperCase(const std::u16string& text);

// ---- Process ---------------------------------------------------------------

// Handles the window messages pending right now, then returns.
void processPendingMessages();

// What follows the program's name on the process's command line, as the
// platform hands it to the entry point; empty without arguments.
std::u16string commandText();

// The value of an environment variable, the name matched as the platform
// matches it (on Windows without regard to case); empty when unset.
std::u16string environmentVariable(const std::u16string& name);

// A modal box with the text, one OK button and the caption "Kestrune"; an
// error box also shows the error icon. Returns when the user dismisses it.
void showMessage(const std::u16string& text, bool error = false);

// What a process start came to: error is 0 on success, otherwise the
// system's error code; for a start that failed, file is the file Windows
// found for the program, with its full path, or empty when it found none.
struct startResult {
    std::uint32_t error;
    std::u16string file;
};

// Starts program with the command line, its window minimized and active,
// with the default directory and environment, and does not wait for it. The
// program is found as Windows finds the program named first on a command
// line (a relative path beside the launcher first, then the current folder,
// the system folders, the Windows folder and PATH), but only that file can
// start: when it is missing or a folder, nothing starts and the error is 2
// (file not found), whatever the command line holds. For the program
// jre\bin\java.exe and the launcher in C:\Tools, file is
// C:\Tools\jre\bin\java.exe when that exists, also when it then fails to
// start (error 193 for a file that is no program). A command line too long
// for Windows is refused before any search: error 206, no file.
startResult startProcess(const std::u16string& program, const std::u16string& commandLine);

// The system's own text for an error code as the system gives it (Windows'
// texts end in a line break), its inserts (%1 and the like) filled with
// insert; empty when the system has none.
std::u16string systemErrorText(std::uint32_t code, const std::u16string& insert);

}  // namespace platform
