// The vector-object stream readers on hostile bytes: they must refuse or read
// without a crash, and on refusal leave the view's objects, its bitmap store
// and its sharing switch as they were.
#include "fuzz/fuzz_view_support.h"
#include "imaging/view/ievect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  fuzz_view::Prepare();
  static TZiduzUvVect* view = [] {
    auto* v = new TZiduzUvVect(nullptr);
    v->GetIEBitmap()->Allocate(3, 2, ie24RGB);
    return v;
  }();
  // A known state: one object and sharing off.
  view->RemoveAllObjects();
  view->AddNewObject();
  view->SetShareBitmaps(false);
  const Integer store = view->BitmapStoreCount();
  TMemoryStream s;
  fuzz_view::Fill(s, data, size);
  for (bool all : {false, true}) {
    s.SetPosition(0);
    const bool ok = all ? view->LoadAllFromStream(&s) : view->LoadObjectsFromStream(&s);
    if (view->ShareBitmaps()) std::abort();
    if (!ok && (view->ObjectsCount() != 1 || view->BitmapStoreCount() != store || s.Position() != 0)) std::abort();
    if (ok) {
      // What was read saves again.
      TMemoryStream out;
      view->SaveObjectsToStream(&out);
      view->RemoveAllObjects();
      view->AddNewObject();
    }
  }
  return 0;
}
