// For wine/run.sh: prints each message box that Kestrune.exe shows in this
// Wine prefix, as it appears ("box: TEXT", or "box with icon: TEXT"), and
// presses its OK where asked (else the user does). Boxes of other programs,
// Wine's own among them, are none of its business. It runs until it is ended:
// run.sh ends it once the launcher has ended, and the end of a slot ends every
// program in it. --desktop only brings up the prefix's desktop (Wine starts
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
    _setmode(_fileno(stdout), _O_BINARY);  // lines end in LF, as on Linux
    for (;; Sleep(50)) {
        if (reader.owner == 0) reader.owner = launcher();
        if (reader.owner != 0) EnumWindows(readBox, reinterpret_cast<LPARAM>(&reader));
        // Out before the box goes: whoever waits for the program then has its lines.
        std::fputs(utf8(reader.boxes).c_str(), stdout);
        std::fflush(stdout);
        reader.boxes.clear();
        if (pressing) pressOk(reader);
    }
}
