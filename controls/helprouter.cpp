// Routing of help requests to the help engines.
#include "controls/helprouter.h"

#include "platform/base/fileutils.h"
#include "platform/base/strutils.h"

namespace {

THelpRouter* RouterInstance = nullptr;
THelpEngine Engine;

// Kept between requests like the rest of the module's state: the popup
// record points into these strings while the engine shows it.
WideString CurrentHelpFileName;
HH_POPUP PopupRecord;
WideString PopupText;
const WideString PopupFont = u"MS Sans Serif, 8";

// The size the popup record has always been declared with.
constexpr Integer PopupRecordSize = 52;

HWND CallHtmlHelp(HWND Caller, const WideString& File, UINT Command, ULONG_PTR Data) {
  return Engine.HtmlHelp ? Engine.HtmlHelp(Caller, File, Command, Data) : HtmlHelp(Caller, File, Command, Data);
}

BOOL CallWinHelp(HWND Caller, const WideString& File, UINT Command, ULONG_PTR Data) {
  return Engine.WinHelp ? Engine.WinHelp(Caller, File, Command, Data) : WinHelpW(Caller, File, Command, Data);
}

Integer SignExtended(Word Value) { return static_cast<int16_t>(Value); }

}  // namespace

void SetHelpEngine(const THelpEngine& NewEngine) { Engine = NewEngine; }

THelpRouter* THelpRouter::Instance() { return RouterInstance; }

THelpRouter::THelpRouter(TComponent* AOwner) : TComponent(AOwner) {
  if (RouterInstance) throw Exception("Multiple instances of THelpRouter are not allowed");
  FPreviousHandler = Application->OnHelp;
  Application->OnHelp = [this](Word Command, intptr_t Data, bool& CallHelp) {
    return HelpHandler(Command, Data, CallHelp);
  };
  RouterInstance = this;
  FShowType = stDefault;
  FCHMPopupTopics = u"CSHelp.txt";
}

// A router that failed to register never gets here (its constructor threw),
// and only the registered one gives the handler back, so a refused second
// router cannot switch off the first.
THelpRouter::~THelpRouter() {
  if (RouterInstance != this) return;
  Application->OnHelp = FPreviousHandler;
  RouterInstance = nullptr;
}

TCustomForm* THelpRouter::ActiveHelpForm() const {
  if (TForm* F = Screen->ActiveForm()) return F;
  if (TCustomForm* F = Screen->ActiveCustomForm()) return F;
  if (!Owner()) return nullptr;
  auto* F = dynamic_cast<TCustomForm*>(Owner());
  if (!F) throw EInvalidCast("Invalid class typecast");
  return F;
}

WideString THelpRouter::CurrentHelpFile() const {
  if (!FHelpfile.empty()) return FHelpfile;
  WideString Result = Application->HelpFile();
  TCustomForm* F = ActiveHelpForm();
  if (F && F->HandleAllocated() && !F->HelpFile().empty()) Result = F->HelpFile();
  return Result;
}

HWND THelpRouter::HelpCallerWindow() const {
  TCustomForm* F = ActiveHelpForm();
  if (F && F->HandleAllocated()) return F->Handle();
  return Application->Handle();
}

bool THelpRouter::HelpHandler(Word Command, intptr_t Data, bool& CallHelp) {
  bool Result = false;
  if (OnHelp) Result = OnHelp(Command, Data, CallHelp);
  if (CallHelp && FPreviousHandler) Result = FPreviousHandler(Command, Data, CallHelp);
  if (!CallHelp) return Result;
  CallHelp = false;
  CurrentHelpFileName = CurrentHelpFile();
  UINT Cmd = Command;
  if (FShowType == stMain) {
    if (Cmd == HELP_CONTEXTPOPUP) Cmd = HELP_CONTEXT;
    else if (Cmd == HELP_SETPOPUP_POS) Cmd = 0;
  }
  const bool Html =
      FHelpType == htHTMLhelp || (FHelpType == htMixedMode && Cmd != HELP_CONTEXTPOPUP && Cmd != HELP_SETPOPUP_POS);
  return Html ? RouteToHtmlHelp(Cmd, Data) : RouteToWinHelp(Cmd, Data);
}

bool THelpRouter::RouteToHtmlHelp(UINT Command, intptr_t Data) {
  const WideString File = ChangeFileExt(CurrentHelpFileName, u".chm");
  const auto Call = [](const WideString& F, UINT C, ULONG_PTR D) { return CallHtmlHelp(nullptr, F, C, D) != nullptr; };
  switch (Command) {
    case HELP_CONTEXT:
      return Call(File, HH_HELP_CONTEXT, static_cast<ULONG_PTR>(Data));
    case HELP_QUIT:
      return Call(WideString(), HH_CLOSE_ALL, 0);
    case HELP_INDEX:
    case HELP_FINDER:
      return Call(File, HH_DISPLAY_TOC, 0);
    case HELP_CONTEXTPOPUP: {
      if (FPopupPos.X == 0 && FPopupPos.Y == 0) GetCursorPos(&FPopupPos);
      ShowPopupTopic(FPopupPos.X, FPopupPos.Y, WideString(), static_cast<Cardinal>(Data));
      FPopupPos = TPoint(0, 0);
      return true;
    }
    case HELP_SETPOPUP_POS: {
      const auto Packed = static_cast<uintptr_t>(Data);
      FPopupPos = TPoint(SignExtended(static_cast<Word>(Packed)), SignExtended(static_cast<Word>(Packed >> 16)));
      return false;
    }
    case 15:
      return Call(File, Data != 0 ? HH_DISPLAY_INDEX : HH_DISPLAY_TOC, 0);
    case HELP_KEY:
    case HELP_PARTIALKEY:
      return Call(File, HH_DISPLAY_INDEX, static_cast<ULONG_PTR>(Data));
    default:
      return false;
  }
}

bool THelpRouter::RouteToWinHelp(UINT Command, intptr_t Data) {
  if (Command == 0) return true;
  WideString File = CurrentHelpFileName;
  if (Command == HELP_CONTEXTPOPUP && FHelpType == htMixedMode &&
      LowerCase(ExtractFileExt(FCHMPopupTopics)) == u".hlp") {
    File = DirectoryExists(FCHMPopupTopics) ? FCHMPopupTopics : ExtractFilePath(File) + FCHMPopupTopics;
  }
  return CallWinHelp(HelpCallerWindow(), ChangeFileExt(File, u".hlp"), Command, static_cast<ULONG_PTR>(Data)) != 0;
}

bool THelpRouter::ShowPopupTopic(Integer X, Integer Y, const WideString& Text, Cardinal ContextId) {
  PopupText = Text;
  PopupRecord = HH_POPUP();
  PopupRecord.cbStruct = PopupRecordSize;
  PopupRecord.hinst = nullptr;
  PopupRecord.idString = Text.empty() ? ContextId : 0;
  PopupRecord.pszText = PopupText.c_str();
  PopupRecord.pt = TPoint(X, Y);
  PopupRecord.clrForeground = 0x1FFFFFFF;
  PopupRecord.clrBackground = 0x1FFFFFFF;
  PopupRecord.rcMargins = TRect(-1, -1, -1, -1);
  PopupRecord.pszFont = PopupFont.c_str();
  const auto Data = reinterpret_cast<ULONG_PTR>(&PopupRecord);
  if (PopupRecord.idString == 0) return CallHtmlHelp(HelpCallerWindow(), WideString(), HH_DISPLAY_TEXT_POPUP, Data) != nullptr;
  if (FCHMPopupTopics.empty()) FCHMPopupTopics = u"CSHelp.txt";
  const WideString File = DirectoryExists(FCHMPopupTopics)
                              ? FCHMPopupTopics
                              : ChangeFileExt(CurrentHelpFile(), u".chm") + u"::/" + FCHMPopupTopics;
  return CallHtmlHelp(HelpCallerWindow(), File, HH_DISPLAY_TEXT_POPUP, Data) != nullptr;
}
