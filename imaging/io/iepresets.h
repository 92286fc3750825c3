// The library's preset pictures: PNG images held in the program, each with a
// rectangle outlining an area inside it, for components that offer presets.
#pragma once

#include <memory>
#include <vector>

#include "imaging/io/ieformats.h"
#include "platform/base/classes.h"
#include "platform/graphics/windef.h"

struct TIEPresetImage : public TObject {
  Cardinal Size = 0;            // bytes of the stored image
  const Byte* Data = nullptr;   // the stored image (owned by the entry)
  TIEFileType FileType = ieftPNG;
  TRect Rect;                   // in pixels of the picture
  std::vector<Byte> Bytes;      // what Data points into
};

// The list built by IEStartupPresetImages: four entries (an RGB picture with
// alpha, an RGB picture, a palette picture with one transparent entry, a
// palette picture), empty before start-up and after shut-down.
const std::vector<std::unique_ptr<TIEPresetImage>>& IEPresetImages();
void IEStartupPresetImages();
void IEShutdownPresetImages();
