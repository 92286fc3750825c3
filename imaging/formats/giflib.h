// The GIF graphic library: a GIF file kept as a tree of objects (header and
// global colour table, frames with their extensions and local tables) that
// reads and writes back what it read, block for block, plus the graphic
// class over it. Reading is lenient (prefix bytes, no trailer, stray zero
// bytes), and every object reports oddities as warnings through its image.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/classes.h"
#include "platform/base/threads.h"
#include "platform/base/sysutils.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/globalmem.h"
#include "platform/graphics/graphic.h"

GT_DECLARE_EXCEPTION(GIFException, EInvalidGraphic)
[[noreturn]] void GIFError(const char* Msg);

class TGIFImage;
class TGIFSubImage;
class TGIFExtension;

// Versions: 0 none, 1 "87a", 2 "89a".
enum : Byte { gcmLZW = 0, gcmRLE = 1 };
// Bits of the options of TGIFImage::Optimize.
enum : Word { goptCrop = 1, goptMerge = 2, goptCleanup = 4, goptColorMaps = 8, goptReduceColors = 16 };

// Shared stream helpers. ReadCheck raises "Premature end of data" on a short read.
void ReadCheck(TStream* Stream, void* Buffer, int64_t Size);
// -1 at the end of the stream.
Integer ReadByte(TStream* Stream);
void WriteByte(TStream* Stream, Byte Value);
// Strings as data sub-blocks of at most 255 bytes each, then the terminator.
// The texts stay the 8-bit bytes of the file, so they are written back as read.
void WriteSubBlockStrings(TStream* Stream, const std::vector<AnsiString>& Strings);
// One string per sub-block (cut at a zero byte inside it); the end of the
// stream ends the list like a terminator.
void ReadSubBlockStrings(TStream* Stream, std::vector<AnsiString>& Strings);
// 0 for 0, else the smallest b >= 1 with 2^b >= Count.
Integer ColorBitsForCount(Integer Count);

class TGIFItem : public TPersistent {
 public:
  explicit TGIFItem(TGIFImage* AImage) : FImage(AImage) {}
  TGIFImage* Image() const { return FImage; }
  virtual Byte GetVersion() const { return 1; }
  virtual void Warning(Byte Severity, const WideString& Message);
  virtual void SaveToStream(TStream* Stream) = 0;
  virtual void LoadFromStream(TStream* Stream) = 0;
  void SaveToFile(const WideString& FileName);
  void LoadFromFile(const WideString& FileName);

 protected:
  TGIFImage* FImage;
};

// An owning list. Items that are freed while still listed take themselves
// out first (Remove), so Delete and Clear detach an item before freeing it.
class TGIFList : public TPersistent {
 public:
  explicit TGIFList(TGIFImage* AImage) : FImage(AImage) {}
  ~TGIFList() override { Clear(); }
  TGIFImage* Image() const { return FImage; }
  TGIFItem* GetItem(Integer Index) const;
  Integer GetCount() const { return Integer(FItems.size()); }
  Integer Add(TGIFItem* Item);
  // Takes Item out without freeing it; -1 when it is not listed.
  Integer Remove(TGIFItem* Item);
  void Delete(Integer Index);
  void Clear();
  virtual void Warning(Byte Severity, const WideString& Message);
  virtual void SaveToStream(TStream* Stream);
  virtual void LoadFromStream(TStream* Stream, TObject* Parent) = 0;

 protected:
  TGIFImage* FImage;
  std::vector<TGIFItem*> FItems;
};

class TGIFExtensionList : public TGIFList {
 public:
  using TGIFList::TGIFList;
  TGIFExtension* GetExtension(Integer Index) const;
  // Reads extension blocks up to a "," or ";" that stays unread.
  void LoadFromStream(TStream* Stream, TObject* Parent) override;
};

struct TGIFHistogramEntry {
  Integer Count = 0;
  Integer Index = 0;
};
using TGIFHistogram = std::array<TGIFHistogramEntry, 256>;
using TGIFColorMapOptimized = std::array<Byte, 256>;

class TGIFColorMap : public TPersistent {
 public:
  TGIFColorMap() = default;
  void Clear();
  TColor GetColor(Integer Index);
  void SetColor(Integer Index, TColor Color);
  static void ColorToRGB(TColor Color, Byte& R, Byte& G, Byte& B);
  static TColor RGBToColor(Byte R, Byte G, Byte B) { return TColor(R | (G << 8) | (B << 16)); }
  Integer Add(TColor Color);
  Integer AddUnique(TColor Color);
  void Delete(Integer Index);
  Integer IndexOf(TColor Color) const;
  void SetCapacity(Integer Size);
  Integer Count() const { return FCount; }
  Integer Capacity() const { return FCapacity; }
  bool Optimized() const { return FOptimized; }
  Integer GetBitsPerPixel() const { return ColorBitsForCount(FCount); }
  // Red, green, blue of entry Index (0 <= Index < Count).
  const Byte* Entry(Integer Index) const { return FData.data() + 3 * Index; }
  void SaveToStream(TStream* Stream);
  void LoadFromStream(TStream* Stream, Integer NumColors);
  // Entries given as blue, green, red, reserved quads; more than 256 raise ERangeError.
  void ImportColorTable(const void* Table, Integer NumColors);
  void Assign(TPersistent* Source) override;

  virtual void Warning(Byte Severity, const WideString& Message) = 0;
  virtual void BuildHistogram(TGIFHistogram& Histogram) = 0;
  virtual void MapImages(const TGIFColorMapOptimized& Map) = 0;
  virtual bool Optimize() = 0;
  virtual void Changed() = 0;

 protected:
  // Sorts the entries by use, most used first, and drops unused ones at the end.
  bool DoOptimize();

  std::vector<Byte> FData;
  Integer FCount = 0;
  Integer FCapacity = 0;
  bool FOptimized = false;
};

class TGIFHeader;

class TGIFGlobalColorMap : public TGIFColorMap {
 public:
  explicit TGIFGlobalColorMap(TGIFHeader* AHeader) : FHeader(AHeader) {}
  ~TGIFGlobalColorMap() override;
  void Warning(Byte Severity, const WideString& Message) override;
  void BuildHistogram(TGIFHistogram& Histogram) override;
  void MapImages(const TGIFColorMapOptimized& Map) override;
  bool Optimize() override;
  void Changed() override;

 private:
  TGIFHeader* FHeader;
};

class TGIFLocalColorMap : public TGIFColorMap {
 public:
  explicit TGIFLocalColorMap(TGIFSubImage* ASubImage) : FSubImage(ASubImage) {}
  ~TGIFLocalColorMap() override;
  void Warning(Byte Severity, const WideString& Message) override;
  void BuildHistogram(TGIFHistogram& Histogram) override;
  void MapImages(const TGIFColorMapOptimized& Map) override;
  bool Optimize() override;
  void Changed() override;

 private:
  TGIFSubImage* FSubImage;
};

// The logical screen descriptor as stored.
struct TGIFScreenDescriptor {
  Word ScreenWidth = 0;
  Word ScreenHeight = 0;
  Byte PackedFields = 0;
  Byte BackgroundColorIndex = 0;
  Byte AspectRatio = 0;
};

class TGIFHeader : public TGIFItem {
 public:
  explicit TGIFHeader(TGIFImage* AImage);
  void Clear();
  void Assign(TPersistent* Source) override;
  Byte GetVersion() const override;
  TColor GetBackgroundColor() { return FColorMap.GetColor(Descriptor.BackgroundColorIndex); }
  Integer GetBitsPerPixel() const { return FColorMap.GetBitsPerPixel(); }
  Integer GetColorResolution() const { return FColorMap.GetBitsPerPixel() - 1; }
  TGIFGlobalColorMap* ColorMap() { return &FColorMap; }
  void UpdatePackedFields();
  void SaveToStream(TStream* Stream) override;
  void LoadFromStream(TStream* Stream) override;

  TGIFScreenDescriptor Descriptor;

 private:
  TGIFGlobalColorMap FColorMap{this};
};

// ---------------------------------------------------------------- extensions

// What a class of extension is: its label, how to make one, and how it
// refines itself by looking further into the stream (returns itself when
// it does not).
struct TGIFExtensionClassRec {
  const char* Name;
  Byte Label;
  TGIFExtension* (*Create)(TGIFSubImage* ASubImage);
  const TGIFExtensionClassRec* (*FindSubclass)(TStream* Stream);
};
using TGIFExtensionClass = const TGIFExtensionClassRec*;

class TGIFExtension : public TGIFItem {
 public:
  explicit TGIFExtension(TGIFSubImage* ASubImage);
  ~TGIFExtension() override;
  TGIFSubImage* SubImage() const { return FSubImage; }
  virtual Byte GetLabel() const = 0;
  virtual TGIFExtensionClass ClassType() const = 0;
  Byte GetVersion() const override { return 2; }
  // The stream stands after "!"; its position is kept. Nil when no class fits.
  static TGIFExtensionClass FindExtensionClass(TStream* Stream);
  void SaveToStream(TStream* Stream) override;
  void LoadFromStream(TStream* Stream) override;
  // Frees the extension without taking it out of its frame's list (the list does that).
  void Detach() { FSubImage = nullptr; }

 protected:
  static Byte ReadIntroducer(TStream* Stream);
  TGIFSubImage* FSubImage;
};

struct TGIFControlBlock {
  Byte BlockSize = 4;
  Byte PackedFields = 0;
  Word DelayTime = 0;
  Byte TransparentColorIndex = 0;
  Byte Terminator = 0;
};

class TGIFGraphicControlExtension : public TGIFExtension {
 public:
  explicit TGIFGraphicControlExtension(TGIFSubImage* ASubImage);
  ~TGIFGraphicControlExtension() override;
  static const TGIFExtensionClassRec Class;
  TGIFExtensionClass ClassType() const override { return &Class; }
  Byte GetLabel() const override { return 0xF9; }
  bool GetTransparent() const { return ControlBlock.PackedFields & 1; }
  void SetTransparent(bool Value);
  Byte GetTransparentColorIndex() const { return ControlBlock.TransparentColorIndex; }
  void SetTransparentColorIndex(Byte Value);
  Word GetDelay() const { return ControlBlock.DelayTime; }
  void SetDelay(Word Value) { ControlBlock.DelayTime = Value; }
  bool GetUserInput() const { return ControlBlock.PackedFields & 2; }
  Byte GetDisposal() const { return (ControlBlock.PackedFields >> 2) & 7; }
  void SetDisposal(Byte Value) { ControlBlock.PackedFields = Byte((ControlBlock.PackedFields & ~0x1C) | ((Value & 7) << 2)); }
  void SaveToStream(TStream* Stream) override;
  void LoadFromStream(TStream* Stream) override;

  TGIFControlBlock ControlBlock;
};

struct TGIFTextBlock {
  Byte BlockSize = 12;
  Word Left = 0, Top = 0, Width = 0, Height = 0;
  Byte CharWidth = 0, CharHeight = 0, ForegroundColorIndex = 0, BackgroundColorIndex = 0;
};

class TGIFTextExtension : public TGIFExtension {
 public:
  using TGIFExtension::TGIFExtension;
  static const TGIFExtensionClassRec Class;
  TGIFExtensionClass ClassType() const override { return &Class; }
  Byte GetLabel() const override { return 0x01; }
  void SaveToStream(TStream* Stream) override;
  void LoadFromStream(TStream* Stream) override;

  TGIFTextBlock TextBlock;
  std::vector<AnsiString> TextLines;
};

class TGIFCommentExtension : public TGIFExtension {
 public:
  using TGIFExtension::TGIFExtension;
  static const TGIFExtensionClassRec Class;
  TGIFExtensionClass ClassType() const override { return &Class; }
  Byte GetLabel() const override { return 0xFE; }
  void SaveToStream(TStream* Stream) override;
  void LoadFromStream(TStream* Stream) override;

  std::vector<AnsiString> CommentLines;
};

class TGIFApplicationExtension : public TGIFExtension {
 public:
  explicit TGIFApplicationExtension(TGIFSubImage* ASubImage) : TGIFExtension(ASubImage) { AppBlock.fill(0); }
  static const TGIFExtensionClassRec Class;
  Byte GetLabel() const override { return 0xFF; }
  void SaveToStream(TStream* Stream) override;
  void LoadFromStream(TStream* Stream) override;
  virtual void SaveData(TStream* Stream) = 0;
  virtual void LoadData(TStream* Stream) = 0;

  // Application identifier (8 bytes) and authentication code (3 bytes).
  std::array<Byte, 11> AppBlock;
};

struct TGIFBlock {
  explicit TGIFBlock(Integer Size);
  Byte BlockSize;
  std::vector<Byte> BlockData;
};

// An application extension without a class of its own, kept so that its
// sub-blocks are written back unchanged.
class TGIFUnknownAppExtension : public TGIFApplicationExtension {
 public:
  using TGIFApplicationExtension::TGIFApplicationExtension;
  static const TGIFExtensionClassRec Class;
  TGIFExtensionClass ClassType() const override { return &Class; }
  void SaveData(TStream* Stream) override;
  void LoadData(TStream* Stream) override;

  std::vector<TGIFBlock> Blocks;
};

// The animation loop extension.
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
 public:
  explicit TGIFAppExtNSLoop(TGIFSubImage* ASubImage);
  static const TGIFExtensionClassRec Class;
  TGIFExtensionClass ClassType() const override { return &Class; }
  void SaveData(TStream* Stream) override;
  void LoadData(TStream* Stream) override;

  Word LoopCount = 0;
  uint32_t BufferBytes = 0;
};

// Registries of extension classes by label and of application extension
// classes by identifier; the newest registration wins.
class TExtensionList {
 public:
  void AddClass(Byte Label, TGIFExtensionClass Class) { FEntries.push_back({Label, Class}); }
  TGIFExtensionClass FindClass(Byte Label) const;

 private:
  std::vector<std::pair<Byte, TGIFExtensionClass>> FEntries;
};
class TAppExtensionList {
 public:
  void AddClass(const char* Ident, TGIFExtensionClass Class);
  TGIFExtensionClass FindClass(const Byte* Ident) const;

 private:
  std::vector<std::pair<std::array<Byte, 11>, TGIFExtensionClass>> FEntries;
};
TExtensionList& ExtensionRegistry();
TAppExtensionList& AppExtensionRegistry();

// -------------------------------------------------------------------- frames

struct TGIFImageDescriptor {
  Byte Separator = ',';
  Word Left = 0, Top = 0, Width = 0, Height = 0;
  Byte PackedFields = 0;
};

class TGIFSubImage : public TGIFItem {
 public:
  explicit TGIFSubImage(TGIFImage* AImage);
  ~TGIFSubImage() override;
  void Clear();
  Byte GetVersion() const override;
  void SaveToStream(TStream* Stream) override;
  void LoadFromStream(TStream* Stream) override;

  Integer Left() const { return Descriptor.Left; }
  Integer Top() const { return Descriptor.Top; }
  Integer Width() const { return Descriptor.Width; }
  Integer Height() const { return Descriptor.Height; }
  bool Interlaced() const { return Descriptor.PackedFields & 0x40; }
  void SetInterlaced(bool Value);
  void SetBoundsRect(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight);
  TRect BoundsRect() const { return TRect(Left(), Top(), Left() + Width(), Top() + Height()); }
  bool IsEmpty() const { return PixelData.empty() || Width() == 0 || Height() == 0; }
  TGIFColorMap* ActiveColorMap();
  Integer GetColorResolution() const { return FLocalColorMap.GetBitsPerPixel() - 1; }
  Integer GetBitsPerPixel() const { return FLocalColorMap.GetBitsPerPixel(); }
  void UpdatePackedFields();
  TGIFLocalColorMap* LocalColorMap() { return &FLocalColorMap; }
  TGIFExtensionList* Extensions() { return &FExtensions; }
  Byte TransparentIndex() const;

  // Width x Height zeroed bytes; raises "Image is too large" beyond the
  // native read limits, so a hostile descriptor cannot claim gigabytes.
  void AllocPixelData();
  void FreePixelData() { PixelData.clear(); PixelData.shrink_to_fit(); }
  // Cuts away the transparent border (a frame that is all transparent
  // becomes empty and loses its extensions).
  void Crop();
  // Makes pixels transparent where Previous, the frame drawn underneath,
  // already shows the same colour.
  void Merge(TGIFSubImage* Previous);
  Byte* GetScanline(Integer Y);
  Byte GetPixel(Integer X, Integer Y);
  int64_t PixelDataSize() const { return int64_t(PixelData.size()); }

  // Copies another frame (extensions through their file form) or converts
  // any graphic: bitmaps of 1, 4 or 8 bits keep their table and indexes,
  // others are reduced first; a transparent bitmap's mask becomes the
  // frame's transparent colour.
  void Assign(TPersistent* Source) override;
  // A TBitmap receives the rendered frame.
  void AssignTo(TPersistent* Dest) override;
  // The frame rendered at its own size with 8 bits per pixel (nil for an
  // empty frame), kept until the pixels' size, palette or shape change.
  TBitmap* GetBitmap();
  void FreeBitmap();
  void FreeMask();
  // Renders when a mask is still wanted; true when the frame has one (a
  // transparent colour that no pixel uses gives none).
  bool HasMask();
  // Bit 1 where the pixel is transparent; owned by the frame.
  HBITMAP TransparencyMask() const { return FTransparencyMask; }
  // The frame's palette, owned by the frame (or the image's).
  HPALETTE GetPalette();
  void SetPalette(HPALETTE Value);
  // The frame's place inside Rect when the whole logical screen maps onto Rect.
  TRect ScaleRect(const TRect& Rect) const;
  // Stretched to its place in Rect, or repeated at its own size across Rect
  // every logical screen (DoTile); transparent pixels leave the canvas as
  // it is when DoTransparent.
  void Draw(TCanvas* ACanvas, const TRect& Rect, bool DoTransparent, bool DoTile);

  TGIFImageDescriptor Descriptor;
  std::vector<Byte> PixelData;
  bool HasTransparency = false;
  TGIFGraphicControlExtension* ControlExtension = nullptr;

 private:
  // Pixels whose mask pixel is not 0 become a new transparent colour.
  void TransparencyFromMask(TBitmap* Mask);
  void RenderPlain(TBitmap* Bitmap);
  void RenderDithered(TBitmap* Bitmap);

  TGIFExtensionList FExtensions;
  TGIFLocalColorMap FLocalColorMap{this};
  std::unique_ptr<TBitmap> FFrameBitmap;
  HBITMAP FTransparencyMask = nullptr;
  bool FMaskWanted = true;
  HPALETTE FFramePalette = nullptr;
};

// Copies the source where the mask bit is 0 and keeps the destination where
// it is 1, stretching source and mask to the destination size.
BOOL MaskedStretchBlt(HDC DstDC, Integer DstX, Integer DstY, Integer DstW, Integer DstH, HDC SrcDC, Integer SrcX,
                      Integer SrcY, Integer SrcW, Integer SrcH, HDC MaskDC, Integer MaskX, Integer MaskY);

class TGIFTrailer : public TGIFItem {
 public:
  using TGIFItem::TGIFItem;
  void SaveToStream(TStream* Stream) override;
  void LoadFromStream(TStream* Stream) override;
};

class TGIFImageList : public TGIFList {
 public:
  using TGIFList::TGIFList;
  TGIFSubImage* GetFrame(Integer Index) const { return static_cast<TGIFSubImage*>(GetItem(Index)); }
  void LoadFromStream(TStream* Stream, TObject* Parent) override;
  // Every frame in order, with a progress report after each.
  void SaveToStream(TStream* Stream) override;
};

// Frame data coding: the decoder fills the frame's pixels from the code-size
// byte and data sub-blocks at the stream position; the encoders write them
// with LZW or with run codes only (CompressionKind of the image).
void DecodeGIFData(TGIFSubImage* Frame, TStream* Stream);
void EncodeGIFData(TGIFSubImage* Frame, TStream* Stream);
// The coders on plain pixels, for callers without a frame. Warn receives the
// decoder's warnings; Pixels must hold Width x Height bytes already filled.
void GIFDecodePixels(TStream* Stream, Integer Width, Integer Height, bool Interlaced, Byte* Pixels,
                     const std::function<void(const WideString&)>& Warn);
void GIFEncodePixels(TStream* Stream, Byte CompressionKind, Integer BitsPerPixel, Integer Width, Integer Height,
                     bool Interlaced, const Byte* Pixels, Integer MaxColor);

// ------------------------------------------------------------- graphic class

using TGIFWarning = std::function<void(TObject* Sender, Byte Severity, const WideString& Message)>;
enum TProgressStage : Byte { psStarting, psRunning, psEnding };
using TProgressEvent = std::function<void(TObject* Sender, TProgressStage Stage, Byte PercentDone, bool RedrawNow,
                                          const TRect& R, const WideString& Msg)>;

// Bits of PaintOptions.
enum : Word {
  gpoThreaded = 0x1, gpoTransparent = 0x2, gpoAnimate = 0x4, gpoLoop = 0x8, gpoLoopForever = 0x10,
  gpoCheckCanvas = 0x20, gpoDirect = 0x40, gpoClearOnLoop = 0x80, gpoTile = 0x100, gpoDither = 0x200,
  gpoDitherOnPaletteDisplay = 0x400
};
constexpr Word DefaultPaintOptions = 0x068F;
// True when the screen shows at most 256 colours; taken once at start-up.
bool PaletteDisplay();
// The clipboard format a GIF stream travels under ("GIF Image").
Word CF_GIF();

class TGIFPainter;

class TGIFImage : public TGraphic {
 public:
  TGIFImage();
  ~TGIFImage() override;
  static TGraphic* Create();
  TGraphicClass ClassType() const override { return &TGIFImage::Create; }

  void Clear();
  bool Empty() const override { return FFrames.GetCount() == 0; }
  Integer Width() const override { return FHeader.Descriptor.ScreenWidth; }
  Integer Height() const override { return FHeader.Descriptor.ScreenHeight; }
  void SetWidth(Integer Value) override;
  void SetHeight(Integer Value) override;
  // Draws the still frame (StillFrameIndex, else frame 0) stretched to the logical screen.
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  void Assign(TPersistent* Source) override;

  Byte GetVersion() const;
  Integer GetColorResolution() const;
  Integer GetBitsPerPixel() const;
  TColor GetBackgroundColor() { return FHeader.GetBackgroundColor(); }
  TGIFGlobalColorMap* GetGlobalColorMap() { return FHeader.ColorMap(); }
  TGIFHeader* Header() { return &FHeader; }
  TGIFImageList* Images() { return &FFrames; }
  // Takes over Frame (the list owns it from then on); returns its index.
  Integer Add(TGIFSubImage* Frame);
  void FitScreenToFrames();
  // Makes the image smaller without changing what it shows; no colours are
  // reduced. "Invalid reduction method" for a custom palette asked for
  // without the clean-up.
  void Optimize(Word Options, Byte ReductionMethod, Byte DitherKind, Integer ReductionColorBits);
  // The image's palette, built once and kept (owned by the image):
  // web-safe when dithering, else the global table's, else frame 0's.
  HPALETTE Palette() override;
  HPALETTE GetPalette() { return Palette(); }
  // Replaces the cached palette; SetPalette(nullptr) drops it, which every
  // change of the global table does.
  void SetPalette(HPALETTE Value) override;
  virtual void Warning(TObject* Sender, Byte Severity, const WideString& Message);
  void ScreenChanged() { Changed(this); }
  void Changed(TObject* Sender) override { TGraphic::Changed(Sender); }
  void AssignTo(TPersistent* Dest) override;
  // The whole logical screen as one bitmap (frame 0 drawn into it), kept
  // until the image changes; nil for an empty image. The image owns it.
  TBitmap* GetBitmap();
  void FreeRenderBitmap();
  bool DoDither() const;
  void Progress(TObject* Sender, TProgressStage Stage, Byte PercentDone, bool RedrawNow, const TRect& R,
                const WideString& Msg);
  // AData 0 takes the clipboard's own data of AFormat. The GIF format and
  // CF_BITMAP load; anything else raises "Unsupported clipboard format".
  void LoadFromClipboardFormat(Word AFormat, HGLOBAL AData, HPALETTE APalette);
  // Gives the bitmap form in the three results and puts the GIF stream on
  // the (open) clipboard under the GIF format.
  void SaveToClipboardFormat(Word& AFormat, HGLOBAL& AData, HPALETTE& APalette);

  // Painters (started by Draw for animations).
  TGIFPainter* CreatePainter(TGIFPainter** Slot, TCanvas* Canvas, const TRect& Rect, Word Options);
  void StopAllPainters();
  void StopDrawPainter();
  TGIFPainter* ActivePainter = nullptr;
  // Every live painter of this image; the lock also orders their start and stop.
  TThreadList* PainterList() { return &FPainterList; }

  Byte CompressionKind = gcmLZW;
  Integer StillFrameIndex = -1;
  Word PaintOptions = DefaultPaintOptions;
  Byte ReductionMethod = 6;  // web-safe
  Integer ReductionColorBits = 8;
  Byte DitherKind = 0;  // nearest
  TThreadPriority PainterPriority = tpNormal;
  Integer AnimationRate = 100;
  TColor AnimationBackColor = clNone;
  TGIFWarning OnGIFWarning;
  TProgressEvent OnProgress;
  TNotifyEvent OnAnimationStart, OnFramePaint, OnFramePainted, OnAnimationLoop, OnAnimationEnd;
  // The timing of painters this image creates (the system's when unset).
  std::shared_ptr<class TGIFPainterClock> PainterClock;

 private:
  bool FInDraw = false;
  bool FInGetPalette = false;
  TGIFImageList FFrames{this};
  TGIFHeader FHeader{this};
  HPALETTE FPaletteHandle = nullptr;
  std::unique_ptr<TBitmap> FRenderBitmap;
  TThreadList FPainterList;
};
