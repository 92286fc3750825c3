// The fax codec. Decoding walks one binary tree per colour over the coded
// bits; every run and every pixel range is clamped to the row, so a hostile
// strip can neither write past the row nor loop. Encoding goes through a
// growable buffer, so narrow rows with many changes cannot overflow it.
#include "imaging/formats/ccitt.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "imaging/core/base/ieprogress.h"

namespace ccitt {
namespace {

struct TCode {
  Byte Length;
  Word Value;
  int16_t Run;  // -1: nothing (fill); -3: end of line
};

// T.4 terminating codes 0..63 and make-up codes 64..1728, white then black;
// the make-up codes 1792..2560 shared by both colours.
const TCode kWhite[] = {
    {8, 0x35, 0},   {6, 0x7, 1},    {4, 0x7, 2},    {4, 0x8, 3},    {4, 0xB, 4},    {4, 0xC, 5},
    {4, 0xE, 6},    {4, 0xF, 7},    {5, 0x13, 8},   {5, 0x14, 9},   {5, 0x7, 10},   {5, 0x8, 11},
    {6, 0x8, 12},   {6, 0x3, 13},   {6, 0x34, 14},  {6, 0x35, 15},  {6, 0x2A, 16},  {6, 0x2B, 17},
    {7, 0x27, 18},  {7, 0xC, 19},   {7, 0x8, 20},   {7, 0x17, 21},  {7, 0x3, 22},   {7, 0x4, 23},
    {7, 0x28, 24},  {7, 0x2B, 25},  {7, 0x13, 26},  {7, 0x24, 27},  {7, 0x18, 28},  {8, 0x2, 29},
    {8, 0x3, 30},   {8, 0x1A, 31},  {8, 0x1B, 32},  {8, 0x12, 33},  {8, 0x13, 34},  {8, 0x14, 35},
    {8, 0x15, 36},  {8, 0x16, 37},  {8, 0x17, 38},  {8, 0x28, 39},  {8, 0x29, 40},  {8, 0x2A, 41},
    {8, 0x2B, 42},  {8, 0x2C, 43},  {8, 0x2D, 44},  {8, 0x4, 45},   {8, 0x5, 46},   {8, 0xA, 47},
    {8, 0xB, 48},   {8, 0x52, 49},  {8, 0x53, 50},  {8, 0x54, 51},  {8, 0x55, 52},  {8, 0x24, 53},
    {8, 0x25, 54},  {8, 0x58, 55},  {8, 0x59, 56},  {8, 0x5A, 57},  {8, 0x5B, 58},  {8, 0x4A, 59},
    {8, 0x4B, 60},  {8, 0x32, 61},  {8, 0x33, 62},  {8, 0x34, 63},  {5, 0x1B, 64},  {5, 0x12, 128},
    {6, 0x17, 192}, {7, 0x37, 256}, {8, 0x36, 320}, {8, 0x37, 384}, {8, 0x64, 448}, {8, 0x65, 512},
    {8, 0x68, 576}, {8, 0x67, 640}, {9, 0xCC, 704}, {9, 0xCD, 768}, {9, 0xD2, 832}, {9, 0xD3, 896},
    {9, 0xD4, 960}, {9, 0xD5, 1024}, {9, 0xD6, 1088}, {9, 0xD7, 1152}, {9, 0xD8, 1216}, {9, 0xD9, 1280},
    {9, 0xDA, 1344}, {9, 0xDB, 1408}, {9, 0x98, 1472}, {9, 0x99, 1536}, {9, 0x9A, 1600}, {6, 0x18, 1664},
    {9, 0x9B, 1728},
};
const TCode kBlack[] = {
    {10, 0x37, 0},  {3, 0x2, 1},    {2, 0x3, 2},    {2, 0x2, 3},    {3, 0x3, 4},    {4, 0x3, 5},
    {4, 0x2, 6},    {5, 0x3, 7},    {6, 0x5, 8},    {6, 0x4, 9},    {7, 0x4, 10},   {7, 0x5, 11},
    {7, 0x7, 12},   {8, 0x4, 13},   {8, 0x7, 14},   {9, 0x18, 15},  {10, 0x17, 16}, {10, 0x18, 17},
    {10, 0x8, 18},  {11, 0x67, 19}, {11, 0x68, 20}, {11, 0x6C, 21}, {11, 0x37, 22}, {11, 0x28, 23},
    {11, 0x17, 24}, {11, 0x18, 25}, {12, 0xCA, 26}, {12, 0xCB, 27}, {12, 0xCC, 28}, {12, 0xCD, 29},
    {12, 0x68, 30}, {12, 0x69, 31}, {12, 0x6A, 32}, {12, 0x6B, 33}, {12, 0xD2, 34}, {12, 0xD3, 35},
    {12, 0xD4, 36}, {12, 0xD5, 37}, {12, 0xD6, 38}, {12, 0xD7, 39}, {12, 0x6C, 40}, {12, 0x6D, 41},
    {12, 0xDA, 42}, {12, 0xDB, 43}, {12, 0x54, 44}, {12, 0x55, 45}, {12, 0x56, 46}, {12, 0x57, 47},
    {12, 0x64, 48}, {12, 0x65, 49}, {12, 0x52, 50}, {12, 0x53, 51}, {12, 0x24, 52}, {12, 0x37, 53},
    {12, 0x38, 54}, {12, 0x27, 55}, {12, 0x28, 56}, {12, 0x58, 57}, {12, 0x59, 58}, {12, 0x2B, 59},
    {12, 0x2C, 60}, {12, 0x5A, 61}, {12, 0x66, 62}, {12, 0x67, 63}, {10, 0xF, 64}, {12, 0xC8, 128},
    {12, 0xC9, 192}, {12, 0x5B, 256}, {12, 0x33, 320}, {12, 0x34, 384}, {12, 0x35, 448}, {13, 0x6C, 512},
    {13, 0x6D, 576}, {13, 0x4A, 640}, {13, 0x4B, 704}, {13, 0x4C, 768}, {13, 0x4D, 832}, {13, 0x72, 896},
    {13, 0x73, 960}, {13, 0x74, 1024}, {13, 0x75, 1088}, {13, 0x76, 1152}, {13, 0x77, 1216}, {13, 0x52, 1280},
    {13, 0x53, 1344}, {13, 0x54, 1408}, {13, 0x55, 1472}, {13, 0x5A, 1536}, {13, 0x5B, 1600}, {13, 0x64, 1664},
    {13, 0x65, 1728},
};
const TCode kShared[] = {
    {11, 0x8, 1792},  {11, 0xC, 1856},  {11, 0xD, 1920},  {12, 0x12, 1984}, {12, 0x13, 2048},
    {12, 0x14, 2112}, {12, 0x15, 2176}, {12, 0x16, 2240}, {12, 0x17, 2304}, {12, 0x1C, 2368},
    {12, 0x1D, 2432}, {12, 0x1E, 2496}, {12, 0x1F, 2560},
};

// The 128 entries of one colour: 0..63 terminating, 64..90 make-up, 91..103
// shared make-up, 104 EOL, 105..107 fill zeros before a 1, 108..127 EOL
// after 1..20 further zeros.
struct TTable {
  TCode E[128];
};

TTable MakeTable(const TCode* Own) {
  TTable t{};
  for (int i = 0; i < 91; ++i) t.E[i] = Own[i];
  for (int i = 0; i < 13; ++i) t.E[91 + i] = kShared[i];
  t.E[104] = {12, 1, -3};
  for (int i = 0; i < 3; ++i) t.E[105 + i] = {Byte(9 + i), 1, -1};
  for (int i = 0; i < 20; ++i) t.E[108 + i] = {Byte(13 + i), 1, -3};
  return t;
}

// A binary tree: inner nodes have children, leaves an entry index.
struct TNode {
  int32_t Child[2] = {-1, -1};
  int32_t Leaf = -1;
};

struct TTrees {
  TTable Table[2];  // 0 white, 1 black
  std::vector<TNode> Tree[2];
};

TTrees* gTrees = nullptr;
std::once_flag gOnce;

void Build() {
  static TTrees trees;
  for (int c = 0; c < 2; ++c) {
    trees.Table[c] = MakeTable(c == 0 ? kWhite : kBlack);
    std::vector<TNode>& t = trees.Tree[c];
    t.assign(1, TNode());
    for (int e = 0; e < 128; ++e) {
      const TCode& code = trees.Table[c].E[e];
      int32_t n = 0;
      for (int b = code.Length - 1; b >= 0; --b) {
        const int bit = (code.Value >> b) & 1;
        if (t[size_t(n)].Child[bit] < 0) {
          t[size_t(n)].Child[bit] = int32_t(t.size());
          t.emplace_back();
        }
        n = t[size_t(n)].Child[bit];
      }
      t[size_t(n)].Leaf = e;
    }
  }
  gTrees = &trees;
}

const TTrees& Trees() {
  std::call_once(gOnce, Build);
  return *gTrees;
}

// --- bits in ------------------------------------------------------------------------

struct TBits {
  const Byte* Data;
  int64_t Length;  // bits
  Integer FillOrder;
  int Bit(int64_t Pos) const {
    if (Pos < 0 || Pos >= Length) return 0;
    const Byte b = Data[Pos >> 3];
    const int k = int(Pos & 7);
    return FillOrder == 2 ? (b >> k) & 1 : (b >> (7 - k)) & 1;
  }
};

constexpr int kNoCode = 128;
// Past the end of the data: ends the row (kept apart from the 32-bit EOL
// entry, which a leading EOL would skip over and over).
constexpr int kPastEnd = 200;

// The entry of the run code at Pos for Colour (0 white, 1 black).
int ReadRunCode(const TBits& B, int64_t Pos, int Colour) {
  if (Pos >= B.Length) return kPastEnd;
  const std::vector<TNode>& t = Trees().Tree[Colour];
  int32_t n = 0;
  for (int i = 0; i < 32; ++i) {
    n = t[size_t(n)].Child[B.Bit(Pos + i)];
    if (n < 0) return kNoCode;
    if (t[size_t(n)].Leaf >= 0) return t[size_t(n)].Leaf;
  }
  return kNoCode;
}

// --- pixels ------------------------------------------------------------------------

// Black (0) over [From, To), clamped to the row.
void SetBlack(Byte* Out, Integer Width, int64_t From, int64_t To) {
  From = std::max<int64_t>(From, 0);
  To = std::min<int64_t>(To, Width);
  for (int64_t x = From; x < To;) {
    if ((x & 7) == 0 && x + 8 <= To) {
      Out[x >> 3] = 0;
      x += 8;
    } else {
      Out[x >> 3] &= Byte(~(0x80 >> (x & 7)));
      ++x;
    }
  }
}

// Pixel colour as 0 white / 1 black of a decoded row (1 = white); before
// the row the colour is white.
inline int DecodedBlack(const Byte* Row, int64_t X) { return X < 0 ? 0 : ((Row[X >> 3] >> (7 - (X & 7))) & 1) ^ 1; }

// The first changing element right of A0 (from 0 at the row start) whose
// colour is the opposite of Colour, and the change after it.
void FindB1B2(const Byte* Ref, Integer Width, int64_t A0, int Colour, int64_t& B1, int64_t& B2) {
  int64_t x = A0 < 0 ? 0 : A0 + 1;
  while (x < Width && !(DecodedBlack(Ref, x) != DecodedBlack(Ref, x - 1) && DecodedBlack(Ref, x) != Colour)) ++x;
  B1 = x;
  if (x >= Width) {
    B2 = Width;
    return;
  }
  ++x;
  while (x < Width && DecodedBlack(Ref, x) == DecodedBlack(Ref, x - 1)) ++x;
  B2 = x;
}

// Reads make-up codes and a terminating code of Colour; -1 on an EOL, a
// missing code or the end of the data.
int64_t ReadRun(const TBits& B, int64_t& Pos, int Colour) {
  const TTable& t = Trees().Table[Colour];
  int64_t run = 0;
  for (int guard = 0; guard < 1 << 16; ++guard) {
    const int e = ReadRunCode(B, Pos, Colour);
    if (e == kNoCode || e == kPastEnd) return -1;
    const TCode& c = t.E[e];
    if (c.Run < 0) return -1;
    Pos += c.Length;
    run += c.Run;
    if (e < 64) return run;
  }
  return -1;
}

// Mode codes of two-dimensional coding, in the order they are tried.
struct TMode {
  Byte Length;
  Word Value;
};
const TMode kModes[] = {
    {12, 0},      // 0: twelve zeros
    {4, 0x1},     // 1: pass
    {3, 0x1},     // 2: horizontal
    {7, 0x2},     // 3: VL3
    {6, 0x2},     // 4: VL2
    {3, 0x2},     // 5: VL1
    {1, 0x1},     // 6: V0
    {3, 0x3},     // 7: VR1
    {6, 0x3},     // 8: VR2
    {7, 0x3},     // 9: VR3
    {10, 0xF},    // 10: 2-D extension
    {12, 0xF},    // 11: 1-D extension
    {12, 0x1},    // 12: EOL
};

int MatchMode(const TBits& B, int64_t Pos) {
  for (int m = 1; m < 13; ++m) {
    Word v = 0;
    for (int i = 0; i < kModes[m].Length; ++i) v = Word(v << 1 | B.Bit(Pos + i));
    if (v == kModes[m].Value) return m;
  }
  Word v = 0;
  for (int i = 0; i < 12; ++i) v = Word(v << 1 | B.Bit(Pos + i));
  return v == 0 ? 0 : -1;
}

// --- bits out ------------------------------------------------------------------------

class TBitWriter {
 public:
  TBitWriter(Integer FillOrder, Byte Pending, Integer PendingBits)
      : FFill(FillOrder), FCur(Pending), FBits(PendingBits) {}
  void Put(Cardinal Value, int Length) {
    for (int i = Length - 1; i >= 0; --i) {
      const int bit = (Value >> i) & 1;
      if (bit) FCur |= FFill == 2 ? Byte(1 << FBits) : Byte(0x80 >> FBits);
      if (++FBits == 8) {
        FOut.push_back(FCur);
        FCur = 0;
        FBits = 0;
      }
    }
  }
  void PadToByte() {
    if (FBits) {
      FOut.push_back(FCur);
      FCur = 0;
      FBits = 0;
    }
  }
  // Writes the whole bytes; the partial one stays for the next call.
  void Flush(TStream* S, std::atomic<bool>& Aborting, TIECCITTState* State) {
    if (!FOut.empty() && !Aborting.load()) {
      TIEProgressRec pr(Aborting);
      IESafeStreamWrite(S, pr, FOut.data(), int64_t(FOut.size()));
    }
    FOut.clear();
    if (State) {
      State->PendingByte = FCur;
      State->PendingBits = FBits;
    }
  }

 private:
  Integer FFill;
  Byte FCur;
  Integer FBits;
  std::vector<Byte> FOut;
};

void PutCode(TBitWriter& W, const TCode& C) { W.Put(C.Value, C.Length); }

void PutRun(TBitWriter& W, int64_t Run, int Colour) {
  const TTable& t = Trees().Table[Colour];
  while (Run >= 64) {
    if (Run > 2560) {
      PutCode(W, t.E[103]);
      Run -= 2560;
    } else {
      const int64_t m = Run / 64;  // 1..40
      PutCode(W, t.E[m <= 27 ? 63 + m : 91 + (m - 28)]);
      Run -= m * 64;
    }
  }
  PutCode(W, t.E[Run]);
}

// Encoder rows: 1 = black.
inline int Px(const Byte* Row, int64_t X) { return (Row[X >> 3] >> (7 - (X & 7))) & 1; }

// The first position at or after From whose pixel is not Colour; Width if
// none.
int64_t FindDiff(const Byte* Row, int64_t From, Integer Width, int Colour) {
  int64_t x = std::max<int64_t>(From, 0);
  while (x < Width && Px(Row, x) == Colour) ++x;
  return x;
}
int64_t FindDiff2(const Byte* Row, int64_t From, Integer Width, int Colour) {
  return From < Width ? FindDiff(Row, From, Width, Colour) : Width;
}

void Encode1D(TBitWriter& W, const Byte* Row, Integer Width) {
  int colour = 0;
  int64_t x = 0;
  while (x < Width) {
    const int64_t end = FindDiff(Row, x, Width, colour);
    PutRun(W, end - x, colour);
    x = end;
    colour ^= 1;
  }
}

void Encode2D(TBitWriter& W, const Byte* Row, const Byte* Ref, Integer Width) {
  static const TMode kV[7] = {{7, 0x3}, {6, 0x3}, {3, 0x3}, {1, 0x1}, {3, 0x2}, {6, 0x2}, {7, 0x2}};
  if (Width <= 0) return;
  int64_t a0 = 0;
  int64_t a1 = Px(Row, 0) ? 0 : FindDiff(Row, 0, Width, 0);
  int64_t b1 = Px(Ref, 0) ? 0 : FindDiff(Ref, 0, Width, 0);
  for (;;) {
    const int64_t b2 = FindDiff2(Ref, b1, Width, b1 < Width ? Px(Ref, b1) : 0);
    if (b2 >= a1) {
      const int64_t d = b1 - a1;
      if (d < -3 || d > 3) {
        const int64_t a2 = FindDiff2(Row, a1, Width, a1 < Width ? Px(Row, a1) : 0);
        W.Put(0x1, 3);
        if (a0 + a1 == 0 || Px(Row, a0) == 0) {
          PutRun(W, a1 - a0, 0);
          PutRun(W, a2 - a1, 1);
        } else {
          PutRun(W, a1 - a0, 1);
          PutRun(W, a2 - a1, 0);
        }
        a0 = a2;
      } else {
        W.Put(kV[d + 3].Value, kV[d + 3].Length);
        a0 = a1;
      }
    } else {
      W.Put(0x1, 4);
      a0 = b2;
    }
    if (a0 >= Width) break;
    const int c = Px(Row, a0);
    a1 = FindDiff(Row, a0, Width, c);
    b1 = FindDiff(Ref, a0, Width, c ^ 1);
    b1 = FindDiff(Ref, b1, Width, c);
  }
}

size_t RowBytes(Integer Width) { return (size_t(std::max(Width, 0)) + 7) / 8; }

}  // namespace
}  // namespace ccitt

using namespace ccitt;

void IEInitCCITT() { Trees(); }
void IEFreeCCITT() {}

int64_t IECCITTDecodeRow1D(Byte* Out, const Byte* Data, int64_t DataLength, Integer Width, int64_t BitPos,
                           Integer FillOrder) {
  std::memset(Out, 255, RowBytes(Width));
  const TBits B{Data, DataLength * 8, FillOrder};
  const TTable* tables = Trees().Table;
  int colour = 0;
  int64_t a0 = 0, start = BitPos, pos = BitPos;
  bool makeUp = false;
  while (a0 < Width || makeUp) {
    const int e = ReadRunCode(B, pos, colour);
    if (e == kNoCode) {
      ++pos;
      start = pos;
      continue;
    }
    if (e == kPastEnd) break;
    const TCode& c = tables[colour].E[e];
    const int64_t codeStart = pos;
    pos += c.Length;
    if (c.Run == -3) {
      if (codeStart == start) {
        start = pos;  // a leading EOL
        continue;
      }
      if (colour == 1) SetBlack(Out, Width, a0, Width);
      break;
    }
    if (c.Run == -1) continue;
    if (colour == 1) SetBlack(Out, Width, a0, a0 + c.Run);
    a0 += c.Run;
    makeUp = e >= 64;
    if (e < 64) colour ^= 1;
  }
  return pos;
}

int64_t IECCITTDecodeHuffmanRow(Byte* Out, const Byte* Data, int64_t DataLength, Integer Width, Integer FillOrder) {
  const int64_t bits = IECCITTDecodeRow1D(Out, Data, DataLength, Width, 0, FillOrder);
  return std::min<int64_t>((bits + 7) / 8, DataLength);
}

int64_t IECCITTDecodeRow2D(Byte* Out, const Byte* Data, int64_t DataLength, Integer Width, Byte* RefLine,
                           int64_t BitPos, Integer FillOrder, bool FillBits) {
  const size_t rowBytes = RowBytes(Width);
  std::memset(Out, 255, rowBytes);
  const TBits B{Data, DataLength * 8, FillOrder};
  int64_t a0 = -1, pos = BitPos;
  const int64_t start = BitPos;
  int colour = 0;
  auto finish = [&] { std::memcpy(RefLine, Out, rowBytes); };
  while (a0 < Width && pos < B.Length) {
    const int64_t codeStart = pos;
    int m = MatchMode(B, pos);
    if (m == 0 && FillBits) {
      // Fill zeros up to the 1 that closes an EOL.
      int64_t p = pos + 12;
      while (p < B.Length && B.Bit(p) == 0) ++p;
      if (p >= B.Length) break;
      pos = p + 1;
      m = 12;
    } else if (m > 0) {
      pos += kModes[m].Length;
    }
    int64_t b1 = 0, b2 = 0;
    switch (m) {
      case 1:  // pass
        FindB1B2(RefLine, Width, a0, colour, b1, b2);
        a0 = std::max<int64_t>(a0, 0);
        if (colour == 1) SetBlack(Out, Width, a0, b2);
        a0 = b2;
        break;
      case 2: {  // horizontal
        int64_t p = pos;
        const int64_t r1 = ReadRun(B, p, colour);
        const int64_t r2 = r1 < 0 ? -1 : ReadRun(B, p, colour ^ 1);
        pos = p;
        if (r1 < 0 || r2 < 0) break;
        a0 = std::max<int64_t>(a0, 0);
        if (colour == 1)
          SetBlack(Out, Width, a0, a0 + r1);
        else
          SetBlack(Out, Width, a0 + r1, a0 + r1 + r2);
        a0 = std::min<int64_t>(a0 + r1 + r2, Width);
        break;
      }
      case 3:
      case 4:
      case 5:
      case 6:
      case 7:
      case 8:
      case 9: {  // vertical, offsets -3..+3
        FindB1B2(RefLine, Width, a0, colour, b1, b2);
        const int64_t a1 = std::clamp<int64_t>(b1 + (m - 6), 0, Width);
        a0 = std::max<int64_t>(a0, 0);
        if (colour == 1) SetBlack(Out, Width, a0, a1);
        a0 = std::max(a0, a1);
        colour ^= 1;
        break;
      }
      case 10:
      case 11: {  // uncompressed mode
        a0 = std::max<int64_t>(a0, 0);
        while (a0 < Width && pos < B.Length) {
          int zeros = 0;
          while (zeros < 11 && B.Bit(pos + zeros) == 0) ++zeros;
          if (zeros <= 4) {  // 1, 01 .. 00001: zeros white then one black
            a0 += zeros;
            SetBlack(Out, Width, a0, a0 + 1);
            a0 += 1;
            pos += zeros + 1;
          } else if (zeros == 5) {  // 000001: five white
            a0 += 5;
            pos += 6;
          } else if (zeros <= 10) {  // exit: 0..4 white, then the colour bit
            a0 += zeros - 6;
            pos += zeros + 1;
            colour = B.Bit(pos);
            ++pos;
            break;
          } else {
            pos += 11;
            break;
          }
        }
        a0 = std::min<int64_t>(a0, Width);
        break;
      }
      case 12:  // EOL
        if (codeStart == start) {
          const int tag = B.Bit(pos);
          ++pos;
          if (tag == 1) {
            pos = IECCITTDecodeRow1D(Out, Data, DataLength, Width, pos, FillOrder);
            finish();
            return pos;
          }
          break;
        }
        if (colour == 1) SetBlack(Out, Width, std::max<int64_t>(a0, 0), Width);
        finish();
        return codeStart;
      case 0:
      default:
        pos = codeStart + 12;
        break;
    }
  }
  finish();
  return pos;
}

void IECCITTEncodeHuffmanRow(const Byte* Row, Integer Width, TStream* Stream, std::atomic<bool>& Aborting,
                             Integer FillOrder) {
  TBitWriter w(FillOrder, 0, 0);
  Encode1D(w, Row, Width);
  w.PadToByte();
  w.Flush(Stream, Aborting, nullptr);
}

void IECCITTEncodeG3Row(const Byte* Row, Integer Width, TStream* Stream, TIECCITTState& State,
                        std::atomic<bool>& Aborting, Integer FillOrder, bool WithEOL) {
  TBitWriter w(FillOrder, State.PendingByte, State.PendingBits);
  if (WithEOL) w.Put(1, 12);
  Encode1D(w, Row, Width);
  w.Flush(Stream, Aborting, &State);
}

void IECCITTFlushG3(TStream* Stream, TIECCITTState& State, std::atomic<bool>& Aborting, Integer FillOrder) {
  TBitWriter w(FillOrder, State.PendingByte, State.PendingBits);
  w.PadToByte();
  w.Flush(Stream, Aborting, &State);
  State.RefLine.clear();
}

void IECCITTEncodeG3Row2D(const Byte* Row, Integer Width, TStream* Stream, TIECCITTState& State,
                          std::atomic<bool>& Aborting, Integer FillOrder) {
  TBitWriter w(FillOrder, State.PendingByte, State.PendingBits);
  if (Row == nullptr) {
    w.Put(1, 12);
    w.PadToByte();
    w.Flush(Stream, Aborting, &State);
    State.RefLine.clear();
    return;
  }
  const size_t n = RowBytes(Width);
  w.Put(1, 12);
  if (State.RefLine.empty()) {
    w.Put(1, 1);
    Encode1D(w, Row, Width);
  } else {
    w.Put(0, 1);
    Encode2D(w, Row, State.RefLine.data(), Width);
  }
  State.RefLine.assign(Row, Row + n);
  w.Flush(Stream, Aborting, &State);
}

void IECCITTEncodeG4Row(const Byte* Row, Integer Width, TStream* Stream, TIECCITTState& State,
                        std::atomic<bool>& Aborting, Integer FillOrder) {
  TBitWriter w(FillOrder, State.PendingByte, State.PendingBits);
  if (Row == nullptr) {
    w.Put(1, 12);
    w.Put(1, 12);
    w.PadToByte();
    w.Flush(Stream, Aborting, &State);
    State.RefLine.clear();
    return;
  }
  const size_t n = RowBytes(Width);
  if (State.RefLine.size() != n) State.RefLine.assign(n, 0);
  Encode2D(w, Row, State.RefLine.data(), Width);
  State.RefLine.assign(Row, Row + n);
  w.Flush(Stream, Aborting, &State);
}
