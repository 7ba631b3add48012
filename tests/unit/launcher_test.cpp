// The launcher's outcome for each combination of argument text, JAVA_HOME,
// installed runtimes and start error: what it shows and starts, and its exit
// code; the texts that name a failure; and runs where memory runs out.
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <stdexcept>

#include "launcher/launcher.h"
#include "support.h"

// Allocations still allowed; every allocation fails once none are left.
// Each allocation and deallocation function is replaced, so that every
// allocation counts and all memory comes from malloc and goes back to free:
// one left to the runtime would allocate in its own way and be freed here.
static long allocationsLeft = LONG_MAX;

static constexpr std::align_val_t plain{alignof(std::max_align_t)};
static void* allocate(std::size_t size, std::align_val_t alignment = plain) {
    if (allocationsLeft-- == 0) return nullptr;
    const auto align = static_cast<std::size_t>(alignment);
    size = ((size == 0 ? 1 : size) + align - 1) / align * align;  // aligned_alloc takes multiples only
    return align <= alignof(std::max_align_t) ? std::malloc(size) : std::aligned_alloc(align, size);
}
static void* allocateOrThrow(std::size_t size, std::align_val_t alignment) {
    if (void* memory = allocate(size, alignment)) return memory;
    throw std::bad_alloc();
}
// clang-format off
void* operator new(std::size_t size) { return allocateOrThrow(size, plain); }
void* operator new[](std::size_t size) { return allocateOrThrow(size, plain); }
void* operator new(std::size_t size, std::align_val_t align) { return allocateOrThrow(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return allocateOrThrow(size, align); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept { return allocate(size, align); }
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept { return allocate(size, align); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept { std::free(memory); }
// clang-format on

namespace {

using namespace platform;  // NOLINT(google-build-using-namespace): registry constants in every row

#define VM(home) u"box: JavaVM: " home u"\\bin\\javaw.exe\n"
#define NOT_FOUND u"box: Es konnte keine Java Version 1.4XXX auf Ihrem System ermittelt werden\n"
#define NOT_STARTED u"error box: Java konnte nicht gestartet werden.\n\nProgramm: "
#define TOO_MANY_VALUES                                                            \
    u"error box: Die Registry konnte nicht durchsucht werden: Der Schl\u00fcssel " \
    u"HKEY_LOCAL_MACHINE\\Software\\JavaSoft\\Java Runtime Environment hat zu viele Werte (32768 oder mehr).\n"

// Versions, and a key below one of them whose name holds JavaHome.
const std::vector<regEntry> versionsAndTools = {{jre + "\\1.4", "OldJavaHome", regSz, sz("C:\\old")},
                                                {jre + "\\1.4\\JavaHomeTools", "Path", regSz, sz("C:\\tools")},
                                                {jre + "\\1.4.2", "JavaHome", regSz, sz("C:\\142")}};

struct launcherCase {
    const char* name;
    std::u16string commandText;
    std::u16string javaHome;
    std::vector<regEntry> registry;
    std::uint32_t startError;
    std::u16string record;  // what portable::record() holds afterwards
    int exitCode;
    std::u16string startFile = {};  // the file Windows found for a start that fails
};

// clang-format off
const launcherCase cases[] = {
    {"javaHomeWithArguments", u"-jar app.jar", u"C:\\j2re", {}, 0, u"start: C:\\j2re\\bin\\java.exe | C:\\j2re\\bin\\java.exe -jar app.jar\n", 0},
    {"javaHomeWithoutArgumentsNamesWindowedVm", u"", u"C:\\j2re", {}, 0, VM(u"C:\\j2re"), 0},
    {"trailingBackslashKeptDoubled", u"x", u"C:\\j2re\\", {}, 0, u"start: C:\\j2re\\\\bin\\java.exe | C:\\j2re\\\\bin\\java.exe x\n", 0},
    {"blanksOnlyCountAsArguments", u"   ", u"C:\\j2re", {}, 0, u"start: C:\\j2re\\bin\\java.exe | C:\\j2re\\bin\\java.exe    \n", 0},
    {"argumentsPassedUnchanged", u"  -Da=\"b  c\" \u00e9\u4e2d \"x\"\"", u"C:\\j2re", {}, 0, u"start: C:\\j2re\\bin\\java.exe | C:\\j2re\\bin\\java.exe   -Da=\"b  c\" \u00e9\u4e2d \"x\"\"\n", 0},
    {"argumentTextNeverNamesTheProgram", u"\\..\\..\\..\\Program -x", u"C:\\nojava", {}, 0, u"start: C:\\nojava\\bin\\java.exe | C:\\nojava\\bin\\java.exe \\..\\..\\..\\Program -x\n", 0},
    {"homeWithBlankIsQuoted", u"-jar a.jar", u"C:\\Program Files\\j2re", {}, 0, u"start: C:\\Program Files\\j2re\\bin\\java.exe | \"C:\\Program Files\\j2re\\bin\\java.exe\" -jar a.jar\n", 0},
    {"homeWithTabIsQuoted", u"-version", u"C:\\a\tb", {}, 0, u"start: C:\\a\tb\\bin\\java.exe | \"C:\\a\tb\\bin\\java.exe\" -version\n", 0},
    {"homeWithQuotesNeverStarted", u"-version", u"\"C:\\Program Files\\j2re\"", {}, 0, NOT_STARTED u"\"C:\\Program Files\\j2re\"\\bin\\java.exe\n\nFehler 123\n", 1},
    {"relativeHomeUsedAsFound", u"-version", u"jre", {}, 0, u"start: jre\\bin\\java.exe | jre\\bin\\java.exe -version\n", 0},
    {"nothingFoundWithArguments", u"-jar app.jar", u"", {}, 0, NOT_FOUND, 0},
    {"nothingFoundWithoutArguments", u"", u"", {}, 0, NOT_FOUND, 0},
    {"installedRuntimeStarted", u"-jar app.jar", u"", {{jre + "\\1.4.2", "JavaHome", regSz, sz("C:\\j2re")}}, 0, u"start: C:\\j2re\\bin\\java.exe | C:\\j2re\\bin\\java.exe -jar app.jar\n", 0},
    {"javaHomeWinsOverRegistry", u"", u"D:\\env", {{jre + "\\1.4.2", "JavaHome", regSz, sz("C:\\j2re")}}, 0, VM(u"D:\\env"), 0},
    // The installed runtime: the greatest hit by plain UTF-16 order, its text after the second CR LF.
    {"crSortsBeforeFullStop", u"", u"", {{jre + "\\1.4.2_03", "JavaHome", regSz, sz("C:\\142")}, {jre + "\\1.4", "JavaHome", regSz, sz("C:\\14")}, {jre + "\\1.3.1", "JavaHome", regSz, sz("C:\\131")}}, 0, VM(u"C:\\142"), 0},
    {"textOrderNotVersionOrder", u"", u"", {{jre + "\\1.9", "JavaHome", regSz, sz("C:\\9")}, {jre + "\\1.10", "JavaHome", regSz, sz("C:\\10")}}, 0, VM(u"C:\\9"), 0},
    {"expandStringWinnerGivesNothing", u"", u"", {{jre + "\\1.3", "JavaHome", regSz, sz("C:\\13")}, {jre + "\\1.4", "JavaHome", regExpandSz, sz("C:\\14")}}, 0, NOT_FOUND, 0},
    {"oldJavaHomeTakesPart", u"", u"", {{jre + "\\1.4", "JavaHome", regSz, sz("C:\\new")}, {jre + "\\1.4", "OldJavaHome", regSz, sz("C:\\old")}}, 0, VM(u"C:\\old"), 0},
    {"keyNamedJavaHomeBeatsVersions", u"", u"", versionsAndTools, 0, VM(u"C:\\tools"), 0},
    {"valueInStartingKey", u"", u"", {{jre, "JavaHome", regSz, sz("C:\\top")}}, 0, VM(u"C:\\top"), 0},
    {"nameWithCrLfCutInsideName", u"", u"", {{jre + "\\1.4", "Java\r\nHome\r\nJavaHome", regSz, sz("C:\\j")}}, 0, VM(u"Home\r\nJavaHome\r\nC:\\j"), 0},
    // Failures
    {"failedStartReported", u"-version", u"C:\\nojava", {}, 2, NOT_STARTED u"C:\\nojava\\bin\\java.exe\n\nFehler 2: Das System kann die angegebene Datei nicht finden.\n", 1},
    {"failedStartNamesTheFileFound", u"-version", u"jre", {}, 193, NOT_STARTED u"C:\\Tools\\jre\\bin\\java.exe\n\nFehler 193: C:\\Tools\\jre\\bin\\java.exe ist keine zul\u00e4ssige Win32-Anwendung.\n", 1, u"C:\\Tools\\jre\\bin\\java.exe"},
    {"failedStartWithoutSystemText", u"-version", u"C:\\j2re", {}, 1450, NOT_STARTED u"C:\\j2re\\bin\\java.exe\n\nFehler 1450\n", 1},
    {"startingKeyWith32768ValuesReported", u"-version", u"", manyValues(jre, 32768, {{jre + "\\1.4", "JavaHome", regSz, sz("C:\\j2re")}}), 0, TOO_MANY_VALUES, 1},
    {"startingKeyWith32769ValuesReported", u"-version", u"", manyValues(jre, 32769), 0, TOO_MANY_VALUES, 1},
};
// clang-format on

class launcherTest : public platformTest, public ::testing::WithParamInterface<launcherCase> {};

TEST_P(launcherTest, outcome) {
    const launcherCase& c = GetParam();
    portable::setCommandText(c.commandText);
    if (!c.javaHome.empty()) portable::setEnvironment(u"java_home", c.javaHome);
    load(c.registry);
    portable::failStarts(c.startError, c.startFile);
    EXPECT_EQ(launcherMain(), c.exitCode);
    EXPECT_EQ(portable::record(), c.record);
}

INSTANTIATE_TEST_SUITE_P(table, launcherTest, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(failureMessage, namesWhatWentWrong) {
    EXPECT_EQ(failureMessage(std::make_exception_ptr(std::bad_alloc())), u"Nicht gen\u00fcgend Arbeitsspeicher.");
    EXPECT_EQ(failureMessage(std::make_exception_ptr(std::runtime_error("kaputt"))), u"Unerwarteter Fehler: kaputt");
    EXPECT_EQ(failureMessage(std::make_exception_ptr(42)), u"Unerwarteter Fehler.");
}

// Memory running out at each allocation of a whole run, in turn: no crash, no
// leak (LeakSanitizer), no registry handle left open, and a run that ends
// with exit code 1 and the failure box (or no box, where not even that memory
// was left), or, where the failure was confined below the starting key,
// starts the VM the remaining hits choose.
TEST_F(platformTest, runSurvivesMemoryRunningOutAnywhere) {
    for (long limit = 0, cutShort = 1; cutShort != 0; ++limit) {
        SCOPED_TRACE("allocations allowed: " + std::to_string(limit));
        portable::reset();
        load(versionsAndTools);
        portable::setCommandText(u"-version");
        allocationsLeft = limit;
        const int exitCode = launcherMain();
        cutShort = allocationsLeft < 0 ? 1 : 0;
        allocationsLeft = LONG_MAX;
        EXPECT_EQ(portable::openKeyCount(), 0);
        // Whole; or the failure box, if any; or, confined below the starting key, the failure cost a subtree.
        const std::u16string expected = cutShort == 0
                                            ? u"start: C:\\tools\\bin\\java.exe | C:\\tools\\bin\\java.exe -version\n"
                                        : exitCode == 0              ? u"start: "
                                        : portable::record().empty() ? u""
                                                                     : u"error box: ";
        EXPECT_EQ(portable::record().substr(0, expected.size()), expected);
    }
}

}  // namespace
