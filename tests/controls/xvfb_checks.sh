#!/usr/bin/env bash
# The control set's checks that need a real X server: a private Xvfb display,
# the xcb platform, and the tests named Xvfb* of test_controls (they drive
# the windows with xdotool): the splitter's ghost drag, and the status bar's
# grip drag that sizes its form through the system resize loop.
# Usage: tests/controls/xvfb_checks.sh [build dir]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=${1:-build/release}
exec xvfb-run -a -s "-screen 0 1280x1024x24" \
  env QT_QPA_PLATFORM=xcb "$dir/tests/test_controls" --gtest_filter='*Xvfb*'
