// Message dialogs: MessageDlg and ShowMessage, built as forms like any other.
#pragma once

#include <functional>

#include "platform/ui/extctrls.h"

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
using TMsgDlgButtons = TEnumSet<TMsgDlgBtn>;
inline const TMsgDlgButtons mbYesNoCancel{mbYes, mbNo, mbCancel};
inline const TMsgDlgButtons mbYesAllNoAllCancel{mbYes, mbYesToAll, mbNo, mbNoToAll, mbCancel};
inline const TMsgDlgButtons mbOKCancel{mbOK, mbCancel};
inline const TMsgDlgButtons mbAbortRetryIgnore{mbAbort, mbRetry, mbIgnore};
inline const TMsgDlgButtons mbAbortIgnore{mbAbort, mbIgnore};

// A modal box with the icon of DlgType, its caption ("Warning", "Error",
// "Information", "Confirmation"; the application's title for mtCustom) and
// the buttons; answers the ModalResult of the button pressed (mrCancel when
// the box is closed otherwise).
Integer MessageDlg(const WideString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, Integer HelpCtx);
// The form MessageDlg shows, for callers that change it first (the caller frees it).
TForm* CreateMessageDialog(const WideString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons);
// An information box with an OK button, captioned with the application's title.
void ShowMessage(const WideString& Msg);

using THelpContext = Integer;

// A dialog component: not a window itself; Execute shows the dialog modally.
class TCommonDialog : public TComponent {
 public:
  explicit TCommonDialog(TComponent* AOwner);

  // Runs the dialog; true when the user confirmed.
  virtual bool Execute() = 0;
  // The dialog's window while it is shown, else null.
  HWND Handle() const { return FHandle; }
  bool Ctl3D() const { return FCtl3D; }
  void SetCtl3D(bool Value) { FCtl3D = Value; }
  THelpContext HelpContext() const { return FHelpContext; }
  void SetHelpContext(THelpContext Value) { FHelpContext = Value; }

  // Fired when the dialog has been laid out and shows, and when its window goes.
  TNotifyEvent OnShow;
  TNotifyEvent OnClose;

 protected:
  virtual void DoShow();
  virtual void DoClose();
  HWND FHandle = nullptr;

 private:
  bool FCtl3D = true;
  THelpContext FHelpContext = 0;
};

// Asks for one line of text in a small modal box (a prompt, an edit holding
// Value, OK and Cancel). On OK, Value becomes the text and the answer is
// true; on Cancel or closing, Value stays as it was.
bool InputQuery(const WideString& ACaption, const WideString& APrompt, WideString& Value);

// While set, the modal boxes built as forms (InputQuery, the printer set-up)
// call the hook with their form in place of ShowModal; it answers the modal
// result. The controls keep their names ("Edit", "Printers", "Orientation"),
// so the hook can act on them. Null restores the modal boxes.
void GtSetDialogFormHook(const std::function<Integer(TForm* Form)>& Hook);
// The modal result of Form, through the hook when one is set.
Integer GtShowDialogForm(TForm* Form);
