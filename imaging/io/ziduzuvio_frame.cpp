// The per-format load and save methods: one frame around every codec call
// (target preparation, parameter reset, stream header, progress record,
// resolution, view refresh and the finish event), with one row per format
// saying what differs.
#include <cstring>
#include <limits>

#include "imaging/core/base/iestreams.h"
#include "imaging/io/ieformatdesc.h"
#include "imaging/io/iejpeg.h"
#include "imaging/io/iedpi.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/ziduzuvio.h"
#include "imaging/io/ziduzuvio_safefile.h"
#include "platform/base/strutils.h"

// ---------------------------------------------------------------------------
// Stream headers

TIEStreamHeaderResult IEReadStreamHeader(TStream* Stream, const char* Magic, int64_t& DataStart, int64_t& DataLength) {
  if (Stream == nullptr || Magic == nullptr) return iehNone;
  int64_t start = -1;
  try {
    start = Stream->Position();
    const int64_t avail = Stream->Size() - start;
    if (start < 0 || avail < 0) return iehNone;
    Byte h[IEStreamHeaderSize];
    const int64_t got = Stream->Read(h, avail < IEStreamHeaderSize ? avail : IEStreamHeaderSize);
    if (got == IEStreamHeaderSize && std::memcmp(h, Magic, 4) == 0 && h[4] == 0) {
      const int32_t length =
          static_cast<int32_t>(static_cast<uint32_t>(h[8]) | static_cast<uint32_t>(h[9]) << 8 |
                               static_cast<uint32_t>(h[10]) << 16 | static_cast<uint32_t>(h[11]) << 24);
      // The length comes from outside: it must fit in what the stream holds.
      if (length < 0 || length > avail - IEStreamHeaderSize) {
        Stream->SetPosition(start);
        return iehInvalid;
      }
      DataStart = start + IEStreamHeaderSize;
      DataLength = length;
      Stream->SetPosition(DataStart);
      return iehValid;
    }
    if (std::memcmp(Magic, "PCX2", 4) == 0 && got >= IEOldPCXHeaderSize && std::memcmp(h, "PCX\0", 4) == 0) {
      DataStart = start + IEOldPCXHeaderSize;
      DataLength = avail - IEOldPCXHeaderSize;
      Stream->SetPosition(DataStart);
      return iehValid;
    }
    Stream->SetPosition(start);
  } catch (...) {
    if (start >= 0) {
      try {
        Stream->SetPosition(start);
      } catch (...) {
      }
    }
  }
  return iehNone;
}

bool IEWriteStreamHeader(TStream* Stream, const char* Magic, int64_t Length) {
  if (Stream == nullptr || Magic == nullptr || Length < 0 || Length > std::numeric_limits<int32_t>::max()) return false;
  Byte h[IEStreamHeaderSize] = {};
  std::memcpy(h, Magic, 4);
  for (int i = 0; i < 4; ++i) h[8 + i] = static_cast<Byte>(Length >> (8 * i));
  try {
    return Stream->Write(h, IEStreamHeaderSize) == IEStreamHeaderSize;
  } catch (...) {
    return false;
  }
}

namespace {

// A read-only view of Length bytes of Source from Start: the data a stream
// header announces. A reader sees position 0 at the data's start and cannot
// read past its end.
class TIEStreamWindow : public TStream {
 public:
  TIEStreamWindow(TStream* Source, int64_t Start, int64_t Length) : FSource(Source), FStart(Start), FLength(Length) {}
  int64_t Read(void* Buffer, int64_t Count) override {
    if (Count <= 0 || FPos >= FLength) return 0;
    const int64_t n = Count < FLength - FPos ? Count : FLength - FPos;
    if (FSource->Seek(FStart + FPos, soBeginning) != FStart + FPos) return 0;
    const int64_t got = FSource->Read(Buffer, n);
    if (got > 0) FPos += got;
    return got > 0 ? got : 0;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    int64_t base = Origin == soBeginning ? 0 : Origin == soCurrent ? FPos : FLength;
    int64_t to = base + Offset;
    if (to < 0) return -1;
    FPos = to;
    return FPos;
  }
  int64_t Size() override { return FLength; }
  void SetSize(int64_t) override {}

 private:
  TStream* FSource;
  int64_t FStart, FLength;
  int64_t FPos = 0;
};

// The row of a built-in id; every caller names a format that has one.
const TIEFormatDescriptor& Row(TIEFileType FileType) { return *IEFindFormatDescriptor(FileType); }

TRGB ColorToTriple(TColor C) { return IEColorToRGB(C); }
TColor TripleToColor(const TRGB& T) {
  return static_cast<TColor>(T.r | (static_cast<uint32_t>(T.g) << 8) | (static_cast<uint32_t>(T.b) << 16));
}

// The background a load leaves for whoever draws the picture without a view:
// the PNG's own, or the GIF's transparent colour, else its background.
void SettleBackground(TZiduzUvIO& IO, const TIEFormatDescriptor& F) {
  const TIOParamsVals& p = IO.Params();
  if (F.PNGBackground) IO.SetBackground(TripleToColor(p.PNG_BACKGROUND));
  if (F.GIFBackground) IO.SetBackground(TripleToColor(p.GIF_TRANSPARENT ? p.GIF_TRANSPCOLOR : p.GIF_BACKGROUND));
}

}  // namespace

struct TZiduzUvIOFrame {
  static TIEProgressRec Progress(TZiduzUvIO& IO) {
    return TIEProgressRec(
        IO.FAborting, [&IO](TObject* Sender, Integer per) { IO.DoProgress(Sender, per); }, &IO);
  }

  static Integer ImageCount(TZiduzUvIO& IO) { return IO.Aborting() ? 0 : IO.FParams->IMAGECOUNT; }

  // The codec call and what follows it, common to file and stream loads.
  // The target is IEBitmap(): a worker's private picture while one decodes
  // for a view.
  static void ReadAndSettle(TZiduzUvIO& IO, const TIEFormatDescriptor& F, const TIEReadRoutine& Read, TStream* Src) {
    TIEProgressRec rec = Progress(IO);
    if (F.FileType == ieftPSD) {
      // Layers that went to the view leave the picture as it was.
      if (IO.ReadPSD(Src, rec)) return;
    } else {
      TIEBitmap* target = IO.IEBitmap();
      target->RemoveAlphaChannel(false, clWhite);
      IERunReader(Read, Src, target, *IO.FParams, rec, false);
    }
    if (F.Resolution) {
      IO.FixDefaultDPI();
      if (IO.FAutoAdjustDPI && !IO.Aborting() && IEAdjustDPIProc) IEAdjustDPIProc(&IO);
    }
  }

  static Integer LoadFile(TZiduzUvIO& IO, const TIEFormatDescriptor& F, const WideString& FileName) {
    const TIEReadRoutine read = IEGetBuiltInCodec(F.FileType).Read;
    if (!read) {
      std::lock_guard op(IO.FOperationLock);
      IO.Refuse(IENotBuiltText(F, &FileName, false));
      return 0;
    }
    if (IO.HandOver([&IO, &F, FileName] { LoadFile(IO, F, FileName); })) return -1;
    std::lock_guard op(IO.FOperationLock);
    TZiduzUvIO::TPrivateDecode decode(IO);
    IO.SetAborting(true);
    bool named = false;
    try {
      if (IO.PrepareBitmap()) {
        if (F.PNGBackground) IO.FParams->PNG_BACKGROUND = ColorToTriple(IO.Background());
        IO.FParams->ResetInfo();
        TIEWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
        TIEBufferedReadStream buffered(&file, 8192, false);
        IO.SetAborting(false);
        ReadAndSettle(IO, F, read, &buffered);
        IO.FParams->FILETYPE = F.FileType;
        if (!F.NameAfterFinish) IO.FParams->FILENAME = FileName;
        named = true;
        if (F.SyncFile) IO.SyncViewDPI();
        SettleBackground(IO, F);
        IO.UpdateAttachedView();
      }
    } catch (...) {
      IO.SetAborting(true);
      IO.DoFinishWork();
      throw;
    }
    IO.DoFinishWork();
    if (named && F.NameAfterFinish) IO.FParams->FILENAME = FileName;
    return ImageCount(IO);
  }

  static Integer LoadStream(TZiduzUvIO& IO, const TIEFormatDescriptor& F, TStream* Stream) {
    const TIEReadRoutine read = IEGetBuiltInCodec(F.FileType).Read;
    if (!read || Stream == nullptr) {
      std::lock_guard op(IO.FOperationLock);
      IO.Refuse(Stream ? IENotBuiltText(F, nullptr, false)
                       : W("no stream to read"));
      return 0;
    }
    if (IO.HandOver([&IO, &F, Stream] { LoadStream(IO, F, Stream); })) return -1;
    std::lock_guard op(IO.FOperationLock);
    TZiduzUvIO::TPrivateDecode decode(IO);
    IO.SetAborting(false);
    try {
      if (!IO.PrepareBitmap()) {
        IO.SetAborting(true);
      } else {
        IO.FParams->ResetInfo();
        TStream* src = Stream;
        std::unique_ptr<TIEStreamWindow> window;
        int64_t after = -1;
        bool ok = true;
        if (F.Magic && (F.HeaderAlways || IO.FStreamHeaders)) {
          int64_t dataStart = 0, dataLength = 0;
          switch (IEReadStreamHeader(Stream, F.Magic, dataStart, dataLength)) {
            case iehValid:
              window = std::make_unique<TIEStreamWindow>(Stream, dataStart, dataLength);
              src = window.get();
              after = dataStart + dataLength;
              break;
            case iehInvalid:
              ok = false;
              break;
            case iehNone:
              ok = F.HeaderAlways;  // a JPEG may come without one; TIFF and PCX were promised one
              break;
          }
        }
        if (!ok) {
          TZiduzUvIO::LogFailure(W("the stream: no valid \"") + W(F.Magic) + W("\" stream header"));
          IO.SetAborting(true);
        } else {
          ReadAndSettle(IO, F, read, src);
          // The next data starts where the header said, whatever the decoder read ahead.
          if (after >= 0) Stream->SetPosition(after);
          if (F.SyncStream) IO.SyncViewDPI();
          SettleBackground(IO, F);
          IO.FParams->FILENAME.clear();
          IO.FParams->FILETYPE = F.FileType;
          IO.UpdateAttachedView();
        }
      }
    } catch (...) {
      IO.SetAborting(true);
      IO.DoFinishWork();
      throw;
    }
    IO.DoFinishWork();
    return ImageCount(IO);
  }

  // A layered document is taken from the view here, on the caller's thread,
  // before a worker may take over.
  using TDoc = std::shared_ptr<TZiduzUvIO::TIELayeredDocument>;
  static TDoc DocumentFor(TZiduzUvIO& IO, const TIEFormatDescriptor& F, TDoc Doc) {
    if (Doc || F.FileType != ieftPSD || IO.InWorkerThread()) return Doc;
    return IO.LayeredDocumentOfView();
  }

  static void Write(TZiduzUvIO& IO, const TIEBuiltInCodec& Codec, TStream* Out, TIEBitmap* Src, const TDoc& Doc,
                    TIEProgressRec& Rec) {
    if (Doc)
      IEWritePSDLayers(Out, &Doc->Merged, *IO.FParams, Rec, Doc->Layers.get());
    else
      IERunWriter(Codec.Write, Out, Src, *IO.FParams, Rec);
  }

  static void SaveFile(TZiduzUvIO& IO, const TIEFormatDescriptor& F, const WideString& FileName, TDoc Doc = nullptr) {
    const TIEBuiltInCodec codec = IEGetBuiltInCodec(F.FileType);
    if (!codec.Write) {
      std::lock_guard op(IO.FOperationLock);
      IO.Refuse(IENotBuiltText(F, &FileName, true));
      return;
    }
    Doc = DocumentFor(IO, F, std::move(Doc));
    if (IO.HandOver([&IO, &F, FileName, Doc] { SaveFile(IO, F, FileName, Doc); })) return;
    std::lock_guard op(IO.FOperationLock);
    IO.SetAborting(true);
    bool saved = false;
    try {
      std::unique_ptr<TIEBitmap> copy;
      TIEBitmap* src = IO.PrepareBitmap() ? IO.WriterSource(copy, F.SaveAs24) : nullptr;
      if (src) {
        TIESafeFileSave out(FileName);
        IO.SetAborting(false);
        TIEProgressRec rec = Progress(IO);
        if (codec.BeforeWrite) codec.BeforeWrite(*IO.FParams);
        Write(IO, codec, out.Stream(), src, Doc, rec);
        if (!IO.Aborting() && !out.Commit()) IO.SetAborting(true);
        saved = !IO.Aborting();
        if (saved && !F.NameAfterFinish) {
          IO.FParams->FILENAME = FileName;
          IO.FParams->FILETYPE = F.FileType;
        }
      }
    } catch (...) {
      IO.SetAborting(true);
      IO.DoFinishWork();
      throw;
    }
    IO.DoFinishWork();
    if (saved && F.NameAfterFinish) {
      IO.FParams->FILENAME = FileName;
      IO.FParams->FILETYPE = F.FileType;
    }
  }

  static void SaveStream(TZiduzUvIO& IO, const TIEFormatDescriptor& F, TStream* Stream, TDoc Doc = nullptr) {
    const TIEBuiltInCodec codec = IEGetBuiltInCodec(F.FileType);
    if (!codec.Write || Stream == nullptr) {
      std::lock_guard op(IO.FOperationLock);
      IO.Refuse(Stream ? IENotBuiltText(F, nullptr, true)
                       : W("no stream to write"));
      return;
    }
    Doc = DocumentFor(IO, F, std::move(Doc));
    if (IO.HandOver([&IO, &F, Stream, Doc] { SaveStream(IO, F, Stream, Doc); })) return;
    std::lock_guard op(IO.FOperationLock);
    IO.SetAborting(false);
    try {
      std::unique_ptr<TIEBitmap> copy;
      TIEBitmap* src = IO.PrepareBitmap() ? IO.WriterSource(copy, F.SaveAs24) : nullptr;
      if (!src) {
        IO.SetAborting(true);
      } else {
        if (F.EmptyBeforeSave) Stream->SetSize(0);
        if (codec.BeforeWrite) codec.BeforeWrite(*IO.FParams);
        TIEProgressRec rec = Progress(IO);
        const bool header = F.Magic && IO.FStreamHeaders;
        int64_t start = 0;
        if (header) {
          start = Stream->Position();
          const Byte reserved[IEStreamHeaderSize] = {};
          IESafeStreamWrite(Stream, rec, reserved, IEStreamHeaderSize);
        }
        if (!IO.Aborting()) Write(IO, codec, Stream, src, Doc, rec);
        if (header && !(F.HeaderOnlyWhenWritten && IO.Aborting())) {
          const int64_t end = Stream->Position();
          Stream->SetPosition(start);
          if (!IEWriteStreamHeader(Stream, F.Magic, end - start - IEStreamHeaderSize)) IO.SetAborting(true);
          Stream->SetPosition(end);
        }
      }
    } catch (...) {
      IO.SetAborting(true);
      IO.DoFinishWork();
      throw;
    }
    IO.DoFinishWork();
  }
};

Integer TZiduzUvIO::FormatLoadFile(const TIEFormatDescriptor& Format, const WideString& FileName) {
  return TZiduzUvIOFrame::LoadFile(*this, Format, FileName);
}
Integer TZiduzUvIO::FormatLoadStream(const TIEFormatDescriptor& Format, TStream* Stream) {
  return TZiduzUvIOFrame::LoadStream(*this, Format, Stream);
}
void TZiduzUvIO::FormatSaveFile(const TIEFormatDescriptor& Format, const WideString& FileName) {
  TZiduzUvIOFrame::SaveFile(*this, Format, FileName);
}
void TZiduzUvIO::FormatSaveStream(const TIEFormatDescriptor& Format, TStream* Stream) {
  TZiduzUvIOFrame::SaveStream(*this, Format, Stream);
}

TIEBitmap* TZiduzUvIO::WriterSource(std::unique_ptr<TIEBitmap>& Copy, bool To24) {
  TIEBitmap* b = FIEBitmap;
  if (!To24 || b->PixelFormat() == ie24RGB || b->PixelFormat() == ie1g) return b;
  // The writer gets a converted copy; the document keeps its own format.
  Copy = std::make_unique<TIEBitmap>();
  Copy->Assign(b);
  if (Copy->PixelFormat() != b->PixelFormat() || !Copy->ConvertToPixelFormat(ie24RGB)) return nullptr;
  return Copy.get();
}

// ---------------------------------------------------------------------------
// Per-format methods

Integer TZiduzUvIO::LoadFromFileTIFF(const WideString& FileName) {
  return TZiduzUvIOFrame::LoadFile(*this, Row(ieftTIFF), FileName);
}
Integer TZiduzUvIO::LoadFromStreamTIFF(TStream* Stream) { return TZiduzUvIOFrame::LoadStream(*this, Row(ieftTIFF), Stream); }
void TZiduzUvIO::SaveToFileTIFF(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftTIFF), FileName); }
void TZiduzUvIO::SaveToStreamTIFF(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftTIFF), Stream); }

Integer TZiduzUvIO::LoadFromFileGIF(const WideString& FileName) {
  return TZiduzUvIOFrame::LoadFile(*this, Row(ieftGIF), FileName);
}
Integer TZiduzUvIO::LoadFromStreamGIF(TStream* Stream) { return TZiduzUvIOFrame::LoadStream(*this, Row(ieftGIF), Stream); }
void TZiduzUvIO::SaveToFileGIF(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftGIF), FileName); }
void TZiduzUvIO::SaveToStreamGIF(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftGIF), Stream); }

void TZiduzUvIO::LoadFromFileJPEG(const WideString& FileName) { TZiduzUvIOFrame::LoadFile(*this, Row(ieftJPEG), FileName); }
void TZiduzUvIO::LoadFromStreamJPEG(TStream* Stream) { TZiduzUvIOFrame::LoadStream(*this, Row(ieftJPEG), Stream); }
void TZiduzUvIO::SaveToFileJPEG(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftJPEG), FileName); }
void TZiduzUvIO::SaveToStreamJPEG(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftJPEG), Stream); }

void TZiduzUvIO::LoadFromFilePCX(const WideString& FileName) { TZiduzUvIOFrame::LoadFile(*this, Row(ieftPCX), FileName); }
void TZiduzUvIO::LoadFromStreamPCX(TStream* Stream) { TZiduzUvIOFrame::LoadStream(*this, Row(ieftPCX), Stream); }
void TZiduzUvIO::SaveToFilePCX(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftPCX), FileName); }
void TZiduzUvIO::SaveToStreamPCX(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftPCX), Stream); }

void TZiduzUvIO::LoadFromFileBMP(const WideString& FileName) { TZiduzUvIOFrame::LoadFile(*this, Row(ieftBMP), FileName); }
void TZiduzUvIO::LoadFromStreamBMP(TStream* Stream) { TZiduzUvIOFrame::LoadStream(*this, Row(ieftBMP), Stream); }
void TZiduzUvIO::SaveToFileBMP(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftBMP), FileName); }
void TZiduzUvIO::SaveToStreamBMP(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftBMP), Stream); }

void TZiduzUvIO::LoadFromFileICO(const WideString& FileName) { TZiduzUvIOFrame::LoadFile(*this, Row(ieftICO), FileName); }
void TZiduzUvIO::LoadFromStreamICO(TStream* Stream) { TZiduzUvIOFrame::LoadStream(*this, Row(ieftICO), Stream); }
void TZiduzUvIO::LoadFromFileCUR(const WideString& FileName) { TZiduzUvIOFrame::LoadFile(*this, Row(ieftCUR), FileName); }
void TZiduzUvIO::LoadFromStreamCUR(TStream* Stream) { TZiduzUvIOFrame::LoadStream(*this, Row(ieftCUR), Stream); }

void TZiduzUvIO::LoadFromFileBMPRAW(const WideString& FileName) {
  if (!FileName.empty()) TZiduzUvIOFrame::LoadFile(*this, Row(ieftBMPRAW), FileName);
}
void TZiduzUvIO::LoadFromStreamBMPRAW(TStream* Stream) { TZiduzUvIOFrame::LoadStream(*this, Row(ieftBMPRAW), Stream); }

void TZiduzUvIO::LoadFromFilePNG(const WideString& FileName) { TZiduzUvIOFrame::LoadFile(*this, Row(ieftPNG), FileName); }
void TZiduzUvIO::LoadFromStreamPNG(TStream* Stream) { TZiduzUvIOFrame::LoadStream(*this, Row(ieftPNG), Stream); }
void TZiduzUvIO::SaveToFilePNG(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftPNG), FileName); }
void TZiduzUvIO::SaveToStreamPNG(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftPNG), Stream); }
void TZiduzUvIO::LoadFromFileJP2(const WideString& FileName) { TZiduzUvIOFrame::LoadFile(*this, Row(ieftJP2), FileName); }
void TZiduzUvIO::LoadFromStreamJP2(TStream* Stream) { TZiduzUvIOFrame::LoadStream(*this, Row(ieftJP2), Stream); }
void TZiduzUvIO::SaveToFileJP2(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftJP2), FileName); }
void TZiduzUvIO::SaveToStreamJP2(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftJP2), Stream); }
void TZiduzUvIO::LoadFromFileJ2K(const WideString& FileName) { TZiduzUvIOFrame::LoadFile(*this, Row(ieftJ2K), FileName); }
void TZiduzUvIO::LoadFromStreamJ2K(TStream* Stream) { TZiduzUvIOFrame::LoadStream(*this, Row(ieftJ2K), Stream); }
void TZiduzUvIO::SaveToFileJ2K(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftJ2K), FileName); }
void TZiduzUvIO::SaveToStreamJ2K(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftJ2K), Stream); }

void TZiduzUvIO::LoadFromFileTGA(const WideString& FileName) { TZiduzUvIOFrame::LoadFile(*this, Row(ieftTGA), FileName); }
void TZiduzUvIO::LoadFromStreamTGA(TStream* Stream) { TZiduzUvIOFrame::LoadStream(*this, Row(ieftTGA), Stream); }
void TZiduzUvIO::SaveToFileTGA(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftTGA), FileName); }
void TZiduzUvIO::SaveToStreamTGA(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftTGA), Stream); }

void TZiduzUvIO::LoadFromFilePXM(const WideString& FileName) { TZiduzUvIOFrame::LoadFile(*this, Row(ieftPXM), FileName); }
void TZiduzUvIO::LoadFromStreamPXM(TStream* Stream) { TZiduzUvIOFrame::LoadStream(*this, Row(ieftPXM), Stream); }
void TZiduzUvIO::SaveToFilePXM(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftPXM), FileName); }
void TZiduzUvIO::SaveToStreamPXM(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftPXM), Stream); }

void TZiduzUvIO::LoadFromFileDCX(const WideString& FileName) { TZiduzUvIOFrame::LoadFile(*this, Row(ieftDCX), FileName); }
void TZiduzUvIO::LoadFromStreamDCX(TStream* Stream) { TZiduzUvIOFrame::LoadStream(*this, Row(ieftDCX), Stream); }
void TZiduzUvIO::SaveToFileDCX(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftDCX), FileName); }
void TZiduzUvIO::SaveToStreamDCX(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftDCX), Stream); }

void TZiduzUvIO::LoadFromFilePSD(const WideString& FileName) { TZiduzUvIOFrame::LoadFile(*this, Row(ieftPSD), FileName); }
void TZiduzUvIO::LoadFromStreamPSD(TStream* Stream) { TZiduzUvIOFrame::LoadStream(*this, Row(ieftPSD), Stream); }
void TZiduzUvIO::SaveToFilePSD(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftPSD), FileName); }
void TZiduzUvIO::SaveToStreamPSD(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftPSD), Stream); }

void TZiduzUvIO::SaveToFileICO(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftICO), FileName); }
void TZiduzUvIO::SaveToStreamICO(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftICO), Stream); }

void TZiduzUvIO::LoadFromFileWBMP(const WideString& FileName) { TZiduzUvIOFrame::LoadFile(*this, Row(ieftWBMP), FileName); }
void TZiduzUvIO::LoadFromStreamWBMP(TStream* Stream) { TZiduzUvIOFrame::LoadStream(*this, Row(ieftWBMP), Stream); }
void TZiduzUvIO::SaveToFileWBMP(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftWBMP), FileName); }
void TZiduzUvIO::SaveToStreamWBMP(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftWBMP), Stream); }

void TZiduzUvIO::SaveToFilePS(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftPS), FileName); }
void TZiduzUvIO::SaveToStreamPS(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftPS), Stream); }
void TZiduzUvIO::SaveToFilePDF(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftPDF), FileName); }
void TZiduzUvIO::SaveToStreamPDF(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftPDF), Stream); }

namespace {
// The format that reads camera RAW files: a plug-in's when one has taken
// the extension over, else 0 for the built-in reader.
TIEFileType RAWPlugInFormat() {
  const TIEFileType t = IEFileTypeOfExtension(u"raw");
  return t != ieftRAW && t != ieftUnknown ? t : ieftUnknown;
}
}  // namespace

void TZiduzUvIO::LoadFromFileRAW(const WideString& FileName) {
  if (RAWPlugInFormat() == ieftUnknown) {
    TZiduzUvIOFrame::LoadFile(*this, Row(ieftRAW), FileName);
    return;
  }
  // The file stream lives in this call, so the whole call goes to the worker.
  if (HandOver([this, FileName] { LoadFromFileRAW(FileName); })) return;
  std::lock_guard op(FOperationLock);
  std::unique_ptr<TIEWideFileStream> file;
  try {
    file = std::make_unique<TIEWideFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
  } catch (...) {
    SetAborting(true);
    DoFinishWork();
    throw;
  }
  LoadFromStreamFormat(file.get(), RAWPlugInFormat());
  if (!Aborting()) FParams->FILENAME = FileName;
}

void TZiduzUvIO::LoadFromStreamRAW(TStream* Stream) {
  const TIEFileType plugin = RAWPlugInFormat();
  if (plugin != ieftUnknown)
    LoadFromStreamFormat(Stream, plugin);
  else
    TZiduzUvIOFrame::LoadStream(*this, Row(ieftRAW), Stream);
}

void TZiduzUvIO::LoadFromFileDICOM(const WideString& FileName) { TZiduzUvIOFrame::LoadFile(*this, Row(ieftDICOM), FileName); }
void TZiduzUvIO::LoadFromStreamDICOM(TStream* Stream) { TZiduzUvIOFrame::LoadStream(*this, Row(ieftDICOM), Stream); }

void TZiduzUvIO::LoadFromFileHDP(const WideString& FileName) { TZiduzUvIOFrame::LoadFile(*this, Row(ieftHDP), FileName); }
void TZiduzUvIO::LoadFromStreamHDP(TStream* Stream) { TZiduzUvIOFrame::LoadStream(*this, Row(ieftHDP), Stream); }
void TZiduzUvIO::SaveToFileHDP(const WideString& FileName) { TZiduzUvIOFrame::SaveFile(*this, Row(ieftHDP), FileName); }
void TZiduzUvIO::SaveToStreamHDP(TStream* Stream) { TZiduzUvIOFrame::SaveStream(*this, Row(ieftHDP), Stream); }

bool TZiduzUvIO::InjectJPEGIPTC(const WideString& FileName) {
  std::lock_guard op(FOperationLock);
  SetAborting(false);
  TIEProgressRec rec = TZiduzUvIOFrame::Progress(*this);
  bool done = false;
  try {
    done = IEInjectJPEGIPTC(FileName, FParams->IPTC_LIST, rec);
  } catch (...) {
  }
  if (!done) SetAborting(true);
  DoFinishWork();
  return done;
}
