// Shared pieces of the end-to-end tests: where the programs are, and the
// fixture that gives every test empty settings and ends, by id, every
// process that appeared during it.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "driver/Driver.h"

namespace e2e {

// MIRAVEL.exe: the path given with --miravel=PATH, else beside the driver.
const std::wstring& MiravelExe();
// The driver's own small target program, beside the driver.
std::wstring TargetExe();

class E2eTest : public testing::Test {
protected:
    E2eTest();
    ~E2eTest() override;

private:
    FreshSettings settings_;
    std::set<DWORD> miravelBefore_, targetBefore_;
};

// Generous limits: the machine may be loaded, and a timeout only bounds a
// wait, it measures nothing.
constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kUiTimeoutMs = 5000;

}  // namespace e2e
