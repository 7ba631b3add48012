// The end-to-end cases, one a line: name, the builds it holds for,
// set-up commands run by cmd before the launcher, JAVA_HOME (nullptr: unset),
// the launcher's whole command line, and the transcript that must come out:
// "box: TEXT" per box without an icon and "box with icon: TEXT" per box with
// one (caption Kestrune, one button), "start: PROGRAM | COMMAND LINE" when
// the VM started minimized, with a minimized console window of its own, in
// the launcher's folder C:\start here, and "exit N"; in front, "(window code
// loaded)" where the launcher loaded user32 but showed no box (a thread
// without a window has no messages to process). A "*" in the transcript
// stands for any text; FILL for fillCount copies of "a".
#pragma once

// everyBuild: the 32-bit release, run in a 32-bit Wine prefix, and the x86-64
// build, run in a 64-bit one. release32On64: the 32-bit release only, run in a
// 64-bit prefix (what a 32-bit program sees of a 64-bit registry).
enum e2eBuilds { everyBuild, release32On64 };

struct e2eCase {
    const char* name;
    e2eBuilds builds;
    const wchar_t* setup;
    const wchar_t* javaHome;
    const wchar_t* commandLine;
    const wchar_t* transcript;
    int fillCount = 0;
};

#define KESTRUNE L"C:\\kestrune\\Kestrune.exe"
#define IMPORT(file) L" && regedit.exe /S C:\\kestrune\\reg\\" file
#define REG_ADD(key, rest) L" && reg.exe add \"HKLM\\Software\\JavaSoft\\Java Runtime Environment" key L"\" " rest
#define FILL L"\x01"
#define NOT_FOUND L"box: Es konnte keine Java Version 1.4XXX auf Ihrem System ermittelt werden\nexit 0"
#define NOT_STARTED L"box with icon: Java konnte nicht gestartet werden.\n\nProgramm: "
// The home dup removed from a folder where the program search looks; found in another.
#define DROP(folder) L" && rd /s /q \"" folder L"\\dup\""
#define FOUND_IN(folder) L"start: " folder L"\\dup\\bin\\java.exe | dup\\bin\\java.exe -version\nexit 0"
#define START(home, arguments) L"start: " home L"\\bin\\java.exe | " home L"\\bin\\java.exe " arguments L"\nexit 0"

// clang-format off
const e2eCase e2eCases[] = {
    // ---- The C runtime's argument text, CreateProcessW, MessageBoxW ----
    {"argumentsArriveUnchanged", everyBuild, L"", L"C:\\j2re", KESTRUNE L" -Dx=\"a  b\"   \"c d\" \\\"q\\\" \u00e9\u4e2d\U0001F600 'e'\t-t", START(L"C:\\j2re", L"-Dx=\"a  b\"   \"c d\" \\\"q\\\" \u00e9\u4e2d\U0001F600 'e'\t-t")},
    {"quotedLauncherPathAndBlanks", everyBuild, L"", L"C:\\j2re", L"\"" KESTRUNE L"\"    -version  ", START(L"C:\\j2re", L"-version  ")},
    {"blanksOnlyNameTheVm", everyBuild, L"", L"C:\\j2re", KESTRUNE L"   ", L"box: JavaVM: C:\\j2re\\bin\\javaw.exe\nexit 0"},
    {"homeWithBlanksNeverRunsProgramExe", everyBuild, L"", L"C:\\Program Files\\Java\\j2re", KESTRUNE L" -jar app.jar", L"start: C:\\Program Files\\Java\\j2re\\bin\\java.exe | \"C:\\Program Files\\Java\\j2re\\bin\\java.exe\" -jar app.jar\nexit 0"},
    {"argumentTextNeverChoosesTheProgram", everyBuild, L"", L"C:\\nojava", KESTRUNE L" \\..\\..\\..\\Program -x", NOT_STARTED L"C:\\nojava\\bin\\java.exe\n\nFehler 2: *\nexit 1"},
    {"folderNamedJavaExeNeverStarts", everyBuild, L"", L"C:\\folder", KESTRUNE L" \\..\\..\\..\\Program -x", NOT_STARTED L"C:\\folder\\bin\\java.exe\n\nFehler 2: *\nexit 1"},
    // The program search, with the home dup in each folder it looks in, removed from those before the one named.
    {"searchBesideTheLauncherFirst", everyBuild, L"", L"dup", KESTRUNE L" -version", FOUND_IN(L"C:\\kestrune")},
    {"searchTheCurrentFolderNext", everyBuild, DROP(L"C:\\kestrune"), L"dup", KESTRUNE L" -version", FOUND_IN(L"C:\\start here")},
    {"searchTheSystemFolderNext", everyBuild, DROP(L"C:\\kestrune") DROP(L"C:\\start here"), L"dup", KESTRUNE L" -version", FOUND_IN(L"C:\\windows\\system32")},
    {"searchWindowsSystemNext", everyBuild, DROP(L"C:\\kestrune") DROP(L"C:\\start here") DROP(L"C:\\windows\\system32"), L"dup", KESTRUNE L" -version", FOUND_IN(L"C:\\windows\\system")},
    {"searchTheWindowsFolderNext", everyBuild, DROP(L"C:\\kestrune") DROP(L"C:\\start here") DROP(L"C:\\windows\\system32") DROP(L"C:\\windows\\system"), L"dup", KESTRUNE L" -version", FOUND_IN(L"C:\\windows")},
    {"searchPathLast", everyBuild, DROP(L"C:\\kestrune") DROP(L"C:\\start here") DROP(L"C:\\windows\\system32") DROP(L"C:\\windows\\system") DROP(L"C:\\windows"), L"dup", KESTRUNE L" -version", FOUND_IN(L"C:\\on path")},
    // A relative home beside the launcher; its bin\java.exe is no program. Box and system text name the file found.
    {"failedStartNamesTheFileFound", everyBuild, L"", L"relbad", KESTRUNE L" -version", NOT_STARTED L"C:\\kestrune\\relbad\\bin\\java.exe\n\nFehler 193: *C:\\kestrune\\relbad\\bin\\java.exe*\nexit 1"},
    // The VM's command line, "C:\Program Files\Java\j2re\bin\java.exe" -cp aaa...: 46 characters and the fill.
    {"commandLineAtLimitFitsTheVm", everyBuild, L"", L"C:\\Program Files\\Java\\j2re", KESTRUNE L" -cp " FILL, L"start: C:\\Program Files\\Java\\j2re\\bin\\java.exe | \"C:\\Program Files\\Java\\j2re\\bin\\java.exe\" -cp " FILL L"\nexit 0", 32766 - 46},
    {"commandLineOverLimitForTheVm", everyBuild, L"", L"C:\\Program Files\\Java\\j2re", KESTRUNE L" -cp " FILL, NOT_STARTED L"C:\\Program Files\\Java\\j2re\\bin\\java.exe\n\nFehler 206: *\nexit 1", 32767 - 46},
    {"javaHomeOfThousandsOfCharacters", everyBuild, L"", L"C:\\" FILL, KESTRUNE, L"box: JavaVM: C:\\" FILL L"\\bin\\javaw.exe\nexit 0", 6000},
    {"javaHomeOfThousandsOfCharactersStart", everyBuild, L"", L"C:\\" FILL, KESTRUNE L" -version", NOT_STARTED L"C:\\" FILL L"\\bin\\java.exe\n\nFehler *\nexit 1", 6000},

    // ---- The ANSI registry functions on a real registry ----
    // Text order picks 1.9, whose value is named javahome: names match in any case.
    {"registryVersions", everyBuild, IMPORT(L"versions.reg"), nullptr, KESTRUNE L" -version", START(L"C:\\jre19", L"-version")},
    {"emptyJavaHomeSearchesTheRegistry", everyBuild, IMPORT(L"one-runtime.reg"), L"", KESTRUNE L" -version", START(L"C:\\jre142", L"-version")},
    {"registryStartingKeyMissing", everyBuild, IMPORT(L"jdk-only.reg"), nullptr, KESTRUNE L" -version", NOT_FOUND},
    {"registryLongValuesBeforeJavaHome", everyBuild, IMPORT(L"long-values.reg"), nullptr, KESTRUNE L" -version", START(L"C:\\jre142", L"-version")},
    {"registryDeepSubtree", everyBuild, IMPORT(L"deep.reg"), nullptr, KESTRUNE, L"box: JavaVM: C:\\level50\\bin\\javaw.exe\nexit 0"},
    {"registryNonAnsiText", everyBuild, REG_ADD(L"\\1.4.2", L"/v JavaHome /d C:\\J\u00e4ger\\\u4e2d /f") REG_ADD(L"\\1.5-\u4e2d\u6587", L"/v JavaHome /d C:\\x /f"), nullptr, KESTRUNE, L"box: JavaVM: C:\\J\u00e4ger\\?\\bin\\javaw.exe\nexit 0"},
    // x has too many values to search below it; its sibling x\uFF3Cy, read as
    // x\y, must not lead there either.
    {"registryBestFitKeyNamePassedOver", everyBuild, IMPORT(L"one-runtime.reg") IMPORT(L"many-x.reg") REG_ADD(L"\\x\\y", L"/v JavaHome /d C:\\tools /f") REG_ADD(L"\\x\uFF3Cy", L"/f"), nullptr, KESTRUNE L" -version", START(L"C:\\jre142", L"-version")},

    // ---- The 32-bit release sees the 32-bit registry view only ----
    {"view64OnlyNotSeen", release32On64, REG_ADD(L"\\1.8", L"/v JavaHome /d C:\\jre142 /f /reg:64"), nullptr, KESTRUNE L" -version", NOT_FOUND},
    {"view32Seen", release32On64, REG_ADD(L"\\1.8", L"/v JavaHome /d C:\\jre142 /f /reg:32"), nullptr, KESTRUNE L" -version", START(L"C:\\jre142", L"-version")},
};

// The launcher's outcomes, each run with the DLLs below planted beside
// Kestrune.exe and in the current folder, Wine told to prefer them to its
// own, as Windows prefers a DLL it finds first: none may run.
const e2eCase plantedDllCases[] = {
    {"plantedDllsJavaVmBox", everyBuild, L"", L"C:\\j2re", KESTRUNE, L"box: JavaVM: C:\\j2re\\bin\\javaw.exe\nexit 0"},
    {"plantedDllsNotFoundBox", everyBuild, L"", nullptr, KESTRUNE L" -version", NOT_FOUND},
    {"plantedDllsFailureBox", everyBuild, L"", L"C:\\nojava", KESTRUNE L" -version", NOT_STARTED L"C:\\nojava\\bin\\java.exe\n\nFehler 2: *\nexit 1"},
    {"plantedDllsStartThroughJavaHome", everyBuild, L"", L"C:\\j2re", KESTRUNE L" -version", START(L"C:\\j2re", L"-version")},
    {"plantedDllsStartThroughRegistry", everyBuild, IMPORT(L"one-runtime.reg"), nullptr, KESTRUNE L" -version", START(L"C:\\jre142", L"-version")},
};
// clang-format on

// Every DLL Kestrune.exe loads under Wine from the first folder that holds
// it (WINEDEBUG=+loaddll, each outcome), except those Wine takes from the
// program's folder whatever the program does: advapi32, sechost and ucrtbase
// at process start, rpcrt4, combase and ole32 for a box, all known DLLs on
// Windows, which always come from its system folder. uxtheme and version are
// no known DLLs on Windows either; zlib1 is Wine's own.
const wchar_t* const plantedDlls[] = {L"uxtheme", L"version", L"imm32", L"gdi32", L"win32u", L"user32", L"zlib1"};
