// The vector view's object model: the object array addressed by handles, the
// z-order and selection lists, the template every new object copies, the
// shared store of object bitmaps with its reference counts, and the registry
// of custom object classes.
#include "imaging/view/ievect.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <typeinfo>

#include "imaging/core/base/iestartup.h"
#include "imaging/core/kernels/iebitmapstats.h"
#include "platform/base/strutils.h"

namespace {

struct TCustomClassEntry {
  AnsiString Name;
  TIEVectCustomClass Class;
};

std::vector<TCustomClassEntry>& Registry() {
  static std::vector<TCustomClassEntry> registry;
  return registry;
}

constexpr Integer kStopIcon = 32513;

}  // namespace

// ---------------------------------------------------------------------------
// Custom classes

TIEVectCustomRef::TIEVectCustomRef(const TIEVectCustomRef& O) : P(O.P ? O.P->Clone() : nullptr) {}

TIEVectCustomRef& TIEVectCustomRef::operator=(const TIEVectCustomRef& O) {
  if (this != &O) P = O.P ? O.P->Clone() : nullptr;
  return *this;
}

void IEVectRegisterCustomClass(const AnsiString& Name, TIEVectCustomClass Class) {
  if (Class) Registry().push_back({Name, Class});
}

void IEVectUnregisterCustomClass(TIEVectCustomClass Class) {
  auto& r = Registry();
  r.erase(std::remove_if(r.begin(), r.end(), [&](const TCustomClassEntry& e) { return e.Class == Class; }), r.end());
}

std::unique_ptr<TIEVectCustomObject> IEVectFindCustomClass(const AnsiString& Name) {
  for (const TCustomClassEntry& e : Registry())
    if (e.Name == Name) return e.Class();
  return nullptr;
}

AnsiString IEVectCustomClassName(TIEVectCustomClass Class) {
  for (const TCustomClassEntry& e : Registry())
    if (e.Class == Class) return e.Name;
  return {};
}

TIEVectCustomClass IEVectCustomClassOf(const TIEVectCustomObject* Object) {
  if (!Object) return nullptr;
  for (const TCustomClassEntry& e : Registry()) {
    std::unique_ptr<TIEVectCustomObject> probe = e.Class();
    if (probe && typeid(*probe) == typeid(*Object)) return e.Class;
  }
  return nullptr;
}

void IEVectInitialize() { Registry().clear(); }

void IEVectFinalize() { Registry().clear(); }

namespace {
TIEStartupRegistrar g_VectStep(iessVect, "vector objects", &IEVectInitialize, &IEVectFinalize);
}  // namespace

// The system's stop sign: a red disc with a white cross on white.
void IEVectDrawStopIcon(TIEBitmap* Target, Integer W, Integer H) {
  if (!Target->Allocate(W, H, ie24RGB)) return;
  const double cx = (W - 1) / 2.0, cy = (H - 1) / 2.0, r = std::min(W, H) / 2.0 - 1;
  const double arm = r * 0.45, half = std::max(1.0, r * 0.12);
  for (Integer y = 0; y < H; ++y) {
    Byte* row = static_cast<Byte*>(Target->GetScanline(y));
    for (Integer x = 0; x < W; ++x) {
      const double dx = x - cx, dy = y - cy;
      Byte b = 255, g = 255, rd = 255;
      if (dx * dx + dy * dy <= r * r) {
        b = 0x20, g = 0x20, rd = 0xD0;
        const bool onCross = (std::fabs(dx - dy) <= half * std::numbers::sqrt2 ||
                              std::fabs(dx + dy) <= half * std::numbers::sqrt2) &&
                             std::fabs(dx) <= arm && std::fabs(dy) <= arm;
        if (onCross) b = g = rd = 255;
      }
      row[x * 3] = b;
      row[x * 3 + 1] = g;
      row[x * 3 + 2] = rd;
    }
  }
}

// ---------------------------------------------------------------------------
// Lifecycle

TZiduzUvVect::TZiduzUvVect(TComponent* AOwner) : TZiduzUvView(AOwner) {
  InitTemplate();
}

TZiduzUvVect::~TZiduzUvVect() {
  // A running edit is committed, without resizing the object.
  FDestroyingVect = true;
  DeactivateTextEdit();
  for (Integer h : FZOrder) FreeObjectData(*FObjects[size_t(h)]);
  FreeObjectData(FTemplate);
  FObjects.clear();
  FZOrder.clear();
  FSel.clear();
  FStore.clear();
  ClearObjUndo();
}

void TZiduzUvVect::InitTemplate() {
  TIEVectObject& t = FTemplate;
  t = TIEVectObject();
  t.X1 = 0;
  t.Y1 = 0;
  t.X2 = 63;
  t.Y2 = 63;
  t.ArcEnd = 2 * std::numbers::pi;
  t.AnglePoints[0] = TPoint(0, 0);
  t.AnglePoints[1] = TPoint(50, 0);
  t.AnglePoints[2] = TPoint(50, 50);
  t.Shadow = TIEVSoftShadow();
  t.RulerUnit = FMUnit;
  TIEBitmap icon;
  IEVectDrawStopIcon(&icon, 64, 64);
  SetObjBitmap(IEV_TEMPLATE, &icon);
  if (TCanvas* c = Canvas()) {
    c->Font()->SetName(u"Arial");
    SetObjFont(IEV_TEMPLATE, c->Font());
  }
}

// ---------------------------------------------------------------------------
// Objects

TIEVectObject* TZiduzUvVect::GetObj(Integer hobj) {
  if (hobj == IEV_TEMPLATE) return &FTemplate;
  if (hobj == IEV_LAST) return FObjects.empty() ? nullptr : FObjects.back().get();
  // Handles come from callers and, through selections and undo, from files:
  // one that names no object gives none.
  if (hobj < 0 || hobj >= Integer(FObjects.size())) return nullptr;
  return FObjects[size_t(hobj)].get();
}

Integer TZiduzUvVect::AddObject(const TIEVectObject& Source) {
  auto o = std::make_unique<TIEVectObject>(Source);
  const Integer hobj = Integer(FObjects.size());
  o->UserData = nullptr;
  o->UserDataLen = 0;
  o->ScreenPoints.clear();
  o->BitmapIndex = -1;
  if (o->Kind == vkPolyline) {
    o->AnglePoints[0] = o->AnglePoints[1] = o->AnglePoints[2] = TPoint();
  } else {
    o->Points.clear();
    o->PointsBox = TRect();
  }
  if (o->Kind == vkMemo) o->MemoCharFormats.resize(o->Text.size(), 0);
  if (!o->IsDirected()) {
    if (o->X1 > o->X2) std::swap(o->X1, o->X2);
    if (o->Y1 > o->Y2) std::swap(o->Y1, o->Y2);
  }
  TIEVectObject* rec = o.get();
  FObjects.push_back(std::move(o));
  FZOrder.push_back(hobj);
  if (rec->UsesBitmap() && Source.BitmapIndex >= 0) SetObjBitmapIndex(hobj, Source.BitmapIndex);
  if (rec->CustomObject) {
    rec->CustomObject->Owner = this;
    rec->CustomObject->Record = rec;
    rec->CustomObject->SetHandle(hobj);
  }
  return hobj;
}

Integer TZiduzUvVect::AddNewObject() { return AddObject(FTemplate); }

void TZiduzUvVect::FreeObjectData(TIEVectObject& Obj) {
  ReleaseBitmapIndex(Obj.BitmapIndex);
  Obj.BitmapIndex = -1;
  Obj.Name.clear();
  Obj.Font.reset();
  Obj.Text.clear();
  Obj.MemoCharFormats.clear();
  Obj.MemoFormats.clear();
  Obj.CurvePoints.clear();
  Obj.Points.clear();
  Obj.ScreenPoints.clear();
  Obj.Shadow.reset();
  Obj.CustomObject.P.reset();
  if (Obj.UserDataLen > 0) {
    std::free(Obj.UserData);
    Obj.UserData = nullptr;
    Obj.UserDataLen = 0;
  }
}

void TZiduzUvVect::RemoveAllObjects() {
  if (FObjAutoUndo) SaveUndoBeforeChange();
  for (Integer h : FZOrder) FreeObjectData(*FObjects[size_t(h)]);
  FZOrder.clear();
  FSel.clear();
  FObjects.clear();
  // The template's picture outlives the store: taken out, the store emptied,
  // and attached again in a fresh entry.
  std::unique_ptr<TIEBitmap> keep;
  const Integer ti = FTemplate.BitmapIndex;
  if (ti >= 0 && ti < Integer(FStore.size())) keep = std::move(FStore[size_t(ti)].Bitmap);
  FStore.clear();
  FTemplate.BitmapIndex = -1;
  if (keep) SetObjBitmap(IEV_TEMPLATE, keep.get());
  DoVectorialChanged();
  Update();
}

void TZiduzUvVect::RefreshUnlessTemplate(Integer hobj) {
  if (hobj != IEV_TEMPLATE) Update();
}

void TZiduzUvVect::SetObjUserData(Integer hobj, void* Data) {
  if (TIEVectObject* o = GetObj(hobj)) o->UserData = Data;
  RefreshUnlessTemplate(hobj);
}

void TZiduzUvVect::SetObjUserDataLen(Integer hobj, Integer Len) {
  if (TIEVectObject* o = GetObj(hobj)) o->UserDataLen = Len;
  RefreshUnlessTemplate(hobj);
}

void TZiduzUvVect::SetObjFont(Integer hobj, TFont* Font) {
  TIEVectObject* o = GetObj(hobj);
  if (!o || !Font) return;
  LOGFONTA lf;
  if (GetObjectA(Font->Handle(), Integer(sizeof(lf)), &lf) == 0) {
    // No handle to ask: the same record from the font's own properties.
    const LOGFONTW& w = Font->Data();
    std::memcpy(static_cast<void*>(&lf), &w, offsetof(LOGFONTA, lfFaceName));
    const AnsiString name = WideToAnsi(Font->Name());
    std::memset(lf.lfFaceName, 0, sizeof(lf.lfFaceName));
    std::memcpy(lf.lfFaceName, name.data(), std::min(name.size(), sizeof(lf.lfFaceName) - 1));
  }
  o->Font = lf;
  o->PenColor = Font->Color();
  RefreshUnlessTemplate(hobj);
}

void TZiduzUvVect::SetObjBitmapIcon(Integer hobj, Integer Icon, Integer Width, Integer Height) {
  TIEBitmap b;
  // The stop sign is the one system icon there is; others give a blank.
  if (Icon == kStopIcon) {
    IEVectDrawStopIcon(&b, Width, Height);
  } else if (b.Allocate(Width, Height, ie24RGB)) {
    b.Fill(0xFFFFFF);
  }
  SetObjBitmap(hobj, &b);
  RefreshUnlessTemplate(hobj);
}

TFontStyles TZiduzUvVect::GetObjFontStyles(Integer hobj) {
  TFontStyles s;
  TIEVectObject* o = GetObj(hobj);
  if (!o || !o->Font) return s;
  if (o->Font->lfWeight >= 700) s.Include(fsBold);
  if (o->Font->lfItalic) s.Include(fsItalic);
  if (o->Font->lfUnderline) s.Include(fsUnderline);
  if (o->Font->lfStrikeOut) s.Include(fsStrikeOut);
  return s;
}

void TZiduzUvVect::AddPolylinePoint(Integer hobj, Integer X, Integer Y) {
  TIEVectObject* o = GetObj(hobj);
  if (!o) return;
  if (!o->Points.empty() && o->Points.back().X == X && o->Points.back().Y == Y) return;
  o->Points.push_back(TPoint(X, Y));
  o->X1 = std::min(o->X1, X);
  o->Y1 = std::min(o->Y1, Y);
  o->X2 = std::max(o->X2, X);
  o->Y2 = std::max(o->Y2, Y);
  o->PointsBox = TRect(o->X1, o->Y1, o->X2, o->Y2);
}

void TZiduzUvVect::MoveObject(Integer hobj, Integer DX, Integer DY) {
  TIEVectObject* o = GetObj(hobj);
  if (!o) return;
  o->X1 += DX;
  o->Y1 += DY;
  o->X2 += DX;
  o->Y2 += DY;
  if (o->Kind == vkAngle)
    for (TPoint& p : o->AnglePoints)
      if (p.X != -1000000) {
        p.X += DX;
        p.Y += DY;
      }
}

void TZiduzUvVect::GetObjectsExtent(TRect& Rect) {
  Rect = TRect();
  if (FZOrder.empty()) return;
  Integer mx = INT32_MIN, my = INT32_MIN;
  for (Integer h : FZOrder) {
    const TIEVectObject& o = *FObjects[size_t(h)];
    mx = std::max({mx, o.X1, o.X2});
    my = std::max({my, o.Y1, o.Y2});
  }
  Rect = TRect(0, 0, mx + 1, my + 1);
}

void TZiduzUvVect::CopyObjectsTo(TZiduzUvVect* Target) {
  if (!Target || Target == this) return;
  for (Integer h : FZOrder) {
    const TIEVectObject& src = *FObjects[size_t(h)];
    TIEVectObject copy(src);
    copy.BitmapIndex = -1;
    const Integer nh = Target->AddObject(copy);
    if (src.UsesBitmap())
      if (TIEBitmap* b = GetStoredBitmap(src.BitmapIndex)) {
        // A fresh entry of its own in the target, not one shared there.
        const bool share = Target->FShareBitmaps;
        Target->FShareBitmaps = false;
        Target->SetObjBitmap(nh, b);
        Target->FShareBitmaps = share;
      }
  }
  Target->Update();
}

void TZiduzUvVect::Assign(TPersistent* Source) {
  TZiduzUvView::Assign(Source);
  auto* src = dynamic_cast<TZiduzUvVect*>(Source);
  if (Source && !src) return;
  RemoveAllObjects();
  if (src) {
    src->CopyObjectsTo(this);
    SetMeasureScale(src->MeasureScale());
    DoVectorialChanged();
    Update();
  }
}

// ---------------------------------------------------------------------------
// The bitmap store

Integer TZiduzUvVect::BitmapRefCount(Integer Index) const {
  if (Index < 0 || Index >= Integer(FStore.size())) return 0;
  return FStore[size_t(Index)].RefCount;
}

TIEBitmap* TZiduzUvVect::GetStoredBitmap(Integer Index) {
  if (Index < 0 || Index >= Integer(FStore.size())) return nullptr;
  return FStore[size_t(Index)].Bitmap.get();
}

void TZiduzUvVect::ReleaseBitmapIndex(Integer Index) {
  // A free entry keeps count 0: releasing it again must not make it look used.
  if (Index < 0 || Index >= Integer(FStore.size())) return;
  TStoreEntry& e = FStore[size_t(Index)];
  if (!e.Bitmap) return;
  if (e.RefCount <= 1) {
    e.Bitmap.reset();
    e.RefCount = 0;
  } else {
    --e.RefCount;
  }
}

void TZiduzUvVect::SetObjBitmap(Integer hobj, TIEBitmap* Bitmap) {
  TIEVectObject* o = GetObj(hobj);
  if (!o) return;
  const Integer old = o->BitmapIndex;
  Integer index = -1;
  if (Bitmap) {
    if (FShareBitmaps)
      for (Integer i = Integer(FStore.size()) - 1; i >= 0; --i) {
        TStoreEntry& e = FStore[size_t(i)];
        if (e.Bitmap && e.Bitmap->PixelFormat() == Bitmap->PixelFormat() && IEBitmapsEqual(e.Bitmap.get(), Bitmap)) {
          ++e.RefCount;
          index = i;
          break;
        }
      }
    if (index < 0) {
      auto copy = std::make_unique<TIEBitmap>();
      copy->Assign(Bitmap);
      auto it = std::find_if(FStore.begin(), FStore.end(), [](const TStoreEntry& e) { return !e.Bitmap; });
      if (it == FStore.end()) it = FStore.insert(FStore.end(), TStoreEntry());
      it->Bitmap = std::move(copy);
      it->RefCount = 1;
      index = Integer(it - FStore.begin());
    }
  }
  // Released after the new reference is taken, so that giving an object its
  // own picture again never frees it on the way.
  ReleaseBitmapIndex(old);
  o->BitmapIndex = index;
}

bool TZiduzUvVect::SetObjBitmapIndex(Integer hobj, Integer Index) {
  TIEVectObject* o = GetObj(hobj);
  if (!o) return false;
  if (Index < 0) {
    ReleaseBitmapIndex(o->BitmapIndex);
    o->BitmapIndex = -1;
    return true;
  }
  // Only an entry that holds a picture can be referenced.
  if (Index >= Integer(FStore.size()) || !FStore[size_t(Index)].Bitmap) return false;
  if (FShareBitmaps) {
    ++FStore[size_t(Index)].RefCount;
    ReleaseBitmapIndex(o->BitmapIndex);
    o->BitmapIndex = Index;
    return true;
  }
  // SetObjBitmap copies into a free entry when sharing is off.
  TIEBitmap copy;
  copy.Assign(FStore[size_t(Index)].Bitmap.get());
  SetObjBitmap(hobj, &copy);
  return true;
}

void TZiduzUvVect::CompactBitmaps() {
  std::vector<Integer> map(FStore.size(), -1);
  std::vector<TStoreEntry> kept;
  for (size_t i = 0; i < FStore.size(); ++i)
    if (FStore[i].Bitmap) {
      map[i] = Integer(kept.size());
      kept.push_back(std::move(FStore[i]));
    }
  FStore = std::move(kept);
  auto renumber = [&](TIEVectObject& o) {
    if (o.BitmapIndex >= 0) o.BitmapIndex = o.BitmapIndex < Integer(map.size()) ? map[size_t(o.BitmapIndex)] : -1;
  };
  renumber(FTemplate);
  for (Integer h : FZOrder) renumber(*FObjects[size_t(h)]);
}

// ---------------------------------------------------------------------------
// Selection

void TZiduzUvVect::AddSelObject(Integer hobj) {
  AddSelObjectQuiet(hobj);
  if (OnSelectObject) OnSelectObject(this);
}

void TZiduzUvVect::AddSelObjectQuiet(Integer hobj) {
  if (hobj == IEV_LAST) hobj = Integer(FObjects.size()) - 1;
  if (hobj < 0) return;
  TIEVectObject* o = GetObj(hobj);
  if (o && (o->Style & vsSelectable)) FSel.push_back(hobj);
}

bool TZiduzUvVect::IsSelObject(Integer hobj) {
  if (hobj == IEV_LAST) hobj = Integer(FObjects.size()) - 1;
  return std::find(FSel.begin(), FSel.end(), hobj) != FSel.end();
}

void TZiduzUvVect::UnSelObject(Integer hobj) {
  if (hobj == IEV_LAST) hobj = Integer(FObjects.size()) - 1;
  auto it = std::find(FSel.begin(), FSel.end(), hobj);
  if (it == FSel.end()) return;
  FSel.erase(it);
  if (OnSelectObject) OnSelectObject(this);
}

void TZiduzUvVect::UnSelAllObjectsQuiet() {
  FSel.clear();
  if (OnSelectObject) OnSelectObject(this);
}

void TZiduzUvVect::UnSelAllObjects() {
  UnSelAllObjectsQuiet();
  Update();
}

void TZiduzUvVect::SelectObjectsInRect(Integer hobj, Integer Left, Integer Top, Integer Right, Integer Bottom) {
  auto one = [&](Integer h) {
    TIEVectObject* o = GetObj(h);
    if (!o) return;
    const Integer x1 = std::min(o->X1, o->X2), x2 = std::max(o->X1, o->X2);
    const Integer y1 = std::min(o->Y1, o->Y2), y2 = std::max(o->Y1, o->Y2);
    if (x1 >= Left && y1 >= Top && x2 <= Right && y2 <= Bottom && !IsSelObject(h)) AddSelObjectQuiet(h);
  };
  if (hobj == IEV_ALL) {
    for (Integer h : FZOrder) one(h);
  } else {
    one(hobj == IEV_LAST ? Integer(FObjects.size()) - 1 : hobj);
  }
}

// ---------------------------------------------------------------------------
// Notifications

void TZiduzUvVect::DoVectorialChanged() {
  FObjectsModified = true;
  FObjectsChangedOnce = false;
  if (OnVectorialChanged) OnVectorialChanged(this);
}

void TZiduzUvVect::DoVectorialChangedOnce() {
  if (!FObjectsChangedOnce && OnVectorialChanged) OnVectorialChanged(this);
  FObjectsChangedOnce = true;
}

void TZiduzUvVect::DoObjectMoveResize(Integer hobj, Integer Grip, Integer& OffsetX, Integer& OffsetY) {
  if (OnObjectMoveResize) OnObjectMoveResize(this, hobj, Grip & 0x7F, OffsetX, OffsetY);
}

void TZiduzUvVect::DoObjectClick(Integer hobj) {
  if (OnObjectClick) OnObjectClick(this, hobj);
}

void TZiduzUvVect::DoObjectDblClick(Integer hobj) {
  if (OnObjectDblClick) OnObjectDblClick(this, hobj);
}

void TZiduzUvVect::DoObjectOver(Integer hobj) {
  if (OnObjectOver) OnObjectOver(this, hobj);
}

void TZiduzUvVect::DoNewObject(Integer hobj) {
  if (OnNewObject) OnNewObject(this, hobj);
}

void TZiduzUvVect::DoUserSelectObject(Integer hobj) {
  if (OnUserSelectObject) OnUserSelectObject(this, hobj);
}

void TZiduzUvVect::DoUserDeselectObject(Integer hobj) {
  if (OnUserDeselectObject) OnUserDeselectObject(this, hobj);
}

// ---------------------------------------------------------------------------
// Measurement factors

void TZiduzUvVect::GetUnitFactors(double& FX, double& FY, TIEUnits Unit) {
  if (Unit == ieuPIXELS) {
    FX = FY = 1;
  } else {
    FX = 1.0 / std::max(1, DpiX());
    FY = 1.0 / std::max(1, DpiY());
    double m = 1;
    switch (Unit) {
      case ieuKM: m = 2.54 / 100000; break;
      case ieuMETERS: m = 2.54 / 100; break;
      case ieuCENTIMETERS: m = 2.54; break;
      case ieuMILLIMETERS: m = 2.54 * 10; break;
      case ieuMICRONS: m = 2.54 * 10000; break;
      case ieuNANOMETERS: m = 2.54 * 10000000; break;
      default: break;
    }
    FX *= m;
    FY *= m;
  }
  FX *= FMeasureScale;
  FY *= FMeasureScale;
}

void TZiduzUvVect::SetMeasureScale(double Value) {
  FMeasureScale = Value;
  RecomputeUnitFactors();
  RefreshMeasureHint(-1000000, -1000000);
  Update();
}
