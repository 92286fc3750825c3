// Hints: the small window that tells what a control (or a part of it) does
// when the mouse rests on it. The application asks the control under the
// mouse with CM_HINTSHOW (LParam: a THintInfo the control may change; a
// non-zero answer means no hint) after HintPause, shows the text, hides it
// after the hide pause, and asks again when the mouse leaves CursorRect.
#pragma once

#include "platform/ui/controls.h"

struct THintInfo {
  TControl* HintControl = nullptr;
  TPoint HintPos;               // the hint window's top-left corner on the screen
  Integer HintMaxWidth = 0;     // lines wider than this are wrapped at blanks
  TColor HintColor = clInfoBk;
  TRect CursorRect;             // in HintControl's client coordinates; leaving it asks again
  TPoint CursorPos;             // the mouse in HintControl's client coordinates
  Integer ReshowTimeout = 0;    // non-zero: ask again after so many milliseconds
  Integer HideTimeout = 0;      // milliseconds the hint stays
  WideString HintStr;           // CR and LF, alone or paired either way, break lines
  void* HintData = nullptr;
};

// The lines a hint text shows: "\r\n", "\n\r", "\r" and "\n" each end one.
std::vector<WideString> HintLines(const WideString& Text);

// Test hooks. The hint timing normally runs on window timers; with a manual
// clock nothing fires until GtTestHintAdvance moves the clock on.
void GtTestHintManualClock(bool Manual);
void GtTestHintAdvance(Integer Ms);
// The shown hint window (null when none), its text and its lines.
HWND GtTestHintWindow();
WideString GtTestHintText();
Integer GtTestHintLineCount();
