// The single-layer record reader (undo's copy of one layer) on hostile
// bytes: it must refuse or read without a crash, and on refusal leave the
// layer's fields and picture as they were.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/base/iestartup.h"
#include "imaging/view/ziduzuvview.h"
#include "platform/base/classes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static TZiduzUvView* view = [] {
    IEStartup();
    auto* v = new TZiduzUvView(nullptr);
    v->GetIEBitmap()->Allocate(3, 2, ie24RGB);
    v->AddLayer();
    return v;
  }();
  TIELayer* l = view->Layers(1);
  l->Bitmap->Allocate(3, 2, ie24RGB);
  l->PosX = 11;
  l->Transparency = 99;
  l->Name = "kept";
  TMemoryStream s;
  if (size) s.WriteBuffer(data, int64_t(size));
  s.SetPosition(0);
  if (!l->LoadFromStream(&s)) {
    if (l->PosX != 11 || l->Transparency != 99 || l->Name != "kept" || l->Bitmap->Width() != 3) std::abort();
  } else {
    // The layer may now point at a bogus user-data address from the record;
    // it never owns it, and is reset before the next input.
    l->UserData = nullptr;
  }
  return 0;
}
