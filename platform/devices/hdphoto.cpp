// HD Photo over jxrlib. The library's C interface is used only here: memory
// streams of our own behind its stream callbacks, every return code checked,
// and no C++ exception let through a callback.
#include "platform/devices/hdphoto.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <JXRGlue.h>
}
// The library defines these as macros.
#undef min
#undef max

namespace {

// ---------------------------------------------------------------------------
// Streams over bytes we own. jxrlib closes the streams it was given through
// Close; the structure itself belongs to TMemStream, so Close only forgets it.

struct TMemStream {
  WMPStream WS{};
  std::vector<uint8_t> Data;
  size_t Pos = 0;
  bool Writable = false;
  // The largest output accepted (a container cannot address more).
  static constexpr size_t MaxSize = size_t(0xFFFFFFFFu);

  TMemStream() {
    WS.state.pvObj = this;
    WS.fMem = TRUE;
    WS.Close = Close;
    WS.EOS = EOS;
    WS.Read = Read;
    WS.Write = Write;
    WS.SetPos = SetPos;
    WS.GetPos = GetPos;
  }
  static TMemStream* Self(WMPStream* S) { return static_cast<TMemStream*>(S->state.pvObj); }
  static ERR Close(WMPStream** S) {
    if (S) *S = nullptr;
    return WMP_errSuccess;
  }
  static Bool EOS(WMPStream* S) { return Self(S)->Pos >= Self(S)->Data.size(); }
  static ERR Read(WMPStream* S, void* P, size_t Cb) {
    // The decoder reads its bit buffer in fixed-size packets, past the end of
    // the last one: what lies beyond the data reads as zeros.
    TMemStream* m = Self(S);
    if (m->Pos > m->Data.size()) return WMP_errFileIO;
    const size_t have = std::min(Cb, m->Data.size() - m->Pos);
    if (have) std::memcpy(P, m->Data.data() + m->Pos, have);
    if (Cb > have) std::memset(static_cast<uint8_t*>(P) + have, 0, Cb - have);
    m->Pos += have;
    return WMP_errSuccess;
  }
  static ERR Write(WMPStream* S, const void* P, size_t Cb) {
    TMemStream* m = Self(S);
    if (!m->Writable || m->Pos > MaxSize || Cb > MaxSize - m->Pos) return WMP_errFileIO;
    try {
      if (m->Pos + Cb > m->Data.size()) m->Data.resize(m->Pos + Cb);
    } catch (...) {
      return WMP_errOutOfMemory;
    }
    if (Cb) std::memcpy(m->Data.data() + m->Pos, P, Cb);
    m->Pos += Cb;
    return WMP_errSuccess;
  }
  static ERR SetPos(WMPStream* S, size_t Off) {
    TMemStream* m = Self(S);
    // Reading never goes past the end; writing may leave a gap to fill later.
    if (Off > (m->Writable ? MaxSize : m->Data.size())) return WMP_errFileIO;
    m->Pos = Off;
    return WMP_errSuccess;
  }
  static ERR GetPos(WMPStream* S, size_t* Off) {
    *Off = Self(S)->Pos;
    return WMP_errSuccess;
  }
};

bool Ok(ERR E) { return E >= 0; }

struct TDecoderHandle {
  PKImageDecode* D = nullptr;
  ~TDecoderHandle() {
    if (D) PKImageDecode_Release(&D);
  }
};
struct TConverterHandle {
  PKFormatConverter* C = nullptr;
  ~TConverterHandle() {
    if (C) PKFormatConverter_Release(&C);
  }
};
struct TEncoderHandle {
  PKImageEncode* E = nullptr;
  ~TEncoderHandle() {
    if (E) PKImageEncode_Release(&E);
  }
};

bool Same(const PKPixelFormatGUID& A, const PKPixelFormatGUID& B) { return std::memcmp(&A, &B, sizeof A) == 0; }

// The frame's format in our terms; Swap is set for red-first 24-bit pixels.
THDPhotoPixelFormat Classify(const PKPixelFormatGUID& G, bool& Swap) {
  Swap = false;
  if (Same(G, GUID_PKPixelFormatBlackWhite)) return hdpfBlackWhite;
  if (Same(G, GUID_PKPixelFormat8bppGray)) return hdpf8bppGray;
  if (Same(G, GUID_PKPixelFormat16bppGray)) return hdpf16bppGray;
  if (Same(G, GUID_PKPixelFormat24bppBGR)) return hdpf24bppBGR;
  if (Same(G, GUID_PKPixelFormat24bppRGB)) {
    Swap = true;
    return hdpf24bppBGR;
  }
  if (Same(G, GUID_PKPixelFormat48bppRGB)) return hdpf48bppRGB;
  if (Same(G, GUID_PKPixelFormat32bppCMYK)) return hdpf32bppCMYK;
  return hdpfOther;
}

const PKPixelFormatGUID* EncoderFormat(THDPhotoPixelFormat F) {
  switch (F) {
    case hdpfBlackWhite: return &GUID_PKPixelFormatBlackWhite;
    case hdpf8bppGray: return &GUID_PKPixelFormat8bppGray;
    case hdpf16bppGray: return &GUID_PKPixelFormat16bppGray;
    case hdpf24bppBGR: return &GUID_PKPixelFormat24bppBGR;
    case hdpf48bppRGB: return &GUID_PKPixelFormat48bppRGB;
    case hdpf32bppCMYK: return &GUID_PKPixelFormat32bppCMYK;
    default: return nullptr;
  }
}

int32_t ThumbSide(int32_t Side) { return (Side + 15) / 16; }

// Rows the decoder may touch beyond the picture: it works in 16-row blocks.
constexpr int64_t kRowSlack = 32;

}  // namespace

int64_t HDPhotoRowBytes(THDPhotoPixelFormat Format, int64_t Width) {
  switch (Format) {
    case hdpfBlackWhite:
    case hdpf1bppIndexed: return (Width + 7) / 8;
    case hdpf8bppGray:
    case hdpf8bppIndexed: return Width;
    case hdpf16bppGray: return Width * 2;
    case hdpf48bppRGB: return Width * 6;
    case hdpf32bppCMYK: return Width * 4;
    case hdpf24bppBGR:
    case hdpfOther: return Width * 3;
  }
  return Width * 3;
}

bool HDPhotoTerminateTexts(std::vector<uint8_t>& F) {
  auto u16 = [&](size_t At) { return uint32_t(F[At] | F[At + 1] << 8); };
  auto u32 = [&](size_t At) { return uint32_t(F[At] | F[At + 1] << 8 | F[At + 2] << 16 | uint32_t(F[At + 3]) << 24); };
  auto put32 = [&](size_t At, uint32_t V) {
    for (int i = 0; i < 4; ++i) F[At + i] = uint8_t(V >> (8 * i));
  };
  if (F.size() < 8 || F[0] != 'I' || F[1] != 'I') return false;
  const size_t ifd = u32(4);
  if (ifd > F.size() || F.size() - ifd < 2) return false;
  const size_t n = u16(ifd);
  if ((F.size() - ifd - 2) / 12 < n) return false;
  for (size_t i = 0; i < n; ++i) {
    const size_t e = ifd + 2 + i * 12;
    if (u16(e + 2) != 2) continue;
    const uint32_t count = u32(e + 4);
    if (count <= 4) {
      if (count > 0 && F[e + 8 + count - 1] == 0) continue;
      if (count < 4) {
        // Room for the NUL in the value field itself.
        std::memset(&F[e + 8 + count], 0, 4 - count);
        put32(e + 4, count + 1);
        continue;
      }
    } else {
      const uint32_t at = u32(e + 8);
      if (at > F.size() || F.size() - at < count || F[at + count - 1] == 0) continue;
    }
    // Four or more characters without a NUL: a terminated copy at the end.
    const uint32_t at = count <= 4 ? uint32_t(e + 8) : u32(e + 8);
    if (F.size() % 2) F.push_back(0);
    if (F.size() > 0xFFFFFFF0u - count) return false;
    const uint32_t moved = uint32_t(F.size());
    const std::vector<uint8_t> text(F.begin() + at, F.begin() + at + count);
    F.insert(F.end(), text.begin(), text.end());
    F.push_back(0);
    put32(e + 4, count + 1);
    put32(e + 8, moved);
  }
  return true;
}

bool HDPhotoCodecAvailable() {
  // The codec is linked in; whether it works is checked once by creating
  // and releasing a decoder.
  static const bool available = [] {
    PKImageDecode* d = nullptr;
    if (!Ok(PKImageDecode_Create_WMP(&d)) || d == nullptr) return false;
    PKImageDecode_Release(&d);
    return true;
  }();
  return available;
}

// ---------------------------------------------------------------------------

struct THDPhotoDecoder::TState {
  std::vector<uint8_t> Data;
  bool Open = false;
  uint32_t Frames = 0;
  uint32_t Frame = 0;
  bool Swap = false;
};

THDPhotoDecoder::THDPhotoDecoder() : F(std::make_unique<TState>()) {}
THDPhotoDecoder::~THDPhotoDecoder() = default;

namespace {

// A decoder over the bytes (copied into Stream), initialised and at Frame.
bool MakeDecoder(const std::vector<uint8_t>& Data, uint32_t Frame, TMemStream& Stream, TDecoderHandle& H) {
  try {
    Stream.Data = Data;
  } catch (...) {
    return false;
  }
  Stream.Pos = 0;
  if (!Ok(PKImageDecode_Create_WMP(&H.D)) || !H.D) return false;
  if (!Ok(H.D->Initialize(H.D, &Stream.WS))) return false;
  // Reads past the end give zeros (see TMemStream::Read): a cut file must be
  // refused here, or it would decode as a picture with a grey bottom.
  auto within = [&](U32 Off, U32 Count) { return Off <= Data.size() && Count <= Data.size() - Off; };
  const WmpDEMisc& m = H.D->WMP.wmiDEMisc;
  if (m.uImageByteCount == 0 || !within(m.uImageOffset, m.uImageByteCount)) return false;
  if (m.uAlphaByteCount != 0 && !within(m.uAlphaOffset, m.uAlphaByteCount)) return false;
  if (Frame != 0) {
    U32 count = 0;
    if (!Ok(H.D->GetFrameCount(H.D, &count)) || Frame >= count) return false;
    if (!Ok(H.D->SelectFrame(H.D, Frame))) return false;
  }
  return true;
}

// Memory a child process fills for its parent.
class TSharedBlock {
 public:
  explicit TSharedBlock(size_t Size) : FSize(Size ? Size : 1) {
    void* p = mmap(nullptr, FSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    FData = p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
  }
  ~TSharedBlock() {
    if (FData) munmap(FData, FSize);
  }
  TSharedBlock(const TSharedBlock&) = delete;
  TSharedBlock& operator=(const TSharedBlock&) = delete;
  uint8_t* Data() const { return FData; }

 private:
  size_t FSize;
  uint8_t* FData = nullptr;
};

// The codec stops the process (failed assertions) or crashes on some damaged
// files, so everything that parses a file's bytes runs in a child process:
// the child reports through shared memory and its exit status, and a child
// that dies is a file that cannot be read.
bool InChild(const std::function<bool()>& Work) {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    // The codec's complaints (and a sanitizer's report of its crash) are not
    // the program's output: the parent reports the failure.
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, 1);
      dup2(null, 2);
    }
    bool ok = false;
    try {
      ok = Work();
    } catch (...) {
    }
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct TFrameInfo {
  uint32_t Frames;
  int32_t Width, Height;
  double ResX, ResY;
  THDPhotoPixelFormat Format;
  bool Swap;
  int32_t DecodeBits;
};

bool QueryFrame(const std::vector<uint8_t>& Data, uint32_t Frame, TFrameInfo& Info) {
  TSharedBlock shared(sizeof(TFrameInfo));
  if (!shared.Data()) return false;
  const bool ok = InChild([&] {
    TMemStream s;
    TDecoderHandle h;
    if (!MakeDecoder(Data, Frame, s, h)) return false;
    TFrameInfo i{};
    U32 count = 0;
    I32 w = 0, hh = 0;
    Float rx = 0, ry = 0;
    PKPixelFormatGUID g{};
    if (!Ok(h.D->GetFrameCount(h.D, &count)) || count == 0) return false;
    if (!Ok(h.D->GetSize(h.D, &w, &hh)) || w <= 0 || hh <= 0) return false;
    if (!Ok(h.D->GetResolution(h.D, &rx, &ry))) return false;
    if (!Ok(h.D->GetPixelFormat(h.D, &g))) return false;
    PKPixelInfo pi{};
    pi.pGUIDPixFmt = &g;
    if (!Ok(PixelFormatLookup(&pi, LOOKUP_FORWARD)) || pi.cbitUnit == 0 || pi.cbitUnit > 256) return false;
    i.Frames = count;
    i.Width = w;
    i.Height = hh;
    i.ResX = std::isfinite(rx) ? rx : 0;
    i.ResY = std::isfinite(ry) ? ry : 0;
    i.Format = Classify(g, i.Swap);
    i.DecodeBits = std::max<int32_t>(int32_t(pi.cbitUnit), i.Format == hdpfOther ? 24 : 1);
    std::memcpy(shared.Data(), &i, sizeof i);
    return true;
  });
  if (!ok) return false;
  std::memcpy(&Info, shared.Data(), sizeof Info);
  return true;
}

}  // namespace

bool THDPhotoDecoder::Open(std::vector<uint8_t> Data) {
  F = std::make_unique<TState>();
  FWidth = FHeight = 0;
  if (Data.size() < 8 || !HDPhotoTerminateTexts(Data)) return false;
  F->Data = std::move(Data);
  if (!ReadFrameInfo()) {
    F = std::make_unique<TState>();
    return false;
  }
  return true;
}

bool THDPhotoDecoder::IsOpen() const { return F->Open; }
uint32_t THDPhotoDecoder::FrameCount() const { return F->Open ? F->Frames : 0; }

bool THDPhotoDecoder::SelectFrame(uint32_t Index) {
  if (!F->Open || Index >= F->Frames) return false;
  if (Index == F->Frame) return true;
  const uint32_t was = F->Frame;
  F->Frame = Index;
  if (ReadFrameInfo()) return true;
  F->Frame = was;
  ReadFrameInfo();
  return false;
}

bool THDPhotoDecoder::ReadFrameInfo() {
  TFrameInfo i{};
  if (!QueryFrame(F->Data, F->Frame, i)) return false;
  F->Open = true;
  F->Frames = i.Frames;
  F->Swap = i.Swap;
  FWidth = i.Width;
  FHeight = i.Height;
  FResX = i.ResX;
  FResY = i.ResY;
  FFormat = i.Format;
  FDecodeBits = i.DecodeBits;
  return true;
}

bool THDPhotoDecoder::HasThumbnail() const { return F->Open && FWidth >= 16 && FHeight >= 16; }
int32_t THDPhotoDecoder::ThumbnailWidth() const { return HasThumbnail() ? ThumbSide(FWidth) : FWidth; }
int32_t THDPhotoDecoder::ThumbnailHeight() const { return HasThumbnail() ? ThumbSide(FHeight) : FHeight; }

bool THDPhotoDecoder::Decode(bool Thumbnail, const std::function<void(int32_t, const uint8_t*)>& Row) {
  if (!F->Open || FWidth <= 0 || FHeight <= 0) return false;
  const bool thumb = Thumbnail && HasThumbnail();
  const int32_t w = thumb ? ThumbSide(FWidth) : FWidth;
  const int32_t h = thumb ? ThumbSide(FHeight) : FHeight;
  // The decoder writes its own format first and converts in place, so a row
  // holds the wider of the two.
  const int64_t outRow = HDPhotoRowBytes(FFormat, w);
  const int64_t decRow = (int64_t(FDecodeBits) * w + 7) / 8;
  const int64_t stride = (std::max(outRow, decRow) + 127) / 128 * 128;
  if (stride > int64_t(0xFFFFFFFFu)) return false;
  TSharedBlock buf(size_t(stride * (int64_t(h) + kRowSlack)));
  if (!buf.Data()) return false;
  const THDPhotoPixelFormat format = FFormat;
  const int32_t fw = FWidth, fh = FHeight;
  const bool decoded = InChild([&] {
    TMemStream s;
    TDecoderHandle dec;
    if (!MakeDecoder(F->Data, F->Frame, s, dec)) return false;
    PKImageDecode* d = dec.D;
    // Planar alpha is not decoded: no format we deliver carries it.
    d->WMP.wmiSCP.uAlphaMode = 0;
    // The whole frame is the region; the output size is the thumbnail's when
    // one is asked for (the decoder leaves both to its caller).
    for (CWMImageInfo* i : {&d->WMP.wmiI, &d->WMP.wmiI_Alpha}) {
      i->cROILeftX = i->cROITopY = 0;
      i->cROIWidth = size_t(fw);
      i->cROIHeight = size_t(fh);
      i->cThumbnailWidth = size_t(w);
      i->cThumbnailHeight = size_t(h);
      i->bSkipFlexbits = thumb ? TRUE : FALSE;
      i->oOrientation = O_NONE;
      i->cPostProcStrength = 0;
    }
    PKRect rect{0, 0, w, h};
    if (format == hdpfOther) {
      TConverterHandle conv;
      if (!Ok(PKCodecFactory_CreateFormatConverter(&conv.C)) || !conv.C) return false;
      char ext[] = ".tif";
      if (!Ok(conv.C->Initialize(conv.C, d, ext, GUID_PKPixelFormat24bppRGB))) return false;
      return Ok(conv.C->Copy(conv.C, &rect, buf.Data(), U32(stride)));
    }
    return Ok(d->Copy(d, &rect, buf.Data(), U32(stride)));
  });
  if (!decoded) return false;
  const bool swap = F->Swap || FFormat == hdpfOther;
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* p = buf.Data() + int64_t(y) * stride;
    if (swap)
      for (int32_t x = 0; x < w; ++x) std::swap(p[3 * x], p[3 * x + 2]);
    Row(y, p);
  }
  return true;
}

// ---------------------------------------------------------------------------

namespace {

struct TEncodeSettings {
  double ImageQuality = 0.9;  // the codec's own default
  bool Lossless = false;
  bool UseCodecOptions = false;
  int Quality = 1, Overlap = 1, Subsampling = 3;
  int HorizontalSlices = 0, VerticalSlices = 0;
  bool FrequencyOrder = true;
};

bool ApplyOption(TEncodeSettings& S, const THDPhotoOption& O) {
  const double v = O.Value;
  auto inRange = [&](double Lo, double Hi) { return std::isfinite(v) && v >= Lo && v <= Hi; };
  if (O.Name == "ImageQuality") {
    if (!inRange(0, 1)) return false;
    S.ImageQuality = v;
  } else if (O.Name == "CompressionQuality") {
    // How hard a lossless coder works; this codec has no such choice.
    if (!inRange(0, 1)) return false;
  } else if (O.Name == "Lossless") {
    S.Lossless = v != 0;
  } else if (O.Name == "UseCodecOptions") {
    S.UseCodecOptions = v != 0;
  } else if (O.Name == "Quality") {
    if (!inRange(1, 255)) return false;
    S.Quality = int(v);
  } else if (O.Name == "Overlap") {
    if (!inRange(0, 2)) return false;
    S.Overlap = int(v);
  } else if (O.Name == "Subsampling") {
    if (!inRange(0, 3)) return false;
    S.Subsampling = int(v);
  } else if (O.Name == "HorizontalTileSlices") {
    if (!inRange(0, 4095)) return false;
    S.HorizontalSlices = int(v);
  } else if (O.Name == "VerticalTileSlices") {
    if (!inRange(0, 4095)) return false;
    S.VerticalSlices = int(v);
  } else if (O.Name == "FrequencyOrder") {
    S.FrequencyOrder = v != 0;
  }
  return true;
}

// Quantisation step for a quality of 0..1: 1 (lossless) at 1.0, coarser below.
U8 QualityToQP(double Q) {
  if (Q >= 1.0) return 1;
  const double qp = 1.0 + (1.0 - Q) * 254.0;
  return U8(std::clamp(int(qp + 0.5), 2, 255));
}

// Splits Blocks macroblocks into Slices + 1 tiles as even as they can be;
// the count of tiles less one.
U32 SplitTiles(int Slices, size_t Pixels, U32* Sizes) {
  const U32 blocks = U32((Pixels + 15) / 16);
  const U32 tiles = std::min<U32>(U32(Slices) + 1, std::min<U32>(blocks, MAX_TILES));
  for (U32 i = 0; i < tiles; ++i) Sizes[i] = blocks / tiles + (i < blocks % tiles ? 1 : 0);
  return tiles - 1;
}

}  // namespace

bool HDPhotoEncode(int32_t Width, int32_t Height, THDPhotoPixelFormat Format, double ResolutionX, double ResolutionY,
                   const std::vector<THDPhotoOption>& Options, const std::function<const uint8_t*(int32_t)>& Row,
                   std::vector<uint8_t>& Out) {
  const PKPixelFormatGUID* guid = EncoderFormat(Format);
  if (!guid || Width <= 0 || Height <= 0) return false;
  TEncodeSettings set;
  for (const THDPhotoOption& o : Options)
    if (!ApplyOption(set, o)) return false;
  if (!std::isfinite(ResolutionX) || !std::isfinite(ResolutionY) || ResolutionX <= 0 || ResolutionY <= 0) return false;
  try {
    CWMIStrCodecParam scp;
    std::memset(&scp, 0, sizeof scp);
    scp.bVerbose = FALSE;
    scp.bdBitDepth = BD_LONG;
    scp.bfBitstreamFormat = set.FrequencyOrder ? FREQUENCY : SPATIAL;
    scp.bProgressiveMode = TRUE;
    scp.sbSubband = SB_ALL;
    scp.uAlphaMode = 0;
    scp.uiDefaultQPIndex = set.Lossless ? 1 : set.UseCodecOptions ? U8(set.Quality) : QualityToQP(set.ImageQuality);
    scp.olOverlap = OVERLAP(set.UseCodecOptions ? set.Overlap : 1);
    COLORFORMAT cf = COLORFORMAT(set.UseCodecOptions ? set.Subsampling : 3);
    // A lossless picture keeps every chroma sample.
    if (scp.uiDefaultQPIndex == 1 && cf != Y_ONLY) cf = YUV_444;
    if (Format == hdpfBlackWhite || Format == hdpf8bppGray || Format == hdpf16bppGray) cf = Y_ONLY;
    if (Format == hdpf32bppCMYK) cf = CMYK;
    scp.cfColorFormat = cf;
    scp.cNumOfSliceMinus1H = SplitTiles(set.HorizontalSlices, size_t(Height), scp.uiTileY);
    scp.cNumOfSliceMinus1V = SplitTiles(set.VerticalSlices, size_t(Width), scp.uiTileX);

    const int64_t rowBytes = HDPhotoRowBytes(Format, Width);
    const int64_t stride = (rowBytes + 127) / 128 * 128;
    std::vector<uint8_t> pixels(size_t(stride * Height));
    for (int32_t y = 0; y < Height; ++y) {
      const uint8_t* src = Row(y);
      if (!src) return false;
      std::memcpy(pixels.data() + int64_t(y) * stride, src, size_t(rowBytes));
    }

    TMemStream s;
    s.Writable = true;
    TEncoderHandle enc;
    if (!Ok(PKImageEncode_Create_WMP(&enc.E)) || !enc.E) return false;
    PKImageEncode* e = enc.E;
    if (!Ok(e->Initialize(e, &s.WS, &scp, sizeof scp))) return false;
    if (!Ok(e->SetPixelFormat(e, *guid))) return false;
    if (!Ok(e->SetSize(e, Width, Height))) return false;
    if (!Ok(e->SetResolution(e, Float(ResolutionX), Float(ResolutionY)))) return false;
    if (!Ok(e->WritePixels(e, U32(Height), pixels.data(), U32(stride)))) return false;
    // Release finishes the container (and closes our stream, which only forgets it).
    const ERR done = PKImageEncode_Release(&enc.E);
    if (!Ok(done) || s.Data.size() < 8) return false;
    Out = std::move(s.Data);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}
