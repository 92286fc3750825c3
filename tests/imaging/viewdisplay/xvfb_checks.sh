#!/usr/bin/env bash
# The view's checks that need a real X server: a private Xvfb display, the
# xcb platform, and the tests named Xvfb* of test_imaging_viewdisplay and of
# test_imaging_view (the latter drive the window with xdotool).
# Usage: tests/imaging/viewdisplay/xvfb_checks.sh [build dir]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/../../.."
dir=${1:-build/release}
exec xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb sh -c \
  "\"$dir/tests/test_imaging_viewdisplay\" --gtest_filter='*Xvfb*' && \"$dir/tests/test_imaging_view\" --gtest_filter='*Xvfb*'"
