// Message dialogs: MessageDlg and ShowMessage, built as forms like any other.
#pragma once

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
