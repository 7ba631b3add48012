// Runs one end-to-end case against the real Kestrune.exe inside Wine, and
// plays the Java VM the launcher starts.
//
//   e2e-driver.exe CASE
//
// It runs the case's set-up commands, starts the launcher with the case's
// exact command line and JAVA_HOME from C:\, presses OK in every box it
// shows, and compares the transcript of boxes, started VM and exit code with
// the case's. Exit code 0 when they match, 1 when not, 2 when the case cannot
// run. Copied to a home's bin\java.exe, it is the VM: started with
// KESTRUNE_RECORD set, it writes the transcript line of its own start there.
#include <windows.h>

#include <share.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cases.h"

namespace {

const wchar_t record[] = L"C:\\kestrune\\record.txt";

std::string utf8(const std::wstring& text) {
    std::string out(text.size() * 3, '\0');
    out.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                            &out[0], static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

// Whether text matches pattern, where "*" in pattern stands for any text.
bool matches(const wchar_t* pattern, const wchar_t* text) {
    for (; *pattern != L'*'; ++pattern, ++text) {
        if (*pattern != *text) return false;
        if (*pattern == L'\0') return true;
    }
    for (;; ++text) {
        if (matches(pattern + 1, text)) return true;
        if (*text == L'\0') return false;
    }
}

// The text with each FILL mark replaced by fillCount copies of "a".
std::wstring expand(const e2eCase& c, std::wstring text) {
    for (std::size_t at; (at = text.find(L'\x01')) != std::wstring::npos;) text.replace(at, 1, c.fillCount, L'a');
    return text;
}

// As the VM: "start: MODULE | COMMAND LINE", with "(show N) " in front when
// its window was not to be shown minimized. The file is locked while it is
// written, so the driver never reads half of it.
int recordStart(const wchar_t* path) {
    wchar_t module[MAX_PATH];
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    STARTUPINFOW startup;
    GetStartupInfoW(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;
    std::wstring line = show == SW_SHOWMINIMIZED ? L"" : L"(show " + std::to_wstring(show) + L") ";
    line += L"start: " + std::wstring(module) + L" | " + GetCommandLineW() + L"\n";
    FILE* file = _wfsopen(path, L"wb", _SH_DENYRW);
    if (file == nullptr) return 3;
    std::fwrite(line.data(), sizeof(wchar_t), line.size(), file);
    return std::fclose(file);
}

// The launcher's process and what it showed and started.
DWORD launcherId = 0;
std::wstring transcript;

// A box of the launcher: its transcript line; then OK is pressed.
BOOL CALLBACK readBox(HWND box, LPARAM /*unused*/) {
    DWORD owner = 0;
    wchar_t name[16] = {};
    GetWindowThreadProcessId(box, &owner);
    GetClassNameW(box, name, 16);
    if (owner != launcherId || std::wcscmp(name, L"#32770") != 0 || !IsWindowVisible(box)) return TRUE;
    std::wstring caption(512, L'\0'), text(70000, L'\0');
    caption.resize(static_cast<std::size_t>(GetWindowTextW(box, &caption[0], 512)));
    text.resize(GetDlgItemTextW(box, 0xFFFF, &text[0], 70000));
    int buttons = 0;
    for (HWND button = nullptr; (button = FindWindowExW(box, button, L"Button", nullptr)) != nullptr;) ++buttons;
    if (caption != L"Kestrune" || buttons != 1) {
        transcript += L"(caption " + caption + L", " + std::to_wstring(buttons) + L" buttons) ";
    }
    transcript += L"box: " + text + L"\n";
    // Hidden at once, so the next look does not find it again.
    ShowWindow(box, SW_HIDE);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return TRUE;
}

// The launcher's boxes, the VM it started (as the VM recorded it) and its
// exit code.
std::wstring runLauncher(const e2eCase& c, bool startExpected) {
    std::wstring commandLine = expand(c, c.commandLine);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return L"(the launcher did not start: error " + std::to_wstring(GetLastError()) + L")";
    }
    launcherId = process.dwProcessId;
    const DWORD started = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
        EnumWindows(readBox, 0);
        if (GetTickCount() - started > 60000) TerminateProcess(process.hProcess, 99);
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    // A started VM writes its record soon after; where none may start, a
    // short wait lets a wrongly started one show itself.
    FILE* file = nullptr;
    for (DWORD waited = 0; (file = _wfopen(record, L"rb")) == nullptr && waited < (startExpected ? 20000U : 1000U);
         waited += 50) {
        Sleep(50);
    }
    if (file != nullptr) {
        wchar_t line[40000];
        transcript.append(line, std::fread(line, sizeof(wchar_t), 40000, file));
        std::fclose(file);
    }
    return transcript + L"exit " + std::to_wstring(exitCode);
}

}  // namespace

int main(int argc, char** argv) {
    if (const wchar_t* path = _wgetenv(L"KESTRUNE_RECORD")) return recordStart(path);
    for (const e2eCase& c : e2eCases) {
        if (argc != 2 || std::strcmp(c.name, argv[1]) != 0) continue;
        if (_wsystem((std::wstring(L"cd .") + c.setup).c_str()) != 0) return 2;
        SetEnvironmentVariableW(L"KESTRUNE_RECORD", record);
        SetEnvironmentVariableW(L"JAVA_HOME", c.javaHome != nullptr ? expand(c, c.javaHome).c_str() : nullptr);
        SetCurrentDirectoryW(L"C:\\");
        const std::wstring expected = expand(c, c.transcript);
        const std::wstring actual = runLauncher(c, expected.find(L"start:") != std::wstring::npos);
        const bool passed = matches(expected.c_str(), actual.c_str());
        std::printf("%s: %s\n", c.name, passed ? "passed" : "FAILED");
        if (!passed) std::printf("--- expected:\n%s\n--- actual:\n%s\n", utf8(expected).c_str(), utf8(actual).c_str());
        return passed ? 0 : 1;
    }
    std::printf("usage: e2e-driver CASE (a case of cases.h)\n");
    return 2;
}
