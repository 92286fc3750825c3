// ICC colour profiles of pictures (TIEICC), the two global profiles through
// which CMYK and RGB convert (a CMYK press profile and sRGB), and the
// colour-management side of the codecs' row conversion.
#pragma once

#include <memory>

#include "imaging/core/base/iedefs.h"
#include "imaging/core/base/ieutils.h"
#include "platform/base/classes.h"
#include "platform/devices/colorengine.h"

class TIEBitmap;

// An ICC profile: its bytes, the engine's profile opened from them, and the
// transform to another profile built on demand by Transform. Not shared
// between threads while it changes.
class TIEICC : public TObject {
 public:
  TIEICC() = default;
  ~TIEICC() override;
  TIEICC(const TIEICC&) = delete;
  TIEICC& operator=(const TIEICC&) = delete;

  // Frees profile, transform and bytes; Applied becomes false.
  void Clear();
  // Clear, then a copy of Size bytes opened as the profile. Texts are read
  // from the bytes even when the engine rejects them.
  void LoadFromBuffer(const void* Data, Integer Size);
  // Clear, then a copy of Source's bytes (a profile opened by LoadSRGB has
  // none, so its copy stays empty).
  void Assign(const TIEICC* Source);
  // Clear, then the engine's sRGB profile, without bytes.
  void LoadSRGB();
  // RawLength as a little-endian int32 unless RawOnly, then the bytes.
  void SaveToStream(TStream* Stream, bool RawOnly) const;

  bool IsValid() const { return FProfile != nullptr; }
  bool HasTransform() const { return FTransform != nullptr; }
  // Deletes the transform, if any, and marks the profile as applied: the
  // pixels now carry the conversion, so the row conversion must not apply it
  // again.
  void FreeTransform();

  // Converts Count pixels from InputLayout (colour layout codes 0..8) into
  // OutputLayout, from this profile to Dest's. The transform is built on
  // first use and kept while the layouts, Intent and Flags stay the same
  // (other values free it first, which marks the profile applied); Intent
  // and Flags only key it: the conversion is always perceptual. Only the BGR
  // (1) and stored CMYK (2) outputs exist: any other OutputLayout, an unknown
  // InputLayout or profiles that do not suit the layouts give false and
  // leave Target untouched. Source is only read; it may be Target when the
  // pixel sizes agree.
  bool Transform(const TIEICC* Dest, Integer InputLayout, Integer OutputLayout, Integer Intent, Integer Flags,
                 const void* Source, void* Target, Integer Count);
  // Converts Bitmap in place from this profile to Dest's into TargetFormat
  // (ie24RGB or ieCMYK) from ie8g, ie24RGB, ieCMYK, ieRGB48 or ieCIELab; the
  // alpha channel stays. Then frees the transform (Applied). Any other
  // format, an invalid profile or a failed row gives false with the bitmap
  // and Applied unchanged.
  bool ConvertBitmap(TIEBitmap* Bitmap, TIEPixelFormat TargetFormat, const TIEICC* Dest);

  const Byte* Raw() const { return FRaw.get(); }
  Integer RawLength() const { return FRawLength; }
  bool Applied() const { return FApplied; }
  // The profile's "cprt" and "desc" texts (English where several languages
  // are stored), in the 8-bit code page; empty when absent or 1000
  // characters or longer.
  const AnsiString& Copyright() const { return FCopyright; }
  const AnsiString& Description() const { return FDescription; }

 private:
  friend struct TIEICCAccess;
  void OpenProfile();
  void FreeProfile();
  void ReadProfileInfo();
  void DropTransform();
  // Runs the existing transform when it was built for these layouts; never
  // changes the profile, so the global profiles can run it from any thread.
  bool Run(Integer InputLayout, Integer OutputLayout, const void* Source, void* Target, Integer Count) const;

  std::unique_ptr<Byte[]> FRaw;
  Integer FRawLength = 0;
  HCEPROFILE FProfile = nullptr;
  bool FApplied = false;
  HCETRANSFORM FTransform = nullptr;
  Integer FInputLayout = 0, FOutputLayout = 0, FIntent = 0, FFlags = 0;
  AnsiString FCopyright, FDescription;
};

// Frees a profile held through a pointer to the incomplete type (the
// parameter record's profile fields).
void IEDeleteICC(TIEICC* ICC);

// Colour profiles are held through the profile module's own delete routine,
// so that every way of filling a field (including reset(new TIEICC)) frees
// the profile the same way.
struct TIEICCDeleter {
  void (*Free)(TIEICC*) = &IEDeleteICC;
  void operator()(TIEICC* P) const {
    if (Free)
      Free(P);
    else
      IEDeleteICC(P);
  }
};
using TIEICCPtr = std::unique_ptr<TIEICC, TIEICCDeleter>;

// The three profiles of a picture's parameter record: what colour management
// needs of the record, so that the conversions here do not depend on the I/O
// layer that owns the record.
struct TIEColorProfiles {
  TIEICCPtr INPUTICCPROFILE;    // the picture's own profile, filled by readers
  TIEICCPtr OUTPUTICCPROFILE;   // destination of colour conversions
  TIEICCPtr DEFAULTICCPROFILE;  // source for pictures without a valid profile of their own
};

// The row conversion of the codecs: IEConvertColorFormat at start-up.
using TIEConvertColorFormatProc = void (*)(const void* Source, Integer SourceLayout, void* Target,
                                           Integer TargetLayout, Integer Count, TIEColorProfiles* Params);
extern TIEConvertColorFormatProc IEColorConversionHook;
// Colour management through the pictures' own profiles; off at start-up.
extern bool IEEnableCMS;
// CMYK and RGB convert through the global profiles; on at start-up.
extern bool IEUseCMYKProfile;

// The colour engine is linked in, so it is always there.
bool IELoadMSCMS();
// Opens the global profiles and builds their two transforms, once per
// process (safe to call from any thread). False, now and on every later
// call, when the system has no usable CMYK profile: the formulas serve then.
bool IEInitCMYKProfiles();
// The global profiles after IEInitCMYKProfiles (which they call); nullptr
// when there are none. They never change once made.
const TIEICC* IECMYKProfile();
const TIEICC* IESRGBProfile();

// What colour management adds to IEConvertColorFormat. With IEEnableCMS and
// Params: the picture's own profile (or the default profile when its own is
// missing or invalid), if valid and not yet applied, converts into Params'
// output profile (made with sRGB on first use). Otherwise, with
// IEUseCMYKProfile, CMYK (layouts 2 and 3) to BGR and BGR to CMYK go through
// the global profiles. True when Target was written; false leaves the pixels
// to the formulas.
bool IEConvertColorFormatCMS(const void* Source, Integer SourceLayout, void* Target, Integer TargetLayout,
                             Integer Count, TIEColorProfiles* Params);
// Count pixels of CMYK in SourceLayout (2, or 3 with its 6-byte step) to BGR
// through the global profiles; false, with Target untouched, when
// IEUseCMYKProfile is off or there are no profiles.
bool IEProfileCMYKToRGB(const void* Source, Integer SourceLayout, TRGB* Target, Integer Count);
// Count stored CMYK pixels to BGR for drawing on screen. With
// IEUseCMYKProfile and the global profiles: through a precalculated display
// transform made on first use, several times faster than IEProfileCMYKToRGB
// and within 2 levels of it per channel. Otherwise as IEConvertColorFormat
// converts them (the formulas). Pixel conversions of pictures never use it.
void IEDisplayCMYKToRGB(const TCMYK* Source, TRGB* Target, Integer Count);
// Count BGR pixels to stored CMYK through the global profiles; false as above.
bool IEProfileRGBToCMYK(const TRGB* Source, TCMYK* Target, Integer Count);
