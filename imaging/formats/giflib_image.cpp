// The GIF graphic class: loads a whole GIF into the object model (lenient
// about prefixes, stray zero bytes, unknown blocks and a missing trailer),
// writes it back block for block, and draws its still frame.
#include "imaging/formats/giflib.h"
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
    b = next();
    if (b < 0) return;
  }
  Stream->Seek(-1, soCurrent);
}

namespace giflib_image {
namespace {
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

TGIFImage::~TGIFImage() { FFrames.Clear(); }

TGraphic* TGIFImage::Create() { return new TGIFImage(); }

void TGIFImage::Clear() {
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
  Changed(this);
}

void TGIFImage::SetPalette(HPALETTE Value) { (void)Value; }

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
    TGraphic::Assign(Source);
    return;
  }
  if (src->Empty()) {
    Clear();
    FHeader.Assign(&src->FHeader);
    return;
  }
  // A copy goes through the stream form, which keeps every block as it is.
  TMemoryStream s;
  src->SaveToStream(&s);
  s.SetPosition(0);
  LoadFromStream(&s);
  FHeader.Descriptor = src->FHeader.Descriptor;
  StillFrameIndex = src->StillFrameIndex;
  Changed(this);
}

void TGIFImage::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (!ACanvas || Empty()) return;
  const Integer n = FFrames.GetCount();
  TGIFSubImage* f = FFrames.GetFrame(StillFrameIndex >= 0 && StillFrameIndex < n ? StillFrameIndex : 0);
  if (f->IsEmpty()) return;
  TGIFColorMap* map = f->ActiveColorMap();
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetSize(f->Width(), f->Height());
  for (Integer y = 0; y < f->Height(); ++y) {
    const Byte* src = f->GetScanline(y);
    Byte* dst = static_cast<Byte*>(bmp.ScanLine(y));
    for (Integer x = 0; x < f->Width(); ++x) {
      const Byte p = src[x];
      const Byte* e = p < map->Count() ? map->Entry(p) : nullptr;
      dst[3 * x] = e ? e[2] : 0;
      dst[3 * x + 1] = e ? e[1] : 0;
      dst[3 * x + 2] = e ? e[0] : 0;
    }
  }
  // The frame's place when the whole logical screen maps onto Rect.
  const int64_t sw = std::max(1, Width()), sh = std::max(1, Height());
  const TRect target(Rect.Left + Integer(int64_t(f->Left()) * Rect.Width() / sw),
                     Rect.Top + Integer(int64_t(f->Top()) * Rect.Height() / sh),
                     Rect.Left + Integer(int64_t(f->Left() + f->Width()) * Rect.Width() / sw),
                     Rect.Top + Integer(int64_t(f->Top() + f->Height()) * Rect.Height() / sh));
  ACanvas->StretchDraw(target, &bmp);
}
