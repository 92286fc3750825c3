// The help engines. HTML help is a folder of pages shown by the desktop's
// browser: a help file "app.chm" names the folder "app.chm" or, when that is
// no folder, "app"; inside it "index.html" is the contents and the index,
// "context.txt" maps topic numbers to pages (lines "<number> <page>"), and
// "CSHelp.txt" holds the text popups (".topic <number>" lines, each followed
// by its text). "app.chm::/name" names the file "name" inside the folder.
// WinHelp files cannot be read here: WinHelpW always fails.
#pragma once

#include <functional>

#include "platform/ui/messages.h"

// Commands of the applications' help requests.
enum : UINT {
  HELP_CONTEXT = 1,
  HELP_QUIT = 2,
  HELP_INDEX = 3,
  HELP_CONTEXTPOPUP = 8,
  HELP_FINDER = 11,
  HELP_SETPOPUP_POS = 13,
  HELP_KEY = 0x101,
  HELP_PARTIALKEY = 0x105,
};

// Commands of HtmlHelp.
enum : UINT {
  HH_DISPLAY_TOPIC = 0,
  HH_DISPLAY_TOC = 1,
  HH_DISPLAY_INDEX = 2,
  HH_DISPLAY_TEXT_POPUP = 14,
  HH_HELP_CONTEXT = 15,
  HH_CLOSE_ALL = 18,
};

// A text popup: the text itself when idString is 0, else topic idString of
// the topics file HtmlHelp names. Colours and margins of -1 (0x1FFFFFFF for
// colours) take the hint window's own.
struct HH_POPUP {
  Integer cbStruct = 0;
  void* hinst = nullptr;
  UINT idString = 0;
  const WideChar* pszText = nullptr;
  TPoint pt;
  COLORREF clrForeground = 0;
  COLORREF clrBackground = 0;
  TRect rcMargins;
  const WideChar* pszFont = nullptr;
};

// Shows a page or a popup; the result is non-null when something was shown
// (for pages: the browser was started). No file, no page, no browser or an
// unknown command give null and raise nothing. HH_CLOSE_ALL closes nothing
// (the browser's windows are the user's) and gives null.
HWND HtmlHelp(HWND Caller, const WideString& File, UINT Command, ULONG_PTR Data);
BOOL WinHelpW(HWND Caller, const WideString& File, UINT Command, ULONG_PTR Data);

// The text of topic Id in a topics file's contents; false when it has none.
bool GtFindPopupTopic(const std::string& Topics, UINT Id, WideString& Text);
// The folder a help file name stands for and the file inside it that the
// name's "::/" part names (empty without one); false when there is no folder.
bool GtResolveHelpFile(const WideString& File, WideString& Folder, WideString& Inner);

// How pages and popups reach the desktop. By default pages go to the program
// named by $GT_HELP_BROWSER, else "xdg-open", started in the background, and
// popups to the window layer's hint window; tests put their own here.
struct THelpPresenter {
  std::function<bool(const WideString& Page)> OpenPage;
  std::function<bool(TPoint At, const WideString& Text)> ShowPopup;
};
void GtSetHelpPresenter(const THelpPresenter& Presenter);
