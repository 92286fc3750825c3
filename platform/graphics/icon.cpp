#include "platform/graphics/icon.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <unordered_set>

#include "platform/base/sysutils.h"

namespace {

// The images behind live icon handles: a handle that is not here (a cursor,
// a freed icon) is refused, never dereferenced.
std::mutex g_IconsLock;
std::unordered_set<const TIconImage*>& LiveIcons() {
  static std::unordered_set<const TIconImage*> set;
  return set;
}

}  // namespace

struct TIconImage {
  TIconImage() {
    std::lock_guard lock(g_IconsLock);
    LiveIcons().insert(this);
  }
  ~TIconImage() {
    std::lock_guard lock(g_IconsLock);
    LiveIcons().erase(this);
  }
  TIconImage(const TIconImage&) = delete;
  TIconImage& operator=(const TIconImage&) = delete;
  TBitmap Color;  // 24 bits, black where the mask is set
  TBitmap Mask;   // 1 bit, 1 = transparent
};

namespace {

// Icon files are small; anything bigger is not one worth decoding.
constexpr int64_t kMaxIconBytes = int64_t(16) << 20;
constexpr int kMaxIconSide = 1024;

HBITMAP CopyHandle(TBitmap* Source) {
  TBitmap copy;
  copy.Assign(Source);
  return copy.ReleaseHandle();
}

}  // namespace

BOOL GetIconInfo(HICON Handle, ICONINFO* Info) {
  if (!Handle || !Info) return FALSE;
  auto* Icon = reinterpret_cast<TIconImage*>(Handle);
  {
    std::lock_guard lock(g_IconsLock);
    if (!LiveIcons().count(Icon)) return FALSE;
  }
  Info->fIcon = TRUE;
  Info->xHotspot = DWORD(Icon->Color.Width() / 2);
  Info->yHotspot = DWORD(Icon->Color.Height() / 2);
  Info->hbmMask = CopyHandle(&Icon->Mask);
  Info->hbmColor = CopyHandle(&Icon->Color);
  return TRUE;
}

TIcon::TIcon() = default;

HICON TIcon::Handle() const { return reinterpret_cast<HICON>(FImage.get()); }
TIcon::~TIcon() = default;

TGraphic* TIcon::Create() { return new TIcon; }

Integer TIcon::Width() const { return FImage ? FImage->Color.Width() : 0; }
Integer TIcon::Height() const { return FImage ? FImage->Color.Height() : 0; }

void TIcon::SetWidth(Integer Value) {
  if (Value != Width()) throw EInvalidGraphicOperation("Cannot change the size of an icon");
}

void TIcon::SetHeight(Integer Value) {
  if (Value != Height()) throw EInvalidGraphicOperation("Cannot change the size of an icon");
}

void TIcon::Assign(TPersistent* Source) {
  if (auto* i = dynamic_cast<TIcon*>(Source)) {
    if (i == this) return;
    std::unique_ptr<TIconImage> image;
    if (i->FImage) {
      image = std::make_unique<TIconImage>();
      image->Color.Assign(&i->FImage->Color);
      image->Mask.Assign(&i->FImage->Mask);
    }
    FImage = std::move(image);
    FData = i->FData;
    Changed(this);
    return;
  }
  TGraphic::Assign(Source);
}

void TIcon::LoadFromStream(TStream* Stream) {
  const int64_t left = Stream->Size() - Stream->Position();
  if (left <= 0 || left > kMaxIconBytes) throw EInvalidGraphic("Invalid icon");
  std::vector<uint8_t> data(static_cast<size_t>(left));
  Stream->ReadBuffer(data.data(), left);
  QByteArray bytes(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "ico");
  // The directory's claimed size is checked before anything is allocated.
  const QSize claimed = reader.size();
  if (claimed.isValid() && (claimed.width() > kMaxIconSide || claimed.height() > kMaxIconSide))
    throw EInvalidGraphic("Invalid icon");
  QImage image = reader.read();
  if (image.isNull() || image.width() <= 0 || image.height() <= 0 || image.width() > kMaxIconSide ||
      image.height() > kMaxIconSide)
    throw EInvalidGraphic("Invalid icon");
  image = image.convertToFormat(QImage::Format_ARGB32);
  const Integer w = image.width(), h = image.height();
  auto icon = std::make_unique<TIconImage>();
  icon->Color.SetPixelFormat(pf24bit);
  icon->Color.SetSize(w, h);
  icon->Mask.SetPixelFormat(pf1bit);
  icon->Mask.SetSize(w, h);
  icon->Mask.SetColorTableEntry(0, RGBQUAD{0, 0, 0, 0});
  icon->Mask.SetColorTableEntry(1, RGBQUAD{255, 255, 255, 0});
  for (Integer y = 0; y < h; ++y) {
    const auto* s = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    auto* c = static_cast<Byte*>(icon->Color.ScanLine(y));
    auto* m = static_cast<Byte*>(icon->Mask.ScanLine(y));
    std::fill(m, m + (w + 7) / 8, Byte(0));
    for (Integer x = 0; x < w; ++x) {
      // An icon's mask is all or nothing: half-covered pixels count as painted.
      const bool clear = qAlpha(s[x]) < 128;
      c[3 * x] = clear ? 0 : Byte(qBlue(s[x]));
      c[3 * x + 1] = clear ? 0 : Byte(qGreen(s[x]));
      c[3 * x + 2] = clear ? 0 : Byte(qRed(s[x]));
      if (clear) m[x / 8] |= Byte(0x80 >> (x % 8));
    }
  }
  FImage = std::move(icon);
  FData = std::move(data);
  Changed(this);
}

void TIcon::SaveToStream(TStream* Stream) {
  if (!FData.empty()) Stream->WriteBuffer(FData.data(), int64_t(FData.size()));
}

void TIcon::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (!ACanvas || !FImage) return;
  const Integer x = std::min(Rect.Left, Rect.Right), y = std::min(Rect.Top, Rect.Bottom);
  const Integer dw = std::abs(Rect.Width()), dh = std::abs(Rect.Height());
  if (dw == 0 || dh == 0) return;
  const Integer w = Width(), h = Height();
  // The mask in colour keeps the canvas (white) or clears it (black); the
  // colour, black where the mask is set, then lands on the cleared pixels.
  TBitmap mask;
  mask.Assign(&FImage->Mask);
  mask.SetPixelFormat(pf24bit);
  HDC dst = ACanvas->Handle();
  StretchBlt(dst, x, y, dw, dh, mask.Canvas()->Handle(), 0, 0, w, h, SRCAND);
  StretchBlt(dst, x, y, dw, dh, FImage->Color.Canvas()->Handle(), 0, 0, w, h, SRCINVERT);
}
