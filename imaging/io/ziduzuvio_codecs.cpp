// The codec rows of the built-in formats. A codec is wired by filling its
// row with its reader, its writer (the registry's routine shapes) and, where
// it has one, its step before writing (see TIEBuiltInCodec); a row left
// empty makes every load, save and parameter read of that format refuse
// cleanly.
#include <mutex>
#include <shared_mutex>

#include "imaging/io/ieformats.h"
#include "imaging/io/iejpeg.h"
#include "imaging/io/iepng.h"

namespace {

struct TCodecRow {
  TIEFileType FileType;
  TIEBuiltInCodec Codec;
};

struct TCodecTable {
  std::shared_mutex Lock;
  // One row per built-in format with a codec of its own. JPEG rebuilds its
  // markers (resolution, IPTC, EXIF, XMP) from the parameters before writing.
  TCodecRow Rows[18] = {
      {ieftTIFF, {}},
      {ieftGIF, {}},
      {ieftJPEG, {IEJpegReadRoutine, IEJpegWriteRoutine, IEUpdateJPEGMarkers}},
      {ieftPCX, {}},
      {ieftBMP, {}},
      {ieftICO, {}},
      {ieftCUR, {}},
      {ieftPNG, {IEPngReadRoutine, IEPngWriteRoutine}},
      {ieftTGA, {}},
      {ieftPXM, {}},
      {ieftJP2, {}},
      {ieftJ2K, {}},
      {ieftWBMP, {}},
      {ieftDCX, {}},
      {ieftRAW, {}},
      {ieftPSD, {}},
      {ieftDICOM, {}},
      {ieftHDP, {}},
  };
};

TCodecTable& Table() {
  static TCodecTable t;
  return t;
}

}  // namespace

TIEBuiltInCodec IEGetBuiltInCodec(TIEFileType FileType) {
  TCodecTable& t = Table();
  std::shared_lock lock(t.Lock);
  for (const TCodecRow& r : t.Rows)
    if (r.FileType == FileType) return r.Codec;
  return {};
}

TIEBuiltInCodec IESetBuiltInCodec(TIEFileType FileType, TIEBuiltInCodec Codec) {
  TCodecTable& t = Table();
  std::unique_lock lock(t.Lock);
  for (TCodecRow& r : t.Rows) {
    if (r.FileType != FileType) continue;
    TIEBuiltInCodec old = std::move(r.Codec);
    r.Codec = std::move(Codec);
    return old;
  }
  return {};
}
