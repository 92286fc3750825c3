// The font and colour pickers of the common dialogs (ChooseFont, ChooseColor),
// modal over a window. Tests answer them through a hook instead of a person.
#pragma once

#include <functional>

#include "platform/graphics/canvas.h"
#include "platform/ui/messages.h"

// Shows the font picker with Font's face, height, styles and colour; on OK
// writes the choice back into Font and answers true.
bool GtChooseFont(HWND Owner, TFont* Font);
// Shows the colour picker starting at Color; on OK stores the choice.
bool GtChooseColor(HWND Owner, TColor& Color);

// While set, the pickers call the hook instead of showing anything: Font is
// non-null for the font picker, otherwise Color is the colour to change. The
// hook answers whether the user confirmed. Null restores the real pickers.
using TGtChooseHook = std::function<bool(TFont* Font, TColor* Color)>;
void GtSetChooseDialogHook(const TGtChooseHook& Hook);
