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
#include "imaging/io/ieformatdesc.h"
#include "imaging/core/base/ieglobals.h"
#include "imaging/core/color/iecolorformat.h"
#include "imaging/core/color/ieicc.h"
#include "imaging/core/color/iequantizer.h"
#include "imaging/io/ielzw.h"
#include "imaging/io/ielzwhooks.h"
#include "imaging/io/ieprobes.h"
#include "platform/base/fileutils.h"
#include "platform/base/strutils.h"
#include "platform/devices/internet.h"

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
  for (auto& e : IEBuiltInFormatEntries(IEWICAvailable())) list.push_back(std::move(e));
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

// The globals the loaders and savers read, in this order: the codec hooks
// come before the registry because it offers GIF only while the GIF hooks are
// set.
void IEStartupZiduzUvIO() {
  IEGIFLZWDecompressProc = IEGIFLZWDecompress;
  IEGIFLZWCompressProc = IEGIFLZWCompress;
  IETIFFLZWDecompressProc = IETIFFLZWDecompress;
  IETIFFLZWCompressProc = IETIFFLZWCompress;
  IETempFolder.clear();
  IEBuildFormatRegistry();
  IEDebugLogFile.clear();
  GtInternetStartup();
  IEColorConversionHook = IEConvertColorFormat;
  IEEnableCMS = false;
  IEQuantizerMethod = -1;
  IEQuantizerQuality = -1;
  IEUseCMYKProfile = true;
}

// The reverse of the start-up. The global colour profiles live as long as the
// process (readers on other threads may hold them); the debug log closes
// itself after every line; video files need no library-wide release.
void IEShutdownZiduzUvIO() {
  IEFreeFormatRegistry();
  GtInternetShutdown();
}

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
  return IEProbeAtPosition(Stream, [&](int64_t start) {
    Byte riff[4], avi[4];
    return IEReadAt(Stream, start, riff, 4) == 4 && IEReadAt(Stream, start + 8, avi, 4) == 4 &&
           std::memcmp(riff, "RIFF", 4) == 0 && std::memcmp(avi, "AVI ", 4) == 0;
  });
}

TIEFileType IEFindStreamFormat(TStream* Stream) {
  TIEFileType result = ieftUnknown;
  // Every test starts at the remembered position; a failing stream or probe
  // ends the search with 0.
  const bool completed = IEProbeAtPosition(Stream, [&](int64_t start) {
    const int64_t size = Stream->Size();
    result = IESniffBuiltIn(Stream, start, size, false);
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
    if (result == ieftUnknown) result = IESniffBuiltIn(Stream, start, size, true);
    return true;
  });
  return completed ? result : ieftUnknown;
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
