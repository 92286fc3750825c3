// The colour engine over LittleCMS 2. Every transform is built without the
// engine's one-pixel cache, so that running a transform only ever reads it:
// several decoding threads share the global ones. The display table
// (colorengine_display.cpp) is only read once built, too.
#include "platform/devices/colorengine.h"

#include <lcms2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "platform/devices/private/colorengine_display.h"

struct TCEProfileRec {
  cmsHPROFILE Handle;
};
struct TCETransformRec {
  cmsHTRANSFORM Handle = nullptr;  // nullptr when Display does the work
  std::unique_ptr<TCEDisplayTable> Display;
  TCEFormat InputFormat, OutputFormat;
  size_t InputPixelSize = 0, OutputPixelSize = 0;
};

namespace {

HCEPROFILE Wrap(cmsHPROFILE H) {
  if (!H) return nullptr;
  return new TCEProfileRec{H};
}

// Engine pixel type of a format, or -1 when the format cannot be expressed.
int64_t EngineFormat(const TCEFormat& F) {
  int pt;
  Byte expected;
  switch (F.Space) {
    case cecsRGB: pt = PT_RGB; expected = 3; break;
    case cecsCMYK: pt = PT_CMYK; expected = 4; break;
    case cecsLab: pt = PT_Lab; expected = 3; break;
    case cecsGray: pt = PT_GRAY; expected = 1; break;
    case cecsAny: pt = PT_ANY; expected = F.Channels; break;
    default: return -1;
  }
  if (F.Channels != expected || F.Channels < 1 || F.Channels > 15 || F.Extra > 7) return -1;
  if (F.BytesPerChannel != 1 && F.BytesPerChannel != 2) return -1;
  cmsUInt32Number fmt = COLORSPACE_SH(pt) | CHANNELS_SH(F.Channels) | BYTES_SH(F.BytesPerChannel) | EXTRA_SH(F.Extra);
  // Reversed colour channels keep the extra channels behind them.
  if (F.Reversed) fmt |= DOSWAP_SH(1) | (F.Extra ? SWAPFIRST_SH(1) : 0);
  return fmt;
}

size_t PixelSize(const TCEFormat& F) { return size_t(F.BytesPerChannel) * (F.Channels + F.Extra); }

TCEColorSpace FromSignature(cmsColorSpaceSignature S) {
  switch (S) {
    case cmsSigRgbData: return cecsRGB;
    case cmsSigCmykData: return cecsCMYK;
    case cmsSigLabData: return cecsLab;
    case cmsSigGrayData: return cecsGray;
    default: return cecsUnknown;
  }
}

}  // namespace

HCEPROFILE CEOpenProfileFromMemory(const void* Data, size_t Size) {
  if (!Data || Size == 0 || Size > std::numeric_limits<cmsUInt32Number>::max()) return nullptr;
  return Wrap(cmsOpenProfileFromMem(Data, static_cast<cmsUInt32Number>(Size)));
}

HCEPROFILE CECreateSRGBProfile() { return Wrap(cmsCreate_sRGBProfile()); }

HCEPROFILE CECreateLabProfile() { return Wrap(cmsCreateLab4Profile(nullptr)); }

void CECloseProfile(HCEPROFILE Profile) {
  if (!Profile) return;
  cmsCloseProfile(Profile->Handle);
  delete Profile;
}

TCEColorSpace CEProfileColorSpace(HCEPROFILE Profile) {
  return Profile ? FromSignature(cmsGetColorSpace(Profile->Handle)) : cecsUnknown;
}

namespace {

// The engine sizes a multi-localised text by the record count it declares,
// not by the tag's length: a few bytes of a hostile profile would make it
// allocate hundreds of megabytes. Such tags are refused here.
bool TextTagIsSane(cmsHPROFILE H, cmsTagSignature Sig) {
  Byte head[16];
  const cmsUInt32Number size = cmsReadRawTag(H, Sig, nullptr, 0);
  if (size < 8) return false;
  if (cmsReadRawTag(H, Sig, head, sizeof head) < 8) return false;
  if (std::memcmp(head, "mluc", 4) != 0) return true;
  if (size < 16) return false;
  const uint64_t count = uint64_t(head[8]) << 24 | uint32_t(head[9]) << 16 | uint32_t(head[10]) << 8 | head[11];
  return 16 + 12 * count <= size;
}

}  // namespace

AnsiString CEProfileText(HCEPROFILE Profile, TCEProfileInfo Info) {
  if (!Profile) return {};
  cmsInfoType type;
  cmsTagSignature sig;
  switch (Info) {
    case cepiDescription: type = cmsInfoDescription; sig = cmsSigProfileDescriptionTag; break;
    case cepiManufacturer: type = cmsInfoManufacturer; sig = cmsSigDeviceMfgDescTag; break;
    case cepiModel: type = cmsInfoModel; sig = cmsSigDeviceModelDescTag; break;
    case cepiCopyright: type = cmsInfoCopyright; sig = cmsSigCopyrightTag; break;
    default: return {};
  }
  if (!cmsIsTag(Profile->Handle, sig) || !TextTagIsSane(Profile->Handle, sig)) return {};
  cmsUInt32Number n = cmsGetProfileInfoASCII(Profile->Handle, type, "en", "US", nullptr, 0);
  if (n == 0) return {};
  AnsiString s(n, '\0');
  n = cmsGetProfileInfoASCII(Profile->Handle, type, "en", "US", s.data(), n);
  s.resize(n);
  // The engine counts the terminating 0 and may pad after it.
  if (auto z = s.find('\0'); z != AnsiString::npos) s.resize(z);
  return s;
}

namespace {

bool ReadSmallFile(const std::string& Path, std::vector<Byte>& Data) {
  constexpr long kMaxProfile = 16L << 20;
  Data.clear();
  FILE* f = std::fopen(Path.c_str(), "rb");
  if (!f) return false;
  bool ok = std::fseek(f, 0, SEEK_END) == 0;
  long size = ok ? std::ftell(f) : -1;
  ok = ok && size > 128 && size <= kMaxProfile && std::fseek(f, 0, SEEK_SET) == 0;
  if (ok) {
    Data.resize(static_cast<size_t>(size));
    ok = std::fread(Data.data(), 1, Data.size(), f) == Data.size();
  }
  std::fclose(f);
  if (!ok) Data.clear();
  return ok;
}

bool IsCMYKProfile(const std::vector<Byte>& Data) {
  HCEPROFILE p = CEOpenProfileFromMemory(Data.data(), Data.size());
  bool ok = CEProfileColorSpace(p) == cecsCMYK;
  CECloseProfile(p);
  return ok;
}

}  // namespace

bool CEReadSystemCMYKProfile(std::vector<Byte>& Data) {
  std::vector<std::string> candidates;
  if (const char* only = std::getenv("GT_CMYK_PROFILE")) {
    if (*only) candidates.emplace_back(only);
  } else {
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string list = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find(':', start);
      if (end == std::string::npos) end = list.size();
      std::string dir = list.substr(start, end - start);
      if (!dir.empty()) {
        // The SWOP press profile first; the smaller PostScript one otherwise.
        candidates.push_back(dir + "/color/icc/ghostscript/default_cmyk.icc");
        candidates.push_back(dir + "/color/icc/ghostscript/ps_cmyk.icc");
      }
      start = end + 1;
    }
  }
  for (const std::string& path : candidates)
    if (ReadSmallFile(path, Data) && IsCMYKProfile(Data)) return true;
  Data.clear();
  return false;
}

bool CESaveProfileToMemory(HCEPROFILE Profile, std::vector<Byte>& Data) {
  Data.clear();
  if (!Profile) return false;
  cmsUInt32Number n = 0;
  if (!cmsSaveProfileToMem(Profile->Handle, nullptr, &n) || n == 0) return false;
  Data.resize(n);
  if (!cmsSaveProfileToMem(Profile->Handle, Data.data(), &n)) {
    Data.clear();
    return false;
  }
  Data.resize(n);
  return true;
}

HCETRANSFORM CECreateTransform(HCEPROFILE Input, const TCEFormat& InputFormat, HCEPROFILE Output,
                               const TCEFormat& OutputFormat, TCEIntent Intent, Cardinal Flags) {
  if (!Input || !Output || Intent > ceiAbsoluteColorimetric) return nullptr;
  int64_t in = EngineFormat(InputFormat), out = EngineFormat(OutputFormat);
  if (in < 0 || out < 0) return nullptr;
  auto rec = std::make_unique<TCETransformRec>();
  rec->InputFormat = InputFormat;
  rec->OutputFormat = OutputFormat;
  rec->InputPixelSize = PixelSize(InputFormat);
  rec->OutputPixelSize = PixelSize(OutputFormat);
  cmsUInt32Number flags = cmsFLAGS_NOCACHE;
  if (Flags & cetfExact) {
    flags |= cmsFLAGS_NOOPTIMIZE;
  } else if (Flags & cetfDisplay) {
    if (InputFormat.Space == cecsCMYK && OutputFormat.Space == cecsRGB)
      rec->Display = TCEDisplayTable::Build(Input->Handle, Output->Handle, Intent);
    if (rec->Display) return rec.release();
    flags |= cmsFLAGS_HIGHRESPRECALC;
  }
  rec->Handle = cmsCreateTransform(Input->Handle, static_cast<cmsUInt32Number>(in), Output->Handle,
                                   static_cast<cmsUInt32Number>(out), Intent, flags);
  if (!rec->Handle) return nullptr;
  return rec.release();
}

void CEDeleteTransform(HCETRANSFORM Transform) {
  if (!Transform) return;
  if (Transform->Handle) cmsDeleteTransform(Transform->Handle);
  delete Transform;
}

void CETranslate(HCETRANSFORM Transform, const void* Source, void* Target, size_t Count) {
  if (!Transform || !Source || !Target) return;
  // The engine counts pixels in 32 bits.
  const size_t step = size_t(1) << 24;
  const size_t inSize = Transform->InputPixelSize, outSize = Transform->OutputPixelSize;
  auto* s = static_cast<const Byte*>(Source);
  auto* d = static_cast<Byte*>(Target);
  while (Count > 0) {
    size_t n = Count < step ? Count : step;
    if (Transform->Display)
      Transform->Display->Run(s, Transform->InputFormat, d, Transform->OutputFormat, n);
    else
      cmsDoTransform(Transform->Handle, s, d, static_cast<cmsUInt32Number>(n));
    s += n * inSize;
    d += n * outSize;
    Count -= n;
  }
}
