// PSD reader. Every length in the file is checked against the data before
// it is used: a section, a layer channel or a resource that claims more than
// the stream holds ends the read cleanly, and each channel is left at the
// end its own recorded length gives, whatever its decoder consumed.
#include "imaging/formats/psd.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/base/iestreams.h"
#include "imaging/core/color/ieicc.h"
#include "imaging/formats/psdcommon.h"
#include "imaging/io/iejpeg.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/ielimits.h"
#include "imaging/view/ziduzuvview.h"

namespace psd_read {
namespace {

using namespace psd_common;

// Thrown inside the reader only, when the data runs out; IEReadPSD turns it
// into the abort flag.
struct TShort {};

class TIn {
 public:
  TIn(TStream* S, int64_t End) : FS(S), FEnd(End) {}
  int64_t Pos() { return FS->Position(); }
  int64_t Left() { return FEnd - Pos(); }
  void Read(void* P, int64_t N) {
    if (N < 0 || N > Left() || FS->Read(P, N) != N) throw TShort();
  }
  Byte U8() {
    Byte b;
    Read(&b, 1);
    return b;
  }
  Word U16() {
    Byte b[2];
    Read(b, 2);
    return BE16(b);
  }
  uint32_t U32() {
    Byte b[4];
    Read(b, 4);
    return BE32(b);
  }
  int32_t I32() { return int32_t(U32()); }
  void Skip(int64_t N) { Seek(Pos() + N); }
  void Seek(int64_t P) {
    if (P < 0 || P > FEnd) throw TShort();
    FS->SetPosition(P);
  }
  std::vector<Byte> Bytes(int64_t N) {
    if (N < 0 || N > Left()) throw TShort();
    std::vector<Byte> v(static_cast<size_t>(N));
    Read(v.data(), N);
    return v;
  }

 private:
  TStream* FS;
  int64_t FEnd;
};

struct THeader {
  Integer Channels = 0, Width = 0, Height = 0, Depth = 0, Mode = 0;
};

// The channel of a merged picture that holds its alpha, or -1.
int MergedAlphaChannel(int Mode) {
  switch (Mode) {
    case kGrayscale:
    case kMultichannel:
    case kDuotone:
      return 1;
    case kRGB:
    case kLab:
      return 3;
    case kCMYK:
      return 4;
    default:
      return -1;
  }
}

// Colour channels a picture of this mode is made of.
int ColourChannels(int Mode) {
  switch (Mode) {
    case kRGB:
    case kLab:
      return 3;
    case kCMYK:
      return 4;
    default:
      return 1;
  }
}

// Writes one decoded row of channel Slot (0.. colour, kAlphaSlot alpha) into
// row Y of B, whose format PixelFormatOf gave for the document.
constexpr int kAlphaSlot = -1;

void PutRow(TIEBitmap* B, int Depth, int Slot, Integer Y, const Byte* Row) {
  const Integer w = B->Width();
  if (Slot == kAlphaSlot) {
    Byte* a = static_cast<Byte*>(B->GetAlphaChannel()->GetScanline(Y));
    if (Depth == 16)
      for (Integer x = 0; x < w; ++x) a[x] = Row[2 * x];
    else
      std::memcpy(a, Row, size_t(w));
    return;
  }
  Byte* d = static_cast<Byte*>(B->GetScanline(Y));
  switch (B->PixelFormat()) {
    case ie1g:
      for (Integer i = 0; i < (w + 7) / 8; ++i) d[i] = Byte(~Row[i]);
      break;
    case ie8g:
    case ie8p:
      std::memcpy(d, Row, size_t(w));
      break;
    case ie16g: {
      Word* p = reinterpret_cast<Word*>(d);
      for (Integer x = 0; x < w; ++x) p[x] = BE16(Row + 2 * x);
      break;
    }
    case ie24RGB:
      for (Integer x = 0; x < w; ++x) d[3 * x + 2 - Slot] = Row[x];
      break;
    case ieRGB48: {
      Word* p = reinterpret_cast<Word*>(d);
      for (Integer x = 0; x < w; ++x) p[3 * x + Slot] = BE16(Row + 2 * x);
      break;
    }
    case ieCMYK: {
      const int step = Depth == 16 ? 2 : 1;
      for (Integer x = 0; x < w; ++x) d[4 * x + Slot] = Row[step * x];
      break;
    }
    case ieCIELab: {
      const int step = Depth == 16 ? 2 : 1;
      // a and b are stored with 128 added; the picture holds them signed.
      const int bias = Slot == 0 ? 0 : 128;
      for (Integer x = 0; x < w; ++x) d[3 * x + Slot] = Byte(Row[step * x] - bias);
      break;
    }
    default:
      break;
  }
}

// The slot channel Id of a picture in this mode fills, or -2 when the
// channel is not used. Layer channels name alpha -1; merged ones count it
// after the colour channels.
int SlotOfChannel(int Mode, int Id, bool Layer) {
  if (Layer ? Id == -1 : Id == MergedAlphaChannel(Mode)) return MergedAlphaChannel(Mode) >= 0 ? kAlphaSlot : -2;
  if (Id >= 0 && Id < ColourChannels(Mode)) return Id;
  return -2;
}

// Rows of one channel coded in Data (its compression word first, as layer
// channels store it): raw or PackBits rows are handed to Put row by row.
// False for a compression this reader does not decode.
template <class TPut>
bool DecodeChannel(const Byte* Data, size_t Len, Integer Rows, size_t RowBytes, std::vector<Byte>& Row, TPut Put) {
  if (Len < 2) return false;
  const Word compression = BE16(Data);
  const Byte* p = Data + 2;
  const Byte* end = Data + Len;
  Row.assign(RowBytes, 0);
  if (compression == 0) {
    for (Integer y = 0; y < Rows; ++y) {
      std::fill(Row.begin(), Row.end(), 0);
      const size_t n = std::min<size_t>(RowBytes, size_t(end - p));
      std::memcpy(Row.data(), p, n);
      p += n;
      Put(y, Row.data());
    }
    return true;
  }
  if (compression != 1) return false;
  const Byte* counts = p;
  if (size_t(end - p) < size_t(Rows) * 2) return false;
  p += size_t(Rows) * 2;
  for (Integer y = 0; y < Rows; ++y) {
    const size_t n = std::min<size_t>(BE16(counts + 2 * y), size_t(end - p));
    UnpackBits(p, n, Row.data(), RowBytes);
    p += n;
    Put(y, Row.data());
  }
  return true;
}

struct TChannelInfo {
  int Id = 0;
  uint32_t Length = 0;
};

struct TLayerRecord {
  int32_t Top = 0, Left = 0, Bottom = 0, Right = 0;
  std::vector<TChannelInfo> Channels;
  Byte Opacity = 255, Clipping = 0, Flags = 0;
  bool HasMask = false;
  int32_t MaskTop = 0, MaskLeft = 0, MaskBottom = 0, MaskRight = 0;
  AnsiString Name;
  std::unique_ptr<TIELayer> Layer, Mask;
};

// The size of a rectangle when it is sane and within the reader's limits,
// else 0 x 0 (such a layer is dropped; its data is still skipped).
void RectSize(int32_t Top, int32_t Left, int32_t Bottom, int32_t Right, Integer& W, Integer& H) {
  const int64_t w = int64_t(Right) - Left, h = int64_t(Bottom) - Top;
  W = H = 0;
  if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) return;
  if (!IEPictureFits(IEReadLimits.Native, w, h, 64)) return;
  W = Integer(w);
  H = Integer(h);
}

std::unique_ptr<TIELayer> NewLayer(Integer W, Integer H, TIEPixelFormat Format, const std::vector<TRGB>& Palette) {
  auto bmp = new TIEBitmap();
  auto layer = std::make_unique<TIELayer>(nullptr, bmp, true, true);
  if (W > 0 && H > 0 && Format != ieNone && bmp->Allocate(W, H, Format) && Format == ie8p)
    for (size_t i = 0; i < Palette.size(); ++i) bmp->SetPaletteColor(Integer(i), Palette[i]);
  return layer;
}

class TReader {
 public:
  TReader(TIn& In, TIOParamsVals& Params, TIEProgressRec& Progress) : R(In), P(Params), Pr(Progress) {}

  bool ReadHeader() {
    Byte h[26];
    R.Read(h, 26);
    H.Channels = BE16(h + 12);
    H.Height = Integer(BE32(h + 14));
    H.Width = Integer(BE32(h + 18));
    H.Depth = BE16(h + 22);
    H.Mode = BE16(h + 24);
    return std::memcmp(h, "8BPS", 4) == 0 && BE16(h + 4) == 1 && H.Channels >= 1 && H.Channels <= 24 &&
           H.Depth >= 1 && H.Depth <= 16 && H.Mode < 10 && BE32(h + 14) <= uint32_t(kMaxSide) &&
           BE32(h + 18) <= uint32_t(kMaxSide);
  }

  void ReadColourModeData() {
    const uint32_t len = R.U32();
    if (len == 768) {
      const std::vector<Byte> c = R.Bytes(768);
      Palette.resize(256);
      for (int i = 0; i < 256; ++i) Palette[size_t(i)] = TRGB{c[size_t(512 + i)], c[size_t(256 + i)], c[size_t(i)]};
    } else {
      R.Skip(len);
    }
  }

  void ReadResources() {
    const uint32_t len = R.U32();
    const int64_t start = R.Pos();
    if (int64_t(len) > R.Left()) throw TShort();
    const int64_t end = start + len;
    while (end - R.Pos() >= 12) {
      // Blocks are padded to an even size counted from the section start, so
      // a document embedded at an odd offset reads the same.
      if ((R.Pos() - start) & 1) R.Skip(1);
      if (end - R.Pos() < 12) break;
      Byte sig[4];
      R.Read(sig, 4);
      if (std::memcmp(sig, "8BIM", 4) != 0) break;
      const Word id = R.U16();
      const Byte nameLen = R.U8();
      R.Skip(nameLen + ((nameLen + 1) & 1));
      if (end - R.Pos() < 4) break;
      const uint32_t size = R.U32();
      if (int64_t(size) > end - R.Pos()) break;
      const int64_t dataAt = R.Pos();
      // An empty block is valid and says nothing: later blocks still count.
      if (size > 0) Resource(id, R.Bytes(size));
      R.Seek(dataAt + size);
    }
    R.Seek(end);
  }

  void Resource(Word Id, const std::vector<Byte>& D) {
    switch (Id) {
      case 1005:
        if (D.size() >= 12) {
          P.SetDpiX(Integer(BE32(D.data()) / 65536));
          P.SetDpiY(Integer(BE32(D.data() + 8) / 65536));
        }
        break;
      case 1028:
        P.IPTC_LIST.LoadFromBuffer(D.data(), Integer(D.size()));
        break;
      case 1036:
        Thumbnail(D);
        break;
      case 1039:
        P.GetInputICCProfile()->LoadFromBuffer(D.data(), Integer(D.size()));
        HasProfile = true;
        break;
      case 1047:
        if (D.size() >= 2) TransparentIndex = BE16(D.data());
        break;
      case 1060:
        P.XMP_INFO.assign(D.begin(), D.end());
        break;
      default:
        break;
    }
  }

  void Thumbnail(const std::vector<Byte>& D) {
    if (D.size() <= 28) return;
    if (!P.EXIF_THUMBNAIL) P.EXIF_THUMBNAIL = std::make_unique<TIEBitmap>();
    TIEMemStream s(D.data() + 28, int64_t(D.size() - 28));
    TIOParamsVals tp(nullptr);
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    IEReadJPEG(&s, nullptr, P.EXIF_THUMBNAIL.get(), tp, rec, false, false, false, false, false, false, -1, false);
    if (aborting) P.EXIF_THUMBNAIL->FreeImage(true);
    else
      GotThumbnail = !P.EXIF_THUMBNAIL->IsEmpty();
  }

  // Layer records and channel data; the layers end in Out.
  void ReadLayers(bool LoadLayers, TIEPSDLayerList* Out) {
    const uint32_t sectionLen = R.U32();
    if (sectionLen == 0) return;
    if (int64_t(sectionLen) > R.Left()) throw TShort();
    const int64_t sectionEnd = R.Pos() + sectionLen;
    const uint32_t infoLen = sectionLen >= 4 ? R.U32() : 0;
    if (infoLen >= 2 && int64_t(infoLen) <= sectionEnd - R.Pos()) {
      const int64_t infoEnd = R.Pos() + infoLen;
      const int count = std::abs(int(int16_t(R.U16())));
      if (Out && (count <= 1 || LoadLayers)) ReadLayerInfo(count, infoEnd, *Out);
    }
    R.Seek(sectionEnd);
  }

  void ReadLayerInfo(int Count, int64_t InfoEnd, TIEPSDLayerList& Out) {
    std::vector<TLayerRecord> recs(static_cast<size_t>(Count));
    const TIEPixelFormat format = PixelFormatOf(H.Mode, H.Depth);
    for (TLayerRecord& rec : recs) {
      rec.Top = R.I32();
      rec.Left = R.I32();
      rec.Bottom = R.I32();
      rec.Right = R.I32();
      const Word channels = R.U16();
      if (int64_t(channels) * 6 > InfoEnd - R.Pos()) throw TShort();
      for (Word c = 0; c < channels; ++c) {
        TChannelInfo ci;
        ci.Id = int16_t(R.U16());
        ci.Length = R.U32();
        rec.Channels.push_back(ci);
      }
      R.Skip(8);  // blend signature and key
      rec.Opacity = R.U8();
      rec.Clipping = R.U8();
      rec.Flags = R.U8();
      R.Skip(1);
      const uint32_t extraLen = R.U32();
      if (int64_t(extraLen) > InfoEnd - R.Pos()) throw TShort();
      const int64_t extraEnd = R.Pos() + extraLen;
      const uint32_t maskLen = R.U32();
      if (int64_t(maskLen) > extraEnd - R.Pos()) throw TShort();
      const int64_t maskEnd = R.Pos() + maskLen;
      if (maskLen >= 16) {
        rec.HasMask = true;
        rec.MaskTop = R.I32();
        rec.MaskLeft = R.I32();
        rec.MaskBottom = R.I32();
        rec.MaskRight = R.I32();
      }
      R.Seek(maskEnd);
      const uint32_t rangesLen = R.U32();
      if (int64_t(rangesLen) > extraEnd - R.Pos()) throw TShort();
      R.Skip(rangesLen);
      if (R.Pos() < extraEnd) {
        const Byte n = R.U8();
        if (int64_t(n) > extraEnd - R.Pos()) throw TShort();
        std::vector<Byte> name = R.Bytes(n);
        rec.Name.assign(name.begin(), name.end());
      }
      // The rest (name padding, additional layer information) is not used.
      R.Seek(extraEnd);

      Integer w, h;
      RectSize(rec.Top, rec.Left, rec.Bottom, rec.Right, w, h);
      rec.Layer = NewLayer(w, h, format, Palette);
      TIELayer& l = *rec.Layer;
      l.PosX = rec.Left;
      l.PosY = rec.Top;
      l.Transparency = rec.Opacity;
      l.Name = rec.Name;
      l.Visible = (rec.Flags & 2) == 0;
      l.Cropped = rec.Clipping == 0;
    }
    Pr.SetUnits(Count);
    std::vector<Byte> row;
    for (size_t i = 0; i < recs.size(); ++i) {
      TLayerRecord& rec = recs[i];
      for (const TChannelInfo& ci : rec.Channels) {
        if (int64_t(ci.Length) > InfoEnd - R.Pos()) throw TShort();
        const int64_t next = R.Pos() + ci.Length;
        if (ci.Id == -2)
          MaskChannel(rec, ci, row);
        else
          LayerChannel(rec, ci, row);
        R.Seek(next);
      }
      Pr.Report(int64_t(i));
      if (Pr.Aborted()) return;
    }
    for (TLayerRecord& rec : recs) {
      if (rec.Layer->Bitmap->HasAlphaChannel()) rec.Layer->Bitmap->GetAlphaChannel()->SyncFull();
      ApplyTransparentIndex(rec.Layer->Bitmap);
      Out.push_back(std::move(rec.Layer));
      if (rec.Mask) Out.push_back(std::move(rec.Mask));
    }
  }

  void LayerChannel(TLayerRecord& Rec, const TChannelInfo& Ci, std::vector<Byte>& Row) {
    TIEBitmap* b = Rec.Layer->Bitmap;
    const int slot = SlotOfChannel(H.Mode, Ci.Id, true);
    if (b->IsEmpty() || slot == -2 || Ci.Length < 2) return;
    const std::vector<Byte> data = R.Bytes(Ci.Length);
    const size_t rowBytes = (size_t(b->Width()) * size_t(H.Depth) + 7) / 8;
    // A compression this reader does not decode leaves the channel blank.
    DecodeChannel(data.data(), data.size(), b->Height(), rowBytes, Row,
                  [&](Integer y, const Byte* r) { PutRow(b, H.Depth, slot, y, r); });
  }

  void MaskChannel(TLayerRecord& Rec, const TChannelInfo& Ci, std::vector<Byte>& Row) {
    Integer w, h;
    RectSize(Rec.MaskTop, Rec.MaskLeft, Rec.MaskBottom, Rec.MaskRight, w, h);
    if (!Rec.HasMask || w == 0 || Ci.Length < 2 || Rec.Mask) return;
    Rec.Mask = NewLayer(w, h, ie8g, Palette);
    TIELayer& m = *Rec.Mask;
    m.PosX = Rec.MaskLeft;
    m.PosY = Rec.MaskTop;
    m.IsMask = true;
    m.Visible = false;
    TIEBitmap* b = m.Bitmap;
    if (b->IsEmpty()) return;
    const std::vector<Byte> data = R.Bytes(Ci.Length);
    const size_t rowBytes = size_t(w) * size_t(H.Depth == 16 ? 2 : 1);
    const int step = H.Depth == 16 ? 2 : 1;
    DecodeChannel(data.data(), data.size(), h, rowBytes, Row, [&](Integer y, const Byte* r) {
      Byte* d = static_cast<Byte*>(b->GetScanline(y));
      for (Integer x = 0; x < w; ++x) d[x] = r[step * x];
    });
  }

  // Palette pixels equal to the transparent index get alpha 0, others 255.
  void ApplyTransparentIndex(TIEBitmap* B) {
    if (TransparentIndex < 0 || B->PixelFormat() != ie8p || B->IsEmpty()) return;
    TIEBitmap* a = B->GetAlphaChannel();
    for (Integer y = 0; y < B->Height(); ++y) {
      const Byte* s = static_cast<const Byte*>(B->GetScanline(y));
      Byte* d = static_cast<Byte*>(a->GetScanline(y));
      for (Integer x = 0; x < B->Width(); ++x) d[x] = s[x] == TransparentIndex ? 0 : 255;
    }
    a->SyncFull();
  }

  void ReadMerged(TIEBitmap* B) {
    const TIEPixelFormat format = PixelFormatOf(H.Mode, H.Depth);
    if (format == ieNone) return;  // the picture stays as it was
    const Word compression = R.U16();
    if (compression > 1) throw TShort();
    const size_t rowBytes = (size_t(H.Width) * size_t(H.Depth) + 7) / 8;
    const int64_t rows = int64_t(H.Channels) * H.Height;
    // The least data a picture of this size can be coded in.
    const int64_t least = compression == 0 ? rows * int64_t(rowBytes)
                                           : rows * (2 + 2 * ((int64_t(rowBytes) + 127) / 128));
    if (!IEDataCanExplain(least, R.Left()) ||
        !IEPictureFitsBitmap(IEReadLimits.Native, *B, H.Width, H.Height, 64))
      throw TShort();
    if (!B->Allocate(H.Width, H.Height, format)) throw TShort();
    if (format == ie8p)
      for (size_t i = 0; i < Palette.size(); ++i) B->SetPaletteColor(Integer(i), Palette[i]);
    std::vector<Byte> counts;
    if (compression == 1) counts = R.Bytes(rows * 2);
    std::vector<Byte> row(rowBytes), packed;
    for (Integer c = 0; c < H.Channels; ++c) {
      const int slot = SlotOfChannel(H.Mode, c, false);
      if (slot == -2) break;  // later channels are not used either
      for (Integer y = 0; y < H.Height; ++y) {
        if (compression == 0) {
          R.Read(row.data(), int64_t(rowBytes));
        } else {
          const size_t n = BE16(counts.data() + 2 * (size_t(c) * size_t(H.Height) + size_t(y)));
          packed.resize(n);
          R.Read(packed.data(), int64_t(n));
          std::fill(row.begin(), row.end(), 0);
          UnpackBits(packed.data(), n, row.data(), rowBytes);
        }
        PutRow(B, H.Depth, slot, y, row.data());
      }
    }
    if (B->HasAlphaChannel()) B->GetAlphaChannel()->SyncFull();
    ApplyTransparentIndex(B);
  }

  THeader H;
  std::vector<TRGB> Palette;
  int TransparentIndex = -1;
  bool HasProfile = false, GotThumbnail = false;

 private:
  TIn& R;
  TIOParamsVals& P;
  TIEProgressRec& Pr;
};

// Every picture becomes ie24RGB unless the caller asked for the file's own
// formats. All of a document's pictures go the same way: through its
// profile when colour management applies to it, else by plain conversion.
void ToRGB(TReader& Rd, TIOParamsVals& P, TIEBitmap* Merged, TIEPSDLayerList* Layers, size_t FirstLayer) {
  if (P.ISNATIVEPIXELFORMAT) return;
  const TIEICC* in = P.INPUTICCPROFILE.get();
  const bool icc = Rd.HasProfile && IEEnableCMS && in && in->IsValid() && !in->Applied() &&
                   P.GetOutputICCProfile()->IsValid();
  auto convert = [&](TIEBitmap* B) {
    if (!B || B->IsEmpty() || B->PixelFormat() == ie1g || B->PixelFormat() == ie24RGB) return;
    if (icc && P.INPUTICCPROFILE->ConvertBitmap(B, ie24RGB, P.GetOutputICCProfile())) {
      // The profile is marked applied by each conversion; the next picture
      // of this document still needs it.
      return;
    }
    B->SetPixelFormat(ie24RGB);
  };
  if (Layers)
    for (size_t i = FirstLayer; i < Layers->size(); ++i)
      if (!(*Layers)[i]->IsMask) convert((*Layers)[i]->Bitmap);
  convert(Merged);
}

}  // namespace
}  // namespace psd_read

void IEReadPSD(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress, bool LoadLayers,
               TIEPSDLayerList* Layers) {
  using namespace psd_read;
  const size_t firstLayer = Layers ? Layers->size() : 0;
  try {
    Progress.SetUnits(1);
    Progress.Report(0);
    TIn in(Stream, Stream->Size());
    TReader rd(in, Params, Progress);
    const int64_t start = in.Pos();
    if (!rd.ReadHeader()) {
      Stream->SetPosition(start);
      Progress.Abort();
      return;
    }
    // A picture wrapping an outside platform bitmap is filled once at the end.
    std::unique_ptr<TIEBitmap> temp;
    TIEBitmap* target = Bitmap;
    if (Bitmap && Bitmap->Location() == ieTBitmap) {
      temp = std::make_unique<TIEBitmap>();
      target = temp.get();
    }
    Params.WIDTH = Params.ORIGINALWIDTH = rd.H.Width;
    Params.HEIGHT = Params.ORIGINALHEIGHT = rd.H.Height;
    Params.BITSPERSAMPLE = rd.H.Depth;
    Params.SAMPLESPERPIXEL = rd.H.Channels;
    Params.SetImageCount(1);
    Params.SetDpiX(96);
    Params.SetDpiY(96);
    rd.ReadColourModeData();
    rd.ReadResources();
    bool thumbnailOnly = false;
    if (Params.GETTHUMBNAIL && rd.GotThumbnail) {
      thumbnailOnly = true;
      LoadLayers = false;
      if (target) target->Assign(Params.EXIF_THUMBNAIL.get());
    }
    if (!target && !Layers) return;  // the parameters are all a preview needs
    if (!thumbnailOnly) rd.ReadLayers(LoadLayers, Layers);
    if (Progress.Aborted()) return;
    const bool layersRead = Layers && Layers->size() > firstLayer;
    if (target && !thumbnailOnly && (!LoadLayers || !layersRead)) rd.ReadMerged(target);
    ToRGB(rd, Params, thumbnailOnly ? nullptr : target, Layers, firstLayer);
    if (Layers) {
      // Layers without pixels go, with the mask that follows them.
      for (size_t i = firstLayer; i < Layers->size();) {
        TIELayer* l = (*Layers)[i].get();
        if (!l->IsMask && l->Bitmap->IsEmpty()) {
          const bool mask = i + 1 < Layers->size() && (*Layers)[i + 1]->IsMask;
          Layers->erase(Layers->begin() + std::ptrdiff_t(i), Layers->begin() + std::ptrdiff_t(i + (mask ? 2 : 1)));
        } else {
          ++i;
        }
      }
    }
    if (temp && Bitmap) Bitmap->Assign(temp.get());
  } catch (...) {
    Progress.Abort();
  }
}

void IEPSDTakeLayerAlpha(TIEBitmap* Picture, TIELayer* Layer) {
  if (!Picture || !Layer || Picture->IsEmpty() || !Layer->Bitmap || !Layer->Bitmap->HasAlphaChannel()) return;
  TIEBitmap* src = Layer->Bitmap->GetAlphaChannel();
  const Integer w = Picture->Width(), h = Picture->Height();
  if (Layer->PosX == 0 && Layer->PosY == 0 && src->Width() == w && src->Height() == h) {
    TIEBitmap* a = Picture->GetAlphaChannel();
    for (Integer y = 0; y < h; ++y) std::memcpy(a->GetScanline(y), src->GetScanline(y), size_t(w));
    a->SyncFull();
    return;
  }
  // The layer may lie partly or wholly outside the picture (offsets may be
  // negative): only the overlap is copied, the rest of the picture is clear.
  TIEBitmap* a = Picture->GetAlphaChannel();
  a->Fill(0);
  const int64_t x0 = std::max<int64_t>(0, Layer->PosX), y0 = std::max<int64_t>(0, Layer->PosY);
  const int64_t x1 = std::min<int64_t>(w, int64_t(Layer->PosX) + src->Width());
  const int64_t y1 = std::min<int64_t>(h, int64_t(Layer->PosY) + src->Height());
  for (int64_t y = y0; y < y1; ++y) {
    const Byte* s = static_cast<const Byte*>(src->GetScanline(Integer(y - Layer->PosY)));
    Byte* d = static_cast<Byte*>(a->GetScanline(Integer(y)));
    for (int64_t x = x0; x < x1; ++x) d[x] = s[x - Layer->PosX];
  }
  a->SyncFull();
}

void IEPSDReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview) {
  if (Preview) {
    IEReadPSD(Stream, nullptr, Params, Progress, false, nullptr);
    return;
  }
  TIEPSDLayerList layers;
  IEReadPSD(Stream, Bitmap, Params, Progress, false, &layers);
  if (Progress.Aborted()) return;
  const auto count = std::count_if(layers.begin(), layers.end(), [](const auto& l) { return !l->IsMask; });
  if (count == 1 && !Params.GETTHUMBNAIL) IEPSDTakeLayerAlpha(Bitmap, layers[0].get());
}

void IEReadPSDLayers(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                     TIELayerList* Layers) {
  IEReadPSD(Stream, Bitmap, Params, Progress, true, Layers);
}
