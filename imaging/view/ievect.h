// The vector view: an image view carrying, above its picture and layers, a
// layer of vector objects (lines, boxes, ellipses, arcs, bitmaps, texts,
// rulers, polylines, angles, memos, labelled lines and custom objects) kept
// in image coordinates, addressed by integer handles, and saved to the "IEV"
// object stream.
//
// The model (objects, z-order, selection, template, shared bitmap store,
// custom classes) is in ievect.cpp; the streams and the object undo in
// ievect_stream.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ieprobes.h"
#include "imaging/view/ietextcontrol.h"
#include "imaging/view/ziduzuvview.h"
#include "platform/graphics/gdi.h"

class TZiduzUvVect;
class TIEVectCustomObject;
struct TIEVectObject;

enum TIEVectKind : Byte {
  vkNone = 0,
  vkLine = 1,
  vkBox = 2,
  vkEllipse = 3,
  vkArc = 4,
  vkBitmap = 5,
  vkText = 6,
  vkRuler = 7,
  vkPolyline = 8,
  vkAngle = 9,
  vkMemo = 10,
  vkLineLabel = 11,
  vkCustom = 12,
};

// A set in one byte.
enum : Byte { vsSelectable = 1, vsMovable = 2, vsSizeable = 4, vsVisible = 8 };
using TIEVectStyle = Byte;

enum TIEVectLineEnd : Byte { leNone = 0, leReverseArrow = 1, leArrow = 2 };
enum TIEVectRulerType : Byte { rtScale = 0, rtLabelStart = 1, rtLabelCentre = 2, rtLabelEnd = 3 };

enum TIEUnits : Byte {
  ieuPIXELS = 0,
  ieuINCHES = 1,
  ieuKM = 2,
  ieuMETERS = 3,
  ieuCENTIMETERS = 4,
  ieuMILLIMETERS = 5,
  ieuMICRONS = 6,
  ieuNANOMETERS = 7,
};

enum TIEVUndoMode : Byte { ieumSeparated, ieumShared };

struct TIEVSoftShadow {
  bool Enabled = false;
  double Radius = 3.0;
  Integer OffsetX = 0, OffsetY = 0;
  Integer Intensity = 100;
  // Blue, green, red.
  Byte ShadowColor[3] = {0, 0, 0};
};

struct TIEVectDPoint {
  double X = 0, Y = 0;
};

// A character format record of a memo: the text editor's own record, so
// that a memo's formats go to the editor and into streams unchanged.
using TIEVectTextFormat = TIETextFormat;

// One tick of a scale ruler: from A to B, with the number Label (-1 none).
struct TIERulerTick {
  TPoint A, B;
  Integer Label = -1;
};

// "pixels", "inches", "km", "mt", "cm", "mm", "microns", "nanometers".
WideString IEUnitSuffix(TIEUnits Unit);

// What a left-button gesture on the vector view does; a set stored in
// three bytes.
enum TIEVectorInteractItem : Byte {
  viMeasureArea = 0,
  viMeasurePerimeter = 1,
  viPutLine = 2,
  viPutBox = 3,
  viPutEllipse = 4,
  viPutBitmap = 5,
  viPutText = 6,
  viEdit = 7,
  viDragLen = 8,
  viPutRuler = 9,
  viPutPolyline = 10,
  viPutAngle = 11,
  viPutMemo = 12,
  viPutLineLabel = 13,
  viEditPolyline = 14,
  viNoClickCreate = 15,
  viPutCustom = 16,
};
using TIEVectorInteract = TEnumSet<TIEVectorInteractItem>;

// The special handles.
enum : Integer { IEV_TEMPLATE = -1, IEV_LAST = -2, IEV_ALL = -3, IEV_NONE = -4 };

// The base of objects whose behaviour a registered class supplies.
class TIEVectCustomObject {
 public:
  TIEVectCustomObject() = default;
  virtual ~TIEVectCustomObject() = default;
  TZiduzUvVect* Owner = nullptr;
  TIEVectObject* Record = nullptr;
  Integer Handle = -1;
  Integer Value = 0;

  virtual void Init() {}
  virtual void SetHandle(Integer hobj) { Handle = hobj; }
  virtual void SaveToStream(TStream* /*Stream*/) {}
  // False when the data cannot be read (the stream load fails).
  virtual bool LoadFromStream(TStream* /*Stream*/) { return true; }
  virtual std::unique_ptr<TIEVectCustomObject> Clone() = 0;
  virtual void MouseDown(TMouseButton, TShiftState, Integer, Integer) {}
  virtual void MouseUp(TMouseButton, TShiftState, Integer, Integer) {}
  virtual void MouseMove(TShiftState, Integer, Integer) {}
  virtual void MouseEnter() {}
  virtual void MouseLeave() {}
  virtual void KeyDown(Word, TShiftState) {}
  virtual void Draw(TBitmap* /*Target*/, const TRect& /*Rect*/, bool /*DrawingAlpha*/, double /*ZoomX*/,
                    double /*ZoomY*/) {}
};

// An owned custom object that copies by cloning, so that a copy of a
// record is a deep copy.
struct TIEVectCustomRef {
  std::unique_ptr<TIEVectCustomObject> P;
  TIEVectCustomRef() = default;
  TIEVectCustomRef(const TIEVectCustomRef& O);
  TIEVectCustomRef& operator=(const TIEVectCustomRef& O);
  TIEVectCustomRef(TIEVectCustomRef&&) = default;
  TIEVectCustomRef& operator=(TIEVectCustomRef&&) = default;
  TIEVectCustomObject* get() const { return P.get(); }
  TIEVectCustomObject* operator->() const { return P.get(); }
  explicit operator bool() const { return P != nullptr; }
};

// One vector object. Arrays carry their own counts; "nil" of an owned text
// is the empty string, of the font and shadow an empty optional. A copy is
// deep, except for UserData, which only the view hands over.
struct TIEVectObject {
  Integer X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  TIEVectKind Kind = vkNone;
  Integer Transparency = 255;
  // Owned (freed with free) when UserDataLen is above 0.
  void* UserData = nullptr;
  Integer UserDataLen = 0;
  bool KeepAspect = false;
  TIEVectLineEnd BeginShape = leNone, EndShape = leNone;
  Integer ShapeWidth = 10, ShapeLength = 20;
  TColor LabelBrushColor = 0xFFFFFF;
  TBrushStyle LabelBrushStyle = bsSolid;
  Byte LabelPosition = 1;
  Byte LabelBorder = 1;
  TRect LabelRect;
  TColor PenColor = 0;
  TPenStyle PenStyle = psSolid;
  Integer PenWidth = 1;
  TColor BrushColor = 0xFFFFFF;
  TBrushStyle BrushStyle = bsClear;
  bool AndFill = false;
  double ArcStart = 0, ArcEnd = 0;
  Integer BitmapIndex = -1;
  bool BitmapBorder = false;
  AnsiString Text;
  std::optional<LOGFONTA> Font;
  Byte FontQuality = 0;
  Byte TextAlign = 0;
  bool AutoSize = false;
  bool MemoSingleFormat = true;
  std::vector<TIEVectDPoint> CurvePoints;
  Integer CharAngle = -10;
  bool Editable = true;
  std::vector<Integer> MemoCharFormats;
  std::vector<TIEVectTextFormat> MemoFormats;
  Integer MemoLineSpacing = 0;
  TColor MemoBorderColor = 0xFFFFFF;
  TPenStyle MemoBorderStyle = psSolid;
  Integer MemoFixedCharHeight = 0;
  bool MemoHasBitmap = false;
  double MemoMargins[4] = {0, 0, 0, 0};
  TBrushStyle MemoBackStyle = bsSolid;
  AnsiString Name;
  Integer NameValue = 0;
  TIEVectStyle Style = vsSelectable | vsMovable | vsSizeable | vsVisible;
  TIEUnits RulerUnit = ieuPIXELS;
  TIEVectRulerType RulerType = rtLabelCentre;
  std::vector<TPoint> Points;
  TRect PointsBox;
  bool Closed = false;
  std::vector<TPoint> ScreenPoints;
  TPoint AnglePoints[3];
  TRect DragStartRect;
  TRect DrawnExtent;
  Integer DrawnPenWidth = 0;
  std::optional<TIEVSoftShadow> Shadow;
  TIEVectCustomRef CustomObject;

  // Whether the direction of the rectangle matters (it is not normalised).
  bool IsDirected() const {
    return Kind == vkLine || Kind == vkRuler || Kind == vkPolyline || Kind == vkLineLabel;
  }
  // Whether the object references an entry of the bitmap store.
  bool UsesBitmap() const { return Kind == vkBitmap || (Kind == vkMemo && MemoHasBitmap); }
};

// A class of custom objects: what creates an instance.
using TIEVectCustomClass = std::unique_ptr<TIEVectCustomObject> (*)();

// Appends {Name, Class} to the process-wide registry.
void IEVectRegisterCustomClass(const AnsiString& Name, TIEVectCustomClass Class);
// Drops every entry of that class (tests register and unregister theirs).
void IEVectUnregisterCustomClass(TIEVectCustomClass Class);
// A new instance of the first class registered under exactly that name, or nil.
std::unique_ptr<TIEVectCustomObject> IEVectFindCustomClass(const AnsiString& Name);
// The name of the first entry registered for exactly that class, or empty.
AnsiString IEVectCustomClassName(TIEVectCustomClass Class);
// The class a custom object was made by, found through the registry (nil
// when none of the registered classes makes objects of its dynamic type).
TIEVectCustomClass IEVectCustomClassOf(const TIEVectCustomObject* Object);

// Run by the library's start-up and shut-down: the shut-down empties the
// custom-class registry. (The clipboard format "ZIDUZUV VECT" is registered
// with the other private formats.)
void IEVectInitialize();
void IEVectFinalize();

// A 64 x 64 (or W x H) 24-bit picture of the stop icon, the picture a
// bitmap object shows until it is given one.
void IEVectDrawStopIcon(TIEBitmap* Target, Integer W, Integer H);

using TIEUserSelectObject = std::function<void(TObject* Sender, Integer hobj)>;
using TIEVNewObject = std::function<void(TObject* Sender, Integer hobj)>;
using TIEVObjectMoveResizeEvent =
    std::function<void(TObject* Sender, Integer hobj, Integer Grip, Integer& OffsetX, Integer& OffsetY)>;
using TIEVObjectClickEvent = std::function<void(TObject* Sender, Integer hobj)>;
using TIEDrawObjectEvent = std::function<void(TObject* Sender, Integer hobj, TBitmap* Destination, const TRect& DestRect,
                                              bool DrawingAlpha, bool& Handled)>;
using TIEVMeasureHintEvent = std::function<void(TObject* Sender, WideString& Text, double Value)>;
using TIEVDragLenEndEvent = std::function<void(TObject* Sender, double Value)>;

// What the measure hint shows, as the vector interaction of the gesture
// that started it chooses: the selection's area, its outline's length, or
// the length of the drag.
enum TIEMeasureHintSource : Byte { iemhArea, iemhPerimeter, iemhDragLen };

// Where the characters of a text along a curve go: the curve's points in
// target pixels, the number of characters and the object's CharAngle (-10:
// each character follows its segment). Character k sits where the walked
// length reaches k times the step (the length divided by the count,
// truncated); Escapement is in tenths of a degree.
struct TIECurveCharPlace {
  double X = 0, Y = 0;
  Integer Escapement = 0;
};
std::vector<TIECurveCharPlace> IEVectCurveTextPlaces(const std::vector<TIEVectDPoint>& Points, Integer Chars,
                                                     Integer CharAngle);

// The filled triangle of a line end at E for a line whose other end is O:
// base width W, length L along the line.
void IEVectLineEndTriangle(TIEVectLineEnd Shape, TPoint E, TPoint O, Integer W, Integer L, TPoint Out[3]);

class TZiduzUvVect : public TZiduzUvView, public TIEUndoObjectState {
 public:
  explicit TZiduzUvVect(TComponent* AOwner);
  ~TZiduzUvVect() override;

  // --- objects ---------------------------------------------------------------
  // -1 the template, -2 the last object, a valid handle its object; nil for
  // -3, -4 and any handle that names no object.
  TIEVectObject* GetObj(Integer hobj);
  Integer ObjectsCount() const { return Integer(FObjects.size()); }
  // The z-order list, bottom first.
  const std::vector<Integer>& ZOrder() const { return FZOrder; }
  // Appends a deep copy of Source; returns its handle.
  Integer AddObject(const TIEVectObject& Source);
  // A copy of the template as a new object.
  Integer AddNewObject();
  void FreeObjectData(TIEVectObject& Obj);
  void RemoveAllObjects();
  void SetObjUserData(Integer hobj, void* Data);
  void SetObjUserDataLen(Integer hobj, Integer Len);
  void SetObjFont(Integer hobj, TFont* Font);
  void SetObjBitmapIcon(Integer hobj, Integer Icon, Integer Width, Integer Height);
  TFontStyles GetObjFontStyles(Integer hobj);
  void SetObjBitmap(Integer hobj, TIEBitmap* Bitmap);
  // False (nothing changed) for a handle or index that names nothing.
  bool SetObjBitmapIndex(Integer hobj, Integer Index);
  // Nil for an index that names no stored bitmap.
  TIEBitmap* GetStoredBitmap(Integer Index);
  void AddPolylinePoint(Integer hobj, Integer X, Integer Y);
  void MoveObject(Integer hobj, Integer DX, Integer DY);
  void GetObjectsExtent(TRect& Rect);
  void CopyObjectsTo(TZiduzUvVect* Target);
  void Assign(TPersistent* Source) override;
  using TZiduzUvView::Assign;

  // --- bitmap store ------------------------------------------------------------
  bool ShareBitmaps() const { return FShareBitmaps; }
  void SetShareBitmaps(bool Value) { FShareBitmaps = Value; }
  Integer BitmapStoreCount() const { return Integer(FStore.size()); }
  // Reference count of an entry, 0 for a free entry or an index out of range.
  Integer BitmapRefCount(Integer Index) const;
  void CompactBitmaps();

  // --- selection -----------------------------------------------------------------
  const std::vector<Integer>& SelObjects() const { return FSel; }
  Integer SelObjectsCount() const { return Integer(FSel.size()); }
  void AddSelObject(Integer hobj);
  void AddSelObjectQuiet(Integer hobj);
  bool IsSelObject(Integer hobj);
  void UnSelObject(Integer hobj);
  void UnSelAllObjectsQuiet();
  void UnSelAllObjects();
  void SelectObjectsInRect(Integer hobj, Integer Left, Integer Top, Integer Right, Integer Bottom);

  // --- notifications ---------------------------------------------------------------
  virtual void DoVectorialChanged();
  virtual void DoVectorialChangedOnce();
  virtual void DoObjectMoveResize(Integer hobj, Integer Grip, Integer& OffsetX, Integer& OffsetY);
  virtual void DoObjectClick(Integer hobj);
  virtual void DoObjectDblClick(Integer hobj);
  virtual void DoObjectOver(Integer hobj);
  virtual void DoNewObject(Integer hobj);
  virtual void DoUserSelectObject(Integer hobj);
  virtual void DoUserDeselectObject(Integer hobj);
  bool ObjectsModified() const { return FObjectsModified; }
  void SetObjectsModified(bool Value) { FObjectsModified = Value; }
  bool ObjectsChangedOnce() const { return FObjectsChangedOnce; }
  Integer EditingObject() const { return FEditingObject; }

  // --- measurement (ievect_measure.cpp) -----------------------------------------------
  TIEUnits MUnit() const { return FMUnit; }
  // Also the unit of new rulers.
  void SetMUnit(TIEUnits Value);
  Integer FloatDigits() const { return FFloatDigits; }
  void SetFloatDigits(Integer Value);
  Integer FloatPrecision() const { return FFloatPrecision; }
  void SetFloatPrecision(Integer Value);
  bool InnerAngles() const { return FInnerAngles; }
  void SetInnerAngles(bool Value) { FInnerAngles = Value; }
  void SetDpiX(Integer Dpi) override;
  void SetDpiY(Integer Dpi) override;
  // The number in the fixed format of FloatDigits and FloatPrecision, with
  // the locale's decimal separator.
  WideString FormatMeasure(double Value);
  // The number, a blank and the unit's suffix (and "²" for an area).
  WideString MeasureText(double Value, bool Area);
  // The length of a drag between two client points, both end pixels counted.
  double GetDragLength(Integer X0, Integer Y0, Integer X, Integer Y);
  // The selection's outline length and area in MUnit.
  double GetOutlineLength();
  double GetSelectionArea();
  // The angle at the middle point in degrees; Turned when InnerAngles
  // replaced it by 360 minus it.
  double AngleOf(const TPoint P[3], bool& Turned);
  // The ticks of a scale ruler between two client points at zooms in percent.
  std::vector<TIERulerTick> RulerScaleTicks(Integer X1, Integer Y1, Integer X2, Integer Y2, TIEUnits Unit, double ZX,
                                            double ZY);
  double MeasureScale() const { return FMeasureScale; }
  void SetMeasureScale(double Value);
  double UnitPerPixelX() const { return FUnitPerPixelX; }
  double UnitPerPixelY() const { return FUnitPerPixelY; }
  // One image pixel's length in Unit, MeasureScale included.
  void GetUnitFactors(double& FX, double& FY, TIEUnits Unit);

  // --- the measure hint (ievect_measure.cpp) ---------------------------------------------
  // A small box near the mouse showing what a gesture measures, drawn on the
  // window over the picture; hiding it puts the pixels it covered back.
  bool MeasureHintActive() const { return FHintActive; }
  // Activates the hint for a gesture that started at client point (X0, Y0).
  void StartMeasureHint(TIEMeasureHintSource Source, Integer X0, Integer Y0);
  // Hides and deactivates it; a drag-length gesture then reports its last
  // value through OnDragLenEnd, unless Report is off.
  void EndMeasureHint(bool Report = true);
  // At client point (X, Y), or the last position for -1000000; nothing
  // unless the hint is active.
  void ShowMeasureHint(Integer X, Integer Y);
  void HideMeasureHint();
  void RefreshMeasureHint(Integer X, Integer Y);
  // The box's top-left corner as last drawn (kept inside the view).
  TPoint MeasureHintPos() const { return FHintPos; }
  // Whether the outline length of a polygon selection still being drawn
  // includes the segment from its last point to the mouse.
  bool MeasureRubberSegment() const { return FMeasureRubberSegment; }
  void SetMeasureRubberSegment(bool Value);
  double LastMeasuredValue() const { return FLastMeasured; }
  TIEVMeasureHintEvent OnMeasureHint;
  TIEVDragLenEndEvent OnDragLenEnd;

  // --- drawing (ievect_draw.cpp) ------------------------------------------------------
  bool ObjAntialias() const { return FObjAntialias; }
  void SetObjAntialias(bool Value);
  bool ZoomObjectsWidth() const { return FZoomObjectsWidth; }
  void SetZoomObjectsWidth(bool Value);
  TResampleFilter BitmapResampleFilter() const { return FBitmapResampleFilter; }
  void SetBitmapResampleFilter(TResampleFilter Value);
  Integer ObjGripSize() const { return FObjGripSize; }
  void SetObjGripSize(Integer Value) { FObjGripSize = Value; }
  Byte ObjGripShape() const { return FObjGripShape; }
  void SetObjGripShape(Byte Value) { FObjGripShape = Value; }
  bool CenterGrip() const { return FCenterGrip; }
  void SetCenterGrip(bool Value) { FCenterGrip = Value; }
  bool FastDrawing() const { return FFastDrawing; }
  void SetFastDrawing(bool Value) { FFastDrawing = Value; }
  bool FastDrawDuringDrag() const { return FFastDrawDuringDrag; }
  void SetFastDrawDuringDrag(bool Value) { FFastDrawDuringDrag = Value; }
  // Set while the mouse moves or resizes objects: bitmap objects are then
  // stretched without their filter.
  // The timer that ends the fast mode 50 ms after the button is released
  // (nil until the first fast paint).
  TTimer* DrawingTimer() const { return FDrawingTimer.get(); }
  // What the drawing timer does at each tick.
  void DrawingTimerTick(TObject* Sender);
  TIEDrawObjectEvent OnBeforeDrawObject;
  TIEDrawObjectEvent OnAfterDrawObject;

  // The pen width drawn for PenWidth at the pass's zoom factors.
  Integer DrawnPenWidthFor(double ZX, double ZY, Integer PenWidth) const;
  // One object (hobj) or all of them (-3), bottom first, onto Target (24-bit):
  // in image coordinates at scale 1, or mapped through the view's zoom and
  // scroll position. Grips are drawn only when Decorations is set.
  void DrawObjects(TIEBitmap* Target, bool ImageCoordinates, bool Antialias, Integer hobj, bool Decorations);
  // Burns every object into the current image, which keeps its pixel format
  // and, outside the objects, its pixels.
  void DrawObjectsOntoImage(bool Smooth);
  void DrawObjectsOnBitmap(TIEBitmap* Bitmap, bool Smooth, Integer hobj);
  void DrawLayers(TIEBitmap* Target, std::unique_ptr<TIERowTable>* RowCache, const TRect* Clip, bool DrawBackground,
                  bool DrawDecorations) override;

  // --- streams -----------------------------------------------------------------------
  void SaveObjectsToStream(TStream* Stream) override;
  // hobj -3 or -4: every object in z-order; -1, -2: nothing.
  void WriteObject(TStream* Stream, Integer hobj);
  // False, with the objects, the store and ShareBitmaps as they were, for a
  // stream that is not a complete, sound "IEV" block.
  bool LoadObjectsFromStream(TStream* Stream) override;
  bool LoadObjectsFromFile(const WideString& FileName);
  void SaveAllToStream(TStream* Stream, Integer Compression) override;
  // False, with the layers and the objects as they were, when either part fails.
  bool LoadAllFromStream(TStream* Stream) override;
  bool LoadAllFromFile(const WideString& FileName);
  // Objects, layers, both, and document layers.
  bool CanHoldLayered(TIEFileType Kind) const override;
  bool LoadLayeredStream(TStream* Stream, TIEFileType Kind) override;
  void ShowObjectsOnly() override;

  // --- object undo ---------------------------------------------------------------------
  bool ObjAutoUndo() const { return FObjAutoUndo; }
  void SetObjAutoUndo(bool Value) { FObjAutoUndo = Value; }
  Integer ObjUndoLimit() const { return FObjUndoLimit; }
  void SetObjUndoLimit(Integer Value) { FObjUndoLimit = Value; }
  TIEVUndoMode ObjUndoMode() const { return FObjUndoMode; }
  void SetObjUndoMode(TIEVUndoMode Value) { FObjUndoMode = Value; }
  Integer ObjUndoCount() const { return Integer(FUndo.size()); }
  // The step at Index (0 the oldest), positioned at 0.
  TMemoryStream* ObjUndoAt(Integer Index) { return FUndo[size_t(Index)].get(); }
  void SaveObjUndo();
  void SaveUndoBeforeChange();
  void DropLastObjUndo();
  // What the end of a mouse gesture does: drops the step saved at its start
  // when no object changed.
  void EndUndoGesture();
  void ClearObjUndo();

  // --- mouse interaction (ievect_mouse.cpp) --------------------------------------------
  TIEVectorInteract VectorInteract() const { return FVectorInteract; }
  void SetVectorInteract(TIEVectorInteract Value);
  // Also clears the vector interactions that make objects, and ends any gesture.
  void SetMouseInteract(TIEMouseInteract Value) override;
  // Distance in image pixels from (X, Y) to the object; -1 for an object
  // that cannot be hit (no kind, or a kind this view does not know).
  double GetObjDistance(const TIEVectObject* O, Integer X, Integer Y);
  // The nearest visible object at an image point; -3 when none is near enough.
  Integer FindObjectAt(Integer X, Integer Y, double& Distance, bool OnlySelectable);
  Integer FindObjectAtClient(Integer X, Integer Y, double& Distance);
  // Position in the selection list of the first selected object with a grip
  // under the client point, and the grip; -4 and 0 when none.
  Integer GetGripAt(Integer X, Integer Y, Integer& Grip);
  void SelectAtPoint(bool Shift, Integer X, Integer Y, bool FromPress);
  void ResizeObject(Integer hobj, Integer DX1, Integer DY1, Integer DX2, Integer DY2, bool KeepAspect, Integer Grip);
  void GetSelectionBounds(TRect& Rect);
  Integer PolylinePointAt(Integer X, Integer Y);
  Integer PolylineSegmentAt(Integer X, Integer Y);
  void NormalizePolyline(TIEVectObject* O);
  // Ends the running gesture and in-place edit; an unfinished polyline or
  // angle stays as it is.
  void CancelInteraction();
  virtual void DrawNewLineFeedback(bool Erase);
  bool EraseFeedbackFromBackBuffer(bool Erase);
  virtual void DrawNewBoxFeedback(bool Erase);
  virtual void DrawNewEllipseFeedback(bool Erase);
  virtual void DrawNewObjectFeedback();
  virtual void DrawNewAngleFeedback();
  bool SelectOnMouseDown() const { return FSelectOnMouseDown; }
  void SetSelectOnMouseDown(bool Value) { FSelectOnMouseDown = Value; }
  Integer MaxHitDistance() const { return FMaxHitDistance; }
  void SetMaxHitDistance(Integer Value) { FMaxHitDistance = Value; }
  bool BoxAlwaysHit() const { return FBoxAlwaysHit; }
  void SetBoxAlwaysHit(bool Value) { FBoxAlwaysHit = Value; }
  bool BitmapAlphaHitTest() const { return FBitmapAlphaHitTest; }
  void SetBitmapAlphaHitTest(bool Value) { FBitmapAlphaHitTest = Value; }
  bool AllowMoveOutside() const { return FAllowMoveOutside; }
  void SetAllowMoveOutside(bool Value) { FAllowMoveOutside = Value; }
  bool RubberBandSelect() const { return FRubberBandSelect; }
  void SetRubberBandSelect(bool Value) { FRubberBandSelect = Value; }
  bool EditTextOnCreate() const { return FEditTextOnCreate; }
  void SetEditTextOnCreate(bool Value) { FEditTextOnCreate = Value; }
  bool CenterNewObjects() const { return FCenterNewObjects; }
  void SetCenterNewObjects(bool Value) { FCenterNewObjects = Value; }
  Byte PolylineEndMode() const { return FPolylineEndMode; }
  void SetPolylineEndMode(Byte Value) { FPolylineEndMode = Value; }
  bool DrawOutsideImage() const { return FDrawOutsideImage; }
  void SetDrawOutsideImage(bool Value) { FDrawOutsideImage = Value; }
  TPen* RubberBandPen() const { return FRubberBandPen.get(); }
  TIEVectKind CreatingKind() const { return FCreatingKind; }
  Integer ActiveGrip() const { return FActiveGrip; }
  Integer HoverCustom() const { return FHoverCustom; }
  bool MovingObjects() const { return FMovingObjects; }

  // --- in-place text editing, keys and messages (ievect_edit.cpp) -----------------------
  bool IsEditingText() const { return FEditingObject >= 0; }
  void SetEditingObject(Integer hobj) { FEditingObject = hobj; }
  // Opens the editor over the object EditingObject (none for an object that
  // is not Editable).
  void ActivateTextEdit();
  // Gives the editor's text back to the object and hides the editor.
  void DeactivateTextEdit();
  void UpdateTextEditor();
  void Update() override;
  // The editors, made on first use and owned by the view.
  TIEEdit* TextEditor();
  TIETextControl* MemoEditor();
  TKeyEvent OnTextKeyDown;
  TNotifyEvent OnActivateTextEdit;
  TNotifyEvent OnDeactivateTextEdit;
  // The memo editor's own cursor event.
  TNotifyEvent OnTextEditCursorMoved();
  void SetOnTextEditCursorMoved(TNotifyEvent Value);

  // --- events ---------------------------------------------------------------------------
  TNotifyEvent OnSelectObject;
  TIEUserSelectObject OnUserSelectObject;
  TIEUserSelectObject OnUserDeselectObject;
  TIEVNewObject OnNewObject;
  TNotifyEvent OnVectorialChanged;
  TNotifyEvent OnBeforeVectorialChanged;
  TIEVObjectMoveResizeEvent OnObjectMoveResize;
  TIEVObjectClickEvent OnObjectClick;
  TIEVObjectClickEvent OnObjectDblClick;
  TIEVObjectClickEvent OnObjectOver;

 protected:
  struct TStoreEntry {
    std::unique_ptr<TIEBitmap> Bitmap;
    Integer RefCount = 0;
  };
  // The object, template or last, without the view's refresh.
  TIEVectObject* ObjOrNull(Integer hobj) { return GetObj(hobj); }
  void ReleaseBitmapIndex(Integer Index);
  // Deep copy of everything but the bitmap reference and the custom object.
  static void CopyObjectParts(const TIEVectObject& Src, TIEVectObject& Dst);
  // One object onto Target; false when it was not visible there. With
  // DrawingAlpha the pass paints the object's coverage (its colours are grey
  // levels); Opaque draws without the object's transparency.
  bool DrawObject(TIEVectObject& O, Integer hobj, TIEBitmap* Target, bool Clip, bool Map, bool Antialias,
                  bool DrawingAlpha = false, bool Opaque = false);
  // Through a work bitmap with an alpha channel: translucent texts and
  // memos, shadows, and-filled boxes.
  void DrawObjectAlpha(TIEVectObject& O, Integer hobj, TIEBitmap* Target, bool Map, bool Antialias);
  void DrawCurvedText(TCanvas* C, TIEVectObject& O, Integer X1, Integer Y1, Integer W, Integer H);
  void DrawMemo(TIEVectObject& O, TIEBitmap* Target, const TRect& Client, double ZY, bool DrawingAlpha);
  void DrawObjectGrips(TIEBitmap* Target, Integer hobj);
  void RefreshUnlessTemplate(Integer hobj);
  // Replaces the objects and the store with a block read in full (the
  // reader's staging record).
  void CommitStaged(void* Staged);
  void InitTemplate();
  // Enters the fast mode when a repaint finds the button held; redraws the
  // measure hint over the new picture.
  void Paint() override;

  std::vector<std::unique_ptr<TIEVectObject>> FObjects;
  std::vector<Integer> FZOrder;
  std::vector<Integer> FSel;
  TIEVectObject FTemplate;
  std::vector<TStoreEntry> FStore;
  bool FShareBitmaps = true;
  Integer FEditingObject = -1;
  bool FObjectsChangedOnce = false;
  bool FObjectsModified = false;
  void RecomputeUnitFactors();
  TIEUnits FMUnit = ieuPIXELS;
  Integer FFloatDigits = 2;
  Integer FFloatPrecision = 15;
  bool FInnerAngles = false;
  double FMeasureScale = 1.0;
  double FUnitPerPixelX = 1.0, FUnitPerPixelY = 1.0;
  bool FObjAntialias = true;
  bool FZoomObjectsWidth = true;
  TResampleFilter FBitmapResampleFilter = rfNone;
  Integer FObjGripSize = 5;
  Byte FObjGripShape = 1;
  bool FCenterGrip = false;
  bool FFastDrawing = false;
  bool FFastDrawDuringDrag = true;
  bool FMovingObjects = false;
  std::unique_ptr<TTimer> FDrawingTimer;
  // The alpha path's work bitmaps (colour with alpha channel, and the
  // coverage pass), kept between passes.
  std::unique_ptr<TIEBitmap> FAlphaWork, FAlphaCover;
  bool FHintActive = false;
  TIEMeasureHintSource FHintSource = iemhDragLen;
  bool FMeasureRubberSegment = true;
  // With viMeasureArea or viMeasurePerimeter on, the hint follows the
  // selection: active while there is one (or one is being drawn).
  void FollowSelectionWithHint();
  TPoint FHintStart;
  // The box's corner, and the point measured to (the mouse).
  TPoint FHintPos, FHintPoint;
  double FLastMeasured = 0;
  std::unique_ptr<TBitmap> FHintBackground;
  std::unique_ptr<TFont> FHintFont;
  std::unique_ptr<TBrush> FHintBrush;
  bool FObjAutoUndo = false;
  Integer FObjUndoLimit = 1;
  TIEVUndoMode FObjUndoMode = ieumSeparated;
  std::vector<std::unique_ptr<TMemoryStream>> FUndo;
  std::unique_ptr<TMemoryStream> FUndoEvicted;

  // --- mouse interaction state ---------------------------------------------------------
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void OffsetInteractionPoints(Integer DX, Integer DY) override;
  // A client point clamped to the displayed picture.
  TPoint ClampToImageArea(Integer X, Integer Y);
  void MouseMoveCaptured(TShiftState Shift, Integer X, Integer Y, TPoint P);
  void MouseMoveFree(TShiftState Shift, Integer X, Integer Y, TPoint P);
  void MouseUpLeft(TShiftState Shift, TPoint P, bool Click);
  void PressAngle(TShiftState Shift, TPoint P);
  void PressPolyline(TShiftState Shift, TPoint P);
  void ForwardCustomHover(TShiftState Shift, Integer X, Integer Y);
  TIEVectObject* SoleSelectedPolyline();
  std::vector<TPoint> PolylineClientPoints(const TIEVectObject& O);
  bool FFeedbackDrawn = false;
  TIEVectorInteract FVectorInteract;
  bool FSelectOnMouseDown = true;
  TIEVectKind FCreatingKind = vkNone;
  Integer FActiveGrip = 0;
  Integer FPolylineHandle = -1, FAngleHandle = -1;
  TPoint FPolylineLastPoint;
  Integer FGrabbedPoint = -1, FInsertSegment = -1;
  bool FAlreadySelectedOnDown = false;
  bool FDoubleClickDown = false;
  bool FVectLeftDown = false;
  bool FDragLenActive = false;
  TPoint FStartPoint, FCurrentPoint, FLastMousePos;
  Integer FAppliedDeltaX = 0, FAppliedDeltaY = 0;
  Integer FHoverCustom = -1;
  Integer FMaxHitDistance = -1;
  bool FBoxAlwaysHit = false;
  bool FBitmapAlphaHitTest = true;
  bool FAllowMoveOutside = true;
  bool FRubberBandSelect = true;
  bool FEditTextOnCreate = true;
  bool FCenterNewObjects = false;
  Byte FPolylineEndMode = 0;
  bool FDrawOutsideImage = false;
  static std::unique_ptr<TPen> NewRubberBandPen();
  void ShapeFeedback(bool Erase);
  void DragGrip(TShiftState Shift, TPoint P);
  std::unique_ptr<TPen> FRubberBandPen = NewRubberBandPen();
  // --- in-place editing state ------------------------------------------------------------
  void KeyDown(Word& Key, TShiftState Shift) override;
  void WndProc(TMessage& Message) override;
  void DoViewChange(Integer Change) override;
  void TextEditChanged();
  void TextEditKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
  void MemoEditKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
  void ApplyLocaleCharset();
  Integer EditCodePage();
  Integer EditorTextWidth(const WideString& Text);
  TIEEdit* FTextEditor = nullptr;         // owned as a component of the view
  TIETextControl* FMemoEditor = nullptr;  // owned as a component of the view
  bool FTextEditActive = false;
  bool FDestroyingVect = false;
  AnsiString FTextBeforeEdit;
  AnsiString FMemoText;
  std::vector<Integer> FMemoCharFormats;
  std::vector<TIETextFormat> FMemoFormats;
  TPoint FLastWindowSize;
  bool FUndoSavedForGesture = false;
};
