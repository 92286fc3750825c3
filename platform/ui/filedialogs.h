// The common file dialogs (open, save) and the folder picker. The open and
// save dialogs show the toolkit's own file dialog (the same on every desktop)
// with a panel of the caller's inside it; the folder picker reports its
// progress to a callback, as the callers' picker components expect.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/base/lists.h"
#include "platform/ui/dialogs.h"

class TFileDialogSession;

enum TOpenOption {
  ofReadOnly, ofOverwritePrompt, ofHideReadOnly, ofNoChangeDir, ofShowHelp, ofNoValidate, ofAllowMultiSelect,
  ofExtensionDifferent, ofPathMustExist, ofFileMustExist, ofCreatePrompt, ofShareAware, ofNoReadOnlyReturn,
  ofNoTestFileCreate, ofNoNetworkButton, ofNoLongNames, ofOldStyleDialog, ofNoDereferenceLinks,
  ofEnableIncludeNotify, ofEnableSizing, ofDontAddToRecent, ofForceShowHidden
};
using TOpenOptions = TEnumSet<TOpenOption>;

class TOpenDialog : public TCommonDialog {
 public:
  explicit TOpenDialog(TComponent* AOwner);
  ~TOpenDialog() override;

  bool Execute() override;

  TOpenOptions Options() const { return FOptions; }
  void SetOptions(TOpenOptions Value) { FOptions = Value; }
  // "Name|pattern|Name|pattern...", patterns separated by ";".
  const WideString& Filter() const { return FFilter; }
  void SetFilter(const WideString& Value) { FFilter = Value; }
  // 1-based row of Filter; while the dialog shows, the row the user chose.
  Integer FilterIndex() const;
  void SetFilterIndex(Integer Value) { FFilterIndex = Value; }
  const WideString& InitialDir() const { return FInitialDir; }
  void SetInitialDir(const WideString& Value) { FInitialDir = Value; }
  const WideString& Title() const { return FTitle; }
  void SetTitle(const WideString& Value) { FTitle = Value; }
  // Added, with a dot, to a chosen name that has no extension; a leading dot
  // of the value is allowed. Read when the user confirms, so a change while
  // the dialog shows applies.
  const WideString& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const WideString& Value) { FDefaultExt = Value; }
  // The chosen file (the first of several). While the dialog shows: the
  // full path of what is typed or selected in it.
  WideString FileName() const;
  void SetFileName(const WideString& Value) { FFileName = Value; }
  // Every chosen file as a full path (one entry without ofAllowMultiSelect).
  TStrings* Files() const { return FFiles.get(); }

  // A panel shown inside the dialog, at the right of the standard controls
  // and as tall as they are, while the dialog shows; afterwards it returns to
  // its former parent, place and visibility. Null: none.
  TWinControl* HostedPanel() const { return FHostedPanel; }
  void SetHostedPanel(TWinControl* Value);
  // The same for a strip under the standard controls (and the panel), as
  // wide as the dialog and as tall as the strip was.
  TWinControl* HostedStrip() const { return FHostedStrip; }
  void SetHostedStrip(TWinControl* Value);

  // While the dialog shows: the folder it lists, the text of its file-name
  // box, and a new text for that box. Outside: the folder of FileName, FileName, nothing.
  WideString CurrentFolder() const;
  WideString EditText() const;
  void SetEditText(const WideString& Value);

  // Asked when the user confirms a name (FileName and Files hold it): false keeps the dialog.
  TCloseQueryEvent OnCanClose;
  // The dialog lists another folder; the selection changed; the user chose another file type.
  TNotifyEvent OnFolderChange;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnTypeChange;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  virtual bool DoCanClose();
  virtual void DoSelectionChange();
  virtual void DoFolderChange();
  virtual void DoTypeChange();
  // Shows the dialog for opening (Save false) or saving.
  bool DoExecute(bool Save);

 private:
  friend class TFileDialogSession;
  TOpenOptions FOptions{ofHideReadOnly, ofEnableSizing};
  WideString FFilter, FInitialDir, FTitle, FDefaultExt, FFileName;
  Integer FFilterIndex = 1;
  std::unique_ptr<TStringList> FFiles;
  TWinControl* FHostedPanel = nullptr;
  TWinControl* FHostedStrip = nullptr;
  TFileDialogSession* FSession = nullptr;  // while shown
};

// The same dialog for choosing a name to save under; with ofOverwritePrompt
// an existing file must be confirmed.
class TSaveDialog : public TOpenDialog {
 public:
  explicit TSaveDialog(TComponent* AOwner) : TOpenDialog(AOwner) {}
  bool Execute() override;
};

// The name as the dialog completes it: DefaultExt (with or without its
// leading dot) added when the file part of Name has no extension.
WideString GtAddDefaultExt(const WideString& Name, const WideString& DefaultExt);

// What a user does in a shown file dialog, for tests: the hook below gets it
// in place of the user, on the real dialog, which does not wait modally.
class TGtFileDialogScript {
 public:
  virtual ~TGtFileDialogScript() = default;
  virtual HWND Dialog() = 0;
  // The windows the hosted panel and strip sit in (null without one).
  virtual HWND PanelHost() = 0;
  virtual HWND StripHost() = 0;
  virtual void ChangeFolder(const WideString& Folder) = 0;
  // Picks a row (1-based) of the file-type list.
  virtual void ChooseType(Integer FilterIndex) = 0;
  // The file-type row shown now (1-based).
  virtual Integer ShownType() = 0;
  // Replaces the text of the file-name box (several names: "a" "b").
  virtual void TypeName(const WideString& Text) = 0;
  // Selects a file of the listed folder, as a click in the list does.
  virtual bool SelectFile(const WideString& Name) = 0;
  // Presses the accept button; true when the dialog closed.
  virtual bool Accept() = 0;
  virtual void Cancel() = 0;
};
// While set, Execute calls the hook on the shown dialog instead of waiting
// for the user; the dialog counts as cancelled unless the hook accepted it.
// Null restores the modal dialog.
void GtSetFileDialogHook(const std::function<void(TGtFileDialogScript& Script)>& Hook);

// The folder picker over paths. The callback gets the picker's window and
// BFFM_INITIALIZED (lParam 0), BFFM_SELCHANGED (lParam: the selected path, a
// const WideString*), BFFM_VALIDATEFAILEDW (lParam: the typed text, a const
// WideString*; answering 0 closes the picker). It may send the picker
// BFFM_SETSELECTIONW (wParam TRUE, lParam a const WideString* path),
// BFFM_ENABLEOK (lParam TRUE or FALSE) and BFFM_SETOKTEXT (lParam a const
// WideString*, the OK button's caption); SetWindowText names the window.
enum : UINT {
  BIF_RETURNONLYFSDIRS = 0x1, BIF_EDITBOX = 0x10, BIF_VALIDATE = 0x20, BIF_NEWDIALOGSTYLE = 0x40,
  BIF_BROWSEFORCOMPUTER = 0x1000, BIF_BROWSEINCLUDEFILES = 0x4000
};
enum : UINT {
  BFFM_INITIALIZED = 1, BFFM_SELCHANGED = 2, BFFM_VALIDATEFAILEDA = 3, BFFM_VALIDATEFAILEDW = 4,
  BFFM_ENABLEOK = 0x465, BFFM_SETSELECTIONW = 0x467, BFFM_SETOKTEXT = 0x469
};
using BFFCALLBACK = std::function<Integer(HWND Wnd, UINT Msg, LPARAM LParam, LPARAM Data)>;
struct TGtBrowseInfo {
  HWND hwndOwner = nullptr;
  WideString Root;               // the top of the tree; empty: the file system root
  WideString* pszDisplayName = nullptr;  // receives the chosen folder's name
  WideString lpszTitle;          // the text above the tree
  UINT ulFlags = 0;
  BFFCALLBACK lpfn;
  LPARAM lParam = 0;
};
// Shows the picker; the chosen folder's path, or empty when cancelled (or
// when validation failed and the callback closed it).
WideString GtBrowseForFolder(const TGtBrowseInfo& Info);

// What a user does in the shown folder picker, for tests.
class TGtFolderPickerScript {
 public:
  virtual ~TGtFolderPickerScript() = default;
  virtual HWND Dialog() = 0;
  virtual WideString Selected() = 0;
  virtual void Select(const WideString& Path) = 0;
  // Types a name into the picker's edit box.
  virtual void TypeName(const WideString& Text) = 0;
  virtual bool OkEnabled() = 0;
  virtual WideString OkCaption() = 0;
  // Presses OK; true when the picker closed.
  virtual bool Accept() = 0;
  virtual void Cancel() = 0;
};
void GtSetFolderPickerHook(const std::function<void(TGtFolderPickerScript& Script)>& Hook);
