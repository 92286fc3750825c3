#include "imaging/core/color/ieicc.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/color/iecolorformat.h"
#include "platform/base/strutils.h"

TIEConvertColorFormatProc IEColorConversionHook = &IEConvertColorFormat;
bool IEEnableCMS = false;
bool IEUseCMYKProfile = true;

namespace {

// Pixels go to the engine as 16-bit channels in 8-byte records (four words,
// the unused ones skipped), a chunk at a time so that no row allocates.
constexpr Integer kChunk = 256;
constexpr Byte kRecordWords = 4;

constexpr uint32_t Sig(char a, char b, char c, char d) {
  return uint32_t(Byte(a)) << 24 | uint32_t(Byte(b)) << 16 | uint32_t(Byte(c)) << 8 | uint32_t(Byte(d));
}

inline uint32_t BE32(const Byte* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// The engine format of an input layout; false for codes outside 0..8.
bool InputFormat(Integer Layout, TCEFormat& F) {
  switch (Layout) {
    case 0: case 1: case 6: case 7: F = {cecsRGB, 3, 1, 2, false}; return true;
    case 2: case 3: F = {cecsCMYK, 4, 0, 2, false}; return true;
    case 4: F = {cecsLab, 3, 1, 2, false}; return true;
    case 5: F = {cecsGray, 1, 3, 2, false}; return true;
    case 8: F = {cecsAny, 3, 1, 2, false}; return true;
    default: return false;
  }
}

// Only BGR and stored CMYK are written.
bool OutputFormat(Integer Layout, TCEFormat& F) {
  switch (Layout) {
    case 1: F = {cecsRGB, 3, 1, 2, false}; return true;
    case 2: F = {cecsCMYK, 4, 0, 2, false}; return true;
    default: return false;
  }
}

bool SameFormat(const TCEFormat& A, const TCEFormat& B) {
  return A.Space == B.Space && A.Channels == B.Channels && A.Extra == B.Extra &&
         A.BytesPerChannel == B.BytesPerChannel && A.Reversed == B.Reversed;
}

Integer InputPixelSize(Integer Layout) {
  switch (Layout) {
    case 2: return 4;
    case 3: case 6: case 7: return 6;
    case 5: return 1;
    default: return 3;
  }
}

// Bytes to 16-bit channels: x257 maps 0..255 onto 0..65535 exactly.
void PackInput(Integer Layout, const Byte* s, Word* w, Integer n) {
  switch (Layout) {
    case 0:
    case 8:
      for (Integer i = 0; i < n; ++i, s += 3, w += kRecordWords) {
        w[0] = Word(s[0] * 257);
        w[1] = Word(s[1] * 257);
        w[2] = Word(s[2] * 257);
      }
      return;
    case 1:
      for (Integer i = 0; i < n; ++i, s += 3, w += kRecordWords) {
        w[0] = Word(s[2] * 257);
        w[1] = Word(s[1] * 257);
        w[2] = Word(s[0] * 257);
      }
      return;
    case 2:
      for (Integer i = 0; i < n; ++i, s += 4, w += kRecordWords)
        for (int k = 0; k < 4; ++k) w[k] = Word((255 - s[k]) * 257);
      return;
    case 3:
      for (Integer i = 0; i < n; ++i, s += 6, w += kRecordWords)
        for (int k = 0; k < 4; ++k) w[k] = Word(s[k] * 257);
      return;
    case 4:
      // a* and b* are signed bytes; the engine's words put 0 at 0x8080, so
      // the byte is offset by 128 (its top bit flipped) before widening.
      for (Integer i = 0; i < n; ++i, s += 3, w += kRecordWords) {
        w[0] = Word(s[0] * 257);
        w[1] = Word((s[1] ^ 0x80) * 257);
        w[2] = Word((s[2] ^ 0x80) * 257);
      }
      return;
    case 5:
      for (Integer i = 0; i < n; ++i, ++s, w += kRecordWords) w[0] = Word(s[0] * 257);
      return;
    case 6:
      for (Integer i = 0; i < n; ++i, s += 6, w += kRecordWords)
        for (int k = 0; k < 3; ++k) w[k] = Word(s[2 * k] | s[2 * k + 1] << 8);
      return;
    case 7:
      for (Integer i = 0; i < n; ++i, s += 6, w += kRecordWords)
        for (int k = 0; k < 3; ++k) w[k] = Word(s[2 * k] << 8 | s[2 * k + 1]);
      return;
    default:
      return;
  }
}

void UnpackOutput(Integer Layout, const Word* w, Byte* d, Integer n) {
  if (Layout == 1) {
    for (Integer i = 0; i < n; ++i, w += kRecordWords, d += 3) {
      d[0] = Byte(w[2] >> 8);
      d[1] = Byte(w[1] >> 8);
      d[2] = Byte(w[0] >> 8);
    }
  } else {
    for (Integer i = 0; i < n; ++i, w += kRecordWords, d += 4)
      for (int k = 0; k < 4; ++k) d[k] = Byte(255 - (w[k] >> 8));
  }
}

// Text of a "cprt" or "desc" tag: the ICC text type (text at 8), the
// text-description type (ASCII at 12) or the multi-localised type of newer
// profiles (the English record, else the first); tags of other types are
// read as the text the tag name implies. The text ends at its first 0 and
// never beyond the tag.
AnsiString TagText(const Byte* Tag, int64_t Size, bool Description) {
  const uint32_t type = Size >= 4 ? BE32(Tag) : 0;
  if (type == Sig('m', 'l', 'u', 'c')) {
    if (Size < 16) return {};
    const uint32_t count = BE32(Tag + 8), recLen = BE32(Tag + 12);
    if (recLen < 12) return {};
    int64_t chosenOff = -1, chosenLen = 0;
    for (uint32_t i = 0; i < count; ++i) {
      const int64_t rec = 16 + int64_t(i) * recLen;
      if (rec + recLen > Size) break;
      const int64_t len = BE32(Tag + rec + 4), off = BE32(Tag + rec + 8);
      if (off + len > Size) break;
      const bool english = std::memcmp(Tag + rec, "enUS", 4) == 0;
      if (english || chosenOff < 0) {
        chosenOff = off;
        chosenLen = len;
      }
      if (english) break;
    }
    if (chosenOff < 0) return {};
    WideString w;
    for (int64_t k = 0; k + 1 < chosenLen; k += 2) {
      char16_t c = char16_t(Tag[chosenOff + k] << 8 | Tag[chosenOff + k + 1]);
      if (c == 0) break;
      w.push_back(c);
    }
    return WideToAnsi(w);
  }
  int64_t start = Description ? 12 : 8;
  if (type == Sig('t', 'e', 'x', 't')) start = 8;
  if (type == Sig('d', 'e', 's', 'c')) start = 12;
  AnsiString s;
  for (int64_t k = start; k < Size && Tag[k] != 0; ++k) s.push_back(char(Tag[k]));
  return s;
}

struct TGlobalProfiles {
  std::once_flag Once;
  TIEICC* CMYK = nullptr;  // never freed: codec threads may use them up to the process's end
  TIEICC* SRGB = nullptr;
  bool Valid = false;
  // CMYK to BGR for drawing, built on first use (never freed, as above).
  std::once_flag DisplayOnce;
  HCETRANSFORM Display = nullptr;
};

TGlobalProfiles& Globals() {
  static TGlobalProfiles* g = new TGlobalProfiles;
  return *g;
}

}  // namespace

// Runs transforms of the global profiles, whose objects are const to all
// other code.
struct TIEICCAccess {
  static bool Run(const TIEICC* P, Integer InputLayout, Integer OutputLayout, const void* Source, void* Target,
                  Integer Count) {
    return P && P->Run(InputLayout, OutputLayout, Source, Target, Count);
  }
  static HCEPROFILE Profile(const TIEICC* P) { return P ? P->FProfile : nullptr; }
};

// ---------------------------------------------------------------------------
// TIEICC

TIEICC::~TIEICC() { Clear(); }

void TIEICC::Clear() {
  FreeProfile();
  FRaw.reset();
  FRawLength = 0;
  FApplied = false;
  FCopyright.clear();
  FDescription.clear();
}

void TIEICC::LoadFromBuffer(const void* Data, Integer Size) {
  Clear();
  if (!Data || Size <= 0) return;
  FRaw = std::make_unique<Byte[]>(size_t(Size));
  std::memcpy(FRaw.get(), Data, size_t(Size));
  FRawLength = Size;
  OpenProfile();
}

void TIEICC::Assign(const TIEICC* Source) {
  if (Source == this) return;
  Clear();
  if (Source && Source->FRaw) LoadFromBuffer(Source->FRaw.get(), Source->FRawLength);
}

void TIEICC::LoadSRGB() {
  Clear();
  FProfile = CECreateSRGBProfile();
}

void TIEICC::SaveToStream(TStream* Stream, bool RawOnly) const {
  if (!Stream) return;
  if (!RawOnly) {
    const uint32_t n = uint32_t(FRawLength);
    const Byte le[4] = {Byte(n), Byte(n >> 8), Byte(n >> 16), Byte(n >> 24)};
    Stream->WriteBuffer(le, 4);
  }
  if (FRawLength > 0) Stream->WriteBuffer(FRaw.get(), FRawLength);
}

void TIEICC::OpenProfile() {
  if (FRaw) FProfile = CEOpenProfileFromMemory(FRaw.get(), size_t(FRawLength));
  ReadProfileInfo();
}

void TIEICC::FreeProfile() {
  DropTransform();
  CECloseProfile(FProfile);
  FProfile = nullptr;
}

void TIEICC::DropTransform() {
  CEDeleteTransform(FTransform);
  FTransform = nullptr;
}

void TIEICC::FreeTransform() {
  DropTransform();
  FApplied = true;
}

// The header is 128 bytes, then a big-endian tag count and 12-byte entries
// (signature, offset, size). Every entry and its data are checked against
// the profile's length before use: the bytes come from picture files.
void TIEICC::ReadProfileInfo() {
  FCopyright.clear();
  FDescription.clear();
  const Byte* p = FRaw.get();
  const int64_t len = FRawLength;
  if (!p || len < 132) return;
  const int64_t count = int32_t(BE32(p + 128));
  if (count < 0 || count > 1000) return;
  for (int64_t i = 0; i < count; ++i) {
    const int64_t entry = 132 + 12 * i;
    if (entry + 12 > len) break;
    const int64_t off = int32_t(BE32(p + entry + 4)), size = int32_t(BE32(p + entry + 8));
    if (off < 0 || size < 0 || off + size > len) break;
    const uint32_t sig = BE32(p + entry);
    if (sig == Sig('c', 'p', 'r', 't') && size <= 999) {
      FCopyright = TagText(p + off, size, false);
    } else if (sig == Sig('d', 'e', 's', 'c') && size < 1000) {
      FDescription = TagText(p + off, size, true);
    }
  }
  if (FCopyright.size() >= 1000) FCopyright.clear();
  if (FDescription.size() >= 1000) FDescription.clear();
}

bool TIEICC::Run(Integer InputLayout, Integer OutputLayout, const void* Source, void* Target, Integer Count) const {
  TCEFormat in, out, builtIn, builtOut;
  if (!FTransform || !InputFormat(InputLayout, in) || !OutputFormat(OutputLayout, out)) return false;
  // Layouts that feed the engine the same records share a transform (stored
  // CMYK and ink amounts; the RGB byte and word orders).
  InputFormat(FInputLayout, builtIn);
  OutputFormat(FOutputLayout, builtOut);
  if (!SameFormat(in, builtIn) || !SameFormat(out, builtOut)) return false;
  if (Count < 0 || (Count > 0 && (!Source || !Target))) return false;
  Word inWords[kChunk * kRecordWords];  // the skipped words are never read
  Word outWords[kChunk * kRecordWords];
  const Integer inSize = InputPixelSize(InputLayout), outSize = OutputLayout == 1 ? 3 : 4;
  const auto* s = static_cast<const Byte*>(Source);
  auto* d = static_cast<Byte*>(Target);
  for (Integer done = 0; done < Count;) {
    const Integer n = Count - done < kChunk ? Count - done : kChunk;
    PackInput(InputLayout, s, inWords, n);
    CETranslate(FTransform, inWords, outWords, size_t(n));
    UnpackOutput(OutputLayout, outWords, d, n);
    s += int64_t(n) * inSize;
    d += int64_t(n) * outSize;
    done += n;
  }
  return true;
}

bool TIEICC::Transform(const TIEICC* Dest, Integer InputLayout, Integer OutputLayout, Integer Intent, Integer Flags,
                       const void* Source, void* Target, Integer Count) {
  TCEFormat in, out;
  if (!Dest || !InputFormat(InputLayout, in) || !OutputFormat(OutputLayout, out)) return false;
  if (Count < 0 || (Count > 0 && (!Source || !Target))) return false;
  if (!FTransform || FInputLayout != InputLayout || FOutputLayout != OutputLayout || FIntent != Intent ||
      FFlags != Flags) {
    if (FTransform) FreeTransform();
    // Perceptual, without black point compensation, evaluated exactly (the
    // colour service's best mode).
    if (FProfile && Dest->FProfile)
      FTransform = CECreateTransform(FProfile, in, Dest->FProfile, out, ceiPerceptual, cetfExact);
    if (!FTransform) return false;
    FInputLayout = InputLayout;
    FOutputLayout = OutputLayout;
    FIntent = Intent;
    FFlags = Flags;
  }
  return Run(InputLayout, OutputLayout, Source, Target, Count);
}

bool TIEICC::ConvertBitmap(TIEBitmap* Bitmap, TIEPixelFormat TargetFormat, const TIEICC* Dest) {
  auto layoutOf = [](TIEPixelFormat F) -> Integer {
    switch (F) {
      case ie8g: return 5;
      case ie24RGB: return 1;
      case ieCMYK: return 2;
      case ieRGB48: return 6;
      case ieCIELab: return 4;
      default: return -1;
    }
  };
  if (!Bitmap || !Dest || !IsValid() || !Dest->IsValid()) return false;
  const Integer inLayout = layoutOf(Bitmap->PixelFormat()), outLayout = layoutOf(TargetFormat);
  TCEFormat unused;
  if (inLayout < 0 || !OutputFormat(outLayout, unused)) return false;
  const Integer w = Bitmap->Width(), h = Bitmap->Height();
  TIEBitmap converted;
  if (!converted.Allocate(w, h, TargetFormat)) return false;
  const TIEBitmapAccess oldAccess = Bitmap->Access();
  Bitmap->SetAccess(ieaRead);
  converted.SetAccess(ieaWrite);
  bool ok = true;
  for (Integer y = 0; y < h && ok; ++y)
    ok = Transform(Dest, inLayout, outLayout, 0, 0, Bitmap->GetScanline(y), converted.GetScanline(y), w);
  Bitmap->SetAccess(oldAccess);
  if (!ok) {
    // Nothing reached the picture, so the profile does not count as applied.
    DropTransform();
    return false;
  }
  FreeTransform();
  converted.SetAccess(ieaRead | ieaWrite);
  Bitmap->AssignImage(&converted);
  return true;
}

void IEDeleteICC(TIEICC* ICC) { delete ICC; }

// ---------------------------------------------------------------------------
// Global profiles

bool IELoadMSCMS() { return true; }

bool IEInitCMYKProfiles() {
  TGlobalProfiles& g = Globals();
  std::call_once(g.Once, [&g] {
    std::vector<Byte> data;
    if (!CEReadSystemCMYKProfile(data)) return;
    auto* cmyk = new TIEICC;
    cmyk->LoadFromBuffer(data.data(), Integer(data.size()));
    g.CMYK = cmyk;
    if (!cmyk->IsValid()) return;
    auto* srgb = new TIEICC;
    srgb->LoadSRGB();
    g.SRGB = srgb;
    // One black pixel each way builds the two transforms, which nothing
    // changes afterwards.
    const Byte blackCMYK[4] = {255, 255, 255, 0};
    const Byte blackBGR[3] = {0, 0, 0};
    Byte outBGR[3], outCMYK[4];
    cmyk->Transform(srgb, 2, 1, 0, 0, blackCMYK, outBGR, 1);
    srgb->Transform(cmyk, 1, 2, 0, 0, blackBGR, outCMYK, 1);
    g.Valid = true;
  });
  return g.Valid;
}

const TIEICC* IECMYKProfile() {
  IEInitCMYKProfiles();
  return Globals().CMYK;
}

const TIEICC* IESRGBProfile() {
  IEInitCMYKProfiles();
  return Globals().SRGB;
}

bool IEProfileCMYKToRGB(const void* Source, Integer SourceLayout, TRGB* Target, Integer Count) {
  if (!IEUseCMYKProfile || (SourceLayout != 2 && SourceLayout != 3)) return false;
  if (!IEInitCMYKProfiles()) return false;
  return TIEICCAccess::Run(Globals().CMYK, SourceLayout, 1, Source, Target, Count);
}

void IEDisplayCMYKToRGB(const TCMYK* Source, TRGB* Target, Integer Count) {
  if (!Source || !Target || Count <= 0) return;
  if (IEUseCMYKProfile && IEInitCMYKProfiles()) {
    TGlobalProfiles& g = Globals();
    std::call_once(g.DisplayOnce, [&g] {
      // Ink bytes in; words out, cut to bytes as the exact conversion cuts them.
      const TCEFormat in{cecsCMYK, 4, 0, 1, false}, out{cecsRGB, 3, 1, 2, false};
      g.Display = CECreateTransform(TIEICCAccess::Profile(g.CMYK), in, TIEICCAccess::Profile(g.SRGB), out,
                                    ceiPerceptual, cetfDisplay);
    });
    if (g.Display) {
      Byte ink[kChunk * 4];
      Word outWords[kChunk * kRecordWords];
      const auto* s = reinterpret_cast<const Byte*>(Source);
      auto* d = reinterpret_cast<Byte*>(Target);
      for (Integer done = 0; done < Count;) {
        const Integer n = Count - done < kChunk ? Count - done : kChunk;
        for (Integer i = 0; i < n * 4; ++i) ink[i] = Byte(255 - s[i]);
        CETranslate(g.Display, ink, outWords, size_t(n));
        UnpackOutput(iecfBGR, outWords, d, n);
        s += int64_t(n) * 4;
        d += int64_t(n) * 3;
        done += n;
      }
      return;
    }
  }
  IEConvertColorFormat(Source, iecfCMYK, Target, iecfBGR, Count, nullptr);
}

bool IEProfileRGBToCMYK(const TRGB* Source, TCMYK* Target, Integer Count) {
  if (!IEUseCMYKProfile || !IEInitCMYKProfiles()) return false;
  return TIEICCAccess::Run(Globals().SRGB, 1, 2, Source, Target, Count);
}

bool IEConvertColorFormatCMS(const void* Source, Integer SourceLayout, void* Target, Integer TargetLayout,
                             Integer Count, TIEColorProfiles* Params) {
  if (!Source || !Target || Count <= 0) return false;
  if (IEEnableCMS && Params) {
    TIEICC* own = Params->INPUTICCPROFILE.get();
    TIEICC* fallback = Params->DEFAULTICCPROFILE.get();
    TIEICC* source = (!fallback || (own && own->IsValid())) ? own : fallback;
    if (source && source->IsValid() && !source->Applied()) {
      if (!Params->OUTPUTICCPROFILE) {
        Params->OUTPUTICCPROFILE = TIEICCPtr(new TIEICC, TIEICCDeleter{&IEDeleteICC});
        Params->OUTPUTICCPROFILE->LoadSRGB();
      }
      const TIEICC* output = Params->OUTPUTICCPROFILE.get();
      if (output->IsValid() &&
          source->Transform(output, SourceLayout, TargetLayout, 0, 0, Source, Target, Count))
        return true;
    }
  }
  if (TargetLayout == 1 && (SourceLayout == 2 || SourceLayout == 3))
    return IEProfileCMYKToRGB(Source, SourceLayout, static_cast<TRGB*>(Target), Count);
  if (SourceLayout == 1 && TargetLayout == 2)
    return IEProfileRGBToCMYK(static_cast<const TRGB*>(Source), static_cast<TCMYK*>(Target), Count);
  return false;
}
