// The class library's drawing surface and its drawing tools: TCanvas over a
// device context, with TPen, TBrush and TFont that create their GDI objects
// on demand.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/base/classes.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/gdi.h"

class TGraphic;

enum TPenStyle : Byte { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame, psUserStyle, psAlternate };
enum TPenMode : Byte {
  pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot, pmMergeNotPen, pmMaskNotPen,
  pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor,
};
enum TBrushStyle : Byte { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
enum TFontStyle : Byte { fsBold, fsItalic, fsUnderline, fsStrikeOut };
enum TFontPitch : Byte { fpDefault, fpVariable, fpFixed };
enum TFontQuality : Byte {
  fqDefault, fqDraft, fqProof, fqNonAntialiased, fqAntialiased, fqClearType, fqClearTypeNatural,
};
using TFontCharset = Byte;
using TFontName = WideString;

// A set of font styles.
class TFontStyles {
 public:
  constexpr TFontStyles() = default;
  constexpr TFontStyles(std::initializer_list<TFontStyle> Items) {
    for (TFontStyle s : Items) FBits = static_cast<Byte>(FBits | (1u << s));
  }
  constexpr bool Contains(TFontStyle S) const { return (FBits >> S) & 1u; }
  constexpr TFontStyles& Include(TFontStyle S) {
    FBits = static_cast<Byte>(FBits | (1u << S));
    return *this;
  }
  constexpr TFontStyles& Exclude(TFontStyle S) {
    FBits = static_cast<Byte>(FBits & ~(1u << S));
    return *this;
  }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr Byte Bits() const { return FBits; }
  friend constexpr bool operator==(const TFontStyles&, const TFontStyles&) = default;

 private:
  Byte FBits = 0;
};

// Raster operation codes of CopyRect and Draw.
using TCopyMode = int32_t;
constexpr TCopyMode cmBlackness = static_cast<TCopyMode>(BLACKNESS);
constexpr TCopyMode cmDstInvert = static_cast<TCopyMode>(DSTINVERT);
constexpr TCopyMode cmMergeCopy = static_cast<TCopyMode>(MERGECOPY);
constexpr TCopyMode cmMergePaint = static_cast<TCopyMode>(MERGEPAINT);
constexpr TCopyMode cmNotSrcCopy = static_cast<TCopyMode>(NOTSRCCOPY);
constexpr TCopyMode cmNotSrcErase = static_cast<TCopyMode>(NOTSRCERASE);
constexpr TCopyMode cmPatCopy = static_cast<TCopyMode>(PATCOPY);
constexpr TCopyMode cmPatInvert = static_cast<TCopyMode>(PATINVERT);
constexpr TCopyMode cmPatPaint = static_cast<TCopyMode>(PATPAINT);
constexpr TCopyMode cmSrcAnd = static_cast<TCopyMode>(SRCAND);
constexpr TCopyMode cmSrcCopy = static_cast<TCopyMode>(SRCCOPY);
constexpr TCopyMode cmSrcErase = static_cast<TCopyMode>(SRCERASE);
constexpr TCopyMode cmSrcInvert = static_cast<TCopyMode>(SRCINVERT);
constexpr TCopyMode cmSrcPaint = static_cast<TCopyMode>(SRCPAINT);
constexpr TCopyMode cmWhiteness = static_cast<TCopyMode>(WHITENESS);

using TNotifyEvent = std::function<void(TObject* Sender)>;

// Pens, brushes and fonts: their OnChange tells the owning canvas to select
// the new GDI object before its next drawing call.
class TGraphicsObject : public TPersistent {
 public:
  TNotifyEvent OnChange;

 protected:
  void Changed();
};

class TPen : public TGraphicsObject {
 public:
  TPen();
  ~TPen() override;
  void Assign(TPersistent* Source) override;
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  Integer Width() const { return FWidth; }
  void SetWidth(Integer Value);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle Value);
  TPenMode Mode() const { return FMode; }
  void SetMode(TPenMode Value);
  // The pen's GDI object, made from the properties when needed; owned by the pen.
  HPEN Handle();
  // Adopts a pen made elsewhere (a geometric pen, say); colour, width and style
  // are read from it. A later property change replaces it.
  void SetHandle(HPEN Value);

 private:
  void Release();
  TColor FColor = clBlack;
  Integer FWidth = 1;
  TPenStyle FStyle = psSolid;
  TPenMode FMode = pmCopy;
  HPEN FHandle = nullptr;
};

class TBitmap;

class TBrush : public TGraphicsObject {
 public:
  TBrush();
  ~TBrush() override;
  void Assign(TPersistent* Source) override;
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle Value);
  // A pattern bitmap (not owned); the brush then paints it instead of a colour.
  TBitmap* Bitmap() const { return FBitmap; }
  void SetBitmap(TBitmap* Value);
  HBRUSH Handle();
  void SetHandle(HBRUSH Value);

 private:
  void Release();
  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
  TBitmap* FBitmap = nullptr;
  HBRUSH FHandle = nullptr;
};

class TFont : public TGraphicsObject {
 public:
  TFont();
  ~TFont() override;
  void Assign(TPersistent* Source) override;
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  // Negative: the character height in pixels; positive: the cell height.
  Integer Height() const { return FData.lfHeight; }
  void SetHeight(Integer Value);
  // Points at PixelsPerInch: -MulDiv(Height, 72, PixelsPerInch).
  Integer Size() const;
  void SetSize(Integer Value);
  TFontName Name() const;
  void SetName(const TFontName& Value);
  // Bold is a weight of 700 or more.
  TFontStyles Style() const;
  void SetStyle(TFontStyles Value);
  TFontCharset Charset() const { return FData.lfCharSet; }
  void SetCharset(TFontCharset Value);
  TFontPitch Pitch() const;
  void SetPitch(TFontPitch Value);
  // Escapement and orientation in tenths of a degree, counter-clockwise.
  Integer Orientation() const { return FData.lfEscapement; }
  void SetOrientation(Integer Value);
  TFontQuality Quality() const { return static_cast<TFontQuality>(FData.lfQuality); }
  void SetQuality(TFontQuality Value);
  Integer PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(Integer Value) { FPixelsPerInch = Value > 0 ? Value : 96; }
  // The full logical font the handle is made from.
  const LOGFONTW& Data() const { return FData; }
  HFONT Handle();
  // Adopts a font made elsewhere; every property is read from its LOGFONT.
  void SetHandle(HFONT Value);

 private:
  void Release();
  void Modify();
  LOGFONTW FData;
  TColor FColor = clWindowText;
  Integer FPixelsPerInch = 96;
  HFONT FHandle = nullptr;
};

enum TCanvasState : Byte { csHandleValid = 1, csFontValid = 2, csPenValid = 4, csBrushValid = 8 };
using TCanvasStates = Byte;

class TCanvas : public TPersistent {
 public:
  TCanvas();
  ~TCanvas() override;

  void Arc(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3, Integer X4, Integer Y4);
  void Chord(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3, Integer X4, Integer Y4);
  void Pie(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3, Integer X4, Integer Y4);
  // StretchBlt from Source of Canvas with CopyMode.
  void CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source);
  void Draw(Integer X, Integer Y, TGraphic* Graphic);
  void StretchDraw(const TRect& Rect, TGraphic* Graphic);
  void DrawFocusRect(const TRect& Rect);
  void Ellipse(Integer X1, Integer Y1, Integer X2, Integer Y2);
  void Ellipse(const TRect& Rect) { Ellipse(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
  void FillRect(const TRect& Rect);
  void FrameRect(const TRect& Rect);
  void MoveTo(Integer X, Integer Y);
  void LineTo(Integer X, Integer Y);
  void Polygon(const TPoint* Points, Integer Count);
  void Polygon(const std::vector<TPoint>& Points) { Polygon(Points.data(), static_cast<Integer>(Points.size())); }
  void Polyline(const TPoint* Points, Integer Count);
  void Polyline(const std::vector<TPoint>& Points) { Polyline(Points.data(), static_cast<Integer>(Points.size())); }
  void PolyBezier(const TPoint* Points, Integer Count);
  void Rectangle(Integer X1, Integer Y1, Integer X2, Integer Y2);
  void Rectangle(const TRect& Rect) { Rectangle(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
  void RoundRect(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3);
  TSize TextExtent(const WideString& Text);
  Integer TextHeight(const WideString& Text) { return TextExtent(Text).cy; }
  Integer TextWidth(const WideString& Text) { return TextExtent(Text).cx; }
  // Draws Text at (X, Y) and moves the pen position to its end.
  void TextOut(Integer X, Integer Y, const WideString& Text);
  // Text clipped to Rect; a non-clear brush fills Rect first.
  void TextRect(const TRect& Rect, Integer X, Integer Y, const WideString& Text);
  // Forgets the selected objects so that the next call selects them again.
  void Refresh();

  void Lock();
  void Unlock();
  bool TryLock();
  Integer LockCount() const { return FLockCount; }

  HDC Handle();
  // Attaches a device context owned elsewhere (0 detaches).
  void SetHandle(HDC Value);
  bool HandleAllocated() const { return FHandle != nullptr; }
  TPen* Pen() const { return FPen.get(); }
  void SetPen(TPen* Value) { FPen->Assign(Value); }
  TBrush* Brush() const { return FBrush.get(); }
  void SetBrush(TBrush* Value) { FBrush->Assign(Value); }
  TFont* Font() const { return FFont.get(); }
  void SetFont(TFont* Value) { FFont->Assign(Value); }
  TPoint PenPos();
  void SetPenPos(const TPoint& Value) { MoveTo(Value.X, Value.Y); }
  TCopyMode CopyMode() const { return FCopyMode; }
  void SetCopyMode(TCopyMode Value) { FCopyMode = Value; }
  TRect ClipRect();
  TColor Pixels(Integer X, Integer Y);
  void SetPixels(Integer X, Integer Y, TColor Value);

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

  // Makes sure the handle exists and the given tools are selected.
  void RequiredState(TCanvasStates State);

 protected:
  // Creates the device context when none is attached; the default has none.
  virtual void CreateHandle() {}
  virtual void Changing();
  virtual void Changed();
  // Selects stock objects back so that the tools can be freed.
  void DeselectHandles();

 private:
  HDC FHandle = nullptr;
  TCanvasStates FState = 0;
  std::unique_ptr<TFont> FFont;
  std::unique_ptr<TPen> FPen;
  std::unique_ptr<TBrush> FBrush;
  TCopyMode FCopyMode = cmSrcCopy;
  std::recursive_mutex FLock;
  Integer FLockCount = 0;
};
