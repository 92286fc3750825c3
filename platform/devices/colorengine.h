// The colour engine behind ICC profiles: opens profiles, builds a transform
// from one profile to another and runs it over pixel buffers. A transform is
// immutable once built (no colour cache inside), so one transform may run on
// several threads at once; profiles and transforms themselves are not shared
// between threads while they are being created or closed.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/base/types.h"

struct TCEProfileRec;
struct TCETransformRec;
using HCEPROFILE = TCEProfileRec*;
using HCETRANSFORM = TCETransformRec*;

// Colour space of a profile's device side, or of a pixel format.
enum TCEColorSpace : Byte {
  cecsUnknown = 0,
  cecsRGB = 1,
  cecsCMYK = 2,
  cecsLab = 3,
  cecsGray = 4,
  // Pixel formats only: whatever colour space the profile has, taken as
  // plain channels (the generic three-channel colour of some pictures).
  cecsAny = 5,
};

// Layout of one pixel in a buffer given to CETranslate.
struct TCEFormat {
  TCEColorSpace Space = cecsRGB;
  Byte Channels = 3;         // colour channels of a pixel
  Byte Extra = 0;            // channels after them that the engine skips and leaves alone
  Byte BytesPerChannel = 1;  // 1, or 2 for words in the machine's byte order
  bool Reversed = false;     // channels stored last first (B, G, R)
};

// Lab words (16-bit formats) put L 0..100 on 0..65535 and a*, b* -128..127 on
// 0..65535 with 0 at 0x8080; Lab bytes put a*, b* 0 at 128.

enum TCEIntent : Byte {
  ceiPerceptual = 0,
  ceiRelativeColorimetric = 1,
  ceiSaturation = 2,
  ceiAbsoluteColorimetric = 3,
};

// Flags of CECreateTransform.
enum : Cardinal {
  // Evaluates the profiles' own tables for every pixel instead of a table
  // precalculated from them: several times slower, but a precalculated
  // table of a four-channel profile can put colours many levels off.
  cetfExact = 1,
  // For drawing on screen: a CMYK input profile into an RGB matrix-shaper
  // output gets a table sampled from the exact transform in linear light
  // (about 6 MB, built in about a tenth of a second of processor time),
  // several times faster than cetfExact and within 2 levels of it per 8-bit
  // channel. Other pairs get the engine's precalculated table on its finest
  // grid. cetfExact wins when both are given.
  cetfDisplay = 2,
};

enum TCEProfileInfo : Byte { cepiDescription = 0, cepiManufacturer = 1, cepiModel = 2, cepiCopyright = 3 };

// A profile from an ICC profile in memory (the bytes are copied); nullptr
// when the engine rejects the data.
HCEPROFILE CEOpenProfileFromMemory(const void* Data, size_t Size);
// The engine's own sRGB profile and a D50 CIELab profile.
HCEPROFILE CECreateSRGBProfile();
HCEPROFILE CECreateLabProfile();
void CECloseProfile(HCEPROFILE Profile);  // nullptr is ignored

TCEColorSpace CEProfileColorSpace(HCEPROFILE Profile);
// The profile's text in English where it has several languages; empty when
// the profile has none.
AnsiString CEProfileText(HCEPROFILE Profile, TCEProfileInfo Info);
// Reads the system's CMYK output profile. The variable GT_CMYK_PROFILE, when
// set, names the only file tried (empty: none); otherwise the press profiles
// that the PostScript interpreter installs under each of $XDG_DATA_DIRS
// (/usr/local/share and /usr/share by default) in color/icc/ghostscript. The
// first readable file of at most 16 MB whose profile is CMYK wins; false
// when there is none.
bool CEReadSystemCMYKProfile(std::vector<Byte>& Data);
// Serialises the profile as an ICC profile; false when that fails.
bool CESaveProfileToMemory(HCEPROFILE Profile, std::vector<Byte>& Data);

// nullptr when the formats do not suit the profiles' colour spaces or the
// profiles cannot be combined. The profiles may be closed afterwards.
HCETRANSFORM CECreateTransform(HCEPROFILE Input, const TCEFormat& InputFormat, HCEPROFILE Output,
                               const TCEFormat& OutputFormat, TCEIntent Intent, Cardinal Flags);
void CEDeleteTransform(HCETRANSFORM Transform);  // nullptr is ignored
// Converts Count pixels from Source to Target; they may be the same buffer
// when both formats have the same pixel size.
void CETranslate(HCETRANSFORM Transform, const void* Source, void* Target, size_t Count);
