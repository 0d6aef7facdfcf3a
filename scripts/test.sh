#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test layer:
# native unit tests (plain and under sanitizers), Windows tests and the
# end-to-end tests under Wine on a private Xvfb display, the packages (setup
# program and zips, installed in a fresh Wine prefix), and bounded fuzzing.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

step() { printf '\n==== %s ====\n' "$*"; }

step "Dependencies"
scripts/install-deps.sh

step "Native build and unit tests"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

step "Native unit tests under AddressSanitizer and UBSan"
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan
ctest --preset native-asan

step "Windows x86-64 build, Windows and end-to-end tests under Wine"
cmake --preset windows >/dev/null
cmake --build --preset windows
tests/wine/with-display.sh ctest --preset windows

# Wine here has no 32-bit side, so the 32-bit program is built, not run;
# its test programs are left out to keep the run short.
step "Windows i686 build (MIRAVEL.exe)"
cmake --preset windows-i686 >/dev/null
cmake --build --preset windows-i686 --target MIRAVEL

step "Packages: setup program and zips, built twice and compared, installed under Wine"
tests/package/test.sh

if [ -x tests/fuzz/run-fuzz.sh ]; then
  step "Fuzzing (bounded) and regression replay"
  tests/fuzz/run-fuzz.sh
fi

step "All test layers passed"
