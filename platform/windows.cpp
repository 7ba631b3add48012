// The Win32 implementation of the platform operations, and the entry point.
// This is the only file that sees <windows.h>; it converts between the
// logic's char16_t texts and Windows' wchar_t, calls, and maps the result.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>

#include "launcher/launcher.h"
#include "platform/platform.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

namespace {

const wchar_t caption[] = L"Kestrune";

// The argument text the C runtime hands to wWinMain.
const wchar_t* entryCommandText = L"";

const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The text's own characters, for a function that writes them.
wchar_t* writable(std::u16string& text) {
    return reinterpret_cast<wchar_t*>(&text[0]);
}

HKEY handle(platform::regKey key) {
    return reinterpret_cast<HKEY>(key);
}

// The function name exports, or null where module or name is missing.
template <typename Function>
Function exported(HMODULE module, const char* name) {
    // Through void*: GCC warns of a cast from one function type to another,
    // and FARPROC is only GetProcAddress's stand-in for any function.
    // NOLINTNEXTLINE(bugprone-casting-through-void)
    return module != nullptr ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                             : nullptr;
}

// user32, the window code, where it is loaded: by the first box, or by
// something else before the first yield, which asks once (Wine looks for a
// DLL that is not loaded in the file system, a server call each time). After
// that, nothing but a box loads it on this one thread.
HMODULE user32 = nullptr;
bool user32Asked = false;

// Set where only the current folder could be taken out of the DLL search:
// that setting, unlike the limit to the system folder, Windows may hand on to
// a process started from here, so it is lifted while the VM starts.
bool currentFolderOutOfDllSearch = false;

// Windows looks for a DLL that is not one of its known DLLs in the program's
// folder first, and on old systems in the current folder too: anyone who can
// drop a file beside Kestrune.exe (in Downloads, say) or in the folder it is
// started from could have code of theirs run inside it. user32 loads
// uxtheme.dll and version.dll, neither a known DLL, for a message box. So the
// process limits its DLL search to the system folder before anything loads a
// DLL. Vista, and 7 without its 2011 update, lack the call that does this;
// there the current folder at least is taken out. Should either fail, the
// search stays as it was and the launcher goes on.
void limitDllSearch() {
    const auto setDefaultDllDirectories =
        exported<BOOL(WINAPI*)(DWORD)>(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (setDefaultDllDirectories != nullptr && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE) return;
    currentFolderOutOfDllSearch = SetDllDirectoryW(L"") != FALSE;
}

// Room for the longest path Windows handles, 32,767 characters, and its NUL.
constexpr DWORD pathCapacity = 32768;

// A path that write puts into a buffer of pathCapacity characters, returning
// its length. A length of 0 (failure), or one past the buffer (the size a
// longer path would need), gives the empty text.
template <typename Write>
std::u16string pathFrom(Write write) {
    std::u16string path(pathCapacity, u'\0');
    const DWORD length = write(writable(path), pathCapacity);
    path.resize(length < pathCapacity ? length : 0);
    return path;
}

// The folders where Windows looks for the program named first on a command
// line, in its order: the launcher's folder, the current folder, the system
// folder, Windows\System, the Windows folder, then PATH. With the launcher at
// C:\Tools\Kestrune.exe, the program jre\bin\java.exe is
// C:\Tools\jre\bin\java.exe when that exists.
std::u16string programSearchPath() {
    const std::u16string launcher =
        pathFrom([](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
    const std::u16string system = pathFrom(GetSystemDirectoryW);
    const std::u16string windows = pathFrom(GetWindowsDirectoryW);
    return launcher.substr(0, launcher.rfind(u'\\')) + u";.;" + system + u';' + windows + u"\\System;" + windows +
           u';' + platform::environmentVariable(u"PATH");
}

}  // namespace

namespace platform {

std::int32_t regOpenKey(std::uint32_t root, const ansiText& subKey, std::uint32_t access, regKey& key) {
    HKEY opened = nullptr;
    const LONG status =
        RegOpenKeyExA(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(root)), subKey.c_str(), 0, access, &opened);
    if (status == ERROR_SUCCESS) key = reinterpret_cast<regKey>(opened);
    return status;
}

std::int32_t regEnumValueName(regKey key, std::uint32_t index, char* name, std::uint32_t& nameCapacity) {
    DWORD capacity = nameCapacity;
    const LONG status = RegEnumValueA(handle(key), index, name, &capacity, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) nameCapacity = capacity;
    return status;
}

std::int32_t regEnumKey(regKey key, std::uint32_t index, char* name, std::uint32_t capacity) {
    return RegEnumKeyA(handle(key), index, name, capacity);
}

std::int32_t regQueryValue(regKey key, const ansiText& valueName, std::uint32_t& type, unsigned char* data,
                           std::uint32_t& dataCapacity) {
    DWORD valueType = REG_NONE;
    DWORD capacity = dataCapacity;
    const LONG status = RegQueryValueExA(handle(key), valueName.c_str(), nullptr, &valueType, data, &capacity);
    if (status == ERROR_SUCCESS) {
        type = valueType;
        dataCapacity = capacity;
    }
    return status;
}

void regCloseKey(regKey key) {
    RegCloseKey(handle(key));
}

ansiText toAnsi(const std::u16string& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_ACP, 0, wide(text), length, nullptr, 0, nullptr, nullptr);
    // A size of 0 (a failed conversion) asks for the size again and writes nothing.
    ansiText ansi(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide(text), length, &ansi[0], size, nullptr, nullptr);
    return ansi;
}

std::u16string fromAnsi(const ansiText& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    std::u16string result(static_cast<std::size_t>(size), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, writable(result), size);
    return result;
}

std::u16string upperCase(const std::u16string& text) {
    // LCMAP_UPPERCASE maps each UTF-16 unit to one, so the text keeps its
    // length; should the call fail, the text stays as it was.
    std::u16string result(text);
    const int length = static_cast<int>(text.size());
    if (!text.empty()) LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, wide(text), length, writable(result), length);
    return result;
}

void processPendingMessages() {
    // A thread gets a message queue only when it first calls a window
    // function, and nothing can be posted to a thread without one. So where
    // user32 is not loaded in the process, no message is pending and there is
    // nothing to process: the yield loads no window code (user32 brings gdi32,
    // win32u and imm32, and makes the thread a GUI thread), and a start
    // through the registry costs no more than one through JAVA_HOME. Once it
    // is loaded (a box was shown, or something else had loaded it), the
    // messages pending at that moment are processed. The launcher has no
    // window of its own: nothing sends it key presses to translate, and what
    // the queue holds is dispatched as it comes.
    if (!user32Asked) {
        user32Asked = true;
        if (user32 == nullptr) user32 = GetModuleHandleW(L"user32.dll");
    }
    const auto peek = exported<decltype(&PeekMessageW)>(user32, "PeekMessageW");
    const auto dispatch = exported<decltype(&DispatchMessageW)>(user32, "DispatchMessageW");
    MSG message;
    while (peek != nullptr && peek(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) dispatch(&message);
}

std::u16string commandText() {
    return reinterpret_cast<const char16_t*>(entryCommandText);
}

std::u16string environmentVariable(const std::u16string& name) {
    // The size with the NUL first, then the value; nothing can change the
    // environment in between on this one thread.
    const DWORD size = GetEnvironmentVariableW(wide(name), nullptr, 0);
    if (size == 0) return {};  // unset
    std::u16string value(size, u'\0');
    value.resize(GetEnvironmentVariableW(wide(name), writable(value), size));
    return value;
}

void showMessage(const std::u16string& text, bool error) {
    // user32 is loaded for the first box, not at start: a run that starts the
    // VM never touches a window function, and loading user32 is a good part
    // of the launcher's own start time. It is one of Windows' known DLLs, so
    // it always comes from the system folder.
    if (user32 == nullptr) user32 = LoadLibraryW(L"user32.dll");
    const auto messageBox = exported<decltype(&MessageBoxW)>(user32, "MessageBoxW");
    if (messageBox != nullptr) messageBox(nullptr, wide(text), caption, MB_OK | (error ? MB_ICONERROR : 0U));
}

startResult startProcess(const std::u16string& program, const std::u16string& commandLine) {
    // Windows takes at most 32,767 characters with the NUL. Wine takes more;
    // refusing here keeps the outcome the same on both.
    const std::size_t commandLineLimit = 32767;
    if (commandLine.size() >= commandLineLimit) return {ERROR_FILENAME_EXCED_RANGE, {}};

    // The program is found first and named to CreateProcessW on its own. Left
    // to find it in the command line, Windows would try more when the file is
    // missing: for C:\nojava and the argument \..\..\..\Program, the file
    // "C:\nojava\bin\java.exe \..\..\..\Program", which is C:\Program.exe.
    // SearchPathW gives the full path (..\jre\bin\java.exe from C:\Apps is
    // C:\jre\bin\java.exe), or nothing; GetFileAttributesW fails for the
    // empty path.
    const std::u16string searchPath = programSearchPath();
    std::u16string file = pathFrom([&searchPath, &program](wchar_t* buffer, DWORD size) {
        return SearchPathW(wide(searchPath), wide(program), nullptr, size, buffer, nullptr);
    });
    const DWORD attributes = GetFileAttributesW(wide(file));
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return {ERROR_FILE_NOT_FOUND, {}};
    }

    // CreateProcessW may write into the command line, so it gets a copy.
    std::u16string line(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION process{};
    // The VM keeps its own DLL search.
    if (currentFolderOutOfDllSearch) SetDllDirectoryW(nullptr);
    const BOOL created =
        CreateProcessW(wide(file), writable(line), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    const DWORD error = created == FALSE ? GetLastError() : 0;
    if (currentFolderOutOfDllSearch) SetDllDirectoryW(L"");
    if (created == FALSE) return {error != 0 ? error : ERROR_GEN_FAILURE, std::move(file)};
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return {0, {}};
}

std::u16string systemErrorText(std::uint32_t code, const std::u16string& insert) {
    // Every insert a system text may hold (%1 to %99, and two more for a
    // width and precision given as *) is the one text.
    DWORD_PTR inserts[101];
    for (DWORD_PTR& each : inserts) each = reinterpret_cast<DWORD_PTR>(wide(insert));
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, reinterpret_cast<va_list*>(inserts));
    // On failure length is 0 and buffer stays null: the empty text.
    std::u16string text(reinterpret_cast<const char16_t*>(buffer), length);
    LocalFree(buffer);
    return text;
}

}  // namespace platform

// The stack cookie that every function with a local array checks before it
// returns (libssp's).
extern "C" void* __stack_chk_guard;  // NOLINT(bugprone-reserved-identifier): libssp's name

// Runs before any other constructor (101 is the first priority programs may
// use): the DLL search is limited before anything can load a DLL, and the
// stack cookie is seeded with RtlGenRandom, exported by advapi32 as
// SystemFunction036, which loads no DLL but the system's own cryptbase.dll.
// libssp's constructor leaves a seeded cookie alone; for a zero one it would
// call CryptAcquireContext, which loads a crypto provider with user32 and a
// dozen more DLLs: time on every start. Where RtlGenRandom fails, libssp
// seeds it so. Not protected itself: the cookie changes while it runs.
__attribute__((constructor(101), no_stack_protector)) static void startSafely() {
    limitDllSearch();
    const auto genRandom =
        exported<BOOLEAN(WINAPI*)(void*, ULONG)>(GetModuleHandleW(L"advapi32.dll"), "SystemFunction036");
    if (genRandom == nullptr || genRandom(static_cast<void*>(&__stack_chk_guard), sizeof __stack_chk_guard) == FALSE) {
        __stack_chk_guard = nullptr;
    }
}

int WINAPI wWinMain(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/, LPWSTR lpCmdLine, int /*nShowCmd*/) {
    if (lpCmdLine != nullptr) entryCommandText = lpCmdLine;
    return launcherMain();
}

// libstdc++'s default terminate handler writes the demangled type of the
// exception to a console this GUI program does not have; its demangler would
// be a third of the executable. Every failure is caught in launcherMain, so
// terminate is reached only by a broken invariant: end at once.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx

// libstdc++ raises its container errors through the functions below. The
// library keeps them in one object together with every standard exception
// type and the reference-counted strings those carry, more than a third of
// this executable. The launcher tells only memory exhaustion apart from other
// failures, so lean equivalents serve: a string or vector that cannot grow is
// out of memory, and a bad index is an internal error.
namespace {
struct internalError : std::exception {
    const char* what() const noexcept override { return "internal error"; }
};
}  // namespace

// NOLINTBEGIN(cert-dcl58-cpp): replaces libstdc++'s own definitions, see above
namespace std {
void __throw_bad_alloc() {
    throw bad_alloc();
}
void __throw_bad_array_new_length() {
    throw bad_alloc();
}
void __throw_length_error(const char*) {
    throw bad_alloc();
}
void __throw_logic_error(const char*) {
    throw internalError();
}
void __throw_out_of_range_fmt(const char*, ...) {
    throw internalError();
}
}  // namespace std
// NOLINTEND(cert-dcl58-cpp)

// Control Flow Guard. Where Windows enforces it (8.1 Update and later), it
// reads this load configuration (the name _load_config_used is the one the
// linker hands to Windows), writes its own check function into the pointer
// that each indirect call of Kestrune's code goes through first (on x86-64,
// the call goes through a dispatch pointer instead), and lets the call reach
// only a function in the table LLD writes: those whose address is taken.
// Older Windows and Wine read none of it, and the pointers keep the no-ops
// below, in .text: the check returns, the dispatch jumps to the target.
// SecurityCookie stays empty: it names the cookie of Microsoft's compiler,
// which the loader seeds where it holds that compiler's default value; this
// one's cookie is libssp's, seeded by startSafely.
struct loadConfiguration {
    DWORD size, timeDateStamp;
    WORD majorVersion, minorVersion;
    DWORD globalFlagsClear, globalFlagsSet, criticalSectionDefaultTimeout;
    ULONG_PTR deCommitFreeBlockThreshold, deCommitTotalFreeThreshold, lockPrefixTable, maximumAllocationSize,
        virtualMemoryThreshold;
#ifdef _WIN64
    ULONG_PTR processAffinityMask;
    DWORD processHeapFlags;
#else
    DWORD processHeapFlags;
    ULONG_PTR processAffinityMask;
#endif
    WORD csdVersion, dependentLoadFlags;
    ULONG_PTR editList, securityCookie, seHandlerTable, seHandlerCount;
    const void* guardCheckFunctionPointer;
    const void* guardDispatchFunctionPointer;
    const void* guardFunctionTable;
    ULONG_PTR guardFunctionCount;
    // A DWORD, the last field the size covers; pointer-sized here, as x86-64
    // code cannot hold the linker's 32-bit value in a static initializer.
    ULONG_PTR guardFlags;
};
static_assert(offsetof(loadConfiguration, guardFlags) == (sizeof(void*) == 8 ? 0x90 : 0x58),
              "the load configuration's layout is Windows' own");

// NOLINTBEGIN(bugprone-reserved-identifier): the names Windows' format and LLD give
extern "C" {
// The function table, its length and the guard flags, which LLD makes.
extern const char __guard_fids_table[], __guard_fids_count[], __guard_flags[];
void guardCheckNothing() asm("kestrune_guard_check_nothing");
extern void (*const __guard_check_icall_fptr)() = guardCheckNothing;
#ifdef _WIN64
void guardDispatchDirectly() asm("kestrune_guard_dispatch_directly");
extern void (*const __guard_dispatch_icall_fptr)() = guardDispatchDirectly;
#endif
// clang-format off
extern const loadConfiguration _load_config_used = {
    offsetof(loadConfiguration, guardFlags) + sizeof(DWORD),  // the size: up to the guard flags
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // time stamp, version, global flags, heap and process settings: none
    0, 0, 0,  // service pack, dependent load flags, edit list: none
    0, 0, 0,  // the security cookie (see above), the SafeSEH table and count (none: NO_SEH)
    reinterpret_cast<const void*>(&__guard_check_icall_fptr),
#ifdef _WIN64
    reinterpret_cast<const void*>(&__guard_dispatch_icall_fptr),
#else
    nullptr,
#endif
    __guard_fids_table, reinterpret_cast<ULONG_PTR>(__guard_fids_count), reinterpret_cast<ULONG_PTR>(__guard_flags)};
// clang-format on
}
// NOLINTEND(bugprone-reserved-identifier)
asm(".text\n"
    "kestrune_guard_check_nothing:\n"
    "    ret\n"
#ifdef _WIN64
    "kestrune_guard_dispatch_directly:\n"
    "    jmp *%rax\n"
#endif
);
