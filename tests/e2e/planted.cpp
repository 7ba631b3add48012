// A DLL planted under the names of DLLs that Kestrune.exe loads, beside it
// and in its current folder. Its code must never run: if it does, DllMain
// appends a line "planted code ran: DLL in PROGRAM" to C:\planted ran.txt, which
// the driver adds to the case's transcript.
#include <windows.h>

#include <string>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID /*reserved*/) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t dll[MAX_PATH], program[MAX_PATH];
    GetModuleFileNameW(self, dll, MAX_PATH);
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::wstring line = std::wstring(L"\nplanted code ran: ") + dll + L" in " + program;
    const HANDLE mark = CreateFileW(L"C:\\planted ran.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(mark, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(mark);
    return TRUE;
}
