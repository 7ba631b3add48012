// Runs Kestrune.exe inside Wine and reads the message boxes it shows (with
// the box reader of wine/run.sh); plays the Java VM the launcher starts.
//
//   e2e-driver.exe CASE      runs one case of cases.h: its set-up commands, then
//                            the launcher with the case's exact command line and
//                            JAVA_HOME, from the folder startFolder, pressing OK
//                            in every box; compares the transcript of boxes,
//                            started VM and exit code with the case's. Exit code
//                            0 when they match, 1 when not, 2 when it cannot run.
//                            For a case of plantedDllCases, C:\planted.dll is
//                            planted first, and any run of it is in the transcript.
//
// Copied to a home's bin\java.exe, it is the VM, a console program as java.exe
// is: started with KESTRUNE_RECORD set, it writes the transcript line of its
// own start there.
#include <windows.h>

#include <share.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "boxes.h"
#include "cases.h"

namespace {

// Where the cases start the launcher, a folder other than its own. The VM
// finds where to record through its environment, so a record also shows that
// the environment reached it, non-ASCII text included.
const wchar_t startFolder[] = L"C:\\start here";
const wchar_t record[] = L"C:\\start here\\record \u00e4\u4e2d.txt";

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

// As the VM: "start: MODULE | COMMAND LINE", with in front what differs from
// a start as the launcher must make it: its window not to be shown minimized
// ("(show N)"), no console window of its own shown minimized, another folder
// than the launcher's. The file is locked while it is written, so the driver
// never reads half of it.
int recordStart(const wchar_t* path) {
    wchar_t module[MAX_PATH], folder[MAX_PATH];
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    GetCurrentDirectoryW(MAX_PATH, folder);
    STARTUPINFOW startup;
    GetStartupInfoW(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;
    std::wstring line = show == SW_SHOWMINIMIZED ? L"" : L"(show " + std::to_wstring(show) + L") ";
    const HWND console = GetConsoleWindow();
    if (console == nullptr || !IsWindowVisible(console) || !IsIconic(console)) line += L"(no minimized console) ";
    if (std::wcscmp(folder, startFolder) != 0) line += L"(in " + std::wstring(folder) + L") ";
    line += L"start: " + std::wstring(module) + L" | " + GetCommandLineW() + L"\n";
    FILE* file = _wfsopen(path, L"wb", _SH_DENYRW);
    if (file == nullptr) return 3;
    std::fwrite(line.data(), sizeof(wchar_t), line.size(), file);
    return std::fclose(file);
}

// The UTF-16 text of a file, which is then closed; empty for none.
std::wstring contents(FILE* file) {
    std::wstring content;
    if (file == nullptr) return content;
    wchar_t part[4096];
    for (std::size_t read; (read = std::fread(part, sizeof(wchar_t), 4096, file)) != 0;) content.append(part, read);
    std::fclose(file);
    return content;
}

// Whether the process id loaded user32, as Wine's trace of this run says
// (lines "PID:TID:trace:loaddll:... user32.dll ..." in the file wine.sh names
// in KESTRUNE_TRACE).
bool loadedUser32(const wchar_t* path, DWORD id) {
    std::string trace = "\n";
    if (FILE* file = path != nullptr ? _wfopen(path, L"rb") : nullptr) {
        char part[4096];
        for (std::size_t read; (read = std::fread(part, 1, sizeof part, file)) != 0;) trace.append(part, read);
        std::fclose(file);
    }
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "\n%04lx:", static_cast<unsigned long>(id));
    for (std::size_t at = 0; (at = trace.find(prefix, at)) != std::string::npos; ++at) {
        const std::string line = trace.substr(at, trace.find('\n', at + 1) - at);
        if (line.find(":loaddll:") != std::string::npos && line.find("user32.dll") != std::string::npos) return true;
    }
    return false;
}

// The case's transcript: the launcher's boxes, the VM it started (as the VM
// recorded it) and its exit code, with "(window code loaded)" in front where
// it loaded user32 but showed no box. The launcher is started as Windows
// starts a GUI program, without a console: Wine would otherwise hand it the
// driver's terminal, and the VM it starts would get no console window of its
// own.
std::wstring runCase(const e2eCase& c, bool startExpected) {
    std::wstring commandLine = expand(c, c.commandLine);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                        &process)) {
        return L"(the launcher did not start: error " + std::to_wstring(GetLastError()) + L")";
    }
    boxReader reader = {process.dwProcessId, {}, 0, {}};
    const DWORD began = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
        EnumWindows(readBox, reinterpret_cast<LPARAM>(&reader));
        pressOk(reader);
        if (GetTickCount() - began > 60000) TerminateProcess(process.hProcess, 99);
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
    const bool windowCode = reader.boxes.empty() && loadedUser32(_wgetenv(L"KESTRUNE_TRACE"), process.dwProcessId);
    return (windowCode ? L"(window code loaded) " : L"") + reader.boxes + contents(file) + L"exit " +
           std::to_wstring(exitCode);
}

// Sets the text value name of the key HKEY_CURRENT_USER\key.
bool setValue(const wchar_t* key, const wchar_t* name, const wchar_t* value) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) != 0) {
        return false;
    }
    const auto size = static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(wchar_t));
    const bool set = RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), size) == 0;
    RegCloseKey(opened);
    return set;
}

// Plants planted.dll under each name of plantedDlls beside the launcher and in
// the current folder, and has Wine prefer those copies to its own in
// Kestrune.exe.
bool plantDlls() {
    for (const wchar_t* name : plantedDlls) {
        for (const wchar_t* folder : {L"C:\\kestrune\\", L"C:\\start here\\"}) {
            if (!CopyFileW(L"C:\\planted.dll", (std::wstring(folder) + name + L".dll").c_str(), FALSE)) return false;
        }
        if (!setValue(L"Software\\Wine\\AppDefaults\\Kestrune.exe\\DllOverrides", name, L"native,builtin"))
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (const wchar_t* path = _wgetenv(L"KESTRUNE_RECORD")) return recordStart(path);
    std::vector<std::pair<const e2eCase*, bool>> cases;  // each case, and whether DLLs are planted for it
    for (const e2eCase& c : e2eCases) cases.emplace_back(&c, false);
    for (const e2eCase& c : plantedDllCases) cases.emplace_back(&c, true);
    for (const auto& [chosen, planted] : cases) {
        const e2eCase& c = *chosen;
        if (argc != 2 || std::strcmp(c.name, argv[1]) != 0) continue;
        if (_wsystem((std::wstring(L"cd .") + c.setup).c_str()) != 0 || (planted && !plantDlls())) return 2;
        SetEnvironmentVariableW(L"KESTRUNE_RECORD", record);
        SetEnvironmentVariableW(L"JAVA_HOME", c.javaHome != nullptr ? expand(c, c.javaHome).c_str() : nullptr);
        SetEnvironmentVariableW(L"PATH", (std::wstring(_wgetenv(L"PATH")) + L";C:\\on path").c_str());
        SetCurrentDirectoryW(startFolder);
        const std::wstring expected = expand(c, c.transcript);
        std::wstring actual = runCase(c, expected.find(L"start:") != std::wstring::npos);
        actual += contents(_wfopen(L"C:\\planted ran.txt", L"rb"));  // there only once planted code ran
        const bool passed = matches(expected.c_str(), actual.c_str());
        std::printf("%s: %s\n", c.name, passed ? "passed" : "FAILED");
        if (!passed) std::printf("--- expected:\n%s\n--- actual:\n%s\n", utf8(expected).c_str(), utf8(actual).c_str());
        return passed ? 0 : 1;
    }
    std::printf("usage: e2e-driver CASE (a case of cases.h)\n");
    return 2;
}
