#!/usr/bin/env bash
# The control set's checks that need a real X server: a private Xvfb display,
# the xcb platform, and the tests named Xvfb* of test_controls (they drive
# the windows with xdotool and read them back with xwininfo): the splitter's
# ghost drag, the status bar's grip drag that sizes its form through the
# system resize loop, where a popup menu's window shows, and a two-level popup
# menu opened by a right press, closed by a click outside, Escape or a chosen
# item. No window manager runs there: the popups are never activated and the
# form takes the input focus itself.
# Then the tests named *XvfbWm* run on a second display with openbox as the
# window manager: floating toolbars that follow their form's minimising,
# stay inactive when clicked, pass close requests (wmctrl) to the form and
# keep one window across docking and floating, and resize by their frame.
# Usage: tests/controls/xvfb_checks.sh [build dir]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=${1:-build/release}
xvfb-run -a -s "-screen 0 1280x1024x24" \
  env QT_QPA_PLATFORM=xcb "$dir/tests/test_controls" --gtest_filter='*Xvfb*:-*XvfbWm*'
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break; sleep 0.1; done
  env QT_QPA_PLATFORM=xcb "$1/tests/test_controls" --gtest_filter="*XvfbWm*"
  rc=$?
  kill $wm 2>/dev/null || true
  exit $rc' checks "$dir"
