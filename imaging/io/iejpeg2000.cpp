// JPEG 2000 over OpenJPEG. OpenJPEG reads and writes through callbacks on the
// caller's stream, so no temporary files are involved; it reports failures by
// return values, so nothing here needs setjmp, and no exception may cross one
// of its callbacks.
#include "imaging/io/iejpeg2000.h"

#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "imaging/core/base/iestartup.h"
#include "imaging/core/base/ieutils.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/ieprobes.h"

namespace {

// ---------------------------------------------------------------------------
// OpenJPEG's stream callbacks over a TStream. Positions OpenJPEG asks for are
// relative to where the codec started, so a picture inside a larger stream
// reads and writes like a file of its own.

struct TStreamLink {
  TStream* Stream;
  int64_t Base;
};

OPJ_SIZE_T ReadCb(void* Buffer, OPJ_SIZE_T Count, void* User) {
  auto* l = static_cast<TStreamLink*>(User);
  try {
    const int64_t n = l->Stream->Read(Buffer, static_cast<int64_t>(Count));
    return n > 0 ? static_cast<OPJ_SIZE_T>(n) : static_cast<OPJ_SIZE_T>(-1);
  } catch (...) {
    return static_cast<OPJ_SIZE_T>(-1);
  }
}

OPJ_SIZE_T WriteCb(void* Buffer, OPJ_SIZE_T Count, void* User) {
  auto* l = static_cast<TStreamLink*>(User);
  try {
    const int64_t n = l->Stream->Write(Buffer, static_cast<int64_t>(Count));
    // A short write reaches OpenJPEG as a failure, which ends the encoding.
    return n == static_cast<int64_t>(Count) ? Count : static_cast<OPJ_SIZE_T>(-1);
  } catch (...) {
    return static_cast<OPJ_SIZE_T>(-1);
  }
}

OPJ_OFF_T SkipCb(OPJ_OFF_T Count, void* User) {
  auto* l = static_cast<TStreamLink*>(User);
  try {
    const int64_t from = l->Stream->Position();
    const int64_t to = from + Count;
    if (to < l->Base) return -1;
    return l->Stream->Seek(to, soBeginning) == to ? Count : -1;
  } catch (...) {
    return -1;
  }
}

OPJ_BOOL SeekCb(OPJ_OFF_T Offset, void* User) {
  auto* l = static_cast<TStreamLink*>(User);
  try {
    if (Offset < 0) return OPJ_FALSE;
    const int64_t to = l->Base + Offset;
    return l->Stream->Seek(to, soBeginning) == to ? OPJ_TRUE : OPJ_FALSE;
  } catch (...) {
    return OPJ_FALSE;
  }
}

void QuietCb(const char*, void*) {}

struct TOpjStream {
  opj_stream_t* S = nullptr;
  ~TOpjStream() {
    if (S) opj_stream_destroy(S);
  }
};
struct TOpjCodec {
  opj_codec_t* C = nullptr;
  ~TOpjCodec() {
    if (C) opj_destroy_codec(C);
  }
};
struct TOpjImage {
  opj_image_t* I = nullptr;
  ~TOpjImage() {
    if (I) opj_image_destroy(I);
  }
};

// A stream for OpenJPEG on Link; Input for reading. Length: the bytes the
// codec may read, or -1 when unknown.
opj_stream_t* MakeStream(TStreamLink& Link, bool Input, int64_t Length) {
  opj_stream_t* s = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, Input ? OPJ_TRUE : OPJ_FALSE);
  if (!s) return nullptr;
  opj_stream_set_user_data(s, &Link, nullptr);
  if (Input) {
    opj_stream_set_read_function(s, ReadCb);
    if (Length >= 0) opj_stream_set_user_data_length(s, static_cast<OPJ_UINT64>(Length));
  } else {
    opj_stream_set_write_function(s, WriteCb);
  }
  opj_stream_set_skip_function(s, SkipCb);
  opj_stream_set_seek_function(s, SeekCb);
  return s;
}

void Silence(opj_codec_t* C) {
  opj_set_info_handler(C, QuietCb, nullptr);
  opj_set_warning_handler(C, QuietCb, nullptr);
  opj_set_error_handler(C, QuietCb, nullptr);
}

// ---------------------------------------------------------------------------
// Reading

enum TColorKind { ckGrey, ckRGB, ckYCbCr, ckNone };

// The colour components in their order, the opacity component left out.
std::vector<const opj_image_comp_t*> ColourComponents(const opj_image_t* Img) {
  std::vector<const opj_image_comp_t*> r;
  for (OPJ_UINT32 i = 0; i < Img->numcomps; ++i)
    if (!Img->comps[i].alpha) r.push_back(&Img->comps[i]);
  return r;
}

// What the samples mean. A code stream (and a JP2 whose colour comes from an
// ICC profile) names no colour space: one component is grey, three with
// subsampled second and third components are YCbCr, anything else RGB.
// RGB and YCbCr need three components; fewer cannot be read as colour.
TColorKind KindOf(const opj_image_t* Img, const std::vector<const opj_image_comp_t*>& C) {
  if (C.empty()) return ckNone;
  switch (Img->color_space) {
    case OPJ_CLRSPC_GRAY:
      return ckGrey;
    case OPJ_CLRSPC_SRGB:
      return C.size() >= 3 ? ckRGB : ckNone;
    case OPJ_CLRSPC_SYCC:
      return C.size() >= 3 ? ckYCbCr : ckNone;
    case OPJ_CLRSPC_UNKNOWN:
    case OPJ_CLRSPC_UNSPECIFIED:
      if (C.size() < 3) return ckGrey;
      if (C[1]->dx != C[0]->dx || C[1]->dy != C[0]->dy || C[2]->dx != C[0]->dx || C[2]->dy != C[0]->dy)
        return ckYCbCr;
      return ckRGB;
    default:
      return ckNone;
  }
}

// The header values every later step relies on: sizes within the limits and
// the data OpenJPEG will allocate (a 32-bit sample per component sample).
bool HeaderUsable(const opj_image_t* Img, const std::vector<const opj_image_comp_t*>& C) {
  if (Img->x1 <= Img->x0 || Img->y1 <= Img->y0) return false;
  const int64_t w = int64_t(Img->x1) - Img->x0, h = int64_t(Img->y1) - Img->y0;
  if (!IEPictureFits(IEReadLimits.JPEG2000, w, h, 24)) return false;
  int64_t samples = 0;
  for (OPJ_UINT32 i = 0; i < Img->numcomps; ++i) {
    const opj_image_comp_t& c = Img->comps[i];
    if (c.dx == 0 || c.dy == 0 || c.prec < 1 || c.prec > 32) return false;
    samples += int64_t(c.w) * c.h;
    if (samples > IEReadLimits.JPEG2000.MaxPixels * 4) return false;
  }
  const int64_t bytes = samples * 4 + w * h * 3;
  (void)C;
  return bytes <= IEReadLimits.JPEG2000.MaxBytes;
}

// Picture column or row -> the component's own, through the sampling step;
// outside the component's samples reads its first one.
std::vector<int32_t> SampleMap(int64_t Count, int64_t ImageOrigin, OPJ_UINT32 Step, OPJ_UINT32 CompOrigin,
                               OPJ_UINT32 CompSize) {
  std::vector<int32_t> m(static_cast<size_t>(Count));
  for (int64_t i = 0; i < Count; ++i) {
    const int64_t v = (ImageOrigin + i) / Step - int64_t(CompOrigin);
    m[static_cast<size_t>(i)] = (v < 0 || v >= int64_t(CompSize)) ? 0 : static_cast<int32_t>(v);
  }
  return m;
}

// The top 8 bits of a Prec-bit sample; signed samples are moved into the
// unsigned range first. Prec is 1..32.
inline Byte Top8(int32_t V, uint32_t Prec, bool Signed) {
  uint32_t u = static_cast<uint32_t>(V);
  if (Signed) u += uint32_t(1) << (Prec - 1);
  return static_cast<Byte>((u << (32 - Prec)) >> 24);
}

inline Byte Clamp255(int32_t V) { return static_cast<Byte>(V < 0 ? 0 : (V > 255 ? 255 : V)); }

struct TComponentView {
  const opj_image_comp_t* C;
  std::vector<int32_t> Cols;
};

// A decoder on Stream at its position, JP2 or code stream by signature:
// ReadHeader, then Decode when the header is usable.
struct TDecoder {
  TStream* Stream;
  TStreamLink Link;
  TOpjStream S;
  TOpjCodec Codec;
  TOpjImage Img;

  explicit TDecoder(TStream* AStream) : Stream(AStream), Link{AStream, AStream->Position()} {}
  // False for a stream neither probe accepts, a header that cannot be read
  // or one beyond the limits.
  bool ReadHeader() {
    const bool jp2 = IEProbeJP2(Stream);
    if (!jp2 && !IEProbeJ2K(Stream)) return false;
    S.S = MakeStream(Link, true, IEStreamBytesLeft(Stream));
    Codec.C = opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    if (!S.S || !Codec.C) return false;
    Silence(Codec.C);
    opj_dparameters_t dp;
    opj_set_default_decoder_parameters(&dp);
    if (!opj_setup_decoder(Codec.C, &dp) || !opj_read_header(S.S, Codec.C, &Img.I) || !Img.I) return false;
    return HeaderUsable(Img.I, ColourComponents(Img.I));
  }
  bool Decode() { return opj_decode(Codec.C, S.S, Img.I) && opj_end_decompress(Codec.C, S.S); }
};

void ReadJPEG2000(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                  bool Preview) {
  TDecoder dec(Stream);
  TOpjImage& img = dec.Img;
  if (!dec.ReadHeader()) {
    Progress.Abort();
    return;
  }
  std::vector<const opj_image_comp_t*> comps = ColourComponents(img.I);
  const TColorKind kind = KindOf(img.I, comps);
  if (kind == ckNone) {
    Progress.Abort();
    return;
  }
  const Integer w = static_cast<Integer>(img.I->x1 - img.I->x0);
  const Integer h = static_cast<Integer>(img.I->y1 - img.I->y0);
  Params.IMAGECOUNT = 1;
  Params.WIDTH = Params.ORIGINALWIDTH = w;
  Params.HEIGHT = Params.ORIGINALHEIGHT = h;
  Params.BITSPERSAMPLE = static_cast<Integer>(comps[0]->prec);
  Params.SAMPLESPERPIXEL = kind == ckGrey ? 1 : 3;
  Params.SetDpiX(IEDefaultDpiX);
  Params.SetDpiY(IEDefaultDpiY);
  Params.FreeColorMap();
  if (Preview) return;

  if (!dec.Decode()) {
    Progress.Abort();
    return;
  }
  // Decoding may only have filled what the header promised; check again
  // what the rows below will index.
  comps = ColourComponents(img.I);
  const size_t used = kind == ckGrey ? 1 : 3;
  if (comps.size() < used) {
    Progress.Abort();
    return;
  }
  std::vector<TComponentView> views(used);
  for (size_t i = 0; i < used; ++i) {
    const opj_image_comp_t* c = comps[i];
    if (!c->data || c->w == 0 || c->h == 0 || c->prec < 1 || c->prec > 32) {
      Progress.Abort();
      return;
    }
    views[i] = {c, SampleMap(w, img.I->x0, c->dx, c->x0, c->w)};
  }
  const bool bilevel = kind == ckGrey && comps[0]->prec == 1;
  if (!Bitmap->Allocate(w, h, bilevel ? ie1g : ie24RGB)) {
    Progress.Abort();
    return;
  }
  const TIEYCbCrTables& t = IEYCbCrTables();
  Progress.SetUnits(h);
  std::vector<Byte> v(used * static_cast<size_t>(w));
  for (Integer y = 0; y < h; ++y) {
    // The row of each used component, reduced to 8 bits.
    for (size_t i = 0; i < used; ++i) {
      const opj_image_comp_t* c = views[i].C;
      int64_t cy = (int64_t(img.I->y0) + y) / c->dy - int64_t(c->y0);
      if (cy < 0 || cy >= int64_t(c->h)) cy = 0;
      const OPJ_INT32* row = c->data + cy * int64_t(c->w);
      const int32_t* cols = views[i].Cols.data();
      Byte* out = v.data() + i * static_cast<size_t>(w);
      for (Integer x = 0; x < w; ++x) out[x] = Top8(row[cols[x]], c->prec, c->sgnd != 0);
    }
    Byte* p = static_cast<Byte*>(Bitmap->GetScanline(y));
    const Byte* a = v.data();
    const Byte* b = a + w;
    const Byte* cc = b + w;
    if (bilevel) {
      std::fill(p, p + (w + 7) / 8, Byte(0));
      for (Integer x = 0; x < w; ++x)
        if (a[x]) p[x >> 3] |= Byte(0x80 >> (x & 7));
    } else if (kind == ckGrey) {
      for (Integer x = 0; x < w; ++x, p += 3) p[0] = p[1] = p[2] = a[x];
    } else if (kind == ckRGB) {
      for (Integer x = 0; x < w; ++x, p += 3) {
        p[0] = cc[x];
        p[1] = b[x];
        p[2] = a[x];
      }
    } else {
      for (Integer x = 0; x < w; ++x, p += 3) {
        const int32_t Y = a[x], Cb = b[x], Cr = cc[x];
        p[2] = Clamp255(Y + t.CrToRed[Cr]);
        p[1] = Clamp255(Y + t.CbToGreen[Cb] + t.CrToGreen[Cr]);
        p[0] = Clamp255(Y + t.CbToBlue[Cb]);
      }
    }
    Progress.Report(y);
    if (Progress.Aborted()) return;
  }
}

// ---------------------------------------------------------------------------
// Writing

// Whether an alpha channel holds anything but 255.
bool AlphaNotFull(TIEBitmap* Bitmap) {
  if (!Bitmap->HasAlphaChannel()) return false;
  TIEBitmap* a = Bitmap->GetAlphaChannel();
  if (a->Width() != Bitmap->Width() || a->Height() != Bitmap->Height() || a->PixelFormat() != ie8g) return false;
  for (Integer y = 0; y < a->Height(); ++y) {
    const Byte* p = static_cast<const Byte*>(a->GetScanline(y));
    for (Integer x = 0; x < a->Width(); ++x)
      if (p[x] != 255) return true;
  }
  return false;
}

// The quality settings: rate 1 and above (and a rate that is no number or not
// positive) is reversible and lossless; a rate below 1 asks for that fraction
// of the size, as the ratio 1 / rate.
void SetQuality(opj_cparameters_t& P, Double Rate) {
  P.irreversible = 0;
  P.tcp_numlayers = 1;
  P.cp_disto_alloc = 1;
  P.tcp_rates[0] = (std::isfinite(Rate) && Rate > 0 && Rate < 1) ? static_cast<float>(1.0 / Rate) : 0.0f;
}

void WriteJPEG2000(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   TIEJ2000Format Format) {
  if (!Bitmap || !Stream || (Bitmap->PixelFormat() != ie24RGB && Bitmap->PixelFormat() != ie1g) ||
      Bitmap->IsEmpty()) {
    Progress.Abort();
    return;
  }
  const bool bilevel = Bitmap->PixelFormat() == ie1g;
  if (bilevel) {
    Params.BITSPERSAMPLE = 1;
    Params.J2000_COLORSPACE = 0;
  }
  // A colour space outside 0..2 builds no image, and without one nothing is encoded.
  if (Params.J2000_COLORSPACE > 2 || Params.BITSPERSAMPLE < 1 || Params.BITSPERSAMPLE > 16) {
    Progress.Abort();
    return;
  }
  const Integer w = Bitmap->Width(), h = Bitmap->Height();
  const bool grey = Params.J2000_COLORSPACE == 0;
  const bool alpha = !grey && !bilevel && AlphaNotFull(Bitmap);
  const OPJ_UINT32 n = grey ? 1 : (alpha ? 4 : 3);
  const OPJ_UINT32 prec = static_cast<OPJ_UINT32>(Params.BITSPERSAMPLE);
  const Double maxv = Double((uint32_t(1) << prec) - 1);

  opj_image_cmptparm_t cp[4] = {};
  for (OPJ_UINT32 i = 0; i < n; ++i) {
    cp[i].dx = cp[i].dy = 1;
    cp[i].w = static_cast<OPJ_UINT32>(w);
    cp[i].h = static_cast<OPJ_UINT32>(h);
    cp[i].prec = prec;
    cp[i].sgnd = 0;
  }
  TOpjImage img;
  img.I = opj_image_create(n, cp, grey ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB);
  if (!img.I) {
    Progress.Abort();
    return;
  }
  img.I->x0 = img.I->y0 = 0;
  img.I->x1 = static_cast<OPJ_UINT32>(w);
  img.I->y1 = static_cast<OPJ_UINT32>(h);
  if (alpha) img.I->comps[3].alpha = 1;

  // 8-bit values scaled to the precision, each scaled value computed once.
  int32_t scaled[256];
  for (int i = 0; i < 256; ++i) scaled[i] = static_cast<int32_t>(Round(i / 255.0 * maxv));

  TIEBitmap* a = alpha ? Bitmap->GetAlphaChannel() : nullptr;
  Progress.SetUnits(h);
  for (Integer y = 0; y < h; ++y) {
    const Byte* p = static_cast<const Byte*>(Bitmap->GetScanline(y));
    const size_t at = static_cast<size_t>(y) * static_cast<size_t>(w);
    if (bilevel) {
      OPJ_INT32* g = img.I->comps[0].data + at;
      for (Integer x = 0; x < w; ++x) g[x] = (p[x >> 3] >> (7 - (x & 7))) & 1;
    } else if (grey) {
      OPJ_INT32* g = img.I->comps[0].data + at;
      for (Integer x = 0; x < w; ++x, p += 3) {
        const Integer v = IERGBToGray(TRGB{p[0], p[1], p[2]});
        g[x] = static_cast<int32_t>(Round(v / 255.0 * maxv));
      }
    } else {
      OPJ_INT32* r = img.I->comps[0].data + at;
      OPJ_INT32* g = img.I->comps[1].data + at;
      OPJ_INT32* b = img.I->comps[2].data + at;
      for (Integer x = 0; x < w; ++x, p += 3) {
        b[x] = scaled[p[0]];
        g[x] = scaled[p[1]];
        r[x] = scaled[p[2]];
      }
      if (a) {
        const Byte* ap = static_cast<const Byte*>(a->GetScanline(y));
        OPJ_INT32* o = img.I->comps[3].data + at;
        for (Integer x = 0; x < w; ++x) o[x] = scaled[ap[x]];
      }
    }
    Progress.Report(y);
    if (Progress.Aborted()) return;
  }

  opj_cparameters_t par;
  opj_set_default_encoder_parameters(&par);
  SetQuality(par, Params.J2000_RATE);
  if (Params.J2000_SCALABLEBY == 0) par.prog_order = OPJ_LRCP;
  if (Params.J2000_SCALABLEBY == 1) par.prog_order = OPJ_RLCP;
  par.tcp_mct = n >= 3 ? 1 : 0;
  // OpenJPEG's default of six resolutions needs 32 pixels a side; a smaller
  // picture gets as many as it has room for.
  while (par.numresolution > 1 && ((uint32_t(w) >> (par.numresolution - 1)) == 0 ||
                                   (uint32_t(h) >> (par.numresolution - 1)) == 0))
    --par.numresolution;

  TOpjCodec codec;
  codec.C = opj_create_compress(Format == iej2kJP2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
  TStreamLink link{Stream, Stream->Position()};
  TOpjStream s;
  s.S = MakeStream(link, false, -1);
  if (!codec.C || !s.S) {
    Progress.Abort();
    return;
  }
  Silence(codec.C);
  if (!opj_setup_encoder(codec.C, &par, img.I) || !opj_start_compress(codec.C, img.I, s.S) ||
      !opj_encode(codec.C, s.S) || !opj_end_compress(codec.C, s.S))
    Progress.Abort();
}

}  // namespace

bool IEDecodeJPEG2000Grey(TStream* Stream, std::vector<int32_t>& Samples, Integer& Width, Integer& Height,
                          Integer& Precision) {
  Samples.clear();
  Width = Height = Precision = 0;
  try {
    TDecoder dec(Stream);
    const TOpjImage& img = dec.Img;
    if (!dec.ReadHeader()) return false;
    std::vector<const opj_image_comp_t*> comps = ColourComponents(img.I);
    if (KindOf(img.I, comps) != ckGrey || !dec.Decode()) return false;
    comps = ColourComponents(img.I);
    if (comps.empty()) return false;
    const opj_image_comp_t* c = comps[0];
    const OPJ_UINT32 w = img.I->x1 - img.I->x0, h = img.I->y1 - img.I->y0;
    // Only a component at full resolution gives one sample per pixel.
    if (!c->data || c->w != w || c->h != h || c->dx != 1 || c->dy != 1 || c->prec < 1 || c->prec > 16) return false;
    Samples.assign(c->data, c->data + size_t(w) * size_t(h));
    Width = static_cast<Integer>(w);
    Height = static_cast<Integer>(h);
    Precision = static_cast<Integer>(c->prec);
    return true;
  } catch (...) {
    Samples.clear();
    return false;
  }
}

const TIEYCbCrTables& IEYCbCrTables() {
  static const TIEYCbCrTables tables = [] {
    TIEYCbCrTables t{};
    // Single precision throughout, as the coefficients are defined.
    const float kr = 0.299f, kg = 0.587f, kb = 0.114f;
    const float crR = 2 - 2 * kr, cbB = 2 - 2 * kb;
    const float crG = kr * crR / kg, cbG = kb * cbB / kg;
    for (int i = 0; i < 256; ++i) {
      const float d = static_cast<float>(i - 128);
      t.CrToRed[i] = static_cast<int32_t>(Round(crR * d));
      t.CbToBlue[i] = static_cast<int32_t>(Round(cbB * d));
      t.CrToGreen[i] = -static_cast<int32_t>(Round(crG * d));
      t.CbToGreen[i] = -static_cast<int32_t>(Round(cbG * d));
    }
    return t;
  }();
  return tables;
}

void IEReadJPEG2000(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                    bool Preview) {
  try {
    if (!Stream || (!Bitmap && !Preview)) {
      Progress.Abort();
      return;
    }
    ReadJPEG2000(Stream, Bitmap, Params, Progress, Preview);
  } catch (...) {
    Progress.Abort();
  }
}

void IEWriteJPEG2000(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                     TIEJ2000Format Format) {
  try {
    WriteJPEG2000(Stream, Bitmap, Params, Progress, Format);
  } catch (...) {
    Progress.Abort();
  }
}

void IEJPEG2000ReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                           bool Preview) {
  IEReadJPEG2000(Stream, Bitmap, Params, Progress, Preview);
}
void IEJP2WriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  IEWriteJPEG2000(Stream, Bitmap, Params, Progress, iej2kJP2);
}
void IEJ2KWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  IEWriteJPEG2000(Stream, Bitmap, Params, Progress, iej2kCodeStream);
}

void IEStartupJPEG2000() { IEYCbCrTables(); }
void IEShutdownJPEG2000() {}

namespace {
const TIEStartupRegistrar jpeg2000Startup(iessJPEG2000, "IEStartupJPEG2000", IEStartupJPEG2000, IEShutdownJPEG2000);
}  // namespace
