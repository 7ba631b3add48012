// The launcher: chooses the Java home and starts its VM or tells the user.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

// The Java home of the installed runtime whose registry entry sorts last, or
// the empty text when none is found. Reads the registry below
// HKEY_LOCAL_MACHINE\Software\JavaSoft\Java Runtime Environment.
std::u16string findInstalledJavaHome();

// Raised when the VM could not be started: program is the file Windows found
// for it (C:\Tools\jre\bin\java.exe for the home jre beside the launcher),
// or home\bin\java.exe as built when none was found.
struct startFailure : std::exception {
    startFailure(std::u16string programPath, std::uint32_t errorCode)
        : program(std::move(programPath)), code(errorCode) {}
    const char* what() const noexcept override { return "process start failed"; }
    std::u16string program;
    std::uint32_t code;
};

// One run: with JAVA_HOME (or else the installed runtime) as the Java home,
// starts home\bin\java.exe with the process's own argument text, minimized, or
// without arguments names home\bin\javaw.exe in a box; with no Java home at
// all says so in a box. A failed start raises startFailure.
void runLauncher();

// The German text that tells the user what failure ended the run.
std::u16string failureMessage(const std::exception_ptr& failure);

// runLauncher, with any failure that reaches it reported in an error box.
// Returns the process's exit code: 0, or 1 after a failure.
int launcherMain();
