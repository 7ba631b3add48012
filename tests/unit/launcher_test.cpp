// The launcher's outcome for each combination of argument text, JAVA_HOME and
// installed runtime: the box it shows, or the command line it starts, and its
// exit code.
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "support.h"

namespace {

const std::string jre = "Software\\JavaSoft\\Java Runtime Environment";
const std::u16string notFound = u"Es konnte keine Java Version 1.4XXX auf Ihrem System ermittelt werden";

struct launcherCase {
    const char* name;
    std::u16string commandText;
    std::u16string javaHome;
    std::vector<regEntry> registry;
    std::uint32_t startError;
    // Expected: the box text (empty: no box), the command line started
    // (empty: none), the exit code.
    std::u16string box;
    std::u16string started;
    int exitCode;
};

// clang-format off
const launcherCase cases[] = {
    {"javaHomeWithArguments", u"-jar app.jar", u"C:\\j2re", {}, 0,
     u"", u"C:\\j2re\\bin\\java.exe -jar app.jar", 0},
    {"javaHomeWithoutArgumentsNamesWindowedVm", u"", u"C:\\j2re", {}, 0,
     u"JavaVM: C:\\j2re\\bin\\javaw.exe", u"", 0},
    {"trailingBackslashKeptDoubled", u"x", u"C:\\j2re\\", {}, 0,
     u"", u"C:\\j2re\\\\bin\\java.exe x", 0},
    {"blanksOnlyCountAsArguments", u"   ", u"C:\\j2re", {}, 0,
     u"", u"C:\\j2re\\bin\\java.exe    ", 0},
    {"argumentsPassedUnchanged", u"  -Da=\"b  c\" \u00e9\u4e2d  \"x\"\"", u"C:\\j2re", {}, 0,
     u"", u"C:\\j2re\\bin\\java.exe   -Da=\"b  c\" \u00e9\u4e2d  \"x\"\"", 0},
    {"homeWithBlankIsQuotedSoProgramExeCannotRun", u"-jar a.jar", u"C:\\Program Files\\Java\\j2re", {}, 0,
     u"", u"\"C:\\Program Files\\Java\\j2re\\bin\\java.exe\" -jar a.jar", 0},
    {"homeWithTabIsQuoted", u"-version", u"C:\\a\tb", {}, 0,
     u"", u"\"C:\\a\tb\\bin\\java.exe\" -version", 0},
    {"homeWithQuotesNeverStarted", u"-version", u"\"C:\\Program Files\\j2re\"", {}, 0,
     u"Java konnte nicht gestartet werden.\n\nProgramm: \"C:\\Program Files\\j2re\"\\bin\\java.exe\n\nFehler 123", u"", 1},
    {"relativeHomeUsedAsFound", u"-version", u"jre", {}, 0, u"", u"jre\\bin\\java.exe -version", 0},
    {"nothingFoundWithArguments", u"-jar app.jar", u"", {}, 0, notFound, u"", 0},
    {"nothingFoundWithoutArguments", u"", u"", {}, 0, notFound, u"", 0},
    {"installedRuntimeStarted", u"-jar app.jar", u"", {{jre + "\\1.4.2", "JavaHome", platform::regSz, sz("C:\\j2re")}}, 0,
     u"", u"C:\\j2re\\bin\\java.exe -jar app.jar", 0},
    {"installedRuntimeNamed", u"", u"", {{jre + "\\1.4.2", "JavaHome", platform::regSz, sz("C:\\j2re")}}, 0,
     u"JavaVM: C:\\j2re\\bin\\javaw.exe", u"", 0},
    {"javaHomeWinsOverRegistry", u"-cp x", u"D:\\env", {{jre + "\\1.4.2", "JavaHome", platform::regSz, sz("C:\\j2re")}}, 0,
     u"", u"D:\\env\\bin\\java.exe -cp x", 0},
    {"expandStringWinnerCountsAsNothing", u"-version", u"",
     {{jre + "\\1.3", "JavaHome", platform::regSz, sz("C:\\old")},
      {jre + "\\1.4", "JavaHome", platform::regExpandSz, sz("%ProgramFiles%\\j2re")}}, 0,
     notFound, u"", 0},
    {"failedStartReported", u"-version", u"C:\\nojava", {}, 2,
     u"Java konnte nicht gestartet werden.\n\nProgramm: C:\\nojava\\bin\\java.exe\n\n"
     u"Fehler 2: Das System kann die angegebene Datei nicht finden.", u"", 1},
    {"failedStartWithoutSystemText", u"-version", u"C:\\j2re", {}, 1450,
     u"Java konnte nicht gestartet werden.\n\nProgramm: C:\\j2re\\bin\\java.exe\n\nFehler 1450", u"", 1},
};
// clang-format on

class launcherTest : public platformTest, public ::testing::WithParamInterface<launcherCase> {};

TEST_P(launcherTest, outcome) {
    const launcherCase& c = GetParam();
    portable::setCommandText(c.commandText);
    if (!c.javaHome.empty()) portable::setEnvironment(u"java_home", c.javaHome);
    load(c.registry);
    portable::failStarts(c.startError);

    EXPECT_EQ(launcherMain(), c.exitCode);

    const auto& boxes = portable::messageBoxes();
    if (c.box.empty()) {
        EXPECT_TRUE(boxes.empty()) << show(boxes.front().text);
    } else {
        ASSERT_EQ(boxes.size(), 1U);
        EXPECT_EQ(show(boxes[0].text), show(c.box));
        EXPECT_EQ(boxes[0].error, c.exitCode != 0);
    }
    const auto& starts = portable::processStarts();
    if (c.started.empty()) {
        EXPECT_TRUE(starts.empty()) << show(starts.front().commandLine);
    } else {
        ASSERT_EQ(starts.size(), 1U);
        EXPECT_EQ(show(starts[0].commandLine), show(c.started));
        EXPECT_EQ(starts[0].showState, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(table, launcherTest, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A failure raised by the search at the starting key ends the run with a box
// and exit code 1, and nothing is started.
TEST_F(platformTest, registryFailureAtStartingKeyIsReported) {
    portable::setCommandText(u"-version");
    for (int i = 0; i < 32769; ++i) portable::setString(jre, "v" + std::to_string(i), u"x");
    EXPECT_EQ(launcherMain(), 1);
    ASSERT_EQ(portable::messageBoxes().size(), 1U);
    EXPECT_EQ(show(portable::messageBoxes()[0].text),
              show(u"Die Registry konnte nicht durchsucht werden: Der Schl\u00fcssel HKEY_LOCAL_MACHINE\\" + u16(jre) +
                   u" hat zu viele Werte (32768 oder mehr)."));
    EXPECT_TRUE(portable::processStarts().empty());
}

}  // namespace
