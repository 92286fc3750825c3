// The processing companion of a view: the component through which pictures
// are changed, with undo and redo. It follows the current picture of an
// attached view (or works on a picture handed to it), brings the picture into
// a pixel format an operation accepts, restricts masked operations to the
// view's selection, reports progress and asks the view to repaint.
#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iemask.h"
#include "imaging/core/kernels/ieblur.h"     // TIEGaussKernel
#include "imaging/core/kernels/iefilters.h"  // TIEFilter3x3
#include "imaging/view/ieview.h"
#include "platform/base/components.h"
#include "platform/graphics/globalmem.h"  // HGLOBAL

class TBitmap;
class TImage;
class TStream;

// A set of pixel formats, one bit per format value; values above 15 are never
// members. The empty set admits every format.
using TIEPixelFormatSet = Word;
constexpr TIEPixelFormatSet IEPixelFormatBit(TIEPixelFormat F) {
  return static_cast<unsigned>(F) < 16 ? static_cast<TIEPixelFormatSet>(1u << F) : 0;
}
template <typename... F>
constexpr TIEPixelFormatSet IEPixelFormats(F... Formats) {
  return static_cast<TIEPixelFormatSet>((IEPixelFormatBit(Formats) | ... | 0));
}

// What a view offers the undo stacks beyond its picture: its selection and
// its layers as opaque streams. The single-image view implements it; the
// processor finds it on the attached view, so it never depends on how the
// view stores them. A layer record starts with its 32-bit length (counted
// from its first byte) and the layer's 16-byte identifier.
class TIEUndoViewState {
 public:
  virtual ~TIEUndoViewState() = default;
  virtual void SaveSelectionToStream(TStream* Stream) = 0;
  // Mode 1 keeps the selection inside a picture whose size changed.
  virtual void LoadSelectionFromStream(TStream* Stream, Integer Mode) = 0;
  virtual Integer UndoLayerCount() = 0;
  virtual void SaveLayerToStream(Integer Index, TStream* Stream, bool WithBitmap) = 0;
  virtual void LoadLayerFromStream(Integer Index, TStream* Stream) = 0;
  virtual void GetLayerIdentifier(Integer Index, Byte Identifier[16]) = 0;
  virtual void SaveLayersToStream(TStream* Stream, Integer Compression) = 0;
  virtual void LoadLayersFromStream(TStream* Stream) = 0;
};

// The work of one masked operation between BeginOperation and EndOperation:
// the rectangle (x2, y2 exclusive) of Work to change, and the selection.
struct TIEProcOperation {
  Integer x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TIEBitmap* Work = nullptr;
  TIEMask* Mask = nullptr;
  std::unique_ptr<TIEBitmap> Temporary;  // the selection's box, copied out
};

// One histogram entry: the pixels whose red, green, blue or gray is its index.
struct TIEHistogramEntry {
  Cardinal r, g, b, gray;
};
using TIEHistogram = TIEHistogramEntry[256];

class TZiduzUvProc : public TComponent {
 public:
  // AutoUndo is on only with an owner: a temporary processor keeps no undo.
  explicit TZiduzUvProc(TComponent* AOwner);
  // A processor without owner (no undo) working on Bitmap.
  static std::unique_ptr<TZiduzUvProc> CreateFromBitmap(TIEBitmap* Bitmap);
  // Unregisters from a live view; frees every undo and redo entry.
  ~TZiduzUvProc() override;

  // --- attachment ---------------------------------------------------------------

  TIEView* AttachedZiduzUv() const { return FView; }
  // Follows View's current picture from now on (nil detaches; the processor
  // then works on an empty picture of its own).
  void SetAttachedZiduzUv(TIEView* View);
  // Works on Bitmap (not owned) and detaches any view or image control; nil
  // is ignored while a view or an image control is attached.
  void SetAttachedIEBitmap(TIEBitmap* Bitmap);
  // Works on a platform bitmap through a wrapper (the bitmap is not owned).
  void SetAttachedBitmap(TBitmap* Bitmap);
  TBitmap* AttachedBitmap() const { return FAttachedTBitmap; }
  TImage* AttachedTImage() const { return FImage; }
  void SetAttachedTImage(TImage* Image);
  // The picture every operation changes; never nil.
  TIEBitmap* AttachedIEBitmap() const { return FIEBitmap; }
  // The registration with the attached view, -1 when none.
  Integer ChangeHandlerHandle() const { return FHandlerHandle; }
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // --- properties -----------------------------------------------------------------

  bool AutoUndo() const { return FAutoUndo; }
  void SetAutoUndo(bool Value) { FAutoUndo = Value; }
  bool AutoConvertFormat() const { return FAutoConvertFormat; }
  void SetAutoConvertFormat(bool Value) { FAutoConvertFormat = Value; }
  Integer UndoLimit() const { return FUndoLimit; }
  void SetUndoLimit(Integer Value) { FUndoLimit = Value; }
  TIELocation UndoLocation() const { return FUndoLocation; }
  void SetUndoLocation(TIELocation Value) { FUndoLocation = Value; }
  // The attached view's background, else the processor's own.
  TColor Background() const;
  void SetBackground(TColor Value);
  Integer GetDpiX() const;
  Integer GetDpiY() const;

  TIEProgressEvent OnProgress;
  TNotifyEvent OnFinishWork;
  TIESaveUndoEvent OnSaveUndo;

  // --- the frame of every operation -------------------------------------------------

  // A picture to work on, in a format of Allowed (converted when
  // AutoConvertFormat allows).
  bool PrepareBitmap(TIEPixelFormatSet Allowed);
  bool CheckPixelFormat(TIEPixelFormatSet Allowed);
  // The rectangle to work on (x2, y2 exclusive): the selection's box when the
  // attached view has a selection with a non-empty mask, else the picture.
  // Mask is the view's selection mask (even without selection), else nil.
  // True when the view reports a selection.
  virtual bool GetSelectionArea(Integer& x1, Integer& y1, Integer& x2, Integer& y2, TIEMask*& Mask);
  // Starts a masked operation: admits the format, saves the undo entry and
  // copies the selection's box out. False: nothing changed and nothing saved.
  bool BeginOperation(TIEPixelFormatSet Allowed, const WideString& Caption, TIEProcOperation& Op);
  // Copies the changed box back through the mask, then refreshes the view.
  void EndOperation(TIEProcOperation& Op);
  void RefreshAttached();
  // OnProgress with 100, then OnFinishWork.
  virtual void DoFinishWork();
  // OnProgress with Percent when it is set.
  void Progress(Integer Percent);
  // A progress method for the kernels (empty when OnProgress is).
  TIEProgressEvent ProgressEvent();

  // --- undo and redo ----------------------------------------------------------------

  virtual void SaveUndo(TIEUndoSource Source = ieuImage);
  void SaveUndoCaptioned(const WideString& Caption, TIEUndoSource Source = ieuImage);
  virtual void SaveRedo(TIEUndoSource Source = ieuImage);
  virtual void Undo(bool SaveRedo = false);
  // Index counts from the newest entry (0 = newest); the entry stays.
  virtual void UndoAt(Integer Index, bool SaveRedo = false);
  virtual void Redo();
  virtual void RedoAt(Integer Index);
  void ClearUndo();
  virtual void ClearRedo();
  void ClearUndoAt(Integer Index);
  void ClearAllUndo();
  void ClearAllRedo();
  bool CanUndo() const { return !FUndo.empty(); }
  bool CanRedo() const { return !FRedo.empty(); }
  Integer GetUndoCount() const { return static_cast<Integer>(FUndo.size()); }
  Integer GetRedoCount() const { return static_cast<Integer>(FRedo.size()); }
  // Index counts from the oldest entry (0 = oldest).
  TIEUndoSource GetUndoSource(Integer Index) const;
  // The caption of the undo (redo) entry at Index from the oldest; empty
  // outside the stack.
  WideString UndoCaptions(Integer Index) const;
  WideString RedoCaptions(Integer Index) const;

  // --- geometry ----------------------------------------------------------------------

  void ImageResize(Integer NewWidth, Integer NewHeight, Integer HorizAlign = 0, Integer VertAlign = 0,
                   Integer AlphaFill = 255);
  void Resample(Integer NewWidth, Integer NewHeight, TResampleFilter Filter = rfNone);
  void ResampleTo(TIEBitmap* Target, Integer NewWidth, Integer NewHeight, TResampleFilter Filter = rfNone);
  void Flip(Byte Direction);
  // Corners inclusive; the rectangle is cut to the picture.
  void Crop(Integer x1, Integer y1, Integer x2, Integer y2);
  void CropRect(const TRect& Rect) { Crop(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
  void CropTransparentBorder();
  // Positive angles turn counter-clockwise on the screen. AntialiasMode 1
  // bilinear, 2 bicubic; Background -1 is the processor's background.
  void Rotate(double Angle, bool Antialias = true, Byte AntialiasMode = 1, TColor Background = -1);

  // --- colour conversion ---------------------------------------------------------------

  void ConvertToGray();
  void Negative();
  // Below 3 colours black and white (DitherMethod 0 ordered dither, else the
  // average's threshold), 3..1024 quantized in 24 bits, above nothing.
  void ConvertTo(Integer NumColors, Byte DitherMethod = 0);
  // Like ConvertTo, and fills Palette (NumColors triples) with the colours.
  void ConvertToPalette(Integer NumColors, TRGB* Palette, Byte DitherMethod = 0);
  void ConvertToBWThreshold(Integer Threshold = -1);
  void ConvertTo24Bit();

  // --- adjustments, histogram, channels ----------------------------------------------

  void IntensityRGBall(Integer r, Integer g, Integer b);
  // Counts the pixels of the picture or of its selection (no undo, no events).
  void GetHistogram(TIEHistogram& Histogram);
  // Three gray pictures of the red, green and blue (hue, saturation and
  // value) channels; the picture itself is unchanged.
  void SplitToRGBChannels(TIEBitmap* R, TIEBitmap* G, TIEBitmap* B) { SplitChannels(R, G, B, false); }
  void SplitToHSVChannels(TIEBitmap* H, TIEBitmap* S, TIEBitmap* V) { SplitChannels(H, S, V, true); }

  // --- edges -----------------------------------------------------------------------

  // The picture becomes a 1-bit drawing of its edges (black on white).
  // Nothing for a smoothing outside 0 < b < 1.
  void EdgeDetect(Integer WindowSize = 7, Integer ThinFactor = 0, double Ratio = 0.99, double Smoothing = 0.9,
                  bool Hysteresis = true);

  // --- clipboard ---------------------------------------------------------------------
  // None of these finishes work (no OnFinishWork).

  bool CopyToClipboard(bool WithRaw = true);
  bool SelCopyToClip(bool WithRaw = true);
  bool SelCutToClip(bool WithRaw = true);
  // The first format on offer: raw, else PNG, else DIB.
  void PasteFromClipboard();
  void SelPasteFromClipStretch(bool MergeAlpha = false);

  // --- merge, fill, clear, transparency ---------------------------------------------

  // Blends Bitmap, stretched over the selection's box (or the picture), into
  // the picture; Percent is the share of the picture's own pixels.
  void Merge(TIEBitmap* Bitmap, Integer Percent);
  void MergeTBitmap(TBitmap* Bitmap, Integer Percent);
  // Color is a packed triple (byte 0 blue).
  void Fill(Cardinal Color);
  void Clear();
  // Pixels whose channels all lie in MinColor..MaxColor get alpha Alpha.
  void SetTransparentColors(Cardinal MinColor, Cardinal MaxColor, Integer Alpha);

 private:
  struct TUndoEntry {
    std::unique_ptr<TObject> Data;
    TIEUndoSource Kind = ieuUnknown;
    WideString Caption;
  };
  using TUndoStack = std::vector<TUndoEntry>;

  void BitmapChanged(TObject* Sender, bool Destroying);
  // Drops the view; ViewAlive false when it is being destroyed.
  void ForgetView(bool ViewAlive);
  void UseOwnBitmap();
  void RewrapTBitmap();
  // The selection's rectangle of Op, its box copied out when masked.
  bool BeginOperationBox(TIEProcOperation& Op);
  void ConvertToColors(Integer NumColors, TRGB* Palette, Byte DitherMethod);
  void SplitChannels(TIEBitmap* A, TIEBitmap* B, TIEBitmap* C, bool HSV);
  bool CopySelection(bool WithRaw, Integer x1, Integer y1, Integer x2, Integer y2, TIEMask* Mask);
  // Whether CheckPixelFormat would succeed, without converting.
  bool CanAdmit(TIEPixelFormatSet Allowed) const;
  // One entry of the present state of kind Source; nil when there is none.
  std::unique_ptr<TObject> TakeState(TIEUndoSource Source);
  bool PushState(TUndoStack& Stack, TIEUndoSource Source);
  void RestoreEntry(TUndoEntry& Entry);
  void RestoreLayers(TStream* Stream);
  TIEUndoViewState* ViewState() const;
  TIEUndoObjectState* ObjectState() const;

  TIEView* FView = nullptr;
  Integer FHandlerHandle = -1;
  TIEBitmap* FIEBitmap = nullptr;
  std::unique_ptr<TIEBitmap> FOwnBitmap;
  TBitmap* FAttachedTBitmap = nullptr;
  TImage* FImage = nullptr;
  TColor FBackground = 0;
  bool FAutoUndo = false;
  bool FAutoConvertFormat = true;
  Integer FUndoLimit = 1;
  TIELocation FUndoLocation = ieFile;
  TUndoStack FUndo, FRedo;
  // The attached single-image view's streams, when the view does not offer
  // the interface itself.
  mutable std::unique_ptr<TIEUndoViewState> FAdapter;
  mutable TIEView* FAdapterView = nullptr;
};

// --- free routines of the operations ------------------------------------------------

// True when Angle has no fraction and is a multiple of 90.
bool IEIsRightAngleMultiple(double Angle);
// Quarter turns of one-byte-per-pixel pictures (Dst is allocated).
void IERotate90Clockwise8(TIEBitmap* Src, TIEBitmap* Dst);
void IERotate90CounterClockwise8(TIEBitmap* Src, TIEBitmap* Dst);
// Three-shear rotation of an ie8g or ie8p picture in place.
void IERotateShear8(TIEBitmap* Bitmap, bool Antialias, Byte Background, const TIEProgressEvent& OnProgress,
                    TObject* Sender, double Angle);
// Nearest-neighbour rotation of an ie8g or ie8p picture in place.
void IERotateNearest8(TIEBitmap* Bitmap, Byte Background, double Angle);
// Bilinear (Mode 1) or bicubic (Mode 2) rotation of an ie24RGB or one-byte
// picture in place; the canvas grows to the turned picture.
void IERotateQuality24(TIEBitmap* Bitmap, TColor Background, Byte Mode, const TIEProgressEvent& OnProgress,
                       TObject* Sender, double Angle);
void IERotateQuality8(TIEBitmap* Bitmap, Byte Background, Byte Mode, double Angle);
// Nearest-neighbour rotation of any format into the turned canvas size.
void IERotateResized(TIEBitmap* Bitmap, double Background, const TIEProgressEvent& OnProgress, TObject* Sender,
                     double Angle);
// Makes the four corners transparent outside rounded arcs.
void IERoundCorners(TIEBitmap* Bitmap, Integer CornerWidth, Integer CornerHeight);

// Row kernels over the rectangle x1..x2, y1..y2 (x2, y2 exclusive; cut to
// the picture), reporting progress per row.
void IEConvertToGray24(TIEBitmap* Bitmap, Integer x1, Integer y1, Integer x2, Integer y2,
                       const TIEProgressEvent& OnProgress, TObject* Sender);
// Every format; ie8p inverts its palette and leaves the pixels.
void IENegative(TIEBitmap* Bitmap, Integer x1, Integer y1, Integer x2, Integer y2, const TIEProgressEvent& OnProgress,
                TObject* Sender);
// Reduces an ie24RGB picture to Count colours in place; Palette (Count
// triples) receives them when given.
void IEQuantizeColors(TIEBitmap* Bitmap, Integer Count, TRGB* Palette, const TIEProgressEvent& OnProgress,
                      TObject* Sender);
// Target := the ie1g Source as ie24RGB black and white.
void IEExpand1BitTo24(TIEBitmap* Source, TIEBitmap* Target, const TIEProgressEvent& OnProgress, TObject* Sender);
void IEMergeBitmap24(TIEBitmap* Bitmap, TIEBitmap* Source, Integer Percent, Integer x1, Integer y1, Integer x2,
                     Integer y2, const TIEProgressEvent& OnProgress, TObject* Sender);
// ie24RGB: the triple; ie1g: black when the red byte is 0, else white.
void IEFillRect24(TIEBitmap* Bitmap, Integer x1, Integer y1, Integer x2, Integer y2, Cardinal Color,
                  const TIEProgressEvent& OnProgress, TObject* Sender);
void IESetTransparentRange(TIEBitmap* Bitmap, Cardinal MinColor, Cardinal MaxColor, Integer Alpha, Integer x1,
                           Integer y1, Integer x2, Integer y2, const TIEProgressEvent& OnProgress, TObject* Sender);
// Pixels of alpha 0 of an ie24RGB picture take Color.
void IEFillTransparentPixels(TIEBitmap* Bitmap, Cardinal Color);

// Adjustments of the rectangle of an ie24RGB picture (other formats: nothing).
void IEAdjustIntensityRGB(TIEBitmap* Bitmap, Integer r, Integer g, Integer b, TObject* Sender,
                          const TIEProgressEvent& OnProgress, Integer x1, Integer y1, Integer x2, Integer y2);
void IEAdjustContrast(TIEBitmap* Bitmap, Integer MeanR, Integer MeanG, Integer MeanB, double Contrast,
                      TObject* Sender, const TIEProgressEvent& OnProgress, Integer x1, Integer y1, Integer x2,
                      Integer y2);
void IEAdjustHSL(TIEBitmap* Bitmap, Integer Hue, Integer Saturation, Integer Lightness, TObject* Sender,
                 const TIEProgressEvent& OnProgress, Integer x1, Integer y1, Integer x2, Integer y2);
// Channels: bit 1 red, 2 green, 4 blue (7 all). Nothing for gamma <= 0.
void IEGammaCorrect(TIEBitmap* Bitmap, Byte Channels, TObject* Sender, const TIEProgressEvent& OnProgress,
                    double Gamma);
// False (table untouched) for gamma <= 0.
bool IEBuildGammaTable(double Gamma, Byte* Table);
// The integer HSV model: hue 0..359, saturation and value 0..99; Color is a
// packed triple (byte 0 blue).
void IERGBToHSV(Integer& Hue, Integer& Saturation, Integer& Value, Cardinal Color);
void IEHSVToRGB(TRGB& Color, Integer Hue, Integer Saturation, Integer Value);

// 3x3 convolution of the rectangle of an ie24RGB picture: abs(sum) div
// divisor (0 taken as 1), limited to 255, in 64-bit arithmetic.
void IEApplyFilter3x3(TIEBitmap* Bitmap, const TIEFilter3x3& Filter, const TIEProgressEvent& OnProgress,
                      TObject* Sender, Integer x1, Integer y1, Integer x2, Integer y2);
// Reads a 43-byte filter file (header 1, 3, 3). True only when a whole
// record was read; otherwise Filter is left as it was. A file that cannot be
// opened raises.
bool IELoadFilterFromFile(const WideString& FileName, TIEFilter3x3& Filter);
void IESaveFilterToFile(const WideString& FileName, const TIEFilter3x3& Filter);
void IEConvolveRow24(const TIEGaussKernel& Kernel, const Byte* Src, Byte* Dst, Integer Count);
// Separable blur of an ie8g or ie24RGB picture.
void IEGaussianBlur(TIEBitmap* Bitmap, TObject* Sender, const TIEProgressEvent& OnProgress, double Radius);
// Kind 0 maximum, 1 minimum, 2 minimum then maximum, 3 maximum then minimum.
void IEMorphFilter(TIEBitmap* Bitmap, Integer WindowRadius, Integer Kind, TObject* Sender,
                   const TIEProgressEvent& OnProgress, Integer x1, Integer y1, Integer x2, Integer y2);

// Effects; colours are packed triples (byte 0 blue).
void IEBumpMap(TIEBitmap* Bitmap, Integer LightX, Integer LightY, TIEProgressRec& Progress, Integer x1, Integer y1,
               Integer x2, Integer y2, Cardinal Color, Integer SourcePercent, Integer LightHeight,
               Integer LightWidth);
void IELensRefract(double& rx, double& ry, double y, double x, double HalfHeight, double HalfWidth,
                   double Refraction);
// Nothing for |Refraction| < 1 or a lens box without area.
void IELensEffect(TIEBitmap* Bitmap, Integer CentreX, Integer CentreY, TIEProgressRec& Progress, double Refraction,
                  Integer Height, Integer Width);
Byte IEBilinearByte(Byte c00, Byte c10, Byte c01, Byte c11, double x, double y);
// ie24RGB pictures only.
void IEWaveEffect(TIEBitmap* Bitmap, Integer Amplitude, Integer Wavelength, TIEProgressRec& Progress, bool Reflective,
                  Integer Phase);
void IEAddSoftShadow(TIEBitmap* Bitmap, Integer OffsetX, Integer OffsetY, TObject* Sender,
                     const TIEProgressEvent& OnProgress, Cardinal ShadowColor, bool Enlarge, Integer Intensity,
                     double Radius);
double IEArcSin(double x);
double IETan(double x);

// The edge detector on an ie24RGB Source into Target (ie1g; may be Source).
// Ratio is the share of candidate gradients below the high threshold.
void IEShenCastan(TIEBitmap* Source, TIEBitmap* Target, double Smoothing, double Ratio, Integer WindowSize,
                  bool Hysteresis, Integer ThinFactor, TIEProgressRec& Progress);

// The fill value (as TIEBitmap::Fill reads it) of a colour in Bitmap's
// format: gray by the library's weights, the nearest palette entry.
double IEBackgroundValue(TIEBitmap* Bitmap, TColor Background);
// A packed DIB of the mask's box with the unselected pixels in Background.
HGLOBAL IESelectionToDIB(TIEBitmap* Bitmap, TIEMask* Mask, TColor Background, Integer DpiX, Integer DpiY);
// The selected pixels take Background.
void IEFillMasked(TIEBitmap* Bitmap, TIEMask* Mask, TColor Background);

// Readers of clipboard blocks from any program: B takes the picture only
// when the whole block was read (false: B untouched).
bool IEClipboardReadRaw(const std::vector<Byte>& Data, TIEBitmap& B);
bool IEClipboardReadDIB(const std::vector<Byte>& Data, TIEBitmap& B);
bool IEClipboardReadPNG(const std::vector<Byte>& Data, TIEBitmap& B);

// The unit's start-up and shut-down (built tables).
void IEProcInitialize();
void IEProcFinalize();
