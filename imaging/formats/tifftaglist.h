// The directory a TIFF writer builds: entries collected in any order, longer
// values written to the stream at once at even offsets, and the sorted
// directory written last. Shared by the image writer and the EXIF and GPS
// sub-directories. The output is always little-endian.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/base/iehelpers.h"
#include "imaging/core/base/ieprogress.h"
#include "imaging/formats/tiffcommon.h"
#include "platform/base/classes.h"

// Classic TIFF offsets are 32-bit.
constexpr int64_t TIFFMaxOffset = 0xFFFFFFFFll;

struct TTag {
  Word Tag, Type;
  Cardinal Count, Value;
};

// The directory being built. Values longer than 4 bytes go into the stream at
// once, at an even offset from the file's start.
class TTagList {
 public:
  TTagList(TStream* S, int64_t Base, TIEProgressRec& Progress) : FS(S), FBase(Base), FProgress(Progress) {}

  // The current offset from the file's start, made even; 0 (and the abort
  // flag) when it does not fit 32 bits.
  Cardinal EvenOffset() {
    int64_t pos = FS->Position() - FBase;
    if (pos & 1) {
      const Byte zero = 0;
      FS->Write(&zero, 1);
      ++pos;
    }
    if (pos > TIFFMaxOffset) {
      FProgress.Abort();
      return 0;
    }
    return Cardinal(pos);
  }
  Cardinal Block(const void* Data, size_t Size) {
    const Cardinal at = EvenOffset();
    FS->Write(Data, int64_t(Size));
    return at;
  }

  void Add(Word Tag, Word Type, Cardinal Count, Cardinal Value) { FTags.push_back({Tag, Type, Count, Value}); }
  void Long(Word Tag, Cardinal V) { Add(Tag, IETIFFTYPE_LONG, 1, V); }
  void Short(Word Tag, Word V) { Add(Tag, IETIFFTYPE_SHORT, 1, V); }
  void Shorts(Word Tag, const std::vector<Word>& V) {
    if (V.size() <= 2) {
      Add(Tag, IETIFFTYPE_SHORT, Cardinal(V.size()), V[0] | (V.size() > 1 ? Cardinal(V[1]) << 16 : 0));
      return;
    }
    std::vector<Byte> b(V.size() * 2);
    for (size_t i = 0; i < V.size(); ++i) TIFFPut16(&b[2 * i], V[i], true);
    Add(Tag, IETIFFTYPE_SHORT, Cardinal(V.size()), Block(b.data(), b.size()));
  }
  void Longs(Word Tag, const std::vector<Cardinal>& V) {
    if (V.size() == 1) return Long(Tag, V[0]);
    std::vector<Byte> b(V.size() * 4);
    for (size_t i = 0; i < V.size(); ++i) TIFFPut32(&b[4 * i], V[i], true);
    Add(Tag, IETIFFTYPE_LONG, Cardinal(V.size()), Block(b.data(), b.size()));
  }
  void Rational(Word Tag, double V) { Rationals(Tag, &V, 1); }
  void Ascii(Word Tag, const AnsiString& S) {
    if (S.empty()) return;
    if (S.size() <= 4) {
      Byte b[4] = {};
      std::memcpy(b, S.data(), S.size());
      Add(Tag, IETIFFTYPE_ASCII, Cardinal(S.size()), TIFFGet32(b, true));
      return;
    }
    Add(Tag, IETIFFTYPE_ASCII, Cardinal(S.size() + 1), Block(S.c_str(), S.size() + 1));
  }

  // Count signed or unsigned rationals; the signed ones keep their sign
  // in a two's complement numerator.
  void Rationals(Word Tag, const double* V, size_t Count, bool Signed = false) {
    std::vector<Byte> b(Count * 8);
    for (size_t i = 0; i < Count; ++i) {
      Integer num = 0, den = 1;
      if (Signed) {
        IEFloatToFraction(num, den, V[i], 5e-9);
        TIFFPut32(&b[i * 8], Cardinal(num), true);
        TIFFPut32(&b[i * 8 + 4], Cardinal(den), true);
      } else {
        UnsignedFraction(V[i], &b[i * 8]);
      }
    }
    Add(Tag, Signed ? IETIFFTYPE_SRATIONAL : IETIFFTYPE_RATIONAL, Cardinal(Count), Block(b.data(), b.size()));
  }
  // Count bytes of the given one-byte type, inline when they fit 4 bytes.
  void Bytes(Word Tag, Word Type, const void* Data, size_t Count) {
    if (Count == 0) return;
    if (Count <= 4) {
      Byte b[4] = {};
      std::memcpy(b, Data, Count);
      Add(Tag, Type, Cardinal(Count), TIFFGet32(b, true));
      return;
    }
    Add(Tag, Type, Cardinal(Count), Block(Data, Count));
  }
  bool Empty() const { return FTags.empty(); }

 private:
  // A non-negative value as a fraction of two u32, which holds values the
  // signed fraction cannot (above 2^31, or small ones with a large
  // denominator); negative values clamp to 0.
  static void UnsignedFraction(double V, Byte* Out) {
    if (!(V > 0)) V = 0;
    Cardinal num = 0, den = 1;
    if (V >= 4294967295.0) {
      num = 0xFFFFFFFFu;
    } else if (V == static_cast<double>(static_cast<Cardinal>(V))) {
      num = static_cast<Cardinal>(V);
    } else {
      Integer n = 0, d = 1;
      IEFloatToFraction(n, d, V, 5e-9);
      if (n >= 0 && d > 0) {
        num = Cardinal(n), den = Cardinal(d);
      } else {
        // Out of the signed range: scale by the largest power of ten that
        // fits.
        den = 1;
        while (den < 1000000000u && V * den * 10 < 4294967295.0) den *= 10;
        num = static_cast<Cardinal>(V * den + 0.5);
      }
    }
    TIFFPut32(Out, num, true);
    TIFFPut32(Out + 4, den, true);
  }

 public:
  // Writes the directory at an even offset and returns that offset.
  Cardinal WriteDirectory(Cardinal Next) {
    std::stable_sort(FTags.begin(), FTags.end(), [](const TTag& A, const TTag& B) { return A.Tag < B.Tag; });
    std::vector<Byte> b(2 + FTags.size() * 12 + 4);
    TIFFPut16(b.data(), Word(FTags.size()), true);
    Byte* p = b.data() + 2;
    for (const TTag& t : FTags) {
      TIFFPut16(p, t.Tag, true);
      TIFFPut16(p + 2, t.Type, true);
      TIFFPut32(p + 4, t.Count, true);
      TIFFPut32(p + 8, t.Value, true);
      p += 12;
    }
    TIFFPut32(p, Next, true);
    return Block(b.data(), b.size());
  }

 private:
  TStream* FS;
  int64_t FBase;
  TIEProgressRec& FProgress;
  std::vector<TTag> FTags;
};
