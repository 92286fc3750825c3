#!/usr/bin/env bash
# Builds and runs every test: the release build with ctest, then the platform
# imaging and control tests and the fuzz corpora under AddressSanitizer + UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
JOBS=${JOBS:-$(nproc)}

cmake --preset release >/dev/null
cmake --build --preset release -j "$JOBS"
ctest --preset release -j "$JOBS"
# The window checks that need a real X server (screenshots, clipboard between processes).
bash tests/platform/ui/xvfb_checks.sh build/release
bash tests/imaging/viewdisplay/xvfb_checks.sh build/release
bash tests/imaging/proc/xvfb_checks.sh build/release
bash tests/controls/xvfb_checks.sh build/release
bash tests/controls/acc_checks.sh build/release
bash tests/controls/xvfb_docking.sh build/release
bash tests/imaging/view/textcontrol/xvfb_checks.sh build/release

cmake --preset asan >/dev/null
cmake --build --preset asan -j "$JOBS"
ctest --preset asan -j "$JOBS"
