// Internals shared by the control tree and the application object.
#pragma once

#include "platform/ui/messages.h"

class TControl;

namespace gtui {
// Forgets Control wherever the application or the screen remembers it
// (hint control, active control); safe before the application exists.
void ControlDestroyed(TControl* Control);
// Ends a class-library drag that Control takes part in (dragcontrol.cpp).
void DragControlDestroyed(TControl* Control);

// The hint machinery (hints.cpp). HintMouse follows the mouse (screen point)
// over the control under it; HintCancel hides the hint and forgets the
// control; HintHide only hides; HintForget drops a control being destroyed;
// HintLeave cancels a hint of Control or of a control inside it;
// HintActivate asks the current control at once; HintAskAt answers the text
// Control would show at the point without showing it.
void HintMouse(TControl* Under, TPoint At);
void HintCancel();
void HintHide();
void HintForget(TControl* Control);
void HintLeave(TControl* Control);
void HintActivate(TPoint At);
WideString HintAskAt(TControl* Control, TPoint At);
}  // namespace gtui

// Frees the DCs that canvases took outside painting (the application's idle time).
void GtFreeDeviceContexts();
