// A stand-in for bin\java.exe: records how it was started and ends.
//
// It writes three lines in UTF-8 to the file named by KESTRUNE_RECORD: its
// own module path, the show state it was handed (-1 when none), and its
// command line exactly as GetCommandLineW returns it. The record is written
// to a temporary file first and then renamed, so a reader never sees half of
// it.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <string>

namespace {

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

}  // namespace

int main() {
    wchar_t recordPath[MAX_PATH];
    if (GetEnvironmentVariableW(L"KESTRUNE_RECORD", recordPath, MAX_PATH) == 0) return 3;

    wchar_t module[MAX_PATH];
    const DWORD moduleLength = GetModuleFileNameW(nullptr, module, MAX_PATH);
    STARTUPINFOW startup;
    GetStartupInfoW(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;

    const std::string record =
        utf8(std::wstring(module, moduleLength)) + "\n" + std::to_string(show) + "\n" + utf8(GetCommandLineW()) + "\n";
    const std::wstring temporary = std::wstring(recordPath) + L".part";
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 4;
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
    return MoveFileExW(temporary.c_str(), recordPath, MOVEFILE_REPLACE_EXISTING) ? 0 : 5;
}
