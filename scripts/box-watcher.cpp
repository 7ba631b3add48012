// For scripts/run.sh: prints each message box that Kestrune.exe shows in this
// Wine prefix, as it appears ("box: TEXT", or "box with icon: TEXT"), and
// presses its OK where asked (else the user does). Boxes of other programs,
// Wine's own among them, are none of its business. Ends by itself once the
// Kestrune.exe it found has ended, or when none has started within 30 s, so
// that a run killed outright leaves no watcher behind to keep its prefix's
// Wine session up. --desktop only brings up the prefix's desktop (Wine starts
// its explorer.exe for that) and ends.
//   box-watcher.exe [--press-ok | --desktop]
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "boxes.h"
// after <windows.h>, which boxes.h includes
#include <tlhelp32.h>

// The process id of Kestrune.exe, or 0 while it has not started.
static DWORD launcher() {
    DWORD found = 0;
    const HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (all == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(all, &entry); more && found == 0; more = Process32NextW(all, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"Kestrune.exe") == 0) found = entry.th32ProcessID;
    }
    CloseHandle(all);
    return found;
}

int main(int argc, char** argv) {
    const bool pressing = argc == 2 && std::strcmp(argv[1], "--press-ok") == 0;
    if (argc == 2 && std::strcmp(argv[1], "--desktop") == 0) return GetDesktopWindow() != nullptr ? 0 : 1;
    boxReader reader = {0, {}, 0, {}};
    HANDLE running = nullptr;
    const DWORD start = GetTickCount();
    _setmode(_fileno(stdout), _O_BINARY);  // lines end in LF, as on Linux
    for (bool ended = false; !ended; Sleep(50)) {
        if (reader.owner == 0) {
            reader.owner = launcher();
            if (reader.owner != 0) running = OpenProcess(SYNCHRONIZE, FALSE, reader.owner);
            if (reader.owner == 0 && GetTickCount() - start > 30000) return 0;
        }
        // Whether it has ended is asked before its boxes are read, so that one
        // last round reads whatever it showed before it ended.
        ended = running != nullptr && WaitForSingleObject(running, 0) == WAIT_OBJECT_0;
        if (reader.owner != 0) EnumWindows(readBox, reinterpret_cast<LPARAM>(&reader));
        // Out before the box goes: whoever waits for the program then has its lines.
        std::fputs(utf8(reader.boxes).c_str(), stdout);
        std::fflush(stdout);
        reader.boxes.clear();
        if (pressing) pressOk(reader);
    }
}
