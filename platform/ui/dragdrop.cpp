// Dropped-file lists, WM_DROPFILES and OLE drag and drop over the platform's
// drag and drop. Drops reach the layer through one application event filter
// (installed with the first window that takes drops), so that drops on any
// widget inside a window, item views' viewports included, find the nearest
// window that registered a target or accepts files.
#include "platform/ui/dragdrop.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <unistd.h>

#include <cctype>
#include <cstring>
#include <map>

#include "platform/base/fileutils.h"
#include "platform/ui/private/window.h"
#include "platform/ui/testsupport.h"

using namespace gtui;

namespace {

constexpr size_t kHead = sizeof(DROPFILES);
static_assert(kHead == 20, "the dropped-files head keeps its 20-byte layout");

const QString kUriList = QStringLiteral("text/uri-list");

// ------------------------------------------------------------ the block

std::vector<uint8_t> DropFilesBytes(const std::vector<WideString>& Names, TPoint Pt, bool NonClient) {
  DROPFILES Head;
  Head.pt = Pt;
  Head.fNC = NonClient ? TRUE : FALSE;
  size_t Units = 1;
  for (const WideString& N : Names) Units += N.size() + 1;
  std::vector<uint8_t> Out(kHead + Units * 2, 0);
  std::memcpy(Out.data(), &Head, kHead);
  size_t At = kHead;
  for (const WideString& N : Names) {
    // A zero inside a name would end the list early: the name stops there.
    for (char16_t C : N) {
      if (!C) break;
      Out[At] = static_cast<uint8_t>(C & 0xFF);
      Out[At + 1] = static_cast<uint8_t>(C >> 8);
      At += 2;
    }
    At += 2;
  }
  Out.resize(At + 2);
  return Out;
}

// The names of a locked block; false when it is not a dropped-files block.
bool NamesOf(HDROP Drop, std::vector<WideString>& Names, DROPFILES* Head = nullptr) {
  Names.clear();
  if (!Drop) return false;
  size_t Size = GlobalSize(Drop);
  auto* P = static_cast<const uint8_t*>(GlobalLock(Drop));
  if (!P) return false;
  bool Ok = GtReadDropFiles(P, Size, Names);
  if (Ok && Head) std::memcpy(Head, P, kHead);
  GlobalUnlock(Drop);
  return Ok;
}

// ------------------------------------------------------------ URLs

bool Unreserved(unsigned char C) {
  return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '-' || C == '.' ||
         C == '_' || C == '~' || C == '/';
}

int HexValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

bool StartsNoCase(const std::string& S, const char* Prefix) {
  size_t N = std::strlen(Prefix);
  if (S.size() < N) return false;
  for (size_t i = 0; i < N; ++i)
    if (std::tolower(static_cast<unsigned char>(S[i])) != Prefix[i]) return false;
  return true;
}

QString LocalHostName() {
  char Buf[256] = {};
  if (gethostname(Buf, sizeof Buf - 1) != 0) return QString();
  return QString::fromLocal8Bit(Buf);
}

// The path bytes of a local file URL, or false.
bool PathOfFileUrl(const std::string& Url, std::string& Path) {
  if (!StartsNoCase(Url, "file:")) return false;
  std::string Rest = Url.substr(5);
  if (Rest.rfind("//", 0) == 0) {
    size_t Slash = Rest.find('/', 2);
    if (Slash == std::string::npos) return false;
    QString Host = QString::fromStdString(Rest.substr(2, Slash - 2));
    if (!Host.isEmpty() && Host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0 &&
        Host.compare(LocalHostName(), Qt::CaseInsensitive) != 0)
      return false;  // a file on another machine
    Rest = Rest.substr(Slash);
  }
  if (Rest.empty() || Rest[0] != '/') return false;
  Path.clear();
  for (size_t i = 0; i < Rest.size(); ++i) {
    char C = Rest[i];
    if (C == '%' && i + 2 < Rest.size() && HexValue(Rest[i + 1]) >= 0 && HexValue(Rest[i + 2]) >= 0) {
      C = static_cast<char>(HexValue(Rest[i + 1]) * 16 + HexValue(Rest[i + 2]));
      i += 2;
    } else if (C == '?' || C == '#') {
      break;  // a query or fragment is no part of a file's name
    }
    if (C == 0) return false;  // no name holds a zero byte
    Path += C;
  }
  return true;
}

// ------------------------------------------------------------ data objects

// Offers a list of names as CF_HDROP.
class TFileDataObject : public TGtComObject<IDataObject> {
 public:
  explicit TFileDataObject(std::vector<WideString> ANames) : Names(std::move(ANames)) {}
  HRESULT GetData(const FORMATETC* F, STGMEDIUM* M) override {
    if (!F || !M) return E_POINTER;
    HRESULT R = QueryGetData(F);
    if (R != S_OK) return R;
    M->tymed = TYMED_HGLOBAL;
    M->pUnkForRelease = nullptr;
    M->hGlobal = GtCreateDropFiles(Names);
    if (!M->hGlobal) return E_OUTOFMEMORY;
    return S_OK;
  }
  HRESULT QueryGetData(const FORMATETC* F) override {
    if (!F) return E_POINTER;
    if (F->cfFormat != CF_HDROP) return DV_E_FORMATETC;
    if (!(F->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
    return S_OK;
  }
  std::vector<WideString> Names;
};

DWORD EffectsOf(Qt::DropActions A) {
  DWORD E = 0;
  if (A & Qt::CopyAction) E |= DROPEFFECT_COPY;
  if (A & Qt::MoveAction) E |= DROPEFFECT_MOVE;
  if (A & Qt::LinkAction) E |= DROPEFFECT_LINK;
  return E;
}

Qt::DropActions ActionsOf(DWORD E) {
  Qt::DropActions A;
  if (E & DROPEFFECT_COPY) A |= Qt::CopyAction;
  if (E & DROPEFFECT_MOVE) A |= Qt::MoveAction;
  if (E & DROPEFFECT_LINK) A |= Qt::LinkAction;
  return A;
}

// One effect out of a set the target answered: the proposed one when it is
// in the set, else copy, move, link in that order.
Qt::DropAction OneAction(DWORD E, Qt::DropAction Proposed) {
  if (ActionsOf(E) & Proposed) return Proposed;
  if (E & DROPEFFECT_COPY) return Qt::CopyAction;
  if (E & DROPEFFECT_MOVE) return Qt::MoveAction;
  if (E & DROPEFFECT_LINK) return Qt::LinkAction;
  return Qt::IgnoreAction;
}

DWORD KeyStateOf(Qt::MouseButtons B, Qt::KeyboardModifiers M) {
  DWORD K = 0;
  if (B & Qt::LeftButton) K |= MK_LBUTTON;
  if (B & Qt::RightButton) K |= MK_RBUTTON;
  if (B & Qt::MiddleButton) K |= MK_MBUTTON;
  if (M & Qt::ShiftModifier) K |= MK_SHIFT;
  if (M & Qt::ControlModifier) K |= MK_CONTROL;
  if (M & Qt::AltModifier) K |= 0x20;  // MK_ALT
  return K;
}

std::vector<WideString> NamesOfMime(const QMimeData* M) {
  if (!M || !M->hasFormat(kUriList)) return {};
  return GtNamesOfUriList(M->data(kUriList).toStdString());
}

// ------------------------------------------------------------ state

std::map<HWND, IDropTarget*>& Targets() {
  static auto* T = new std::map<HWND, IDropTarget*>;
  return *T;
}

// The drag now over one of the program's windows.
struct TIncoming {
  HWND Window = nullptr;
  IDropTarget* Target = nullptr;  // held while the drag is over the window
  IDataObject* Data = nullptr;
  std::vector<WideString> Names;
};
TIncoming g_In;

// The drag this process runs (DoDragDrop): its own windows get the source's data object.
IDataObject* g_OutData = nullptr;
const QMimeData* g_OutMime = nullptr;

void EndIncoming() {
  if (g_In.Target) g_In.Target->Release();
  if (g_In.Data) g_In.Data->Release();
  g_In = TIncoming();
}

// The nearest window from W up that takes drops.
TWindow* DropWindow(TWindow* W) {
  for (; W; W = W->Parent)
    if (Targets().count(W->Handle) || (W->ExStyle & WS_EX_ACCEPTFILES)) return W;
  return nullptr;
}

void AcceptDropsOn(TWindow* W, bool On) {
  if (!W || !W->Client) return;
  W->Client->setAcceptDrops(On);
  // Item views receive drops in their viewport.
  if (auto* Area = qobject_cast<QAbstractScrollArea*>(W->Client)) Area->viewport()->setAcceptDrops(On);
}

bool HandleDrag(QWidget* Widget, QEvent* E);

class TDropFilter : public QObject {
 public:
  bool eventFilter(QObject* Obj, QEvent* E) override {
    switch (E->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::DragLeave:
      case QEvent::Drop:
        if (Obj->isWidgetType()) return HandleDrag(static_cast<QWidget*>(Obj), E);
        return false;
      default: return false;
    }
  }
};

void InstallFilter() {
  static TDropFilter* F = nullptr;
  if (F) return;
  InitWindowing();
  F = new TDropFilter;
  qApp->installEventFilter(F);
}

bool HandleDrag(QWidget* Widget, QEvent* E) {
  if (E->type() == QEvent::DragLeave) {
    if (!g_In.Window) return false;
    TQtEntry Entry;
    if (g_In.Target) g_In.Target->DragLeave();
    EndIncoming();
    return true;
  }
  TWindow* W = DropWindow(WindowOfWidget(Widget));
  if (!W) return false;
  TQtEntry Entry;
  auto* D = static_cast<QDropEvent*>(E);
  QPoint Global = Widget->mapToGlobal(D->position().toPoint());
  TPoint Pt(Global.x(), Global.y());
  DWORD Keys = KeyStateOf(D->buttons(), D->modifiers());
  DWORD Allowed = EffectsOf(D->possibleActions());
  HWND Wnd = W->Handle;

  if (g_In.Window != Wnd) {
    // A new window under the drag (the enter, or a move that skipped it).
    if (g_In.Window && g_In.Target) g_In.Target->DragLeave();
    EndIncoming();
    g_In.Window = Wnd;
    g_In.Names = NamesOfMime(D->mimeData());
    auto It = Targets().find(Wnd);
    if (It != Targets().end()) {
      g_In.Target = It->second;
      g_In.Target->AddRef();
      if (g_OutData && D->mimeData() == g_OutMime) {
        g_In.Data = g_OutData;
        g_In.Data->AddRef();
      } else {
        g_In.Data = GtCreateFileDataObject(g_In.Names);
      }
      DWORD Effect = Allowed;
      HRESULT R = g_In.Target->DragEnter(g_In.Data, Keys, Pt, &Effect);
      if (FAILED(R)) Effect = DROPEFFECT_NONE;
      Effect &= Allowed;
      // The enter is taken either way: the target may want a later point.
      D->setDropAction(OneAction(Effect, D->proposedAction()));
      D->accept();
      if (E->type() == QEvent::DragEnter) return true;
    } else if (E->type() == QEvent::DragEnter) {
      if (g_In.Names.empty()) {
        EndIncoming();
        D->ignore();
        return true;
      }
      D->setDropAction(OneAction(Allowed & DROPEFFECT_COPY ? DROPEFFECT_COPY : Allowed, D->proposedAction()));
      D->accept();
      return true;
    }
  }

  if (E->type() == QEvent::DragEnter || E->type() == QEvent::DragMove) {
    if (g_In.Target) {
      DWORD Effect = Allowed;
      HRESULT R = g_In.Target->DragOver(Keys, Pt, &Effect);
      if (FAILED(R)) Effect = DROPEFFECT_NONE;
      Effect &= Allowed;
      Qt::DropAction A = OneAction(Effect, D->proposedAction());
      D->setDropAction(A);
      D->setAccepted(A != Qt::IgnoreAction);
    } else {
      bool Take = !g_In.Names.empty();
      D->setDropAction(Take ? OneAction(Allowed & DROPEFFECT_COPY ? DROPEFFECT_COPY : Allowed, D->proposedAction())
                            : Qt::IgnoreAction);
      D->setAccepted(Take);
    }
    return true;
  }

  // The drop.
  if (g_In.Target) {
    IDropTarget* T = g_In.Target;
    IDataObject* Data = g_In.Data;
    T->AddRef();
    Data->AddRef();
    EndIncoming();
    DWORD Effect = Allowed;
    HRESULT R = T->Drop(Data, Keys, Pt, &Effect);
    T->Release();
    Data->Release();
    if (FAILED(R)) Effect = DROPEFFECT_NONE;
    Effect &= Allowed;
    Qt::DropAction A = OneAction(Effect, D->proposedAction());
    D->setDropAction(A);
    D->setAccepted(A != Qt::IgnoreAction);
    return true;
  }
  std::vector<WideString> Names = g_In.Names.empty() ? NamesOfMime(D->mimeData()) : g_In.Names;
  EndIncoming();
  if (Names.empty()) {
    D->ignore();
    return true;
  }
  TPoint Client = Pt;
  ScreenToClient(Wnd, &Client);
  HDROP Drop = GtCreateDropFiles(Names, Client, false);
  if (!Drop || !PostMessage(Wnd, WM_DROPFILES, reinterpret_cast<WPARAM>(Drop), 0)) {
    if (Drop) GlobalFree(Drop);
    D->ignore();
    return true;
  }
  D->setDropAction(OneAction(Allowed & DROPEFFECT_COPY ? DROPEFFECT_COPY : Allowed, D->proposedAction()));
  D->accept();
  return true;
}

// Asks the drop source while the platform's drag runs: its answer decides
// Escape, other buttons and the release of the dragging button.
class TSourceFilter : public QObject {
 public:
  explicit TSourceFilter(IDropSource* ASource) : Source(ASource) {}
  IDropSource* Source;
  Qt::MouseButtons Buttons;
  Qt::KeyboardModifiers Mods;
  bool eventFilter(QObject*, QEvent* E) override {
    bool Escape = false;
    switch (E->type()) {
      case QEvent::KeyPress:
        Mods = static_cast<QKeyEvent*>(E)->modifiers();
        Escape = static_cast<QKeyEvent*>(E)->key() == Qt::Key_Escape;
        break;
      case QEvent::KeyRelease: Mods = static_cast<QKeyEvent*>(E)->modifiers(); return false;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
        Buttons = static_cast<QMouseEvent*>(E)->buttons();
        Mods = static_cast<QMouseEvent*>(E)->modifiers();
        break;
      default: return false;
    }
    TQtEntry Entry;
    HRESULT R = Source->QueryContinueDrag(Escape ? TRUE : FALSE, KeyStateOf(Buttons, Mods));
    if (R == DRAGDROP_S_CANCEL) {
      QDrag::cancel();
      return true;
    }
    // Going on: the platform must not drop at this release or end at this key.
    if (R == S_OK) return E->type() != QEvent::KeyPress || Escape;
    return false;  // DRAGDROP_S_DROP: the platform drops at this release
  }
};

}  // namespace

// ------------------------------------------------------------ dropped files

bool GtReadDropFiles(const uint8_t* Data, size_t Size, std::vector<WideString>& Names) {
  Names.clear();
  if (!Data || Size < kHead) return false;
  DROPFILES Head;
  std::memcpy(&Head, Data, kHead);
  if (Head.pFiles < kHead || Head.pFiles > Size) return false;
  size_t At = Head.pFiles;
  if (Head.fWide) {
    for (;;) {
      if (At + 2 > Size) return false;
      WideString N;
      for (;;) {
        if (At + 2 > Size) return false;  // a name without its zero
        char16_t C = static_cast<char16_t>(Data[At] | (Data[At + 1] << 8));
        At += 2;
        if (!C) break;
        N += C;
      }
      if (N.empty()) return true;
      Names.push_back(std::move(N));
    }
  }
  // 8-bit names: the system's bytes.
  for (;;) {
    std::string N;
    for (;;) {
      if (At >= Size) return false;
      char C = static_cast<char>(Data[At++]);
      if (!C) break;
      N += C;
    }
    if (N.empty()) return true;
    Names.push_back(WideFileName(N));
  }
}

HDROP GtCreateDropFiles(const std::vector<WideString>& Names, TPoint Pt, bool NonClient) {
  std::vector<uint8_t> B = DropFilesBytes(Names, Pt, NonClient);
  HGLOBAL H = GlobalAlloc(GMEM_MOVEABLE, B.size());
  if (!H) return nullptr;
  void* P = GlobalLock(H);
  std::memcpy(P, B.data(), B.size());
  GlobalUnlock(H);
  return H;
}

std::string GtUriListOfNames(const std::vector<WideString>& Names) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string Out;
  for (const WideString& N : Names) {
    std::string Path = NativeFileName(N);
    if (Path.empty() || Path.find('\0') != std::string::npos) continue;
    Out += "file://";
    for (unsigned char C : Path) {
      if (Unreserved(C)) {
        Out += static_cast<char>(C);
      } else {
        Out += '%';
        Out += Hex[C >> 4];
        Out += Hex[C & 15];
      }
    }
    Out += "\r\n";
  }
  return Out;
}

std::vector<WideString> GtNamesOfUriList(const std::string& UriList) {
  std::vector<WideString> Out;
  size_t At = 0;
  while (At < UriList.size()) {
    size_t End = UriList.find('\n', At);
    if (End == std::string::npos) End = UriList.size();
    std::string Line = UriList.substr(At, End - At);
    At = End + 1;
    while (!Line.empty() && (Line.back() == '\r' || Line.back() == ' ' || Line.back() == '\t')) Line.pop_back();
    if (Line.empty() || Line[0] == '#') continue;
    std::string Path;
    if (PathOfFileUrl(Line, Path)) Out.push_back(WideFileName(Path));
  }
  return Out;
}

UINT DragQueryFileW(HDROP hDrop, UINT iFile, WCHAR* lpszFile, UINT cch) {
  std::vector<WideString> Names;
  if (!NamesOf(hDrop, Names)) return 0;
  if (iFile == 0xFFFFFFFFu) return static_cast<UINT>(Names.size());
  if (iFile >= Names.size()) return 0;
  const WideString& N = Names[iFile];
  if (lpszFile && cch > 0) {
    size_t Copy = std::min<size_t>(N.size(), cch - 1);
    std::memcpy(lpszFile, N.data(), Copy * sizeof(WCHAR));
    lpszFile[Copy] = 0;
  }
  return static_cast<UINT>(N.size());
}

BOOL DragQueryPoint(HDROP hDrop, TPoint* lppt) {
  std::vector<WideString> Names;
  DROPFILES Head;
  if (!lppt || !NamesOf(hDrop, Names, &Head)) return FALSE;
  *lppt = Head.pt;
  return Head.fNC ? FALSE : TRUE;
}

void DragFinish(HDROP hDrop) {
  if (hDrop) GlobalFree(hDrop);
}

void DragAcceptFiles(HWND hWnd, BOOL fAccept) {
  TWindow* W = Lookup(hWnd);
  if (!W) return;
  InstallFilter();
  if (fAccept)
    W->ExStyle |= WS_EX_ACCEPTFILES;
  else
    W->ExStyle &= ~static_cast<DWORD>(WS_EX_ACCEPTFILES);
  AcceptDropsOn(W, fAccept || Targets().count(hWnd));
}

// ------------------------------------------------------------ OLE

void ReleaseStgMedium(STGMEDIUM* M) {
  if (!M) return;
  if (M->pUnkForRelease)
    M->pUnkForRelease->Release();
  else if (M->tymed == TYMED_HGLOBAL && M->hGlobal)
    GlobalFree(M->hGlobal);
  *M = STGMEDIUM();
}

IDataObject* GtCreateFileDataObject(const std::vector<WideString>& Names) { return new TFileDataObject(Names); }

bool GtFileNamesOfDataObject(IDataObject* Data, std::vector<WideString>& Names) {
  Names.clear();
  if (!Data) return false;
  FORMATETC F;
  F.cfFormat = CF_HDROP;
  STGMEDIUM M;
  if (Data->GetData(&F, &M) != S_OK) return false;
  bool Ok = M.tymed == TYMED_HGLOBAL && NamesOf(M.hGlobal, Names);
  ReleaseStgMedium(&M);
  return Ok;
}

HRESULT RegisterDragDrop(HWND hwnd, IDropTarget* pDropTarget) {
  TWindow* W = Lookup(hwnd);
  if (!W || W->Kind == wkMessage) return DRAGDROP_E_INVALIDHWND;
  if (!pDropTarget) return E_INVALIDARG;
  if (Targets().count(hwnd)) return DRAGDROP_E_ALREADYREGISTERED;
  InstallFilter();
  pDropTarget->AddRef();
  Targets()[hwnd] = pDropTarget;
  AcceptDropsOn(W, true);
  return S_OK;
}

HRESULT RevokeDragDrop(HWND hwnd) {
  auto It = Targets().find(hwnd);
  if (It == Targets().end()) return DRAGDROP_E_NOTREGISTERED;
  IDropTarget* T = It->second;
  Targets().erase(It);
  if (g_In.Window == hwnd) EndIncoming();
  if (TWindow* W = Lookup(hwnd)) AcceptDropsOn(W, (W->ExStyle & WS_EX_ACCEPTFILES) != 0);
  T->Release();
  return S_OK;
}

namespace gtui {
void DropTargetsWindowGone(TWindow* W) {
  if (g_In.Window == W->Handle) EndIncoming();
  auto It = Targets().find(W->Handle);
  if (It == Targets().end()) return;
  IDropTarget* T = It->second;
  Targets().erase(It);
  T->Release();
}
}  // namespace gtui

HRESULT DoDragDrop(IDataObject* pDataObj, IDropSource* pDropSource, DWORD dwOKEffects, DWORD* pdwEffect) {
  if (!pDataObj || !pDropSource || !pdwEffect) return E_INVALIDARG;
  *pdwEffect = DROPEFFECT_NONE;
  InitWindowing();
  InstallFilter();
  if (g_OutData) return E_UNEXPECTED;  // one drag at a time
  std::vector<WideString> Names;
  GtFileNamesOfDataObject(pDataObj, Names);
  auto* Mime = new QMimeData;
  std::string List = GtUriListOfNames(Names);
  Mime->setData(kUriList, QByteArray(List.data(), static_cast<qsizetype>(List.size())));
  // The pointer's widget is the drag's source; the application when there is none.
  QObject* Owner = QApplication::widgetAt(QCursor::pos());
  if (!Owner) Owner = qApp;
  QPointer<QDrag> Drag = new QDrag(Owner);
  Drag->setMimeData(Mime);
  pDataObj->AddRef();
  pDropSource->AddRef();
  g_OutData = pDataObj;
  g_OutMime = Mime;
  TSourceFilter Filter(pDropSource);
  Filter.Buttons = QGuiApplication::mouseButtons();
  Filter.Mods = QGuiApplication::keyboardModifiers();
  QObject::connect(Drag, &QDrag::actionChanged, Drag,
                   [pDropSource](Qt::DropAction A) { pDropSource->GiveFeedback(EffectsOf(A)); });
  // The platform's drag watches the input through its own filter, installed
  // when it starts; the source's filter goes in after it, so it is asked first.
  // The guard drops the call when the drag ends before events run.
  QObject Guard;
  QTimer::singleShot(0, &Guard, [&Filter] { qApp->installEventFilter(&Filter); });
  Qt::DropActions Allowed = ActionsOf(dwOKEffects);
  Qt::DropAction Default = Allowed & Qt::MoveAction ? Qt::MoveAction
                           : Allowed & Qt::CopyAction ? Qt::CopyAction
                                                      : Qt::LinkAction;
  Qt::DropAction Result = Allowed ? Drag->exec(Allowed, Default) : Qt::IgnoreAction;
  qApp->removeEventFilter(&Filter);
  if (Drag) Drag->deleteLater();
  g_OutData = nullptr;
  g_OutMime = nullptr;
  pDataObj->Release();
  pDropSource->Release();
  if (Result == Qt::IgnoreAction) return DRAGDROP_S_CANCEL;
  *pdwEffect = EffectsOf(Result) & dwOKEffects;
  return DRAGDROP_S_DROP;
}

// ------------------------------------------------------------ tests

DWORD GtTestDragFiles(HWND Wnd, TGtDragStage Stage, Integer X, Integer Y, const std::string& UriList,
                      DWORD Effects, DWORD KeyState) {
  TWindow* W = Lookup(Wnd);
  if (!W || !W->Client) return DROPEFFECT_NONE;
  QWidget* Top = W->Client->window();
  QWindow* Win = Top->windowHandle();
  if (!Win) return DROPEFFECT_NONE;
  // One payload per test drag, kept until the next one starts.
  static QMimeData* Mime = nullptr;
  if (Stage == gdsEnter || !Mime) {
    delete Mime;
    Mime = new QMimeData;
    Mime->setData(kUriList, QByteArray(UriList.data(), static_cast<qsizetype>(UriList.size())));
  }
  QPoint Local = W->Client->mapTo(Top, QPoint(X, Y));
  Qt::MouseButtons B;
  if (KeyState & MK_LBUTTON) B |= Qt::LeftButton;
  if (KeyState & MK_RBUTTON) B |= Qt::RightButton;
  Qt::KeyboardModifiers M;
  if (KeyState & MK_SHIFT) M |= Qt::ShiftModifier;
  if (KeyState & MK_CONTROL) M |= Qt::ControlModifier;
  Qt::DropActions A = ActionsOf(Effects);
  DWORD Answer = DROPEFFECT_NONE;
  switch (Stage) {
    case gdsEnter: {
      QDragEnterEvent E(Local, A, Mime, B, M);
      QCoreApplication::sendEvent(Win, &E);
      if (E.isAccepted()) Answer = EffectsOf(E.dropAction());
      break;
    }
    case gdsMove: {
      QDragMoveEvent E(Local, A, Mime, B, M);
      QCoreApplication::sendEvent(Win, &E);
      if (E.isAccepted()) Answer = EffectsOf(E.dropAction());
      break;
    }
    case gdsLeave: {
      QDragLeaveEvent E;
      QCoreApplication::sendEvent(Win, &E);
      break;
    }
    case gdsDrop: {
      QDropEvent E(Local, A, Mime, B, M);
      QCoreApplication::sendEvent(Win, &E);
      if (E.isAccepted()) Answer = EffectsOf(E.dropAction());
      break;
    }
  }
  return Answer;
}
