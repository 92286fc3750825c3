// Colour quantizer: builds a palette of at most NCol colours for a picture
// (its own palette, a gray ramp, its exact colours, median cut or a
// neural-net reducer) and answers the palette index of any colour.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieutils.h"

// Reducer choice: -1 automatic (median cut below 128 colours, the neural net
// from 128), 0 the neural net, 1 median cut; other values act as 0.
extern Integer IEQuantizerMethod;
// Neural-net quality: -1 automatic (sampling by picture size), 0..100 from the
// sparsest sampling to every pixel.
extern Integer IEQuantizerQuality;

// How a quantizer made its palette; lookups follow the same choice.
enum TIEQuantizerStrategy : Byte {
  iqsNone,        // a non-gray picture in a format without a strategy: index 0
  iqsExactColors, // the picture's own colours in order of first appearance
  iqsPalette,     // an ie8p picture's palette
  iqsGrayRamp,    // gray pictures: NCol evenly spaced gray levels
  iqsMedianCut,
  iqsNeuralNet,
};

struct TIEMedianCut;  // median-cut reducer state
struct TIENeuQuant;   // neural-net reducer state

// A quantizer is made for one picture and then queried by one thread at a
// time (the neural net's lookups keep a cache of recent answers).
class TIEQuantizer : public TObject {
 public:
  // Fills ColorMap (at least NCol triples, NCol 1..256, values outside are
  // clamped) for Bitmap. Entries the strategy does not produce stay as the
  // caller left them. Bitmap is referenced, not owned, and read only here:
  // an ie8p picture's palette is taken as it is now.
  TIEQuantizer(TIEBitmap* Bitmap, TRGB* ColorMap, Integer NCol);
  ~TIEQuantizer() override;

  // Palette index of Color. Colours the strategy never saw: -1 for the exact
  // colours, the palette length for an ie8p palette.
  Integer RGBIndex(const TRGB& Color);
  // RGBIndex of Width pixels into bytes (indexes outside 0..255 wrap to
  // their low byte, as a byte write would).
  void RGBIndexRow(const TRGB* Src, Byte* Dst, Integer Width);

  bool GrayScale() const { return FGrayScale; }
  // 0 neural net, 1 median cut; meaningful only with a reducer.
  Integer Method() const { return FMethod; }
  TIEQuantizerStrategy Strategy() const { return FStrategy; }
  Integer NCol() const { return FNCol; }
  // Number of exact colours found (0 unless the exact strategy was taken).
  Integer ExactColorCount() const { return FExactCount; }

 private:
  bool TryExactColors(TRGB* ColorMap);
  void InitLookup();
  bool AddLookup(Cardinal Packed, Integer Index);
  Integer FindLookup(Cardinal Packed) const;

  Integer FMethod = 0;
  std::unique_ptr<TIEMedianCut, void (*)(TIEMedianCut*)> FMedianCut;
  std::unique_ptr<TIENeuQuant, void (*)(TIENeuQuant*)> FNeuQuant;
  bool FGrayScale = false;
  TIEQuantizerStrategy FStrategy = iqsNone;
  // Exact colours or palette entries by packed colour: an open-addressing
  // table of (packed colour + 1, 0 = empty slot) and the entry's position.
  std::unique_ptr<Cardinal[]> FLookupKeys;
  std::unique_ptr<int16_t[]> FLookupValues;
  Integer FExactCount = 0;
  Integer FPaletteLength = 0;
  Integer FNCol = 0;
  TIEBitmap* FBitmap = nullptr;
};

// The reducers, used by TIEQuantizer. A packed colour is R*65536 + G*256 + B.
// Median cut over a 5-bit-per-channel histogram; sizes are 32-bit and counts
// 64-bit, and each palette entry is the mean of the real colours in its box.
TIEMedianCut* IEMedianCutBuild(TIEBitmap* Bitmap, TRGB* ColorMap, Integer NCol);
Integer IEMedianCutIndex(const TIEMedianCut* State, Cardinal Packed);
// Number of boxes (palette entries) made.
Integer IEMedianCutCount(const TIEMedianCut* State);
void IEMedianCutFree(TIEMedianCut* State);
// The neural-net reducer with a network of NCol neurons; Quality as
// IEQuantizerQuality.
TIENeuQuant* IENeuQuantBuild(TIEBitmap* Bitmap, TRGB* ColorMap, Integer NCol, Integer Quality);
Integer IENeuQuantIndex(TIENeuQuant* State, Cardinal Packed);
// The sampling factor the reducer used (1 = every pixel).
Integer IENeuQuantSamplingFactor(const TIENeuQuant* State);
void IENeuQuantFree(TIENeuQuant* State);

inline Cardinal IEPackRGB(const TRGB& c) { return (Cardinal(c.r) << 16) | (Cardinal(c.g) << 8) | c.b; }
