// The undo and redo stacks of the processor: copies of the picture, and the
// selection, object and layer states of the attached view as opaque streams.
#include <algorithm>
#include <cstring>

#include "imaging/core/base/ieglobals.h"  // IEMemoryThresholdOverride
#include "imaging/proc/ziduzuvproc.h"
#include "imaging/view/ziduzuvview.h"

namespace {

// A saved picture and the layer it was taken from (-1: no layered view).
class TIEUndoImage : public TObject {
 public:
  std::unique_ptr<TIEBitmap> Bitmap;
  Integer Layer = -1;
};

class TIEUndoStream : public TObject {
 public:
  TMemoryStream Stream;
};

// The smallest layer record: its length and its identifier.
constexpr int64_t kLayerHead = 4 + 16;

// A new picture whose storage goes to a temporary file at any size: undo
// copies must not hold the document's memory twice.
std::unique_ptr<TIEBitmap> NewUndoBitmap() {
  int64_t saved = IEMemoryThresholdOverride;
  IEMemoryThresholdOverride = 0;
  auto b = std::make_unique<TIEBitmap>();
  IEMemoryThresholdOverride = saved;
  return b;
}

// The single-image view's own selection and layer streams, seen through the
// interface the stacks use.
class TIEViewStateAdapter : public TIEUndoViewState {
 public:
  explicit TIEViewStateAdapter(TZiduzUvView* View) : FView(View) {}
  void SaveSelectionToStream(TStream* Stream) override { FView->SaveSelectionToStream(Stream); }
  void LoadSelectionFromStream(TStream* Stream, Integer Mode) override { FView->LoadSelectionFromStream(Stream, Mode); }
  Integer UndoLayerCount() override { return FView->LayersCount(); }
  void SaveLayerToStream(Integer Index, TStream* Stream, bool WithBitmap) override {
    FView->Layers(Index)->SaveToStream(Stream, WithBitmap);
  }
  void LoadLayerFromStream(Integer Index, TStream* Stream) override { FView->Layers(Index)->LoadFromStream(Stream); }
  void GetLayerIdentifier(Integer Index, Byte Identifier[16]) override {
    static_assert(sizeof(TGUID) == 16);
    std::memcpy(Identifier, &FView->Layers(Index)->GUID, 16);
  }
  void SaveLayersToStream(TStream* Stream, Integer Compression) override {
    FView->SaveLayersToStream(Stream, Compression);
  }
  void LoadLayersFromStream(TStream* Stream) override { FView->LoadLayersFromStream(Stream); }

 private:
  TZiduzUvView* FView;
};

}  // namespace

TIEUndoViewState* TZiduzUvProc::ViewState() const {
  if (auto* own = dynamic_cast<TIEUndoViewState*>(FView)) return own;
  auto* view = dynamic_cast<TZiduzUvView*>(FView);
  if (!view) return nullptr;
  if (FAdapterView != view) {
    FAdapter = std::make_unique<TIEViewStateAdapter>(view);
    FAdapterView = view;
  }
  return FAdapter.get();
}
TIEUndoObjectState* TZiduzUvProc::ObjectState() const { return dynamic_cast<TIEUndoObjectState*>(FView); }

std::unique_ptr<TObject> TZiduzUvProc::TakeState(TIEUndoSource Source) {
  switch (Source) {
    case ieuImage: {
      if (FIEBitmap->Width() < 2 || FIEBitmap->Height() < 2) return nullptr;
      auto img = std::make_unique<TIEUndoImage>();
      img->Bitmap = NewUndoBitmap();
      if (FUndoLocation == ieMemory) img->Bitmap->SetLocation(ieMemory);
      img->Bitmap->Assign(FIEBitmap);
      if (FUndoLocation == ieTBitmap) {
        // Formats a platform bitmap cannot hold stay where they are.
        try {
          img->Bitmap->SetLocation(ieTBitmap);
        } catch (const Exception&) {
        }
      }
      if (auto* view = dynamic_cast<TZiduzUvView*>(FView)) img->Layer = view->CurrentLayer();
      return img;
    }
    case ieuSelection:
      if (TIEUndoViewState* v = ViewState()) {
        auto s = std::make_unique<TIEUndoStream>();
        v->SaveSelectionToStream(&s->Stream);
        return s;
      }
      return nullptr;
    case ieuObject:
      if (TIEUndoObjectState* o = ObjectState()) {
        auto s = std::make_unique<TIEUndoStream>();
        o->SaveObjectsToStream(&s->Stream);
        return s;
      }
      return nullptr;
    case ieuLayer:
    case ieuFullLayer:
      if (TIEUndoViewState* v = ViewState()) {
        auto s = std::make_unique<TIEUndoStream>();
        auto* view = dynamic_cast<TZiduzUvView*>(FView);
        Integer current = view ? view->CurrentLayer() : -1;
        for (Integer i = 0, n = v->UndoLayerCount(); i < n; ++i)
          v->SaveLayerToStream(i, &s->Stream, Source == ieuFullLayer && i == current);
        return s;
      }
      return nullptr;
    case ieuObjectsAndLayers:
      if (TIEUndoObjectState* o = ObjectState()) {
        auto s = std::make_unique<TIEUndoStream>();
        o->SaveAllToStream(&s->Stream, -1);
        return s;
      }
      if (TIEUndoViewState* v = ViewState()) {
        auto s = std::make_unique<TIEUndoStream>();
        v->SaveLayersToStream(&s->Stream, -2);
        return s;
      }
      return nullptr;
    default:
      return nullptr;
  }
}

bool TZiduzUvProc::PushState(TUndoStack& Stack, TIEUndoSource Source) {
  if (Source == ieuImage && !PrepareBitmap(0)) return false;
  std::unique_ptr<TObject> data = TakeState(Source);
  if (!data) return false;
  while (!Stack.empty() && static_cast<Integer>(Stack.size()) >= FUndoLimit) Stack.erase(Stack.begin());
  Stack.push_back(TUndoEntry{std::move(data), Source, WideString()});
  return true;
}

void TZiduzUvProc::SaveUndo(TIEUndoSource Source) {
  if (FUndoLimit <= 0) return;
  if (Source == ieuImage && !PrepareBitmap(0)) return;
  PushState(FUndo, Source);
  if (OnSaveUndo) OnSaveUndo(this, Source);
}

void TZiduzUvProc::SaveUndoCaptioned(const WideString& Caption, TIEUndoSource Source) {
  if (!PrepareBitmap(0)) return;
  if (FIEBitmap->Width() < 2 || FIEBitmap->Height() < 2) return;
  size_t before = FUndo.size();
  const TObject* newest = FUndo.empty() ? nullptr : FUndo.back().Data.get();
  SaveUndo(Source);
  if (!FUndo.empty() && (FUndo.size() != before || FUndo.back().Data.get() != newest)) FUndo.back().Caption = Caption;
}

void TZiduzUvProc::SaveRedo(TIEUndoSource Source) {
  if (FUndoLimit <= 0) return;
  PushState(FRedo, Source);
}

void TZiduzUvProc::Undo(bool SaveRedo) { UndoAt(0, SaveRedo); }
void TZiduzUvProc::Redo() { RedoAt(0); }

void TZiduzUvProc::UndoAt(Integer Index, bool SaveRedo) {
  if (!PrepareBitmap(0)) return;
  if (Index < 0 || Index >= GetUndoCount()) return;
  TUndoEntry& e = FUndo[static_cast<size_t>(GetUndoCount() - 1 - Index)];
  // The redo push may evict nothing of the undo stack, so e stays valid.
  if (SaveRedo) this->SaveRedo(e.Kind);
  RestoreEntry(e);
}

void TZiduzUvProc::RedoAt(Integer Index) {
  if (!PrepareBitmap(0)) return;
  if (Index < 0 || Index >= GetRedoCount()) return;
  RestoreEntry(FRedo[static_cast<size_t>(GetRedoCount() - 1 - Index)]);
}

void TZiduzUvProc::RestoreEntry(TUndoEntry& Entry) {
  switch (Entry.Kind) {
    case ieuImage: {
      auto* img = dynamic_cast<TIEUndoImage*>(Entry.Data.get());
      if (!img) return;
      TIEBitmap* target = FIEBitmap;
      auto* view = dynamic_cast<TZiduzUvView*>(FView);
      if (view && img->Layer >= 0 && view->LayersCount() > 0)
        target = view->Layers(std::min(img->Layer, view->LayersCount() - 1))->Bitmap;
      if (!target) return;
      target->Assign(img->Bitmap.get());
      if (!img->Bitmap->HasAlphaChannel() && target->HasAlphaChannel()) target->RemoveAlphaChannel(false, 0);
      RefreshAttached();
      return;
    }
    case ieuSelection:
      if (TIEUndoViewState* v = ViewState()) {
        auto& s = static_cast<TIEUndoStream*>(Entry.Data.get())->Stream;
        s.SetPosition(0);
        v->LoadSelectionFromStream(&s, 1);
      }
      return;
    case ieuObject:
      if (TIEUndoObjectState* o = ObjectState()) {
        auto& s = static_cast<TIEUndoStream*>(Entry.Data.get())->Stream;
        s.SetPosition(0);
        o->LoadObjectsFromStream(&s);
      }
      return;
    case ieuLayer:
    case ieuFullLayer:
      if (ViewState()) {
        auto& s = static_cast<TIEUndoStream*>(Entry.Data.get())->Stream;
        s.SetPosition(0);
        RestoreLayers(&s);
        FView->Update();
      }
      return;
    case ieuObjectsAndLayers: {
      auto& s = static_cast<TIEUndoStream*>(Entry.Data.get())->Stream;
      s.SetPosition(0);
      if (TIEUndoObjectState* o = ObjectState())
        o->LoadAllFromStream(&s);
      else if (TIEUndoViewState* v = ViewState())
        v->LoadLayersFromStream(&s);
      return;
    }
    default:
      return;
  }
}

void TZiduzUvProc::RestoreLayers(TStream* Stream) {
  TIEUndoViewState* v = ViewState();
  const int64_t size = Stream->Size();
  int64_t start = 0;
  // The stream is ours, but a damaged record length must neither stall the
  // walk (a length below the head) nor send it past the end.
  while (size - start >= kLayerHead) {
    Stream->SetPosition(start);
    int32_t length = 0;
    Byte id[16];
    if (Stream->Read(&length, 4) != 4 || Stream->Read(id, 16) != 16) break;
    if (length < kLayerHead || start + length > size) break;
    for (Integer i = 0, n = v->UndoLayerCount(); i < n; ++i) {
      Byte other[16];
      v->GetLayerIdentifier(i, other);
      if (std::memcmp(id, other, 16) == 0) {
        Stream->SetPosition(start);
        v->LoadLayerFromStream(i, Stream);
        break;
      }
    }
    start += length;
  }
}

void TZiduzUvProc::ClearUndo() {
  if (!FUndo.empty()) FUndo.pop_back();
}

void TZiduzUvProc::ClearRedo() {
  if (!FRedo.empty()) FRedo.pop_back();
}

void TZiduzUvProc::ClearUndoAt(Integer Index) {
  if (Index < 0 || Index >= GetUndoCount()) return;
  FUndo.erase(FUndo.begin() + (GetUndoCount() - 1 - Index));
}

void TZiduzUvProc::ClearAllUndo() {
  while (!FUndo.empty()) FUndo.erase(FUndo.begin());
}

void TZiduzUvProc::ClearAllRedo() {
  while (!FRedo.empty()) FRedo.erase(FRedo.begin());
}

TIEUndoSource TZiduzUvProc::GetUndoSource(Integer Index) const {
  if (Index < 0 || Index >= GetUndoCount()) return ieuUnknown;
  return FUndo[static_cast<size_t>(Index)].Kind;
}

WideString TZiduzUvProc::UndoCaptions(Integer Index) const {
  if (Index < 0 || Index >= GetUndoCount()) return WideString();
  return FUndo[static_cast<size_t>(Index)].Caption;
}

WideString TZiduzUvProc::RedoCaptions(Integer Index) const {
  if (Index < 0 || Index >= GetRedoCount()) return WideString();
  return FRedo[static_cast<size_t>(Index)].Caption;
}
