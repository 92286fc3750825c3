// Fonts and text need a running GUI application object. The program's own
// application object is created first in normal runs; this creates a minimal
// one only when none exists yet (tests, command-line tools).
#pragma once

// Idempotent. Without a display it selects the offscreen platform plug-in.
void GtEnsureGuiApplication();
