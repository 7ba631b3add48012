// Memory running out at every allocation of a search and of a whole run, one
// after the other: no crash, no leak (LeakSanitizer), no registry handle left
// open, keyPath put back, hits only ever appended, and a run that reports
// what it can and exits 1.
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "registry/regHelper.h"
#include "support.h"

namespace {
// Allocations still allowed; negative means no limit.
long allocationsLeft = -1;
}  // namespace

void* operator new(std::size_t size) {
    if (allocationsLeft == 0) throw std::bad_alloc();
    if (allocationsLeft > 0) --allocationsLeft;
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace {

const std::string jre = "Software\\JavaSoft\\Java Runtime Environment";

void loadRuntimes() {
    load({{jre, "JavaHome", platform::regSz, sz("C:\\top")},
          {jre + "\\1.3.1", "JavaHome", platform::regSz, sz("C:\\131")},
          {jre + "\\1.4", "JavaHome", platform::regSz, sz("C:\\14")},
          {jre + "\\1.4", "OldJavaHome", platform::regSz, sz("C:\\old")},
          {jre + "\\1.4\\JavaHomeTools", "Path", platform::regSz, sz("C:\\tools")},
          {jre + "\\1.4.2", "JavaHome", platform::regSz, sz("C:\\142")}});
}

regSearchSpec launcherSpec() {
    regSearchSpec spec;
    spec.searchText = u"JavaHome";
    spec.keyPath = platform::fromAnsi(platform::ansiText(jre.data(), jre.size()));
    spec.rootKey = platform::hkeyLocalMachine;
    spec.matchMode = 1;
    spec.recurse = regTrue;
    spec.matchKey = regTrue;
    spec.matchValueName = regTrue;
    return spec;
}

// Whether every element of part occurs in whole, in the same order.
bool isSubsequence(const std::vector<std::u16string>& part, const std::vector<std::u16string>& whole) {
    std::size_t at = 0;
    for (const auto& hit : part) {
        while (at < whole.size() && whole[at] != hit) ++at;
        if (at == whole.size()) return false;
        ++at;
    }
    return true;
}

TEST_F(platformTest, searchSurvivesMemoryRunningOutAnywhere) {
    loadRuntimes();
    regSearchSpec spec = launcherSpec();
    std::vector<std::u16string> complete;
    regSearch(spec, complete);
    ASSERT_EQ(complete.size(), 6U);

    for (long limit = 0;; ++limit) {
        std::vector<std::u16string> hits{u"earlier"};
        hits.reserve(16);
        bool failed = false;
        allocationsLeft = limit;
        try {
            regSearch(spec, hits);
        } catch (const std::bad_alloc&) {
            failed = true;
        }
        allocationsLeft = -1;
        SCOPED_TRACE("allocations allowed: " + std::to_string(limit));
        EXPECT_EQ(show(spec.keyPath), jre);
        EXPECT_EQ(portable::openKeyCount(), 0);
        ASSERT_FALSE(hits.empty());
        EXPECT_EQ(show(hits.front()), "earlier");
        hits.erase(hits.begin());
        EXPECT_TRUE(isSubsequence(hits, complete));
        if (!failed && hits == complete) break;
        ASSERT_LT(limit, 100000) << "the search never completed";
    }
}

TEST_F(platformTest, runReportsMemoryRunningOutAnywhere) {
    for (long limit = 0;; ++limit) {
        portable::reset();
        loadRuntimes();
        portable::setCommandText(u"-version");
        allocationsLeft = limit;
        const int exitCode = launcherMain();
        allocationsLeft = -1;
        SCOPED_TRACE("allocations allowed: " + std::to_string(limit));
        EXPECT_EQ(portable::openKeyCount(), 0);
        if (exitCode == 0 && !portable::processStarts().empty()) {
            EXPECT_EQ(show(portable::processStarts()[0].commandLine), "C:\\tools\\bin\\java.exe -version");
            break;
        }
        // Either the failure box made it out, or not even that memory was left.
        EXPECT_LE(portable::messageBoxes().size(), 1U);
        ASSERT_LT(limit, 100000) << "the run never completed";
    }
}

}  // namespace
