// Entry point of the end-to-end tests. Options besides GoogleTest's:
//   --miravel=PATH   the MIRAVEL.exe to drive (default: beside this program)
#include <gtest/gtest.h>

#include "E2eTest.h"

namespace e2e {

namespace {

std::wstring g_miravel;

// Windows on a screen are needed; under Wine that means an X display.
class DisplayCheck : public testing::Environment {
public:
    void SetUp() override {
        if (!RunningUnderWine()) return;
        wchar_t display[256];
        if (!GetEnvironmentVariableW(L"DISPLAY", display, 256))
            FAIL() << "No X display: run the end-to-end tests under tests/wine/with-display.sh";
    }
};

}  // namespace

const std::wstring& MiravelExe() {
    if (g_miravel.empty()) g_miravel = BesideDriver(L"MIRAVEL.exe");
    return g_miravel;
}

std::wstring TargetExe() { return BesideDriver(L"e2e_target.exe"); }

E2eTest::E2eTest()
    : miravelBefore_(ProcessesNamed(L"MIRAVEL.exe")), targetBefore_(ProcessesNamed(L"e2e_target.exe")) {}

E2eTest::~E2eTest() {
    // Copies started by the program itself, by OLE or by a test that failed
    // half-way: ended by id before the settings are deleted.
    EndProcessesStartedSince(L"MIRAVEL.exe", miravelBefore_);
    EndProcessesStartedSince(L"e2e_target.exe", targetBefore_);
}

}  // namespace e2e

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg.rfind(L"--miravel=", 0) == 0) e2e::g_miravel = arg.substr(10);
    }
    SetProcessDPIAware();   // screen coordinates are real pixels
    testing::AddGlobalTestEnvironment(new e2e::DisplayCheck);
    return RUN_ALL_TESTS();
}
