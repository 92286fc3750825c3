#!/usr/bin/env bash
# The text editor's clipboard check that needs a real X server: a private Xvfb
# display, the xcb platform, and the tests named Xvfb* of
# test_imaging_view_textcontrol (xclip plays the other program).
# Usage: tests/imaging/view/textcontrol/xvfb_checks.sh [build dir]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/../../../.."
dir=${1:-build/release}
exec xvfb-run -a -s "-screen 0 1280x1024x24" \
  env QT_QPA_PLATFORM=xcb "$dir/tests/test_imaging_view_textcontrol" --gtest_filter='*Xvfb*'
