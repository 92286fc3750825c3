// The layers stream reader on hostile bytes: it must refuse or read without
// a crash, and on refusal leave the view's layers as they were.
#include "fuzz/fuzz_view_support.h"
#include "imaging/view/ziduzuvview.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  fuzz_view::Prepare();
  static TZiduzUvView* view = [] {
    auto* v = new TZiduzUvView(nullptr);
    v->GetIEBitmap()->Allocate(3, 2, ie24RGB);
    v->AddLayer();
    return v;
  }();
  TIEBitmap* before = view->Layers(0)->Bitmap;
  const Integer count = view->LayersCount();
  const Integer w = before->Width();
  TMemoryStream s;
  fuzz_view::Fill(s, data, size);
  if (view->LoadLayersFromStream(&s)) {
    // Something was read: start the next input from two known layers again.
    view->ClearLayers();
    view->GetIEBitmap()->Allocate(3, 2, ie24RGB);
    view->AddLayer();
  } else if (view->LayersCount() != count || view->Layers(0)->Bitmap->Width() != w || s.Position() != 0) {
    std::abort();
  }
  return 0;
}
