// The clipboard over the platform's clipboard, with formats as MIME types.
#include "platform/ui/clipbrd.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/base/strutils.h"
#include "platform/ui/dragdrop.h"
#include "platform/ui/private/window.h"

namespace {

struct TRegistry {
  std::mutex Lock;
  std::map<WideString, UINT> ByName;  // upper-cased name
  std::map<UINT, WideString> Names;
  UINT Next = 0xC000;
};
TRegistry& Registry() {
  static TRegistry* R = new TRegistry;
  return *R;
}

struct TState {
  bool IsOpen = false;
  HWND OpenBy = nullptr;
  HWND Owner = nullptr;
  bool Changing = false;  // emptied in this session: the pending formats replace the clipboard
  std::vector<std::pair<UINT, std::vector<uint8_t>>> Pending;
  std::vector<HGLOBAL> Owned;         // blocks given by SetClipboardData
  std::map<UINT, HGLOBAL> Handed;     // blocks handed out by GetClipboardData
  bool Watching = false;
};
TState& State() {
  static TState* S = new TState;
  return *S;
}

void FreeHanded() {
  for (auto& H : State().Handed) GlobalFree(H.second);
  State().Handed.clear();
}

void FreeOwned() {
  for (HGLOBAL H : State().Owned) GlobalFree(H);
  State().Owned.clear();
}

QClipboard* Board() {
  gtui::InitWindowing();
  TState& S = State();
  if (!S.Watching) {
    S.Watching = true;
    // Blocks handed out describe the old contents; they stay valid until the contents change.
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, QGuiApplication::clipboard(),
                     [] { FreeHanded(); });
  }
  return QGuiApplication::clipboard();
}

bool IsText(UINT F) { return F == CF_TEXT || F == CF_OEMTEXT || F == CF_UNICODETEXT; }

// File lists travel as text/uri-list; whether they were cut or copied, as
// the two desktops' markers: the file managers' list with "cut" or "copy"
// in front, and a "1" for cut files.
const QString kUriList = QStringLiteral("text/uri-list");
const QString kCopiedFiles = QStringLiteral("x-special/gnome-copied-files");
const QString kCutSelection = QStringLiteral("application/x-kde-cutselection");
UINT DropEffectFormat() { return RegisterClipboardFormat(CFSTR_PREFERREDDROPEFFECT); }
bool IsFileListMime(const QString& Mime) { return Mime == kUriList || Mime == kCopiedFiles || Mime == kCutSelection; }

std::vector<uint8_t> DwordBytes(DWORD V) {
  return {static_cast<uint8_t>(V), static_cast<uint8_t>(V >> 8), static_cast<uint8_t>(V >> 16),
          static_cast<uint8_t>(V >> 24)};
}

// The file list of the platform clipboard as a dropped-files block.
bool ReadFileList(const QMimeData* M, std::vector<uint8_t>& Out) {
  std::string List;
  if (M->hasFormat(kCopiedFiles)) {
    List = M->data(kCopiedFiles).toStdString();
    size_t Eol = List.find('\n');
    List = Eol == std::string::npos ? std::string() : List.substr(Eol + 1);
  } else if (M->hasFormat(kUriList)) {
    List = M->data(kUriList).toStdString();
  } else {
    return false;
  }
  std::vector<WideString> Names = GtNamesOfUriList(List);
  HDROP H = GtCreateDropFiles(Names);
  if (!H) return false;
  auto* P = static_cast<const uint8_t*>(GlobalLock(H));
  Out.assign(P, P + GlobalSize(H));
  GlobalUnlock(H);
  GlobalFree(H);
  return true;
}

// DROPEFFECT_MOVE for cut files, DROPEFFECT_COPY for copied ones.
bool ReadCutMarker(const QMimeData* M, std::vector<uint8_t>& Out) {
  if (M->hasFormat(kCopiedFiles)) {
    QByteArray D = M->data(kCopiedFiles);
    Out = DwordBytes(D.startsWith("cut") ? DROPEFFECT_MOVE : DROPEFFECT_COPY);
    return true;
  }
  if (M->hasFormat(kCutSelection)) {
    Out = DwordBytes(M->data(kCutSelection).startsWith('1') ? DROPEFFECT_MOVE : DROPEFFECT_COPY);
    return true;
  }
  return false;
}

void PublishFileList(QMimeData* M, const std::vector<uint8_t>& Block, const std::vector<uint8_t>* Effect) {
  std::vector<WideString> Names;
  if (!GtReadDropFiles(Block.data(), Block.size(), Names)) return;
  std::string List = GtUriListOfNames(Names);
  M->setData(kUriList, QByteArray(List.data(), static_cast<qsizetype>(List.size())));
  bool Cut = false;
  if (Effect && Effect->size() >= 4) {
    DWORD V = static_cast<DWORD>((*Effect)[0]) | static_cast<DWORD>((*Effect)[1]) << 8 |
              static_cast<DWORD>((*Effect)[2]) << 16 | static_cast<DWORD>((*Effect)[3]) << 24;
    Cut = (V & DROPEFFECT_MOVE) != 0;
  }
  // The file managers' list: one URL a line, no line end after the last.
  std::string Copied = Cut ? "cut" : "copy";
  size_t At = 0;
  while (At < List.size()) {
    size_t End = List.find("\r\n", At);
    Copied += "\n" + List.substr(At, End - At);
    At = End + 2;
  }
  M->setData(kCopiedFiles, QByteArray(Copied.data(), static_cast<qsizetype>(Copied.size())));
  if (Cut) M->setData(kCutSelection, QByteArray("1"));
}

std::vector<uint8_t> BlockBytes(HGLOBAL Mem) {
  std::vector<uint8_t> Out;
  size_t N = GlobalSize(Mem);
  void* P = GlobalLock(Mem);
  if (P && N) Out.assign(static_cast<uint8_t*>(P), static_cast<uint8_t*>(P) + N);
  if (P) GlobalUnlock(Mem);
  return Out;
}

HGLOBAL NewBlock(const std::vector<uint8_t>& Bytes) {
  HGLOBAL H = GlobalAlloc(GMEM_MOVEABLE, Bytes.size());
  if (!H) return nullptr;
  if (!Bytes.empty()) {
    void* P = GlobalLock(H);
    std::memcpy(P, Bytes.data(), Bytes.size());
    GlobalUnlock(H);
  }
  return H;
}

// Text of a text format's payload (up to its terminating zero).
QString TextOf(UINT F, const std::vector<uint8_t>& B) {
  if (F == CF_UNICODETEXT) {
    WideString W;
    for (size_t i = 0; i + 1 < B.size(); i += 2) {
      char16_t C = static_cast<char16_t>(B[i] | (B[i + 1] << 8));
      if (!C) break;
      W += C;
    }
    return QString::fromStdU16String(W);
  }
  AnsiString A;
  for (uint8_t C : B) {
    if (!C) break;
    A += static_cast<char>(C);
  }
  return QString::fromStdU16String(AnsiToWide(A));
}

std::vector<uint8_t> PayloadOfText(UINT F, const QString& Text) {
  std::vector<uint8_t> Out;
  if (F == CF_UNICODETEXT) {
    WideString W = Text.toStdU16String();
    for (char16_t C : W) {
      Out.push_back(static_cast<uint8_t>(C & 0xFF));
      Out.push_back(static_cast<uint8_t>(C >> 8));
    }
    Out.push_back(0);
    Out.push_back(0);
  } else {
    AnsiString A = WideToAnsi(Text.toStdU16String());
    Out.assign(A.begin(), A.end());
    Out.push_back(0);
  }
  return Out;
}

// A 24-bit bottom-up packed DIB of an image.
std::vector<uint8_t> DibOfImage(const QImage& Source) {
  std::vector<uint8_t> Out;
  if (Source.isNull() || Source.width() > 65535 || Source.height() > 65535) return Out;
  QImage Img = Source.convertToFormat(QImage::Format_RGB888);
  BITMAPINFOHEADER H;
  H.biWidth = Img.width();
  H.biHeight = Img.height();
  H.biBitCount = 24;
  size_t Row = DIBRowBytes(Img.width(), 24);
  H.biSizeImage = static_cast<DWORD>(Row * static_cast<size_t>(Img.height()));
  Out.resize(sizeof(H) + H.biSizeImage);
  std::memcpy(Out.data(), &H, sizeof(H));
  for (int y = 0; y < Img.height(); ++y) {
    const uchar* Src = Img.constScanLine(Img.height() - 1 - y);
    uint8_t* Dst = Out.data() + sizeof(H) + Row * static_cast<size_t>(y);
    for (int x = 0; x < Img.width(); ++x) {
      Dst[3 * x] = Src[3 * x + 2];
      Dst[3 * x + 1] = Src[3 * x + 1];
      Dst[3 * x + 2] = Src[3 * x];
    }
  }
  return Out;
}

const QMimeData* Current() { return Board()->mimeData(); }

// The formats the clipboard (or the pending contents) offers, in a stable order.
std::vector<UINT> OfferedFormats() {
  std::vector<UINT> Out;
  TState& S = State();
  if (S.IsOpen && S.Changing) {
    bool Text = false;
    for (auto& P : S.Pending) {
      if (IsText(P.first)) {
        Text = true;
        continue;
      }
      Out.push_back(P.first);
    }
    if (Text) Out.insert(Out.begin(), {CF_UNICODETEXT, CF_TEXT, CF_OEMTEXT});
    return Out;
  }
  const QMimeData* M = Current();
  if (!M) return Out;
  if (M->hasText()) Out.insert(Out.end(), {CF_UNICODETEXT, CF_TEXT, CF_OEMTEXT});
  if (M->hasFormat(QStringLiteral("image/bmp")) || M->hasImage()) Out.push_back(CF_DIB);
  if (M->hasFormat(kUriList) || M->hasFormat(kCopiedFiles)) Out.push_back(CF_HDROP);
  if (M->hasFormat(kCopiedFiles) || M->hasFormat(kCutSelection)) Out.push_back(DropEffectFormat());
  for (const QString& Mime : M->formats()) {
    if (Mime == QLatin1String("text/plain") || Mime.startsWith(QLatin1String("text/plain;")) ||
        Mime == QLatin1String("image/bmp") || IsFileListMime(Mime))
      continue;
    UINT F = 0;
    std::vector<UINT> Known;
    {
      TRegistry& R = Registry();
      std::lock_guard<std::mutex> L(R.Lock);
      for (auto& N : R.Names) Known.push_back(N.first);
    }
    for (UINT K : Known)
      if (!F && QString::fromStdString(GtClipboardMimeType(K)) == Mime) F = K;
    if (!F) F = RegisterClipboardFormat(Mime.toStdU16String());
    if (F && std::find(Out.begin(), Out.end(), F) == Out.end()) Out.push_back(F);
  }
  return Out;
}

bool ReadFormat(UINT F, std::vector<uint8_t>& Out) {
  TState& S = State();
  if (S.IsOpen && S.Changing) {
    for (auto& P : S.Pending)
      if (P.first == F) {
        Out = P.second;
        return true;
      }
    if (IsText(F))
      for (auto& P : S.Pending)
        if (IsText(P.first)) {
          Out = PayloadOfText(F, TextOf(P.first, P.second));
          return true;
        }
    return false;
  }
  const QMimeData* M = Current();
  if (!M) return false;
  if (IsText(F)) {
    if (!M->hasText()) return false;
    Out = PayloadOfText(F, M->text());
    return true;
  }
  if (F == CF_DIB) {
    QByteArray Bmp = M->data(QStringLiteral("image/bmp"));
    if (!Bmp.isEmpty() &&
        GtBmpFileToPackedDIB(reinterpret_cast<const uint8_t*>(Bmp.constData()), static_cast<size_t>(Bmp.size()), Out))
      return true;
    if (!M->hasImage()) return false;
    Out = DibOfImage(qvariant_cast<QImage>(M->imageData()));
    return !Out.empty();
  }
  if (F == CF_HDROP) return ReadFileList(M, Out);
  if (F == DropEffectFormat()) return ReadCutMarker(M, Out);
  AnsiString Mime = GtClipboardMimeType(F);
  if (Mime.empty()) return false;
  QString Q = QString::fromStdString(Mime);
  if (!M->hasFormat(Q)) return false;
  QByteArray D = M->data(Q);
  Out.assign(D.constData(), D.constData() + D.size());
  return true;
}

void Publish() {
  TState& S = State();
  if (S.Pending.empty()) {
    Board()->clear();
    return;
  }
  auto* M = new QMimeData();
  bool HaveText = false;
  // The wide text wins over the 8-bit forms when both were set.
  for (UINT Pref : {CF_UNICODETEXT, CF_TEXT, CF_OEMTEXT}) {
    if (HaveText) break;
    for (auto& P : S.Pending)
      if (P.first == Pref) {
        M->setText(TextOf(P.first, P.second));
        HaveText = true;
        break;
      }
  }
  const UINT Effect = DropEffectFormat();
  const std::vector<uint8_t>* EffectBytes = nullptr;
  for (auto& P : S.Pending)
    if (P.first == Effect) EffectBytes = &P.second;
  for (auto& P : S.Pending) {
    if (IsText(P.first) || P.first == Effect) continue;
    if (P.first == CF_HDROP) {
      PublishFileList(M, P.second, EffectBytes);
      continue;
    }
    if (P.first == CF_DIB) {
      std::vector<uint8_t> Bmp;
      if (!GtPackedDIBToBmpFile(P.second.data(), P.second.size(), Bmp)) continue;
      QByteArray B(reinterpret_cast<const char*>(Bmp.data()), static_cast<qsizetype>(Bmp.size()));
      M->setData(QStringLiteral("image/bmp"), B);
      QImage Img;
      // Other programs mostly read images as PNG: the platform converts from the image.
      if (Img.loadFromData(B, "BMP")) M->setImageData(Img);
      continue;
    }
    AnsiString Mime = GtClipboardMimeType(P.first);
    if (Mime.empty()) continue;
    M->setData(QString::fromStdString(Mime),
               QByteArray(reinterpret_cast<const char*>(P.second.data()), static_cast<qsizetype>(P.second.size())));
  }
  Board()->setMimeData(M);
}

}  // namespace

UINT RegisterClipboardFormat(const WideString& Name) {
  if (Name.empty()) return 0;
  TRegistry& R = Registry();
  WideString Key = WideUpperCase(Name);
  std::lock_guard<std::mutex> L(R.Lock);
  auto It = R.ByName.find(Key);
  if (It != R.ByName.end()) return It->second;
  if (R.Next > 0xFFFF) return 0;
  UINT Id = R.Next++;
  R.ByName[Key] = Id;
  R.Names[Id] = Name;
  return Id;
}

WideString GtClipboardFormatName(UINT Format) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> L(R.Lock);
  auto It = R.Names.find(Format);
  return It == R.Names.end() ? WideString() : It->second;
}

Integer GetClipboardFormatName(UINT Format, WCHAR* Buffer, Integer MaxCount) {
  if (!Buffer || MaxCount <= 0) return 0;
  WideString N = GtClipboardFormatName(Format);
  Integer Count = std::min<Integer>(static_cast<Integer>(N.size()), MaxCount - 1);
  std::copy(N.begin(), N.begin() + Count, Buffer);
  Buffer[Count] = 0;
  return Count;
}

AnsiString GtClipboardMimeType(UINT Format) {
  if (IsText(Format)) return "text/plain";
  if (Format == CF_DIB) return "image/bmp";
  if (Format == CF_HDROP) return "text/uri-list";
  WideString N = GtClipboardFormatName(Format);
  if (N.empty()) return AnsiString();
  AnsiString Lower = WideToUtf8(WideLowerCase(N));
  if (Lower == "png") return "image/png";
  if (Lower.find('/') != AnsiString::npos) return Lower;
  AnsiString Out = "application/x-";
  for (char C : Lower) {
    bool Ok = (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '.' || C == '+' || C == '-' || C == '_';
    Out += Ok ? C : '-';
  }
  return Out;
}

BOOL OpenClipboard(HWND NewOwner) {
  TState& S = State();
  if (S.IsOpen && S.OpenBy != NewOwner) return FALSE;
  Board();
  S.IsOpen = true;
  S.OpenBy = NewOwner;
  S.Changing = false;
  return TRUE;
}

BOOL CloseClipboard() {
  TState& S = State();
  if (!S.IsOpen) return FALSE;
  if (S.Changing) Publish();
  S.IsOpen = false;
  S.Changing = false;
  S.OpenBy = nullptr;
  return TRUE;
}

BOOL EmptyClipboard() {
  TState& S = State();
  if (!S.IsOpen) return FALSE;
  S.Pending.clear();
  FreeOwned();
  FreeHanded();
  S.Changing = true;
  S.Owner = S.OpenBy;
  return TRUE;
}

HGLOBAL SetClipboardData(UINT Format, HGLOBAL Mem) {
  TState& S = State();
  if (!S.IsOpen || !Mem || !S.Changing) return nullptr;
  std::vector<uint8_t> Bytes = BlockBytes(Mem);
  auto It = std::find_if(S.Pending.begin(), S.Pending.end(), [Format](auto& P) { return P.first == Format; });
  if (It != S.Pending.end())
    It->second = std::move(Bytes);
  else
    S.Pending.emplace_back(Format, std::move(Bytes));
  S.Owned.push_back(Mem);
  return Mem;
}

HGLOBAL GetClipboardData(UINT Format) {
  TState& S = State();
  if (!S.IsOpen) return nullptr;
  auto It = S.Handed.find(Format);
  if (It != S.Handed.end() && !S.Changing) return It->second;
  std::vector<uint8_t> Bytes;
  if (!ReadFormat(Format, Bytes)) return nullptr;
  HGLOBAL H = NewBlock(Bytes);
  if (!H) return nullptr;
  if (It != S.Handed.end()) GlobalFree(It->second);
  S.Handed[Format] = H;
  return H;
}

BOOL IsClipboardFormatAvailable(UINT Format) {
  std::vector<UINT> F = OfferedFormats();
  return std::find(F.begin(), F.end(), Format) != F.end() ? TRUE : FALSE;
}

UINT EnumClipboardFormats(UINT Format) {
  if (!State().IsOpen) return 0;
  std::vector<UINT> F = OfferedFormats();
  if (Format == 0) return F.empty() ? 0 : F[0];
  auto It = std::find(F.begin(), F.end(), Format);
  if (It == F.end() || ++It == F.end()) return 0;
  return *It;
}

Integer CountClipboardFormats() { return static_cast<Integer>(OfferedFormats().size()); }

HWND GetClipboardOwner() {
  HWND H = State().Owner;
  return IsWindow(H) ? H : nullptr;
}

HWND GetOpenClipboardWindow() { return State().IsOpen ? State().OpenBy : nullptr; }

bool GtBmpFileToPackedDIB(const uint8_t* Data, size_t Size, std::vector<uint8_t>& Dib) {
  constexpr size_t FileHeader = 14;
  if (!Data || Size < FileHeader + sizeof(BITMAPCOREHEADER) || Data[0] != 'B' || Data[1] != 'M') return false;
  DWORD HeaderSize;
  std::memcpy(&HeaderSize, Data + FileHeader, sizeof(HeaderSize));
  if (HeaderSize < sizeof(BITMAPCOREHEADER) || HeaderSize > Size - FileHeader) return false;
  Dib.assign(Data + FileHeader, Data + Size);
  return true;
}

bool GtPackedDIBToBmpFile(const uint8_t* Dib, size_t Size, std::vector<uint8_t>& Bmp) {
  if (!Dib || Size < sizeof(BITMAPCOREHEADER)) return false;
  DWORD HeaderSize;
  std::memcpy(&HeaderSize, Dib, sizeof(HeaderSize));
  if (HeaderSize != sizeof(BITMAPCOREHEADER) && (HeaderSize < sizeof(BITMAPINFOHEADER) || HeaderSize > 124))
    return false;
  if (HeaderSize > Size || Size > 0xFFFFFFFFu - 14) return false;
  // An aligned copy of the header; the layout helpers read it as a whole record.
  alignas(BITMAPINFOHEADER) uint8_t Header[124] = {};
  std::memcpy(Header, Dib, HeaderSize);
  size_t Offset = DIBPixelOffset(reinterpret_cast<const BITMAPINFOHEADER*>(Header));
  if (Offset > Size) return false;
  BITMAPFILEHEADER F;
  F.bfType = 0x4D42;
  F.bfSize = static_cast<DWORD>(14 + Size);
  F.bfOffBits = static_cast<DWORD>(14 + Offset);
  Bmp.resize(14 + Size);
  std::memcpy(Bmp.data(), &F, 14);
  std::memcpy(Bmp.data() + 14, Dib, Size);
  return true;
}

// ---------------------------------------------------------------- TClipboard

TClipboard::~TClipboard() {
  if (FOpenRefCount > 0) CloseClipboard();
}

void TClipboard::Open() {
  if (FOpenRefCount == 0) {
    if (!OpenClipboard(FWindow)) throw Exception("Cannot open clipboard");
    FEmptied = false;
  }
  ++FOpenRefCount;
}

void TClipboard::Close() {
  if (FOpenRefCount == 0) return;
  if (--FOpenRefCount == 0) CloseClipboard();
}

void TClipboard::Clear() {
  Open();
  EmptyClipboard();
  Close();
}

void TClipboard::Adding() {
  if (FOpenRefCount != 0 && !FEmptied) {
    Clear();
    FEmptied = true;
  }
}

bool TClipboard::HasFormat(Word Format) { return IsClipboardFormatAvailable(Format) != FALSE; }

HGLOBAL TClipboard::GetAsHandle(Word Format) {
  Open();
  HGLOBAL H = GetClipboardData(Format);
  Close();
  return H;
}

void TClipboard::SetAsHandle(Word Format, HGLOBAL Value) {
  Open();
  try {
    Adding();
    SetClipboardData(Format, Value);
  } catch (...) {
    Close();
    throw;
  }
  Close();
}

bool TClipboard::GetAsBytes(Word Format, std::vector<uint8_t>& Data) {
  Open();
  HGLOBAL H = GetClipboardData(Format);
  if (H) Data = BlockBytes(H);
  Close();
  return H != nullptr;
}

void TClipboard::SetAsBytes(Word Format, const uint8_t* Data, size_t Size) {
  SetAsHandle(Format, NewBlock(std::vector<uint8_t>(Data, Data + Size)));
}

WideString TClipboard::AsText() {
  std::vector<uint8_t> B;
  if (!GetAsBytes(CF_UNICODETEXT, B)) return WideString();
  return TextOf(CF_UNICODETEXT, B).toStdU16String();
}

void TClipboard::SetAsText(const WideString& Value) {
  std::vector<uint8_t> B = PayloadOfText(CF_UNICODETEXT, QString::fromStdU16String(Value));
  SetAsBytes(CF_UNICODETEXT, B.data(), B.size());
}

Integer TClipboard::FormatCount() { return CountClipboardFormats(); }

Word TClipboard::Formats(Integer Index) {
  std::vector<UINT> F = OfferedFormats();
  if (Index < 0 || Index >= static_cast<Integer>(F.size()))
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return static_cast<Word>(F[static_cast<size_t>(Index)]);
}

TClipboard* Clipboard() {
  static TClipboard* C = new TClipboard;
  return C;
}
