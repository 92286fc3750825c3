// The single-image view with its I/O and processing companions made at
// construction instead of on first use.
#pragma once

#include "imaging/view/ziduzuvview.h"

class TZiduzUv : public TZiduzUvView {
 public:
  explicit TZiduzUv(TComponent* AOwner);
};
