// Internals shared by the control tree and the application object.
#pragma once

class TControl;

namespace gtui {
// Forgets Control wherever the application or the screen remembers it
// (hint control, active control); safe before the application exists.
void ControlDestroyed(TControl* Control);
}  // namespace gtui

// Frees the DCs that canvases took outside painting (the application's idle time).
void GtFreeDeviceContexts();
