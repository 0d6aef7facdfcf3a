#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own test prefix.
# CMake uses this as CMAKE_CROSSCOMPILING_EMULATOR for the Windows presets
# (test discovery and test runs): the program's exit status is passed on.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"
miravel_wine_prefix_ready
if [ -n "${DISPLAY:-}" ] && ! miravel_wine_server_running; then
  miravel_wine_warm_up
fi
exec wine "$@"
