#!/usr/bin/env bash
# What a screen reader finds in the demo program: a private X display, a
# private session bus that starts the accessibility bus on demand, and a
# pyatspi client (tests/controls/acc_check.py) reading the menu bar, its
# titles' states and File's popup menu after its "Open" action.
# Usage: tests/controls/acc_checks.sh [build dir]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=${1:-build/release}
exec xvfb-run -a -s "-screen 0 1280x1024x24" \
  dbus-run-session -- env QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
  /usr/bin/python3 tests/controls/acc_check.py "$dir/tests/controls/dockdemo"
