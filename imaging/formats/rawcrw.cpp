// The metadata heap of CRW camera files: texts, the image size, two maker-note
// arrays and the embedded JPEGs, the smallest of which becomes the thumbnail.
// Heaps nest; the walk is bounded in depth and never enters a heap twice.
#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "imaging/formats/raw.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ziduzuvio.h"

namespace rawcrw {
namespace {

constexpr int kMaxDepth = 8;
constexpr Integer kMaxEntries = 256;

struct TArray {
  Word Tag;
  std::vector<Word> Values;
};

struct TWalk {
  TStream* S;
  int64_t Size;
  bool BigEndian;
  TIOParamsVals& Params;
  std::vector<TArray> Arrays;
  std::set<std::pair<int64_t, int64_t>> Visited;
  int64_t ThumbPos = -1;
  Integer ThumbW = 0x7FFFFFFE, ThumbH = 0x7FFFFFFE;

  bool ReadAt(int64_t Pos, void* Buf, int64_t Count) {
    if (Pos < 0 || Count < 0 || Pos > Size || Count > Size - Pos) return false;
    S->SetPosition(Pos);
    return S->Read(Buf, Count) == Count;
  }
  uint32_t U16(const Byte* p) const { return BigEndian ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8); }
  uint32_t U32(const Byte* p) const {
    return BigEndian ? (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]
                     : p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
  }

  // Up to a zero byte or Max characters; at least one byte is read. Pos
  // ends after the terminator (or the last byte read).
  AnsiString Text(int64_t& Pos, int64_t Max) {
    AnsiString t;
    if (Max < 1) Max = 1;
    for (int64_t i = 0; i < Max; ++i) {
      Byte c;
      if (!ReadAt(Pos, &c, 1)) break;
      ++Pos;
      if (c == 0) break;
      t.push_back(char(c));
    }
    return t;
  }

  void Candidate(int64_t Pos) {
    try {
      TIEBitmap scratch;
      auto io = TZiduzUvIO::CreateForBitmap(&scratch);
      S->SetPosition(Pos);
      io->ReadParamsFromStreamFormat(S, ieftJPEG);
      if (io->Aborting()) return;
      const Integer w = io->Params().WIDTH, h = io->Params().HEIGHT;
      if (w > 0 && h > 0 && w < ThumbW && h < ThumbH) {
        ThumbPos = Pos;
        ThumbW = w;
        ThumbH = h;
      }
    } catch (...) {
    }
  }

  void Heap(int64_t Start, int64_t Length, int Depth) {
    if (Depth > kMaxDepth || Length < 4 || !Visited.insert({Start, Length}).second) return;
    Byte b[10];
    if (!ReadAt(Start + Length - 4, b, 4)) return;
    const int64_t table = Start + U32(b);
    if (!ReadAt(table, b, 2)) return;
    Integer count = Integer(U16(b));
    if (count > kMaxEntries) count = kMaxEntries;
    for (Integer i = 0; i < count; ++i) {
      const int64_t entry = table + 2 + int64_t(i) * 10;
      if (!ReadAt(entry, b, 10)) return;
      const Word tag = Word(U16(b));
      int64_t size = U32(b + 2);
      int64_t pos = Start + U32(b + 6);
      if ((tag >> 14) == 1) {
        pos = entry + 2;
        size = 8;
      }
      if (pos >= Size) return;
      switch (tag & 0x3FFF) {
        case 0x0805: Params.EXIF_IMAGEDESCRIPTION = Text(pos, size); break;
        case 0x080A: {
          const int64_t begin = pos;
          Params.EXIF_MAKE = Text(pos, size);
          Params.EXIF_MODEL = Text(pos, size - (pos - begin));
          break;
        }
        case 0x080B: Params.EXIF_SOFTWARE = Text(pos, size); break;
        case 0x102A:
        case 0x102D: {
          // Never more values than the file holds.
          const int64_t n = std::min<int64_t>(size / 2, (Size - pos) / 2);
          std::vector<Byte> raw(size_t(n) * 2);
          if (n > 0 && !ReadAt(pos, raw.data(), n * 2)) break;
          TArray a{Word((tag & 0x3FFF) == 0x102A ? 4 : 1), {}};
          for (int64_t k = 0; k < n; ++k) a.Values.push_back(Word(U16(&raw[size_t(k) * 2])));
          Arrays.push_back(std::move(a));
          break;
        }
        case 0x1810:
          if (size >= 8 && ReadAt(pos, b, 8)) {
            Params.SetEXIFExifImageWidth(Integer(U32(b)));
            Params.SetEXIFExifImageHeight(Integer(U32(b + 4)));
          }
          break;
        case 0x2007:
        case 0x2008: Candidate(pos); break;
        case 0x2800: case 0x2807: case 0x3000: case 0x3002: case 0x3003:
        case 0x3004: case 0x300A: case 0x300B:
          Heap(pos, size, Depth + 1);
          break;
        default: break;
      }
    }
  }
};

void WriteMakerNote(TIETagsHandler& H, const std::vector<TArray>& Arrays) {
  H.Clear();
  TMemoryStream* ts = H.TagsStream();
  const Word count = Word(Arrays.size());
  ts->WriteBuffer(&count, 2);
  uint32_t offset = uint32_t(2 + 12 * Arrays.size());
  for (const TArray& a : Arrays) {
    const Word tag = a.Tag, type = 3;
    const uint32_t n = uint32_t(a.Values.size());
    ts->WriteBuffer(&tag, 2);
    ts->WriteBuffer(&type, 2);
    ts->WriteBuffer(&n, 4);
    ts->WriteBuffer(&offset, 4);
    offset += n * 2;
  }
  for (const TArray& a : Arrays)
    if (!a.Values.empty()) ts->WriteBuffer(a.Values.data(), int64_t(a.Values.size()) * 2);
  ts->SetPosition(0);
  H.ReadDirectory();
}

}  // namespace
}  // namespace rawcrw

using namespace rawcrw;

void IEReadRAWMetadata(TStream* Stream, TIOParamsVals& Params) {
  try {
    Byte h[14];
    const int64_t size = Stream->Size();
    Stream->SetPosition(0);
    if (size < 14 || Stream->Read(h, 14) != 14) return;
    const bool ii = h[0] == 'I' && h[1] == 'I', mm = h[0] == 'M' && h[1] == 'M';
    // Both the byte order and the signature: a TIFF-like raw that merely
    // starts with "II" is no heap.
    if (!(ii || mm) || std::memcmp(h + 6, "HEAPCCDR", 8) != 0) return;
    TWalk w{Stream, size, mm, Params, {}, {}};
    const int64_t header = w.U32(h + 2);
    if (header < 14 || header >= size) return;
    w.Heap(header, size - header, 0);

    if (!Params.EXIF_THUMBNAIL) Params.EXIF_THUMBNAIL = std::make_unique<TIEBitmap>();
    Params.EXIF_THUMBNAIL->FreeImage(true);
    if (w.ThumbPos >= 0) {
      auto io = TZiduzUvIO::CreateForBitmap(Params.EXIF_THUMBNAIL.get());
      Stream->SetPosition(w.ThumbPos);
      io->LoadFromStreamJPEG(Stream);
    }
    WriteMakerNote(Params.EXIF_MAKERNOTE, w.Arrays);
  } catch (...) {
    // What was stored before stays.
  }
}
