// Compiled against gt_imaging's usage requirements only. Built as is, it must
// compile (the probe works); built with GT_PROBE_QT, it must fail, because Qt's
// headers never reach code outside platform/.
#ifdef GT_PROBE_QT
#include <QString>
#endif

#include "imaging/core/bitmap/iebitmap.h"

int main() {
  TIEBitmap bitmap(2, 2, ie24RGB);
  return bitmap.Width() == 2 ? 0 : 1;
}
