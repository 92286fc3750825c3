// Foundation helpers of the imaging library.
#include "imaging/core/base/ieutils.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "imaging/core/base/iehelpers.h"
#include "platform/base/sysutils.h"
#include "platform/graphics/colors.h"

// ---------------------------------------------------------------------------
// Scalar colour routines

namespace {

Integer ClampToInteger(long double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0L) return INT32_MAX;
  if (v <= -2147483648.0L) return INT32_MIN;
  return static_cast<Integer>(v);
}

}  // namespace

Integer IECeil(Extended x) {
  const long double t = std::trunc(x);
  return ClampToInteger(x - t > 0 ? t + 1 : t);
}

Integer IEFloor(Extended x) {
  const long double t = std::trunc(x);
  return ClampToInteger(x - t < 0 ? t - 1 : t);
}

Cardinal IEMakeCMYK(Byte c, Byte m, Byte y, Byte k) {
  return static_cast<Cardinal>(c) | (static_cast<Cardinal>(m) << 8) | (static_cast<Cardinal>(y) << 16) |
         (static_cast<Cardinal>(k) << 24);
}

TRGB IEMakeRGB(Byte r, Byte g, Byte b) { return TRGB{b, g, r}; }

Integer IERGBToGray(const TRGB& rgb) {
  return (rgb.r * IEGrayWeightRed + rgb.g * IEGrayWeightGreen + rgb.b * IEGrayWeightBlue) / 100;
}

Cardinal IERGBToColor(Cardinal v) { return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF); }

TRGB IEColorToRGB(TColor color) {
  const auto c = static_cast<Cardinal>(ColorToRGB(color));
  return TRGB{static_cast<Byte>(c >> 16), static_cast<Byte>(c >> 8), static_cast<Byte>(c)};
}

Cardinal IEColorToARGB(TColor color, Byte alpha) {
  const TRGB c = IEColorToRGB(color);
  return (static_cast<Cardinal>(alpha) << 24) | (static_cast<Cardinal>(c.r) << 16) | (static_cast<Cardinal>(c.g) << 8) |
         c.b;
}

void IEOrderCoords(Integer& x1, Integer& y1, Integer& x2, Integer& y2) {
  if (x2 < x1) IESwapInt(x1, x2);
  if (y2 < y1) IESwapInt(y1, y2);
}

void IERGBToHSL(double& h, double& s, double& l, const TRGB& rgb) {
  const double r = rgb.r / 255.0, g = rgb.g / 255.0, b = rgb.b / 255.0;
  const double mx = IEMaxFloat(IEMaxFloat(r, g), b);
  const double mn = IEMinFloat(IEMinFloat(r, g), b);
  l = (mx + mn) / 2;
  if (mx == mn) {
    s = 0;
    h = 0;
    return;
  }
  const double delta = mx - mn;
  s = l >= 0.5 ? delta / (2 - mx - mn) : delta / (mx + mn);
  if (mx == r)
    h = (g - b) / delta;
  else if (mx != g)
    h = 4 + (r - g) / delta;
  else
    h = 2 + (b - r) / delta;
  h /= 6;
  if (h < 0) h += 1;
}

double IEHueToRGB(double x, double t2, double t1) {
  if (x < 0)
    x += 1;
  else if (x > 1)
    x -= 1;
  if (6 * x < 1) return t1 + (t2 - t1) * 6 * x;
  if (2 * x < 1) return t2;
  if (3 * x < 2) return t1 + (t2 - t1) * (2.0 / 3 - x) * 6;
  return t1;
}

void IEHSLToRGB(TRGB& rgb, double h, double s, double l) {
  if (h < 0)
    h += 1;
  else if (h > 1)
    h -= 1;
  s = std::clamp(s, 0.0, 1.0);
  l = std::clamp(l, 0.0, 1.0);
  auto toByte = [](double v) { return static_cast<Byte>(IEClampByte(static_cast<Integer>(Round(v * 255)))); };
  if (s == 0) {
    rgb.r = rgb.g = rgb.b = toByte(l);
    return;
  }
  const double t2 = l > 0.5 ? s + l - s * l : l * (1 + s);
  const double t1 = 2 * l - t2;
  rgb.r = toByte(IEHueToRGB(h + 1.0 / 3, t2, t1));
  rgb.g = toByte(IEHueToRGB(h, t2, t1));
  rgb.b = toByte(IEHueToRGB(h - 1.0 / 3, t2, t1));
}

Integer IEFindNearestColor(const TRGB* palette, Integer count, Cardinal colour) {
  const int r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
  Integer best = 0;
  int bestDist = 1000;
  for (Integer i = 0; i < count; ++i) {
    const int d = std::abs(palette[i].r - r) + std::abs(palette[i].g - g) + std::abs(palette[i].b - b);
    if (d < bestDist) {
      bestDist = d;
      best = i;
    }
  }
  return best;
}

// ---------------------------------------------------------------------------
// Row length, bits, byte order and powers

Integer IEBitmapRowLen(Integer Width, Integer BitCount, Integer Align) {
  if (Width < 0 || BitCount < 0 || Align <= 0 || Align % 8 != 0) return -1;
  const int64_t bits = static_cast<int64_t>(Width) * BitCount;
  const int64_t row = (bits + Align - 1) / Align * (Align / 8);
  if (row > INT32_MAX) return -1;
  return static_cast<Integer>(row);
}

Integer IEBitFieldWidth(Cardinal Mask) {
  if (Mask == 0) return 0;
  const Cardinal run = Mask >> __builtin_ctz(Mask);
  return run == 0xFFFFFFFFu ? 32 : __builtin_ctz(~run);
}

Integer IECeilLog2(Integer N) {
  const auto u = static_cast<Cardinal>(N);
  if (u == 0) return -1;
  if ((u & (u - 1)) == 0) return __builtin_ctz(u);
  return 32 - __builtin_clz(u);
}

Integer IEColorCount(Integer BitsPerSample, Integer SamplesPerPixel) {
  if (BitsPerSample < 0 || SamplesPerPixel < 0) return 0;
  const int64_t bits = static_cast<int64_t>(BitsPerSample) * SamplesPerPixel;
  if (bits >= 31) return INT32_MAX;
  return static_cast<Integer>(int64_t{1} << bits);
}

namespace {

constexpr std::array<Byte, 256> MakeBitReverseTable() {
  std::array<Byte, 256> t{};
  for (int i = 0; i < 256; ++i) {
    int r = 0;
    for (int b = 0; b < 8; ++b)
      if (i & (1 << b)) r |= 0x80 >> b;
    t[i] = static_cast<Byte>(r);
  }
  return t;
}

constexpr std::array<Byte, 256> kBitReverse = MakeBitReverseTable();

}  // namespace

void IEReverseByteBits(Byte& B) { B = kBitReverse[B]; }

void IEReverseDWordBits(Cardinal& V) {
  V = (static_cast<Cardinal>(kBitReverse[V & 0xFF]) << 24) | (static_cast<Cardinal>(kBitReverse[(V >> 8) & 0xFF]) << 16) |
      (static_cast<Cardinal>(kBitReverse[(V >> 16) & 0xFF]) << 8) | kBitReverse[V >> 24];
}

Word* IEByteSwap16Array(Word* P, Integer Count) {
  for (Integer i = 0; i < Count; ++i, ++P) *P = IEByteSwap16(*P);
  return P;
}

Extended IEIntPower(Extended Base, Integer Exponent) {
  if (Exponent == 0) return 1;
  uint64_t e = Exponent < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(Exponent)) : static_cast<uint64_t>(Exponent);
  Extended result = 1, b = Base;
  while (e) {
    if (e & 1) result *= b;
    e >>= 1;
    if (e) b *= b;
  }
  return Exponent < 0 ? 1 / result : result;
}

Extended IEPower(Extended Base, Extended Exponent) {
  if (Exponent == 0) return 1;
  if (Base == 0 && Exponent > 0) return 0;
  if (std::trunc(Exponent) != Exponent || std::fabs(Exponent) > 2147483647.0L)
    return std::exp(Exponent * std::log(Base));
  return IEIntPower(Base, static_cast<Integer>(Exponent));
}

double IEPowerDouble(double Base, double Exponent) {
  if (std::fabs(Exponent) < 2147483647.0) {
    if (std::trunc(Exponent) == Exponent) {
      const auto n = static_cast<Integer>(Exponent);
      if (Base == 0) return n == 0 ? 1 : 0;
      if (n == 1) return Base;
      if (n == 2) return Base * Base;
      return static_cast<double>(IEIntPower(Base, n));
    }
    return std::exp(Exponent * std::log(Base));
  }
  if (Base == 0) return 0;
  return std::exp(Exponent * std::log(Base));
}

// ---------------------------------------------------------------------------
// Folders and files

bool IEDirectoryExists(const WideString& Path) {
  struct stat st;
  return !Path.empty() && ::stat(WideToUtf8(Path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void IECreateDirectoryPath(const WideString& Path) {
  if (Path.empty()) throw Exception("Cannot Create Directory");
  WideString p = Path;
  if (p.size() > 1 && p.back() == u'/') p.pop_back();
  if (p == u"/" || IEDirectoryExists(p)) return;
  // Parent: everything up to and including the last '/'. A relative path's
  // first folder has none and is created in the current folder.
  const size_t slash = p.rfind(u'/');
  if (slash != WideString::npos) {
    const WideString parent = p.substr(0, slash + 1);
    if (parent != p) IECreateDirectoryPath(parent);
  }
  ::mkdir(WideToUtf8(p).c_str(), 0777);
}

std::optional<int64_t> IEGetFileSize(const WideString& FileName) {
  struct stat st;
  if (FileName.empty() || ::stat(WideToUtf8(FileName).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
  return static_cast<int64_t>(st.st_size);
}

// ---------------------------------------------------------------------------
// Point and rectangle tests

bool IEPointInUnorderedRect(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  IEOrderCoords(X1, Y1, X2, Y2);
  return IEPointInRect(X, Y, X1, Y1, X2, Y2);
}

bool IERectIntersects(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer Left, Integer Top, Integer Right,
                      Integer Bottom) {
  return !(std::max(X1, X2) < Left || std::min(X1, X2) > Right || std::max(Y1, Y2) < Top ||
           std::min(Y1, Y2) > Bottom);
}

Integer IERectOverlapState(Integer Left, Integer Top, Integer Right, Integer Bottom, Integer X1, Integer Y1,
                           Integer X2, Integer Y2) {
  const bool x1in = Left <= X1 && X1 <= Right, x2in = Left <= X2 && X2 <= Right;
  const bool y1in = Top <= Y1 && Y1 <= Bottom, y2in = Top <= Y2 && Y2 <= Bottom;
  if ((x1in != x2in && (y1in || y2in)) || ((x1in || x2in) && y1in != y2in)) return 1;
  if (x1in && x2in && y1in && y2in) return 2;
  return 0;
}

void IEConstrainLineTo45(Integer X1, Integer Y1, Integer& X2, Integer& Y2) {
  const int64_t dx = static_cast<int64_t>(X1) - X2, dy = static_cast<int64_t>(Y1) - Y2;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const int64_t d = adx > ady ? adx - ady : ady - adx;
  if (ady > adx + 30) {
    X2 = X1;
    return;
  }
  if (ady < adx - 30) {
    Y2 = Y1;
    return;
  }
  int64_t x2 = X2, y2 = Y2;
  const bool dyLonger = ady > adx;
  if (dx < 0 && dy < 0) {
    (dyLonger ? x2 : y2) += d;
  } else if (dx > 0 && dy > 0) {
    (dyLonger ? y2 : x2) += d;
  } else if (dx > 0 && dy <= 0) {
    if (dyLonger)
      x2 -= d;
    else
      y2 += d;
  } else if (dx <= 0 && dy > 0) {
    if (dyLonger)
      x2 += d;
    else
      y2 -= d;
  }
  X2 = static_cast<Integer>(std::clamp<int64_t>(x2, INT32_MIN, INT32_MAX));
  Y2 = static_cast<Integer>(std::clamp<int64_t>(y2, INT32_MIN, INT32_MAX));
}

// ---------------------------------------------------------------------------
// THash1

THash1::THash1(Integer Bits) : FBits(Bits) {
  FSlotCount = 1u << (static_cast<Cardinal>(Bits) & 31);
  FSlotKeys.assign(FSlotCount, 0);
  FSlotStates.assign(FSlotCount, 0);
}

THash1::~THash1() {
  for (uint32_t i = 0; i < FSlotCount; ++i) {
    if (FSlotStates[i] != 2) continue;
    auto* item = reinterpret_cast<THash1Item*>(FSlotKeys[i]);
    while (item) {
      THash1Item* next = item->Next;
      delete item;
      item = next;
    }
  }
}

bool THash1::Insert(Integer Key) {
  Integer slot;
  THash1Item* item;
  return InsertItem(Key, slot, item);
}

bool THash1::InsertItem(Integer Key, Integer& SlotIndex, THash1Item*& NewItem) {
  const uint32_t idx = static_cast<Cardinal>(Key) & (FSlotCount - 1);
  SlotIndex = static_cast<Integer>(idx);
  NewItem = nullptr;
  switch (FSlotStates[idx]) {
    case 0:
      FSlotKeys[idx] = static_cast<Cardinal>(Key);
      FSlotStates[idx] = 1;
      break;
    case 1: {
      const auto old = static_cast<Integer>(static_cast<Cardinal>(FSlotKeys[idx]));
      if (old == Key) return false;
      auto* first = new THash1Item;
      auto* second = new THash1Item;
      first->Key = old;
      first->Next = second;
      second->Key = Key;
      FSlotKeys[idx] = reinterpret_cast<uintptr_t>(first);
      FSlotStates[idx] = 2;
      NewItem = second;
      break;
    }
    default: {
      auto* item = reinterpret_cast<THash1Item*>(FSlotKeys[idx]);
      for (;;) {
        if (item->Key == Key) return false;
        if (!item->Next) break;
        item = item->Next;
      }
      item->Next = new THash1Item;
      item->Next->Key = Key;
      NewItem = item->Next;
      break;
    }
  }
  ++FCount;
  return true;
}

// ---------------------------------------------------------------------------
// TIEByteArray

TIEByteArray::TIEByteArray(Integer BlockSize) : FBlockSize(std::max<Integer>(BlockSize, 0)) {
  FCapacity = FBlockSize;
  FData.reset(new Byte[static_cast<size_t>(FCapacity)]());
}

void TIEByteArray::SetSize(Integer NewSize) {
  if (NewSize < 0 || static_cast<int64_t>(NewSize) + FBlockSize > INT32_MAX)
    throw ERangeError("Byte array size out of range");
  const bool keep = NewSize > FSize ? NewSize <= FCapacity : NewSize >= FCapacity - FBlockSize;
  if (!keep) {
    const Integer cap = NewSize + FBlockSize;
    std::unique_ptr<Byte[]> data(new Byte[static_cast<size_t>(cap)]());
    const Integer kept = std::min(FSize, NewSize);
    if (kept > 0) std::memcpy(data.get(), FData.get(), static_cast<size_t>(kept));
    FData = std::move(data);
    FCapacity = cap;
  }
  FSize = NewSize;
}

void TIEByteArray::AddByte(Byte B) {
  SetSize(FSize + 1);
  FData[static_cast<size_t>(FSize - 1)] = B;
}

Integer TIEByteArray::AppendFromStream(TStream* Stream, Integer Count) {
  if (Count <= 0) return 0;
  const Integer old = FSize;
  SetSize(static_cast<Integer>(std::min<int64_t>(static_cast<int64_t>(old) + Count, INT32_MAX - FBlockSize)));
  const int64_t want = FSize - old;
  int64_t got = Stream->Read(FData.get() + old, want);
  if (got < 0) got = 0;
  if (got < want) SetSize(old + static_cast<Integer>(got));
  return static_cast<Integer>(got);
}

// ---------------------------------------------------------------------------
// TNulStream

int64_t TNulStream::Read(void*, int64_t Count) {
  if (Count <= 0) return 0;
  FPosition += Count;
  if (FPosition >= FSize) FSize = FPosition;
  return Count;
}

int64_t TNulStream::Write(const void*, int64_t Count) {
  if (Count <= 0) return 0;
  FPosition += Count;
  if (FPosition >= FSize) FSize = FPosition;
  return Count;
}

int64_t TNulStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
    case soBeginning:
      FPosition = Offset;
      if (FPosition >= FSize) FSize = FPosition;
      break;
    case soCurrent:
      FPosition += Offset;
      if (FPosition >= FSize) FSize = FPosition;
      break;
    case soEnd:
      FPosition = FSize - Offset;
      break;
  }
  return FPosition;
}

// ---------------------------------------------------------------------------
// Length-prefixed strings

namespace {

void WriteCount(TStream* Stream, size_t n) {
  if (n > static_cast<size_t>(INT32_MAX)) throw EWriteError("Stream write error");
  const auto v = static_cast<uint32_t>(n);
  const Byte b[4] = {static_cast<Byte>(v), static_cast<Byte>(v >> 8), static_cast<Byte>(v >> 16),
                     static_cast<Byte>(v >> 24)};
  Stream->WriteBuffer(b, 4);
}

Integer ReadCount(TStream* Stream) {
  Byte b[4];
  if (Stream->Read(b, 4) != 4) throw EReadError("Stream read error");
  const auto v = static_cast<Integer>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                                      (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24));
  if (v < 0) throw EReadError("Stream read error");
  return v;
}

// Reads Bytes bytes into Dest, growing it piece by piece so that a forged count
// costs no more memory than the data that is really there.
template <typename Str>
void ReadText(TStream* Stream, Str& Dest, int64_t Units) {
  constexpr int64_t kPiece = 1 << 16;  // bytes
  using Unit = typename Str::value_type;
  Str s;
  int64_t have = 0;
  while (have < Units) {
    const int64_t n = std::min<int64_t>(Units - have, kPiece / static_cast<int64_t>(sizeof(Unit)));
    s.resize(static_cast<size_t>(have + n));
    const int64_t bytes = n * static_cast<int64_t>(sizeof(Unit));
    if (Stream->Read(s.data() + have, bytes) != bytes) throw EReadError("Stream read error");
    have += n;
  }
  Dest = std::move(s);
}

}  // namespace

void IESaveStringToStream(TStream* Stream, const AnsiString& S) {
  WriteCount(Stream, S.size());
  if (!S.empty()) Stream->WriteBuffer(S.data(), static_cast<int64_t>(S.size()));
}

void IESaveStringToStream(TStream* Stream, const WideString& S) { IESaveStringToStream(Stream, IEWideToAnsi(S)); }

void IESaveWideStringToStream(TStream* Stream, const WideString& S) {
  WriteCount(Stream, S.size());
  if (S.empty()) return;
  if constexpr (std::endian::native == std::endian::little) {
    Stream->WriteBuffer(S.data(), static_cast<int64_t>(S.size() * 2));
  } else {
    std::string le;
    le.reserve(S.size() * 2);
    for (char16_t c : S) le.push_back(static_cast<char>(c & 0xFF)), le.push_back(static_cast<char>(c >> 8));
    Stream->WriteBuffer(le.data(), static_cast<int64_t>(le.size()));
  }
}

void IELoadStringFromStream(TStream* Stream, AnsiString& S) {
  S.clear();
  const Integer n = ReadCount(Stream);
  ReadText(Stream, S, n);
}

void IELoadWideStringFromStream(TStream* Stream, WideString& S) {
  S.clear();
  const Integer n = ReadCount(Stream);
  ReadText(Stream, S, n);
  if constexpr (std::endian::native != std::endian::little)
    for (char16_t& c : S) c = static_cast<char16_t>((c >> 8) | (c << 8));
}
