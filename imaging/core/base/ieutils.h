// Foundation helpers of the imaging library: row lengths, bits, byte order,
// powers, small containers, string records, point and rectangle tests, and
// the scalar colour routines (limits, packing, grey, HSL, nearest colour).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/base/classes.h"
#include "platform/base/types.h"

// ---------------------------------------------------------------------------
// Colour values

// A pixel of ie24RGB storage: byte 0 blue, byte 1 green, byte 2 red. In a
// 32-bit value the same triple is blue bits 0-7, green 8-15, red 16-23.
struct TRGB {
  Byte b;
  Byte g;
  Byte r;
  friend constexpr bool operator==(const TRGB&, const TRGB&) = default;
};
static_assert(sizeof(TRGB) == 3, "TRGB must be three packed bytes");

// The library-wide grey weights: grey = (R*red + G*green + B*blue) div 100.
// Owned by the library start-up (21, 71 and 8), declared here for IERGBToGray.
extern Integer IEGrayWeightRed;
extern Integer IEGrayWeightGreen;
extern Integer IEGrayWeightBlue;

// Trunc(x) + 1 when x has a positive fraction, else Trunc(x). The result is
// limited to the Integer range (NaN gives 0).
Integer IECeil(Extended x);
// Trunc(x) - 1 when x has a negative fraction, else Trunc(x); limited likewise.
Integer IEFloor(Extended x);

// The 32-bit CMYK pixel value: C in byte 0, M byte 1, Y byte 2, K byte 3.
Cardinal IEMakeCMYK(Byte c, Byte m, Byte y, Byte k);
TRGB IEMakeRGB(Byte r, Byte g, Byte b);
// Weighted grey level of the triple with the library's grey weights.
Integer IERGBToGray(const TRGB& rgb);
// Exchanges bytes 0 and 2, keeps byte 1, clears byte 3: triple value <-> colour value.
Cardinal IERGBToColor(Cardinal v);

// Platform colour: red bits 0-7, green 8-15, blue 16-23; a high byte of 0xFF
// marks a system colour.
using TColor = int32_t;
// The triple of the colour, system colours resolved.
TRGB IEColorToRGB(TColor color);
// Alpha in bits 24-31, then red, green, blue, of the resolved colour.
Cardinal IEColorToARGB(TColor color, Byte alpha);

inline double IEMinFloat(double a, double b) { return a < b ? a : b; }
inline double IEMaxFloat(double a, double b) { return a > b ? a : b; }
inline Integer IEMin(Integer a, Integer b) { return b < a ? b : a; }
inline Integer IEMax(Integer a, Integer b) { return a < b ? b : a; }
// min when value <= min (min wins over max), else value when value < max, else max.
inline Integer IEClamp(Integer value, Integer min, Integer max) {
  if (value <= min) return min;
  return value < max ? value : max;
}
inline Integer IEClampByte(Integer value) { return value < 0 ? 0 : (value > 255 ? 255 : value); }
inline void IESwapInt(Integer& a, Integer& b) {
  Integer t = a;
  a = b;
  b = t;
}
inline void IESwapByte(Byte& a, Byte& b) {
  Byte t = a;
  a = b;
  b = t;
}
// True when bytes 0, 1 and 2 are equal; byte 3 is ignored.
inline bool IERGBEqual(Cardinal a, Cardinal b) { return ((a ^ b) & 0xFFFFFFu) == 0; }
// Orders the two corners so that x1 <= x2 and y1 <= y2.
void IEOrderCoords(Integer& x1, Integer& y1, Integer& x2, Integer& y2);

// HSL as doubles in 0..1 (hue 1 = 360 degrees).
void IERGBToHSL(double& h, double& s, double& l, const TRGB& rgb);
void IEHSLToRGB(TRGB& rgb, double h, double s, double l);
double IEHueToRGB(double x, double t2, double t1);

// Index of the palette entry with the smallest |dR| + |dG| + |dB| to colour
// (a 32-bit triple value, red in bits 16-23); the first one on ties; 0 when
// count is 0.
Integer IEFindNearestColor(const TRGB* palette, Integer count, Cardinal colour);

// ---------------------------------------------------------------------------
// Row length, bits, byte order and powers

// Bytes of one row of Width pixels at BitCount bits, padded to Align bits.
// Align 32 pads to a multiple of 4 bytes, Align 8 to whole bytes.
// The row is computed in 64 bits. Returns -1 (never a wrapped or truncated
// value) when Width or BitCount is negative, when Align is not a positive
// multiple of 8, or when the row would need 2^31 bytes or more; callers that
// size buffers from file headers must treat a negative result as a bad header.
Integer IEBitmapRowLen(Integer Width, Integer BitCount, Integer Align);

// Length of the run of 1-bits that starts at the mask's lowest set bit; 0 for 0.
Integer IEBitFieldWidth(Cardinal Mask);
// -1 for 0; the bit number for a power of two; else the highest set bit's
// number + 1. N is taken as an unsigned 32-bit value.
Integer IECeilLog2(Integer N);
// Number of colours of SamplesPerPixel samples of BitsPerSample bits each
// (1 for no samples). Saturates at 2147483647 where the exact count does not
// fit in 32 bits (8 bits x 4 samples, 32-bit samples), so that a caller that
// compares with 256 never mistakes a deep picture for a palette one and
// never divides by zero. Negative arguments give 0.
Integer IEColorCount(Integer BitsPerSample, Integer SamplesPerPixel);

void IEReverseByteBits(Byte& B);
void IEReverseDWordBits(Cardinal& V);
inline Word IEByteSwap16(Word V) { return static_cast<Word>((V >> 8) | (V << 8)); }
inline Cardinal IEByteSwap32(Cardinal V) { return __builtin_bswap32(V); }
// Swaps Count words in place; returns the address just past the last one.
Word* IEByteSwap16Array(Word* P, Integer Count);

// Base^Exponent by square and multiply (1 for exponent 0).
Extended IEIntPower(Extended Base, Integer Exponent);
// Powers that take the integer path for whole exponents. A negative base with
// a fractional exponent gives NaN and 0 with a negative exponent gives
// infinity (IEEE results; the floating-point unit does not trap here).
Extended IEPower(Extended Base, Extended Exponent);
double IEPowerDouble(double Base, double Exponent);

// ---------------------------------------------------------------------------
// Folders and files ('/' separated paths)

bool IEDirectoryExists(const WideString& Path);
// Creates Path and every missing parent. Relative paths are created relative
// to the current folder. Raises Exception "Cannot Create Directory" for an
// empty Path; a folder that cannot be created is not reported.
void IECreateDirectoryPath(const WideString& Path);
// Size of an existing file in bytes (64-bit); nothing when it cannot be
// read or is a folder.
std::optional<int64_t> IEGetFileSize(const WideString& FileName);

// ---------------------------------------------------------------------------
// Point and rectangle tests, the 45-degree constraint

inline bool IEPointInRect(Integer X, Integer Y, Integer Left, Integer Top, Integer Right, Integer Bottom) {
  return Left <= X && X <= Right && Top <= Y && Y <= Bottom;
}
bool IEPointInUnorderedRect(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2);
bool IERectIntersects(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer Left, Integer Top, Integer Right,
                      Integer Bottom);
// 1 when the box (X1,Y1)-(X2,Y2) lies partly inside the rectangle, 2 when
// wholly inside, 0 otherwise (also for a box crossing the rectangle with both
// X or both Y outside it).
Integer IERectOverlapState(Integer Left, Integer Top, Integer Right, Integer Bottom, Integer X1, Integer Y1,
                           Integer X2, Integer Y2);
// Moves (X2, Y2) so that the line from (X1, Y1) is horizontal, vertical or diagonal.
void IEConstrainLineTo45(Integer X1, Integer Y1, Integer& X2, Integer& Y2);

// ---------------------------------------------------------------------------
// Small containers

class THash1Item : public TObject {
 public:
  Integer Key = 0;
  THash1Item* Next = nullptr;
};

// A set of 32-bit keys in 2^Bits slots; a slot holds one key directly and
// chains items only on collisions.
class THash1 : public TObject {
 public:
  explicit THash1(Integer Bits);
  ~THash1() override;
  // True when Key was new.
  bool Insert(Integer Key);
  // As Insert; also gives the slot index and the chain item made for Key
  // (nullptr when the key went straight into its slot or was present).
  bool InsertItem(Integer Key, Integer& SlotIndex, THash1Item*& NewItem);
  Integer Count() const { return FCount; }

 private:
  std::vector<uintptr_t> FSlotKeys;  // the key itself (state 1) or the first item (state 2)
  std::vector<Byte> FSlotStates;     // 0 empty, 1 one key, 2 a chain
  Integer FBits;
  uint32_t FSlotCount;
  Integer FCount = 0;
};

// A growable byte buffer that reallocates only when Size leaves
// [Capacity - BlockSize, Capacity].
class TIEByteArray : public TObject {
 public:
  explicit TIEByteArray(Integer BlockSize);
  Integer Size() const { return FSize; }
  // Raises ERangeError for a negative size or one that does not fit with its
  // growth step in 32 bits.
  void SetSize(Integer NewSize);
  Integer Capacity() const { return FCapacity; }
  Integer BlockSize() const { return FBlockSize; }
  Byte* Data() { return FData.get(); }
  const Byte* Data() const { return FData.get(); }
  void AddByte(Byte B);
  // Appends up to Count bytes read from Stream; returns the bytes read.
  Integer AppendFromStream(TStream* Stream, Integer Count);

 private:
  std::unique_ptr<Byte[]> FData;
  Integer FSize = 0;
  Integer FCapacity = 0;
  Integer FBlockSize;
};

// A stream that stores nothing: Read and Write only move the position, Size is
// the highest position reached. Used to measure encoded sizes; Read leaves the
// buffer untouched.
class TNulStream : public TStream {
 public:
  TNulStream() = default;
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  // From the end the position is Size - Offset (minus), so Seek(0, soEnd) is Size.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return FSize; }

 private:
  int64_t FPosition = 0;
  int64_t FSize = 0;
};

// ---------------------------------------------------------------------------
// Length-prefixed strings: a signed 32-bit little-endian count, then the
// 8-bit (Windows-1252) bytes or the UTF-16LE code units, no terminator.

void IESaveStringToStream(TStream* Stream, const AnsiString& S);
// Narrows S to the 8-bit code page first.
void IESaveStringToStream(TStream* Stream, const WideString& S);
void IESaveWideStringToStream(TStream* Stream, const WideString& S);
// The loaders treat the stream as hostile: a negative count or a stream that
// ends before the text raises EReadError "Stream read error" and leaves S
// empty; memory grows only with the bytes actually read, never with the count.
void IELoadStringFromStream(TStream* Stream, AnsiString& S);
void IELoadWideStringFromStream(TStream* Stream, WideString& S);
