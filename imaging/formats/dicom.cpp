// DICOM reader: walks the data elements up to Pixel Data, keeps them in the
// tag list, and decodes one frame. Grey samples are rescaled, windowed and
// stretched over the whole frame in two passes, so equal values always give
// equal output whatever order they come in.
#include "imaging/formats/dicom.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "imaging/io/iejpeg.h"
#include "imaging/io/iejpeg2000.h"
#include "imaging/io/ielimits.h"
#include "imaging/core/base/iestreams.h"

namespace dicom_read {
namespace {

constexpr uint16_t kPixelGroup = 0x7FE0, kPixelElement = 0x0010;

struct TDICOMContext {
  TStream* Stream = nullptr;
  int64_t Size = 0;
  bool LittleEndian = true;
  AnsiString TransferSyntax;
  Integer Samples = 1;
  AnsiString Photometric;
  Integer Planar = 0;
  Integer Frames = 1;
  Integer PixelRepresentation = 0;
  Integer Columns = 0, Rows = 0;
  Integer BitsAllocated = 0, BitsStored = 0;
  bool HasCentre = false, HasWidth = false;
  Double Centre = 0, Width = 0;
  Double Intercept = 0, Slope = 1;
};

bool ReadAll(TStream* S, void* Buf, int64_t N) { return N <= 0 || S->Read(Buf, N) == N; }

uint16_t U16(const Byte* P, bool LE) { return LE ? uint16_t(P[0] | P[1] << 8) : uint16_t(P[0] << 8 | P[1]); }
uint32_t U32(const Byte* P, bool LE) {
  return LE ? uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24
            : uint32_t(P[3]) | uint32_t(P[2]) << 8 | uint32_t(P[1]) << 16 | uint32_t(P[0]) << 24;
}

bool IsUpper(Byte C) { return C >= 'A' && C <= 'Z'; }

// The VRs whose explicit form has two reserved bytes and a 32-bit length.
bool LongFormVR(const char* VR) {
  static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
  for (const char* v : kLong)
    if (VR[0] == v[0] && VR[1] == v[1]) return true;
  return false;
}

AnsiString Trimmed(const Byte* P, int64_t N) {
  AnsiString s(reinterpret_cast<const char*>(P), size_t(N));
  const size_t end = s.find('\0');
  if (end != AnsiString::npos) s.resize(end);
  const size_t a = s.find_first_not_of(" \t\r\n");
  if (a == AnsiString::npos) return {};
  const size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

// The first value of a multi-valued decimal text; "," counts as the decimal
// separator too. False when it is not a number.
bool FirstNumber(const Byte* P, int64_t N, Double& Value) {
  AnsiString s = Trimmed(P, N);
  const size_t bs = s.find('\\');
  if (bs != AnsiString::npos) s = Trimmed(reinterpret_cast<const Byte*>(s.data()), int64_t(bs));
  std::replace(s.begin(), s.end(), ',', '.');
  if (s.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !std::isfinite(v)) return false;
  Value = v;
  return true;
}

void TakeValue(TDICOMContext& C, uint16_t Group, uint16_t Element, const Byte* V, int64_t N) {
  if (Group == 0x0002 && Element == 0x0010) {
    C.TransferSyntax = Trimmed(V, N);
    C.LittleEndian = C.TransferSyntax != "1.2.840.10008.1.2.2";
    return;
  }
  if (Group != 0x0028) return;
  const bool le = C.LittleEndian;
  auto number = [&](Integer& Out) {
    if (N == 2) Out = U16(V, le);
    else if (N == 4) Out = Integer(U32(V, le) & 0x7FFFFFFF);
    else if (N == 1) Out = V[0];
  };
  Double d = 0;
  switch (Element) {
    case 0x0002: number(C.Samples); break;
    case 0x0004: C.Photometric = Trimmed(V, N); break;
    case 0x0006: number(C.Planar); break;
    case 0x0008: {
      // Less than one frame cannot be: such a count means one.
      const AnsiString t = Trimmed(V, N);
      char* end = nullptr;
      const long f = std::strtol(t.c_str(), &end, 10);
      C.Frames = (t.empty() || *end || f < 1 || f > INT32_MAX) ? 1 : Integer(f);
      break;
    }
    case 0x0010: number(C.Rows); break;
    case 0x0011: number(C.Columns); break;
    case 0x0100:
      number(C.BitsAllocated);
      if (C.BitsStored == 0) C.BitsStored = C.BitsAllocated;
      break;
    case 0x0101:
      number(C.BitsStored);
      if (C.BitsAllocated == 0) C.BitsAllocated = C.BitsStored;
      break;
    case 0x0103: number(C.PixelRepresentation); break;
    // A centre of 0 is a valid window (around zero); only a missing or
    // unreadable value leaves the window off.
    case 0x1050: C.HasCentre = FirstNumber(V, N, C.Centre); break;
    case 0x1051: C.HasWidth = FirstNumber(V, N, C.Width); break;
    case 0x1052:
      if (FirstNumber(V, N, d)) C.Intercept = d;
      break;
    case 0x1053:
      if (FirstNumber(V, N, d)) C.Slope = d;
      break;
    default: break;
  }
}

bool Monochrome1(const TDICOMContext& C) {
  AnsiString p = C.Photometric;
  for (char& ch : p) ch = char(std::toupper(Byte(ch)));
  return p == "MONOCHROME1";
}

void ReportRow(TIEProgressRec& Progress, Integer Row, Integer Rows, Integer& Last) {
  Progress.ReportChanged(Row, IEProgressStep(Rows), Last);
}

// Rescale, the window when one is set, then a stretch of the frame's range
// to 0..Max; a frame whose values are all equal gives 0.
void WindowAndStretch(const std::vector<int32_t>& In, const TDICOMContext& C, Integer Max, std::vector<Word>& Out) {
  const size_t n = In.size();
  std::vector<double> g(n);
  const bool window = C.HasCentre && C.HasWidth && C.Width >= 1;
  const double c = C.Centre - 0.5, w = C.Width - 1;
  const double lo = std::trunc(c - w / 2), hi = std::trunc(c + w / 2);
  double mn = 0, mx = 0;
  for (size_t i = 0; i < n; ++i) {
    double v = In[i] * C.Slope + C.Intercept;
    if (window) {
      if (v <= lo)
        v = 0;
      else if (v >= hi)
        v = Max;
      else
        v = w > 0 ? ((v - c) / w + 0.5) * Max : Max;
      v = std::clamp(v, 0.0, double(Max));
    }
    g[i] = v;
    if (i == 0 || v < mn) mn = v;
    if (i == 0 || v > mx) mx = v;
  }
  Out.resize(n);
  if (mx <= mn) {
    std::fill(Out.begin(), Out.end(), Word(0));
    return;
  }
  const double f = Max / (mx - mn);
  for (size_t i = 0; i < n; ++i) Out[i] = Word(std::clamp(std::trunc((g[i] - mn) * f), 0.0, double(Max)));
}

// A grey frame of samples into ie8g (Wide false) or ie16g, windowed when
// asked and inverted for MONOCHROME1.
bool StoreGrey(const std::vector<int32_t>& Samples, const TDICOMContext& C, bool Wide, bool Window, TIEBitmap* Bitmap,
               TIEProgressRec& Progress) {
  if (!Bitmap->Allocate(C.Columns, C.Rows, Wide ? ie16g : ie8g) || Bitmap->PixelFormat() != (Wide ? ie16g : ie8g))
    return false;
  std::vector<Word> out;
  const Integer max = Wide ? 65535 : 255;
  if (Window) {
    WindowAndStretch(Samples, C, max, out);
  } else {
    out.resize(Samples.size());
    for (size_t i = 0; i < Samples.size(); ++i) out[i] = Word(std::clamp<int32_t>(Samples[i], 0, max));
  }
  const bool invert = Monochrome1(C);
  Integer last = -1;
  for (Integer y = 0; y < C.Rows; ++y) {
    const Word* src = out.data() + size_t(y) * size_t(C.Columns);
    if (Wide) {
      Word* row = static_cast<Word*>(Bitmap->GetScanline(y));
      for (Integer x = 0; x < C.Columns; ++x) row[x] = invert ? Word(~src[x]) : src[x];
    } else {
      Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
      for (Integer x = 0; x < C.Columns; ++x) row[x] = invert ? Byte(~src[x]) : Byte(src[x]);
    }
    ReportRow(Progress, y, C.Rows, last);
  }
  return true;
}

// Interleaved red, green, blue bytes into ie24RGB.
bool StoreRGB(const Byte* RGB, const TDICOMContext& C, TIEBitmap* Bitmap) {
  if (!Bitmap->Allocate(C.Columns, C.Rows, ie24RGB) || Bitmap->PixelFormat() != ie24RGB) return false;
  for (Integer y = 0; y < C.Rows; ++y) {
    Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
    const Byte* src = RGB + size_t(y) * size_t(C.Columns) * 3;
    for (Integer x = 0; x < C.Columns; ++x) {
      row[x * 3] = src[x * 3 + 2];
      row[x * 3 + 1] = src[x * 3 + 1];
      row[x * 3 + 2] = src[x * 3];
    }
  }
  return true;
}

// Samples masked to the bits stored and sign-extended for signed data.
int32_t StoredValue(uint32_t Raw, const TDICOMContext& C) {
  const Integer bits = std::clamp(C.BitsStored, 1, 32);
  const uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
  uint32_t v = Raw & mask;
  if (C.PixelRepresentation == 1 && bits < 32 && (v >> (bits - 1)) & 1) v |= ~mask;
  return int32_t(v);
}

bool DecodeUncompressed(TDICOMContext& C, TIOParamsVals& Params, TIEBitmap* Bitmap, TIEProgressRec& Progress) {
  const int64_t bytesPerSample = (int64_t(C.BitsAllocated) + 7) / 8;
  if (bytesPerSample < 1 || bytesPerSample > 2 || C.BitsStored > C.BitsAllocated) return false;
  const bool colour = C.Samples == 3;
  if (C.Samples != 1 && !(colour && bytesPerSample == 1)) return false;
  const int64_t frameBytes = int64_t(C.Columns) * C.Rows * C.Samples * bytesPerSample;
  const int64_t skip = frameBytes * Params.IMAGEINDEX;
  // The frame must lie wholly within the data that is there.
  if (C.Size - C.Stream->Position() < skip + frameBytes) return false;
  C.Stream->Seek(skip, soCurrent);
  std::vector<Byte> raw(static_cast<size_t>(frameBytes));
  if (!ReadAll(C.Stream, raw.data(), frameBytes)) return false;
  const size_t pixels = size_t(C.Columns) * size_t(C.Rows);
  const Integer shift = std::max(0, 8 - C.BitsStored);
  if (colour) {
    std::vector<Byte> rgb(pixels * 3);
    for (size_t i = 0; i < pixels; ++i)
      for (int s = 0; s < 3; ++s) {
        const Byte v = C.Planar == 1 ? raw[size_t(s) * pixels + i] : raw[i * 3 + size_t(s)];
        rgb[i * 3 + size_t(s)] = Byte(StoredValue(v, C) << shift);
      }
    return StoreRGB(rgb.data(), C, Bitmap);
  }
  std::vector<int32_t> samples(pixels);
  if (C.BitsStored <= 8) {
    for (size_t i = 0; i < pixels; ++i) {
      const uint32_t v = bytesPerSample == 1 ? raw[i] : U16(&raw[i * 2], C.LittleEndian);
      int32_t s = StoredValue(v, C);
      // Signed bytes are shown with their zero in the middle.
      if (C.PixelRepresentation == 1) s += 1 << (C.BitsStored - 1);
      samples[i] = s << shift;
    }
    if (!StoreGrey(samples, C, false, false, Bitmap, Progress)) return false;
    return true;
  }
  for (size_t i = 0; i < pixels; ++i) samples[i] = StoredValue(U16(&raw[i * 2], C.LittleEndian), C);
  return StoreGrey(samples, C, true, true, Bitmap, Progress);
}

// Encapsulated data: everything from the first item to the end of the stream.
bool DecodeEncapsulated(TDICOMContext& C, TIOParamsVals& Params, TIEBitmap* Bitmap, TIEProgressRec& Progress) {
  const AnsiString& ts = C.TransferSyntax;
  const bool rle = ts == "1.2.840.10008.1.2.5";
  const bool lossless = ts == "1.2.840.10008.1.2.4.70" || ts == "1.2.840.10008.1.2.4.57";
  const bool baseline = ts == "1.2.840.10008.1.2.4.50" || ts == "1.2.840.10008.1.2.4.51";
  // JPEG 2000, reversible only or either.
  const bool jpeg2000 = ts == "1.2.840.10008.1.2.4.90" || ts == "1.2.840.10008.1.2.4.91";
  if (!rle && !lossless && !baseline && !jpeg2000) return false;  // a coding this reader does not know
  const int64_t left = C.Size - C.Stream->Position();
  if (left <= 8 || left > IEReadLimits.Native.MaxBytes) return false;
  std::vector<Byte> all(static_cast<size_t>(left));
  if (!ReadAll(C.Stream, all.data(), left)) return false;
  std::vector<Byte> frame;
  if (!IEDICOMFrameFragments(all.data(), all.size(), Params.IMAGEINDEX, C.Frames, C.LittleEndian, frame)) return false;
  all.clear();
  all.shrink_to_fit();
  const size_t pixels = size_t(C.Columns) * size_t(C.Rows);
  if (jpeg2000) {
    TIEMemStream m(frame.data(), int64_t(frame.size()));
    if (C.Samples == 1) {
      // Grey is decoded at its own precision and windowed like the other
      // codings: an 8-bit picture of 12-bit data would be windowed in the
      // wrong units.
      std::vector<int32_t> s;
      Integer w = 0, h = 0, precision = 0;
      if (!IEDecodeJPEG2000Grey(&m, s, w, h, precision) || w != C.Columns || h != C.Rows) return false;
      for (int32_t& v : s) v = StoredValue(uint32_t(v) & 0xFFFF, C);
      return StoreGrey(s, C, precision > 8, true, Bitmap, Progress);
    }
    TIOParamsVals jp(nullptr);
    std::atomic<bool> abort{false};
    TIEProgressRec pr(abort);
    TIEBitmap tmp;
    IEReadJPEG2000(&m, &tmp, jp, pr, false);
    if (abort || tmp.IsEmpty() || tmp.Width() != C.Columns || tmp.Height() != C.Rows) return false;
    Bitmap->Assign(&tmp);
    return true;
  }
  if (baseline) {
    TIOParamsVals jp(nullptr);
    std::atomic<bool> abort{false};
    TIEProgressRec pr(abort);
    TIEMemStream m(frame.data(), int64_t(frame.size()));
    TIEBitmap tmp;
    IEReadJPEG(&m, nullptr, &tmp, jp, pr, false, false, false, false, false, false, -1, true);
    // The picture must be the one the data set declares.
    if (abort || tmp.IsEmpty() || tmp.Width() != C.Columns || tmp.Height() != C.Rows) return false;
    if (tmp.PixelFormat() == ie8g && C.Samples == 1) {
      std::vector<int32_t> s(size_t(C.Columns) * size_t(C.Rows));
      for (Integer y = 0; y < C.Rows; ++y) {
        const Byte* row = static_cast<const Byte*>(tmp.GetScanline(y));
        for (Integer x = 0; x < C.Columns; ++x) s[size_t(y) * size_t(C.Columns) + size_t(x)] = row[x];
      }
      return StoreGrey(s, C, false, true, Bitmap, Progress);
    }
    Bitmap->Assign(&tmp);
    return true;
  }
  if (rle) {
    const Integer bps = C.BitsAllocated > 8 ? 2 : 1;
    if (C.BitsAllocated > 16 || (C.Samples != 1 && !(C.Samples == 3 && bps == 1))) return false;
    std::vector<Byte> planes;
    if (!IEDICOMDecodeRLE(frame.data(), frame.size(), C.Samples * bps, pixels, planes)) return false;
    if (C.Samples == 3) {
      std::vector<Byte> rgb(pixels * 3);
      for (size_t i = 0; i < pixels; ++i)
        for (size_t s = 0; s < 3; ++s) rgb[i * 3 + s] = planes[s * pixels + i];
      return StoreRGB(rgb.data(), C, Bitmap);
    }
    std::vector<int32_t> s(pixels);
    for (size_t i = 0; i < pixels; ++i)
      s[i] = StoredValue(bps == 2 ? uint32_t(planes[i] << 8 | planes[pixels + i]) : planes[i], C);
    return StoreGrey(s, C, bps == 2, true, Bitmap, Progress);
  }
  std::vector<Word> out16;
  std::vector<Byte> out8;
  Integer w = 0, h = 0, comps = 0, precision = 0;
  if (!IEDICOMDecodeLosslessJPEG(frame.data(), frame.size(), out16, out8, w, h, comps, precision)) return false;
  if (w != C.Columns || h != C.Rows) return false;
  if (comps == 3 && precision <= 8) return StoreRGB(out8.data(), C, Bitmap);
  if (comps != 1) return false;
  std::vector<int32_t> s(pixels);
  for (size_t i = 0; i < pixels; ++i) s[i] = precision <= 8 ? out8[i] : StoredValue(out16[i], C);
  return StoreGrey(s, C, precision > 8, true, Bitmap, Progress);
}

}  // namespace
}  // namespace dicom_read

using namespace dicom_read;

const char* IEDICOMLookupVR(uint16_t Group, uint16_t Element) {
  const uint32_t tag = uint32_t(Group) << 16 | Element;
  const TIEDICOMDictEntry* end = IEDICOMDictionary + IEDICOMDictionarySize;
  const TIEDICOMDictEntry* e =
      std::lower_bound(IEDICOMDictionary, end, tag, [](const TIEDICOMDictEntry& A, uint32_t T) { return A.Tag < T; });
  return e != end && e->Tag == tag ? e->VR : "xs";
}

void IEReadDICOM(TStream* Stream, TIOParamsVals& Params, TIEBitmap* Bitmap, TIEProgressRec& Progress,
                 bool ParamsOnly) {
  try {
    TDICOMContext c;
    c.Stream = Stream;
    const int64_t start = Stream->Position();
    c.Size = Stream->Size();
    Params.DICOM_TAGS.Clear();
    Byte h[12];
    Stream->SetPosition(start + 128);
    if (!(ReadAll(Stream, h, 4) && std::memcmp(h, "DICM", 4) == 0)) Stream->SetPosition(start);
    bool pixels = false;
    while (Stream->Position() + 8 <= c.Size) {
      if (!ReadAll(Stream, h, 4)) break;
      const bool meta = U16(h, true) == 0x0002;
      const bool le = meta || c.LittleEndian;
      const uint16_t group = U16(h, le), element = U16(h + 2, le);
      const char* dictVR = IEDICOMLookupVR(group, element);
      char vr[3] = {dictVR[0], dictVR[1], 0};
      int64_t length;
      if (group == 0xFFFE) {
        if (!ReadAll(Stream, h, 4)) break;
        length = U32(h, le);
        vr[0] = vr[1] = '!';
      } else {
        if (!ReadAll(Stream, h, 4)) break;
        if (meta || (IsUpper(h[0]) && IsUpper(h[1]))) {
          const char file[2] = {char(h[0]), char(h[1])};
          if (vr[0] == 'x' && vr[1] == 's') {
            vr[0] = file[0];
            vr[1] = file[1];
          }
          if (LongFormVR(file)) {
            if (!ReadAll(Stream, h + 4, 4)) break;
            length = U32(h + 4, le);
          } else {
            length = U16(h + 2, le);
          }
        } else {
          length = U32(h, le);
        }
      }
      if (length == 0xFFFFFFFF) length = -1;
      if (group == kPixelGroup && element == kPixelElement) {
        pixels = true;
        break;
      }
      if (length < 0) {
        // Undefined length: the contents follow as ordinary elements.
        Params.DICOM_TAGS.AddTag(group, element, vr, nullptr, -1);
        continue;
      }
      const int64_t pos = Stream->Position();
      if (length > c.Size - pos) {
        // A value cannot reach past the end: the element is recorded
        // without one and the walk ends.
        Params.DICOM_TAGS.AddTag(group, element, vr, nullptr, -1);
        break;
      }
      std::vector<Byte> value(size_t(length) + 1, 0);
      if (!ReadAll(Stream, value.data(), length)) break;
      Params.DICOM_TAGS.AddTag(group, element, vr, length > 0 ? value.data() : nullptr, length > 0 ? Integer(length) : -1);
      TakeValue(c, group, element, value.data(), length);
    }
    if (!pixels) {
      // Elements without pixels: the tags are kept, but there is no picture.
      if (!ParamsOnly) Progress.Abort();
      return;
    }
    Params.BITSPERSAMPLE = c.BitsStored;
    Params.SAMPLESPERPIXEL = c.Samples;
    Params.WIDTH = Params.ORIGINALWIDTH = c.Columns;
    Params.HEIGHT = Params.ORIGINALHEIGHT = c.Rows;
    Params.SetImageCount(c.Frames);
    if (Params.IMAGEINDEX > c.Frames - 1) Params.SetImageIndex(c.Frames - 1);
    if (Params.IMAGEINDEX < 0) Params.SetImageIndex(0);
    if (ParamsOnly) return;
    if (!Bitmap || c.Columns <= 0 || c.Rows <= 0 || c.BitsStored <= 0 ||
        !IEPictureFits(IEReadLimits.Native, c.Columns, c.Rows, int64_t(std::max(c.Samples, 1)) * 16)) {
      Progress.Abort();
      return;
    }
    const int64_t dataStart = Stream->Position();
    bool item = false;
    if (ReadAll(Stream, h, 4)) item = U16(h, c.LittleEndian) == 0xFFFE && U16(h + 2, c.LittleEndian) == 0xE000;
    Stream->SetPosition(dataStart);
    // A platform bitmap cannot hold every format decoded here: it gets a
    // colour copy of a picture decoded in memory.
    TIEBitmap temp;
    TIEBitmap* into = Bitmap->Location() == ieTBitmap ? &temp : Bitmap;
    const bool ok = item ? DecodeEncapsulated(c, Params, into, Progress) : DecodeUncompressed(c, Params, into, Progress);
    if (!ok) {
      Progress.Abort();
      return;
    }
    if (into == &temp) {
      if (temp.PixelFormat() != ie24RGB) {
        TIEBitmap colour(temp.Width(), temp.Height(), ie24RGB);
        colour.CopyAndConvertFormat(&temp);
        Bitmap->Assign(&colour);
      } else {
        Bitmap->Assign(&temp);
      }
    }
  } catch (...) {
    Progress.Abort();
  }
}

Integer IECountDICOMFrames(TStream* Stream) {
  const int64_t pos = Stream->Position();
  TIOParamsVals p(nullptr);
  std::atomic<bool> abort{false};
  TIEProgressRec pr(abort);
  IEReadDICOM(Stream, p, nullptr, pr, true);
  Stream->SetPosition(pos);
  return abort ? 0 : p.IMAGECOUNT;
}

Integer IECountDICOMFramesOfFile(const WideString& FileName) {
  try {
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    return IECountDICOMFrames(&f);
  } catch (...) {
    return 0;
  }
}

void IEDICOMReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                        bool Preview) {
  IEReadDICOM(Stream, Params, Bitmap, Progress, Preview);
}
