#include "launcher/launcher.h"

#include <exception>
#include <new>

#include "platform/platform.h"
#include "registry/regHelper.h"

namespace {

// ERROR_INVALID_NAME: the syntax of a file name is wrong.
const std::uint32_t invalidNameError = 123;

const char16_t notFoundText[] = u"Es konnte keine Java Version 1.4XXX auf Ihrem System ermittelt werden";

// The program path goes into the command line in double quotes when it holds
// a blank or a tab: for C:\Program Files\Java\j2re the command line begins
// "C:\Program Files\Java\j2re\bin\java.exe", so Windows never tries
// C:\Program.exe first. A path without blanks stays as it is
// (C:\j2re\bin\java.exe -jar app.jar).
std::u16string quotedIfBlank(const std::u16string& program) {
    if (program.find_first_of(u" \t") == std::u16string::npos) return program;
    return u'"' + program + u'"';
}

std::u16string decimal(std::uint32_t number) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + number % 10));
        number /= 10;
    } while (number != 0);
    return digits;
}

// Windows' system texts end in a line break, some with blanks before it; the
// box ends with the text itself ("... nicht finden.\r\n" gives
// "... nicht finden."), never with an empty line.
std::u16string withoutLineEnd(std::u16string text) {
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ')) text.pop_back();
    return text;
}

std::u16string widen(const char* ascii) {
    std::u16string text;
    for (; *ascii != '\0'; ++ascii) text += static_cast<char16_t>(static_cast<unsigned char>(*ascii));
    return text;
}

}  // namespace

std::u16string findInstalledJavaHome() {
    regSearchSpec spec;
    spec.searchText = u"JavaHome";
    spec.keyPath = u"Software\\JavaSoft\\Java Runtime Environment";
    spec.rootKey = platform::hkeyLocalMachine;
    spec.matchMode = 1;
    spec.recurse = regTrue;
    spec.matchKey = regTrue;
    spec.matchValueName = regTrue;
    spec.matchValueData = regFalse;

    std::vector<std::u16string> hits;
    regSearch(spec, hits);

    // The greatest hit by ordinal UTF-16 order wins; in practice the one of
    // the key whose path sorts last (1.4.2 beats 1.4, and 1.9 beats 1.10).
    const std::u16string* best = nullptr;
    for (const std::u16string& hit : hits) {
        if (best == nullptr || hit > *best) best = &hit;
    }
    if (best == nullptr || best->empty()) return {};

    // A hit is path CR LF name CR LF data; the home is all after the second
    // CR LF.
    const std::size_t first = best->find(u"\r\n");
    if (first == std::u16string::npos) return {};
    const std::size_t second = best->find(u"\r\n", first + 2);
    if (second == std::u16string::npos) return {};
    return best->substr(second + 2);
}

void runLauncher() {
    const std::u16string commandText = platform::commandText();
    const std::u16string environmentHome = platform::environmentVariable(u"JAVA_HOME");
    const std::u16string home = environmentHome.empty() ? findInstalledJavaHome() : environmentHome;

    if (home.empty()) {
        platform::showMessage(notFoundText);
        return;
    }
    if (!commandText.empty()) {
        // For C:\j2re and -jar app.jar: C:\j2re\bin\java.exe -jar app.jar.
        const std::u16string program = home + u"\\bin\\java.exe";
        // No file name holds a double quote, so such a home names no VM; and
        // in the command line its quotes would end the quoting early, so that
        // for "C:\Program Files\j2re" Windows would try C:\Program.exe.
        if (program.find(u'"') != std::u16string::npos) throw startFailure(program, invalidNameError);
        const platform::startResult started =
            platform::startProcess(program, quotedIfBlank(program) + u' ' + commandText);
        // The failure names the file Windows found and could not start, so
        // that for the home jre it tells which jre\bin\java.exe is broken;
        // where none was found, the program as it was built.
        if (started.error != 0) throw startFailure(started.file.empty() ? program : started.file, started.error);
        return;
    }
    platform::showMessage(u"JavaVM: " + home + u"\\bin\\javaw.exe");
}

std::u16string failureMessage(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const startFailure& start) {
        std::u16string text =
            u"Java konnte nicht gestartet werden.\n\nProgramm: " + start.program + u"\n\nFehler " + decimal(start.code);
        const std::u16string reason = withoutLineEnd(platform::systemErrorText(start.code, start.program));
        if (!reason.empty()) text += u": " + reason;
        return text;
    } catch (const tooManyValuesFailure& registry) {
        return u"Die Registry konnte nicht durchsucht werden: Der Schl\u00fcssel HKEY_LOCAL_MACHINE\\" +
               registry.keyPath + u" hat zu viele Werte (32768 oder mehr).";
    } catch (const std::bad_alloc&) {
        return u"Nicht gen\u00fcgend Arbeitsspeicher.";
    } catch (const std::exception& other) {
        return u"Unerwarteter Fehler: " + widen(other.what());
    } catch (...) {
        return u"Unerwarteter Fehler.";
    }
}

int launcherMain() {
    try {
        runLauncher();
        return 0;
    } catch (...) {
        try {
            platform::showMessage(failureMessage(std::current_exception()), true);
        } catch (...) {  // NOLINT(bugprone-empty-catch): no way is left to tell the user; the exit code says it
        }
        return 1;
    }
}
