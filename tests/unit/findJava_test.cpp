// Which Java home the installed-runtime lookup chooses from a handful of
// registries: the greatest hit by plain UTF-16 order, its text after the
// second CR LF.
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "support.h"

namespace {

using platform::regExpandSz;
using platform::regSz;

const std::string jre = "Software\\JavaSoft\\Java Runtime Environment";

struct findCase {
    const char* name;
    std::vector<regEntry> registry;
    std::string home;
};

// clang-format off
const findCase cases[] = {
    {"oneRuntime", {{jre + "\\1.4.2", "JavaHome", regSz, sz("C:\\j2re")}}, "C:\\j2re"},
    {"longerVersionWins",
     {{jre + "\\1.4.2_03", "JavaHome", regSz, sz("C:\\b")}, {jre + "\\1.4", "JavaHome", regSz, sz("C:\\a")}}, "C:\\b"},
    {"crSortsBeforeFullStop",
     {{jre + "\\1.4.2", "JavaHome", regSz, sz("C:\\142")}, {jre + "\\1.4", "JavaHome", regSz, sz("C:\\14")},
      {jre + "\\1.3.1", "JavaHome", regSz, sz("C:\\131")}}, "C:\\142"},
    {"newerThanTheMessageSays",
     {{jre + "\\1.3.1", "JavaHome", regSz, sz("C:\\131")}, {jre + "\\1.6.0", "JavaHome", regSz, sz("C:\\160")}}, "C:\\160"},
    {"textOrderNotVersionOrder",
     {{jre + "\\1.9", "JavaHome", regSz, sz("C:\\9")}, {jre + "\\1.10", "JavaHome", regSz, sz("C:\\10")}}, "C:\\9"},
    {"expandStringWinnerGivesNothing",
     {{jre + "\\1.3", "JavaHome", regSz, sz("C:\\13")}, {jre + "\\1.4", "JavaHome", regExpandSz, sz("C:\\14")}}, ""},
    {"oldJavaHomeTakesPart",
     {{jre + "\\1.4", "JavaHome", regSz, sz("C:\\new")}, {jre + "\\1.4", "OldJavaHome", regSz, sz("C:\\old")}},
     "C:\\old"},
    {"withinOneKeyTheNameDecides",
     {{jre + "\\1.4", "JavaHome", regSz, sz("C:\\a")}, {jre + "\\1.4", "javahome2", regSz, sz("C:\\b")}}, "C:\\b"},
    {"keyNamedJavaHomeBeatsVersions",
     {{jre + "\\1.4.2", "JavaHome", regSz, sz("C:\\j2re")}, {jre + "\\JavaHomeTools", "Path", regSz, sz("C:\\tools")}},
     "C:\\tools"},
    {"valueInStartingKey", {{jre, "JavaHome", regSz, sz("C:\\top")}}, "C:\\top"},
    {"startingKeyMissing", {{"Software\\JavaSoft\\Java Development Kit\\1.4", "JavaHome", regSz, sz("C:\\jdk")}}, ""},
    {"noMatchingName", {{jre + "\\1.4", "RuntimeLib", regSz, sz("C:\\j\\jvm.dll")}}, ""},
    {"startingKeyNameMatchedWithoutRegardToCase", {{"SOFTWARE\\javasoft\\JAVA runtime ENVIRONMENT\\1.4", "JavaHome",
                                                     regSz, sz("C:\\j")}}, "C:\\j"},
    {"nameWithCrLfCutInsideName", {{jre + "\\1.4", "Java\r\nHome\r\nJavaHome", regSz, sz("C:\\j")}},
     "Home\r\nJavaHome\r\nC:\\j"},
    {"longValueBeforeJavaHome",
     {{jre + "\\1.4.2", "A", regSz, sz(std::string(400, 'a'))}, {jre + "\\1.4.2", "JavaHome", regSz, sz("C:\\j")}},
     "C:\\j"},
    {"homeWithBlanksAsStored", {{jre + "\\1.4", "JavaHome", regSz, sz("C:\\Program Files\\Java\\j2re ")}},
     "C:\\Program Files\\Java\\j2re "},
};
// clang-format on

class findTest : public platformTest, public ::testing::WithParamInterface<findCase> {};

TEST_P(findTest, home) {
    const findCase& c = GetParam();
    load(c.registry);
    EXPECT_EQ(show(findInstalledJavaHome()), show(u16(c.home)));
}

INSTANTIATE_TEST_SUITE_P(table, findTest, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
