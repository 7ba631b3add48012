// Runs one end-to-end case against the real Kestrune.exe inside Wine.
//
//   e2e-driver.exe CASE
//
// It prepares the Java homes (each with the stand-in VM as bin\java.exe, and a
// decoy at C:\Program.exe), runs the case's set-up commands, starts the
// launcher with the case's exact command line and JAVA_HOME, reads and
// dismisses every message box the launcher shows, and then compares the
// boxes, the program the stand-in says was started, its command line and
// show state, and the launcher's exit code with what the case expects.
// Exit code 0 when all match, 1 when not, 2 when the case cannot run.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cases.h"

namespace {

const wchar_t recordPath[] = L"C:\\kestrune\\record.txt";
const DWORD launcherTimeoutMs = 60000;
const DWORD recordTimeoutMs = 20000;

const wchar_t* const homes[] = {
    L"C:\\j2re",   L"C:\\Program Files\\Java\\j2re",
    L"C:\\jre131", L"C:\\jre14",
    L"C:\\jre142", L"C:\\jre19",
    L"C:\\jre110", L"C:\\tools",
};

// Non-ASCII as \u{...}, line breaks and tabs visible, for readable reports.
std::string printable(const std::wstring& text) {
    std::string out;
    for (const wchar_t c : text) {
        if (c == L'\n') {
            out += "\\n";
        } else if (c == L'\r') {
            out += "\\r";
        } else if (c == L'\t') {
            out += "\\t";
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char code[16];
            std::snprintf(code, sizeof code, "\\u{%x}", static_cast<unsigned>(c));
            out += code;
        }
    }
    return out;
}

std::wstring fromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size);
    return out;
}

// The case's text with each FILL mark replaced by the fill run.
std::wstring expand(const e2eCase& c, const wchar_t* text) {
    std::wstring out;
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        if (*p == L'\x01') {
            out.append(static_cast<std::size_t>(c.fillCount), c.fill);
        } else {
            out += *p;
        }
    }
    return out;
}

bool fail(const char* what) {
    std::printf("cannot run the case: %s (error %lu)\n", what, GetLastError());
    return false;
}

bool runAndWait(std::wstring commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return fail("set-up command did not start");
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (code != 0) std::printf("set-up command exited with %lu: %s\n", code, printable(commandLine).c_str());
    return code == 0;
}

// Registry files too large or too foreign to keep in the repository, written
// as version 5 .reg files (UTF-16).
std::wstring generatedRegistry(const std::wstring& name) {
    const std::wstring jre = L"[HKEY_LOCAL_MACHINE\\Software\\JavaSoft\\Java Runtime Environment";
    std::wstring reg = L"\xFEFFWindows Registry Editor Version 5.00\r\n\r\n";
    if (name == L"deep") {
        // 200 levels; a JavaHome at level 50, within reach of the ANSI
        // functions, and one at level 200, far beyond it.
        std::wstring path = jre;
        for (int level = 1; level <= 200; ++level) {
            path += L"\\L";
            reg += path + L"]\r\n";
            if (level == 50 || level == 200) reg += L"\"JavaHome\"=\"C:\\\\level" + std::to_wstring(level) + L"\"\r\n";
            reg += L"\r\n";
        }
    } else if (name == L"many-values") {
        reg += jre + L"]\r\n";
        for (int i = 0; i < 32769; ++i) reg += L"\"v" + std::to_wstring(i) + L"\"=\"x\"\r\n";
        reg += L"\r\n" + jre + L"\\1.4.2]\r\n\"JavaHome\"=\"C:\\\\jre142\"\r\n";
    } else if (name == L"non-ansi") {
        // Read through the ANSI code page (1252 here), the CJK characters
        // become "?": the data keeps its place, the key cannot be opened.
        reg += jre + L"\\1.4.2]\r\n\"JavaHome\"=\"C:\\\\J\u00e4ger\\\\\u4e2d\"\r\n\"Pfad\u4e2d\u6587\"=\"z\"\r\n\r\n";
        reg += jre + L"\\1.5-\u4e2d\u6587]\r\n\"JavaHome\"=\"C:\\\\x\"\r\n";
    } else {
        return {};
    }
    return reg;
}

bool generate(const std::wstring& name) {
    const std::wstring reg = generatedRegistry(name);
    if (reg.empty()) return fail("no such generated registry");
    const std::wstring path = L"C:\\kestrune\\reg\\" + name + L".reg";
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail("registry file not written");
    DWORD written = 0;
    WriteFile(file, reg.data(), static_cast<DWORD>(reg.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    return runAndWait(L"regedit.exe /S " + path);
}

bool prepare(const e2eCase& c) {
    const wchar_t standIn[] = L"C:\\kestrune\\java.exe";
    for (const wchar_t* home : homes) {
        const std::wstring bin = std::wstring(home) + L"\\bin";
        CreateDirectoryW(L"C:\\Program Files\\Java", nullptr);
        CreateDirectoryW(home, nullptr);
        CreateDirectoryW(bin.c_str(), nullptr);
        if (!CopyFileW(standIn, (bin + L"\\java.exe").c_str(), FALSE)) return fail("stand-in not copied");
    }
    if (!CopyFileW(standIn, L"C:\\Program.exe", FALSE)) return fail("decoy not copied");

    if (c.setup != nullptr) {
        const std::wstring commands = c.setup;
        std::size_t start = 0;
        while (start <= commands.size()) {
            std::size_t end = commands.find(L'\n', start);
            if (end == std::wstring::npos) end = commands.size();
            const std::wstring command = commands.substr(start, end - start);
            const std::wstring generateVerb = L"generate:";
            if (command.compare(0, generateVerb.size(), generateVerb) == 0) {
                if (!generate(command.substr(generateVerb.size()))) return false;
            } else if (!command.empty() && !runAndWait(command)) {
                return false;
            }
            start = end + 1;
        }
    }
    DeleteFileW(recordPath);
    SetEnvironmentVariableW(L"KESTRUNE_RECORD", recordPath);
    SetEnvironmentVariableW(L"JAVA_HOME", c.javaHome != nullptr ? expand(c, c.javaHome).c_str() : nullptr);
    return true;
}

struct boxSeen {
    HWND window;
    std::wstring caption;
    std::wstring text;
};

struct boxSearch {
    DWORD processId;
    std::vector<boxSeen>* boxes;
};

BOOL CALLBACK collectBox(HWND window, LPARAM context) {
    boxSearch& search = *reinterpret_cast<boxSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (owner != search.processId || std::wcscmp(className, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    for (const boxSeen& seen : *search.boxes) {
        if (seen.window == window) return TRUE;
    }
    std::vector<wchar_t> caption(512), text(70000);
    GetWindowTextW(window, caption.data(), static_cast<int>(caption.size()));
    GetDlgItemTextW(window, 0xFFFF, text.data(), static_cast<int>(text.size()));
    search.boxes->push_back({window, caption.data(), text.data()});
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

// Starts the launcher and presses OK on each box it shows until it ends.
bool runLauncher(const e2eCase& c, std::vector<boxSeen>& boxes, DWORD& exitCode) {
    std::wstring commandLine = expand(c, c.commandLine);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        fail("launcher did not start");
        exitCode = 98;
        return false;
    }
    boxSearch search{process.dwProcessId, &boxes};
    const DWORD started = GetTickCount();
    bool ended = false;
    while (!ended && GetTickCount() - started < launcherTimeoutMs) {
        EnumWindows(collectBox, reinterpret_cast<LPARAM>(&search));
        ended = WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0;
    }
    if (!ended) {
        TerminateProcess(process.hProcess, 99);
        std::printf("the launcher did not end within %lu ms\n", launcherTimeoutMs);
    }
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ended;
}

// The stand-in's record: program, show state, command line; empty when
// nothing was started within the wait.
std::vector<std::wstring> readRecord(DWORD waitMs) {
    const DWORD started = GetTickCount();
    for (;;) {
        const HANDLE file = CreateFileW(recordPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            std::string bytes;
            char buffer[4096];
            DWORD got = 0;
            while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
            CloseHandle(file);
            std::vector<std::wstring> lines;
            std::size_t start = 0;
            for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
                lines.push_back(fromUtf8(bytes.substr(start, end - start)));
            }
            return lines;
        }
        if (GetTickCount() - started >= waitMs) return {};
        Sleep(50);
    }
}

bool check(bool ok, const char* what, const std::wstring& expected, const std::wstring& actual) {
    if (!ok) {
        std::printf("%s differs\n  expected: %s\n  actual:   %s\n", what, printable(expected).c_str(),
                    printable(actual).c_str());
    }
    return ok;
}

bool matches(const std::wstring& pattern, const std::wstring& text) {
    const std::size_t n = pattern.size();
    if (n >= 3 && pattern.compare(n - 3, 3, L"...") == 0) return text.compare(0, n - 3, pattern, 0, n - 3) == 0;
    return pattern == text;
}

int runCase(const e2eCase& c) {
    if (!prepare(c)) return 2;
    std::vector<boxSeen> boxes;
    DWORD exitCode = 0;
    bool ok = runLauncher(c, boxes, exitCode);

    if (c.box == nullptr) {
        for (const boxSeen& box : boxes) ok = check(false, "box", L"(none)", box.text);
    } else if (boxes.size() != 1) {
        ok = check(false, "number of boxes", L"1", std::to_wstring(boxes.size()));
    } else {
        ok = check(boxes[0].caption == L"Kestrune", "box caption", L"Kestrune", boxes[0].caption) && ok;
        const std::wstring box = expand(c, c.box);
        ok = check(matches(box, boxes[0].text), "box text", box, boxes[0].text) && ok;
    }

    // A started VM writes its record soon after the launcher ends; when none
    // may start, a short wait lets a wrongly started one show itself.
    const std::vector<std::wstring> record = readRecord(c.startedProgram != nullptr ? recordTimeoutMs : 1000);
    if (c.startedProgram == nullptr) {
        if (!record.empty()) ok = check(false, "started program", L"(none)", record[0]);
    } else if (record.size() != 3) {
        ok = check(false, "started program", c.startedProgram, L"(none)");
    } else {
        ok = check(lstrcmpiW(record[0].c_str(), c.startedProgram) == 0, "started program", c.startedProgram,
                   record[0]) &&
             ok;
        ok = check(record[1] == L"2", "show state", L"2", record[1]) && ok;
        const std::wstring expected = expand(c, c.startedCommandLine);
        ok = check(record[2] == expected, "command line", expected, record[2]) && ok;
    }
    ok = check(exitCode == static_cast<DWORD>(c.exitCode), "exit code", std::to_wstring(c.exitCode),
               std::to_wstring(exitCode)) &&
         ok;
    std::printf("%s: %s\n", c.name, ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::printf("usage: e2e-driver CASE\n");
        return 2;
    }
    for (const auto* table : {&e2eCases[0], &e2eCases64[0]}) {
        const std::size_t count =
            table == e2eCases ? sizeof e2eCases / sizeof e2eCases[0] : sizeof e2eCases64 / sizeof e2eCases64[0];
        for (std::size_t i = 0; i < count; ++i) {
            if (std::strcmp(table[i].name, argv[1]) == 0) return runCase(table[i]);
        }
    }
    std::printf("no case named %s\n", argv[1]);
    return 2;
}
