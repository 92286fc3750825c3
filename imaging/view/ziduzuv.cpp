// The view that has both companions from the start.
#include "imaging/view/ziduzuv.h"

TZiduzUv::TZiduzUv(TComponent* AOwner) : TZiduzUvView(AOwner) {
  GetIO();
  GetProc();
}
