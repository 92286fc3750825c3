// The GIF graphic class: loads a whole GIF into the object model (lenient
// about prefixes, stray zero bytes, unknown blocks and a missing trailer),
// writes it back block for block, and draws its still frame.
#include "imaging/formats/giflib.h"
#include "imaging/formats/giflib_painter.h"
#include "platform/graphics/bitmap.h"

void TGIFImageList::LoadFromStream(TStream* Stream, TObject* Parent) {
  auto* image = dynamic_cast<TGIFImage*>(Parent);
  if (!image) throw EConvertError("Invalid class typecast");
  auto next = [&] {
    Integer b;
    do b = ReadByte(Stream);
    while (b == 0);
    return b;
  };
  Integer b = next();
  if (b < 0) return;
  while (b != ';') {
    Stream->Seek(-1, soCurrent);
    if (b != '!' && b != ',') {
      Warning(1, W("Unknown GIF block type"));
      Stream->Seek(-1, soCurrent);
      return;
    }
    auto frame = std::make_unique<TGIFSubImage>(image);
    frame->LoadFromStream(Stream);
    Add(frame.release());
    const int64_t size = Stream->Size();
    image->Progress(this, psRunning, Byte(size > 0 ? std::min<int64_t>(100, Stream->Position() * 100 / size) : 100),
                    false, TRect(0, 0, 0, 0), W("Loading..."));
    b = next();
    if (b < 0) return;
  }
  Stream->Seek(-1, soCurrent);
}

void TGIFImageList::SaveToStream(TStream* Stream) {
  const Integer n = GetCount();
  for (Integer i = 0; i < n; ++i) {
    GetFrame(i)->SaveToStream(Stream);
    if (FImage)
      FImage->Progress(this, psRunning, Byte(int64_t(i + 1) * 100 / n), false, TRect(0, 0, 0, 0), W("Saving..."));
  }
}

namespace giflib_image {
namespace {
// Reports the start of an operation now and its end (100, or 0 when an
// exception passes) when it goes out of scope.
class TReport {
 public:
  TReport(TGIFImage* Image, const char* Msg, bool Redraw)
      : FImage(Image), FMsg(W(Msg)), FRedraw(Redraw), FExceptions(std::uncaught_exceptions()) {
    FImage->Progress(FImage, psStarting, 0, false, TRect(0, 0, 0, 0), FMsg);
  }
  ~TReport() {
    try {
      FImage->Progress(FImage, psEnding, std::uncaught_exceptions() > FExceptions ? 0 : 100, FRedraw,
                       TRect(0, 0, 0, 0), FMsg);
    } catch (...) {
      // The closing report must not end the process.
    }
  }

 private:
  TGIFImage* FImage;
  WideString FMsg;
  bool FRedraw;
  int FExceptions;
};
// Pictures named *.gif load through this class once it is linked in.
const bool kRegistered = [] {
  TPicture::RegisterFileFormat(u"GIF", u"GIF Image", &TGIFImage::Create);
  return true;
}();
}  // namespace
}  // namespace giflib_image

TGIFImage::TGIFImage() {
  (void)giflib_image::kRegistered;
  Clear();
}

TGIFImage::~TGIFImage() {
  StopAllPainters();
  {
    // Painters still listed never touch the image again.
    TList* items = FPainterList.LockList();
    items->Clear();
    FPainterList.UnlockList();
  }
  FFrames.Clear();
  SetPalette(nullptr);
}

TGraphic* TGIFImage::Create() { return new TGIFImage(); }

void TGIFImage::Clear() {
  StopAllPainters();
  FreeRenderBitmap();
  FFrames.Clear();
  FHeader.ColorMap()->Clear();
  FHeader.Descriptor.ScreenHeight = 0;
  FHeader.Descriptor.ScreenWidth = 0;
  FHeader.UpdatePackedFields();
  SetPalette(nullptr);
}

void TGIFImage::SetWidth(Integer Value) {
  for (Integer i = 0; i < FFrames.GetCount(); ++i) {
    TGIFSubImage* f = FFrames.GetFrame(i);
    if (f->Left() + f->Width() > Value) GIFError("Image width too small for contained frames");
  }
  if (Value == Width()) return;
  if (Value < 0 || Value > 65535) throw ERangeError("Range check error");
  FHeader.Descriptor.ScreenWidth = Word(Value);
  FreeRenderBitmap();
  Changed(this);
}

void TGIFImage::SetHeight(Integer Value) {
  for (Integer i = 0; i < FFrames.GetCount(); ++i) {
    TGIFSubImage* f = FFrames.GetFrame(i);
    if (f->Top() + f->Height() > Value) GIFError("Image height too small for contained frames");
  }
  if (Value == Height()) return;
  if (Value < 0 || Value > 65535) throw ERangeError("Range check error");
  FHeader.Descriptor.ScreenHeight = Word(Value);
  FreeRenderBitmap();
  Changed(this);
}

void TGIFImage::Warning(TObject* Sender, Byte Severity, const WideString& Message) {
  if (OnGIFWarning) OnGIFWarning(Sender, Severity, Message);
}

Byte TGIFImage::GetVersion() const {
  Byte v = 0;
  for (Integer i = 0; i < FFrames.GetCount(); ++i) {
    v = std::max(v, FFrames.GetFrame(i)->GetVersion());
    if (v > 1) break;
  }
  return v;
}

Integer TGIFImage::GetColorResolution() const {
  Integer r = FHeader.GetColorResolution();
  for (Integer i = 0; i < FFrames.GetCount(); ++i) r = std::max(r, FFrames.GetFrame(i)->GetBitsPerPixel() - 1);
  return r;
}

Integer TGIFImage::GetBitsPerPixel() const {
  Integer b = FHeader.GetBitsPerPixel();
  for (Integer i = 0; i < FFrames.GetCount(); ++i) b = std::max(b, FFrames.GetFrame(i)->GetBitsPerPixel());
  return b;
}

Integer TGIFImage::Add(TGIFSubImage* Frame) {
  const Integer i = FFrames.Add(Frame);
  FreeRenderBitmap();
  Changed(this);
  return i;
}

void TGIFImage::FitScreenToFrames() {
  Integer w = Width(), h = Height();
  for (Integer i = 0; i < FFrames.GetCount(); ++i) {
    TGIFSubImage* f = FFrames.GetFrame(i);
    w = std::max(w, f->Left() + f->Width());
    h = std::max(h, f->Top() + f->Height());
  }
  if (w > 65535 || h > 65535) throw ERangeError("Range check error");
  FHeader.Descriptor.ScreenWidth = Word(w);
  FHeader.Descriptor.ScreenHeight = Word(h);
}

void TGIFImage::LoadFromStream(TStream* Stream) {
  giflib_image::TReport report(this, "Loading...", true);
  Clear();
  const int64_t start = Stream->Position();
  try {
    FHeader.LoadFromStream(Stream);
    FFrames.LoadFromStream(Stream, this);
    FitScreenToFrames();
    TGIFTrailer trailer(this);
    trailer.LoadFromStream(Stream);
  } catch (...) {
    Stream->SetPosition(start);
    throw;
  }
}

void TGIFImage::SaveToStream(TStream* Stream) {
  giflib_image::TReport report(this, "Saving...", true);
  FHeader.SaveToStream(Stream);
  FFrames.SaveToStream(Stream);
  TGIFTrailer trailer(this);
  trailer.SaveToStream(Stream);
}

void TGIFImage::Assign(TPersistent* Source) {
  if (Source == this) return;
  if (!Source) {
    Clear();
    return;
  }
  auto* src = dynamic_cast<TGIFImage*>(Source);
  if (!src) {
    // Any other graphic becomes the one frame of this image.
    Clear();
    auto frame = std::make_unique<TGIFSubImage>(this);
    try {
      frame->Assign(Source);
    } catch (const EConvertError&) {
      frame.reset();
      TGraphic::Assign(Source);
      return;
    }
    Add(frame.release());
    return;
  }
  Clear();
  // The copy reports through the source's handlers, and only while it runs.
  struct THandlers {
    TGIFImage* Image;
    ~THandlers() {
      Image->OnGIFWarning = nullptr;
      Image->OnProgress = nullptr;
    }
  } handlers{this};
  OnGIFWarning = src->OnGIFWarning;
  OnProgress = src->OnProgress;
  {
    giflib_image::TReport report(this, "Copying...", false);
    PainterPriority = src->PainterPriority;
    AnimationBackColor = src->AnimationBackColor;
    PaintOptions = src->PaintOptions;
    ReductionMethod = src->ReductionMethod;
    DitherKind = src->DitherKind;
    StillFrameIndex = src->StillFrameIndex;
    OnAnimationStart = src->OnAnimationStart;
    OnFramePaint = src->OnFramePaint;
    OnFramePainted = src->OnFramePainted;
    OnAnimationLoop = src->OnAnimationLoop;
    OnAnimationEnd = src->OnAnimationEnd;
    FHeader.Assign(&src->FHeader);
    const Integer n = src->FFrames.GetCount();
    for (Integer i = 0; i < n; ++i) {
      auto frame = std::make_unique<TGIFSubImage>(this);
      frame->Assign(src->FFrames.GetFrame(i));
      Add(frame.release());
      Progress(this, psRunning, Byte(int64_t(i + 1) * 100 / n), false, TRect(0, 0, 0, 0), W("Copying..."));
    }
    FitScreenToFrames();
  }
  Changed(this);
}
