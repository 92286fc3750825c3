// The layers stream reader on hostile bytes: it must refuse or read without
// a crash, and on refusal leave the view's layers as they were.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "imaging/core/base/iestartup.h"
#include "imaging/io/ielimits.h"
#include "imaging/view/ziduzuvview.h"
#include "platform/base/classes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  IEReadLimits.DeflateMaxBytes = 1 << 24;
  IEReadLimits.PNG = {1 << 22, 1 << 25};
  IEReadLimits.Native = {1 << 22, 1 << 25};
  static TZiduzUvView* view = [] {
    IEStartup();
    auto* v = new TZiduzUvView(nullptr);
    v->GetIEBitmap()->Allocate(3, 2, ie24RGB);
    v->AddLayer();
    return v;
  }();
  TIEBitmap* before = view->Layers(0)->Bitmap;
  const Integer count = view->LayersCount();
  const Integer w = before->Width();
  TMemoryStream s;
  if (size) s.WriteBuffer(data, int64_t(size));
  s.SetPosition(0);
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
