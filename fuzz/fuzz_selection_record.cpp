// The selection record reader (the view's selection stack, undo) on hostile
// bytes, in each of its three placement modes: it must refuse or read
// without a crash or a huge allocation, and on refusal keep the selection.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/base/iestartup.h"
#include "imaging/view/ziduzuvview.h"
#include "platform/base/classes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 20) return 0;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static TZiduzUvView* view = [] {
    IEStartup();
    auto* v = new TZiduzUvView(nullptr);
    v->GetIEBitmap()->Allocate(40, 30, ie24RGB);
    v->AddLayer();
    v->GetCurrentLayer()->PosX = 7;
    v->GetCurrentLayer()->PosY = -3;
    v->SetSelectionBase(iesbBitmap);
    return v;
  }();
  // A known selection before each input, so that a refusal can be checked.
  view->Select(5, 6, 20, 25, 0);
  TIEMask* before = view->SelectionMask();
  const Integer x1 = before->X1, y1 = before->Y1, x2 = before->X2, y2 = before->Y2;
  TMemoryStream s;
  s.WriteBuffer(data + 1, int64_t(size - 1));
  s.SetPosition(0);
  if (!view->LoadSelectionFromStream(&s, data[0] % 3)) {
    TIEMask* m = view->SelectionMask();
    if (m != before || m->X1 != x1 || m->Y1 != y1 || m->X2 != x2 || m->Y2 != y2 || !view->Selected()) std::abort();
  } else if (view->Selected()) {
    // Whatever was read, the mask fits the picture it selects on.
    TIEMask* m = view->SelectionMask();
    if (m->Width() != 40 || m->Height() != 30) std::abort();
  }
  return 0;
}
