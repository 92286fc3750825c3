// ICC profiles from picture files (JPEG APP2 chunks, TIFF and PSD blocks):
// loading reads the texts inside the bytes, a copy and a save give the same
// bytes back, and a profile the engine accepts converts a few pixels.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imaging/core/color/ieicc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  TIEICC icc;
  icc.LoadFromBuffer(data, static_cast<Integer>(size));
  if (icc.RawLength() != static_cast<Integer>(size)) std::abort();
  if (icc.Description().size() >= 1000 || icc.Copyright().size() >= 1000) std::abort();

  TIEICC copy;
  copy.Assign(&icc);
  if (copy.IsValid() != icc.IsValid() || copy.Description() != icc.Description() ||
      copy.Copyright() != icc.Copyright())
    std::abort();
  TMemoryStream saved;
  icc.SaveToStream(&saved, true);
  if (saved.Size() != static_cast<int64_t>(size) || (size && std::memcmp(saved.Memory(), data, size) != 0))
    std::abort();

  if (!icc.IsValid()) return 0;
  HCEPROFILE p = CEOpenProfileFromMemory(data, size);
  for (TCEProfileInfo info : {cepiDescription, cepiManufacturer, cepiModel, cepiCopyright}) CEProfileText(p, info);
  CECloseProfile(p);

  // A handful of pixels through the profile into sRGB, in the layout that
  // suits its colour space; every other layout answers false.
  TIEICC srgb;
  srgb.LoadSRGB();
  const Byte pixels[4 * 6] = {0, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 255, 128, 64, 200, 10, 30, 250,
                              90, 180, 45, 255, 0, 128};
  Byte out[4 * 4];
  for (Integer layout : {1, 2, 4, 5, 6, 8}) icc.Transform(&srgb, layout, 1, 0, 0, pixels, out, 4);
  // And the other way, into the profile as a destination.
  srgb.Transform(&icc, 1, 2, 0, 0, pixels, out, 4);
  srgb.Transform(&icc, 1, 1, 0, 0, pixels, out, 4);
  return 0;
}
