// Colour reduction of the GIF library: bitmap rows in and out, colour
// lookups into a palette, the octree quantizer and the fixed reduction
// palettes, and the dither engines that walk a picture serpentine.
#pragma once

#include <memory>
#include <vector>

#include "imaging/formats/giflib.h"
#include "platform/graphics/bitmap.h"

// Reads the rows of a bitmap after turning it into PixelFormat (in place).
class TDIBReader {
 public:
  TDIBReader(TBitmap* ABitmap, TPixelFormat APixelFormat);
  void* ScanLine(Integer Row) { return Bitmap->ScanLine(Row); }
  TBitmap* Bitmap;
  TPixelFormat PixelFormat;
};

// Builds an 8-bit (with Palette) or 24-bit bitmap row by row; the bitmap
// receives the picture when the writer is destroyed.
class TDIBWriter {
 public:
  TDIBWriter(TBitmap* ABitmap, TPixelFormat APixelFormat, Integer AWidth, Integer AHeight, HPALETTE APalette);
  ~TDIBWriter();
  // Row 0 is the top row; rows are stored bottom-up, each padded to 4 bytes.
  void* ScanLine(Integer Row);
  Integer RowSize() const;

 private:
  void CreateDIB();
  void UpdateBitmap();
  TBitmap* FBitmap;
  TPixelFormat FPixelFormat;
  Integer FWidth, FHeight;
  HPALETTE FPalette;
  std::vector<Byte> FHeader;
  std::vector<Byte> FBits;
};

class TColorLookup {
 public:
  explicit TColorLookup(Integer AColors) : Colors(AColors) {}
  virtual ~TColorLookup() = default;
  // The palette index for a colour; R, G, B receive that entry's colour.
  virtual Byte Lookup(Byte Red, Byte Green, Byte Blue, Byte& R, Byte& G, Byte& B) = 0;
  Integer Colors;
};

// Caches its answer per 15-bit colour cell: the first colour met in a cell
// decides it for every later colour of that cell.
class TFastColorLookup : public TColorLookup {
 public:
  explicit TFastColorLookup(HPALETTE Palette);
  Byte Lookup(Byte Red, Byte Green, Byte Blue, Byte& R, Byte& G, Byte& B) override;

 private:
  PALETTEENTRY FEntries[256] = {};
  std::vector<int16_t> FInverse;
};

class TSlowColorLookup : public TColorLookup {
 public:
  explicit TSlowColorLookup(HPALETTE Palette);
  Byte Lookup(Byte Red, Byte Green, Byte Blue, Byte& R, Byte& G, Byte& B) override;

 private:
  HPALETTE FPalette;
  std::vector<PALETTEENTRY> FEntries;
};

class TNetscapeColorLookup : public TColorLookup {
 public:
  TNetscapeColorLookup() : TColorLookup(216) {}
  Byte Lookup(Byte Red, Byte Green, Byte Blue, Byte& R, Byte& G, Byte& B) override;
};

class TGrayScaleLookup : public TColorLookup {
 public:
  TGrayScaleLookup() : TColorLookup(256) {}
  Byte Lookup(Byte Red, Byte Green, Byte Blue, Byte& R, Byte& G, Byte& B) override;
};

class TMonochromeLookup : public TColorLookup {
 public:
  TMonochromeLookup() : TColorLookup(2) {}
  Byte Lookup(Byte Red, Byte Green, Byte Blue, Byte& R, Byte& G, Byte& B) override;
};

// Leaves sum their pixels in 64 bits, so one colour over millions of pixels
// (a large white picture) cannot overflow.
struct TOctreeNode {
  bool IsLeaf = false;
  int64_t PixelCount = 0, RedSum = 0, GreenSum = 0, BlueSum = 0;
  TOctreeNode* Next = nullptr;
  std::unique_ptr<TOctreeNode> Children[8];
};

class TColorQuantizer {
 public:
  TColorQuantizer(Integer AMaxColors, Integer AColorBits);
  ~TColorQuantizer();
  bool ProcessImage(TDIBReader* Reader);
  void AddColor(Byte R, Byte G, Byte B);
  // The leaves' mean colours in depth-first order, as blue, green, red quads.
  std::vector<RGBQUAD> GetColorTable() const;
  Integer LeafCount() const { return FLeafCount; }

 private:
  void Add(std::unique_ptr<TOctreeNode>& Node, Byte R, Byte G, Byte B, Integer Level);
  void ReduceTree();
  std::unique_ptr<TOctreeNode> FTree;
  Integer FLeafCount = 0;
  TOctreeNode* FReducible[9] = {};
  Integer FMaxColors, FColorBits;
};

// Reduction palettes; the caller deletes each with DeleteObject.
HPALETTE CreateWebSafePalette();
HPALETTE CreateGray4Palette();
HPALETTE CreateMonochromePalette();
HPALETTE CreateGrayPalette();
// The 256-colour halftone palette: the 20 stock colours around a 6x6x6 cube
// and a gray ramp.
HPALETTE CreateHalftoneScreenPalette();
HPALETTE CreateQuantizedPalette(TDIBReader* Reader, Integer Colors, Integer ColorBits, bool WithSystemColors);
HPALETTE CreateQuantizedPaletteFromBitmap(TBitmap* Bitmap, Integer Colors, Integer ColorBits, bool WithSystemColors);

enum TGIFReductionMethod : Byte {
  crmNone, crmWindows20, crmHalftone256, crmGray4, crmMonochrome, crmGray256, crmWebSafe216, crmOptimized,
  crmOptimizedWindows, crmCustomPalette
};
enum TGIFDitherKind : Byte { ditNearest, ditFloydSteinberg, ditStucki, ditSierra, ditJaJuNi, ditSteveArche, ditBurkes };

class TDitherEngine {
 public:
  TDitherEngine(Integer AWidth, TColorLookup* ALookup) : Lookup(ALookup), Width(AWidth) {}
  virtual ~TDitherEngine() = default;
  virtual Byte Dither(Byte Red, Byte Green, Byte Blue, Byte& R, Byte& G, Byte& B);
  virtual void NextLine();
  void NextColumn() { Column += Direction; }
  Integer Direction = 1;
  Integer Column = 0;

 protected:
  TColorLookup* Lookup;
  Integer Width;
};

std::unique_ptr<TDitherEngine> MakeDitherEngine(TGIFDitherKind Kind, Integer Width, TColorLookup* Lookup);

// A new 8-bit bitmap of Source in at most 256 colours (24 bits for
// crmNone); an unknown method or kind, or a palette without colours, gives
// an empty bitmap. Source itself becomes 24 bits for every other method.
std::unique_ptr<TBitmap> ReduceColors(TBitmap* Source, TGIFReductionMethod Reduction, TGIFDitherKind DitherKind,
                                      Integer ReductionBits, HPALETTE CustomPalette);
