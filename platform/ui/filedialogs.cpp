// The open and save dialogs and the folder picker over the toolkit's own
// (non-native) file dialog, made a window of the layer so that callers can
// address it, with the caller's panel in a window of its own inside it.
#include "platform/ui/filedialogs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "platform/base/strutils.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/private/native.h"
#include "platform/ui/testsupport.h"

namespace filedialogs {
namespace {

std::function<void(TGtFileDialogScript&)> g_FileHook;
std::function<void(TGtFolderPickerScript&)> g_FolderHook;

using gtui::FromQString;
using gtui::ToQString;

struct TFilterRow {
  QString Name;
  QStringList Patterns;
};

std::vector<TFilterRow> ParseFilter(const WideString& Filter) {
  std::vector<TFilterRow> Rows;
  const QStringList Parts = ToQString(Filter).split(u'|');
  for (qsizetype i = 0; i + 1 < Parts.size(); i += 2) {
    TFilterRow R;
    R.Name = Parts[i];
    for (const QString& P : Parts[i + 1].split(u';', Qt::SkipEmptyParts)) R.Patterns << P.trimmed();
    Rows.push_back(R);
  }
  return Rows;
}

// The toolkit's form of a row, "Name (p1 p2)". Its file system matches names
// with their case, and pictures from cameras carry upper-case extensions, so
// each pattern comes in its upper-case form too.
QString ToolkitFilter(const TFilterRow& R) {
  QStringList All;
  for (const QString& P : R.Patterns) {
    All << P;
    if (P.toUpper() != P) All << P.toUpper();
  }
  return R.Name + QStringLiteral(" (") + All.join(u' ') + u')';
}

// The owner's top-level window, for the dialog to stay above it.
QWindow* OwnerWindow() {
  HWND Owner = nullptr;
  if (Application && Application->MainForm() && Application->MainForm()->HandleAllocated())
    Owner = Application->MainForm()->Handle();
  if (HWND Active = GetActiveWindow()) Owner = Active;
  QWidget* W = gtui::ClientWidgetOf(Owner);
  return W && W->window() ? W->window()->windowHandle() : nullptr;
}

// Makes Dialog a top-level window of the layer; Proc answers its messages.
HWND AdoptDialog(QFileDialog* Dialog, const WideString& Caption, const TWndMethod& Proc) {
  TCreateParams P;
  P.Style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
  P.Width = Dialog->width();
  P.Height = Dialog->height();
  P.Caption = Caption;
  HWND Wnd = nullptr;
  gtui::CreateNativeWindow(P, Dialog, Proc, &Wnd, nullptr);
  Dialog->setWindowTitle(ToQString(Caption));
  Dialog->winId();
  if (QWindow* Owner = OwnerWindow())
    if (Dialog->windowHandle()) Dialog->windowHandle()->setTransientParent(Owner);
  return Wnd;
}

// Gives the dialog the size its controls ask for and centres it over its
// owner (over the screen without one), before it shows.
void PlaceDialog(QFileDialog* Dialog, HWND Wnd) {
  const QSize Size = Dialog->sizeHint().expandedTo(QSize(560, 360));
  QRect Over;
  if (QWindow* Owner = OwnerWindow()) Over = Owner->frameGeometry();
  if (Over.isEmpty()) {
    const QScreen* Screen = QGuiApplication::primaryScreen();
    Over = Screen ? Screen->availableGeometry() : QRect(0, 0, Size.width(), Size.height());
  }
  const QPoint Corner = Over.center() - QPoint(Size.width() / 2, Size.height() / 2);
  SetWindowPos(Wnd, nullptr, std::max(0, Corner.x()), std::max(0, Corner.y()), Size.width(), Size.height(),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// A child window of the dialog that holds the caller's panel.
class TPanelHost : public TWinControl {
 public:
  explicit TPanelHost(HWND Dialog) : TWinControl(nullptr), FDialog(Dialog) {}
  void Reveal() { SetShowing(true); }

 protected:
  void CreateParams(TCreateParams& P) override {
    TWinControl::CreateParams(P);
    P.Style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    P.WndParent = FDialog;
  }
  void UpdateControlState() override { SetShowing(Visible()); }

 private:
  HWND FDialog;
};

// Keeps the host window on the place the dialog's layout keeps free for it.
class TPlaceFollower : public QObject {
 public:
  TPlaceFollower(QWidget* APlace, TPanelHost* AHost) : QObject(APlace), Place(APlace), Host(AHost) {}
  bool eventFilter(QObject*, QEvent* E) override {
    if (E->type() == QEvent::Resize || E->type() == QEvent::Move || E->type() == QEvent::Show) Follow();
    return false;
  }
  void Follow() {
    const QRect G = Place->geometry();
    gtui::Guarded([&] { Host->SetBounds(G.x(), G.y(), G.width(), G.height()); });
  }
  QWidget* Place;
  TPanelHost* Host;
};

// The message-box text of the checks made when the user confirms a name.
WideString NotFoundText(const WideString& Name) {
  return Name + u"\nFile not found.\nCheck the file name and try again.";
}
WideString NoPathText(const WideString& Name) {
  return Name + u"\nPath does not exist.\nCheck the path and try again.";
}
WideString ReplaceText(const WideString& Name) {
  return Name + u" already exists.\nDo you want to replace it?";
}

// The names in the file-name box: the whole text, or each "quoted" name of
// several, made full paths in Folder.
QStringList TypedNames(const QString& Text, const QDir& Folder) {
  QStringList Names;
  if (!Text.contains(u'"')) {
    if (!Text.isEmpty()) Names << Text;
  } else {
    const QStringList Parts = Text.split(u'"');
    for (qsizetype i = 1; i < Parts.size(); i += 2)
      if (!Parts[i].isEmpty()) Names << Parts[i];
  }
  QStringList Paths;
  for (const QString& N : Names) Paths << QDir::cleanPath(Folder.absoluteFilePath(N));
  return Paths;
}

WideString FileExtOf(const WideString& Path) {
  const size_t Slash = Path.find_last_of(u'/');
  const size_t Start = Slash == WideString::npos ? 0 : Slash + 1;
  const size_t Dot = Path.find_last_of(u'.');
  // A leading dot names a hidden file; it is no extension.
  if (Dot == WideString::npos || Dot <= Start) return {};
  return Path.substr(Dot + 1);
}

}  // namespace
}  // namespace filedialogs

using namespace filedialogs;

// ---------------------------------------------------------------------------
// The shown open or save dialog.

namespace filedialogs {
class TQtFileDialog : public QFileDialog {
 public:
  std::function<void()> OnAccept;
  std::function<void()> OnReject;
  void accept() override { OnAccept ? OnAccept() : QFileDialog::accept(); }
  void reject() override { OnReject ? OnReject() : QFileDialog::reject(); }
  // The checks passed: close without the toolkit's own checks and prompts.
  void Close(bool Ok) { Ok ? QDialog::accept() : QDialog::reject(); }
};
}  // namespace filedialogs

class TFileDialogSession : public TGtFileDialogScript {
 public:
  TFileDialogSession(TOpenDialog* AOwner, bool ASave) : Owner(AOwner), Save(ASave) {}

  ~TFileDialogSession() override {
    ReturnPanel(Right, Owner->FHostedPanel);
    ReturnPanel(Bottom, Owner->FHostedStrip);
    if (Wnd) DestroyWindow(Wnd);
  }

  void Build() {
    Dlg = new TQtFileDialog();
    Dlg->setOption(QFileDialog::DontUseNativeDialog, true);
    Dlg->setOption(QFileDialog::DontConfirmOverwrite, true);
    Dlg->setOption(QFileDialog::DontResolveSymlinks, Owner->FOptions.Contains(ofNoDereferenceLinks));
    Dlg->setAcceptMode(Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    Dlg->setFileMode(!Save && Owner->FOptions.Contains(ofAllowMultiSelect) ? QFileDialog::ExistingFiles
                                                                            : QFileDialog::AnyFile);
    if (Owner->FOptions.Contains(ofForceShowHidden)) Dlg->setFilter(Dlg->filter() | QDir::Hidden);
    Rows = ParseFilter(Owner->FFilter);
    QStringList Filters;
    for (const TFilterRow& R : Rows) Filters << ToolkitFilter(R);
    if (!Filters.isEmpty()) Dlg->setNameFilters(Filters);
    Live = Owner->FFilterIndex >= 1 && Owner->FFilterIndex <= static_cast<Integer>(Rows.size()) ? Owner->FFilterIndex : 1;
    if (!Filters.isEmpty()) Dlg->selectNameFilter(Filters[Live - 1]);

    const QString Name = ToQString(Owner->FFileName);
    QString Folder = ToQString(Owner->FInitialDir);
    const QFileInfo NameInfo(Name);
    if (Folder.isEmpty() && Name.contains(u'/')) Folder = NameInfo.absolutePath();
    if (Folder.isEmpty() || !QFileInfo(Folder).isDir()) Folder = QDir::currentPath();
    Dlg->setDirectory(Folder);
    if (!Name.isEmpty()) Edit()->setText(NameInfo.fileName());
    const WideString Caption = !Owner->FTitle.empty() ? Owner->FTitle : Save ? WideString(u"Save As") : WideString(u"Open");

    Wnd = AdoptDialog(Dlg, Caption, [this](TMessage& M) { WndProc(M); });
    Dlg->OnAccept = [this] { gtui::Guarded([&] { TryAccept(); }); };
    Dlg->OnReject = [this] { Dlg->Close(false); };
    LastFolder = Dlg->directory().absolutePath();
    if (auto* Model = Dlg->findChild<QFileSystemModel*>())
      QObject::connect(Model, &QFileSystemModel::rootPathChanged, Dlg, [this](const QString&) { NoteFolder(); });
    QObject::connect(Dlg, &QFileDialog::directoryEntered, Dlg, [this](const QString&) { NoteFolder(); });
    QObject::connect(Dlg, &QFileDialog::currentChanged, Dlg,
                     [this](const QString&) { gtui::Guarded([&] { Owner->DoSelectionChange(); }); });
    // After the dialog's own handling of the pick (it changes the listing and the typed extension).
    if (QComboBox* C = Types()) QObject::connect(C, &QComboBox::activated, Dlg, [this](int) { NoteType(); });
    HostPanels();
  }

  // Runs the dialog, modally or through the test hook; true when a name was accepted.
  bool Run() {
    PlaceDialog(Dlg, Wnd);
    if (g_FileHook) {
      Dlg->show();
      Shown();
      g_FileHook(*this);
      return Accepted;
    }
    QTimer::singleShot(0, Dlg, [this] { Shown(); });
    Dlg->exec();
    return Accepted;
  }

  // --- live state
  WideString FileName() const {
    const QStringList S = Chosen();
    return S.isEmpty() ? Owner->FFileName : FromQString(S.first());
  }
  WideString Folder() const { return FromQString(Dlg->directory().absolutePath()); }
  WideString EditText() const { return FromQString(Edit()->text()); }
  void SetEditText(const WideString& S) { Type(ToQString(S)); }
  Integer LiveIndex() const { return Live; }

  // --- the script
  HWND Dialog() override { return Wnd; }
  HWND PanelHost() override { return HostWindow(Right); }
  HWND StripHost() override { return HostWindow(Bottom); }
  void ChangeFolder(const WideString& F) override {
    Dlg->setDirectory(ToQString(F));
    NoteFolder();
  }
  void ChooseType(Integer Index) override {
    QComboBox* C = Types();
    if (!C || Index < 1 || Index > C->count()) return;
    // What the list does when the user picks a row.
    C->setCurrentIndex(Index - 1);
    emit C->activated(Index - 1);
    emit C->textActivated(C->itemText(Index - 1));
  }
  Integer ShownType() override {
    QComboBox* C = Types();
    return C ? C->currentIndex() + 1 : 0;
  }
  void TypeName(const WideString& Text) override {
    // Typing happens in the focused box: the dialog leaves its text alone then.
    GtTestActivate(Wnd);
    Edit()->setFocus();
    Type(ToQString(Text));
  }
  bool SelectFile(const WideString& Name) override {
    const QString Path = QDir(Dlg->directory()).absoluteFilePath(ToQString(Name));
    auto* Model = Dlg->findChild<QFileSystemModel*>();
    if (!Model) return false;
    // The folder is read in the background; the file can be selected once listed.
    if (!GtTestPumpUntil([&] { return Model->index(Path).isValid(); }, 5000)) return false;
    auto* List = Dlg->findChild<QListView*>(QStringLiteral("listView"));
    if (!List || List->model() != Model) return false;
    List->setCurrentIndex(Model->index(Path));
    return true;
  }
  bool Accept() override {
    Dlg->accept();
    return Closed;
  }
  void Cancel() override { Dlg->reject(); }

 private:
  QLineEdit* Edit() const { return Dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }
  QComboBox* Types() const { return Dlg->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")); }

  // What the user chose: the names in the file-name box, which the dialog
  // fills from the list when files are picked there. (The list's own
  // selection can hold fewer: a typed name it does not show would be lost.)
  QStringList Chosen() const {
    const QStringList Typed = TypedNames(Edit()->text(), Dlg->directory());
    return Typed.isEmpty() ? Dlg->selectedFiles() : Typed;
  }

  // Text typed into the file-name box replaces the list's selection, as typing there does.
  void Type(const QString& Text) {
    if (auto* List = Dlg->findChild<QListView*>(QStringLiteral("listView")))
      if (List->selectionModel()) List->selectionModel()->clearSelection();
    Edit()->setText(Text);
  }

  void WndProc(TMessage& M) {
    // Closing from the window manager cancels; the layer must not free the dialog under its loop.
    if (M.Msg == WM_CLOSE) {
      Dlg->reject();
      M.Result = 0;
      return;
    }
    M.Result = DefWindowProc(Wnd, M.Msg, M.WParam, M.LParam);
  }

  void Shown() {
    for (THosted* H : {&Right, &Bottom})
      if (H->Follower) H->Follower->Follow();
    gtui::Guarded([&] { Owner->DoShow(); });
  }

  void NoteFolder() {
    const QString F = Dlg->directory().absolutePath();
    if (F == LastFolder) return;
    LastFolder = F;
    gtui::Guarded([&] { Owner->DoFolderChange(); });
  }

  void NoteType() {
    QComboBox* C = Types();
    const Integer Index = C ? C->currentIndex() + 1 : Live;
    if (Index == Live) return;
    Live = Index;
    gtui::Guarded([&] { Owner->DoTypeChange(); });
  }

  void TryAccept() {
    const QStringList Picked = Chosen();
    if (Picked.isEmpty()) return;
    // A folder typed or picked is opened, as the dialog does by itself.
    if (Picked.size() == 1 && QFileInfo(Picked.first()).isDir()) {
      Dlg->setDirectory(Picked.first());
      Type(QString());
      NoteFolder();
      return;
    }
    std::vector<WideString> Names;
    for (const QString& C : Picked) Names.push_back(GtAddDefaultExt(FromQString(C), Owner->FDefaultExt));
    const WideString Caption = FromQString(Dlg->windowTitle());
    const bool MustExist = !Save && Owner->FOptions.Contains(ofFileMustExist);
    for (const WideString& N : Names) {
      const QFileInfo Info(ToQString(N));
      if ((MustExist || Owner->FOptions.Contains(ofPathMustExist)) && !QFileInfo(Info.absolutePath()).isDir()) {
        MessageBox(Wnd, NoPathText(N), Caption, MB_OK | MB_ICONWARNING);
        return;
      }
      if (MustExist && !Info.exists()) {
        MessageBox(Wnd, NotFoundText(N), Caption, MB_OK | MB_ICONWARNING);
        return;
      }
      if (Save && Owner->FOptions.Contains(ofOverwritePrompt) && Info.exists() &&
          MessageBox(Wnd, ReplaceText(N), Caption, MB_YESNO | MB_ICONWARNING) != IDYES)
        return;
    }
    // The handler sees the names it is asked about; a veto leaves the dialog as it was.
    const WideString OldName = Owner->FFileName;
    TStringList Old;
    Old.Assign(Owner->FFiles.get());
    Owner->FFiles->Clear();
    for (const WideString& N : Names) Owner->FFiles->Add(N);
    Owner->FFileName = Names.front();
    auto Restore = [&] {
      Owner->FFileName = OldName;
      Owner->FFiles->Assign(&Old);
    };
    bool CanClose = false;
    try {
      CanClose = Owner->DoCanClose();
    } catch (...) {
      // A failing handler keeps the dialog as a veto does; the failure is reported.
      Restore();
      throw;
    }
    if (!CanClose) {
      Restore();
      return;
    }
    Accepted = true;
    Closed = true;
    Dlg->Close(true);
  }

  // A caller's panel in a window of the dialog on a place its layout keeps
  // free: at the right of the standard controls, or in a strip under them.
  struct THosted {
    TWinControl* Panel = nullptr;
    TWinControl* Parent = nullptr;
    TRect Bounds;
    TAlign Align = alNone;
    bool Visible = false;
    std::unique_ptr<TPanelHost> Host;
    TPlaceFollower* Follower = nullptr;
  };

  void HostPanels() {
    auto* Grid = qobject_cast<QGridLayout*>(Dlg->layout());
    if (!Grid) return;
    if (TWinControl* P = Owner->FHostedPanel) {
      QWidget* Place = NewPlace(P, QSizePolicy::Preferred, QSizePolicy::Expanding);
      Grid->addWidget(Place, 0, Grid->columnCount(), Grid->rowCount(), 1);
      Host(Right, P, Place);
    }
    if (TWinControl* P = Owner->FHostedStrip; P && P != Owner->FHostedPanel) {
      QWidget* Place = NewPlace(P, QSizePolicy::Expanding, QSizePolicy::Fixed);
      Grid->addWidget(Place, Grid->rowCount(), 0, 1, Grid->columnCount());
      Host(Bottom, P, Place);
    }
  }

  QWidget* NewPlace(TWinControl* Panel, QSizePolicy::Policy Across, QSizePolicy::Policy Down) {
    auto* Place = new QWidget(Dlg);
    Place->setMinimumSize(std::max(1, Panel->Width()), std::max(1, Panel->Height()));
    Place->setSizePolicy(Across, Down);
    return Place;
  }

  void Host(THosted& H, TWinControl* Panel, QWidget* Place) {
    H.Panel = Panel;
    H.Parent = Panel->Parent();
    H.Bounds = TRect(Panel->Left(), Panel->Top(), Panel->Left() + Panel->Width(), Panel->Top() + Panel->Height());
    H.Align = Panel->Align();
    H.Visible = Panel->Visible();
    H.Host = std::make_unique<TPanelHost>(Wnd);
    H.Host->SetBounds(0, 0, Panel->Width(), Panel->Height());
    H.Host->Reveal();
    H.Follower = new TPlaceFollower(Place, H.Host.get());
    Place->installEventFilter(H.Follower);
    Panel->SetParent(H.Host.get());
    Panel->SetAlign(alClient);
    Panel->SetVisible(true);
  }

  void ReturnPanel(THosted& H, TWinControl* StillHosted) {
    TWinControl* Panel = H.Panel;
    H.Panel = nullptr;
    // The panel may have been freed while the dialog showed.
    if (Panel && StillHosted == Panel) {
      Panel->SetVisible(false);
      Panel->SetParent(H.Parent);
      Panel->SetAlign(H.Align);
      Panel->SetBounds(H.Bounds.Left, H.Bounds.Top, H.Bounds.Width(), H.Bounds.Height());
      Panel->SetVisible(H.Visible);
    }
    H.Host.reset();
  }

  static HWND HostWindow(const THosted& H) {
    return H.Host && H.Host->HandleAllocated() ? H.Host->Handle() : nullptr;
  }

  TOpenDialog* Owner;
  bool Save;
  TQtFileDialog* Dlg = nullptr;  // owned by its window
  HWND Wnd = nullptr;
  std::vector<TFilterRow> Rows;
  Integer Live = 1;
  QString LastFolder;
  bool Accepted = false, Closed = false;
  THosted Right, Bottom;
};

// ---------------------------------------------------------------------------

TOpenDialog::TOpenDialog(TComponent* AOwner) : TCommonDialog(AOwner), FFiles(std::make_unique<TStringList>()) {}

TOpenDialog::~TOpenDialog() {
  SetHostedPanel(nullptr);
  SetHostedStrip(nullptr);
}

namespace filedialogs {
namespace {
void Link(TComponent* Self, TWinControl*& Field, TWinControl* Value, TWinControl* Other) {
  if (Field == Value) return;
  if (Field && Field != Other) Field->RemoveFreeNotification(Self);
  Field = Value;
  if (Field) Field->FreeNotification(Self);
}
}  // namespace
}  // namespace filedialogs

void TOpenDialog::SetHostedPanel(TWinControl* Value) { Link(this, FHostedPanel, Value, FHostedStrip); }

void TOpenDialog::SetHostedStrip(TWinControl* Value) { Link(this, FHostedStrip, Value, FHostedPanel); }

void TOpenDialog::Notification(TComponent* AComponent, TOperation Operation) {
  TCommonDialog::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FHostedPanel) FHostedPanel = nullptr;
  if (AComponent == FHostedStrip) FHostedStrip = nullptr;
}

Integer TOpenDialog::FilterIndex() const { return FSession ? FSession->LiveIndex() : FFilterIndex; }

WideString TOpenDialog::FileName() const { return FSession ? FSession->FileName() : FFileName; }

WideString TOpenDialog::CurrentFolder() const {
  if (FSession) return FSession->Folder();
  const size_t Slash = FFileName.find_last_of(u'/');
  return Slash == WideString::npos ? WideString() : FFileName.substr(0, Slash == 0 ? 1 : Slash);
}

WideString TOpenDialog::EditText() const { return FSession ? FSession->EditText() : FFileName; }

void TOpenDialog::SetEditText(const WideString& Value) {
  if (FSession) FSession->SetEditText(Value);
}

bool TOpenDialog::DoCanClose() {
  bool CanClose = true;
  if (OnCanClose) OnCanClose(this, CanClose);
  return CanClose;
}

void TOpenDialog::DoSelectionChange() {
  if (OnSelectionChange) OnSelectionChange(this);
}

void TOpenDialog::DoFolderChange() {
  if (OnFolderChange) OnFolderChange(this);
}

void TOpenDialog::DoTypeChange() {
  if (OnTypeChange) OnTypeChange(this);
}

bool TOpenDialog::Execute() { return DoExecute(false); }

bool TSaveDialog::Execute() { return DoExecute(true); }

bool TOpenDialog::DoExecute(bool Save) {
  if (FSession) throw EInvalidOperation("The dialog is shown already");
  bool Ok = false;
  Integer Index = FFilterIndex;
  {
    TFileDialogSession S(this, Save);
    S.Build();
    FSession = &S;
    FHandle = S.Dialog();
    try {
      Ok = S.Run();
    } catch (...) {
      FSession = nullptr;
      FHandle = nullptr;
      throw;
    }
    Index = S.LiveIndex();
    FSession = nullptr;
    FHandle = nullptr;
  }
  DoClose();
  if (!Ok) return false;
  FFilterIndex = Index;
  const WideString Ext = FileExtOf(FFileName);
  WideString Default = FDefaultExt;
  if (!Default.empty() && Default[0] == u'.') Default.erase(0, 1);
  if (!Default.empty() && LowerCase(Ext) != LowerCase(Default))
    FOptions.Include(ofExtensionDifferent);
  else
    FOptions.Exclude(ofExtensionDifferent);
  return true;
}

WideString GtAddDefaultExt(const WideString& Name, const WideString& DefaultExt) {
  WideString Ext = DefaultExt;
  if (!Ext.empty() && Ext[0] == u'.') Ext.erase(0, 1);
  if (Ext.empty() || Name.empty() || Name.back() == u'/' || !FileExtOf(Name).empty()) return Name;
  return Name + u"." + Ext;
}

void GtSetFileDialogHook(const std::function<void(TGtFileDialogScript& Script)>& Hook) { g_FileHook = Hook; }

// ---------------------------------------------------------------------------
// The folder picker.

namespace filedialogs {
class TFolderPickerSession : public TGtFolderPickerScript {
 public:
  explicit TFolderPickerSession(const TGtBrowseInfo& AInfo) : Info(AInfo) {}
  ~TFolderPickerSession() override {
    if (Wnd) DestroyWindow(Wnd);
  }

  void Build() {
    Dlg = new TQtFileDialog();
    Dlg->setOption(QFileDialog::DontUseNativeDialog, true);
    Dlg->setOption(QFileDialog::ShowDirsOnly, true);
    Dlg->setFileMode(QFileDialog::Directory);
    Dlg->setAcceptMode(QFileDialog::AcceptOpen);
    const QString Root = ToQString(Info.Root);
    RootDir = !Root.isEmpty() && QFileInfo(Root).isDir() ? QDir::cleanPath(QFileInfo(Root).absoluteFilePath())
                                                          : QDir::rootPath();
    Dlg->setDirectory(RootDir);
    Dlg->setSidebarUrls({QUrl::fromLocalFile(RootDir)});
    // The text above the tree: the toolkit's dialog shows it beside the folder box.
    if (!Info.lpszTitle.empty()) Dlg->setLabelText(QFileDialog::LookIn, ToQString(Info.lpszTitle));
    Wnd = AdoptDialog(Dlg, u"Browse for Folder", [this](TMessage& M) { WndProc(M); });
    Dlg->OnAccept = [this] { gtui::Guarded([&] { TryAccept(); }); };
    Dlg->OnReject = [this] { Dlg->Close(false); };
    auto Note = [this] { NoteSelection(); };
    if (auto* Model = Dlg->findChild<QFileSystemModel*>())
      QObject::connect(Model, &QFileSystemModel::rootPathChanged, Dlg, [this](const QString& Now) {
        // The tree starts at the root: the picker goes no higher.
        if (!Inside(QDir::cleanPath(Now))) {
          QTimer::singleShot(0, Dlg, [this] { Dlg->setDirectory(RootDir); });
          return;
        }
        NoteSelection();
      });
    QObject::connect(Dlg, &QFileDialog::currentChanged, Dlg, Note);
    if (QLineEdit* E = Edit()) QObject::connect(E, &QLineEdit::textChanged, Dlg, Note);
    // After the dialog's own update of its button, so that the callback's answer holds.
    if (QLineEdit* E = Edit()) QObject::connect(E, &QLineEdit::textChanged, Dlg, [this] { ApplyOk(); });
    QObject::connect(Dlg, &QFileDialog::currentChanged, Dlg, [this] { ApplyOk(); });
  }

  WideString Run() {
    PlaceDialog(Dlg, Wnd);
    if (g_FolderHook) {
      Dlg->show();
      Initialized();
      g_FolderHook(*this);
    } else {
      QTimer::singleShot(0, Dlg, [this] { Initialized(); });
      Dlg->exec();
    }
    return Chosen;
  }

  HWND Dialog() override { return Wnd; }
  WideString Selected() override { return Current(); }
  // As the user goes there, so the picker's own rules apply.
  void Select(const WideString& Path) override {
    Dlg->setDirectory(ToQString(Path));
    if (QLineEdit* E = Edit()) E->clear();
    NoteSelection();
  }
  void TypeName(const WideString& Text) override {
    if (QLineEdit* E = Edit()) E->setText(ToQString(Text));
  }
  bool OkEnabled() override {
    QPushButton* B = OkButton();
    return B && B->isEnabled() && OkAllowed;
  }
  WideString OkCaption() override {
    QPushButton* B = OkButton();
    return B ? FromQString(B->text()) : WideString();
  }
  bool Accept() override {
    Dlg->accept();
    return Closed;
  }
  void Cancel() override { Dlg->reject(); }

 private:
  QLineEdit* Edit() const { return Dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }
  QPushButton* OkButton() const {
    auto* Box = Dlg->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    return Box ? Box->button(QDialogButtonBox::Open) : nullptr;
  }

  WideString Current() const {
    const QStringList S = Dlg->selectedFiles();
    return S.isEmpty() ? FromQString(Dlg->directory().absolutePath()) : FromQString(QDir::cleanPath(S.first()));
  }

  bool Inside(const QString& Path) const {
    return RootDir == QDir::rootPath() || Path == RootDir || Path.startsWith(RootDir + u'/');
  }

  void SetSelection(const QString& Path) {
    const QFileInfo F(Path);
    if (!F.isDir() || !Inside(QDir::cleanPath(F.absoluteFilePath()))) return;
    Dlg->setDirectory(F.absoluteFilePath());
    if (QLineEdit* E = Edit()) E->clear();
    NoteSelection();
  }

  Integer Call(UINT Msg, LPARAM LParam) {
    Integer R = 0;
    if (Info.lpfn) gtui::Guarded([&] { R = Info.lpfn(Wnd, Msg, LParam, Info.lParam); });
    return R;
  }

  void Initialized() {
    Last = Current();
    Ready = true;
    Call(BFFM_INITIALIZED, 0);
  }

  void NoteSelection() {
    if (!Ready) return;
    const WideString Now = Current();
    // A step above the root is taken back before anybody hears of it.
    if (Now == Last || !Inside(QDir::cleanPath(ToQString(Now)))) return;
    Last = Now;
    Call(BFFM_SELCHANGED, reinterpret_cast<LPARAM>(&Now));
  }

  void ApplyOk() {
    if (QPushButton* B = OkButton())
      if (!OkAllowed) B->setEnabled(false);
  }

  void WndProc(TMessage& M) {
    switch (M.Msg) {
      case WM_CLOSE: Dlg->reject(); M.Result = 0; return;
      case BFFM_SETSELECTIONW:
        if (M.WParam && M.LParam) SetSelection(ToQString(*reinterpret_cast<const WideString*>(M.LParam)));
        M.Result = 0;
        return;
      case BFFM_ENABLEOK:
        OkAllowed = M.LParam != 0;
        if (QPushButton* B = OkButton()) B->setEnabled(OkAllowed);
        M.Result = 0;
        return;
      case BFFM_SETOKTEXT:
        if (M.LParam) Dlg->setLabelText(QFileDialog::Accept, ToQString(*reinterpret_cast<const WideString*>(M.LParam)));
        M.Result = 0;
        return;
      default: M.Result = DefWindowProc(Wnd, M.Msg, M.WParam, M.LParam);
    }
  }

  void TryAccept() {
    if (!OkAllowed) return;
    const QString Text = Edit() ? Edit()->text().trimmed() : QString();
    const WideString Path = Current();
    if (!QFileInfo(ToQString(Path)).isDir()) {
      // A typed name that is no folder: the callback decides whether the picker closes.
      if (!(Info.ulFlags & BIF_VALIDATE)) return;
      const WideString Typed = FromQString(Text);
      if (Call(BFFM_VALIDATEFAILEDW, reinterpret_cast<LPARAM>(&Typed)) != 0) return;
      Closed = true;
      Dlg->Close(false);
      return;
    }
    Chosen = Path;
    if (Info.pszDisplayName) *Info.pszDisplayName = FromQString(QFileInfo(ToQString(Path)).fileName());
    Closed = true;
    Dlg->Close(true);
  }

  TGtBrowseInfo Info;
  QString RootDir;
  TQtFileDialog* Dlg = nullptr;
  HWND Wnd = nullptr;
  WideString Last, Chosen;
  bool Ready = false, OkAllowed = true, Closed = false;
};

}  // namespace filedialogs

WideString GtBrowseForFolder(const TGtBrowseInfo& Info) {
  TFolderPickerSession S(Info);
  S.Build();
  return S.Run();
}

void GtSetFolderPickerHook(const std::function<void(TGtFolderPickerScript& Script)>& Hook) { g_FolderHook = Hook; }
