// For scripts/run.sh: prints each message box that any program in this Wine
// prefix shows, as it appears ("box: TEXT", or "box with icon: TEXT"), and
// presses its OK where asked (else the user does). Runs until ended.
//   box-watcher.exe [--press-ok]
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "boxes.h"

int main(int argc, char** argv) {
    const bool pressing = argc == 2 && std::strcmp(argv[1], "--press-ok") == 0;
    boxReader reader = {0, {}, 0, {}};
    _setmode(_fileno(stdout), _O_BINARY);  // lines end in LF, as on Linux
    for (;; Sleep(50)) {
        EnumWindows(readBox, reinterpret_cast<LPARAM>(&reader));
        // Out before the box goes: whoever waits for the program then has its lines.
        std::fputs(utf8(reader.boxes).c_str(), stdout);
        std::fflush(stdout);
        reader.boxes.clear();
        if (pressing) pressOk(reader);
    }
}
