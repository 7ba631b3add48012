// The end-to-end cases: what is set up, the exact command line Kestrune.exe
// is started with, and what must come out. Each case begins on a line of its
// own with its name; the build registers one test per case from these lines.
#pragma once

struct e2eCase {
    const char* name;
    // Commands run (and waited for) before the launcher, one per line, e.g.
    // a registry import.
    const wchar_t* setup;
    // JAVA_HOME for the launcher; nullptr leaves it unset.
    const wchar_t* javaHome;
    // The launcher's whole command line.
    const wchar_t* commandLine;
    // The box the launcher shows (nullptr: none); a text ending in "..." need
    // only match up to there.
    const wchar_t* box;
    // The program that must have run and the command line it got (nullptr:
    // nothing may run).
    const wchar_t* startedProgram;
    const wchar_t* startedCommandLine;
    int exitCode;
    // Every FILL mark in the texts above stands for fillCount copies of fill.
    wchar_t fill = L'x';
    int fillCount = 0;
};

#define KESTRUNE L"C:\\kestrune\\Kestrune.exe"
#define IMPORT(file) L"regedit.exe /S C:\\kestrune\\reg\\" file
// Set-up lines "generate:NAME" write C:\kestrune\reg\NAME.reg (see the
// driver) and import it.
#define GENERATE(name) L"generate:" name
#define FILL L"\x01"
#define NOT_FOUND L"Es konnte keine Java Version 1.4XXX auf Ihrem System ermittelt werden"

// clang-format off
const e2eCase e2eCases[] = {
    // ---- JAVA_HOME and the command line ----
    {"javaHomeWithArguments", nullptr, L"C:\\j2re", KESTRUNE L" -jar app.jar",
     nullptr, L"C:\\j2re\\bin\\java.exe", L"C:\\j2re\\bin\\java.exe -jar app.jar", 0},
    {"javaHomeWithoutArguments", nullptr, L"C:\\j2re", KESTRUNE,
     L"JavaVM: C:\\j2re\\bin\\javaw.exe", nullptr, nullptr, 0},
    {"javaHomeTrailingBackslash", nullptr, L"C:\\j2re\\", KESTRUNE L" -version",
     nullptr, L"C:\\j2re\\bin\\java.exe", L"C:\\j2re\\\\bin\\java.exe -version", 0},
    {"nothingFound", nullptr, nullptr, KESTRUNE L" -jar app.jar", NOT_FOUND, nullptr, nullptr, 0},
    {"nothingFoundWithoutArguments", nullptr, nullptr, KESTRUNE, NOT_FOUND, nullptr, nullptr, 0},
    {"failedStart", nullptr, L"C:\\nojava", KESTRUNE L" -version",
     L"Java konnte nicht gestartet werden.\n\nProgramm: C:\\nojava\\bin\\java.exe\n\nFehler 2...", nullptr, nullptr, 1},
    {"homeWithBlanksNeverRunsProgramExe", nullptr, L"C:\\Program Files\\Java\\j2re", KESTRUNE L" -jar app.jar",
     nullptr, L"C:\\Program Files\\Java\\j2re\\bin\\java.exe",
     L"\"C:\\Program Files\\Java\\j2re\\bin\\java.exe\" -jar app.jar", 0},
    {"homeInQuotesNeverRunsProgramExe", nullptr, L"\"C:\\Program Files\\Java\\j2re\"", KESTRUNE L" -version",
     L"Java konnte nicht gestartet werden.\n\nProgramm: \"C:\\Program Files\\Java\\j2re\"\\bin\\java.exe\n\nFehler 123...",
     nullptr, nullptr, 1},
    {"argumentsArriveUnchanged", nullptr, L"C:\\j2re",
     KESTRUNE L" -Dx=\"a  b\"   \"c d\" \\\"q\\\" \u00e9\u4e2d\U0001F600 'e'\t-t",
     nullptr, L"C:\\j2re\\bin\\java.exe",
     L"C:\\j2re\\bin\\java.exe -Dx=\"a  b\"   \"c d\" \\\"q\\\" \u00e9\u4e2d\U0001F600 'e'\t-t", 0},
    {"quotedLauncherPathAndBlanks", nullptr, L"C:\\j2re", L"\"" KESTRUNE L"\"    -version  ",
     nullptr, L"C:\\j2re\\bin\\java.exe", L"C:\\j2re\\bin\\java.exe -version  ", 0},

    // ---- The installed runtime from the registry ----
    {"registryOneRuntime", IMPORT(L"one-runtime.reg"), nullptr, KESTRUNE L" -jar app.jar",
     nullptr, L"C:\\jre142\\bin\\java.exe", L"C:\\jre142\\bin\\java.exe -jar app.jar", 0},
    {"registryNamesVmWithoutArguments", IMPORT(L"one-runtime.reg"), nullptr, KESTRUNE,
     L"JavaVM: C:\\jre142\\bin\\javaw.exe", nullptr, nullptr, 0},
    {"registryTextOrderDecides", IMPORT(L"versions.reg"), nullptr, KESTRUNE L" -version",
     nullptr, L"C:\\jre19\\bin\\java.exe", L"C:\\jre19\\bin\\java.exe -version", 0},
    {"registryExpandStringWinnerIsNothing", IMPORT(L"expand-winner.reg"), nullptr, KESTRUNE L" -version",
     NOT_FOUND, nullptr, nullptr, 0},
    {"registryKeyPathContainingJavaHome", IMPORT(L"versions.reg") L"\n" IMPORT(L"javahome-key.reg"), nullptr,
     KESTRUNE L" -version", nullptr, L"C:\\tools\\bin\\java.exe", L"C:\\tools\\bin\\java.exe -version", 0},
    {"registryStartingKeyMissing", IMPORT(L"jdk-only.reg"), nullptr, KESTRUNE L" -version",
     NOT_FOUND, nullptr, nullptr, 0},
    {"registryLongValuesBeforeJavaHome", IMPORT(L"long-values.reg"), nullptr, KESTRUNE L" -version",
     nullptr, L"C:\\jre142\\bin\\java.exe", L"C:\\jre142\\bin\\java.exe -version", 0},
    {"registryJavaHomeStillWins", IMPORT(L"versions.reg"), L"C:\\j2re", KESTRUNE L" -version",
     nullptr, L"C:\\j2re\\bin\\java.exe", L"C:\\j2re\\bin\\java.exe -version", 0},

    // ---- Hostile input ----
    // The launcher's command line is at Windows' limit of 32,767 characters
    // with its NUL; the VM's, with the quoted home, would be longer.
    {"commandLineAtLimitFitsTheVm", nullptr, L"C:\\j2re", KESTRUNE L" -cp " FILL,
     nullptr, L"C:\\j2re\\bin\\java.exe", L"C:\\j2re\\bin\\java.exe -cp " FILL, 0, L'a', 32766 - 29},
    {"commandLineOverLimitForTheVm", nullptr, L"C:\\Program Files\\Java\\j2re", KESTRUNE L" -cp " FILL,
     L"Java konnte nicht gestartet werden.\n\nProgramm: C:\\Program Files\\Java\\j2re\\bin\\java.exe\n\nFehler 206...",
     nullptr, nullptr, 1, L'a', 32766 - 29},
    {"javaHomeOfThousandsOfCharacters", nullptr, L"C:\\" FILL, KESTRUNE,
     L"JavaVM: C:\\" FILL L"\\bin\\javaw.exe", nullptr, nullptr, 0, L'h', 6000},
    {"javaHomeOfThousandsOfCharactersStart", nullptr, L"C:\\" FILL, KESTRUNE L" -version",
     L"Java konnte nicht gestartet werden.\n\nProgramm: C:\\" FILL L"\\bin\\java.exe\n\nFehler ...",
     nullptr, nullptr, 1, L'h', 6000},
    {"registryDeepSubtree", GENERATE(L"deep"), nullptr, KESTRUNE, L"JavaVM: C:\\level50\\bin\\javaw.exe", nullptr,
     nullptr, 0},
    {"registryTooManyValues", GENERATE(L"many-values"), nullptr, KESTRUNE L" -version",
     L"Die Registry konnte nicht durchsucht werden: Der Schl\u00fcssel HKEY_LOCAL_MACHINE\\Software\\JavaSoft\\"
     L"Java Runtime Environment hat zu viele Werte (32768 oder mehr).", nullptr, nullptr, 1},
    {"registryNonAnsiText", GENERATE(L"non-ansi"), nullptr, KESTRUNE,
     L"JavaVM: C:\\J\u00e4ger\\?\\bin\\javaw.exe", nullptr, nullptr, 0},
};
// clang-format on

// Cases that need a 64-bit prefix: a 32-bit launcher sees the 32-bit
// registry view only.
// clang-format off
const e2eCase e2eCases64[] = {
    {"view64OnlyNotSeen",
     L"reg.exe add \"HKLM\\Software\\JavaSoft\\Java Runtime Environment\\1.8\" /v JavaHome /d C:\\jre142 /f /reg:64",
     nullptr, KESTRUNE L" -version", NOT_FOUND, nullptr, nullptr, 0},
    {"view32Seen",
     L"reg.exe add \"HKLM\\Software\\JavaSoft\\Java Runtime Environment\\1.8\" /v JavaHome /d C:\\jre142 /f /reg:32",
     nullptr, KESTRUNE L" -version", nullptr, L"C:\\jre142\\bin\\java.exe", L"C:\\jre142\\bin\\java.exe -version", 0},
};
// clang-format on
