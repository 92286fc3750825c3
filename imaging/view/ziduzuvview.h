// The single-image view: shows the current layer's picture zoomed and
// scrolled over a background, keeps a selection and a stack of layers, and
// creates its I/O, processing and transition companions on first use.
//
// The class is implemented by concern: lifecycle, companions, locks and
// messages in ziduzuvview.cpp; zoom, origin, extent, coordinate tables and
// conversions in ziduzuvview_geom.cpp; the display pipeline and the scroll
// bars, wheel and navigator in files of their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/iedefs.h"
#include "imaging/core/base/iehelpers.h"
#include "imaging/core/base/ielists.h"
#include "imaging/core/bitmap/iemask.h"
#include "imaging/core/base/ieprogress.h"
#include "imaging/view/iebackground.h"
#include "imaging/view/ietransitions.h"
#include "imaging/view/ieview.h"
#include "platform/graphics/graphic.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/stdctrls.h"

class TZiduzUvIO;
class TZiduzUvView;

// Messages posted to the view's window by work on other threads.
enum : UINT {
  IEM_NEWFRAME = 0x0400 + 7001,  // 8025: LParam = the video source that has a new frame
  IEM_EVENT = 0x0400 + 7002,     // 8026: LParam = the video source whose graph signalled
};

// What the view needs of a video source that renders into it and posts
// messages 8025 and 8026 (the acquisition subsystem implements it).
class TIEVideoNotifier {
 public:
  virtual ~TIEVideoNotifier() = default;
  virtual bool IsConnected() = 0;
  // While set, the source posts 8025 for every new frame.
  virtual void SetNotifyNewFrames(bool Value) = 0;
};

// --- enumerations and sets of the view ----------------------------------------------
enum TIEMouseInteractItems : Word {
  miZoom, miScroll, miSelect, miSelectPolygon, miSelectCircle, miSelectZoom, miSelectMagicWand, miSelectLasso,
  miMoveLayers, miResizeLayers, miRotateLayers, miMovingScroll,
};
using TIEMouseInteract = TEnumSet<TIEMouseInteractItems>;

enum TIESelectionOptionsItems {
  iesoAnimated, iesoSizeable, iesoMoveable, iesoFilled, iesoCutBorders, iesoMarkOuter, iesoCanScroll,
  iesoSelectTranspLayers, iesoRightButtonSelectLayers, iesoRightButtonTerminatePolySelect,
};
using TIESelectionOptions = TEnumSet<TIESelectionOptionsItems>;

enum TIESelectionBase : Byte { iesbClientArea, iesbBitmap };

// Grip numbers; 0 is none (the same value as the pixel format's ieNone).
enum TIEGrip : Byte {
  ieTopLeft = 1, ieTopRight, ieBottomRight, ieBottomLeft, ieLeftSide, ieRightSide, ieTopSide, ieBottomSide,
  ieRotationCenter,
};

enum TIELayerEvent : Byte { ielSelected, ielMoved, ielResized, ielMoving, ielResizing, ielRotating, ielRotated };

// --- event types --------------------------------------------------------------------
using TViewChangingEvent = std::function<void(TObject* Sender, Integer Change, double NewValue)>;
using TViewChangeEvent = std::function<void(TObject* Sender, Integer Change)>;
using TIEMouseInResizingGripEvent = std::function<void(TObject* Sender, TIEGrip Grip)>;
using TIEZoomEvent = std::function<void(TObject* Sender, double& NewZoom)>;
using TIEOnDrawBackground = std::function<void(TObject* Sender, TCanvas* ACanvas, const TRect& ARect, bool& Handled)>;
using TIEOnDrawCanvas = std::function<void(TObject* Sender, TCanvas* ACanvas, const TRect& ARect)>;
using TIEOnDrawPolygon =
    std::function<void(TObject* Sender, Integer Polygon, Integer Point, TCanvas* Canvas, Integer X, Integer Y)>;
using TIEDrawLayerBoxEvent = std::function<void(TObject* Sender, TBitmap* ABitmap, Integer Layer)>;
using TIEDrawLayerGrip =
    std::function<void(TObject* Sender, TBitmap* ABitmap, Integer Layer, Integer Grip, const TRect& Rect)>;
using TIELayerNotify = std::function<void(TObject* Sender, Integer Layer, TIELayerEvent Event)>;
using TIESpecialKeyEvent = std::function<void(TObject* Sender, Word CharCode, TShiftState Shift, bool& Handled)>;

// The magnifier settings of a layer; copied and stored as one 24-byte block.
struct TIELayerMagnification {
  bool Enabled = false;
  double Rate = 2.0;
  Byte Style = 0;   // 0 rectangle, 1 ellipse
  Byte Source = 1;  // 0 magnify layer 0, 1 magnify what is drawn below
};

// One layer of a view: a picture (owned unless handed in), where it lies,
// how it is drawn, and what the last draw made of it.
class TIELayer : public TObject {
 public:
  // With UseGivenBitmap the layer shows Bitmap (owned when Owns); otherwise
  // it makes a picture of its own with Bitmap's size and format (pixels not
  // copied), or an empty one for a null Bitmap.
  TIELayer(TZiduzUvView* Owner, TIEBitmap* Bitmap, bool UseGivenBitmap, bool Owns = true);
  ~TIELayer() override;

  // 0 means the picture's own size.
  Integer Width = 0, Height = 0;
  // Composed alpha of this layer and its mask layer, rebuilt by the paint;
  // dropped whenever the two may have moved apart.
  std::unique_ptr<TIEBitmap> MaskCache;
  TIEBitmap* Bitmap = nullptr;
  bool Visible = true;
  bool VisibleBox = true;
  Integer Transparency = 255;
  Integer PosX = 0, PosY = 0;
  // Where the last draw put the layer, in client pixels (edges inclusive for
  // hit tests).
  TRect ClientAreaBox;
  bool Cropped = false;
  bool Locked = false;
  bool Selectable = true;
  TIELayerMagnification Magnify;
  Byte Operation = 0;
  // Caller data; with UserDataLen > 0 the layer owns the block (allocated
  // with std::malloc) and frees it.
  void* UserData = nullptr;
  Integer UserDataLen = 0;
  bool OwnsBitmap = true;
  TResampleFilter ResampleFilter = rfNone;
  bool UseResampleFilter = false;
  AnsiString Name;
  WideString WideName;
  bool IsMask = false;
  // Destination (x, y, w, h, client) and source (x, y, w, h, bitmap) of the
  // last draw, and the client corners of the rotated layer.
  Integer DrawnRect[8] = {};
  TPoint DrawnCorners[4] = {};
  bool DrawOuter = false;
  TGUID GUID{};
  double RotateCenterX = 0.5, RotateCenterY = 0.5;

  TZiduzUvView* Owner() const { return FOwner; }
  double Rotate() const { return FRotate; }
  // A whole multiple of 360 is stored as 0; any other value as it is.
  void SetRotate(double Angle);
  // The defaults of every placement and drawing property (not the picture,
  // its ownership, the names, the filter or the identity).
  void ResetProperties();
  // Copies the placement, drawing properties and pixels of Source; the copy
  // never owns Source's user data, and keeps its own rotation and identity.
  void Assign(TIELayer* Source);
  Integer GetWidth() const;
  Integer GetHeight() const;
  // The single-layer record that undo keeps (with or without the pixels).
  // The loader reads every field back into this layer; False, with the layer
  // unchanged, for a record cut short or malformed.
  void SaveToStream(TStream* Stream, bool WithBitmap);
  bool LoadFromStream(TStream* Stream);
  // Client coordinates to this layer's bitmap pixels and back.
  Integer ClientToBitmapX(Integer X);
  Integer ClientToBitmapY(Integer Y);
  Integer BitmapToClientX(Integer BX);
  Integer BitmapToClientY(Integer BY);

 private:
  TZiduzUvView* FOwner;
  double FRotate = 0;
};

// Layers that belong to no view yet: read from a document, or copied out
// of a view for a writer.
class TIELayerList : public std::vector<std::unique_ptr<TIELayer>> {};

class TZiduzUvView : public TIEView {
 public:
  explicit TZiduzUvView(TComponent* AOwner);
  ~TZiduzUvView() override;

  // =========================================================================
  // Published properties
  // =========================================================================
  bool LegacyBitmap() const { return FLegacyBitmap; }
  virtual void SetLegacyBitmap(bool Value);
  bool DoubleBuffer() const { return FDoubleBuffer; }
  void SetDoubleBuffer(bool Value) { FDoubleBuffer = Value; }
  TResampleFilter ZoomFilter() const { return FZoomFilter; }
  void SetZoomFilter(TResampleFilter Value);
  bool DelayZoomFilter() const { return FDelayZoomFilter; }
  void SetDelayZoomFilter(bool Value) { FDelayZoomFilter = Value; }
  TScrollStyle ScrollBars() const { return FScrollBars; }
  virtual void SetScrollBars(TScrollStyle Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  bool AutoFit() const { return FAutoFit; }
  void SetAutoFit(bool Value);
  bool AutoStretch() const { return FAutoStretch; }
  void SetAutoStretch(bool Value);
  bool AutoShrink() const { return FAutoShrink; }
  void SetAutoShrink(bool Value);
  TIEMouseInteract MouseInteract() const { return FMouseInteract; }
  // Keeps the set consistent (the first rule that applies); ends an open
  // polygon when polygon selection is switched off.
  virtual void SetMouseInteract(TIEMouseInteract Value);
  TIESelectionOptions SelectionOptions() const { return FSelectionOptions; }
  // Also the current outline's animation and grips.
  void SetSelectionOptions(TIESelectionOptions Value);
  TIESelectionBase SelectionBase() const { return FSelectionBase; }
  void SetSelectionBase(TIESelectionBase Value) { FSelectionBase = Value; }
  TIEBackgroundStyle BackgroundStyle() const { return FBackgroundStyle; }
  void SetBackgroundStyle(TIEBackgroundStyle Value);
  TPicture* WallPaper() const { return FWallPaper.get(); }
  void SetWallPaper(TPicture* Value);
  TIEWallPaperStyle WallPaperStyle() const { return FWallPaperStyle; }
  void SetWallPaperStyle(TIEWallPaperStyle Value);
  bool EnableAlphaChannel() const { return FEnableAlphaChannel; }
  void SetEnableAlphaChannel(bool Value);
  bool EnableInteractionHints() const { return FEnableInteractionHints; }
  void SetEnableInteractionHints(bool Value) { FEnableInteractionHints = Value; }
  bool FlatScrollBars() const { return FFlatScrollBars; }
  void SetFlatScrollBars(bool Value);
  bool DrawVersion() const { return FDrawVersion; }
  void SetDrawVersion(bool Value);
  // Always "3.0.4"; the setter ignores what forms store in it.
  WideString ZiduzUvVersion() const { return IEZiduzUvVersion; }
  void SetZiduzUvVersion(const WideString&) {}
  // The background setter stores, refreshes with the size reason and
  // announces an image change.
  void SetBackground(TColor Value) override;

  // =========================================================================
  // Published events
  // =========================================================================
  TViewChangingEvent OnViewChanging;
  TViewChangeEvent OnViewChange;
  TNotifyEvent OnImageChange;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnSelectionChanging;
  TNotifyEvent OnBeforeSelectionChange;
  TNotifyEvent OnMouseInSel;
  TIEMouseInResizingGripEvent OnMouseInResizingGrip;
  TNotifyEvent OnMouseEnterScroll;
  TNotifyEvent OnMouseLeaveScroll;
  TIEZoomEvent OnZoomIn;
  TIEZoomEvent OnZoomOut;
  TNotifyEvent OnPaint;
  TNotifyEvent OnDrawBackBuffer;
  TIEOnDrawBackground OnDrawBackground;
  TIEOnDrawCanvas OnDrawCanvas;
  TIEOnDrawPolygon OnDrawPolygon;
  TIEDrawLayerBoxEvent OnDrawLayerBox;
  TIEDrawLayerGrip OnDrawLayerGrip;
  TIELayerNotify OnLayerNotify;
  TIESpecialKeyEvent OnSpecialKey;
  TNotifyEvent OnDShowNewFrame;
  TNotifyEvent OnDShowEvent;

  // Stored in the view and passed on to the companions that exist.
  TIEProgressEvent OnProgress() const { return FOnProgress; }
  virtual void SetOnProgress(TIEProgressEvent Value);
  TNotifyEvent OnFinishWork() const { return FOnFinishWork; }
  virtual void SetOnFinishWork(TNotifyEvent Value);
  TIESaveUndoEvent OnSaveUndo() const { return FOnSaveUndo; }
  void SetOnSaveUndo(TIESaveUndoEvent Value);
  // Kept in the transition companion: the getters answer nil and create
  // nothing while there is none; the setters create it.
  TNotifyEvent OnTransitionStop() const;
  void SetOnTransitionStop(TNotifyEvent Value);
  TIETransitionStepEvent OnTransitionStep() const;
  void SetOnTransitionStep(TIETransitionStepEvent Value);
  TIEOnTransitionPaint OnTransitionPaint() const;
  void SetOnTransitionPaint(TIEOnTransitionPaint Value);

  // =========================================================================
  // Operations of the view base
  // =========================================================================
  TBitmap* GetBitmap() override;
  TIEBitmap* GetIEBitmap() override { return FIEBitmap; }
  TIEBitmap* GetAlphaChannel() override;
  bool HasAlphaChannel() override;
  void RemoveAlphaChannel(bool Merge) override;
  void LockPaint() override { ++FPaintLockCount; }
  Integer UnlockPaint() override;
  Integer UnlockPaintQuiet() override;
  void ImageChange() override;
  bool IsSingleImageView() const override { return true; }
  void LockUpdate() override { ++FUpdateLockCount; }
  void UnlockUpdateQuiet() override;
  void UnlockUpdate();
  bool HasParentWindow() override;
  // Layered content through the I/O companion: the layers stream and
  // document layers.
  bool CanHoldLayered(TIEFileType Kind) const override;
  bool LoadLayeredStream(TStream* Stream, TIEFileType Kind) override;
  bool TakeLayers(TIELayerListPtr Layers, bool Replace, Integer Width, Integer Height) override;
  // The view's own layers stay as they are.
  bool CopyLayeredDocument(TIEBitmap* Merged, TIELayerListPtr& Layers) override;

  // =========================================================================
  // Lifecycle, companions and image operations
  // =========================================================================
  // The companions, created on first request.
  TZiduzUvIO* GetIO();
  TZiduzUvProc* GetProc();
  TIETransitionEffects* GetTransition();
  bool HasIO() const { return FIO != nullptr; }
  bool HasProc() const { return FProc != nullptr; }
  bool HasTransition() const { return FTransition != nullptr; }

  // Fills the current image with Background, drops its alpha and refreshes.
  void Clear();
  // Stops a transition, makes the image 1 x 1 and clears it.
  void Blank();
  // Less than 2 pixels wide and less than 2 high.
  virtual bool IsEmpty();
  // A view (image, background, DPI), a platform bitmap (1-bit stays 1-bit,
  // everything else becomes 24-bit) or nil (clears). Other sources are ignored.
  void Assign(TPersistent* Source) override;
  void Assign(TBitmap* Source);
  // The whole image, or the selected part on Background, into Dest.
  void CopySelectionTo(TZiduzUvView* Dest);
  void CopySelectionTo(TBitmap* Dest);
  void CopySelectionToBitmap(TIEBitmap* Dest, bool OnBackground);
  void SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // The client size with a parent window and a window handle, else 50.
  virtual Integer GetViewWidth();
  virtual Integer GetViewHeight();
  // Recomputes the layout after any change (skipped while locked).
  void Update() override;

  // From a worker: the picture Decoded replaces the current image when
  // message 8024 arrives on the main thread. Until then the worker's picture
  // is never seen by the paint, and the current one is never touched by the
  // worker. A later delivery replaces a pending one.
  void DeliverDecodedBitmap(std::unique_ptr<TIEBitmap> Decoded) override;
  bool HasPendingBitmap();

  // =========================================================================
  // Layers (the single-layer part the view relies on)
  // =========================================================================
  Integer LayersCount() const { return static_cast<Integer>(FLayers.size()); }
  Integer GetLayerCount() const { return LayersCount(); }
  // Out-of-range indexes raise the list's std::out_of_range.
  TIELayer* Layers(Integer Index) const { return FLayers.at(static_cast<size_t>(Index)).get(); }
  TIELayer* GetLayer(Integer Index) const { return Layers(Index); }
  TIELayer* GetCurrentLayer() const { return Layers(FCurrentLayer); }
  Integer CurrentLayer() const { return FCurrentLayer; }
  // Makes layer Index current (stepping down past unselectable layers when
  // SelectableLayersOnly); the selection follows the layer's position.
  virtual void SetCurrentLayer(Integer Index);
  // A new layer of the current picture's size and format, filled with
  // Background, made current. Returns its index.
  Integer AddLayer();
  // Removes layer Index and the mask layer above it (nothing with fewer than
  // two layers or an index out of range).
  void RemoveLayer(Integer Index);
  // Leaves only layer 0, with default properties, locked and without box,
  // filled with Background.
  void ClearLayers();
  // Brings the layer list and the image extent in step with the picture.
  void SyncLayers();
  // Topmost visible layer whose drawn box holds the client point and whose
  // pixel there is not transparent; -1 when none.
  Integer FindLayerAt(Integer X, Integer Y, bool SelectableOnly = true);
  bool IsPointInLayer(Integer X, Integer Y, Integer Index);
  virtual void DoLayerNotify(Integer Layer, TIELayerEvent Event);
  bool SelectableLayersOnly() const { return FSelectableLayersOnly; }
  void SetSelectableLayersOnly(bool Value) { FSelectableLayersOnly = Value; }
  bool LayersSync() const { return FLayersSync; }
  void SetLayersSync(bool Value) { FLayersSync = Value; }
  Byte LayersCropping() const { return FLayersCropping; }
  void SetLayersCropping(Byte Value);
  Integer LayersCroppingValue() const { return FLayersCroppingValue; }
  void SetLayersCroppingValue(Integer Value);
  bool DrawAllLayerBoxes() const { return FDrawAllLayerBoxes; }
  void SetDrawAllLayerBoxes(bool Value) { FDrawAllLayerBoxes = Value; }
  // The layers stream at Stream's position. Compression -1 stores each
  // picture deflated, -2 as it is, any other value is the file type whose
  // writer stores it (1 is written as 8). Raises when a picture cannot be
  // stored (its length beyond the 32-bit field, a failing writer).
  void SaveLayersToStream(TStream* Stream, Integer Compression);
  // Replaces the layers with those of the stream; False, with the layers
  // and the stream's position unchanged, for anything not read whole.
  bool LoadLayersFromStream(TStream* Stream);
  bool LoadLayersFromFile(const WideString& FileName);
  // Renders the whole stack at 1:1 into Bitmap (grown to hold every
  // uncropped layer), without background or decorations.
  void RenderLayersTo(TIEBitmap* Bitmap);
  // One 24-bit layer of the rendered stack on Background, without alpha.
  void FlattenLayers();
  // Writes the display size (Index -1: of every layer) into the pixels with
  // the view's processor, then clears the size override.
  void LayersFixSizes(Integer Index);
  // LayersFixSizes, then writes each rotation into the pixels: the turned
  // layer keeps its place on the image and is cut to its opaque part.
  void LayersFixRotations(Integer Index);
  // Merges two layers into one at the lower index, made current; with
  // RemoveSecond the upper one (and its mask) goes too. Bad or equal indexes
  // do nothing.
  void MergeLayers(Integer First, Integer Second, bool RemoveSecond);
  // The merge of two layers (and the mask above the upper one) into Target.
  void MergeLayersInto(Integer First, Integer Second, TIEBitmap* Target);
  // The eight grip squares of a layer, in grip order less one.
  void GetLayerGripRects(Integer Layer, TRect (&Rects)[8]);
  // The current layer's grip under the client point (edges inclusive), or 0.
  TIEGrip FindLayerGrip(Integer X, Integer Y);
  void DrawLayerBox(TIEBitmap* Target, Integer Layer);
  void DrawLayerGrips(TIEBitmap* Target, Integer Layer);
  void DrawLayerRotationCenter(TIEBitmap* Target, Integer Layer);
  void DrawLayerOuter(TIEBitmap* Target, Integer Layer);
  void DrawSelectionOverlay(TIEBitmap* Target);
  void SetLayersGripStyle(TColor PenColor, TColor BrushColor, TBrushStyle BrushStyle, Integer Size, Integer Shape);
  Integer LayersGripSize() const { return FLayersGripSize; }
  TPoint HighlightedPixel() const { return FHighlightedPixel; }
  void SetHighlightedPixel(TPoint Value) { FHighlightedPixel = Value; }
  // Forgets every layer's composed mask alpha.
  void DropAllMaskCaches();

  // =========================================================================
  // Selection (ziduzuvview_selection.cpp) and its stream record
  // =========================================================================
  // The selection record: mask, polygon, box and the current layer's place.
  void SaveSelectionToStream(TStream* Stream);
  // Mode 2 re-bases the mask on the current layer's position; mode 1 moves
  // a selection that no longer fits back inside; mode 0 only cuts. False
  // when the record is cut short or malformed (nothing is then changed).
  bool LoadSelectionFromStream(TStream* Stream, Integer Mode);
  // Pushes the selection on the view's selection stack.
  void SaveSelection();
  // Loads the newest pushed selection; False on an empty stack.
  bool RestoreSelection(bool Remove = true, Integer Mode = 0);
  Integer SelectionStackCount() const { return static_cast<Integer>(FSelectionStreamStack.size()); }

  // Coordinates given to the selection commands are client coordinates
  // unless SelectionBase is iesbBitmap. The second corner is exclusive.
  // Op 0 replaces the selection, op 1 adds the rectangle to it.
  virtual void Select(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer Op = 0);
  void SelectRectangle(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer Op, bool Square, bool KeepInside);
  virtual void AddSelectionPoint(Integer X, Integer Y);
  // Fills the polygon into the mask; an empty result removes the selection.
  virtual void EndSelection();
  void Deselect();
  void InvertSelection();
  // Moves the selection by image pixels, stopping at the picture's border
  // unless iesoCutBorders.
  void MoveSelection(Integer DX, Integer DY);
  Integer DragSelection(Integer Index, Integer DX, Integer DY, bool Cut);
  bool IsPointInSelection(Integer X, Integer Y);
  // By WandMode: 0 the outline polygon of the region, 1 the connected
  // region, 2 every similar pixel. Add keeps the present selection.
  void SelectMagicWand(Integer X, Integer Y, bool Add);
  void EndPolygonSelection(bool Add, bool DropLastPoint);
  // The selection's box, inclusive, in bitmap pixels.
  Integer GetSelectionX1();
  Integer GetSelectionY1();
  Integer GetSelectionX2();
  Integer GetSelectionY2();
  const TPoint* GetSelectionPolygon() const;
  Integer GetSelectionPolygonCount() const;
  static bool IsRectPolygon(const TPoint* Points, Integer Count);
  bool SelectionVisible() const { return FSelectionVisible; }
  void SetSelectionVisible(bool Value);
  double SelectionAspectRatio() const { return FSelectionAspectRatio; }
  void SetSelectionAspectRatio(double Value);
  Integer FixedSelectionWidth() const { return FFixedSelectionWidth; }
  Integer FixedSelectionHeight() const { return FFixedSelectionHeight; }
  void SetFixedSelectionSize(Integer W, Integer H) {
    FFixedSelectionWidth = W;
    FFixedSelectionHeight = H;
  }
  void SetOutlineColor1(TColor Value);
  void SetOutlineColor2(TColor Value);
  TColor OutlineColor1() const { return FOutlineColor1; }
  TColor OutlineColor2() const { return FOutlineColor2; }
  void ShowOutline(bool Draw);
  void HideOutline(bool Repaint);
  bool OutlineVisible() const { return FCurrentPolygon->Visible; }
  void SetWandMode(Byte Mode, Integer Tolerance, Byte MaxFilter);
  Byte WandMode() const { return FWandMode; }
  Integer WandTolerance() const { return FWandTolerance; }
  // The press of a rectangle or ellipse drag at client (X, Y).
  void StartSelectionDrag(Integer X, Integer Y);
  // One move of a rectangle or ellipse drag to client (X, Y); Alt squares.
  void DragRectangle(Integer X, Integer Y, bool Shift, bool Alt);
  void DragEllipse(Integer X, Integer Y, bool Shift, bool Alt);
  // The press on a selection grip, then the moves: the grip dragged next.
  void BeginGripDrag(TIEGrip Grip);
  TIEGrip DragGrip(TIEGrip Grip, Integer X, Integer Y, bool Constrain);
  TIEGrip FindSelectionGrip(Integer X, Integer Y, bool Shift);
  // Zooms so that the selection fills the view and centres it; the
  // selection is removed.
  void ZoomToSelection(bool Single = true, bool Notify = false);
  bool GestureRunning() const { return SelectionGestureRunning(); }
  // Draws the outline of every visible selection polygon on the window:
  // moving dashes, grips, or the mask's own outline. A timer as Sender
  // advances the dashes' phase (not during a gesture).
  void DrawSelectionOutline(TObject* Sender, bool NotFromPaint);
  Integer OutlinePhase() const { return FOutlinePhase; }
  Integer SelectionPhase() const { return FCurrentPolygon->Phase; }
  Cardinal OutlineTimerInterval() const { return FOutlineTimer ? FOutlineTimer->Interval() : 0; }
  TRect OutlineDrawnRect() const { return FOutlineDrawnRect; }
  void SetSelectionGripStyle(TColor PenColor, TColor BrushColor, TBrushStyle BrushStyle, Integer Size,
                             bool Extended, Integer Shape);

  // =========================================================================
  // Mouse and keyboard (ziduzuvview_mouse.cpp)
  // =========================================================================
  // The resting cursor; gestures show others for a while.
  void SetCursor(TCursor Value) override;
  void SetTempCursor(TCursor Value);
  void RestoreCursor();
  TCursor RestingCursor() const { return FRestingCursor; }
  void SetHint(const WideString& Text, Integer X, Integer Y, const WideString& Sample);
  const WideString& HintText() const { return FHintText; }
  double ScrollSpeed() const { return FScrollSpeed; }
  void SetScrollSpeed(double Value) { FScrollSpeed = Value; }
  bool SelectZoomUniform() const { return FSelectZoomUniform; }
  void SetSelectZoomUniform(bool Value) { FSelectZoomUniform = Value; }
  Integer RotationSnapStep() const { return FRotationSnapStep; }
  // The next zoom of a zoom-in or zoom-out click from zoom Z.
  static double ZoomInStep(double Z);
  static double ZoomOutStep(double Z);
  // One step of the scroll toward a point past the displayed area; true
  // when the view scrolled.
  bool AutoScroll(Integer X, Integer Y);
  virtual void OffsetInteractionPoints(Integer DX, Integer DY);
  // Glides the origin toward (TX, TY) an eighth of the way per 30 ms tick.
  void Glide(Integer TX, Integer TY);
  void GlideStep();
  TPoint GlideTarget() const { return FGlideTarget; }
  bool Gliding() const { return FGlideTimer && FGlideTimer->Enabled(); }
  void ResizeLayerWithGrip(Integer X, Integer Y, bool Constrain);
  // -1 outside the selection, with Shift, or while one is drawn; 0 inside
  // a moveable one.
  Integer SelectionMoveHit(Integer X, Integer Y, bool Shift);
  TPoint LayerRotationCentre(Integer Index);
  void EndSelectionGesture();

  // =========================================================================
  // Geometry: zoom, origin, extent, tables and conversions
  // =========================================================================
  double Zoom() const { return FZoomX; }
  double ZoomX() const { return FZoomX; }
  double ZoomY() const { return FZoomY; }
  double ZoomFactorX() const { return FZoomFactorX; }
  double ZoomFactorY() const { return FZoomFactorY; }
  double InvZoomX() const { return FInvZoomX; }
  double InvZoomY() const { return FInvZoomY; }
  void SetZoom(double Zoom);
  void SetZoomX(double Zoom);
  void SetZoomY(double Zoom);
  virtual void ApplyZoom(double Zoom);
  virtual void ApplyZoomX(double Zoom);
  virtual void ApplyZoomY(double Zoom);
  void Fit();
  double GetFitZoom();
  double GetOptimalZoom(Integer ImageW, Integer ImageH, Integer AvailW, Integer AvailH, bool Stretch, bool Shrink);
  void ZoomAt(Integer X, Integer Y, double Zoom, bool Center);
  void ZoomToRect(const TRect& Rect);

  Integer ViewX() const { return FViewX; }
  Integer ViewY() const { return FViewY; }
  void SetViewOrigin(Integer X, Integer Y);
  void SetViewOriginX(Integer X);
  void SetViewOriginY(Integer Y);
  void GetMaxViewXY(Integer& MaxX, Integer& MaxY);
  bool CanScroll();

  Integer ImageWidth() const { return FImageWidth; }
  Integer ImageHeight() const { return FImageHeight; }
  Integer OffsetX() const { return FOffsetX; }
  Integer OffsetY() const { return FOffsetY; }
  Integer ExtentX() const { return FExtentX; }
  Integer ExtentY() const { return FExtentY; }
  Integer ZoomedWidth() const { return FZoomedWidth; }
  Integer ZoomedHeight() const { return FZoomedHeight; }
  Integer VisibleBmpX() const { return FVisibleBmpX; }
  Integer VisibleBmpY() const { return FVisibleBmpY; }
  Integer VisibleBmpWidth() const { return FVisibleBmpWidth; }
  Integer VisibleBmpHeight() const { return FVisibleBmpHeight; }
  Integer VisibleWidth() const { return FVisibleWidth; }
  Integer VisibleHeight() const { return FVisibleHeight; }

  virtual void ComputeImageExtent();
  virtual void ComputeVisibleArea();
  virtual void RebuildCoordinateTables();
  Integer SnapToPixelX(Integer ZX);
  Integer SnapToPixelY(Integer ZY);
  Integer ClientToImageX(Integer CX);
  Integer ClientToImageY(Integer CY);
  Integer ImageToClientX(Integer BX);
  Integer ImageToClientY(Integer BY);
  // The tables, for the renderer and for tests (empty when not built).
  const std::vector<Integer>& ZoomedToBmpXTable() const { return FZoomedToBmpX; }
  const std::vector<Integer>& ZoomedToBmpYTable() const { return FZoomedToBmpY; }
  const std::vector<Integer>& BmpToZoomedXTable() const { return FBmpToZoomedX; }
  const std::vector<Integer>& BmpToZoomedYTable() const { return FBmpToZoomedY; }

  virtual void DoViewChange(Integer Change);
  virtual void DoViewChanging(Integer Change, double NewValue);
  // Brings the navigator's frame into step with this view (navigator hook).
  void SyncNavigator();

  // =========================================================================
  // Scroll bars, mouse wheel and navigator (ziduzuvview_scroll.cpp,
  // ziduzuvview_navigator.cpp)
  // =========================================================================
  // Zoomed pixels per scroll-bar unit; the bars run 0..65535.
  double ScrollUnitX() const { return FScrollUnitX; }
  double ScrollUnitY() const { return FScrollUnitY; }
  // What a scroll-bar message asks of one axis.
  enum TIEScrollRequest : Byte {
    iesrLineUp, iesrLineDown, iesrPageUp, iesrPageDown, iesrTop, iesrBottom, iesrAbsolute,
  };
  // Pos is the new zoomed origin for iesrAbsolute and is ignored otherwise.
  void DoHScroll(TIEScrollRequest Code, Integer Pos);
  void DoVScroll(TIEScrollRequest Code, Integer Pos);
  // The wheel action of the view's wheel parameters. Delta > 0 is a roll away
  // from the user; (X, Y) is the client point under the mouse.
  void DoMouseWheel(Integer Delta, Integer X, Integer Y, bool Ctrl);

  // Links Value as this view's navigator (nil detaches). Options bit 0: the
  // navigator's wheel zooms this view; bit 1: it shades outside its frame.
  void SetNavigator(TZiduzUvView* Value, Byte Options = 0);
  Byte NavigatorOptions() const { return FNavigatorOptions; }
  bool NavigatorSyncing() const { return FNavigatorSyncing; }
  // Shows an outside picture in the current layer without owning it; nil
  // gives the layer an empty picture of its own again.
  void SetExternalBitmap(TIEBitmap* Bitmap);
  // On a navigator: the frame of the main view's visible part, in image pixels.
  TRect NavigatorFrame() const { return FNavigatorFrame; }
  // On a navigator: moves the frame's top-left corner to (X1, Y1), keeping its
  // size, and announces the move through OnSelectionChanging, as dragging the
  // frame does. The mouse code calls this while the frame is dragged.
  void MoveNavigatorFrame(Integer X1, Integer Y1);
  // The handlers this view installs in its navigator.
  void NavigatorSelectionChanging(TObject* Sender);
  void NavigatorMouseWheel(TObject* Sender, TShiftState Shift, Integer WheelDelta, TPoint MousePos, bool& Handled);

  // =========================================================================
  // State read by the companions, the display pipeline and the tests
  // =========================================================================
  Integer PaintLockCount() const { return FPaintLockCount; }
  Integer UpdateLockCount() const { return FUpdateLockCount; }
  bool Updating() const { return FUpdating; }
  Byte UpdateReason() const { return FUpdateReason; }
  void SetUpdateReason(Byte Value) { FUpdateReason = Value; }
  // How many times the layout ran to its end (a test probe of the update path).
  Integer UpdateCount() const { return FUpdateCount; }
  bool BackBufferDirty() const { return FBackBufferDirty; }
  bool PaintAll() const { return FPaintAll; }
  TIEBitmap* BackBuffer() const { return FBackBuffer.get(); }
  TIEMask* SelectionMask() const { return FSelectionMask.get(); }
  bool Selected() const { return FSelected; }
  bool HScrollShown() const { return FHScrollShown; }
  bool VScrollShown() const { return FVScrollShown; }
  TIEScrollBarParams* VScrollBarParams() const { return FVScrollBarParams.get(); }
  TIEScrollBarParams* HScrollBarParams() const { return FHScrollBarParams.get(); }
  TIEMouseWheelParams* MouseWheelParams() const { return FMouseWheelParams.get(); }
  TZiduzUvView* Navigator() const { return FNavigator; }
  bool IsNavigator() const { return FIsNavigator; }
  Integer TransitionDuration() const { return FTransitionDuration; }
  Byte TransitionType() const { return FTransitionType; }
  Integer FilterDelayCount() const { return FFilterDelayCount; }
  Integer FastFramesCount() const { return FFastFramesCount; }

  // =========================================================================
  // Display pipeline (ziduzuvview_display.cpp)
  // =========================================================================
  // Brings the back buffer to the view size, re-renders it when dirty and
  // copies the rectangle R (client coordinates, right and bottom exclusive)
  // of it to the window.
  void PaintBackBufferTo(const TRect& R);
  // Renders the layers over the background into Target (ie24RGB). RowCache
  // is Target's row-address cache or null; Clip (edges inclusive, target
  // coordinates) limits every pixel written, null for the whole target.
  virtual void DrawLayers(TIEBitmap* Target, std::unique_ptr<TIERowTable>* RowCache, const TRect* Clip,
                          bool DrawBackground, bool DrawDecorations);
  // The grid of GridDivisions over a rectangle of the control canvas.
  virtual void DrawGrid(Integer X1, Integer Y1, Integer X2, Integer Y2);
  // The view's background over (0, 0, Width, Height) of Canvas.
  void PaintBackgroundTo(TCanvas* Canvas);
  // The visible image part of the back buffer to (0, 0) of Canvas.
  void CopyDisplayedImageTo(TCanvas* Canvas);
  TBitmap* GetBackBufferBitmap();
  // Marks the back buffer dirty and has the window repaint R.
  void InvalidateRectDirty(const TRect& R);
  void SetChessboardStyle(Integer Size, TBrushStyle BrushStyle);
  Integer ChessboardSize() const { return FChessboardSize; }
  TBrushStyle ChessboardBrushStyle() const { return FChessboardBrushStyle; }
  TColor GradientEndColor() const { return FGradientEndColor; }
  void SetGradientEndColor(TColor Value) { FGradientEndColor = Value; }
  Integer GridDivisions() const { return FGridDivisions; }
  void SetGridDivisions(Integer Value) { FGridDivisions = Value; }
  bool PixelGrid() const { return FPixelGrid; }
  void SetPixelGrid(bool Value) { FPixelGrid = Value; }
  // Copy the back buffer through the platform's DIB drawing.
  bool UseDrawDib() const { return FUseDrawDib; }
  void SetUseDrawDib(bool Value) { FUseDrawDib = Value; }
  // Renders the current display into the transition's start frame.
  void CaptureTransitionStart();
  // Renders the current display into the end frame and plays Effect from
  // the start frame over Duration ms (at least 1).
  void RunTransition(TIETransitionType Effect, Integer Duration);
  // The outline timer (210 ms) runs the delayed filter and fast frames down.
  bool OutlineTimerEnabled() const;

 protected:
  void WndProc(TMessage& Message) override;
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void DblClick() override;
  void KeyDown(Word& Key, TShiftState Shift) override;
  void KeyUp(Word& Key, TShiftState Shift) override;
  TPoint ClampToLayerBox(Integer X, Integer Y);
  void UpdateRestingCursor(Integer X, Integer Y, bool Shift);
  TPoint FPressArea, FPressRaw, FLastRaw, FBand, FPressView;
  TMouseButton FPressButton = mbMiddle;
  bool FPressShift = false;
  bool FPolygonJustEnded = false;
  bool FLeftDown = false;
  bool FLayerMoved = false, FLayerDragStarted = false;
  bool FAutoScrolling = false;
  TRect FSavedLayerBox;
  TCursor FRestingCursor = 1785;
  void CreateWnd() override;

  // Update reasons.
  enum : Byte { urNone = 0, urCenter = 1, urZoom = 2, urSelection = 3, urSize = 4 };

  // =========================================================================
  // Hooks of the display pipeline and of the scroll bars and navigator.
  // Update calls them at their places; their bodies live with those concerns.
  // =========================================================================
  // Update step 3: forget the cached zoomed copies of the layers.
  void DropLayerCaches();
  // Update step 7: show, hide and size the scroll bars for the clamped origin.
  void LayoutScrollBars();
  // Update step 7, last: a navigator follows this view.
  void UpdateNavigator();
  // SetViewOrigin: the scroll thumbs follow the origin.
  void SyncScrollPositions();
  void HideHScrollBar();
  void HideVScrollBar();
  // The paint that geometry changes ask for at once (a synchronous repaint).
  void PaintNow();

  // ---------------------------------------------------------------------------
  // Display pipeline (ziduzuvview_display.cpp)
  // ---------------------------------------------------------------------------
  // End of a selection-outline pass (each paint, each outline-timer tick):
  // keeps the outline timer running while the delayed filter or the fast
  // frames count down, and counts them down.
  void FinishOutlinePass();
  void OutlineTimerTick(TObject* Sender);
  // Background of DrawLayers: OnDrawBackground, else the background painter,
  // limited to Clip (edges inclusive) when given.
  void PaintLayersBackground(TIEBitmap* Target, const TRect* Clip);
  // Compositing of one layer with its own placement: mask, rotation,
  // magnifier, cropping (ziduzuvview_layersdraw.cpp). First is cleared once
  // the layer is drawn.
  void DrawPlacedLayer(TIEBitmap* Target, std::unique_ptr<TIERowTable>& Rows, const TRect* Clip, Integer Index,
                       bool& First, bool DrawBackground, bool DrawDecorations);
  // The composed alpha of a layer and its mask layer (null when none can be
  // made); the mask layer is read through a grey copy and never changed.
  std::unique_ptr<TIEBitmap> ComposeMaskAlpha(TIELayer* Layer, TIELayer* Mask);
  void DrawLayerDecorations(TIEBitmap* Target, const TRect* Clip, Integer Index);
  void DrawLayersCropping(TIEBitmap* Target, const TRect* Clip);
  std::unique_ptr<TIERowTable> FBackBufferRows;  // row addresses of the back buffer
  std::unique_ptr<TIEMapTable> FDrawXMap, FDrawYMap;  // columns and rows of the visible window
  std::unique_ptr<TBitmap> FBackgroundScratch;  // background of a partial re-render

  // ---------------------------------------------------------------------------
  // Layout (zoom, origin, extent, tables)
  // ---------------------------------------------------------------------------
  double FZoomX = 100, FZoomY = 100;
  double FZoomFactorX = 1.0, FZoomFactorY = 1.0;
  double FInvZoomX = 1.0, FInvZoomY = 1.0;
  Integer FViewX = 0, FViewY = 0;
  Integer FImageWidth = 0, FImageHeight = 0;
  Integer FOffsetX = 0, FOffsetY = 0, FExtentX = 0, FExtentY = 0, FZoomedWidth = 0, FZoomedHeight = 0;
  double FScrollUnitX = 1.0, FScrollUnitY = 1.0;
  bool FHScrollShown = false, FVScrollShown = false;
  Integer FVisibleBmpX = 0, FVisibleBmpY = 0, FVisibleBmpWidth = 0, FVisibleBmpHeight = 0;
  Integer FVisibleWidth = 0, FVisibleHeight = 0;
  std::vector<Integer> FZoomedToBmpX, FBmpToZoomedX, FZoomedToBmpY, FBmpToZoomedY;
  // Key of the last table build; the zooms start at -1 so the first call builds.
  struct TTableKey {
    double ZoomX = -1, ZoomY = -1;
    Integer VisibleWidth = 0, VisibleHeight = 0, ImageWidth = 0, ImageHeight = 0;
    bool operator==(const TTableKey&) const = default;
  } FTableKey;
  Integer FClientTableWidth = 0, FClientTableHeight = 0;  // entries usable from the cursors
  Integer FBmpTableWidth = 0, FBmpTableHeight = 0;
  // Cursors: indexes into the tables for the current origin.
  Integer FClientCursorX = 0, FClientCursorY = 0;  // into ZoomedToBmpX/Y (the snapped origin)
  Integer FBmpCursorX = 0, FBmpCursorY = 0;        // into BmpToZoomedX/Y (the first visible column)
  Integer FOriginZoomedX = 0, FOriginZoomedY = 0;  // the snapped origin itself
  std::unique_ptr<TIEScrollBarParams> FVScrollBarParams;  // vertical bar's first
  std::unique_ptr<TIEScrollBarParams> FHScrollBarParams;
  std::unique_ptr<TIEMouseWheelParams> FMouseWheelParams;
  TZiduzUvView* FNavigator = nullptr;
  bool FIsNavigator = false;
  Byte FNavigatorOptions = 0;
  bool FNavigatorSyncing = false;
  Integer FLastViewWidth = 0, FLastViewHeight = 0;  // view size remembered by Update
  bool FNestedUpdate = false;

  // ---------------------------------------------------------------------------
  // Scroll bars, wheel and navigator
  // ---------------------------------------------------------------------------
  // On a navigator: the frame of the main view's visible part (image pixels).
  TRect FNavigatorFrame;
  // The scroll-bar and wheel messages, after the inherited handling.
  void WMHScroll(TMessage& Message);
  void WMVScroll(TMessage& Message);
  void WMMouseWheelAction(TMessage& Message);
  // One axis of the scroll-bar layout; true when the bar is shown.
  void LayoutOneScrollBar(Integer Bar, Integer MaxOrigin);
  // The platform's own wheel handling stays reachable beside DoMouseWheel above.
  using TIEView::DoMouseWheel;

  // ---------------------------------------------------------------------------
  // Drawing
  // ---------------------------------------------------------------------------
  std::unique_ptr<TIEBitmap> FBackBuffer;  // ie24RGB, 10 x 10 until the first paint
  bool FBackBufferDirty = true;
  bool FPaintAll = true;
  Byte FUpdateReason = 0;
  Integer FFilterDelay = 4, FFilterDelayCount = 0;
  Integer FFastFrames = 2, FFastFramesCount = 0;
  void* FDrawDibHandle = nullptr;
  Byte FDibHeader[40 + 2 * 4] = {};  // header plus two palette entries, zeroed
  bool FUseDrawDib = false;
  Integer FChessboardSize = 16;
  TBrushStyle FChessboardBrushStyle = bsSolid;
  TColor FGradientEndColor = 0xFF0000;
  Integer FGridDivisions = 1;
  bool FPixelGrid = false;
  TPoint FHighlightedPixel{-1, -1};
  HWND FLastCopyWindow = nullptr;  // window seen by the last back-buffer copy
  WideString FHintText;
  TPoint FHintPos;
  WideString FHintSample;
  TResampleFilter FZoomFilter = rfNone;
  TResampleFilter FRestoreZoomFilter = rfNone;  // put back after a mouse gesture
  bool FDelayZoomFilter = false;
  TIEBackgroundStyle FBackgroundStyle = iebsSolid;
  std::unique_ptr<TPicture> FWallPaper;
  TIEWallPaperStyle FWallPaperStyle = iewoNormal;
  bool FDrawVersion = false;
  bool FDoubleBuffer = true;
  std::unique_ptr<TIEBitmap> FNavigatorShadeBuffer;
  std::unique_ptr<TBitmap> FOutlinePixelBitmap;

  // ---------------------------------------------------------------------------
  // Images and layers
  // ---------------------------------------------------------------------------
  std::unique_ptr<TBitmap> FLegacyTBitmap;  // the platform form of the image
  TIEBitmap* FIEBitmap = nullptr;            // the current layer's picture
  std::vector<std::unique_ptr<TIELayer>> FLayers;
  Integer FCurrentLayer = 0;
  bool FLegacyBitmap = true;
  bool FSelectableLayersOnly = true;
  bool FLayersSync = false;
  Byte FLayersCropping = 0;
  Integer FLayersCroppingValue = 60;
  bool FDrawAllLayerBoxes = false;
  Integer FLastImageWidth = 0, FLastImageHeight = 0;

  // ---------------------------------------------------------------------------
  // Locks
  // ---------------------------------------------------------------------------
  Integer FPaintLockCount = 0;
  Integer FUpdateLockCount = 0;
  bool FUpdating = false;
  Integer FUpdateCount = 0;

  // ---------------------------------------------------------------------------
  // Companions
  // ---------------------------------------------------------------------------
  TZiduzUvIO* FIO = nullptr;      // owned component
  TZiduzUvProc* FProc = nullptr;  // owned component
  std::unique_ptr<TIETransitionEffects> FTransition;
  Byte FTransitionType = 0;
  Integer FTransitionDuration = 1000;
  TIEProgressEvent FOnProgress;
  TNotifyEvent FOnFinishWork;
  TIESaveUndoEvent FOnSaveUndo;
  // A picture decoded by a worker, waiting for message 8024.
  std::mutex FPendingLock;
  std::unique_ptr<TIEBitmap> FPendingBitmap;

  // ---------------------------------------------------------------------------
  // Selection
  // ---------------------------------------------------------------------------
  std::unique_ptr<TIEMask> FSelectionMask;
  struct TIESelectionPolygon {
    std::vector<TPoint> Points;  // image coordinates; separators have x = IEPolygonSeparator
    TColor OutlineColor1 = 0, OutlineColor2 = 0xFFFFFF;
    bool Animated = true, Sizeable = true;
    bool Visible = true;
    Integer Phase = 0, DashCounter = 0;
    Integer BoxX1 = 0, BoxY1 = 0, BoxX2 = 0, BoxY2 = 0;
  };
  std::vector<std::unique_ptr<TIESelectionPolygon>> FPolygons;
  TIESelectionPolygon* FCurrentPolygon = nullptr;
  bool FSelected = false;
  bool FPolygonSelecting = false, FLassoSelecting = false, FRectSelecting = false, FCircleSelecting = false;
  bool FRectMoving = false;
  Byte FGripDragging = 0;
  Integer FMovingSelection = -1;
  double FSelectionAspectRatio = -1.0;
  Integer FFixedSelectionWidth = 100, FFixedSelectionHeight = 100;
  bool FSelectionVisible = true;
  TColor FOutlineColor1 = 0, FOutlineColor2 = 0xFFFFFF;
  std::unique_ptr<TTimer> FOutlineTimer;
  Integer FOutlinePhase = 0;
  Integer FOutlineTimingPercent = -20;
  TColor FOuterAreaColor = 0xFFFFFF;
  Integer FOuterAreaTransparency = -1;
  TColor FSelGripPenColor = 0, FSelGripBrushColor = 0xBAFFFF;
  TBrushStyle FSelGripBrushStyle = bsSolid;
  Integer FSelGripSize = 5, FSelGripShape = 1;
  bool FSelGripExtended = true;
  TColor FLayersGripPenColor = 0, FLayersGripBrushColor = 0xBAFFFF;
  TBrushStyle FLayersGripBrushStyle = bsSolid;
  Integer FLayersGripSize = 5, FLayersGripShape = 1;
  std::vector<std::unique_ptr<TStream>> FSelectionStreamStack;
  TIESelectionOptions FSelectionOptions{iesoAnimated, iesoSizeable, iesoMoveable, iesoCanScroll};
  TIESelectionBase FSelectionBase = iesbClientArea;

  // ---------------------------------------------------------------------------
  // Interaction
  // ---------------------------------------------------------------------------
  TIEMouseInteract FMouseInteract;
  double FScrollSpeed = 1.0;
  bool FSelectZoomUniform = true;
  TPoint FPressPos, FLastPos;
  Integer FMovingLayer = -1, FRotatingLayer = -1, FResizingGrip = 0;
  double FRotationAccumulated = 0.0;
  Integer FRotationSnapStep = 45;
  std::unique_ptr<TTimer> FGlideTimer;
  TPoint FGlideTarget;
  bool FOwnerPresent = false;
  bool FCursorPending = true;
  bool FEnableInteractionHints = true;
  bool FEnableAlphaChannel = true;
  bool FFlatScrollBars = false;
  TScrollStyle FScrollBars = ssBoth;
  bool FCenter = true;
  bool FAutoFit = false, FAutoStretch = false, FAutoShrink = false;

  // ---------------------------------------------------------------------------
  // Magic wand
  // ---------------------------------------------------------------------------
  Byte FWandMode = 0;
  Integer FWandTolerance = 15;
  Byte FWandMaxFilter = 0;

  // During a mouse gesture SelectionBase is forced to client coordinates;
  // events see the user's value, kept here.
  bool FInteracting = false;
  TIESelectionBase FSavedSelectionBase = iesbClientArea;
  template <class F>
  void CallWithUserSelectionBase(F&& Call) {
    if (!FInteracting) {
      Call();
      return;
    }
    std::swap(FSelectionBase, FSavedSelectionBase);
    try {
      Call();
    } catch (...) {
      std::swap(FSelectionBase, FSavedSelectionBase);
      throw;
    }
    std::swap(FSelectionBase, FSavedSelectionBase);
  }

  TRect FOutlineDrawnRect;         // where the last mask outline was drawn
  void DashedLine(TIESelectionPolygon* Rec, Integer X1, Integer Y1, Integer X2, Integer Y2);
  TRect FGripBox;                  // selection box at the press on a grip
  Integer FPressPolygonCount = 0;  // polygon points at the press
  Integer SelToBitmapX(Integer X);
  Integer SelToBitmapY(Integer Y);
  void PaintSelectionChange();
  bool SelectionGestureRunning() const;
  void AddPolygonPoint(TIESelectionPolygon* Rec, Integer X, Integer Y);
  void AddPolygonBreak(TIESelectionPolygon* Rec);
  void ClearPolygon(TIESelectionPolygon* Rec);
  void RemoveLastSubPolygon(TIESelectionPolygon* Rec);
  void RemoveLastPolygonPoint(TIESelectionPolygon* Rec);
  void TranslatePolygon(TIESelectionPolygon* Rec, Integer DX, Integer DY, Integer W, Integer H, bool Cut);

  // Objects the view owns and frees first in its destructor.
  std::vector<std::unique_ptr<TObject>> FOwnedObjects;

 private:
  void RegisterCursors();
  // The update body (the locks and flags are handled by Update).
  void DoUpdate();
  void AutoZoom();
  void FitSelectionMaskAndAlpha();
  void ClampOrigin();
  void SwapInPendingBitmap();
  void WMSizeHandler(TMessage& Message);
  void SetOrigin(Integer X, Integer Y, bool DoX, bool DoY);
  void ArmFilterDelay(bool ZoomAway);
  void FinishZoomChange(bool Navigator);
  void FitMarginsForAuto(Integer& MX, Integer& MY);
  void FitMargins(Integer& MX, Integer& MY);
};

// The millisecond clock that times the mask outline (tests put their own).
extern std::function<Cardinal()> IEOutlineClock;

// The interaction set Old -> New made consistent: the first rule that
// applies removes what cannot go together with an added item.
TIEMouseInteract IEMouseInteractRules(const TIEMouseInteract& Old, TIEMouseInteract New);

// Unit start-up and shut-down (run by the imaging library's start-up).
void ZiduzUvViewInitialize();
void ZiduzUvViewFinalize();

// The globals the start-up records and the view reads.
extern Integer IEScreenBitsPerPixel;
extern bool IERemoteSession;
extern bool IEHasMMXFlag;
extern Integer IEEdgeX, IEEdgeY, IEBorderX, IEBorderY, IEHScrollHeight, IEVScrollWidth;
extern Integer IEPixelGridThreshold;
// The shared pen of the pixel grid (nil until the start-up ran).
extern TPen* IEPixelGridPen;

// The view cursors: numbers 1778 to 1814 and their resource names.
constexpr Integer IEViewCursorFirst = 1778;
constexpr Integer IEViewCursorLast = 1814;
const char16_t* IEViewCursorResource(Integer Number);

// IEFitRectToAspect: widens Rect (image pixels) to the view's aspect ratio.
TRect IEFitRectToAspect(const TRect& Rect, Integer ViewW, Integer ViewH, Integer ImageW, Integer ImageH);

// How the back buffer reaches the window: the platform's DIB drawing (asked
// for, or a palette screen), a halftone stretch (a screen of 9 to 23 bits),
// the navigator's shaded copy, or a plain block copy. A remote session never
// takes the first two.
enum TIEBackBufferCopy : Byte { iebcDrawDib, iebcHalftone, iebcShaded, iebcBlockCopy };
TIEBackBufferCopy IEBackBufferCopyPath(bool UseDrawDib, Integer ScreenBitsPerPixel, bool RemoteSession,
                                       bool ShadedNavigator);

// The pixel routine of MergeLayers: Lower, Upper and the optional Mask layer
// (above Upper) composed into Target, a 24-bit picture with an alpha channel
// that is dropped when all of it is opaque. Layers of other formats are read
// through 24-bit copies; the layers themselves are not changed. With
// KeepOrigin the target starts at the layers' top-left corner, else at 0, 0.
void IEMergeLayerBitmaps(TIELayer* Lower, TIELayer* Upper, TIELayer* Mask, TIEBitmap* Target,
                         TResampleFilter Filter, TColor Background, bool KeepOrigin);
