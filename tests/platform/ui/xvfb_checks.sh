#!/usr/bin/env bash
# The window-layer checks that need a real X server: a private Xvfb display,
# the xcb platform, and the tests named Xvfb* of test_platform_ui.
# Each check runs in a process of its own: several start and stop their own
# window manager, and a program that has seen one go away does not always get
# its next windows managed.
# Usage: tests/platform/ui/xvfb_checks.sh [build dir]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/../../.."
dir=${1:-build/release}
exec xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb bash -c '
  set -u
  prog=$1
  tests=$("$prog" --gtest_list_tests --gtest_filter="*Xvfb*" | awk "/^[^ ]/{s=\$1} /^  /{print s \$1}")
  [ -n "$tests" ] || { echo "no X checks found"; exit 1; }
  failed=0
  for t in $tests; do
    "$prog" --gtest_filter="$t" || { echo "FAILED: $t"; failed=1; }
  done
  exit $failed
' _ "$dir/tests/test_platform_ui"
