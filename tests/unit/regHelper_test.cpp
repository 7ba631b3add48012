// The registry helper against the in-memory registry: reading keys with the
// fixed ANSI buffers, and the recursive search with its criteria, hit texts,
// order, limits and failures.
#include <string>
#include <vector>

#include "registry/regHelper.h"
#include "support.h"

namespace {

using platform::hkeyLocalMachine;
using platform::regDword;
using platform::regExpandSz;
using platform::regSz;

// ---- Reading one key -------------------------------------------------------

struct listCase {
    const char* name;
    std::vector<regEntry> registry;
    std::string path;
    std::vector<std::string> values;
    std::vector<std::string> subkeys;
};

// clang-format off
const listCase listCases[] = {
    {"missingKey", {}, "K", {""}, {""}},
    {"keyWithoutNames", {{"K", "", keyOnly, ""}}, "K", {""}, {""}},
    {"defaultValueIsTheEmptyName", {{"K", "", regSz, sz("d")}, {"K", "a", regSz, sz("x")}}, "K", {"", "a"}, {""}},
    {"creationOrderKept", {{"K", "b", regSz, sz("")}, {"K", "a", regDword, "1234"}, {"K\\z", "", keyOnly, ""},
                           {"K\\y", "", keyOnly, ""}}, "K", {"b", "a"}, {"z", "y"}},
    {"longDataDoesNotEndTheList", {{"K", "Long", regSz, sz(std::string(300, 'x'))}, {"K", "JavaHome", regSz, sz("C:\\j")}},
     "K", {"Long", "JavaHome"}, {""}},
    {"nameOf254BytesFits", {{"K", std::string(254, 'n'), regSz, sz("")}, {"K\\" + std::string(254, 'k'), "", keyOnly, ""}},
     "K", {std::string(254, 'n')}, {std::string(254, 'k')}},
    {"overlongNamePassedOverNotEndingTheList",
     {{"K", "a", regSz, sz("")}, {"K", std::string(255, 'n'), regSz, sz("")}, {"K", "JavaHome", regSz, sz("")},
      {"K\\a", "", keyOnly, ""}, {"K\\" + std::string(255, 'k'), "", keyOnly, ""}, {"K\\b", "", keyOnly, ""}},
     "K", {"a", "JavaHome"}, {"a", "b"}},
    {"onlyOverlongNamesGiveTheEmptyList",
     {{"K", std::string(300, 'n'), regSz, sz("")}, {"K\\" + std::string(255, 'k'), "", keyOnly, ""}}, "K", {""}, {""}},
    {"pathMatchedWithoutRegardToCase", {{"Soft\\Key", "v", regSz, sz("")}, {"Soft\\Key\\S\u00e9", "", keyOnly, ""}},
     "SOFT\\kEY", {"v"}, {"S\u00e9"}},
};
// clang-format on

class listTest : public platformTest, public ::testing::WithParamInterface<listCase> {};

std::vector<std::string> latin1(const regNameList& names) {
    std::vector<std::string> out;
    for (const auto& name : names) out.push_back(::latin1(name));
    return out;
}

TEST_P(listTest, names) {
    const listCase& c = GetParam();
    load(c.registry);
    EXPECT_EQ(latin1(regListValueNames(hkeyLocalMachine, u16(c.path))), c.values);
    EXPECT_EQ(latin1(regListSubkeyNames(hkeyLocalMachine, u16(c.path))), c.subkeys);
}

INSTANTIATE_TEST_SUITE_P(table, listTest, ::testing::ValuesIn(listCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct readCase {
    const char* name;
    std::uint32_t type;
    std::string data;
    std::string valueName;
    std::string expected;
};

// clang-format off
const readCase readCases[] = {
    {"plainString", regSz, sz("C:\\j2re"), "JavaHome", "C:\\j2re"},
    {"nameMatchedWithoutRegardToCase", regSz, sz("C:\\j2re"), "JAVAHOME", "C:\\j2re"},
    {"missingValue", regSz, sz("C:\\j2re"), "Other", ""},
    {"string255FitsWhole", regSz, sz(std::string(255, 's')), "JavaHome", std::string(255, 's')},
    {"string256TooBig", regSz, sz(std::string(256, 's')), "JavaHome", ""},
    {"expandStringNotRead", regExpandSz, sz("%SystemRoot%"), "JavaHome", ""},
    {"dwordNotRead", regDword, std::string("\x01\x00\x00\x00", 4), "JavaHome", ""},
    {"cutAtFirstNul", regSz, std::string("ab\0cd\0", 6), "JavaHome", "ab"},
    {"noNulReadsOnlyReturnedBytes", regSz, "abc", "JavaHome", "abc"},
    {"noNulFillingTheBuffer", regSz, std::string(256, 'f'), "JavaHome", std::string(256, 'f')},
    {"emptyString", regSz, sz(""), "JavaHome", ""},
    {"latin1Text", regSz, sz("C:\\J\xe4ger"), "JavaHome", "C:\\J\xe4ger"},
};
// clang-format on

class readTest : public platformTest, public ::testing::WithParamInterface<readCase> {};

TEST_P(readTest, value) {
    const readCase& c = GetParam();
    portable::setValue("K", "JavaHome", c.type, c.data);
    EXPECT_EQ(::latin1(regReadString(hkeyLocalMachine, u"K", u16(c.valueName))), c.expected);
}

INSTANTIATE_TEST_SUITE_P(table, readTest, ::testing::ValuesIn(readCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(platformTest, statusOfLastCallIsKept) {
    portable::setString("K", "v", u"x");
    regReadString(hkeyLocalMachine, u"Missing", u"v");
    EXPECT_EQ(lastRegStatus(), platform::regFileNotFound);
    regReadString(hkeyLocalMachine, u"K", u"v");
    EXPECT_EQ(lastRegStatus(), platform::regSuccess);
    regListValueNames(hkeyLocalMachine, u"K");
    EXPECT_EQ(lastRegStatus(), platform::regNoMoreItems);
}

// An enumeration error in the middle of a listing (a key deleted meanwhile)
// ends that listing with the names read so far and closes the key.
TEST_F(platformTest, enumerationErrorEndsListing) {
    load({{"K", "a", regSz, sz("")}, {"K", "b", regSz, sz("")}, {"K\\x", "", keyOnly, ""}, {"K\\y", "", keyOnly, ""}});
    portable::failValueEnumeration("K", 1, 1018);  // ERROR_KEY_DELETED
    portable::failSubkeyEnumeration("K", 1, 1018);
    EXPECT_EQ(latin1(regListValueNames(hkeyLocalMachine, u"K")), std::vector<std::string>{"a"});
    EXPECT_EQ(latin1(regListSubkeyNames(hkeyLocalMachine, u"K")), std::vector<std::string>{"x"});
    portable::failOpen("K", platform::regAccessDenied);
    EXPECT_EQ(latin1(regListValueNames(hkeyLocalMachine, u"K")), std::vector<std::string>{""});
    EXPECT_EQ(lastRegStatus(), platform::regAccessDenied);
}

// ---- Searching -------------------------------------------------------------

regSearchSpec spec(const char16_t* text, const char16_t* path, std::int32_t mode, std::int16_t recurse,
                   std::int16_t key, std::int16_t name, std::int16_t data) {
    regSearchSpec s;
    s.searchText = text;
    s.keyPath = path;
    s.rootKey = hkeyLocalMachine;
    s.matchMode = mode;
    s.recurse = recurse;
    s.matchKey = key;
    s.matchValueName = name;
    s.matchValueData = data;
    return s;
}

const std::string jre = "Software\\JavaSoft\\Java Runtime Environment";
const char16_t jreU[] = u"Software\\JavaSoft\\Java Runtime Environment";
constexpr std::int16_t T = regTrue;
constexpr std::int16_t F = regFalse;

struct searchCase {
    const char* name;
    std::vector<regEntry> registry;
    regSearchSpec spec;
    std::vector<std::u16string> hits;
};

// clang-format off
const searchCase searchCases[] = {
    {"launcherSpecFindsVersionKey", {{jre + "\\1.4.2", "JavaHome", regSz, sz("C:\\j2re")}},
     spec(u"JavaHome", jreU, 1, T, T, T, F),
     {u"Software\\JavaSoft\\Java Runtime Environment\\1.4.2\r\nJavaHome\r\nC:\\j2re"}},
    {"otherCaseHitsInMode1", {{"K", "javahome", regSz, sz("x")}}, spec(u"JavaHome", u"K", 1, F, F, T, F),
     {u"\\K\r\njavahome\r\nx"}},
    {"otherCaseMissesInMode0", {{"K", "javahome", regSz, sz("x")}}, spec(u"JavaHome", u"K", 0, F, F, T, F), {}},
    {"expandStringHitsWithEmptyData", {{"K", "JavaHome", regExpandSz, sz("%x%")}},
     spec(u"JavaHome", u"K", 1, F, F, T, F), {u"\\K\r\nJavaHome\r\n"}},
    {"keyPathHitsEveryValue",
     {{"A\\JavaHomeTools", "one", regSz, sz("1")}, {"A\\JavaHomeTools", "two", regDword, "2222"}},
     spec(u"javahome", u"A\\JavaHomeTools", 1, F, T, F, F),
     {u"A\\JavaHomeTools\r\none\r\n1", u"A\\JavaHomeTools\r\ntwo\r\n"}},
    {"keyPathHitsEmptyEntryOfKeyWithoutValues", {{"A\\JavaHomeTools", "", keyOnly, ""}},
     spec(u"JavaHome", u"A\\JavaHomeTools", 1, T, T, F, F), {u"A\\JavaHomeTools\r\n\r\n"}},
    {"missingStartingKeyWithMatchingPath", {}, spec(u"JavaHome", u"X\\JavaHome", 1, T, T, T, T),
     {u"X\\JavaHome\r\n\r\n"}},
    {"wholeShownPathEqualHitsWithoutMatchKey", {{"Software", "v", regSz, sz("d")}},
     spec(u"\\Software", u"Software", 0, F, F, F, F), {u"\\Software\r\nv\r\nd"}},
    {"lastLevelEqualNeedsMatchKey", {{"A\\Soft", "v", regSz, sz("d")}}, spec(u"Soft", u"A\\Soft", 0, F, F, F, F), {}},
    {"lastLevelEqualWithMatchKey", {{"A\\Soft", "v", regSz, sz("d")}}, spec(u"Soft", u"A\\Soft", 0, F, 1, F, F),
     {u"A\\Soft\r\nv\r\nd"}},
    {"mode0ComparesWholeTexts", {{"K", "JavaHomeX", regSz, sz("JavaHome!")}}, spec(u"JavaHome", u"K", 0, F, T, T, T), {}},
    {"dataCriterion", {{"K", "v", regSz, sz("C:\\Java\\jre")}}, spec(u"java", u"K", 1, F, F, F, T),
     {u"\\K\r\nv\r\nC:\\Java\\jre"}},
    {"oneHitEvenWhenAllCriteriaHold", {{"K\\JavaHome", "JavaHome", regSz, sz("JavaHome")}},
     spec(u"JavaHome", u"K\\JavaHome", 1, F, T, T, T), {u"K\\JavaHome\r\nJavaHome\r\nJavaHome"}},
    {"flagsOffMatchNothing", {{"K\\JavaHome", "JavaHome", regSz, sz("JavaHome")}},
     spec(u"JavaHome", u"K\\JavaHome", 1, T, F, F, F), {}},
    {"unknownModeMatchesNothing", {{"K", "JavaHome", regSz, sz("JavaHome")}}, spec(u"JavaHome", u"K", 2, T, T, T, T), {}},
    {"negativeModeMatchesNothing", {{"K", "JavaHome", regSz, sz("JavaHome")}}, spec(u"\\K", u"K", -1, T, T, T, T), {}},
    {"recurseOneDoesNotDescend", {{"K", "a", regSz, sz("")}, {"K\\S", "b", regSz, sz("")}},
     spec(u"", u"K", 1, 1, F, T, F), {u"\\K\r\na\r\n"}},
    {"matchFlagOneCounts", {{"K", "JavaHome", regSz, sz("")}}, spec(u"JAVAHOME", u"K", 1, F, F, 1, F),
     {u"\\K\r\nJavaHome\r\n"}},
    {"depthFirstPreOrder",
     {{"R", "r", regSz, sz("")}, {"R\\B", "b", regSz, sz("")}, {"R\\B\\D", "d", regSz, sz("")},
      {"R\\C", "c", regSz, sz("")}, {"R", "r2", regSz, sz("")}},
     spec(u"", u"R", 1, T, F, T, F),
     {u"\\R\r\nr\r\n", u"\\R\r\nr2\r\n", u"R\\B\r\nb\r\n", u"R\\B\\D\r\nd\r\n", u"R\\C\r\nc\r\n"}},
    {"rootShownAsBackslash", {{"", "top", regSz, sz("t")}, {"Software", "s", regSz, sz("")}},
     spec(u"", u"", 1, T, F, T, F), {u"\\\r\ntop\r\nt", u"\\Software\r\ns\r\n"}},
    {"emptySearchTextContainedInEmptyName", {{"K", "", keyOnly, ""}}, spec(u"", u"K", 1, F, F, T, F), {u"\\K\r\n\r\n"}},
    {"emptySearchTextEqualsEmptyData", {{"K", "v", regSz, sz("")}}, spec(u"", u"K", 0, F, F, F, T), {u"\\K\r\nv\r\n"}},
    {"upperCasingCoversLatin1", {{"K", "\xe9t\xe9", regSz, sz("")}}, spec(u"\u00c9T\u00c9", u"K", 1, F, F, T, F),
     {u"\\K\r\n\u00e9t\u00e9\r\n"}},
    {"crLfInNamesKeptUnescaped", {{"K", "a\r\nJavaHome", regSz, sz("x\r\ny")}}, spec(u"javahome", u"K", 1, F, F, T, F),
     {u"\\K\r\na\r\nJavaHome\r\nx\r\ny"}},
};
// clang-format on

class searchTest : public platformTest, public ::testing::WithParamInterface<searchCase> {};

TEST_P(searchTest, hits) {
    const searchCase& c = GetParam();
    load(c.registry);
    regSearchSpec s = c.spec;
    std::vector<std::u16string> hits;
    regSearch(s, hits);
    EXPECT_EQ(show(hits), show(c.hits));
    EXPECT_EQ(show(s.keyPath), show(c.spec.keyPath));
}

INSTANTIATE_TEST_SUITE_P(table, searchTest, ::testing::ValuesIn(searchCases),
                         [](const auto& info) { return std::string(info.param.name); });

std::vector<regEntry> manyValues(const std::string& path, int count) {
    std::vector<regEntry> entries;
    for (int i = 0; i < count; ++i) entries.push_back({path, "v" + std::to_string(i), regSz, sz("")});
    return entries;
}

// Hits already in the list stay in front; a search that finds nothing leaves
// the list as it was.
TEST_F(platformTest, hitsAreAppended) {
    load({{"K", "JavaHome", regSz, sz("x")}});
    std::vector<std::u16string> hits{u"earlier"};
    regSearchSpec s = spec(u"nothing", u"K", 1, T, T, T, T);
    regSearch(s, hits);
    EXPECT_EQ(hits, std::vector<std::u16string>{u"earlier"});
    s.searchText = u"javahome";
    regSearch(s, hits);
    EXPECT_EQ(show(hits), show(std::vector<std::u16string>{u"earlier", u"\\K\r\nJavaHome\r\nx"}));
}

// One yield for every value examined and for every subkey visited.
TEST_F(platformTest, yieldsOncePerValueAndSubkey) {
    load({{"R", "a", regSz, sz("")},
          {"R", "b", regSz, sz("")},
          {"R\\S", "", keyOnly, ""},
          {"R\\T", "c", regSz, sz("")}});
    regSearchSpec s = spec(u"x", u"R", 1, T, T, T, T);
    std::vector<std::u16string> hits;
    regSearch(s, hits);
    // R: 2 values, 2 subkeys; S: its empty entry; T: 1 value.
    EXPECT_EQ(portable::yieldCount(), 6U);
}

// The value counter is 16 bits wide. At the starting key the failure reaches
// the caller: with 32,768 values after all of them were examined, with more
// before any was.
TEST_F(platformTest, valueCounterLimitAtStartingKey) {
    load(manyValues("K", 32768));
    load({{"K\\Sub", "v", regSz, sz("")}});
    regSearchSpec s = spec(u"v32767", u"K", 0, T, F, T, F);
    std::vector<std::u16string> hits;
    EXPECT_THROW(regSearch(s, hits), tooManyValuesFailure);
    EXPECT_EQ(show(hits), show(std::vector<std::u16string>{u"\\K\r\nv32767\r\n"}));
    EXPECT_EQ(show(s.keyPath), "K");

    load({{"K", "v32768", regSz, sz("")}});
    hits.clear();
    EXPECT_THROW(regSearch(s, hits), tooManyValuesFailure);
    EXPECT_TRUE(hits.empty());
    EXPECT_EQ(portable::openKeyCount(), 0);
}

// Below the starting key the failure costs only that key's subtree; keyPath
// is put back and the search goes on with the next subkey.
TEST_F(platformTest, valueCounterFailureConfinedBelowStartingKey) {
    load({{"R\\A", "JavaHome", regSz, sz("a")}});
    load(manyValues("R\\B", 32768));
    load({{"R\\B", "v0", regSz, sz("b")}, {"R\\B\\Deep", "JavaHome", regSz, sz("deep")}});
    load(manyValues("R\\C", 32769));
    load({{"R\\C", "JavaHome", regSz, sz("c")}, {"R\\D", "JavaHome", regSz, sz("d")}});
    regSearchSpec s = spec(u"JavaHome", u"R", 0, T, F, T, F);
    std::vector<std::u16string> hits;
    regSearch(s, hits);
    // B: examined in full (no JavaHome among its v-names), then fails before
    // Deep. C: fails before any value. D: searched.
    EXPECT_EQ(show(hits), show(std::vector<std::u16string>{u"R\\A\r\nJavaHome\r\na", u"R\\D\r\nJavaHome\r\nd"}));
    EXPECT_EQ(show(s.keyPath), "R");
}

// The subkey loop has no such limit: every one of 32,769 subkeys is searched.
TEST_F(platformTest, manySubkeysAllSearched) {
    for (int i = 0; i < 32769; ++i) portable::setString("R\\k" + std::to_string(i), "JavaHome", u"");
    regSearchSpec s = spec(u"JavaHome", u"R", 0, T, F, T, F);
    std::vector<std::u16string> hits;
    regSearch(s, hits);
    ASSERT_EQ(hits.size(), 32769U);
    EXPECT_EQ(show(hits.back()), "R\\k32768\\r\\nJavaHome\\r\\n");
}

// A subkey that vanishes between listing and visiting is simply empty.
TEST_F(platformTest, vanishedSubkeyYieldsNothing) {
    load({{"R\\A", "JavaHome", regSz, sz("a")}, {"R\\B", "JavaHome", regSz, sz("b")}});
    portable::failOpen("R\\A", platform::regFileNotFound);
    portable::failValueEnumeration("R\\B", 0, 1018);
    regSearchSpec s = spec(u"JavaHome", u"R", 1, T, F, T, F);
    std::vector<std::u16string> hits;
    regSearch(s, hits);
    EXPECT_TRUE(hits.empty()) << show(hits.front());
}

}  // namespace
