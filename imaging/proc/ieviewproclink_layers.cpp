// The processor operations the single-image view runs on its layers: the
// view cannot name the processor's class, so it calls them through this table.
#include "imaging/proc/ziduzuvproc.h"
#include "imaging/view/ieview.h"

const TIEViewLayerProcLink IEViewLayerProcLink{
    [](TZiduzUvProc* Proc, Integer NewWidth, Integer NewHeight, TResampleFilter Filter) {
      Proc->Resample(NewWidth, NewHeight, Filter);
    },
    [](TZiduzUvProc* Proc, double Angle, bool Antialias, Byte AntialiasMode, TColor Background) {
      Proc->Rotate(Angle, Antialias, AntialiasMode, Background);
    },
    [](TZiduzUvProc* Proc, const TRect& Rect) { Proc->CropRect(Rect); },
    [](TIEBitmap* Source, TIEBitmap* Target, Integer NewWidth, Integer NewHeight, TResampleFilter Filter) {
      // A processor of its own, so that the view's undo list and events see
      // nothing of it.
      auto proc = TZiduzUvProc::CreateFromBitmap(Source);
      proc->ResampleTo(Target, NewWidth, NewHeight, Filter);
    },
};
