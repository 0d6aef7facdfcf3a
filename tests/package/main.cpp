// Entry point of the installed-copy checks. Options besides GoogleTest's:
//   --folder=PATH        the installation folder (its MIRAVEL.exe is driven)
//   --version=V          the version the uninstall entry must name
//   --autostart=yes|no   whether the sign-in start must be there
//   --setup=PATH         the setup program
// and, instead of the tests:
//   --write-users-own-entries   writes the entries of kUsersOwnEntries
//   --wait-for-uninstaller      waits until the uninstaller's copy has ended
//   --run=COMMANDLINE           runs a command line as Windows does (a
//                        shortcut's, an entry's), ends with its exit code
#include <gtest/gtest.h>

#include "E2eTest.h"
#include "Installed.h"

namespace package {

namespace {
Options g_options;
}

const Options& Given() { return g_options; }

namespace {

// Starts a command line (program path quoted as Windows wants it, then its
// switches) and waits for it; its exit code, or 3 when it cannot start.
int Run(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        fprintf(stderr, "package_check: cannot start %s (error %lu)\n", e2e::Narrow(commandLine).c_str(), GetLastError());
        return 3;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 3;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

}  // namespace
}  // namespace package

namespace e2e {

const std::wstring& MiravelExe() {
    static const std::wstring exe = package::Given().folder + L"\\MIRAVEL.exe";
    return exe;
}

}  // namespace e2e

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    package::Options& o = package::g_options;
    enum { kTests, kWriteUsersOwnEntries, kWaitForUninstaller, kRun } mode = kTests;
    std::wstring commandLine;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        auto value = [&](const wchar_t* option) -> const wchar_t* {
            const size_t n = wcslen(option);
            return arg.compare(0, n, option) == 0 ? arg.c_str() + n : nullptr;
        };
        if (const wchar_t* v = value(L"--folder=")) o.folder = v;
        else if (const wchar_t* v = value(L"--version=")) o.version = v;
        else if (const wchar_t* v = value(L"--autostart=")) o.autostart = std::wstring(v) == L"yes";
        else if (const wchar_t* v = value(L"--setup=")) o.setup = v;
        else if (arg == L"--write-users-own-entries") mode = kWriteUsersOwnEntries;
        else if (arg == L"--wait-for-uninstaller") mode = kWaitForUninstaller;
        else if (const wchar_t* v = value(L"--run=")) mode = kRun, commandLine = v;
        else {
            fprintf(stderr, "package_check: unknown option %s\n", e2e::Narrow(arg).c_str());
            return 2;
        }
    }
    switch (mode) {
    case kWriteUsersOwnEntries:
        return package::WriteUsersOwnEntries() ? 0 : 1;
    case kWaitForUninstaller:
        // The uninstaller runs from a copy of itself in %TEMP% (Un.exe) and
        // returns at once; the copy does the work.
        return e2e::WaitUntil([] { return e2e::ProcessesNamed(L"Un.exe").empty(); }, 120000, 100) ? 0 : 1;
    case kRun:
        return package::Run(commandLine);
    case kTests:
        break;
    }
    if (o.folder.empty()) {
        fprintf(stderr, "package_check: --folder=PATH is needed\n");
        return 2;
    }
    SetProcessDPIAware();   // screen coordinates are real pixels
    return RUN_ALL_TESTS();
}
