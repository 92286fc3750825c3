// Colour reduction of the GIF library: a palette chosen by the reduction
// method, a lookup into it, and an error-diffusion engine that walks the
// picture in serpentine rows, writing one index per pixel.
#include "imaging/formats/giflib_reduce.h"

#include <algorithm>
#include <cstring>

namespace giflib_reduce {
namespace {

// A logical palette with room for 256 entries.
struct LogPalette {
  LOGPALETTE Head;
  PALETTEENTRY More[255];
  LogPalette() { std::memset(static_cast<void*>(this), 0, sizeof(*this)); Head.palVersion = 0x300; }
  PALETTEENTRY& operator[](Integer I) { return (&Head.palPalEntry[0])[I]; }
};

constexpr BYTE kNoCollapse = 4;

std::vector<PALETTEENTRY> EntriesOf(HPALETTE Palette) {
  if (!Palette) return {};
  std::vector<PALETTEENTRY> e(256);
  const UINT n = GetPaletteEntries(Palette, 0, 256, e.data());
  e.resize(n);
  return e;
}

HPALETTE CopyPalette(HPALETTE Palette) {
  const std::vector<PALETTEENTRY> e = EntriesOf(Palette);
  if (e.empty()) return nullptr;
  LogPalette p;
  p.Head.palNumEntries = WORD(e.size());
  for (size_t i = 0; i < e.size(); ++i) p[Integer(i)] = e[i];
  return CreatePalette(&p.Head);
}

Byte Clamp(Integer V) { return Byte(std::clamp<Integer>(V, 0, 255)); }

// Floyd-Steinberg with a carry to the right and the row below built up in
// three running sums; a channel without error leaves its sums alone.
class TFloydSteinbergDitherer : public TDitherEngine {
 public:
  TFloydSteinbergDitherer(Integer AWidth, TColorLookup* ALookup) : TDitherEngine(AWidth, ALookup) {
    for (auto& r : FRows) r.assign(size_t(AWidth) + 2, 0);
  }
  Byte Dither(Byte Red, Byte Green, Byte Blue, Byte& R, Byte& G, Byte& B) override {
    const Byte in[3] = {Red, Green, Blue};
    Byte adj[3];
    for (int c = 0; c < 3; ++c) adj[c] = Clamp(in[c] + (FRows[c][size_t(FPos)] + FCarry[c] + 8) / 16);
    const Byte index = TDitherEngine::Dither(adj[0], adj[1], adj[2], R, G, B);
    const Byte chosen[3] = {R, G, B};
    for (int c = 0; c < 3; ++c) {
      const Integer e = Integer(adj[c]) - chosen[c];
      if (e != 0) {
        FRows[c][size_t(FPos)] = FBelowPrev[c] + 3 * e;
        FBelowPrev[c] = FBelow[c] + 5 * e;
        FBelow[c] = e;
        FCarry[c] = 7 * e;
      } else {
        FCarry[c] = 0;
      }
    }
    FPos += Direction;
    return index;
  }
  void NextLine() override {
    for (int c = 0; c < 3; ++c) {
      FRows[c][size_t(FPos)] = FBelowPrev[c];
      FCarry[c] = FBelow[c] = FBelowPrev[c] = 0;
    }
    TDitherEngine::NextLine();
    FPos = Direction > 0 ? 0 : Width + 1;
  }

 private:
  std::vector<Integer> FRows[3];
  Integer FCarry[3] = {}, FBelow[3] = {}, FBelowPrev[3] = {};
  Integer FPos = 0;
};

// Engines that spread the error over Rows rows with a margin of Margin
// entries on each side; Spread lists (row, offset along the travel, weight).
struct TSpread {
  int Row, Offset, Weight;
};

class TRowsDitherer : public TDitherEngine {
 public:
  TRowsDitherer(Integer AWidth, TColorLookup* ALookup, int ARows, int AMargin, Integer ADivisor,
                std::vector<TSpread> ASpread)
      : TDitherEngine(AWidth, ALookup), FMargin(AMargin), FDivisor(ADivisor), FSpread(std::move(ASpread)) {
    for (int c = 0; c < 3; ++c) {
      FRows[c].resize(size_t(ARows));
      for (auto& r : FRows[c]) r.assign(size_t(AWidth) + 2 * size_t(AMargin), 0);
    }
    FPos = AMargin;
  }
  Byte Dither(Byte Red, Byte Green, Byte Blue, Byte& R, Byte& G, Byte& B) override {
    const Byte in[3] = {Red, Green, Blue};
    Byte adj[3];
    for (int c = 0; c < 3; ++c) adj[c] = Clamp(in[c] + (FRows[c][0][size_t(FPos)] + FDivisor / 2) / FDivisor);
    const Byte index = TDitherEngine::Dither(adj[0], adj[1], adj[2], R, G, B);
    const Byte chosen[3] = {R, G, B};
    for (int c = 0; c < 3; ++c) {
      const Integer e = Integer(adj[c]) - chosen[c];
      if (e == 0) continue;
      for (const TSpread& s : FSpread) FRows[c][size_t(s.Row)][size_t(FPos + s.Offset * Direction)] += s.Weight * e;
    }
    FPos += Direction;
    return index;
  }
  void NextLine() override {
    for (int c = 0; c < 3; ++c) {
      std::fill(FRows[c][0].begin(), FRows[c][0].end(), 0);
      std::rotate(FRows[c].begin(), FRows[c].begin() + 1, FRows[c].end());
    }
    TDitherEngine::NextLine();
    FPos = Direction > 0 ? FMargin : Width + FMargin - 1;
  }

 private:
  std::vector<std::vector<Integer>> FRows[3];
  int FMargin;
  Integer FDivisor;
  std::vector<TSpread> FSpread;
  Integer FPos;
};

std::vector<TSpread> FiveByThree(int A, int B, const int (&Row1)[5], const int (&Row2)[5]) {
  std::vector<TSpread> s = {{0, 1, A}, {0, 2, B}};
  for (int i = 0; i < 5; ++i) {
    if (Row1[i]) s.push_back({1, i - 2, Row1[i]});
    if (Row2[i]) s.push_back({2, i - 2, Row2[i]});
  }
  return s;
}

}  // namespace
}  // namespace giflib_reduce

using namespace giflib_reduce;

// ------------------------------------------------------------- rows in/out

TDIBReader::TDIBReader(TBitmap* ABitmap, TPixelFormat APixelFormat) : Bitmap(ABitmap), PixelFormat(APixelFormat) {
  Bitmap->SetPixelFormat(APixelFormat);
}

TDIBWriter::TDIBWriter(TBitmap* ABitmap, TPixelFormat APixelFormat, Integer AWidth, Integer AHeight, HPALETTE APalette)
    : FBitmap(ABitmap), FPixelFormat(APixelFormat), FWidth(AWidth), FHeight(AHeight), FPalette(APalette) {
  if (APixelFormat != pf8bit && APixelFormat != pf24bit) GIFError("Unsupported PixelFormat");
  if (AWidth == 0 || AHeight == 0) GIFError("Invalid image dimensions");
}

TDIBWriter::~TDIBWriter() {
  try {
    UpdateBitmap();
  } catch (...) {
    // A bitmap that cannot take the picture stays as it was.
  }
}

Integer TDIBWriter::RowSize() const {
  const int64_t bits = int64_t(FWidth) * (FPixelFormat == pf8bit ? 8 : 24);
  return Integer(((bits + 31) & ~int64_t(31)) / 8);
}

void TDIBWriter::CreateDIB() {
  const bool eight = FPixelFormat == pf8bit;
  FHeader.assign(eight ? 1064 : 40, 0);
  BITMAPINFOHEADER h{};
  h.biSize = 40;
  h.biWidth = FWidth;
  h.biHeight = FHeight;
  h.biPlanes = 1;
  h.biBitCount = eight ? 8 : 24;
  h.biCompression = 0;
  if (eight) {
    const std::vector<PALETTEENTRY> e = EntriesOf(FPalette);
    for (size_t i = 0; i < e.size(); ++i) {
      const RGBQUAD q{e[i].peBlue, e[i].peGreen, e[i].peRed, 0};
      std::memcpy(FHeader.data() + 40 + 4 * i, &q, 4);
    }
    h.biClrUsed = 256;
    h.biClrImportant = DWORD(e.size());
  }
  std::memcpy(FHeader.data(), &h, 40);
  const int64_t size = int64_t(RowSize()) * std::abs(FHeight);
  try {
    FBits.assign(size_t(size), 0);
  } catch (const std::bad_alloc&) {
    FHeader.clear();
    throw EOutOfMemory("Failed to allocate memory for GIF DIB");
  }
}

void* TDIBWriter::ScanLine(Integer Row) {
  if (FBits.empty()) CreateDIB();
  if (FBits.empty()) GIFError("Image has no DIB");
  if (Row < 0 || Row >= FHeight) throw EInvalidGraphicOperation("Scan line index out of range");
  const Integer stored = FHeight > 0 ? FHeight - Row - 1 : Row;
  return FBits.data() + int64_t(stored) * RowSize();
}

void TDIBWriter::UpdateBitmap() {
  if (FBits.empty()) return;
  TMemoryStream s;
  BITMAPFILEHEADER f{};
  f.bfType = 0x4D42;
  f.bfSize = DWORD(14 + FHeader.size() + FBits.size());
  f.bfOffBits = DWORD(14 + FHeader.size());
  s.WriteBuffer(&f, 14);
  s.WriteBuffer(FHeader.data(), int64_t(FHeader.size()));
  s.WriteBuffer(FBits.data(), int64_t(FBits.size()));
  s.SetPosition(0);
  FBitmap->LoadFromStream(&s);
}

// ----------------------------------------------------------------- lookups

TFastColorLookup::TFastColorLookup(HPALETTE Palette) : TColorLookup(0), FInverse(32768, -1) {
  const std::vector<PALETTEENTRY> e = EntriesOf(Palette);
  Colors = Integer(e.size());
  std::copy(e.begin(), e.end(), FEntries);
  for (Integer i = 0; i < Colors; ++i) {
    const Integer cell = ((FEntries[i].peBlue & 0xF8) << 7) | ((FEntries[i].peGreen & 0xF8) << 2) | (FEntries[i].peRed >> 3);
    if (FInverse[size_t(cell)] < 0) FInverse[size_t(cell)] = int16_t(i);
  }
}

Byte TFastColorLookup::Lookup(Byte Red, Byte Green, Byte Blue, Byte& R, Byte& G, Byte& B) {
  const Integer cell = ((Blue & 0xF8) << 7) | ((Green & 0xF8) << 2) | (Red >> 3);
  Integer index = FInverse[size_t(cell)];
  if (index < 0) {
    Integer best = 0x30000;
    index = 0;
    for (Integer i = 0; i < Colors; ++i) {
      const Integer d = std::abs(FEntries[i].peRed - Red) + std::abs(FEntries[i].peGreen - Green) + std::abs(FEntries[i].peBlue - Blue);
      if (d < best) {
        best = d;
        index = i;
      }
    }
    FInverse[size_t(cell)] = int16_t(index);
  }
  R = FEntries[index].peRed;
  G = FEntries[index].peGreen;
  B = FEntries[index].peBlue;
  return Byte(index);
}

TSlowColorLookup::TSlowColorLookup(HPALETTE Palette) : TColorLookup(0), FPalette(Palette), FEntries(EntriesOf(Palette)) {
  Colors = Integer(FEntries.size());
}

Byte TSlowColorLookup::Lookup(Byte Red, Byte Green, Byte Blue, Byte& R, Byte& G, Byte& B) {
  UINT index = GetNearestPaletteIndex(FPalette, COLORREF(Red | (Green << 8) | (Blue << 16)));
  if (index >= FEntries.size()) index = 0;
  if (!FEntries.empty()) {
    R = FEntries[index].peRed;
    G = FEntries[index].peGreen;
    B = FEntries[index].peBlue;
  }
  return Byte(index);
}

Byte TNetscapeColorLookup::Lookup(Byte Red, Byte Green, Byte Blue, Byte& R, Byte& G, Byte& B) {
  const Integer r = (Red + 3) / 51, g = (Green + 3) / 51, b = (Blue + 3) / 51;
  R = Byte(51 * r);
  G = Byte(51 * g);
  B = Byte(51 * b);
  return Byte(36 * r + 6 * g + b);
}

Byte TGrayScaleLookup::Lookup(Byte Red, Byte Green, Byte Blue, Byte& R, Byte& G, Byte& B) {
  const Byte gray = Byte((77 * Red + 150 * Green + 29 * Blue) >> 8);
  R = G = B = gray;
  return gray;
}

Byte TMonochromeLookup::Lookup(Byte Red, Byte Green, Byte Blue, Byte& R, Byte& G, Byte& B) {
  const bool white = 77 * Red + 150 * Green + 29 * Blue >= 32513;
  R = G = B = white ? 255 : 0;
  return white ? 1 : 0;
}

// --------------------------------------------------------------- quantizer

TColorQuantizer::TColorQuantizer(Integer AMaxColors, Integer AColorBits) : FMaxColors(AMaxColors), FColorBits(AColorBits) {
  if (AColorBits > 8) throw EAssertionFailed("ColorBits must be 8 or less");
}

TColorQuantizer::~TColorQuantizer() = default;

bool TColorQuantizer::ProcessImage(TDIBReader* Reader) {
  TBitmap* b = Reader->Bitmap;
  const Integer w = b->Width(), h = b->Height();
  for (Integer y = 0; y < h; ++y) {
    const Byte* p = static_cast<const Byte*>(Reader->ScanLine(y));
    for (Integer x = 0; x < w; ++x, p += 3) AddColor(p[2], p[1], p[0]);
  }
  return true;
}

void TColorQuantizer::AddColor(Byte R, Byte G, Byte B) {
  Add(FTree, R, G, B, 0);
  while (FLeafCount > FMaxColors && FMaxColors > 0) ReduceTree();
}

void TColorQuantizer::Add(std::unique_ptr<TOctreeNode>& Node, Byte R, Byte G, Byte B, Integer Level) {
  if (!Node) {
    Node = std::make_unique<TOctreeNode>();
    if (Level >= FColorBits) {
      Node->IsLeaf = true;
      ++FLeafCount;
    } else {
      Node->Next = FReducible[Level];
      FReducible[Level] = Node.get();
    }
  }
  if (Node->IsLeaf) {
    ++Node->PixelCount;
    Node->RedSum += R;
    Node->GreenSum += G;
    Node->BlueSum += B;
    return;
  }
  const Integer m = 0x80 >> Level, s = 7 - Level;
  const Integer child = (((R & m) >> s) << 2) | (((G & m) >> s) << 1) | ((B & m) >> s);
  Add(Node->Children[child], R, G, B, Level + 1);
}

void TColorQuantizer::ReduceTree() {
  Integer level = FColorBits - 1;
  while (level > 0 && !FReducible[level]) --level;
  TOctreeNode* node = FReducible[level];
  if (!node) return;
  FReducible[level] = node->Next;
  node->Next = nullptr;
  Integer children = 0;
  int64_t count = 0, r = 0, g = 0, b = 0;
  for (auto& c : node->Children)
    if (c) {
      count += c->PixelCount;
      r += c->RedSum;
      g += c->GreenSum;
      b += c->BlueSum;
      c.reset();
      ++children;
    }
  node->PixelCount += count;
  node->RedSum = r;
  node->GreenSum = g;
  node->BlueSum = b;
  node->IsLeaf = true;
  FLeafCount -= children - 1;
}

namespace giflib_reduce {
namespace {
void CollectLeaves(const TOctreeNode* N, std::vector<RGBQUAD>& Out) {
  if (!N) return;
  if (N->IsLeaf) {
    RGBQUAD q{};
    if (N->PixelCount > 0) {
      q.rgbRed = BYTE(N->RedSum / N->PixelCount);
      q.rgbGreen = BYTE(N->GreenSum / N->PixelCount);
      q.rgbBlue = BYTE(N->BlueSum / N->PixelCount);
    }
    Out.push_back(q);
    return;
  }
  for (const auto& c : N->Children) CollectLeaves(c.get(), Out);
}
}  // namespace
}  // namespace giflib_reduce

std::vector<RGBQUAD> TColorQuantizer::GetColorTable() const {
  std::vector<RGBQUAD> t;
  CollectLeaves(FTree.get(), t);
  return t;
}

// ---------------------------------------------------------------- palettes

HPALETTE CreateWebSafePalette() {
  LogPalette p;
  p.Head.palNumEntries = 216;
  for (Integer r = 0; r < 6; ++r)
    for (Integer g = 0; g < 6; ++g)
      for (Integer b = 0; b < 6; ++b) p[36 * r + 6 * g + b] = {BYTE(51 * r), BYTE(51 * g), BYTE(51 * b), 0};
  return CreatePalette(&p.Head);
}

namespace giflib_reduce {
namespace {
HPALETTE Grays(std::initializer_list<Integer> Levels) {
  LogPalette p;
  Integer i = 0;
  for (Integer v : Levels) p[i++] = {BYTE(v), BYTE(v), BYTE(v), kNoCollapse};
  p.Head.palNumEntries = WORD(i);
  return CreatePalette(&p.Head);
}
}  // namespace
}  // namespace giflib_reduce

HPALETTE CreateGray4Palette() { return Grays({0, 128, 192, 255}); }
HPALETTE CreateMonochromePalette() { return Grays({0, 255}); }

HPALETTE CreateGrayPalette() {
  LogPalette p;
  p.Head.palNumEntries = 256;
  for (Integer i = 0; i < 256; ++i) p[i] = {BYTE(i), BYTE(i), BYTE(i), kNoCollapse};
  return CreatePalette(&p.Head);
}

HPALETTE CreateHalftoneScreenPalette() {
  const std::vector<PALETTEENTRY> stock = EntriesOf(static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)));
  LogPalette p;
  p.Head.palNumEntries = 256;
  Integer i = 0;
  for (Integer k = 0; k < 10 && k < Integer(stock.size()); ++k) p[i++] = stock[size_t(k)];
  for (Integer r = 0; r < 6; ++r)
    for (Integer g = 0; g < 6; ++g)
      for (Integer b = 0; b < 6; ++b) p[i++] = {BYTE(51 * r), BYTE(51 * g), BYTE(51 * b), 0};
  const Integer grays = 256 - 10 - i;
  for (Integer k = 1; k <= grays; ++k) {
    const BYTE v = BYTE(k * 255 / (grays + 1));
    p[i++] = {v, v, v, 0};
  }
  for (Integer k = 10; k < 20 && k < Integer(stock.size()); ++k) p[i++] = stock[size_t(k)];
  p.Head.palNumEntries = WORD(i);
  return CreatePalette(&p.Head);
}

HPALETTE CreateQuantizedPalette(TDIBReader* Reader, Integer Colors, Integer ColorBits, bool WithSystemColors) {
  if (Colors > 256) throw ERangeError("Range check error");
  LogPalette p;
  for (Integer i = 0; i < 256; ++i) p[i] = {0, 0, 0, kNoCollapse};
  p.Head.palNumEntries = WORD(Colors);
  Integer first = 0;
  if (WithSystemColors) {
    const std::vector<PALETTEENTRY> stock = EntriesOf(static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)));
    for (Integer k = 0; k < 10 && k < Integer(stock.size()); ++k) p[k] = stock[size_t(k)];
    for (Integer k = 10; k < 20 && k < Integer(stock.size()); ++k) p[236 + k] = stock[size_t(k)];
    Colors = 236;
    first = 10;
    p.Head.palNumEntries = 256;
  }
  TColorQuantizer q(Colors, ColorBits);
  q.ProcessImage(Reader);
  const std::vector<RGBQUAD> t = q.GetColorTable();
  for (size_t i = 0; i < t.size() && Integer(i) < Colors; ++i) p[first + Integer(i)] = {t[i].rgbRed, t[i].rgbGreen, t[i].rgbBlue, 0};
  return CreatePalette(&p.Head);
}

HPALETTE CreateQuantizedPaletteFromBitmap(TBitmap* Bitmap, Integer Colors, Integer ColorBits, bool WithSystemColors) {
  TDIBReader reader(Bitmap, pf24bit);
  return CreateQuantizedPalette(&reader, Colors, ColorBits, WithSystemColors);
}

// ----------------------------------------------------------------- engines

Byte TDitherEngine::Dither(Byte Red, Byte Green, Byte Blue, Byte& R, Byte& G, Byte& B) {
  const Byte index = Lookup->Lookup(Red, Green, Blue, R, G, B);
  NextColumn();
  return index;
}

void TDitherEngine::NextLine() {
  Direction = -Direction;
  Column = Direction > 0 ? 0 : Width - 1;
}

std::unique_ptr<TDitherEngine> MakeDitherEngine(TGIFDitherKind Kind, Integer Width, TColorLookup* Lookup) {
  switch (Kind) {
    case ditNearest: return std::make_unique<TDitherEngine>(Width, Lookup);
    case ditFloydSteinberg: return std::make_unique<TFloydSteinbergDitherer>(Width, Lookup);
    case ditStucki:
      return std::make_unique<TRowsDitherer>(Width, Lookup, 3, 2, 42, FiveByThree(8, 4, {2, 4, 8, 4, 2}, {1, 2, 4, 2, 1}));
    case ditSierra:
      return std::make_unique<TRowsDitherer>(Width, Lookup, 3, 2, 32, FiveByThree(5, 3, {2, 4, 5, 4, 2}, {0, 2, 3, 2, 0}));
    case ditJaJuNi:
      return std::make_unique<TRowsDitherer>(Width, Lookup, 3, 2, 48, FiveByThree(7, 5, {3, 5, 7, 5, 3}, {1, 3, 5, 3, 1}));
    case ditSteveArche:
      return std::make_unique<TRowsDitherer>(
          Width, Lookup, 4, 3, 200,
          std::vector<TSpread>{{0, 2, 32}, {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16}, {2, -2, 12}, {2, 0, 26},
                               {2, 2, 12}, {3, -3, 5}, {3, -1, 12}, {3, 1, 12}, {3, 3, 5}});
    case ditBurkes:
      return std::make_unique<TRowsDitherer>(Width, Lookup, 2, 2, 32,
                                             std::vector<TSpread>{{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4},
                                                                  {1, 0, 8}, {1, 1, 4}, {1, 2, 2}});
  }
  return nullptr;
}

// --------------------------------------------------------------- reduction

namespace giflib_reduce {
namespace {
struct PaletteHolder {
  HPALETTE H = nullptr;
  ~PaletteHolder() {
    if (H) DeleteObject(H);
  }
};
}  // namespace
}  // namespace giflib_reduce

std::unique_ptr<TBitmap> ReduceColors(TBitmap* Source, TGIFReductionMethod Reduction, TGIFDitherKind DitherKind,
                                      Integer ReductionBits, HPALETTE CustomPalette) {
  auto result = std::make_unique<TBitmap>();
  if (Reduction == crmNone) {
    result->Assign(Source);
    result->SetPixelFormat(pf24bit);
    return result;
  }
  TDIBReader reader(Source, pf24bit);
  PaletteHolder palette;
  std::unique_ptr<TColorLookup> lookup;
  switch (Reduction) {
    case crmWindows20: palette.H = CopyPalette(static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE))); break;
    case crmHalftone256: palette.H = CreateHalftoneScreenPalette(); break;
    case crmGray4: palette.H = CreateGray4Palette(); break;
    case crmMonochrome: palette.H = CreateMonochromePalette(); break;
    case crmGray256: palette.H = CreateGrayPalette(); break;
    case crmWebSafe216: palette.H = CreateWebSafePalette(); break;
    case crmOptimized:
      palette.H = CreateQuantizedPalette(&reader, Integer(1) << std::clamp<Integer>(ReductionBits, 1, 8), 8, false);
      break;
    case crmOptimizedWindows: palette.H = CreateQuantizedPaletteFromBitmap(Source, 256, 8, true); break;
    case crmCustomPalette: palette.H = CopyPalette(CustomPalette); break;
    default: return result;
  }
  switch (Reduction) {
    case crmMonochrome: lookup = std::make_unique<TMonochromeLookup>(); break;
    case crmGray256: lookup = std::make_unique<TGrayScaleLookup>(); break;
    case crmWebSafe216: lookup = std::make_unique<TNetscapeColorLookup>(); break;
    case crmOptimized: lookup = std::make_unique<TFastColorLookup>(palette.H); break;
    default: lookup = std::make_unique<TSlowColorLookup>(palette.H); break;
  }
  if (lookup->Colors == 0) return result;
  const Integer w = Source->Width(), h = Source->Height();
  std::unique_ptr<TDitherEngine> engine = MakeDitherEngine(DitherKind, w, lookup.get());
  if (!engine) return result;
  {
    TDIBWriter writer(result.get(), pf8bit, w, h, palette.H);
    Byte r, g, b;
    for (Integer y = 0; y < h; ++y) {
      const Byte* src = static_cast<const Byte*>(reader.ScanLine(y));
      Byte* dst = static_cast<Byte*>(writer.ScanLine(y));
      while (engine->Column >= 0 && engine->Column < w) {
        const Integer x = engine->Column;
        dst[x] = engine->Dither(src[3 * x + 2], src[3 * x + 1], src[3 * x], r, g, b);
      }
      engine->NextLine();
    }
  }
  return result;
}
