// Maker notes and in-memory TIFF directories. Every offset and length taken
// from a file is checked in 64 bits against the data before it is used.
#include "imaging/core/meta/ietifftags.h"

#include "imaging/core/base/iestreams.h"
#include "platform/base/fileutils.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <set>
#include <string>

namespace {

// ---------------------------------------------------------------------------
// Byte order

uint16_t Get16(const Byte* p, bool Big) {
  return Big ? static_cast<uint16_t>((p[0] << 8) | p[1]) : static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const Byte* p, bool Big) {
  return Big ? (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]
             : uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void Put16(Byte* p, uint16_t v, bool Big) {
  if (Big) {
    p[0] = Byte(v >> 8);
    p[1] = Byte(v);
  } else {
    p[0] = Byte(v);
    p[1] = Byte(v >> 8);
  }
}
void Put32(Byte* p, uint32_t v, bool Big) {
  if (Big) {
    p[0] = Byte(v >> 24);
    p[1] = Byte(v >> 16);
    p[2] = Byte(v >> 8);
    p[3] = Byte(v);
  } else {
    p[0] = Byte(v);
    p[1] = Byte(v >> 8);
    p[2] = Byte(v >> 16);
    p[3] = Byte(v >> 24);
  }
}

// Reverses the byte order of every item of a value of Len bytes, in place, so
// that multi-byte numbers change order while bytes and texts stay as they are.
void SwapItems(Byte* p, int64_t Len, Integer DataType) {
  int width = 1;
  switch (DataType) {
    case IETIFFTYPE_SHORT:
    case IETIFFTYPE_SSHORT: width = 2; break;
    case IETIFFTYPE_LONG:
    case IETIFFTYPE_SLONG:
    case IETIFFTYPE_FLOAT:
    case IETIFFTYPE_RATIONAL:  // two LONGs
    case IETIFFTYPE_SRATIONAL: width = 4; break;
    case IETIFFTYPE_DOUBLE: width = 8; break;
    default: return;
  }
  for (int64_t i = 0; i + width <= Len; i += width) std::reverse(p + i, p + i + width);
}

int64_t EvenUp(int64_t v) { return v + (v & 1); }

// ---------------------------------------------------------------------------
// Maker-note layouts, tried in this order.

struct TDeviceRow {
  const char* Signature;
  int SignatureLength;
  Byte OffsetMode, HasByteOrderBlock, ByteOrderMode;
};

const TDeviceRow KnownDevices[] = {
    {"SONY CAM \0\0\0", 12, 0, 0, 0},
    {"SONY DSC \0\0\0", 12, 0, 0, 0},
    {"Nikon\0\x02\x10\0\0", 10, 1, 1, 1},
    {"QVC\0\0\0", 6, 0, 0, 3},
    {"EPSON\0\x01\0", 8, 0, 0, 0},
    {"Nikon\0\x01\0", 8, 0, 0, 0},
    {"Panasonic\0\0\0", 12, 0, 0, 0},
};

constexpr int MakerNoteMaxEntries = 256;
constexpr Integer MakerNoteMaxLength = 65000;

// ---------------------------------------------------------------------------
// TIFF handler limits: one place that states what a hostile file may cost.

// Sub-directories nest this deep at most (IFD0 -> EXIF -> interoperability is 2).
constexpr int MaxSubIFDDepth = 8;
// Directories in the main chain.
constexpr size_t MaxIFDs = 65536;
// The model may hold this many bytes per byte of stream (entries, data,
// pieces); pieces that overlap in the file cannot make it grow beyond.
constexpr int64_t BudgetPerStreamByte = 4;
constexpr int64_t BudgetBase = 64 * 1024;
constexpr int64_t EntryCost = 16;

bool IsSubIFDTag(Word Tag) { return Tag == 34665 || Tag == 34853 || Tag == 40965; }

struct TPiecePair {
  Word OffsetTag, CountTag;
};
const TPiecePair TIFFPairs[] = {{273, 279}, {324, 325}, {513, 514}};
const TPiecePair HDPhotoPairs[] = {{48320, 48321}, {48322, 48323}};

int FindIn(const TIETIFFEntryList& L, Word Tag) {
  for (size_t i = 0; i < L.size(); ++i)
    if (L[i].Tag == Tag) return static_cast<int>(i);
  return -1;
}

// The bytes that hold an entry's values: inline or its data block.
const Byte* ValueBytes(const TIETIFFEntry& E, int64_t& Available) {
  if (E.DataLength() <= 4) {
    Available = 4;
    return E.Value;
  }
  Available = static_cast<int64_t>(E.Data.size());
  return E.Data.data();
}

// Item of a SHORT or LONG entry as an unsigned number; false for other types
// or an item that is not there.
bool ItemU(const TIETIFFEntry& E, uint32_t Index, bool Big, uint32_t& Out) {
  int64_t avail = 0;
  const Byte* p = ValueBytes(E, avail);
  if (Index >= E.Count) return false;
  if (E.DataType == IETIFFTYPE_SHORT) {
    if (int64_t(Index) * 2 + 2 > avail) return false;
    Out = Get16(p + int64_t(Index) * 2, Big);
    return true;
  }
  if (E.DataType == IETIFFTYPE_LONG) {
    if (int64_t(Index) * 4 + 4 > avail) return false;
    Out = Get32(p + int64_t(Index) * 4, Big);
    return true;
  }
  return false;
}

// Reads a TIFF structure from a stream under the limits above.
class TTIFFReader {
 public:
  TTIFFReader(TStream* S, bool Big, Word Magic) : FS(S), FBig(Big), FMagic(Magic) {
    FSize = S->Size();
    FBudget = FSize * BudgetPerStreamByte + BudgetBase;
  }

  struct TDir {
    std::unique_ptr<TIETIFFEntryList> List;
    int64_t Next = 0;
  };

  TDir ReadIFD(int64_t Pos, int Depth, std::vector<int64_t>& Path) {
    TDir r;
    Byte cnt[2];
    if (!ReadAt(Pos, cnt, 2)) return r;
    const int64_t n = Get16(cnt, FBig);
    std::vector<Byte> raw;
    if (!Charge(n * EntryCost) || !ReadBlock(Pos + 2, n * 12 + 4, raw, false)) {
      // The entries or the next-directory slot run past the end of the stream.
      return r;
    }
    auto list = std::make_unique<TIETIFFEntryList>();
    list->reserve(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
      const Byte* p = raw.data() + i * 12;
      TIETIFFEntry e;
      e.Tag = Get16(p, FBig);
      e.DataType = Get16(p + 2, FBig);
      e.Count = Get32(p + 4, FBig);
      std::memcpy(e.Value, p + 8, 4);
      const int64_t len = e.DataLength();
      if (IsSubIFDTag(e.Tag)) {
        // A sub-directory is kept only when it can be read; a stale offset
        // written back into another file would point at anything.
        if (len > 4 || e.Count == 0 || Depth >= MaxSubIFDDepth) continue;
        const int64_t off = e.DataType == IETIFFTYPE_SHORT ? Get16(e.Value, FBig) : Get32(e.Value, FBig);
        if (std::find(Path.begin(), Path.end(), off) != Path.end()) continue;  // a cycle
        Path.push_back(off);
        TDir sub = ReadIFD(off, Depth + 1, Path);
        Path.pop_back();
        if (!sub.List) continue;
        e.SubIFD = std::move(sub.List);
      } else if (len > 4) {
        const int64_t off = Get32(e.Value, FBig);
        if (!ReadBlock(off, len, e.Data, true)) continue;
      }
      list->push_back(std::move(e));
    }
    ResolvePieces(*list);
    std::stable_sort(list->begin(), list->end(),
                     [](const TIETIFFEntry& a, const TIETIFFEntry& b) { return a.Tag < b.Tag; });
    r.Next = Get32(raw.data() + n * 12, FBig);
    r.List = std::move(list);
    return r;
  }

 private:
  bool Charge(int64_t Bytes) {
    if (Bytes < 0 || Bytes > FBudget) return false;
    FBudget -= Bytes;
    return true;
  }
  bool Inside(int64_t Pos, int64_t Len) const { return Pos >= 0 && Len >= 0 && Len <= FSize && Pos <= FSize - Len; }
  bool ReadAt(int64_t Pos, void* Buf, int64_t Len) {
    if (!Inside(Pos, Len)) return false;
    FS->Seek(Pos, soBeginning);
    return FS->Read(Buf, Len) == Len;
  }
  // Reads Len bytes at Pos into Out; Charged blocks count against the budget.
  bool ReadBlock(int64_t Pos, int64_t Len, std::vector<Byte>& Out, bool Charged) {
    if (!Inside(Pos, Len)) return false;
    if (Charged && !Charge(Len)) return false;
    Out.resize(static_cast<size_t>(Len));
    return Len == 0 || ReadAt(Pos, Out.data(), Len);
  }

  void RemoveTag(TIETIFFEntryList& L, Word Tag) {
    L.erase(std::remove_if(L.begin(), L.end(), [Tag](const TIETIFFEntry& e) { return e.Tag == Tag; }), L.end());
  }

  // Loads the pieces of every offset/length pair. A pair whose offsets and
  // lengths differ in number, or whose pieces do not lie inside the stream,
  // is dropped whole: its offsets would be wrong in any file written from it.
  void ResolvePieces(TIETIFFEntryList& L) {
    const int comp = FindIn(L, 259);
    uint32_t compression = 0;
    if (comp >= 0) ItemU(L[comp], 0, FBig, compression);
    if (compression == 6 && FindIn(L, 273) >= 0 && FindIn(L, 513) >= 0) {
      // Old-style JPEG: the stream is reached through 513/514 alone.
      for (Word t : {273, 519, 520, 521}) RemoveTag(L, t);
    }
    auto resolve = [&](const TPiecePair& pair) {
      const int oi = FindIn(L, pair.OffsetTag);
      if (oi < 0) return;
      const int ci = FindIn(L, pair.CountTag);
      TIETIFFEntry& oe = L[oi];
      bool ok = ci >= 0 && L[ci].Count == oe.Count;
      std::vector<std::vector<Byte>> pieces;
      std::vector<uint32_t> offsets;
      for (uint32_t k = 0; ok && k < oe.Count; ++k) {
        uint32_t off = 0, len = 0;
        ok = ItemU(oe, k, FBig, off) && ItemU(L[ci], k, FBig, len);
        if (!ok) break;
        pieces.emplace_back();
        ok = ReadBlock(off, len, pieces.back(), true);
        offsets.push_back(off);
      }
      if (!ok) {
        RemoveTag(L, pair.OffsetTag);
        RemoveTag(L, pair.CountTag);
        return;
      }
      // The offsets stay readable as LONG items until they are rewritten.
      oe.DataType = IETIFFTYPE_LONG;
      oe.Data.clear();
      std::memset(oe.Value, 0, 4);
      if (oe.Count == 1) {
        Put32(oe.Value, offsets[0], FBig);
      } else if (oe.Count > 1) {
        oe.Data.resize(size_t(oe.Count) * 4);
        for (size_t k = 0; k < offsets.size(); ++k) Put32(oe.Data.data() + k * 4, offsets[k], FBig);
      }
      oe.HasPieces = true;
      oe.Pieces = std::move(pieces);
    };
    for (const auto& p : TIFFPairs) resolve(p);
    if (FMagic == 444)
      for (const auto& p : HDPhotoPairs) resolve(p);
  }

  TStream* FS;
  bool FBig;
  Word FMagic;
  int64_t FSize = 0;
  int64_t FBudget = 0;
};

// Writes directories with their data; entries are patched once the data
// positions are known.
class TTIFFWriter {
 public:
  TTIFFWriter(TStream* S, bool Big) : FS(S), FBig(Big) {}

  // Writes List at Pos (even) and returns the position after its data;
  // NextSlot receives the position of its next-directory offset.
  int64_t WriteIFD(TIETIFFEntryList& List, int64_t Pos, int64_t* NextSlot = nullptr) {
    std::stable_sort(List.begin(), List.end(),
                     [](const TIETIFFEntry& a, const TIETIFFEntry& b) { return a.Tag < b.Tag; });
    // A JPEG interchange stream without strips gets a temporary StripOffsets
    // entry pointing at its start of scan; it goes after the sorted ones.
    const bool extra273 = FindIn(List, 513) >= 0 && FindIn(List, 273) < 0;
    const size_t n = List.size() + (extra273 ? 1 : 0);
    if (n > 0xFFFF) throw EWriteError("Too many TIFF directory entries");
    std::vector<Byte> entries(n * 12, 0);
    Byte head[2];
    Put16(head, static_cast<uint16_t>(n), FBig);
    At(Pos);
    Out(head, 2);
    Out(entries.data(), int64_t(entries.size()));
    if (NextSlot) *NextSlot = Pos + 2 + int64_t(n) * 12;
    const Byte zero4[4] = {};
    Out(zero4, 4);
    int64_t data = Pos + 2 + int64_t(n) * 12 + 4;
    int64_t sos = -1;
    for (size_t i = 0; i < List.size(); ++i) {
      TIETIFFEntry& e = List[i];
      Byte* p = entries.data() + i * 12;
      Put16(p, e.Tag, FBig);
      Put16(p + 2, e.DataType, FBig);
      Put32(p + 4, e.Count, FBig);
      std::memcpy(p + 8, e.Value, 4);
      if (e.SubIFD) {
        data = Align(data);
        const int64_t at = data;
        data = WriteIFD(*e.SubIFD, at);
        Put32(p + 8, Offset32(at), FBig);
      } else if (e.HasPieces) {
        data = Align(data);
        std::vector<Byte> items(e.Pieces.size() * 4);
        for (size_t k = 0; k < e.Pieces.size(); ++k) {
          const auto& piece = e.Pieces[k];
          Put32(items.data() + k * 4, Offset32(data), FBig);
          if (e.Tag == 513 && k == 0) sos = StartOfScan(piece, data);
          Out(piece.data(), int64_t(piece.size()));
          data += int64_t(piece.size());
        }
        Put16(p + 2, IETIFFTYPE_LONG, FBig);
        Put32(p + 4, static_cast<uint32_t>(e.Pieces.size()), FBig);
        std::memset(p + 8, 0, 4);
        if (items.size() <= 4) {
          if (!items.empty()) std::memcpy(p + 8, items.data(), items.size());  // no pieces: value 0
        } else {
          data = Align(data);
          Put32(p + 8, Offset32(data), FBig);
          Out(items.data(), int64_t(items.size()));
          data += int64_t(items.size());
        }
      } else if (e.DataLength() > 4) {
        data = Align(data);
        Put32(p + 8, Offset32(data), FBig);
        Out(e.Data.data(), int64_t(e.Data.size()));
        data += int64_t(e.Data.size());
      }
    }
    if (extra273) {
      Byte* p = entries.data() + List.size() * 12;
      Put16(p, 273, FBig);
      Put16(p + 2, IETIFFTYPE_LONG, FBig);
      Put32(p + 4, 1, FBig);
      Put32(p + 8, Offset32(sos < 0 ? data : sos), FBig);
    }
    At(Pos + 2);
    Out(entries.data(), int64_t(entries.size()));
    At(data);
    return data;
  }

  void PatchNext(int64_t SlotPos, int64_t Next) {
    Byte b[4];
    Put32(b, Offset32(Next), FBig);
    At(SlotPos);
    Out(b, 4);
  }

  // Moves to an even position, padding with a zero byte.
  int64_t Align(int64_t Pos) {
    if (Pos & 1) {
      const Byte z = 0;
      At(Pos);
      Out(&z, 1);
    }
    return EvenUp(Pos);
  }

  void At(int64_t Pos) { FS->Seek(Pos, soBeginning); }
  void Out(const void* p, int64_t n) {
    if (n > 0) FS->WriteBuffer(p, n);
  }

 private:
  static uint32_t Offset32(int64_t v) {
    if (v < 0 || v > int64_t(std::numeric_limits<uint32_t>::max()))
      throw EWriteError("TIFF offsets exceed 4 GB");
    return static_cast<uint32_t>(v);
  }
  static int64_t StartOfScan(const std::vector<Byte>& Jpeg, int64_t At) {
    for (size_t i = 0; i + 1 < Jpeg.size(); ++i)
      if (Jpeg[i] == 0xFF && Jpeg[i + 1] == 0xDA) return At + int64_t(i);
    return At + int64_t(Jpeg.size());
  }

  TStream* FS;
  bool FBig;
};

}  // namespace

Integer IETIFFTypeSize(Integer DataType) {
  switch (DataType) {
    case IETIFFTYPE_SHORT:
    case IETIFFTYPE_SSHORT: return 2;
    case IETIFFTYPE_LONG:
    case IETIFFTYPE_SLONG:
    case IETIFFTYPE_FLOAT: return 4;
    case IETIFFTYPE_RATIONAL:
    case IETIFFTYPE_SRATIONAL:
    case IETIFFTYPE_DOUBLE: return 8;
    default: return 1;
  }
}

// ===========================================================================
// TIETagsHandler

TIETagsHandler::TIETagsHandler() = default;

TIETagsHandler::~TIETagsHandler() { Clear(); }

void TIETagsHandler::Clear() {
  FRawData.clear();
  FRawData.shrink_to_fit();
  FIFD.clear();
  FDeviceInfo = TIEEXIFMakerNoteDeviceInfo();
  FTagsStream.Clear();
}

void TIETagsHandler::Assign(const TIETagsHandler* Source) {
  if (!Source || Source == this) return;
  Clear();
  auto* src = const_cast<TMemoryStream*>(&Source->FTagsStream);
  if (src->Size() > 0) FTagsStream.WriteBuffer(src->Memory(), src->Size());
  FTagsStream.SetPosition(0);
  ReadDirectory();
  FRawData = Source->FRawData;
  FDeviceInfo = Source->FDeviceInfo;
}

void TIETagsHandler::ReadDirectory() {
  FIFD.clear();
  const int64_t size = FTagsStream.Size();
  if (size < 2) return;
  const Byte* ts = static_cast<const Byte*>(FTagsStream.Memory());
  // Only whole entries: a stream built by hand may be shorter than its count says.
  const int64_t n = std::min<int64_t>(Get16(ts, false), (size - 2) / 12);
  FIFD.resize(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) {
    const Byte* p = ts + 2 + i * 12;
    FIFD[i].Tag = Get16(p, false);
    FIFD[i].DataType = Get16(p + 2, false);
    FIFD[i].Count = Get32(p + 4, false);
    FIFD[i].Value = Get32(p + 8, false);
  }
}

void TIETagsHandler::ReadFromStream(TStream* Stream, Integer Size, Boolean LittleEndian) {
  Clear();
  if (!Stream || Size <= 0) return;
  const int64_t start = Stream->Position();
  // Never more than the stream holds, whatever the enclosing directory claims.
  int64_t want = std::min<int64_t>(Size, std::max<int64_t>(Stream->Size() - start, 0));
  FRawData.resize(static_cast<size_t>(want));
  const int64_t got = want > 0 ? Stream->Read(FRawData.data(), want) : 0;
  FRawData.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
  const int64_t size = static_cast<int64_t>(FRawData.size());
  const Byte* raw = FRawData.data();

  int64_t p = 0;
  if (size > 1) {
    for (const auto& row : KnownDevices) {
      const int64_t m = std::min<int64_t>(size, row.SignatureLength);
      if (std::memcmp(raw, row.Signature, static_cast<size_t>(m)) == 0) {
        FDeviceInfo.Signature.assign(row.Signature, row.SignatureLength);
        FDeviceInfo.OffsetMode = row.OffsetMode;
        FDeviceInfo.HasByteOrderBlock = row.HasByteOrderBlock;
        FDeviceInfo.ByteOrderMode = row.ByteOrderMode;
        break;
      }
    }
    p = static_cast<int64_t>(FDeviceInfo.Signature.size());
  }
  const int64_t blockPos = p;
  if (FDeviceInfo.HasByteOrderBlock) {
    if (p + 8 > size) return Clear();
    std::memcpy(FDeviceInfo.ByteOrderBlock, raw + p, 8);
    p += 8;
  }
  bool big;
  switch (FDeviceInfo.ByteOrderMode) {
    case 1: big = !(FDeviceInfo.ByteOrderBlock[0] == 'I' && FDeviceInfo.ByteOrderBlock[1] == 'I'); break;
    case 2: big = false; break;
    case 3: big = true; break;
    default: big = !LittleEndian; break;
  }
  // The count and every entry must lie inside the note.
  if (p + 2 > size) return Clear();
  const int64_t count = Get16(raw + p, big);
  p += 2;
  if (count > MakerNoteMaxEntries || p + 12 * count > size) return Clear();

  // Entries whose data overlap cannot make the tag stream grow beyond a few
  // times the note.
  int64_t budget = std::min<int64_t>(4 * size, std::numeric_limits<int32_t>::max());
  std::vector<Byte> head(static_cast<size_t>(2 + 12 * count), 0);
  Put16(head.data(), static_cast<uint16_t>(count), false);
  FTagsStream.WriteBuffer(head.data(), int64_t(head.size()));
  for (int64_t i = 0; i < count; ++i) {
    const Byte* e = raw + p + 12 * i;
    const uint16_t tag = Get16(e, big);
    const uint16_t type = Get16(e + 2, big);
    uint32_t cnt = Get32(e + 4, big);
    uint32_t value = 0;
    const int64_t len = int64_t(cnt) * IETIFFTypeSize(type);
    if (len <= 4) {
      Byte v[4];
      std::memcpy(v, e + 8, 4);
      if (big) SwapItems(v, len, type);
      value = Get32(v, false);
    } else {
      const int64_t off = Get32(e + 8, big);
      const int64_t pos = FDeviceInfo.OffsetMode == 1 ? off + blockPos : off - start;
      if (pos >= 0 && pos <= size - len && len <= budget) {
        budget -= len;
        std::vector<Byte> data(raw + pos, raw + pos + len);
        if (big) SwapItems(data.data(), len, type);
        FTagsStream.Seek(0, soEnd);
        value = static_cast<uint32_t>(FTagsStream.Position());
        FTagsStream.WriteBuffer(data.data(), len);
      } else {
        cnt = 0;
        value = 0;
      }
    }
    Byte out[12];
    Put16(out, tag, false);
    Put16(out + 2, type, false);
    Put32(out + 4, cnt, false);
    Put32(out + 8, value, false);
    FTagsStream.Seek(2 + 12 * i, soBeginning);
    FTagsStream.WriteBuffer(out, 12);
  }
  FTagsStream.SetPosition(0);
  ReadDirectory();
}

Integer TIETagsHandler::WriteToStream(TStream* Stream) {
  const int64_t tsSize = FTagsStream.Size();
  if (!Stream || tsSize < 2) return 0;
  const Byte* ts = static_cast<const Byte*>(FTagsStream.Memory());
  const int64_t count = std::min<int64_t>(Get16(ts, false), (tsSize - 2) / 12);

  const auto& dev = FDeviceInfo;
  const int64_t sigLen = static_cast<int64_t>(dev.Signature.size());
  bool big;
  if (dev.HasByteOrderBlock)
    big = !(dev.ByteOrderBlock[0] == 'I' && dev.ByteOrderBlock[1] == 'I');
  else
    big = dev.ByteOrderMode == 3;  // a note of fixed order must be read back in that order

  const int64_t start = Stream->Position();
  const int64_t headLen = sigLen + (dev.HasByteOrderBlock ? 8 : 0);
  const int64_t dirLen = 2 + 12 * count + 4;
  // Lay out the data area first, so that a note too long to keep writes nothing.
  struct TPlan {
    int64_t DataAt = -1, Len = 0;
  };
  std::vector<TPlan> plan(static_cast<size_t>(count));
  int64_t end = start + headLen + dirLen;
  for (int64_t i = 0; i < count; ++i) {
    const Byte* e = ts + 2 + 12 * i;
    const int64_t len = int64_t(Get32(e + 4, false)) * IETIFFTypeSize(Get16(e + 2, false));
    const int64_t at = Get32(e + 8, false);
    if (len > 4 && at <= tsSize - len) {
      plan[i].DataAt = end;
      plan[i].Len = len;
      end = EvenUp(end + len);
      if (end - start > MakerNoteMaxLength) return 0;
    }
  }
  if (end - start > MakerNoteMaxLength) return 0;

  std::vector<Byte> note(static_cast<size_t>(end - start), 0);
  std::memcpy(note.data(), dev.Signature.data(), static_cast<size_t>(sigLen));
  if (dev.HasByteOrderBlock) {
    Byte* b = note.data() + sigLen;
    std::memcpy(b, dev.ByteOrderBlock, 8);
    if (dev.OffsetMode == 1) Put32(b + 4, 8, big);
  }
  Byte* dir = note.data() + headLen;
  Put16(dir, static_cast<uint16_t>(count), big);
  for (int64_t i = 0; i < count; ++i) {
    const Byte* e = ts + 2 + 12 * i;
    const uint16_t type = Get16(e + 2, false);
    uint32_t cnt = Get32(e + 4, false);
    const int64_t len = int64_t(cnt) * IETIFFTypeSize(type);
    Byte v[4];
    std::memcpy(v, e + 8, 4);
    if (len <= 4) {
      if (big) SwapItems(v, len, type);
    } else if (plan[i].DataAt >= 0) {
      Byte* d = note.data() + (plan[i].DataAt - start);
      std::memcpy(d, ts + Get32(e + 8, false), static_cast<size_t>(len));
      if (big) SwapItems(d, len, type);
      const int64_t off = dev.OffsetMode == 1 ? plan[i].DataAt - start - sigLen : plan[i].DataAt;
      if (off < 0 || off > int64_t(std::numeric_limits<uint32_t>::max())) return 0;
      Put32(v, static_cast<uint32_t>(off), big);
    } else {
      // The tag stream does not hold the data: keep the entry without it.
      cnt = 0;
      std::memset(v, 0, 4);
    }
    Byte* o = dir + 2 + 12 * i;
    Put16(o, Get16(e, false), big);
    Put16(o + 2, type, big);
    Put32(o + 4, cnt, big);
    std::memcpy(o + 8, v, 4);
  }
  Stream->WriteBuffer(note.data(), int64_t(note.size()));
  return static_cast<Integer>(note.size());
}

// ===========================================================================
// TIETIFFHandler

TIETIFFEntry TIETIFFEntry::Clone() const {
  TIETIFFEntry c;
  c.Tag = Tag;
  c.DataType = DataType;
  c.Count = Count;
  std::memcpy(c.Value, Value, 4);
  c.Data = Data;
  if (SubIFD) {
    c.SubIFD = std::make_unique<TIETIFFEntryList>();
    c.SubIFD->reserve(SubIFD->size());
    for (const auto& e : *SubIFD) c.SubIFD->push_back(e.Clone());
  }
  c.HasPieces = HasPieces;
  c.Pieces = Pieces;
  return c;
}

int64_t TIETIFFEntry::DataLength() const { return int64_t(Count) * IETIFFTypeSize(DataType); }

TIETIFFHandler::TIETIFFHandler() = default;

TIETIFFHandler::TIETIFFHandler(const WideString& FileName) {
  if (!IEFileExistsW(FileName)) return;
  TIEWideFileStream f(FileName, 32);  // read, deny write
  ReadStream(&f);
}

TIETIFFHandler::TIETIFFHandler(TStream* Stream) {
  if (Stream) ReadStream(Stream);
}

TIETIFFHandler::~TIETIFFHandler() = default;

std::unique_ptr<TIETIFFHandler> TIETIFFHandler::CreateFromFile(const WideString& FileName) {
  return std::make_unique<TIETIFFHandler>(FileName);
}

std::unique_ptr<TIETIFFHandler> TIETIFFHandler::CreateFromStream(TStream* Stream) {
  return std::make_unique<TIETIFFHandler>(Stream);
}

void TIETIFFHandler::Clear() {
  FIFDs.clear();
  FBigEndian = false;
  FMagic = 42;
}

TIETIFFEntryList* TIETIFFHandler::IFD(Integer Index) {
  return Index >= 0 && Index < IFDCount() ? FIFDs[Index].get() : nullptr;
}

const TIETIFFEntryList* TIETIFFHandler::IFD(Integer Index) const {
  return Index >= 0 && Index < IFDCount() ? FIFDs[Index].get() : nullptr;
}

Boolean TIETIFFHandler::ReadStream(TStream* Stream) {
  Clear();
  if (!Stream) return false;
  Byte h[8];
  if (Stream->Read(h, 8) != 8) return false;
  if (h[0] == 'M' && h[1] == 'M')
    FBigEndian = true;
  else if (!(h[0] == 'I' && h[1] == 'I'))
    return false;
  FMagic = Get16(h + 2, FBigEndian);
  // A BigTIFF header has 64-bit offsets: read as a classic one it would be
  // taken apart wrongly and written back broken.
  if (FMagic == 43) {
    Clear();
    return false;
  }
  TTIFFReader reader(Stream, FBigEndian, FMagic);
  std::set<int64_t> visited;
  int64_t pos = Get32(h + 4, FBigEndian);
  while (pos != 0 && FIFDs.size() < MaxIFDs && visited.insert(pos).second) {
    std::vector<int64_t> path{pos};
    TTIFFReader::TDir d = reader.ReadIFD(pos, 0, path);
    if (!d.List) break;
    FIFDs.push_back(std::move(d.List));
    pos = d.Next;
  }
  return true;
}

Integer TIETIFFHandler::FindTag(Integer IFDIndex, Integer Tag) const {
  const TIETIFFEntryList* l = IFD(IFDIndex);
  if (!l) return -1;
  for (size_t i = 0; i < l->size(); ++i)
    if ((*l)[i].Tag == Tag) return static_cast<Integer>(i);
  return -1;
}

Integer TIETIFFHandler::GetValue(const TIETIFFEntryList* List, Integer EntryIndex, Integer ItemIndex) const {
  if (!List || EntryIndex < 0 || EntryIndex >= Integer(List->size()) || ItemIndex < 0) return 0;
  const TIETIFFEntry& e = (*List)[EntryIndex];
  if (Cardinal(ItemIndex) >= e.Count) return 0;
  int64_t avail = 0;
  const Byte* p = ValueBytes(e, avail);
  const int64_t w = IETIFFTypeSize(e.DataType);
  const int64_t at = int64_t(ItemIndex) * w;
  if (at + w > avail) return 0;
  switch (e.DataType) {
    case IETIFFTYPE_BYTE:
    case IETIFFTYPE_ASCII:
    case IETIFFTYPE_UNDEFINED: return p[at];
    case IETIFFTYPE_SBYTE: return static_cast<int8_t>(p[at]);
    case IETIFFTYPE_SHORT:
    case IETIFFTYPE_SSHORT: return Get16(p + at, FBigEndian);
    case IETIFFTYPE_LONG:
    case IETIFFTYPE_SLONG: return static_cast<Integer>(Get32(p + at, FBigEndian));
    default: return 0;
  }
}

Integer TIETIFFHandler::GetValueByTag(const TIETIFFEntryList* List, Integer Tag, Integer ItemIndex) const {
  if (!List || Tag < 0 || Tag > 0xFFFF) return 0;
  const int i = FindIn(*List, static_cast<Word>(Tag));
  if (i < 0) return 0;
  return GetValue(List, i, ItemIndex);
}

namespace {

int64_t ClampTo(double v, int64_t lo, int64_t hi) {
  if (std::isnan(v)) return 0;
  if (v <= double(lo)) return lo;
  if (v >= double(hi)) return hi;
  return static_cast<int64_t>(v);
}

std::string NumberText(double v) {
  if (std::isfinite(v) && v == std::trunc(v) && std::fabs(v) < 1e15) return std::to_string(static_cast<int64_t>(v));
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);  // the C locale writes "."
  return buf;
}

}  // namespace

void TIETIFFHandler::SetTag(TIETIFFEntryList* List, Integer Tag, Integer DataType, double Value) {
  if (!List) return;
  if (DataType == IETIFFTYPE_ASCII) return SetTag(List, Tag, DataType, NumberText(Value));
  const Word tag = static_cast<Word>(Tag);
  List->erase(std::remove_if(List->begin(), List->end(), [tag](const TIETIFFEntry& e) { return e.Tag == tag; }),
              List->end());
  TIETIFFEntry e;
  e.Tag = tag;
  e.DataType = static_cast<Word>(DataType);
  e.Count = 1;
  const bool big = FBigEndian;
  Byte buf[8] = {};
  switch (DataType) {
    case IETIFFTYPE_SHORT: Put16(buf, uint16_t(ClampTo(double(Round(Value)), 0, 0xFFFF)), big); break;
    case IETIFFTYPE_SSHORT: Put16(buf, uint16_t(ClampTo(double(Round(Value)), INT16_MIN, INT16_MAX)), big); break;
    case IETIFFTYPE_LONG: Put32(buf, uint32_t(ClampTo(double(Round(Value)), 0, UINT32_MAX)), big); break;
    case IETIFFTYPE_SLONG: Put32(buf, uint32_t(ClampTo(double(Round(Value)), INT32_MIN, INT32_MAX)), big); break;
    case IETIFFTYPE_SBYTE: buf[0] = Byte(ClampTo(double(Round(Value)), -128, 127)); break;
    case IETIFFTYPE_RATIONAL:
      // Four decimals: numerator Trunc(Value x 10000) over 10000.
      Put32(buf, uint32_t(ClampTo(std::trunc(Value * 10000.0), 0, UINT32_MAX)), big);
      Put32(buf + 4, 10000, big);
      break;
    case IETIFFTYPE_SRATIONAL:
      Put32(buf, uint32_t(ClampTo(std::trunc(Value * 10000.0), INT32_MIN, INT32_MAX)), big);
      Put32(buf + 4, 10000, big);
      break;
    case IETIFFTYPE_FLOAT: {
      const float f = static_cast<float>(Value);
      uint32_t u;
      std::memcpy(&u, &f, 4);
      Put32(buf, u, big);
      break;
    }
    case IETIFFTYPE_DOUBLE: {
      uint64_t u;
      std::memcpy(&u, &Value, 8);
      Put32(buf, uint32_t(big ? u >> 32 : u), big);
      Put32(buf + 4, uint32_t(big ? u : u >> 32), big);
      break;
    }
    default: buf[0] = Byte(ClampTo(double(Round(Value)), 0, 255)); break;  // BYTE, UNDEFINED, others
  }
  const int64_t len = e.DataLength();
  if (len <= 4)
    std::memcpy(e.Value, buf, 4);
  else
    e.Data.assign(buf, buf + len);
  List->push_back(std::move(e));
}

void TIETIFFHandler::SetTag(TIETIFFEntryList* List, Integer Tag, Integer DataType, const AnsiString& Value) {
  if (!List) return;
  if (DataType != IETIFFTYPE_ASCII) {
    const char* s = Value.c_str();
    char* end = nullptr;
    const double v = std::strtod(s, &end);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (Value.empty() || end == s || (end && *end)) throw EConvertError(W("'") + Utf8ToWide(Value) + W("' is not a valid number"));
    return SetTag(List, Tag, DataType, v);
  }
  const Word tag = static_cast<Word>(Tag);
  List->erase(std::remove_if(List->begin(), List->end(), [tag](const TIETIFFEntry& e) { return e.Tag == tag; }),
              List->end());
  TIETIFFEntry e;
  e.Tag = tag;
  e.DataType = IETIFFTYPE_ASCII;
  e.Count = static_cast<Cardinal>(Value.size() + 1);
  if (e.Count <= 4)
    std::memcpy(e.Value, Value.c_str(), e.Count);
  else
    e.Data.assign(Value.c_str(), Value.c_str() + e.Count);
  List->push_back(std::move(e));
}

void TIETIFFHandler::DeleteTag(Integer IFDIndex, Integer EntryIndex) {
  TIETIFFEntryList* l = IFD(IFDIndex);
  if (!l || EntryIndex < 0 || EntryIndex >= Integer(l->size())) return;
  l->erase(l->begin() + EntryIndex);
}

void TIETIFFHandler::CopyTag(Integer SrcIFDIndex, Integer SrcEntryIndex, const TIETIFFHandler* Source,
                             Integer DstIFDIndex) {
  if (!Source) return;
  const TIETIFFEntryList* src = Source->IFD(SrcIFDIndex);
  TIETIFFEntryList* dst = IFD(DstIFDIndex);
  if (!src || !dst || SrcEntryIndex < 0 || SrcEntryIndex >= Integer(src->size())) return;
  if (Source->FBigEndian != FBigEndian) return;
  // Copy before removing: source and destination may be the same directory.
  TIETIFFEntry copy = (*src)[SrcEntryIndex].Clone();
  const Word tag = copy.Tag;
  dst->erase(std::remove_if(dst->begin(), dst->end(), [tag](const TIETIFFEntry& e) { return e.Tag == tag; }),
             dst->end());
  dst->push_back(std::move(copy));
}

void TIETIFFHandler::WriteStream(TStream* Stream, Integer IFDIndex) {
  if (!Stream) return;
  const int64_t start = Stream->Position();
  TTIFFWriter w(Stream, FBigEndian);
  Byte h[8];
  h[0] = h[1] = FBigEndian ? 'M' : 'I';
  Put16(h + 2, FMagic, FBigEndian);
  Put32(h + 4, 0, FBigEndian);
  w.Out(h, 8);
  std::vector<TIETIFFEntryList*> dirs;
  if (TIETIFFEntryList* one = IFD(IFDIndex))
    dirs.push_back(one);
  else
    for (auto& d : FIFDs) dirs.push_back(d.get());
  int64_t slot = start + 4;  // where the offset of the next directory goes
  int64_t pos = start + 8;
  for (TIETIFFEntryList* d : dirs) {
    pos = w.Align(pos);
    w.PatchNext(slot, pos);
    pos = w.WriteIFD(*d, pos, &slot);
  }
  w.At(pos);
}

// The file is written under a temporary name beside the target and renamed
// over it only when every byte was written, so a failed write never costs the
// file that was there (it may be the one this handler was read from).
void TIETIFFHandler::WriteFile(const WideString& FileName, Integer IFDIndex) {
  WideString folder, tmp;
  IEExtractFilePathW(FileName, folder);
  IEMakeTempFileName(W("gttiff"), folder, tmp);
  try {
    {
      TIEWideFileStream f(tmp, 0xFFFF);
      WriteStream(&f, IFDIndex);
    }
    if (!RenameFile(tmp, FileName, true)) throw EFCreateError(W("Cannot create file \"") + FileName + W("\"."));
  } catch (...) {
    DeleteFile(tmp);
    throw;
  }
}
