// LZW for TIFF strips, PDF streams and GIF frames. The table holds each string
// as (prefix code, last byte), so a string is written backwards from its end
// in one pass; the encoders find strings by open hashing in 5,003 slots, which
// gives the same code sequence as the encoders other readers were tested with.
#include "imaging/io/ielzw.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

constexpr Integer kMaxBits = 12;
constexpr Integer kTableSize = 1 << kMaxBits;  // 4,096 codes
constexpr Integer kHashSize = 5003;            // prime, about 80% occupancy at 4,096 codes
constexpr Integer kHashShift = 4;              // doublings of 5,003 up to 65,536, taken from 8

// ---------------------------------------------------------------- tables

// The decoder's string table: entry c is string(Prefix[c]) + Suffix[c].
struct TLZWTable {
  Word Prefix[kTableSize];
  Byte Suffix[kTableSize];
  Byte First[kTableSize];
  Word Length[kTableSize];

  void InitRoots(Integer Roots) {
    for (Integer i = 0; i < Roots; ++i) {
      Prefix[i] = 0;
      Suffix[i] = First[i] = Byte(i);
      Length[i] = 1;
    }
  }
  // Writes string Code to Out (room for Length[Code] bytes), last byte first.
  void Emit(Integer Code, Integer Roots, Byte* Out) const {
    Byte* p = Out + Length[Code] - 1;
    while (Code >= Roots) {
      *p-- = Suffix[Code];
      Code = Prefix[Code];
    }
    *p = Byte(Code);
  }
  void Add(Integer Code, Integer Prev, Byte Last) {
    Prefix[Code] = Word(Prev);
    Suffix[Code] = Last;
    First[Code] = First[Prev];
    Length[Code] = Word(Length[Prev] + 1);
  }
};

// The encoders' string lookup: key = byte * 4,096 + prefix code.
struct TLZWHash {
  int32_t Keys[kHashSize];
  Word Codes[kHashSize];

  void Clear() {
    for (int32_t& k : Keys) k = -1;
  }
  // The code of Prefix + C, or -1 with Slot at the empty slot where it belongs.
  Integer Find(Integer Prefix, Byte C, Integer& Slot) const {
    const int32_t key = (int32_t(C) << kMaxBits) + Prefix;
    Integer i = (Integer(C) << kHashShift) ^ Prefix;
    if (Keys[i] == key) return Codes[i];
    if (Keys[i] >= 0) {
      const Integer step = i == 0 ? 1 : kHashSize - i;
      do {
        i -= step;
        if (i < 0) i += kHashSize;
        if (Keys[i] == key) return Codes[i];
      } while (Keys[i] >= 0);
    }
    Slot = i;
    return -1;
  }
  void Store(Integer Slot, Integer Prefix, Byte C, Integer Code) {
    Keys[Slot] = (int32_t(C) << kMaxBits) + Prefix;
    Codes[Slot] = Word(Code);
  }
};

Byte Mirror(Byte B) {
  B = Byte((B & 0xF0) >> 4 | (B & 0x0F) << 4);
  B = Byte((B & 0xCC) >> 2 | (B & 0x33) << 2);
  return Byte((B & 0xAA) >> 1 | (B & 0x55) << 1);
}

// ---------------------------------------------------------------- TIFF decoder

constexpr Integer kClear = 256, kEnd = 257, kFirstFree = 258;

struct TTIFFDecoder {
  const Byte* In = nullptr;
  int64_t InBits = 0;  // input length in bits: running out counts as End
  int64_t BitPos = 0;
  std::vector<Byte> Mirrored;  // the strip bit-reversed byte by byte (fill order 2)
  std::vector<Byte> Out;       // Count bytes plus room for the longest string
  Integer Chunk = 0;
  Integer Held = 0;  // bytes decoded into Out
  Integer Width = 9;
  Integer Prev = -1;
  Integer Next = kFirstFree;
  bool Ended = false;
  bool Failed = false;
  TLZWTable Table;

  // The next code, or End when the input holds no whole code.
  Integer ReadCode() {
    if (BitPos + Width > InBits) return kEnd;
    const int64_t byte = BitPos >> 3;
    const int64_t avail = (InBits >> 3) - byte;
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i) w = w << 8 | (i < avail ? In[byte + i] : 0);
    const Integer code = Integer((w << (BitPos & 7)) >> (32 - Width));
    BitPos += Width;
    return code;
  }

  void Append(Integer Code) {
    Table.Emit(Code, 256, Out.data() + Held);
    Held += Table.Length[Code];
  }

  // Adds an entry; false when the table is full.
  bool AddEntry(Integer PrevCode, Byte Last) {
    if (Next >= kTableSize) return false;
    Table.Add(Next, PrevCode, Last);
    ++Next;
    // One code early, as the writers of TIFF expect.
    if (Next == 511) Width = 10;
    else if (Next == 1023) Width = 11;
    else if (Next == 2047) Width = 12;
    return true;
  }

  // Decodes until Out holds Chunk bytes, the stream ends or it proves corrupt.
  void Fill() {
    while (Held < Chunk && !Ended && !Failed) {
      Integer code = ReadCode();
      if (code == kEnd) {
        Ended = true;
      } else if (code == kClear) {
        Next = kFirstFree;
        Width = 9;
        do code = ReadCode();
        while (code == kClear);
        if (code == kEnd) {
          Ended = true;
        } else if (code > 255) {
          Failed = true;
        } else {
          Append(code);
          Prev = code;
        }
      } else if (Prev < 0) {
        // The first code of a stream must be a single byte when it is not Clear.
        if (code > 255) {
          Failed = true;
        } else {
          Append(code);
          Prev = code;
        }
      } else if (code < Next) {
        const Integer at = Held;
        Append(code);
        if (!AddEntry(Prev, Out[at])) Failed = true;
        Prev = code;
      } else if (code == Next) {
        if (!AddEntry(Prev, Table.First[Prev])) {
          Failed = true;
        } else {
          Append(code);
          Prev = code;
        }
      } else {
        // A code no encoder could have sent yet: the rest is unusable.
        Ended = true;
      }
    }
  }
};

}  // namespace

Byte* IETIFFLZWDecompress(const Byte* Data, Integer DataSize, Integer Count, void*& State, Integer FillOrder) {
  auto* d = static_cast<TTIFFDecoder*>(State);
  if (!Data) {
    delete d;
    State = nullptr;
    return nullptr;
  }
  if (!d) {
    if (Count <= 0 || DataSize < 0) return nullptr;
    d = new (std::nothrow) TTIFFDecoder;
    if (!d) return nullptr;
    State = d;
    try {
      if (FillOrder == 2) {
        d->Mirrored.resize(size_t(DataSize));
        for (Integer i = 0; i < DataSize; ++i) d->Mirrored[size_t(i)] = Mirror(Data[i]);
        d->In = d->Mirrored.data();
      } else {
        d->In = Data;
      }
      d->Out.resize(size_t(Count) + kTableSize + 1);
    } catch (const std::bad_alloc&) {
      d->Failed = true;
    }
    d->InBits = int64_t(DataSize) * 8;
    d->Chunk = Count;
    d->Table.InitRoots(256);
  }
  if (d->Failed) return nullptr;
  // The bytes of the last string that did not fit the previous chunk come first.
  if (d->Held > d->Chunk) {
    std::memmove(d->Out.data(), d->Out.data() + d->Chunk, size_t(d->Held - d->Chunk));
    d->Held -= d->Chunk;
  } else {
    d->Held = 0;
  }
  d->Fill();
  if (d->Failed) return nullptr;
  if (d->Held < d->Chunk) {
    std::memset(d->Out.data() + d->Held, 0, size_t(d->Chunk - d->Held));
    d->Held = d->Chunk;
  }
  return d->Out.data();
}

namespace {

// ---------------------------------------------------------------- encoders

// What the TIFF and GIF encoders share: the table of strings seen, the
// current prefix and the bit packing, which differs in order and in when the
// code width grows.
struct TLZWEncoder {
  TLZWHash Hash;
  Integer Roots = 256;  // Clear code
  Integer InitWidth = 9;
  Integer Width = 9;
  Integer MaxCode = 511;
  Integer Next = kFirstFree;
  Integer Prefix = -1;
  bool ClearFlag = false;
  bool MsbFirst = true;
  uint32_t Acc = 0;
  Integer AccBits = 0;
  Byte Block[260];
  Integer BlockLen = 0;
  TStream* Dest = nullptr;

  void FlushBlock() {
    if (BlockLen == 0) return;
    if (MsbFirst) {
      Dest->Write(Block, BlockLen);
    } else {
      const Byte len = Byte(BlockLen);
      Dest->Write(&len, 1);
      Dest->Write(Block, BlockLen);
    }
    BlockLen = 0;
  }
  void PutByte(Byte B) {
    Block[BlockLen++] = B;
    // TIFF strips are plain bytes written in blocks of 254; GIF sub-blocks
    // carry 254 bytes after their length byte.
    if (BlockLen >= 254) FlushBlock();
  }

  void Output(Integer Code) {
    if (MsbFirst) {
      Acc = (Acc << Width) | uint32_t(Code);
      AccBits += Width;
      while (AccBits >= 8) {
        AccBits -= 8;
        PutByte(Byte(Acc >> AccBits));
      }
    } else {
      Acc |= uint32_t(Code) << AccBits;
      AccBits += Width;
      while (AccBits >= 8) {
        PutByte(Byte(Acc));
        Acc >>= 8;
        AccBits -= 8;
      }
    }
    if (ClearFlag) {
      Width = InitWidth;
      MaxCode = (1 << Width) - 1;
      ClearFlag = false;
    } else if (!MsbFirst && Next > MaxCode) {
      // GIF: the width grows once the next code no longer fits; at 12 bits
      // the table may fill completely (4,096) before it is cleared.
      ++Width;
      MaxCode = Width == kMaxBits ? kTableSize : (1 << Width) - 1;
    }
  }

  void Reset() {
    Hash.Clear();
    Next = Roots + 2;
    ClearFlag = true;
    Output(Roots);
  }

  void Start(Integer RootBits, bool Msb, TStream* D) {
    Roots = 1 << RootBits;
    InitWidth = Width = RootBits + 1;
    MaxCode = (1 << Width) - 1;
    MsbFirst = Msb;
    Dest = D;
    Hash.Clear();
    Next = Roots + 2;
    Output(Roots);  // every stream opens with Clear
  }

  void Put(Byte C) {
    if (Prefix < 0) {
      Prefix = C;
      return;
    }
    Integer slot = 0;
    const Integer code = Hash.Find(Prefix, C, slot);
    if (code >= 0) {
      Prefix = code;
      return;
    }
    Output(Prefix);
    const Integer prev = Prefix;
    Prefix = C;
    if (MsbFirst) {
      if (Next > 4093) {
        Reset();
      } else {
        Hash.Store(slot, prev, C, Next++);
        // Early change: the decoder widens one code before the table needs it.
        if (Next > MaxCode) {
          ++Width;
          MaxCode = (1 << Width) - 1;
        }
      }
    } else if (Next < kTableSize) {
      Hash.Store(slot, prev, C, Next++);
    } else {
      Reset();
    }
  }

  void Finish() {
    if (Prefix >= 0) Output(Prefix);
    Output(Roots + 1);
    if (AccBits > 0) PutByte(MsbFirst ? Byte(Acc << (8 - AccBits)) : Byte(Acc));
    Acc = 0;
    AccBits = 0;
    FlushBlock();
  }
};

}  // namespace

void IETIFFLZWCompress(const Byte* Data, Integer Count, TStream* Dest, void*& State) {
  auto* e = static_cast<TLZWEncoder*>(State);
  if (!e) {
    if (!Dest) return;
    e = new (std::nothrow) TLZWEncoder;
    if (!e) return;
    State = e;
    e->Start(8, true, Dest);
  }
  if (!Data) {
    e->Finish();
    delete e;
    State = nullptr;
    return;
  }
  for (Integer i = 0; i < Count; ++i) e->Put(Data[i]);
}

namespace {

// The GIF order of rows: every 8th from 0, every 8th from 4, every 4th from
// 2, every 2nd from 1.
struct TInterlaceWalk {
  Integer Height, Pass = 0, Row = 0;
  bool Interlaced;
  TInterlaceWalk(Integer H, bool I) : Height(H), Interlaced(I) {}
  // The next row to take, -1 after the last.
  Integer NextRow() {
    static constexpr Integer kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    if (!Interlaced) return Row < Height ? Row++ : -1;
    while (Pass < 4) {
      const Integer r = kStart[Pass] + Row * kStep[Pass];
      if (r < Height) {
        ++Row;
        return r;
      }
      ++Pass;
      Row = 0;
    }
    return -1;
  }
};

}  // namespace

void IEGIFLZWCompress(TStream* Dest, Integer Height, Integer Width, bool Interlaced, const Byte* Pixels,
                      Integer BitsPerPixel) {
  if (!Dest) return;
  const Integer codeSize = BitsPerPixel < 2 ? 2 : (BitsPerPixel > 8 ? 8 : BitsPerPixel);
  const Byte cs = Byte(codeSize);
  Dest->Write(&cs, 1);
  auto* e = new (std::nothrow) TLZWEncoder;
  if (!e) return;
  e->Start(codeSize, false, Dest);
  // Indexes beyond the code size would be read back as other codes.
  const Byte mask = Byte((1 << codeSize) - 1);
  if (Pixels && Width > 0 && Height > 0) {
    TInterlaceWalk walk(Height, Interlaced);
    for (Integer y; (y = walk.NextRow()) >= 0;) {
      const Byte* row = Pixels + int64_t(y) * Width;
      for (Integer x = 0; x < Width; ++x) e->Put(row[x] & mask);
    }
  }
  e->Finish();
  delete e;
  const Byte terminator = 0;
  Dest->Write(&terminator, 1);
}

namespace {

// ---------------------------------------------------------------- GIF decoder

struct TGIFDecoder {
  std::vector<Byte> Data;
  int64_t InBits = 0;
  int64_t BitPos = 0;
  Integer Width = 0;

  Integer ReadCode() {
    if (BitPos + Width > InBits) return -1;
    int64_t byte = BitPos >> 3;
    const Integer shift = Integer(BitPos & 7);
    uint32_t w = 0;
    for (int i = 0; i < 3 && byte + i < int64_t(Data.size()); ++i) w |= uint32_t(Data[size_t(byte + i)]) << (8 * i);
    BitPos += Width;
    return Integer((w >> shift) & ((1u << Width) - 1));
  }
  bool BytesLeft() const { return (BitPos + 7) / 8 < int64_t(Data.size()); }
};

// Pixels handed out in GIF row order; pixels past the last row are dropped.
struct TPixelSink {
  Byte* Pixels;
  Integer Width;
  TInterlaceWalk Walk;
  Integer Col = 0;
  Byte* Row = nullptr;
  TPixelSink(Byte* P, Integer W, Integer H, bool I) : Pixels(P), Width(W), Walk(H, I) { NextRow(); }
  void NextRow() {
    const Integer y = Walk.NextRow();
    Row = y < 0 ? nullptr : Pixels + int64_t(y) * Width;
    Col = 0;
  }
  bool Full() const { return Row == nullptr; }
  void Put(const Byte* S, Integer N) {
    while (N > 0 && Row) {
      const Integer n = N < Width - Col ? N : Width - Col;
      std::memcpy(Row + Col, S, size_t(n));
      Col += n;
      S += n;
      N -= n;
      if (Col == Width) NextRow();
    }
  }
};

// Decodes into Sink; false when the data are not a GIF LZW stream.
bool DecodeGIF(TGIFDecoder& D, Integer RootBits, TPixelSink& Sink, TLZWTable& Table) {
  const Integer roots = 1 << RootBits, clear = roots, end = roots + 1;
  Table.InitRoots(roots);
  Integer next = roots + 2;
  D.Width = RootBits + 1;
  Integer prev = -1;
  Byte str[kTableSize + 1];
  while (!Sink.Full()) {
    Integer code = D.ReadCode();
    if (code < 0) return true;  // data used up
    if (code == end) return true;
    if (code == clear) {
      D.Width = RootBits + 1;
      next = roots + 2;
      do code = D.ReadCode();
      while (code == clear);
      if (code < 0) return true;
      if (code == end) return !D.BytesLeft();
      if (code >= next) code = 0;
      const Byte b = Byte(code);
      Sink.Put(&b, 1);
      prev = code;
      continue;
    }
    if (prev < 0) {
      // A stream that does not open with Clear still starts from a root code.
      if (code >= next) return false;
      const Byte b = Byte(code);
      Sink.Put(&b, 1);
      prev = code;
      continue;
    }
    if (code < next) {
      Table.Emit(code, roots, str);
      Sink.Put(str, Table.Length[code]);
      if (next < kTableSize) Table.Add(next++, prev, str[0]);
    } else if (code == next && next < kTableSize) {
      Table.Add(next++, prev, Table.First[prev]);
      Table.Emit(code, roots, str);
      Sink.Put(str, Table.Length[code]);
    } else {
      return false;
    }
    // A full table at 12 bits keeps its codes until the encoder sends Clear,
    // which it may defer as long as it likes.
    if (next == (1 << D.Width) && D.Width < kMaxBits) ++D.Width;
    prev = code;
  }
  return true;
}

}  // namespace

void IEGIFLZWDecompress(TStream* Src, Integer Height, Integer Width, bool Interlaced, Byte* Pixels) {
  if (!Src) return;
  const int64_t start = Src->Position();
  bool ok = false;
  try {
    Byte rootBits = 0;
    if (Src->Read(&rootBits, 1) == 1 && rootBits >= 2 && rootBits <= 9) {
      TGIFDecoder d;
      const int64_t rest = Src->Size() - Src->Position();
      d.Data.reserve(size_t(rest > 0 ? rest : 0) + 1);
      Byte len = 0, block[255];
      while (Src->Read(&len, 1) == 1 && len != 0) {
        const int64_t n = Src->Read(block, len);
        if (n > 0) d.Data.insert(d.Data.end(), block, block + n);
        if (n < len) break;
      }
      d.InBits = int64_t(d.Data.size()) * 8;
      auto table = std::make_unique<TLZWTable>();
      TPixelSink sink(Pixels, Width, Pixels && Width > 0 ? Height : 0, Interlaced);
      ok = DecodeGIF(d, rootBits, sink, *table);
    }
  } catch (...) {
    ok = false;
  }
  if (!ok) Src->SetPosition(start);
}
