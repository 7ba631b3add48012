// The registry helper against the in-memory registry: reading keys with the
// fixed ANSI buffers, and the recursive search with its criteria, hit texts,
// order, limits and failures.
#include "registry/regHelper.h"
#include "support.h"

namespace {

using namespace platform;  // NOLINT(google-build-using-namespace): registry constants in every row
using texts = std::vector<std::u16string>;

// ---- Reading one key -------------------------------------------------------

// The value names and subkey names of K, and the text of its value JavaHome.
struct keyCase {
    const char* name;
    std::vector<regEntry> registry;
    texts values;
    texts subkeys;
    std::u16string javaHome;
};

const std::string n254(254, 'n'), n255(255, 'n'), s255(255, 's');

// clang-format off
const keyCase keyCases[] = {
    {"missingKey", {}, {u""}, {u""}, u""},
    {"keyWithoutNames", {{"", "K", subkey, ""}}, {u""}, {u""}, u""},
    {"defaultValueIsTheEmptyName", {{"K", "", regSz, sz("d")}, {"K", "a", regSz, sz("x")}}, {u"", u"a"}, {u""}, u""},
    {"creationOrderKept", {{"K", "b", regSz, sz("")}, {"K", "a", regDword, "1234"}, {"K", "z", subkey, ""}, {"K", "y", subkey, ""}}, {u"b", u"a"}, {u"z", u"y"}, u""},
    {"longDataDoesNotEndTheList", {{"K", "Long", regSz, sz(std::string(300, 'x'))}, {"K", "JavaHome", regSz, sz("C:\\j")}}, {u"Long", u"JavaHome"}, {u""}, u"C:\\j"},
    {"nameOf254BytesFits", {{"K", n254, regSz, sz("")}, {"K", n254, subkey, ""}}, {std::u16string(254, u'n')}, {std::u16string(254, u'n')}, u""},
    {"overlongNamePassedOverNotEndingTheList", {{"K", "a", regSz, sz("")}, {"K", n255, regSz, sz("")}, {"K", "JavaHome", regSz, sz("")}, {"K", "a", subkey, ""}, {"K", n255, subkey, ""}, {"K", "b", subkey, ""}}, {u"a", u"JavaHome"}, {u"a", u"b"}, u""},
    {"onlyOverlongNamesGiveTheEmptyList", {{"K", std::string(300, 'n'), regSz, sz("")}, {"K", n255, subkey, ""}}, {u""}, {u""}, u""},
    {"listingErrorEndsTheList", {{"K", "a", regSz, sz("")}, {"K", "b", regSz, sz("")}, {"K", "x", subkey, ""}, {"K", "y", subkey, ""}, {"K", "1", listingFails, ""}}, {u"a"}, {u"x"}, u""},
    {"bestFitBackslashPassedOverInKeyNamesOnly", {{"K", "x\\y", subkey, ""}, {"K\\z", "a\\b", regSz, sz("")}, {"K", "a\\b", regSz, sz("")}}, {u"a\\b"}, {u"z"}, u""},
    {"otherValueNotRead", {{"K", "Other", regSz, sz("C:\\j2re")}}, {u"Other"}, {u""}, u""},
    {"string255FitsWhole", {{"K", "JavaHome", regSz, sz(s255)}}, {u"JavaHome"}, {u""}, std::u16string(255, u's')},
    {"string256TooBig", {{"K", "JavaHome", regSz, sz(s255 + "s")}}, {u"JavaHome"}, {u""}, u""},
    {"expandStringNotRead", {{"K", "JavaHome", regExpandSz, sz("%SystemRoot%")}}, {u"JavaHome"}, {u""}, u""},
    {"cutAtFirstNul", {{"K", "JavaHome", regSz, std::string("ab\0cd\0", 6)}}, {u"JavaHome"}, {u""}, u"ab"},
    {"noNulReadsOnlyReturnedBytes", {{"K", "JavaHome", regSz, "abc"}}, {u"JavaHome"}, {u""}, u"abc"},
    {"noNulFillingTheBuffer", {{"K", "JavaHome", regSz, s255 + "f"}}, {u"JavaHome"}, {u""}, std::u16string(255, u's') + u'f'},
};
// clang-format on

class keyTest : public platformTest, public ::testing::WithParamInterface<keyCase> {};

TEST_P(keyTest, read) {
    load(GetParam().registry);
    EXPECT_EQ(regListValueNames(hkeyLocalMachine, u"K"), GetParam().values);
    EXPECT_EQ(regListSubkeyNames(hkeyLocalMachine, u"K"), GetParam().subkeys);
    EXPECT_EQ(regReadString(hkeyLocalMachine, u"K", u"JavaHome"), GetParam().javaHome);
    EXPECT_EQ(regReadString(hkeyLocalMachine, u"K", std::u16string(u"JavaHome\0x", 10)), u"") << "a NUL names nothing";
}

INSTANTIATE_TEST_SUITE_P(table, keyTest, ::testing::ValuesIn(keyCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Searching -------------------------------------------------------------

constexpr std::int16_t T = regTrue, F = regFalse;

struct searchCase {
    const char* name;
    std::vector<regEntry> registry;
    regSearchSpec spec;
    texts hits;
};

// clang-format off
const searchCase searchCases[] = {
    {"launcherSpecFindsVersionKey", {{jre + "\\1.4.2", "JavaHome", regSz, sz("C:\\j2re")}}, {u"JavaHome", u"Software\\JavaSoft\\Java Runtime Environment", hkeyLocalMachine, 1, T, T, T, F}, {u"Software\\JavaSoft\\Java Runtime Environment\\1.4.2\r\nJavaHome\r\nC:\\j2re"}},
    {"otherCaseHitsInMode1", {{"K", "javahome", regSz, sz("x")}}, {u"JavaHome", u"K", hkeyLocalMachine, 1, F, F, T, F}, {u"\\K\r\njavahome\r\nx"}},
    {"otherCaseMissesInMode0", {{"K", "javahome", regSz, sz("x")}}, {u"JavaHome", u"K", hkeyLocalMachine, 0, F, F, T, F}, {}},
    {"expandStringHitsWithEmptyData", {{"K", "JavaHome", regExpandSz, sz("%x%")}}, {u"JavaHome", u"K", hkeyLocalMachine, 1, F, F, T, F}, {u"\\K\r\nJavaHome\r\n"}},
    {"keyPathHitsEveryValue", {{"A\\JavaHomeTools", "one", regSz, sz("1")}, {"A\\JavaHomeTools", "two", regDword, "2222"}}, {u"javahome", u"A\\JavaHomeTools", hkeyLocalMachine, 1, F, T, F, F}, {u"A\\JavaHomeTools\r\none\r\n1", u"A\\JavaHomeTools\r\ntwo\r\n"}},
    {"missingStartingKeyWithMatchingPath", {}, {u"JavaHome", u"X\\JavaHome", hkeyLocalMachine, 1, T, T, T, T}, {u"X\\JavaHome\r\n\r\n"}},
    {"wholeShownPathEqualHitsWithoutMatchKey", {{"Software", "v", regSz, sz("d")}}, {u"\\Software", u"Software", hkeyLocalMachine, 0, F, F, F, F}, {u"\\Software\r\nv\r\nd"}},
    {"lastLevelEqualNeedsMatchKey", {{"A\\Soft", "v", regSz, sz("d")}}, {u"Soft", u"A\\Soft", hkeyLocalMachine, 0, F, F, F, F}, {}},
    {"lastLevelEqualWithMatchKey", {{"A\\Soft", "v", regSz, sz("d")}}, {u"Soft", u"A\\Soft", hkeyLocalMachine, 0, F, 1, F, F}, {u"A\\Soft\r\nv\r\nd"}},
    {"mode0ComparesWholeTexts", {{"K", "JavaHomeX", regSz, sz("JavaHome!")}}, {u"JavaHome", u"K", hkeyLocalMachine, 0, F, T, T, T}, {}},
    {"dataCriterion", {{"K", "v", regSz, sz("C:\\Java\\jre")}}, {u"java", u"K", hkeyLocalMachine, 1, F, F, F, T}, {u"\\K\r\nv\r\nC:\\Java\\jre"}},
    {"dataCriterionInMode0", {{"K", "v", regSz, sz("C:\\j")}}, {u"C:\\j", u"K", hkeyLocalMachine, 0, F, F, F, T}, {u"\\K\r\nv\r\nC:\\j"}},
    {"oneHitEvenWhenAllCriteriaHold", {{"K\\JavaHome", "JavaHome", regSz, sz("JavaHome")}}, {u"JavaHome", u"K\\JavaHome", hkeyLocalMachine, 1, F, T, T, T}, {u"K\\JavaHome\r\nJavaHome\r\nJavaHome"}},
    {"flagsOffMatchNothing", {{"K\\JavaHome", "JavaHome", regSz, sz("JavaHome")}}, {u"JavaHome", u"K\\JavaHome", hkeyLocalMachine, 1, T, F, F, F}, {}},
    {"pathHoldingNulNamesNoKey", {{"K", "JavaHome", regSz, sz("x")}}, {u"JavaHome", std::u16string(u"K\0JavaHome", 10), hkeyLocalMachine, 1, F, T, T, F}, {std::u16string(u"\\K\0JavaHome\r\n\r\n", 15)}},
    {"unknownModeMatchesNothing", {{"K", "JavaHome", regSz, sz("JavaHome")}}, {u"JavaHome", u"K", hkeyLocalMachine, 2, T, T, T, T}, {}},
    {"recurseOneDoesNotDescend", {{"K", "a", regSz, sz("")}, {"K\\S", "b", regSz, sz("")}}, {u"", u"K", hkeyLocalMachine, 1, 1, F, T, F}, {u"\\K\r\na\r\n"}},
    {"depthFirstPreOrder", {{"R", "r", regSz, sz("")}, {"R\\B", "b", regSz, sz("")}, {"R\\B\\D", "d", regSz, sz("")}, {"R\\C", "c", regSz, sz("")}, {"R", "r2", regSz, sz("")}}, {u"", u"R", hkeyLocalMachine, 1, T, F, T, F}, {u"\\R\r\nr\r\n", u"\\R\r\nr2\r\n", u"R\\B\r\nb\r\n", u"R\\B\\D\r\nd\r\n", u"R\\C\r\nc\r\n"}},
    {"rootShownAsBackslash", {{"", "top", regSz, sz("t")}, {"Software", "s", regSz, sz("")}}, {u"", u"", hkeyLocalMachine, 1, T, F, T, F}, {u"\\\r\ntop\r\nt", u"\\Software\r\ns\r\n"}},
    {"emptySearchTextContainedInEmptyName", {{"", "K", subkey, ""}}, {u"", u"K", hkeyLocalMachine, 1, F, F, T, F}, {u"\\K\r\n\r\n"}},
    {"upperCasingCoversLatin1", {{"K", "\xe9t\xe9", regSz, sz("")}}, {u"\u00c9T\u00c9", u"K", hkeyLocalMachine, 1, F, F, T, F}, {u"\\K\r\n\u00e9t\u00e9\r\n"}},
    {"vanishedSubkeysYieldNothing", {{"R\\A", "JavaHome", regSz, sz("a")}, {"R\\B", "JavaHome", regSz, sz("b")}, {"R\\A", "", vanished, ""}, {"R\\B", "0", listingFails, ""}}, {u"JavaHome", u"R", hkeyLocalMachine, 1, T, F, T, F}, {}},
    // In creation order B, C, A, D: B fails after its 32,768 values were
    // examined, before its subkey Deep; C before any of its 32,769 values; the
    // search goes on with A and D.
    {"valueCounterFailureConfinedBelowStartingKey", manyValues("R\\B", 32767, manyValues("R\\C", 32769, {{"R\\A", "JavaHome", regSz, sz("a")}, {"R\\B", "JavaHome", regSz, sz("b")}, {"R\\B\\Deep", "JavaHome", regSz, sz("deep")}, {"R\\C", "JavaHome", regSz, sz("c")}, {"R\\D", "JavaHome", regSz, sz("d")}})), {u"JavaHome", u"R", hkeyLocalMachine, 0, T, F, T, F}, {u"R\\B\r\nJavaHome\r\nb", u"R\\A\r\nJavaHome\r\na", u"R\\D\r\nJavaHome\r\nd"}},
};
// clang-format on

class searchTest : public platformTest, public ::testing::WithParamInterface<searchCase> {};

// Every search starts with a hit already in the list: hits are only appended.
TEST_P(searchTest, hits) {
    load(GetParam().registry);
    regSearchSpec s = GetParam().spec;
    texts hits{u"earlier"};
    regSearch(s, hits);
    EXPECT_EQ(hits[0], u"earlier");
    EXPECT_EQ(texts(hits.begin() + 1, hits.end()), GetParam().hits);
    EXPECT_EQ(s.keyPath, GetParam().spec.keyPath);
}

INSTANTIATE_TEST_SUITE_P(table, searchTest, ::testing::ValuesIn(searchCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The subkey loop has no such limit: every one of 32,769 subkeys is searched,
// with one yield per subkey and per value examined.
TEST_F(platformTest, manySubkeysAllSearchedYieldingForEach) {
    for (int i = 0; i < 32769; ++i) portable::setString("R\\k" + std::to_string(i), "JavaHome", u"");
    load({{"R", "a", regSz, sz("")}, {"R", "b", regSz, sz("")}});
    regSearchSpec s = {u"JavaHome", u"R", hkeyLocalMachine, 0, T, F, T, F};
    texts hits;
    regSearch(s, hits);
    ASSERT_EQ(hits.size(), 32769U);
    EXPECT_EQ(hits.back(), u"R\\k32768\r\nJavaHome\r\n");
    EXPECT_EQ(portable::yieldCount(), 2U + 32769U * 2U);
}

}  // namespace
