// Content probes of the picture formats. Each reads only what its header needs,
// with every count and offset checked against the data before it is used.
#include "imaging/io/ieprobes.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/devices/hdphoto.h"

int64_t IEReadAt(TStream* S, int64_t Pos, void* Buf, int64_t Count) {
  if (Pos < 0 || Count <= 0) return 0;
  if (S->Seek(Pos, soBeginning) != Pos) return 0;
  return S->Read(Buf, Count);
}

namespace {

bool ReadExact(TStream* S, int64_t Pos, void* Buf, int64_t Count) { return IEReadAt(S, Pos, Buf, Count) == Count; }

Word LE16(const Byte* p) { return static_cast<Word>(p[0] | p[1] << 8); }
Word BE16(const Byte* p) { return static_cast<Word>(p[0] << 8 | p[1]); }
Cardinal LE32(const Byte* p) {
  return static_cast<Cardinal>(p[0]) | static_cast<Cardinal>(p[1]) << 8 | static_cast<Cardinal>(p[2]) << 16 |
         static_cast<Cardinal>(p[3]) << 24;
}
Cardinal BE32(const Byte* p) {
  return static_cast<Cardinal>(p[0]) << 24 | static_cast<Cardinal>(p[1]) << 16 | static_cast<Cardinal>(p[2]) << 8 |
         static_cast<Cardinal>(p[3]);
}

// One directory entry as the file stores it, decoded to host order.
struct TIFDEntry {
  Word Tag;
  Word Type;
  Cardinal Count;
  const Byte* Value;  // the 4 value bytes in file order
};

// Directory 0 of a TIFF-structured stream whose header starts at Start. The
// entries are read only when the whole directory lies inside the stream.
class TIFD0 {
 public:
  bool Load(TStream* S, int64_t Start, bool AllowBigEndian) {
    Byte h[8];
    if (!ReadExact(S, Start, h, 8)) return false;
    if (h[0] == 'I' && h[1] == 'I') {
      FLittle = true;
    } else if (AllowBigEndian && h[0] == 'M' && h[1] == 'M') {
      FLittle = false;
    } else {
      return false;
    }
    int64_t offset = FLittle ? LE32(h + 4) : BE32(h + 4);
    int64_t avail = S->Size() - Start;
    if (offset >= avail) return false;
    Byte c[2];
    if (!ReadExact(S, Start + offset, c, 2)) return false;
    Integer count = FLittle ? LE16(c) : BE16(c);
    if (count == 0) return false;
    int64_t bytes = static_cast<int64_t>(count) * 12;
    if (offset + 2 + bytes > avail) return false;
    FData.resize(static_cast<size_t>(bytes));
    return ReadExact(S, Start + offset + 2, FData.data(), bytes);
  }

  bool LittleEndian() const { return FLittle; }
  Integer Count() const { return static_cast<Integer>(FData.size() / 12); }
  TIFDEntry Entry(Integer i) const {
    const Byte* p = FData.data() + static_cast<size_t>(i) * 12;
    return {U16(p), U16(p + 2), U32(p + 4), p + 8};
  }
  const TIFDEntry* Find(Word Tag, TIFDEntry& E) const {
    for (Integer i = 0; i < Count(); ++i) {
      E = Entry(i);
      if (E.Tag == Tag) return &E;
    }
    return nullptr;
  }
  bool Has(Word Tag) const {
    TIFDEntry e;
    return Find(Tag, e) != nullptr;
  }
  // A SHORT or LONG value held in the entry itself; Default when absent.
  Cardinal Number(Word Tag, Cardinal Default) const {
    TIFDEntry e;
    if (!Find(Tag, e)) return Default;
    if (e.Type == 3) return U16(e.Value);
    if (e.Type == 4) return U32(e.Value);
    return Default;
  }
  Word U16(const Byte* p) const { return FLittle ? LE16(p) : BE16(p); }
  Cardinal U32(const Byte* p) const { return FLittle ? LE32(p) : BE32(p); }

 private:
  bool FLittle = true;
  std::vector<Byte> FData;
};

bool ProbeIconDirectory(TStream* Stream, Word Type) {
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    int64_t size = Stream->Size();
    if (size < 23) return false;
    Byte h[6];
    if (!ReadExact(Stream, start, h, 6)) return false;
    Word count = LE16(h + 4);
    if (LE16(h) != 0 || LE16(h + 2) != Type || count == 0) return false;
    if (start + 6 + static_cast<int64_t>(count) * 16 > size) return false;
    std::vector<Byte> dir(static_cast<size_t>(count) * 16);
    if (!ReadExact(Stream, start + 6, dir.data(), static_cast<int64_t>(dir.size()))) return false;
    for (Word i = 0; i < count; ++i) {
      const Byte* e = dir.data() + static_cast<size_t>(i) * 16;
      int64_t after = start + 6 + (static_cast<int64_t>(i) + 1) * 16;
      if (e[3] != 0 || LE32(e + 8) == 0 || static_cast<int64_t>(LE32(e + 12)) < after) return false;
    }
    return true;
  });
}

bool IsBlank(Byte c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

bool IEProbeTIFF(TStream* Stream) {
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    if (Stream->Size() - start <= 8) return false;
    Byte h[9];
    if (!ReadExact(Stream, start, h, 9)) return false;
    if (h[0] == 'M' && h[1] == 'M' && h[8] == 0xBA) return false;
    TIFD0 ifd;
    return ifd.Load(Stream, start, true) && ifd.Has(256) && ifd.Has(257);
  });
}

bool IEProbeTIFFRaw(TStream* Stream) {
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    TIFD0 ifd;
    if (!ifd.Load(Stream, start, true)) return false;
    TIFDEntry e;
    if (ifd.Find(50706, e) && e.Type == 1 && e.Count == 4) return true;
    if (ifd.Find(262, e) && e.Type == 3 && e.Count == 1) {
      Word v = ifd.U16(e.Value);
      if (v == 32803 || v == 34892) return true;
    }
    return ifd.Has(330) && ifd.Has(37398) && ifd.Number(256, 0) < 200 && ifd.Number(257, 0) < 200;
  });
}

bool IEProbeHDPhoto(TStream* Stream) {
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    if (Stream->Size() - start <= 8) return false;
    TIFD0 ifd;
    if (!ifd.Load(Stream, start, false)) return false;
    for (Word tag : {48256, 48257, 48129, 48320, 48321})
      if (!ifd.Has(tag)) return false;
    return true;
  });
}

bool IEProbePNG(TStream* Stream) {
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    Byte h[8];
    if (!ReadExact(Stream, start, h, 8)) return false;
    return h[0] == 137 && h[1] == 80 && h[2] == 78 && h[3] == 71;
  });
}

bool IEProbeDICOM(TStream* Stream) {
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    Byte m[4];
    return ReadExact(Stream, start + 128, m, 4) && std::memcmp(m, "DICM", 4) == 0;
  });
}

bool IEProbeICO(TStream* Stream) { return ProbeIconDirectory(Stream, 1); }
bool IEProbeCUR(TStream* Stream) { return ProbeIconDirectory(Stream, 2); }

bool IEProbeTGA(TStream* Stream) {
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    Byte h[18];
    if (!ReadExact(Stream, start, h, 18)) return false;
    if (h[0] == 'P' && h[1] >= '2' && h[1] <= '6' && (h[2] == ' ' || h[2] == '#' || h[2] == '\n')) return false;
    Byte type = h[2], depth = h[16];
    bool typeOk = (type >= 1 && type <= 3) || (type >= 9 && type <= 11);
    bool depthOk = depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
    return typeOk && h[1] <= 1 && depthOk && LE16(h + 12) != 0 && LE16(h + 14) != 0;
  });
}

bool IEProbePNM(TStream* Stream) {
  // A header is a few dozen bytes; comments may make it longer, but a probe
  // need not look further than this. The maxval that follows the size is not
  // examined.
  constexpr int64_t kScanLimit = 65536;
  constexpr size_t kMaxTokenLength = 32;
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    Byte buf[4096];
    int64_t got = 0, used = 0, scanned = 0;
    if (Stream->Seek(start, soBeginning) != start) return false;
    auto next = [&](Byte& c) {
      if (used == got) {
        if (scanned >= kScanLimit) return false;
        got = Stream->Read(buf, sizeof buf);
        used = 0;
        if (got <= 0) return false;
        scanned += got;
      }
      c = buf[used++];
      return true;
    };
    // Tokens: runs of non-blank bytes; "#" starts a comment that runs to the end of the line.
    auto token = [&](std::string& t) {
      t.clear();
      Byte c;
      for (;;) {
        if (!next(c)) return !t.empty();
        if (c == '#') {
          while (next(c) && c != '\n' && c != '\r') {
          }
          if (!t.empty()) return true;
          continue;
        }
        if (IsBlank(c)) {
          if (!t.empty()) return true;
          continue;
        }
        if (t.size() >= kMaxTokenLength) return false;
        t.push_back(static_cast<char>(c));
      }
    };
    auto number = [](const std::string& t, int64_t& v) {
      if (t.empty() || t.size() > 10) return false;
      v = 0;
      for (char ch : t) {
        if (ch < '0' || ch > '9') return false;
        v = v * 10 + (ch - '0');
      }
      return v <= INT32_MAX;
    };
    std::string t;
    if (!token(t)) return false;
    if (t.size() != 2 || t[0] != 'P' || t[1] < '1' || t[1] > '6') return false;
    int64_t width = 0, height = 0;
    if (!token(t) || !number(t, width)) return false;
    if (!token(t) || !number(t, height)) return false;
    return width > 0 && height > 0;
  });
}

bool IEProbeJP2(TStream* Stream) {
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    Byte h[12];
    if (!ReadExact(Stream, start, h, 12)) return false;
    return BE32(h) == 12 && BE32(h + 4) == 0x6A502020 && BE32(h + 8) == 0x0D0A870A;
  });
}

bool IEProbeJ2K(TStream* Stream) {
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    Byte h[4];
    if (!ReadExact(Stream, start, h, 4)) return false;
    return BE16(h) == 0xFF4F && BE16(h + 2) == 0xFF51;
  });
}

bool IEProbeDCX(TStream* Stream) {
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    int64_t size = Stream->Size();
    Byte h[4];
    if (!ReadExact(Stream, start, h, 4) || LE32(h) != 987654321u) return false;
    // The table ends with a 0 entry, after 1024 entries, or where the data ends.
    Byte table[1024 * 4];
    int64_t got = IEReadAt(Stream, start + 4, table, sizeof table);
    for (int64_t i = 0; i + 4 <= got; i += 4) {
      Cardinal offset = LE32(table + i);
      if (offset == 0) break;
      if (static_cast<int64_t>(offset) >= size) return false;
    }
    return true;
  });
}

bool IEProbeWMF(TStream* Stream) {
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    Byte h[22 + 18];
    int64_t got = IEReadAt(Stream, start, h, sizeof h);
    if (got < 4) return false;
    int64_t at = LE32(h) == 0x9AC6CDD7u ? 22 : 0;
    if (got < at + 18) return false;
    const Byte* m = h + at;
    return LE16(m) == 1 && LE16(m + 2) == 9 && LE16(m + 16) == 0;
  });
}

bool IEProbeEMF(TStream* Stream) {
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    // A short stream leaves zeros, never stale bytes; the signature needs 44.
    Byte h[100] = {};
    if (IEReadAt(Stream, start, h, sizeof h) < 44) return false;
    return LE32(h) == 1 && LE32(h + 40) == 0x464D4520u;
  });
}

bool IEProbePSD(TStream* Stream) {
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    Byte h[26];
    if (!ReadExact(Stream, start, h, 26)) return false;
    Word channels = BE16(h + 12), depth = BE16(h + 22), mode = BE16(h + 24);
    return std::memcmp(h, "8BPS", 4) == 0 && BE16(h + 4) == 1 && channels >= 1 && channels <= 24 && depth >= 1 &&
           depth <= 16 && mode < 10;
  });
}

bool IEIsVectorObjectsStream(TStream* Stream) {
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    Byte h[4];
    if (!ReadExact(Stream, start, h, 4)) return false;
    return std::memcmp(h, "IEV", 3) == 0 && h[3] >= 0x31 && h[3] <= 0x51;
  });
}

bool IEIsLayersStream(TStream* Stream) {
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    Byte h[25];
    if (!ReadExact(Stream, start, h, 25)) return false;
    // Versions 1 to 6 exist; a later one has a layout no reader here knows.
    const Integer version = static_cast<Integer>(LE32(h + 13));
    return std::memcmp(h, "ZIDUZUVLAYERS", 13) == 0 && version > 0 && version <= 6;
  });
}

bool IEIsImageWithObjectsStream(TStream* Stream) {
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    Byte h[4];
    if (!ReadExact(Stream, start, h, 4)) return false;
    int64_t offset = static_cast<Integer>(LE32(h));
    if (offset > Stream->Size()) return false;
    Stream->SetPosition(start + 4);
    if (!IEIsLayersStream(Stream)) return false;
    if (offset < 0 || Stream->Seek(offset, soBeginning) != offset) return false;
    return IEIsVectorObjectsStream(Stream);
  });
}

int64_t IEProbeJPEG(TStream* Stream, bool Search) {
  int64_t result = -1;
  IEProbeAtPosition(Stream, [&](int64_t start) {
    Byte buf[152];
    int64_t got = IEReadAt(Stream, start, buf, Search ? 152 : 3);
    for (int64_t i = 0; i + 3 <= got; ++i) {
      if (buf[i] == 0xFF && buf[i + 1] == 0xD8 && buf[i + 2] == 0xFF) {
        result = Search ? start + i : 0;
        return true;
      }
    }
    return false;
  });
  return result;
}

bool IEWICAvailable() { return HDPhotoCodecAvailable(); }
