// The format registry and content sniffing.
//
// Lookups run on I/O worker threads while plug-ins load and unload on the main
// thread, so the list sits behind a shared mutex, and entries are immutable
// once registered: a change replaces the entry, and a reader keeps the entry it
// found alive for as long as it holds it.
#include "imaging/io/ieformats.h"

#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "imaging/core/base/iestartup.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/io/ielzwhooks.h"
#include "imaging/io/ieprobes.h"
#include "platform/base/fileutils.h"
#include "platform/base/strutils.h"

namespace {

struct TRegistry {
  std::shared_mutex Lock;
  std::vector<std::shared_ptr<const TIEFileFormatInfo>> List;
};

TRegistry& Registry() {
  static TRegistry r;
  return r;
}

// The Index-th token of a ";"-separated list; empty past the end. An empty
// token ends the list, as an empty remainder does.
WideString ExtensionToken(const WideString& List, Integer Index) {
  size_t from = 0;
  WideString token;
  for (Integer i = 0; i <= Index; ++i) {
    if (from >= List.size()) return WideString();
    size_t semi = List.find(u';', from);
    if (semi == WideString::npos) {
      token = List.substr(from);
      from = List.size();
    } else {
      token = List.substr(from, semi - from);
      from = semi + 1;
    }
    if (token.empty()) return WideString();
  }
  return token;
}

std::shared_ptr<const TIEFileFormatInfo> FindLocked(const TRegistry& r, TIEFileType FileType) {
  for (const auto& e : r.List)
    if (e->FileType == FileType) return e;
  return nullptr;
}

struct TBuiltIn {
  TIEFileType FileType;
  const char* FullName;
  const char* Extensions;
  TIEParamsDialogPages DialogPages;
  bool Read, Write;
};

// Registration order is part of the behaviour: extension lookups and plug-in
// probing take the first match in this order.
const TBuiltIn kBuiltIns[] = {
    {ieftTIFF, "TIFF", "TIF;TIFF;FAX;G3N;G3F;XIF", 8, true, true},
    {ieftGIF, "CompuServe GIF", "GIF", 16, true, true},
    {ieftJPEG, "JPEG", "JPG;JPEG;JPE;JIF", 4, true, true},
    {ieftPCX, "PCX - PaintBrush", "PCX", 64, true, true},
    {ieftBMP, "BMP - Windows Bitmap", "BMP;DIB;RLE", 32, true, true},
    {ieftBMPRAW, "Camera RAW", "", 0, true, true},
    {ieftICO, "ICO - Windows Icon", "ICO", 0, true, true},
    {ieftCUR, "CUR - Windows Cursor", "CUR", 0, true, false},
    {ieftPNG, "PNG - Portable Network Graphics", "PNG", 128, true, true},
    {ieftDICOM, "DICOM Bitmap", "DCM;DIC;DICOM", 0, true, false},
    {ieftWMF, "WMF - Windows Metafile", "WMF", 0, true, false},
    {ieftEMF, "EMF - Enhanced Windows Metafile", "EMF", 0, true, false},
    {ieftTGA, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", 256, true, true},
    {ieftPXM, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", 0, true, true},
    {ieftWBMP, "WBMP - Wireless Bitmap", "WBMP", 0, true, true},
    {ieftJP2, "JPEG2000", "JP2", 512, true, true},
    {ieftJ2K, "JPEG2000 Code Stream", "J2K;JPC;J2C", 512, true, true},
    {ieftPS, "PostScript Level 2", "PS;EPS", 0, false, true},
    {ieftPDF, "Adobe PDF", "PDF", 0, false, true},
    {ieftDCX, "Multipage PCX", "DCX", 0, true, true},
    {ieftRAW, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", 0, true, false},
    {ieftPSD, "Photoshop PSD", "PSD", 0, true, true},
    {ieftIEV, "Vectorial objects", "IEV", 0, true, true},
    {ieftLYR, "Layers", "LYR", 0, true, true},
    {ieftALL, "Layers and objects", "ALL", 0, true, true},
    {ieftHDP, "Microsoft HD Photo", "WDP;HDP", 0, true, true},
};

std::unique_ptr<TIEFileFormatInfo> MakeBuiltIn(const TBuiltIn& b) {
  auto info = std::make_unique<TIEFileFormatInfo>();
  info->FileType = b.FileType;
  info->FullName = W(b.FullName);
  info->Extensions = W(b.Extensions);
  info->InternalFormat = true;
  info->DialogPages = b.DialogPages;
  if (b.Read) info->ReadRoutine = IEPlaceholderRead;
  if (b.Write) info->WriteRoutine = IEPlaceholderWrite;
  info->ProbeRoutine = IEPlaceholderProbe;
  return info;
}

// Reads Count bytes at Pos; false when they are not all there.
bool ReadHeader(TStream* S, int64_t Pos, void* Buf, int64_t Count) {
  return S->Seek(Pos, soBeginning) == Pos && S->Read(Buf, Count) == Count;
}

// The built-in part of the sniffing cascade, steps 1 to 26. Every test starts
// at Start; the probes restore the position themselves.
TIEFileType SniffBuiltIn(TStream* S, int64_t Start, int64_t Size) {
  Byte h[12];
  // The 12-byte stream headers and the fixed signatures.
  if (Size > 12 && ReadHeader(S, Start, h, 12) && std::memcmp(h, "JFIF\0", 5) == 0) return ieftJPEG;
  if (Size > 13 && ReadHeader(S, Start, h, 3) && std::memcmp(h, "GIF", 3) == 0) return ieftGIF;
  if (Size > 12 && ReadHeader(S, Start, h, 5) && std::memcmp(h, "PCX2\0", 5) == 0) return ieftPCX;
  if (Size > 4 && ReadHeader(S, Start, h, 4) && std::memcmp(h, "PCX\0", 4) == 0) return ieftPCX;
  if (Size > 14 && ReadHeader(S, Start, h, 2) && h[0] == 'B' && h[1] == 'M') return ieftBMP;
  // A PCX file header: manufacturer 10, version up to 5, run-length encoding
  // 1 and 1, 2, 4 or 8 bits per plane. The last two keep a TGA whose image ID
  // is 10 bytes long (its first byte is 10, its second 0 or 1) out.
  if (Size > 128 && ReadHeader(S, Start, h, 4) && h[0] == 10 && h[1] <= 5 && h[2] == 1 &&
      (h[3] == 1 || h[3] == 2 || h[3] == 4 || h[3] == 8))
    return ieftPCX;
  if (Size > 12 && ReadHeader(S, Start, h, 5) && std::memcmp(h, "TIFF\0", 5) == 0) return ieftTIFF;
  S->SetPosition(Start);
  if (IEProbeHDPhoto(S)) return ieftHDP;
  if (IEProbeTIFF(S) && !IEProbeTIFFRaw(S)) return ieftTIFF;
  if (Size > 8 && IEProbePNG(S)) return ieftPNG;
  if (IEProbeDICOM(S)) return ieftDICOM;
  if (IEProbeICO(S)) return ieftICO;
  if (IEProbeCUR(S)) return ieftCUR;
  if (IEProbeTGA(S)) return ieftTGA;
  if (IEProbePNM(S)) return ieftPXM;
  if (IEProbeJP2(S)) return ieftJP2;
  if (IEProbeJ2K(S)) return ieftJ2K;
  if (IEProbeAVI(S)) return ieftAVI;
  if (IEProbeDCX(S)) return ieftDCX;
  if (IEProbeWMF(S)) return ieftWMF;
  if (IEProbeEMF(S)) return ieftEMF;
  if (IEProbePSD(S)) return ieftPSD;
  if (IEIsVectorObjectsStream(S)) return ieftIEV;
  if (IEIsLayersStream(S)) return ieftLYR;
  if (IEIsImageWithObjectsStream(S)) return ieftALL;
  if (IEProbeJPEG(S, true) >= 0) return ieftJPEG;
  return ieftUnknown;
}

}  // namespace

std::unique_ptr<TIEFileFormatInfo> TIEFileFormatInfo::Clone() const {
  auto c = std::make_unique<TIEFileFormatInfo>();
  c->FileType = FileType;
  c->FullName = FullName;
  c->Extensions = Extensions;
  c->InternalFormat = InternalFormat;
  c->DialogPages = DialogPages;
  c->ReadRoutine = ReadRoutine;
  c->WriteRoutine = WriteRoutine;
  c->ProbeRoutine = ProbeRoutine;
  return c;
}

void IEPlaceholderRead(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRec&, bool) {}
void IEPlaceholderWrite(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRec&) {}
bool IEPlaceholderProbe(TStream*, Integer) { return false; }

void IEBuildFormatRegistry() {
  std::vector<std::shared_ptr<const TIEFileFormatInfo>> list;
  for (const TBuiltIn& b : kBuiltIns) {
    if (b.FileType == ieftHDP && !IEWICAvailable()) continue;
    list.push_back(MakeBuiltIn(b));
  }
  TRegistry& r = Registry();
  std::unique_lock lock(r.Lock);
  r.List = std::move(list);
}

void IEFreeFormatRegistry() {
  TRegistry& r = Registry();
  std::vector<std::shared_ptr<const TIEFileFormatInfo>> old;
  {
    std::unique_lock lock(r.Lock);
    old.swap(r.List);
  }
  // Entries are freed outside the lock (a routine's captured state may be large).
}

void IEStartupZiduzUvIO() { IEBuildFormatRegistry(); }

void IEShutdownZiduzUvIO() { IEFreeFormatRegistry(); }

namespace {
// Here, beside the registry it builds, so that any program using the
// registry also links its start-up step.
const TIEStartupRegistrar IOStartupStep(iessZiduzUvIO, "IEStartupZiduzUvIO", IEStartupZiduzUvIO,
                                        IEShutdownZiduzUvIO);
}  // namespace

void IERegisterFormat(std::unique_ptr<TIEFileFormatInfo> Info) {
  if (!Info) return;
  TRegistry& r = Registry();
  std::unique_lock lock(r.Lock);
  r.List.push_back(std::move(Info));
}

void IEUnregisterFormat(TIEFileType FileType) {
  TRegistry& r = Registry();
  std::shared_ptr<const TIEFileFormatInfo> removed;
  std::unique_lock lock(r.Lock);
  for (auto it = r.List.begin(); it != r.List.end(); ++it) {
    if ((*it)->FileType == FileType) {
      removed = std::move(*it);
      r.List.erase(it);
      break;
    }
  }
}

TIEFileFormatInfoRef IEFindFormatInfo(TIEFileType FileType) {
  TRegistry& r = Registry();
  std::shared_lock lock(r.Lock);
  return FindLocked(r, FileType);
}

TIEFileFormatInfoRef IEFindFormatInfoByExtension(const WideString& Ext) {
  WideString ext = LowerCase(Ext);
  if (!ext.empty() && ext[0] == u'.') ext.erase(0, 1);
  if (ext.empty()) return nullptr;
  TRegistry& r = Registry();
  std::shared_lock lock(r.Lock);
  for (const auto& e : r.List) {
    for (Integer i = 0;; ++i) {
      WideString token = ExtensionToken(e->Extensions, i);
      if (token.empty()) break;
      if (LowerCase(token) == ext) return e;
    }
  }
  return nullptr;
}

void IEGetFormatExtension(TIEFileType FileType, Integer Index, WideString& Ext) {
  Ext.clear();
  if (Index < 0) return;
  if (auto e = IEFindFormatInfo(FileType)) Ext = ExtensionToken(e->Extensions, Index);
}

WideString IEGetFormatExtension(TIEFileType FileType, Integer Index) {
  WideString ext;
  IEGetFormatExtension(FileType, Index, ext);
  return ext;
}

Integer IEGetFormatExtensionCount(TIEFileType FileType) {
  auto e = IEFindFormatInfo(FileType);
  if (!e) return 0;
  Integer n = 0;
  while (!ExtensionToken(e->Extensions, n).empty()) ++n;
  return n;
}

bool IECanReadFileExtension(const WideString& FileName) {
  auto e = IEFindFormatInfoByExtension(ExtractFileExt(FileName));
  return e && static_cast<bool>(e->ReadRoutine);
}

void IEUpdateGIFFormatInfo() {
  TRegistry& r = Registry();
  std::unique_lock lock(r.Lock);
  for (auto& e : r.List) {
    if (e->FileType != ieftGIF) continue;
    auto c = e->Clone();
    c->ReadRoutine = IEGIFLZWDecompressProc ? TIEReadRoutine(IEPlaceholderRead) : TIEReadRoutine();
    c->WriteRoutine = IEGIFLZWCompressProc ? TIEWriteRoutine(IEPlaceholderWrite) : TIEWriteRoutine();
    e = std::move(c);
    return;
  }
}

std::vector<TIEFileFormatInfoRef> IEFormatRegistrySnapshot() {
  TRegistry& r = Registry();
  std::shared_lock lock(r.Lock);
  return {r.List.begin(), r.List.end()};
}

bool IEProbeAVI(TStream* Stream) {
  if (Stream == nullptr) return false;
  int64_t start = -1;
  bool result = false;
  try {
    start = Stream->Position();
    Byte riff[4], avi[4];
    result = start >= 0 && ReadHeader(Stream, start, riff, 4) && ReadHeader(Stream, start + 8, avi, 4) &&
             std::memcmp(riff, "RIFF", 4) == 0 && std::memcmp(avi, "AVI ", 4) == 0;
  } catch (...) {
    result = false;
  }
  if (start >= 0) {
    try {
      Stream->SetPosition(start);
    } catch (...) {
    }
  }
  return result;
}

TIEFileType IEFindStreamFormat(TStream* Stream) {
  if (Stream == nullptr) return ieftUnknown;
  int64_t start = -1;
  TIEFileType result = ieftUnknown;
  try {
    start = Stream->Position();
    int64_t size = Stream->Size();
    if (start >= 0) {
      result = SniffBuiltIn(Stream, start, size);
      if (result == ieftUnknown) {
        // Plug-in probes run without the registry's lock held, on a snapshot,
        // so that a probe may itself look formats up.
        for (const auto& e : IEFormatRegistrySnapshot()) {
          if (!e->ProbeRoutine) continue;
          Stream->SetPosition(start);
          if (e->ProbeRoutine(Stream, e->FileType)) {
            result = e->FileType;
            break;
          }
        }
      }
      if (result == ieftUnknown) {
        Stream->SetPosition(start);
        if (IEProbeRAW(Stream)) result = ieftRAW;
      }
    }
  } catch (...) {
    result = ieftUnknown;
  }
  if (start >= 0) {
    try {
      Stream->SetPosition(start);
    } catch (...) {
    }
  }
  return result;
}

TIEFileType IEFindFileFormat(const WideString& FileName, bool Verify) {
  if (FileName.empty() || !IEFileExistsW(FileName)) return ieftUnknown;
  TIEFileType content = ieftUnknown;
  try {
    TIEWideFileStream fs(FileName, fmOpenRead | fmShareDenyWrite);
    content = IEFindStreamFormat(&fs);
  } catch (...) {
    return ieftUnknown;
  }
  TIEFileFormatInfoRef entry = IEFindFormatInfoByExtension(ExtractFileExt(FileName));
  // A camera RAW extension on a TIFF container: most camera raw files are TIFF inside.
  if (entry && entry->FileType == ieftRAW && content == ieftTIFF) content = ieftRAW;
  // A plug-in's extension decides whatever the content.
  if (entry && !entry->InternalFormat) return entry->FileType;
  if (Verify && content != ieftUnknown) {
    if (!entry) return ieftUnknown;
    // Icons and cursors share one layout, so either content confirms either
    // extension; it confirms no other extension.
    if (content == ieftICO || content == ieftCUR)
      return entry->FileType == ieftICO || entry->FileType == ieftCUR ? entry->FileType : ieftUnknown;
    return content == entry->FileType ? content : ieftUnknown;
  }
  return content;
}
