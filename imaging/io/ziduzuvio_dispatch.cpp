// Load and save dispatch: the format is chosen by extension, content or id;
// built-in formats go to their per-format methods, plug-in formats through
// the read and write routines of their registry entries. Every refusal is
// reported through Aborting.
#include <cstring>

#include "imaging/core/base/iestreams.h"
#include "imaging/io/ieformatdesc.h"
#include "imaging/io/iesourceexport.h"
#include "imaging/io/ziduzuvio.h"
#include "imaging/io/ziduzuvio_safefile.h"
#include "platform/base/strutils.h"
#include "platform/base/sysutils.h"

namespace {

WideString Quoted(const WideString& S) { return W("\"") + S + W("\""); }

WideString NoReader(const TIEFileFormatInfoRef& E) {
  return (E ? E->FullName : W("this format")) + W(" cannot be read");
}

WideString LowerExtWithDot(const WideString& FileName) {
  WideString ext;
  IEExtractFileExt(FileName, true, ext);
  return ext;
}

// SaveToFile's own extension table: it is not the registry's (".win" saves
// as TGA; ".xif" and ".pix" are not here).
struct TSaveExtension {
  const char16_t* Ext;
  TIEFileType FileType;
};
constexpr TSaveExtension kSaveExtensions[] = {
    {u".jpg", ieftJPEG}, {u".jpeg", ieftJPEG}, {u".jpe", ieftJPEG},  {u".jif", ieftJPEG}, {u".jp2", ieftJP2},
    {u".j2k", ieftJ2K},  {u".jpc", ieftJ2K},   {u".j2c", ieftJ2K},   {u".pcx", ieftPCX},  {u".dcx", ieftDCX},
    {u".gif", ieftGIF},  {u".tif", ieftTIFF},  {u".tiff", ieftTIFF}, {u".fax", ieftTIFF}, {u".g3f", ieftTIFF},
    {u".g3n", ieftTIFF}, {u".png", ieftPNG},   {u".bmp", ieftBMP},   {u".dib", ieftBMP},  {u".rle", ieftBMP},
    {u".tga", ieftTGA},  {u".targa", ieftTGA}, {u".vda", ieftTGA},   {u".icb", ieftTGA},  {u".vst", ieftTGA},
    {u".win", ieftTGA},  {u".pxm", ieftPXM},   {u".pbm", ieftPXM},   {u".pgm", ieftPXM},  {u".ppm", ieftPXM},
    {u".ico", ieftICO},  {u".wbmp", ieftWBMP}, {u".ps", ieftPS},     {u".eps", ieftPS},   {u".pdf", ieftPDF},
    {u".psd", ieftPSD},  {u".hdp", ieftHDP},   {u".wdp", ieftHDP},
};

TIEFileType SaveTypeOfExtension(const WideString& Ext) {
  for (const TSaveExtension& e : kSaveExtensions)
    if (Ext == e.Ext) return e.FileType;
  return ieftUnknown;
}

// A registry routine may be called only for plug-in entries: the routines of
// built-in entries only mark what the format can do.
bool CanRegistryRead(const TIEFileFormatInfoRef& E) { return E && !E->InternalFormat && E->ReadRoutine; }
bool CanRegistryWrite(const TIEFileFormatInfoRef& E) { return E && !E->InternalFormat && E->WriteRoutine; }

}  // namespace

// ---------------------------------------------------------------------------
// Registry paths

// The read shared by the file and stream paths: the reader into the
// picture, then the resolution and the attached view.
void TZiduzUvIO::RegistryRead(const TIEFileFormatInfoRef& Entry, TStream* Stream) {
  TIEProgressRec rec(
      FAborting, [this](TObject* Sender, Integer per) { DoProgress(Sender, per); }, this);
  FParams->FILETYPE = Entry->FileType;
  IERunReader(Entry->ReadRoutine, Stream, IEBitmap(), *FParams, rec, false);
  if (!Aborting()) {
    if (FAutoAdjustDPI && IEAdjustDPIProc) IEAdjustDPIProc(this);
    SyncViewDPI();
  }
  UpdateAttachedView();
}

void TZiduzUvIO::RegistryLoadFile(const TIEFileFormatInfoRef& Entry, const WideString& FileName) {
  FParams->ResetInfo();
  ClearTypeAndName();
  if (!CanRegistryRead(Entry)) {
    Refuse(Quoted(FileName) + W(": ") + NoReader(Entry));
    return;
  }
  if (HandOver([this, Entry, FileName] {
        std::lock_guard op(FOperationLock);
        RegistryLoadFile(Entry, FileName);
      }))
    return;
  TPrivateDecode decode(*this);
  SetAborting(true);
  try {
    if (PrepareBitmap()) {
      TIEWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
      SetAborting(false);
      FParams->FILENAME = FileName;
      RegistryRead(Entry, &file);
    }
  } catch (...) {
    SetAborting(true);
    DoFinishWork();
    throw;
  }
  DoFinishWork();
}

void TZiduzUvIO::RegistryLoadStream(const TIEFileFormatInfoRef& Entry, TStream* Stream) {
  FParams->ResetInfo();
  ClearTypeAndName();
  if (!CanRegistryRead(Entry) || Stream == nullptr) {
    Refuse(Stream ? W("the stream: ") + NoReader(Entry) : W("no stream to read"));
    return;
  }
  if (HandOver([this, Entry, Stream] {
        std::lock_guard op(FOperationLock);
        RegistryLoadStream(Entry, Stream);
      }))
    return;
  TPrivateDecode decode(*this);
  SetAborting(false);
  try {
    if (!PrepareBitmap()) {
      SetAborting(true);
    } else {
      RegistryRead(Entry, Stream);
    }
  } catch (...) {
    SetAborting(true);
    DoFinishWork();
    throw;
  }
  DoFinishWork();
}

void TZiduzUvIO::RegistrySaveFile(const TIEFileFormatInfoRef& Entry, const WideString& FileName) {
  if (HandOver([this, Entry, FileName] {
        std::lock_guard op(FOperationLock);
        RegistrySaveFile(Entry, FileName);
      }))
    return;
  SetAborting(true);
  bool saved = false;
  try {
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* src = PrepareBitmap() ? WriterSource(copy, true) : nullptr;
    if (src) {
      TIESafeFileSave out(FileName);
      SetAborting(false);
      TIEProgressRec rec(
          FAborting, [this](TObject* Sender, Integer per) { DoProgress(Sender, per); }, this);
      IERunWriter(Entry->WriteRoutine, out.Stream(), src, *FParams, rec);
      if (!Aborting() && !out.Commit()) SetAborting(true);
      saved = !Aborting();
    }
  } catch (...) {
    SetAborting(true);
    DoFinishWork();
    throw;
  }
  if (saved) {
    FParams->FILENAME = FileName;
    FParams->FILETYPE = Entry->FileType;
  }
  DoFinishWork();
}

void TZiduzUvIO::RegistrySaveStream(const TIEFileFormatInfoRef& Entry, TStream* Stream) {
  if (Stream == nullptr) {
    Refuse(W("no stream to write"));
    return;
  }
  if (HandOver([this, Entry, Stream] {
        std::lock_guard op(FOperationLock);
        RegistrySaveStream(Entry, Stream);
      }))
    return;
  SetAborting(false);
  try {
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* src = PrepareBitmap() ? WriterSource(copy, true) : nullptr;
    if (!src) {
      SetAborting(true);
    } else {
      FParams->FILETYPE = Entry->FileType;
      TIEProgressRec rec(
          FAborting, [this](TObject* Sender, Integer per) { DoProgress(Sender, per); }, this);
      IERunWriter(Entry->WriteRoutine, Stream, src, *FParams, rec);
    }
  } catch (...) {
    SetAborting(true);
    DoFinishWork();
    throw;
  }
  DoFinishWork();
}

// ---------------------------------------------------------------------------
// Dispatch by id

// The descriptor's route decides: the format's own method, a refusal for a
// module not built yet, or the rule for ids without a method of their own.
void TZiduzUvIO::LoadFileByType(TIEFileType FileType, const WideString& FileName, bool ByExtension) {
  if (FileType == ieftWMF || FileType == ieftEMF) {
    // Rendered at the metafile's own size, unpainted parts transparent.
    LoadFromFileMetafile(FileName, -1, -1, true);
    return;
  }
  const TIEFormatDescriptor* d = IEFindFormatDescriptor(FileType);
  const TIEFormatRoute route = d ? d->FileLoad : ierGeneric;
  if (route == ierMethod) {
    FormatLoadFile(*d, FileName);
  } else if (route == ierLayered) {
    LoadFromFileLayered(FileName, FileType);
  } else if (route == ierRefuse) {
    Refuse(IENotBuiltText(*d, &FileName, false));
  } else if (ByExtension) {
    // PostScript, PDF and ids without a method: by extension the registry decides...
    RegistryLoadFile(IEFindFormatInfo(FileType), FileName);
  } else {
    // ... by id the file's extension does.
    LoadFromFile(FileName);
  }
}

void TZiduzUvIO::LoadStreamByType(TIEFileType FileType, TStream* Stream, bool) {
  const TIEFormatDescriptor* d = IEFindFormatDescriptor(FileType);
  if (d && d->StreamLoad == ierMethod)
    FormatLoadStream(*d, Stream);
  else if (d && d->StreamLoad == ierLayered)
    LoadFromStreamLayered(Stream, FileType);
  else
    // No stream reader (metafiles, PostScript, PDF, unknown content) or one
    // of a module not built yet: refused.
    Refuse(W("the stream: ") + (d ? IEFormatDisplayName(*d) : W("format ") + IntToStr(FileType)) +
           W(" cannot be read from a stream"));
}

void TZiduzUvIO::SaveStreamByType(TIEFileType FileType, TStream* Stream) {
  const TIEFormatDescriptor* d = IEFindFormatDescriptor(FileType);
  const TIEFormatRoute route = d ? d->Save : ierGeneric;
  if (route == ierMethod) {
    FormatSaveStream(*d, Stream);
    return;
  }
  if (route == ierRefuse) {
    Refuse(IENotBuiltText(*d, nullptr, true));
    return;
  }
  TIEFileFormatInfoRef e = IEFindFormatInfo(FileType);
  // Without a writer nothing is written; a built-in entry's routine only
  // marks the format as writable and is never called.
  if (!CanRegistryWrite(e)) {
    RefuseQuietly(W("the stream: ") + (e ? e->FullName : W("format ") + IntToStr(FileType)) +
                  W(" cannot be written"));
    return;
  }
  RegistrySaveStream(e, Stream);
}

// ---------------------------------------------------------------------------
// The operations

void TZiduzUvIO::LoadFromFile(const WideString& FileName) {
  std::lock_guard op(FOperationLock);
  if (!FIEBitmap || FileName.empty()) {
    Refuse(FIEBitmap ? W("no file name to load") : W("no picture to load into"));
    return;
  }
  if (IEGetURLType(FileName) != 0) {
    LoadFromURL(FileName);
    return;
  }
  const WideString ext = LowerExtWithDot(FileName);
  if (ext == u".avi") {
    LoadAVIFile(FileName);
    return;
  }
  TIEFileFormatInfoRef e = IEFindFormatInfoByExtension(ext);
  if (!e) {
    Refuse(Quoted(FileName) + W(": unknown file format") +
           (ext.empty() ? W(" (no extension)") : W(" (extension ") + Quoted(ext) + W(")")));
    return;
  }
  if (e->InternalFormat)
    LoadFileByType(e->FileType, FileName, true);
  else
    RegistryLoadFile(e, FileName);
}

void TZiduzUvIO::LoadFromFileAuto(const WideString& FileName) {
  const TIEFileType id = IEFindFileFormat(FileName, false);
  if (id != ieftUnknown)
    LoadFromFileFormat(FileName, id);
  else
    LoadFromFile(FileName);
}

void TZiduzUvIO::LoadFromFileFormat(const WideString& FileName, TIEFileType FileType) {
  std::lock_guard op(FOperationLock);
  TIEFileFormatInfoRef e = IEFindFormatInfo(FileType);
  if (!e) {
    Refuse(Quoted(FileName) + W(": no format is registered as ") + IntToStr(FileType));
    return;
  }
  if (e->InternalFormat)
    LoadFileByType(FileType, FileName, false);
  else
    RegistryLoadFile(e, FileName);
}

void TZiduzUvIO::LoadFromBuffer(const void* Buffer, Integer Size, TIEFileType FileType) {
  // The stream over the block lives only in this call, so the call itself
  // goes to the worker, never the stream; the block stays the caller's to
  // keep alive until OnFinishWork.
  if (HandOver([this, Buffer, Size, FileType] { LoadFromBuffer(Buffer, Size, FileType); })) return;
  if (Size < 0 || (Buffer == nullptr && Size > 0)) {
    std::lock_guard op(FOperationLock);
    Refuse(W("no memory block to load (size ") + IntToStr(Size) + W(")"));
    return;
  }
  TIEMemStream s(Buffer, Size);
  if (FileType == ieftUnknown)
    LoadFromStream(&s);
  else
    LoadFromStreamFormat(&s, FileType);
}

void TZiduzUvIO::LoadFromStream(TStream* Stream) {
  std::lock_guard op(FOperationLock);
  if (Stream == nullptr) {
    Refuse(W("no stream to read"));
    return;
  }
  const int64_t pos = Stream->Position();
  const TIEFileType id = IEFindStreamFormat(Stream);
  TIEFileFormatInfoRef e = id != ieftUnknown ? IEFindFormatInfo(id) : nullptr;
  Stream->SetPosition(pos);
  if (!e) {
    Refuse(W("the stream: unknown file format"));
    return;
  }
  if (e->InternalFormat)
    LoadStreamByType(id, Stream, true);
  else
    RegistryLoadStream(e, Stream);
}

void TZiduzUvIO::LoadFromStreamFormat(TStream* Stream, TIEFileType FileType) {
  if (FileType == ieftUnknown) {
    LoadFromStream(Stream);
    return;
  }
  std::lock_guard op(FOperationLock);
  TIEFileFormatInfoRef e = IEFindFormatInfo(FileType);
  if (!e || Stream == nullptr) {
    Refuse(Stream ? W("the stream: no format is registered as ") + IntToStr(FileType) : W("no stream to read"));
    return;
  }
  if (e->InternalFormat)
    LoadStreamByType(FileType, Stream, false);
  else
    RegistryLoadStream(e, Stream);
}

void TZiduzUvIO::SaveToFile(const WideString& FileName) {
  std::lock_guard op(FOperationLock);
  // Refusals of unsupported names are immediate answers: Aborting, no event.
  if (FileName.empty()) {
    RefuseQuietly(W("no file name to save to"));
    return;
  }
  const WideString ext = LowerExtWithDot(FileName);
  // The extension table chose a built-in format: its method, or a refusal
  // for a writer of a module not built yet.
  if (const TIEFormatDescriptor* d = IEFindFormatDescriptor(SaveTypeOfExtension(ext))) {
    if (d->Save == ierMethod) {
      FormatSaveFile(*d, FileName);
      return;
    }
    if (d->Save == ierRefuse) {
      Refuse(IENotBuiltText(*d, &FileName, true));
      return;
    }
  }
  // The registry: plug-in formats only. A built-in entry reaching here
  // (".xif", ".pix", ".cur", layered files) has no writer this path may call,
  // and the user's file is not touched.
  TIEFileFormatInfoRef e = IEFindFormatInfoByExtension(ext);
  if (!CanRegistryWrite(e)) {
    RefuseQuietly(Quoted(FileName) + W(": ") + (e ? e->FullName + W(" cannot be written") : W("unknown file format")));
    return;
  }
  RegistrySaveFile(e, FileName);
}

void TZiduzUvIO::SaveToStream(TStream* Stream, TIEFileType FileType) {
  std::lock_guard op(FOperationLock);
  SaveStreamByType(FileType, Stream);
}

// ---------------------------------------------------------------------------
// Parameter reads

void TZiduzUvIO::ReadParams(TStream* Buffered, TStream*, TIEFileType FileType) {
  TIEProgressRec rec(FAborting);
  // A plug-in reads its own parameters, whichever plug-in it is; built-in
  // formats are read by their codecs.
  if (FileType == ieftWMF || FileType == ieftEMF) {
    ReadMetafileParams(Buffered);
    if (Aborting()) rec.Abort();
    return;
  }
  TIEFileFormatInfoRef e = IEFindFormatInfo(FileType);
  const TIEReadRoutine read = CanRegistryRead(e) ? e->ReadRoutine : IEGetBuiltInCodec(FileType).Read;
  if (read) {
    IERunReader(read, Buffered, FIEBitmap, *FParams, rec, true);
  } else {
    LogFailure(W("no reader for the parameters of format ") + IntToStr(FileType));
    rec.Abort();
  }
}

void TZiduzUvIO::ReadParamsFromFile(const WideString& FileName) {
  try {
    ReadParamsFromFileFormat(FileName, IEFindFileFormat(FileName, true));
  } catch (...) {
    FParams->FILETYPE = 0;
    SetAborting(true);
  }
}

void TZiduzUvIO::ReadParamsFromFileFormat(const WideString& FileName, TIEFileType FileType) {
  std::lock_guard op(FOperationLock);
  FParams->FILETYPE = FileType;
  FParams->ResetInfo();
  SetAborting(true);
  try {
    TIEWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    TIEBufferedReadStream buffered(&file, 8192, false);
    SetAborting(false);
    ReadParams(&buffered, &file, FileType);
  } catch (...) {
    // Parameter reads never raise; the reason is kept in the log.
    LogFailure(IECurrentExceptionText());
    SetAborting(true);
  }
  if (Aborting()) FParams->FILETYPE = 0;
  FParams->FILENAME = FileName;
  try {
    DoFinishWork();
  } catch (...) {
  }
}

void TZiduzUvIO::ReadParamsFromStream(TStream* Stream) {
  try {
    ReadParamsFromStreamFormat(Stream, Stream ? IEFindStreamFormat(Stream) : ieftUnknown);
  } catch (...) {
    FParams->FILETYPE = 0;
    SetAborting(true);
  }
}

void TZiduzUvIO::ReadParamsFromStreamFormat(TStream* Stream, TIEFileType FileType) {
  std::lock_guard op(FOperationLock);
  FParams->FILETYPE = FileType;
  FParams->ResetInfo();
  SetAborting(false);
  int64_t pos = -1;
  try {
    if (Stream == nullptr) {
      SetAborting(true);
    } else {
      pos = Stream->Position();
      TIEBufferedReadStream buffered(Stream, 8192, false);
      ReadParams(&buffered, Stream, FileType);
    }
  } catch (...) {
    SetAborting(true);
  }
  // A parameter read consumes nothing: the picture can be loaded next.
  if (pos >= 0) {
    try {
      Stream->SetPosition(pos);
    } catch (...) {
    }
  }
  if (Aborting()) FParams->FILETYPE = 0;
  try {
    DoFinishWork();
  } catch (...) {
  }
}

// ---------------------------------------------------------------------------
// Source export

void TZiduzUvIO::ExportSourceArray(const WideString& FileName, TIEFileType FileType, Integer Language) {
  std::lock_guard op(FOperationLock);
  TMemoryStream text;
  if (Language >= 0 && Language <= 2) {
    TMemoryStream data;
    // The save must be over before this call reads the data.
    TSyncScope sync;
    SaveToStream(&data, FileType);
    // Nothing is exported, and no file is touched, when the save failed.
    if (Aborting() || data.Size() == 0) {
      SetAborting(true);
      return;
    }
    data.SetPosition(0);
    IEWriteSourceArray(&data, FileName, Language, &text);
  } else if (Language == 3) {
    if (!PrepareBitmap({ie24RGB})) {
      SetAborting(true);
      return;
    }
    SetAborting(false);
    IEWriteCharacterPicture(FIEBitmap, &text);
  } else {
    SetAborting(true);
    return;
  }
  bool written = false;
  try {
    TIESafeFileSave out(FileName);
    written = (text.Size() == 0 || out.Stream()->Write(text.Memory(), text.Size()) == text.Size()) && out.Commit();
  } catch (...) {
    SetAborting(true);
    throw;
  }
  if (!written) {
    SetAborting(true);
    return;
  }
  FParams->FILENAME = FileName;
}
