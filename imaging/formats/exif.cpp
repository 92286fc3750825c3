// EXIF blocks through the TIFF reader and writer: the APP1 block of JPEG
// files (read, built, and the JPEG codec's marker hooks), and the EXIF data
// of TIFF-structured camera files. Every pass runs on a private abort flag,
// so a block that does not parse neither marks the picture as having EXIF
// nor cancels the load it is part of.
#include <atomic>
#include <cstring>
#include <memory>

#include "imaging/core/geometry/ierotate.h"
#include "imaging/core/meta/ietifftags.h"
#include "imaging/core/meta/iemetarecords.h"
#include "imaging/formats/tiffread.h"
#include "imaging/formats/tiffwrite.h"
#include "imaging/io/ieexif.h"

namespace exif {
namespace {

constexpr Byte kAPP1 = 0xE1;
constexpr size_t kMaxSegment = 65533;  // a marker's data after its length field

struct TLocalProgress {
  std::atomic<bool> Aborting{false};
  TIEProgressRec Rec{Aborting};
};

// Reads image Index of the TIFF structure at the stream start into Bitmap
// (nil: the parameters only) with offsets counted from that start.
bool ReadPass(TStream* S, TIOParamsVals& P, TIEBitmap* Bitmap, Integer Index, bool Thumbnail) {
  TLocalProgress pr;
  std::unique_ptr<TIEMask> mask;
  Integer count = 0;
  P.SetImageIndex(Index);
  S->Seek(0, soBeginning);
  IEReadTIFF(Bitmap, S, count, &P, pr.Rec, Bitmap == nullptr, mask, true, true, Thumbnail);
  return !pr.Aborting.load() && (Bitmap == nullptr || Bitmap->Width() > 0);
}

void EmptyThumbnail(TIOParamsVals& P) {
  if (!P.EXIF_THUMBNAIL) P.EXIF_THUMBNAIL = std::make_unique<TIEBitmap>();
  P.EXIF_THUMBNAIL->FreeImage(true);
}

bool AllZero(TIEBitmap* B) {
  const int64_t row = B->RowLen();
  for (Integer y = 0; y < B->Height(); ++y) {
    const Byte* r = static_cast<const Byte*>(B->GetScanline(y));
    for (int64_t i = 0; i < row; ++i)
      if (r[i]) return false;
  }
  return true;
}

}  // namespace
}  // namespace exif

using namespace exif;

void IECopyEXIFParams(const TIOParamsVals& Source, TIOParamsVals& Dest) {
  const bool hasExif = Dest.EXIF_HASEXIF;
  // Whole groups: every field the EXIF and GPS records hold, then the few
  // that go through setters. The present-tag list is Source's as it is, so
  // that tags Source never had are not written on the next save.
  static_cast<TIEEXIFFields&>(Dest) = Source;
  static_cast<TIEGPSFields&>(Dest) = Source;
  Dest.EXIF_HASEXIF = hasExif;
  Dest.EXIF_TAGSPRESENT.Assign(&Source.EXIF_TAGSPRESENT);
  Dest.EXIF_IMAGEDESCRIPTION = Source.TIFF_IMAGEDESCRIPTION;
  Dest.SetEXIFOrientation(Source.EXIF_ORIENTATION);
  Dest.SetEXIFXResolution(Source.EXIF_XRESOLUTION);
  Dest.SetEXIFYResolution(Source.EXIF_YRESOLUTION);
  Dest.EXIF_MAKERNOTE.Assign(&Source.EXIF_MAKERNOTE);
}

bool IESaveEXIFToBuffer(TIOParamsVals& Params, std::vector<Byte>& Buffer, bool WithHeader) {
  Buffer.clear();
  TMemoryStream m;
  TLocalProgress pr;
  IEWriteTIFF(&m, false, nullptr, Params, pr.Rec, true);
  if (pr.Aborting.load()) return false;
  if (Params.EXIF_THUMBNAIL && !Params.EXIF_THUMBNAIL->IsEmpty()) {
    TIOParamsVals tp(nullptr);
    tp.SetImageIndex(1);
    tp.TIFF_COMPRESSION = 6;
    m.Seek(0, soBeginning);
    TLocalProgress tpr;
    IEWriteTIFF(&m, true, Params.EXIF_THUMBNAIL.get(), tp, tpr.Rec, true);
    if (tpr.Aborting.load()) return false;
  }
  const Byte* d = static_cast<const Byte*>(m.Memory());
  if (WithHeader) Buffer.assign({'E', 'x', 'i', 'f', 0, 0});
  Buffer.insert(Buffer.end(), d, d + m.Size());
  return true;
}

bool IELoadEXIFFromBuffer(const void* Data, Integer Size, TIOParamsVals& Params) {
  // The header and at least a TIFF header after it.
  if (!IEIsEXIFBlock(Data, Size) || Size < 6 + 8) return false;
  TMemoryStream m;
  m.Write(static_cast<const Byte*>(Data) + 6, Size - 6);
  TIOParamsVals scratch(nullptr);
  if (!ReadPass(&m, scratch, nullptr, 0, true)) return false;
  IECopyEXIFParams(scratch, Params);
  Params.EXIF_HASEXIF = true;
  EmptyThumbnail(Params);
  if (!ReadPass(&m, scratch, Params.EXIF_THUMBNAIL.get(), 1, true)) {
    Params.EXIF_THUMBNAIL->FreeImage(true);
  } else {
    IEApplyExifOrientation(Params.EXIF_THUMBNAIL.get(), Params.TIFF_ORIENTATION);
  }
  return true;
}

bool IELoadCameraRawEXIF(TStream* Stream, TIOParamsVals& Params) {
  if (Stream == nullptr) return false;
  const int64_t start = Stream->Position();
  // The structure is read from a copy so that its offsets count from its
  // own start, wherever it sits in the file.
  TMemoryStream m;
  const int64_t size = Stream->Size() - start;
  if (size < 8) return false;
  m.SetSize(size);
  const bool copied = Stream->Read(m.Memory(), size) == size;
  Stream->Seek(start, soBeginning);
  if (!copied) return false;
  TIOParamsVals scratch(nullptr);
  if (!ReadPass(&m, scratch, nullptr, 0, true)) return false;
  IECopyEXIFParams(scratch, Params);
  Params.EXIF_HASEXIF = true;
  EmptyThumbnail(Params);
  TIEBitmap a, b;
  const bool okA = ReadPass(&m, scratch, &a, 0, true) && a.Width() > 0 && !AllZero(&a);
  const bool okB = ReadPass(&m, scratch, &b, 1, true) && b.Width() > 0 && !AllZero(&b);
  if (okA && (!okB || a.Width() < b.Width()))
    Params.EXIF_THUMBNAIL->Assign(&a);
  else if (okB)
    Params.EXIF_THUMBNAIL->Assign(&b);
  return true;
}

bool IELoadEXIFFromTIFFStream(TStream* Stream, TIOParamsVals& Params) {
  if (Stream == nullptr) return false;
  const int64_t start = Stream->Position();
  EmptyThumbnail(Params);
  TLocalProgress pr;
  std::unique_ptr<TIEMask> mask;
  Integer count = 0;
  IEReadTIFF(nullptr, Stream, count, &Params, pr.Rec, true, mask, true, true, true);
  Stream->Seek(start, soBeginning);
  return !pr.Aborting.load();
}

bool IEJpegReadExifMarkers(TIOParamsVals& Params, TIEBitmap* Bitmap) {
  TIEMarkerList& mk = Params.JPEG_MARKERS;
  bool exifFound = false, xmpFound = false;
  for (Integer i = 0; i < mk.GetCount() && !(exifFound && xmpFound); ++i) {
    if (mk.GetMarkerType(i) != kAPP1) continue;
    const Byte* d = mk.GetMarkerData(i);
    const Integer n = mk.GetMarkerLength(i);
    if (!exifFound && IEIsEXIFBlock(d, n))
      exifFound = IELoadEXIFFromBuffer(d, n, Params);
    else if (!xmpFound && IELoadXMP(d, n, Params.XMP_INFO))
      xmpFound = true;
  }
  if (exifFound && Params.JPEG_ENABLEADJUSTORIENTATION && Bitmap && !Bitmap->IsEmpty() &&
      Params.EXIF_ORIENTATION >= 2 && Params.EXIF_ORIENTATION <= 8) {
    IEApplyExifOrientation(Bitmap, Params.EXIF_ORIENTATION);
    // The pixels are upright now; a later save must not turn them again.
    Params.SetEXIFOrientation(1);
  }
  return exifFound;
}

void IEJpegSaveExifMarkers(TIOParamsVals& Params) {
  TIEMarkerList& mk = Params.JPEG_MARKERS;
  if (Params.EXIF_HASEXIF) {
    std::vector<Byte> block;
    bool built = IESaveEXIFToBuffer(Params, block, true);
    // A segment holds at most 65533 bytes: a block that outgrows it loses
    // its thumbnail rather than being cut or dropped whole.
    if (built && block.size() > kMaxSegment && Params.EXIF_THUMBNAIL && !Params.EXIF_THUMBNAIL->IsEmpty()) {
      std::unique_ptr<TIEBitmap> thumb = std::move(Params.EXIF_THUMBNAIL);
      built = IESaveEXIFToBuffer(Params, block, true);
      Params.EXIF_THUMBNAIL = std::move(thumb);
    }
    if (built && block.size() <= kMaxSegment) {
      Integer at = -1;
      for (Integer i = 0; i < mk.GetCount() && at < 0; ++i)
        if (mk.GetMarkerType(i) == kAPP1 && IEIsEXIFBlock(mk.GetMarkerData(i), mk.GetMarkerLength(i))) at = i;
      if (at >= 0)
        mk.SetMarker(at, kAPP1, block.data(), static_cast<Word>(block.size()));
      else
        mk.AddMarker(kAPP1, block.data(), static_cast<Word>(block.size()));
    }
  }
  if (!Params.XMP_INFO.empty()) {
    std::vector<Byte> block;
    IESaveXMP(Params.XMP_INFO, block);
    if (!block.empty() && block.size() <= kMaxSegment) {
      Integer at = -1;
      for (Integer i = 0; i < mk.GetCount() && at < 0; ++i)
        if (mk.GetMarkerType(i) == kAPP1 && IEFindXMPPacket(mk.GetMarkerData(i), mk.GetMarkerLength(i))) at = i;
      if (at >= 0)
        mk.SetMarker(at, kAPP1, block.data(), static_cast<Word>(block.size()));
      else
        mk.AddMarker(kAPP1, block.data(), static_cast<Word>(block.size()));
    }
  }
}

bool IEInjectEXIFTags(TStream* InStream, TStream* OutStream, const WideString& InFileName,
                      const WideString& OutFileName, Integer IfdIndex, TIOParamsVals& Params) {
  try {
    std::vector<Byte> block;
    const bool wasExif = Params.EXIF_HASEXIF;
    Params.EXIF_HASEXIF = true;
    const bool built = IESaveEXIFToBuffer(Params, block, false);
    Params.EXIF_HASEXIF = wasExif;
    if (!built) return false;
    TMemoryStream src;
    src.Write(block.data(), int64_t(block.size()));
    src.SetPosition(0);
    TIETIFFHandler source;
    if (!source.ReadStream(&src)) return false;

    const int64_t start = InStream ? InStream->Position() : 0;
    std::unique_ptr<TIETIFFHandler> target;
    if (InStream) {
      // The handler counts offsets from position 0: the TIFF is copied out.
      TMemoryStream copy;
      const int64_t size = InStream->Size() - start;
      if (size < 8) return false;
      copy.SetSize(size);
      const bool read = InStream->Read(copy.Memory(), size) == size;
      InStream->SetPosition(start);
      if (!read) return false;
      copy.SetPosition(0);
      target = std::make_unique<TIETIFFHandler>();
      if (!target->ReadStream(&copy)) return false;
    } else {
      target = TIETIFFHandler::CreateFromFile(InFileName);
    }
    // HD Photo containers (magic 444) carry their image planes as pieces of
    // the handler, so a rewrite keeps them.
    if (!target || target->IFDCount() == 0 || (target->Magic() != 42 && target->Magic() != 444) ||
        target->IFD(IfdIndex) == nullptr ||
        target->BigEndian() != source.BigEndian())
      return false;
    static const Word kTags[] = {271,   272,   306,   274,   282,   283,   296,   305,   315,   318,   531,  319,
                                 529,   532,   33432, 18246, 40091, 40092, 40093, 40094, 40095, 34665, 34853};
    bool copied = false;
    for (Word tag : kTags) {
      const Integer at = source.FindTag(0, tag);
      if (at < 0) continue;
      target->CopyTag(0, at, &source, IfdIndex);
      copied = true;
    }
    if (!copied) return false;
    if (OutStream) {
      // Written in memory first: a failure leaves the output untouched.
      TMemoryStream out;
      target->WriteStream(&out, -1);
      if (out.Size() == 0) return false;
      const int64_t at = OutStream == InStream ? start : OutStream->Position();
      OutStream->SetPosition(at);
      if (OutStream->Write(out.Memory(), out.Size()) != out.Size()) return false;
      // A shorter rewrite must not leave the old tail behind.
      if (OutStream == InStream && OutStream->Size() > at + out.Size()) OutStream->SetSize(at + out.Size());
    } else {
      target->WriteFile(OutFileName, -1);
    }
    return true;
  } catch (...) {
    return false;
  }
}
