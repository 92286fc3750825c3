// The help router: takes over the application's help requests and sends
// them to HTML help or to WinHelp, translating the WinHelp-style commands,
// and shows context popups from the topics file of the HTML help.
#pragma once

#include <functional>

#include "platform/devices/htmlhelp.h"
#include "platform/ui/forms.h"

GT_DECLARE_EXCEPTION(EInvalidCast, Exception)

enum THelpType { htWinhelp, htHTMLhelp, htMixedMode };
enum TShowType { stDefault, stMain, stPopup };

// The engines the routers call: the platform's, unless a test hands over
// its own (an empty function puts the platform's back).
struct THelpEngine {
  std::function<HWND(HWND Caller, const WideString& File, UINT Command, ULONG_PTR Data)> HtmlHelp;
  std::function<BOOL(HWND Caller, const WideString& File, UINT Command, ULONG_PTR Data)> WinHelp;
};
void SetHelpEngine(const THelpEngine& Engine);

class THelpRouter : public TComponent {
 public:
  // Exception "Multiple instances of THelpRouter are not allowed" while
  // another router exists; that one stays the application's help handler.
  explicit THelpRouter(TComponent* AOwner);
  // Gives the application back the handler it had before this router.
  ~THelpRouter() override;

  THelpType HelpType() const { return FHelpType; }
  void SetHelpType(THelpType Value) { FHelpType = Value; }
  // stMain turns context popups into ordinary topic requests.
  TShowType ShowType() const { return FShowType; }
  void SetShowType(TShowType Value) { FShowType = Value; }
  // Empty: the application's help file, or the active form's own.
  const WideString& Helpfile() const { return FHelpfile; }
  void SetHelpfile(const WideString& Value) { FHelpfile = Value; }
  // The topics file of context popups: a name inside the HTML help file, or a folder.
  const WideString& CHMPopupTopics() const { return FCHMPopupTopics; }
  void SetCHMPopupTopics(const WideString& Value) { FCHMPopupTopics = Value; }
  // Kept and stored with the form; nothing reads it.
  bool ValidateID() const { return FValidateID; }
  void SetValidateID(bool Value) { FValidateID = Value; }
  // Asked first for every request; it may clear CallHelp to keep it.
  THelpEvent OnHelp;

  // The screen's active form, else its active custom form, else the owner
  // (EInvalidCast when the owner is no form).
  TCustomForm* ActiveHelpForm() const;
  WideString CurrentHelpFile() const;
  HWND HelpCallerWindow() const;
  // Shows Text, or topic ContextId of the topics file when Text is empty, at (X, Y).
  bool ShowPopupTopic(Integer X, Integer Y, const WideString& Text, Cardinal ContextId);

  // The router in charge, or null.
  static THelpRouter* Instance();

 private:
  bool HelpHandler(Word Command, intptr_t Data, bool& CallHelp);
  bool RouteToHtmlHelp(UINT Command, intptr_t Data);
  bool RouteToWinHelp(UINT Command, intptr_t Data);

  THelpType FHelpType = htWinhelp;
  TShowType FShowType = stDefault;
  WideString FHelpfile;
  WideString FCHMPopupTopics;
  bool FValidateID = false;
  THelpEvent FPreviousHandler;
  TPoint FPopupPos;
};
