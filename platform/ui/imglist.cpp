// Image lists: the pixels of each image (0x00RRGGBB) and its transparency,
// drawn through the GDI stand-in with the classic AND-then-OR mask blits.
#include "platform/ui/imglist.h"

#include <algorithm>
#include <memory>
#include <set>

#include "platform/base/sysutils.h"
#include "platform/graphics/bitmap.h"

struct _IMAGELIST {
  Integer Width = 0, Height = 0;
  UINT Flags = 0;
  COLORREF Bk = CLR_NONE;
  std::vector<std::vector<uint32_t>> Pixels;
  std::vector<std::vector<uint8_t>> Clear;  // 1 where the image is transparent
};

namespace {

// Lists live until ImageList_Destroy; the set itself for the whole run.
auto& g_Lists = *new std::set<HIMAGELIST>;

bool Valid(HIMAGELIST L) { return L && g_Lists.count(L) != 0; }
bool IsMasked(HIMAGELIST L) { return (L->Flags & ILC_MASK) != 0; }

uint32_t FromColorRef(COLORREF C) { return (uint32_t{GetRValue(C)} << 16) | (uint32_t{GetGValue(C)} << 8) | GetBValue(C); }

// The pixels of a bitmap, top row first; false for a handle that is not one.
bool ReadBitmap(HBITMAP B, Integer& Width, Integer& Height, std::vector<uint32_t>& Out) {
  BITMAP Info;
  if (!B || GetObjectW(B, sizeof(Info), &Info) == 0 || Info.bmWidth <= 0 || Info.bmHeight == 0) return false;
  Width = Info.bmWidth;
  Height = std::abs(Info.bmHeight);
  BITMAPINFO BI;
  BI.bmiHeader.biWidth = Width;
  BI.bmiHeader.biHeight = Height;  // bottom-up
  BI.bmiHeader.biBitCount = 32;
  std::vector<uint32_t> Rows(static_cast<size_t>(Width) * static_cast<size_t>(Height));
  HDC DC = CreateCompatibleDC(nullptr);
  const Integer Got = GetDIBits(DC, B, 0, static_cast<UINT>(Height), Rows.data(), &BI, DIB_RGB_COLORS);
  DeleteDC(DC);
  if (Got != Height) return false;
  Out.resize(Rows.size());
  for (Integer y = 0; y < Height; ++y)
    for (Integer x = 0; x < Width; ++x)
      Out[static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)] =
          Rows[static_cast<size_t>(Height - 1 - y) * static_cast<size_t>(Width) + static_cast<size_t>(x)] & 0xFFFFFF;
  return true;
}

// Splits a strip into whole images of the list's size. Clear answers
// whether a pixel (of the strip, or of the mask strip) is transparent.
template <class TClearFn>
Integer AddStrip(HIMAGELIST L, const std::vector<uint32_t>& Strip, Integer SW, Integer SH, TClearFn ClearAt,
                 Integer MaxImages = -1) {
  // Another height, or not even one whole image, is refused rather than
  // leaving images made of what lies beyond the strip.
  if (SH != L->Height || SW < L->Width || L->Width <= 0) return -1;
  Integer N = SW / L->Width;
  if (MaxImages >= 0) N = std::min(N, MaxImages);
  const Integer First = static_cast<Integer>(L->Pixels.size());
  const size_t Size = static_cast<size_t>(L->Width) * static_cast<size_t>(L->Height);
  for (Integer i = 0; i < N; ++i) {
    std::vector<uint32_t> P(Size);
    std::vector<uint8_t> C(Size, 0);
    for (Integer y = 0; y < L->Height; ++y)
      for (Integer x = 0; x < L->Width; ++x) {
        const size_t From = static_cast<size_t>(y) * static_cast<size_t>(SW) + static_cast<size_t>(i * L->Width + x);
        const size_t To = static_cast<size_t>(y) * static_cast<size_t>(L->Width) + static_cast<size_t>(x);
        const bool Clear = IsMasked(L) && ClearAt(From);
        C[To] = Clear ? 1 : 0;
        P[To] = Clear ? 0 : Strip[From];  // transparent pixels are kept black, as the mask blits need
      }
    L->Pixels.push_back(std::move(P));
    L->Clear.push_back(std::move(C));
  }
  return First;
}

// Reads a mask strip of the same size: light pixels are transparent.
bool ReadMask(HBITMAP Mask, Integer SW, Integer SH, std::vector<uint8_t>& Out) {
  std::vector<uint32_t> M;
  Integer MW = 0, MH = 0;
  if (!ReadBitmap(Mask, MW, MH, M) || MW < SW || MH != SH) return false;
  Out.assign(static_cast<size_t>(SW) * static_cast<size_t>(SH), 0);
  for (Integer y = 0; y < SH; ++y)
    for (Integer x = 0; x < SW; ++x) {
      const uint32_t P = M[static_cast<size_t>(y) * static_cast<size_t>(MW) + static_cast<size_t>(x)];
      const Integer Sum = static_cast<Integer>((P >> 16) & 0xFF) + static_cast<Integer>((P >> 8) & 0xFF) +
                          static_cast<Integer>(P & 0xFF);
      Out[static_cast<size_t>(y) * static_cast<size_t>(SW) + static_cast<size_t>(x)] = Sum >= 3 * 128 ? 1 : 0;
    }
  return true;
}

// A 32-bit bitmap of W x H pixels (top row first) selected into a memory DC.
struct TMemPixels {
  HDC DC = nullptr;
  HBITMAP Bitmap = nullptr;
  HGDIOBJ Old = nullptr;
  TMemPixels(Integer W, Integer H, const std::vector<uint32_t>& Pixels) {
    BITMAPINFO BI;
    BI.bmiHeader.biWidth = W;
    BI.bmiHeader.biHeight = H;
    BI.bmiHeader.biBitCount = 32;
    void* Bits = nullptr;
    DC = CreateCompatibleDC(nullptr);
    Bitmap = CreateDIBSection(DC, &BI, DIB_RGB_COLORS, &Bits, nullptr, 0);
    if (Bitmap && Bits) {
      auto* Out = static_cast<uint32_t*>(Bits);
      for (Integer y = 0; y < H; ++y)
        std::copy_n(Pixels.begin() + static_cast<std::ptrdiff_t>(y) * W, W,
                    Out + static_cast<std::ptrdiff_t>(H - 1 - y) * W);
    }
    if (Bitmap) Old = SelectObject(DC, Bitmap);
  }
  ~TMemPixels() {
    if (Old) SelectObject(DC, Old);
    if (Bitmap) DeleteObject(Bitmap);
    DeleteDC(DC);
  }
};

// Draws the pixels whose Clear is 0 and leaves the others alone.
void DrawMasked(HDC DC, Integer X, Integer Y, Integer W, Integer H, Integer Stride, const uint32_t* Pixels,
                const uint8_t* Clear) {
  std::vector<uint32_t> And(static_cast<size_t>(W) * static_cast<size_t>(H)), Or(And.size());
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) {
      const size_t From = static_cast<size_t>(y) * static_cast<size_t>(Stride) + static_cast<size_t>(x);
      const size_t To = static_cast<size_t>(y) * static_cast<size_t>(W) + static_cast<size_t>(x);
      And[To] = Clear[From] ? 0xFFFFFF : 0;
      Or[To] = Clear[From] ? 0 : Pixels[From];
    }
  TMemPixels A(W, H, And), O(W, H, Or);
  BitBlt(DC, X, Y, W, H, A.DC, 0, 0, SRCAND);
  BitBlt(DC, X, Y, W, H, O.DC, 0, 0, SRCPAINT);
}

}  // namespace

HIMAGELIST ImageList_Create(Integer Width, Integer Height, UINT Flags, Integer, Integer) {
  if (Width <= 0 || Height <= 0) return nullptr;
  auto* L = new _IMAGELIST;
  L->Width = Width;
  L->Height = Height;
  L->Flags = Flags;
  g_Lists.insert(L);
  return L;
}

BOOL ImageList_Destroy(HIMAGELIST List) {
  if (!Valid(List)) return FALSE;
  g_Lists.erase(List);
  delete List;
  return TRUE;
}

Integer ImageList_GetImageCount(HIMAGELIST List) {
  return Valid(List) ? static_cast<Integer>(List->Pixels.size()) : -1;
}

BOOL ImageList_GetIconSize(HIMAGELIST List, Integer* Width, Integer* Height) {
  if (!Valid(List) || !Width || !Height) return FALSE;
  *Width = List->Width;
  *Height = List->Height;
  return TRUE;
}

BOOL ImageList_SetIconSize(HIMAGELIST List, Integer Width, Integer Height) {
  if (!Valid(List) || Width <= 0 || Height <= 0) return FALSE;
  List->Width = Width;
  List->Height = Height;
  List->Pixels.clear();
  List->Clear.clear();
  return TRUE;
}

Integer ImageList_Add(HIMAGELIST List, HBITMAP Image, HBITMAP Mask) {
  std::vector<uint32_t> Strip;
  Integer W = 0, H = 0;
  if (!Valid(List) || !ReadBitmap(Image, W, H, Strip)) return -1;
  std::vector<uint8_t> Clear;
  if (Mask && IsMasked(List) && !ReadMask(Mask, W, H, Clear)) return -1;
  return AddStrip(List, Strip, W, H, [&](size_t At) { return !Clear.empty() && Clear[At] != 0; });
}

Integer ImageList_AddMasked(HIMAGELIST List, HBITMAP Image, COLORREF MaskColor) {
  std::vector<uint32_t> Strip;
  Integer W = 0, H = 0;
  if (!Valid(List) || !ReadBitmap(Image, W, H, Strip)) return -1;
  // CLR_NONE: no colour is transparent.
  const uint32_t Key = FromColorRef(MaskColor);
  return AddStrip(List, Strip, W, H, [&](size_t At) { return MaskColor != CLR_NONE && Strip[At] == Key; });
}

BOOL ImageList_Replace(HIMAGELIST List, Integer Index, HBITMAP Image, HBITMAP Mask) {
  if (!Valid(List) || Index < 0 || Index >= static_cast<Integer>(List->Pixels.size())) return FALSE;
  std::vector<uint32_t> Strip;
  Integer W = 0, H = 0;
  if (!ReadBitmap(Image, W, H, Strip)) return FALSE;
  std::vector<uint8_t> Clear;
  if (Mask && IsMasked(List) && !ReadMask(Mask, W, H, Clear)) return FALSE;
  // Made at the end, then moved into place.
  if (AddStrip(List, Strip, W, H, [&](size_t At) { return !Clear.empty() && Clear[At] != 0; }, 1) < 0) return FALSE;
  List->Pixels[static_cast<size_t>(Index)] = std::move(List->Pixels.back());
  List->Clear[static_cast<size_t>(Index)] = std::move(List->Clear.back());
  List->Pixels.pop_back();
  List->Clear.pop_back();
  return TRUE;
}

BOOL ImageList_Remove(HIMAGELIST List, Integer Index) {
  if (!Valid(List)) return FALSE;
  if (Index == -1) {
    List->Pixels.clear();
    List->Clear.clear();
    return TRUE;
  }
  if (Index < 0 || Index >= static_cast<Integer>(List->Pixels.size())) return FALSE;
  List->Pixels.erase(List->Pixels.begin() + Index);
  List->Clear.erase(List->Clear.begin() + Index);
  return TRUE;
}

COLORREF ImageList_SetBkColor(HIMAGELIST List, COLORREF Color) {
  if (!Valid(List)) return CLR_NONE;
  COLORREF Old = List->Bk;
  List->Bk = Color;
  return Old;
}

COLORREF ImageList_GetBkColor(HIMAGELIST List) { return Valid(List) ? List->Bk : CLR_NONE; }

BOOL ImageList_DrawEx(HIMAGELIST List, Integer Index, HDC DC, Integer X, Integer Y, Integer Width, Integer Height,
                      COLORREF Bk, COLORREF, UINT Style) {
  if (!Valid(List) || !DC || Index < 0 || Index >= static_cast<Integer>(List->Pixels.size())) return FALSE;
  const Integer W = Width > 0 ? std::min(Width, List->Width) : List->Width;
  const Integer H = Height > 0 ? std::min(Height, List->Height) : List->Height;
  const std::vector<uint32_t>& P = List->Pixels[static_cast<size_t>(Index)];
  const std::vector<uint8_t>& C = List->Clear[static_cast<size_t>(Index)];
  std::vector<uint32_t> Out(static_cast<size_t>(W) * static_cast<size_t>(H));
  auto At = [&](Integer x, Integer y) { return static_cast<size_t>(y) * static_cast<size_t>(List->Width) + static_cast<size_t>(x); };
  if (Style & ILD_MASK) {
    for (Integer y = 0; y < H; ++y)
      for (Integer x = 0; x < W; ++x) Out[static_cast<size_t>(y * W + x)] = C[At(x, y)] ? 0xFFFFFF : 0;
  } else {
    if (Bk == CLR_DEFAULT) Bk = List->Bk;
    if (IsMasked(List) && (Bk == CLR_NONE || (Style & ILD_TRANSPARENT))) {
      DrawMasked(DC, X, Y, W, H, List->Width, P.data(), C.data());
      return TRUE;
    }
    const uint32_t Fill = Bk == CLR_NONE ? 0 : FromColorRef(Bk);
    for (Integer y = 0; y < H; ++y)
      for (Integer x = 0; x < W; ++x) Out[static_cast<size_t>(y * W + x)] = C[At(x, y)] ? Fill : P[At(x, y)];
  }
  TMemPixels M(W, H, Out);
  BitBlt(DC, X, Y, W, H, M.DC, 0, 0, SRCCOPY);
  return TRUE;
}

BOOL ImageList_Draw(HIMAGELIST List, Integer Index, HDC DC, Integer X, Integer Y, UINT Style) {
  return ImageList_DrawEx(List, Index, DC, X, Y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, Style);
}

// ---------------------------------------------------------------- class library

TChangeLink::~TChangeLink() {
  if (FSender) FSender->UnRegisterChanges(this);
}

void TChangeLink::Change() {
  if (OnChange) OnChange(FSender);
}

TCustomImageList::TCustomImageList(TComponent* AOwner) : TComponent(AOwner) {}

TCustomImageList::TCustomImageList(Integer AWidth, Integer AHeight, TComponent* AOwner) : TComponent(AOwner) {
  FWidth = std::max<Integer>(AWidth, 1);
  FHeight = std::max<Integer>(AHeight, 1);
}

TCustomImageList::~TCustomImageList() {
  for (TChangeLink* L : FLinks) L->SetSender(nullptr);
  FLinks.clear();
  FreeHandle();
}

void TCustomImageList::FreeHandle() {
  if (FHandle && !FShareImages) ImageList_Destroy(FHandle);
  FHandle = nullptr;
}

HIMAGELIST TCustomImageList::Handle() {
  if (!FHandle) {
    FHandle = ImageList_Create(FWidth, FHeight, ILC_COLOR32 | (FMasked ? UINT{ILC_MASK} : 0u), 4, 4);
    ImageList_SetBkColor(FHandle, FBkColor == clNone ? CLR_NONE : static_cast<COLORREF>(ColorToRGB(FBkColor)));
  }
  return FHandle;
}

void TCustomImageList::SetHandle(HIMAGELIST Value) {
  if (Value == FHandle) return;
  FreeHandle();
  if (Valid(Value)) {
    FHandle = Value;
    FWidth = Value->Width;
    FHeight = Value->Height;
    FMasked = IsMasked(Value);
  }
  Change();
}

void TCustomImageList::SetSize(Integer AWidth, Integer AHeight) {
  AWidth = std::max<Integer>(AWidth, 1);
  AHeight = std::max<Integer>(AHeight, 1);
  if (AWidth == FWidth && AHeight == FHeight) return;
  FWidth = AWidth;
  FHeight = AHeight;
  if (FHandle) ImageList_SetIconSize(FHandle, AWidth, AHeight);
  Change();
}

void TCustomImageList::SetMasked(bool Value) {
  if (Value == FMasked) return;
  FMasked = Value;
  if (FHandle) FHandle->Flags = Value ? (FHandle->Flags | ILC_MASK) : (FHandle->Flags & ~static_cast<UINT>(ILC_MASK));
  Change();
}

void TCustomImageList::SetBkColor(TColor Value) {
  if (Value == FBkColor) return;
  FBkColor = Value;
  if (FHandle) ImageList_SetBkColor(FHandle, Value == clNone ? CLR_NONE : static_cast<COLORREF>(ColorToRGB(Value)));
  Change();
}

Integer TCustomImageList::Count() const { return FHandle ? ImageList_GetImageCount(FHandle) : 0; }

Integer TCustomImageList::Add(TBitmap* Image, TBitmap* Mask) {
  if (!Image || Image->Empty()) return -1;
  Integer I = ImageList_Add(Handle(), Image->Handle(), Mask && !Mask->Empty() ? Mask->Handle() : nullptr);
  if (I >= 0) Change();
  return I;
}

Integer TCustomImageList::AddMasked(TBitmap* Image, TColor MaskColor) {
  if (!Image || Image->Empty()) return -1;
  const COLORREF Key = MaskColor == clNone ? CLR_NONE : static_cast<COLORREF>(ColorToRGB(MaskColor));
  Integer I = ImageList_AddMasked(Handle(), Image->Handle(), Key);
  if (I >= 0) Change();
  return I;
}

void TCustomImageList::Replace(Integer Index, TBitmap* Image, TBitmap* Mask) {
  if (!Image || Image->Empty() ||
      !ImageList_Replace(Handle(), Index, Image->Handle(), Mask && !Mask->Empty() ? Mask->Handle() : nullptr))
    throw EInvalidOperation("Unable to replace image");
  Change();
}

void TCustomImageList::Delete(Integer Index) {
  if (Index < 0 || Index >= Count()) throw EInvalidOperation("Image index out of range");
  ImageList_Remove(FHandle, Index);
  Change();
}

void TCustomImageList::Clear() {
  if (Count() == 0) return;
  ImageList_Remove(FHandle, -1);
  Change();
}

bool TCustomImageList::GetBitmap(Integer Index, TBitmap* Image) {
  if (!Image || Index < 0 || Index >= Count()) return false;
  Image->SetPixelFormat(pf24bit);
  Image->SetSize(FWidth, FHeight);
  Image->Canvas()->Brush()->SetColor(FBkColor == clNone ? clBlack : FBkColor);
  Image->Canvas()->FillRect(TRect(0, 0, FWidth, FHeight));
  return ImageList_DrawEx(FHandle, Index, Image->Canvas()->Handle(), 0, 0, 0, 0, CLR_NONE, CLR_NONE,
                          ILD_TRANSPARENT) != FALSE;
}

void TCustomImageList::Draw(TCanvas* Canvas, Integer X, Integer Y, Integer Index, bool Enabled) {
  if (!Canvas || Index < 0 || Index >= Count()) return;
  HDC DC = Canvas->Handle();
  if (Enabled) {
    ImageList_DrawEx(FHandle, Index, DC, X, Y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, ILD_NORMAL);
    return;
  }
  // The image's shape: every pixel that is neither transparent nor white.
  const std::vector<uint32_t>& P = FHandle->Pixels[static_cast<size_t>(Index)];
  const std::vector<uint8_t>& C = FHandle->Clear[static_cast<size_t>(Index)];
  std::vector<uint8_t> Off(P.size());
  for (size_t i = 0; i < P.size(); ++i) Off[i] = (C[i] || P[i] == 0xFFFFFF) ? 1 : 0;
  auto Shape = [&](TColor Color, Integer DX, Integer DY) {
    std::vector<uint32_t> Fill(P.size(), FromColorRef(static_cast<COLORREF>(ColorToRGB(Color))));
    DrawMasked(DC, X + DX, Y + DY, FWidth, FHeight, FWidth, Fill.data(), Off.data());
  };
  Shape(clBtnHighlight, 1, 1);
  Shape(clBtnShadow, 0, 0);
}

void TCustomImageList::BeginUpdate() { ++FUpdateCount; }

void TCustomImageList::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0 && FChanged) {
    FChanged = false;
    Change();
  }
}

void TCustomImageList::RegisterChanges(TChangeLink* Link) {
  if (!Link || std::find(FLinks.begin(), FLinks.end(), Link) != FLinks.end()) return;
  if (Link->Sender() && Link->Sender() != this) Link->Sender()->UnRegisterChanges(Link);
  Link->SetSender(this);
  FLinks.push_back(Link);
}

void TCustomImageList::UnRegisterChanges(TChangeLink* Link) {
  auto It = std::find(FLinks.begin(), FLinks.end(), Link);
  if (It == FLinks.end()) return;
  FLinks.erase(It);
  Link->SetSender(nullptr);
}

void TCustomImageList::Change() {
  if (FUpdateCount > 0) {
    FChanged = true;
    return;
  }
  // Over a copy: a link's handler may unregister links.
  std::vector<TChangeLink*> Links = FLinks;
  for (TChangeLink* L : Links)
    if (std::find(FLinks.begin(), FLinks.end(), L) != FLinks.end()) L->Change();
  if (OnChange) OnChange(this);
}
