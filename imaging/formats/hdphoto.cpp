// HD Photo reader and writer over the platform codec (platform/devices).
#include "imaging/formats/hdphoto.h"

#include <cstring>

#include "imaging/io/ieexif.h"
#include "imaging/io/ielimits.h"
#include "platform/base/sysutils.h"

namespace {

// 0..65535 to 0..255, rounded.
inline Byte Word8(uint16_t V) { return Byte((uint32_t(V) * 255 + 32767) / 65535); }

// Process colour of ink values (255 = full ink) without a colour profile.
inline Byte InkToColour(Byte Ink, Byte Black) { return Byte((255 - Ink) * (255 - Black) / 255); }

// One decoded row (in the frame's format) into one bitmap row.
void ConvertRow(THDPhotoPixelFormat Src, TIEPixelFormat Dst, const uint8_t* In, uint8_t* Out, int32_t Width) {
  switch (Src) {
    case hdpfBlackWhite:  // only to ie1g
      std::memcpy(Out, In, size_t((Width + 7) / 8));
      return;
    case hdpf8bppGray:
      if (Dst == ie8g) {
        std::memcpy(Out, In, size_t(Width));
      } else {
        for (int32_t x = 0; x < Width; ++x) Out[3 * x] = Out[3 * x + 1] = Out[3 * x + 2] = In[x];
      }
      return;
    case hdpf16bppGray: {
      const uint16_t* w = reinterpret_cast<const uint16_t*>(In);
      if (Dst == ie16g) {
        std::memcpy(Out, In, size_t(Width) * 2);
      } else {
        for (int32_t x = 0; x < Width; ++x) Out[3 * x] = Out[3 * x + 1] = Out[3 * x + 2] = Word8(w[x]);
      }
      return;
    }
    case hdpf48bppRGB: {
      const uint16_t* w = reinterpret_cast<const uint16_t*>(In);
      if (Dst == ieRGB48) {
        std::memcpy(Out, In, size_t(Width) * 6);
      } else {
        for (int32_t x = 0; x < Width; ++x) {
          Out[3 * x] = Word8(w[3 * x + 2]);
          Out[3 * x + 1] = Word8(w[3 * x + 1]);
          Out[3 * x + 2] = Word8(w[3 * x]);
        }
      }
      return;
    }
    case hdpf32bppCMYK:
      if (Dst == ieCMYK) {
        // The bitmap keeps inks inverted (255 = no ink).
        for (int32_t i = 0; i < Width * 4; ++i) Out[i] = Byte(~In[i]);
      } else {
        for (int32_t x = 0; x < Width; ++x) {
          const uint8_t* p = In + 4 * x;
          Out[3 * x] = InkToColour(p[2], p[3]);
          Out[3 * x + 1] = InkToColour(p[1], p[3]);
          Out[3 * x + 2] = InkToColour(p[0], p[3]);
        }
      }
      return;
    default:  // 24-bit BGR, and everything the platform delivers as such
      std::memcpy(Out, In, size_t(Width) * 3);
      return;
  }
}

// The whole stream from its position, within the reader's limits.
bool ReadRest(TStream* Stream, std::vector<uint8_t>& Data) {
  const int64_t left = IEStreamBytesLeft(Stream);
  const int64_t start = Stream->Position();
  if (left >= 0) {
    if (left <= 8 || left > IEReadLimits.HDPhoto.MaxBytes) return false;
    Data.resize(size_t(left));
    const bool ok = Stream->Read(Data.data(), left) == left;
    Stream->SetPosition(start);
    return ok;
  }
  // A stream that cannot tell its size: read to its end, within the limit.
  constexpr int64_t kChunk = 1 << 16;
  for (;;) {
    const size_t at = Data.size();
    if (int64_t(at) >= IEReadLimits.HDPhoto.MaxBytes) {
      Stream->SetPosition(start);
      return false;
    }
    Data.resize(at + kChunk);
    const int64_t got = Stream->Read(Data.data() + at, kChunk);
    Data.resize(at + size_t(got > 0 ? got : 0));
    if (got < kChunk) break;
  }
  Stream->SetPosition(start);
  return Data.size() > 8;
}

}  // namespace

TIEHDPhotoReadFormat IEHDPhotoReadFormat(THDPhotoPixelFormat Frame, bool Native) {
  switch (Frame) {
    // The palette of an indexed source is not carried over.
    case hdpf1bppIndexed: return Native ? TIEHDPhotoReadFormat{ie8p, hdpf8bppIndexed} : TIEHDPhotoReadFormat{ie24RGB, hdpf24bppBGR};
    case hdpfBlackWhite: return {ie1g, hdpfBlackWhite};
    case hdpf8bppGray: return {Native ? ie8g : ie24RGB, hdpf8bppGray};
    case hdpf16bppGray: return {Native ? ie16g : ie24RGB, hdpf16bppGray};
    case hdpf48bppRGB: return {Native ? ieRGB48 : ie24RGB, hdpf48bppRGB};
    case hdpf32bppCMYK: return {Native ? ieCMYK : ie24RGB, hdpf32bppCMYK};
    default: return {ie24RGB, hdpf24bppBGR};
  }
}

bool IEHDPhotoWriteFormat(TIEPixelFormat Bitmap, THDPhotoPixelFormat& Format) {
  switch (Bitmap) {
    case ie1g: Format = hdpfBlackWhite; return true;
    case ie8g: Format = hdpf8bppGray; return true;
    case ie16g: Format = hdpf16bppGray; return true;
    case ie24RGB: Format = hdpf24bppBGR; return true;
    case ieRGB48: Format = hdpf48bppRGB; return true;
    case ieCMYK: Format = hdpf32bppCMYK; return true;
    default: return false;
  }
}

// ---------------------------------------------------------------------------

bool TIEWICReader::Open(TStream* Stream, Integer FileType) {
  FDecoder.reset();
  if (FileType != IEHDPhotoFileType || Stream == nullptr || !HDPhotoCodecAvailable()) return false;
  std::vector<uint8_t> data;
  FStream = Stream;
  FStart = Stream->Position();
  if (!ReadRest(Stream, data)) return false;
  auto dec = std::make_unique<THDPhotoDecoder>();
  if (!dec->Open(std::move(data))) return false;
  FDecoder = std::move(dec);
  return true;
}

void TIEWICReader::ReadFrame(Integer Index, TIEBitmap* Bitmap, TIOParamsVals* Params, TIEProgressRec& Progress) {
  if (!FDecoder || Index < 0 || !FDecoder->SelectFrame(uint32_t(Index))) {
    Progress.Abort();
    return;
  }
  THDPhotoDecoder& d = *FDecoder;
  const bool thumb = Params && Params->GETTHUMBNAIL && d.HasThumbnail();
  const int32_t w = thumb ? d.ThumbnailWidth() : d.Width();
  const int32_t h = thumb ? d.ThumbnailHeight() : d.Height();
  const TIEHDPhotoReadFormat fmt = IEHDPhotoReadFormat(d.PixelFormat(), Params == nullptr || Params->ISNATIVEPIXELFORMAT);
  if (Bitmap) {
    // The platform never reports an indexed frame; were it to, its rows
    // would not be in the layout decoded here.
    if (fmt.Source == hdpf8bppIndexed || d.PixelFormat() == hdpf8bppIndexed) {
      Progress.Abort();
      return;
    }
    const TIEReadLimit& limit = IEReadLimits.HDPhoto;
    if (!IEPictureFits(limit, w, h, d.DecodeBitsPerPixel()) ||
        !IEPictureFitsBitmap(limit, *Bitmap, w, h, IEPixelFormatBitCount(fmt.Bitmap)) ||
        !Bitmap->Allocate(w, h, fmt.Bitmap)) {
      Progress.Abort();
      return;
    }
    const THDPhotoPixelFormat src = d.PixelFormat() == hdpfOther ? hdpf24bppBGR : d.PixelFormat();
    int32_t rows = 0;
    const bool ok = d.Decode(thumb, [&](int32_t Row, const uint8_t* Data) {
      if (Row < 0 || Row >= h) return;
      ConvertRow(src, fmt.Bitmap, Data, static_cast<uint8_t*>(Bitmap->GetScanline(Row)), w);
      ++rows;
    });
    if (!ok || rows != h) {
      Progress.Abort();
      return;
    }
  }
  if (Params) {
    const int64_t pos = FStream->Position();
    FStream->SetPosition(FStart);
    IELoadEXIFFromTIFFStream(FStream, *Params);
    FStream->SetPosition(pos);
    const TIEPixelFormat pf = Bitmap ? Bitmap->PixelFormat() : fmt.Bitmap;
    Params->BITSPERSAMPLE = IEPixelFormatBitCount(pf) / IEPixelFormatChannelCount(pf);
    Params->SAMPLESPERPIXEL = IEPixelFormatChannelCount(pf);
    Params->ORIGINALWIDTH = d.Width();
    Params->ORIGINALHEIGHT = d.Height();
    Params->WIDTH = Bitmap ? Bitmap->Width() : w;
    Params->HEIGHT = Bitmap ? Bitmap->Height() : h;
    // Trunc, as the frame's resolution is a fraction; a file's nonsense
    // (negative, beyond an Integer) gives 0, which the loads replace by the
    // default.
    auto dpi = [](double R) { return R >= 0 && R < 2147483647.0 ? Integer(R) : 0; };
    Params->SetDpiX(dpi(d.ResolutionX()));
    Params->SetDpiY(dpi(d.ResolutionY()));
  }
}

// ---------------------------------------------------------------------------

std::vector<THDPhotoOption> IEHDPhotoPropertyBag(const TIEWICEncoderOptions& O) {
  using T = THDPhotoOption;
  std::vector<THDPhotoOption> bag;
  if (O.ImageQuality >= 0) bag.push_back({"ImageQuality", T::Float, double(float(O.ImageQuality))});
  if (O.CompressionQuality >= 0) bag.push_back({"CompressionQuality", T::Float, double(float(O.CompressionQuality))});
  bag.push_back({"Lossless", T::Boolean, O.Lossless ? 1.0 : 0.0});
  if (O.UseCodecOptions) {
    bag.push_back({"UseCodecOptions", T::Boolean, 1.0});
    bag.push_back({"Quality", T::UInt8, double(O.Quality)});
    bag.push_back({"Overlap", T::UInt8, double(O.Overlap)});
    bag.push_back({"Subsampling", T::UInt8, double(O.Subsampling)});
  }
  bag.push_back({"HorizontalTileSlices", T::UInt16, double(O.HorizontalTileSlices)});
  bag.push_back({"VerticalTileSlices", T::UInt16, double(O.VerticalTileSlices)});
  bag.push_back({"FrequencyOrder", T::Boolean, O.FrequencyOrder ? 1.0 : 0.0});
  bag.push_back({"TiffCompressionMethod", T::UInt8, double(O.TiffCompressionMethod)});
  return bag;
}

bool TIEWICWriter::Open(TStream* Stream, Integer FileType) {
  FStream = nullptr;
  if (FileType != IEHDPhotoFileType || Stream == nullptr || !HDPhotoCodecAvailable()) return false;
  FStream = Stream;
  return true;
}

bool TIEWICWriter::WriteFrame(TIEBitmap* Bitmap, TIOParamsVals* Params) {
  if (!FStream || !Bitmap || Bitmap->IsEmpty()) return false;
  THDPhotoPixelFormat format;
  if (!IEHDPhotoWriteFormat(Bitmap->PixelFormat(), format))
    throw Exception("HD Photo cannot store this pixel format");
  if (Params) {
    FOptions.ResolutionX = Params->DPIX;
    FOptions.ResolutionY = Params->DPIY;
    FOptions.ImageQuality = Params->HDP_IMAGEQUALITY;
    FOptions.Lossless = Params->HDP_LOSSLESS;
  }
  const double rx = FOptions.ResolutionX > 0 ? FOptions.ResolutionX : IEDefaultDpiX;
  const double ry = FOptions.ResolutionY > 0 ? FOptions.ResolutionY : IEDefaultDpiY;
  const int32_t w = Bitmap->Width();
  const bool cmyk = format == hdpf32bppCMYK;
  std::vector<uint8_t> row(cmyk ? size_t(w) * 4 : 0);
  std::vector<uint8_t> out;
  const bool ok = HDPhotoEncode(w, Bitmap->Height(), format, rx, ry, IEHDPhotoPropertyBag(FOptions),
                                [&](int32_t Y) -> const uint8_t* {
                                  const uint8_t* src = static_cast<const uint8_t*>(Bitmap->GetScanline(Y));
                                  if (!cmyk) return src;
                                  // Back to ink values (255 = full ink).
                                  for (size_t i = 0; i < row.size(); ++i) row[i] = Byte(~src[i]);
                                  return row.data();
                                },
                                out);
  if (!ok) return false;
  return FStream->Write(out.data(), int64_t(out.size())) == int64_t(out.size());
}

// ---------------------------------------------------------------------------

void IEReadHDPhoto(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress, bool) {
  try {
    Progress.Report(0);
    // The preview flag is not used: the frame is always decoded.
    TIEWICReader reader;
    if (!reader.Open(Stream, IEHDPhotoFileType)) {
      Progress.Abort();
      return;
    }
    reader.ReadFrame(Params.IMAGEINDEX, Bitmap, &Params, Progress);
    Progress.Report(100);
  } catch (...) {
    Progress.Abort();
  }
}

void IEWriteHDPhoto(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  Progress.Report(0);
  // The container is made in memory and reaches the stream whole.
  TMemoryStream made;
  TIEWICWriter writer;
  if (Stream == nullptr || !writer.Open(&made, IEHDPhotoFileType)) {
    Progress.Abort();
    return;
  }
  bool written = false;
  try {
    written = writer.WriteFrame(Bitmap, &Params);
    if (written && Params.EXIF_HASEXIF) {
      // A picture whose EXIF data cannot be stored is still a whole picture:
      // the frame stays as written then.
      made.SetPosition(0);
      IEInjectEXIFTags(&made, &made, WideString(), WideString(), 0, Params);
    }
  } catch (const Exception&) {
    throw;  // a pixel format the writer refuses
  } catch (...) {
    written = false;
  }
  std::vector<uint8_t> bytes(static_cast<const uint8_t*>(made.Memory()),
                             static_cast<const uint8_t*>(made.Memory()) + made.Size());
  // Short texts of the injected tags would stop other readers.
  if (!written || !HDPhotoTerminateTexts(bytes) ||
      Stream->Write(bytes.data(), int64_t(bytes.size())) != int64_t(bytes.size())) {
    Progress.Abort();
    return;
  }
  Progress.Report(100);
}

Integer IECountHDPhotoFrames(const WideString& FileName) {
  if (!HDPhotoCodecAvailable()) return 0;
  try {
    TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    TIEWICReader reader;
    return reader.Open(&file, IEHDPhotoFileType) ? reader.FrameCount() : 0;
  } catch (...) {
    return 0;
  }
}

void IEHDPhotoReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                          bool Preview) {
  IEReadHDPhoto(Stream, Bitmap, Params, Progress, Preview);
}
void IEHDPhotoWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  IEWriteHDPhoto(Stream, Bitmap, Params, Progress);
}
