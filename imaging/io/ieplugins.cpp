// Format plug-ins over dlopen: loading and registering their formats, and the
// read, write and probe routines that run one Initialize/Finalize pair per
// call with the stream and parameter callbacks of this program's protocol.
#include "imaging/io/ieplugins.h"

#include <dlfcn.h>

#include <cstring>

#include "imaging/core/base/iestreams.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/geometry/ierotate.h"
#include "imaging/io/ieexif.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/ioparams.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/base/fileutils.h"
#include "platform/base/sysutils.h"

namespace ieplugins {
namespace {

struct TPluginList {
  std::mutex Lock;
  std::vector<std::unique_ptr<TIEIOPlugin>> Items;
  WideString RAWName = W("libgtrawplugin.so");
};

TPluginList& Plugins() {
  static TPluginList l;
  return l;
}

// A plug-in's item for the rest of one call; the plug-in owns it.
const void* Item(const TIEIOPlugin& P, void* Ctx, int32_t Id) { return P.GetInfo(Ctx, Id); }
bool IntItem(const TIEIOPlugin& P, void* Ctx, int32_t Id, int32_t& Out) {
  const void* p = Item(P, Ctx, Id);
  if (!p) return false;
  std::memcpy(&Out, p, sizeof Out);
  return true;
}
AnsiString TextItem(const TIEIOPlugin& P, void* Ctx, int32_t Id) {
  const char* p = static_cast<const char*>(Item(P, Ctx, Id));
  return p ? AnsiString(p, strnlen(p, 4096)) : AnsiString();
}

// What the callbacks work on during one call.
struct TUserData {
  TStream* Stream = nullptr;
  TIOParamsVals* Params = nullptr;
  TIEProgressRec* Progress = nullptr;
};

void CbProgress(int32_t Percent, void* U) {
  auto* u = static_cast<TUserData*>(U);
  if (u->Progress && u->Progress->fOnProgress) u->Progress->fOnProgress(u->Progress->Sender, Percent);
}
int32_t CbRead(void* Buffer, int32_t Count, void* U) {
  if (Count <= 0 || !Buffer) return 0;
  try {
    return int32_t(static_cast<TUserData*>(U)->Stream->Read(Buffer, Count));
  } catch (...) {
    return 0;
  }
}
int32_t CbWrite(const void* Buffer, int32_t Count, void* U) {
  if (Count <= 0 || !Buffer) return 0;
  try {
    return int32_t(static_cast<TUserData*>(U)->Stream->Write(Buffer, Count));
  } catch (...) {
    return 0;
  }
}
void CbSetPosition(int64_t Position, void* U) {
  try {
    static_cast<TUserData*>(U)->Stream->SetPosition(Position);
  } catch (...) {
  }
}
int64_t CbGetPosition(void* U) {
  try {
    return static_cast<TUserData*>(U)->Stream->Position();
  } catch (...) {
    return 0;
  }
}
int64_t CbGetSize(void* U) {
  try {
    return static_cast<TUserData*>(U)->Stream->Size();
  } catch (...) {
    return 0;
  }
}
// The value is cut to the buffer's capacity and always terminated.
void CbGetParameter(const char* Name, char* Value, int32_t Capacity, void* U) {
  if (!Value || Capacity <= 0) return;
  Value[0] = 0;
  auto* u = static_cast<TUserData*>(U);
  if (!u->Params || !Name) return;
  try {
    const std::string v = WideToUtf8(u->Params->GetProperty(Utf8ToWide(Name)));
    const size_t n = std::min(v.size(), size_t(Capacity) - 1);
    std::memcpy(Value, v.data(), n);
    Value[n] = 0;
  } catch (...) {
  }
}
void CbSetParameter(const char* Name, const char* Value, void* U) {
  auto* u = static_cast<TUserData*>(U);
  if (!u->Params || !Name || !Value) return;
  try {
    u->Params->SetProperty(Utf8ToWide(Name), Utf8ToWide(Value));
  } catch (...) {
  }
}

void InstallCallbacks(const TIEIOPlugin& P, void* Ctx, TUserData& U) {
  P.SetCallBacks(Ctx, CbProgress, CbRead, CbWrite, CbSetPosition, CbGetPosition, CbGetSize, CbGetParameter,
                 CbSetParameter, &U);
}

TIEIOPlugin* FindPlugin(TIEFileType FileType) {
  TPluginList& l = Plugins();
  std::lock_guard g(l.Lock);
  for (auto& p : l.Items)
    if (p->FileType == FileType) return p.get();
  return nullptr;
}

// Holds a plug-in's lock, when it has one, for the scope.
struct TPluginGuard {
  explicit TPluginGuard(TIEIOPlugin* P) : L(P->Lock.get()) {
    if (L) L->lock();
  }
  ~TPluginGuard() {
    if (L) L->unlock();
  }
  std::mutex* L;
};

// One Initialize/Finalize pair.
struct TContext {
  TContext(const TIEIOPlugin& P) : Plugin(P), Ctx(P.Initialize(P.FormatIndex)) {}
  ~TContext() { Plugin.Finalize(Ctx); }
  const TIEIOPlugin& Plugin;
  void* Ctx;
};

template <typename F>
bool Lookup(void* Lib, const char* Name, F& Out) {
  Out = reinterpret_cast<F>(dlsym(Lib, Name));
  return Out != nullptr;
}

// Bits per sample and samples per pixel of the protocol's pixel formats 1..8.
void SampleLayout(int32_t Format, Integer& Bits, Integer& Samples) {
  static const Integer bits[9] = {0, 1, 8, 8, 16, 8, 32, 8, 16};
  static const Integer samples[9] = {0, 1, 1, 1, 1, 3, 1, 4, 3};
  Bits = bits[Format];
  Samples = samples[Format];
}

int64_t PackedRowBytes(int64_t Width, int32_t Format) {
  Integer b, s;
  SampleLayout(Format, b, s);
  return (Width * b * s + 7) / 8;
}

// Copies the packed rows into Bitmap (already of the right size and format).
void CopyRowsIn(TIEBitmap* Bitmap, const Byte* Pixels, int64_t RowBytes, bool Swap) {
  for (Integer y = 0; y < Bitmap->Height(); ++y) {
    const Byte* src = Pixels + RowBytes * y;
    Byte* dst = static_cast<Byte*>(Bitmap->GetScanline(y));
    if (Swap)
      for (Integer x = 0; x < Bitmap->Width(); ++x) {
        dst[3 * x] = src[3 * x + 2];
        dst[3 * x + 1] = src[3 * x + 1];
        dst[3 * x + 2] = src[3 * x];
      }
    else
      std::memcpy(dst, src, size_t(RowBytes));
  }
}

void ReadCameraMetadata(TStream* S, TIOParamsVals& Params) {
  S->SetPosition(0);
  const int64_t tiff = IEFindTIFFHeader(S);
  if (tiff < 0) {
    S->SetPosition(0);
    IEReadRAWMetadata(S, Params);
  } else {
    S->SetPosition(tiff);
    if (IELoadCameraRawEXIF(S, Params)) {
      const double f = Params.EXIF_RESOLUTIONUNIT == 3 ? 2.54 : 1.0;
      Params.SetDpiX(Integer(Round(Params.EXIF_XRESOLUTION * f)));
      Params.SetDpiY(Integer(Round(Params.EXIF_YRESOLUTION * f)));
    }
  }
  // The IPTC records of a TIFF-structured camera file, read as TIFF: finding
  // the format by content would find this very plug-in and read again
  // without end.
  if (tiff >= 0) {
    S->SetPosition(0);
    TIEBitmap scratch;
    auto io = TZiduzUvIO::CreateForBitmap(&scratch);
    io->ReadParamsFromStreamFormat(S, ieftTIFF);
    Params.IPTC_LIST.Assign(&io->Params().IPTC_LIST);
  }
  S->SetPosition(0);
}

}  // namespace
}  // namespace ieplugins

using namespace ieplugins;

void IESetRAWPluginName(const WideString& FileName) {
  TPluginList& l = Plugins();
  std::lock_guard g(l.Lock);
  l.RAWName = FileName;
}

WideString IEGetRAWPluginName() {
  TPluginList& l = Plugins();
  std::lock_guard g(l.Lock);
  return l.RAWName;
}

std::vector<const TIEIOPlugin*> IEFormatPlugins() {
  TPluginList& l = Plugins();
  std::lock_guard g(l.Lock);
  std::vector<const TIEIOPlugin*> v;
  for (auto& p : l.Items) v.push_back(p.get());
  return v;
}

Integer IELoadFormatPlugin(const WideString& FileName) {
  TPluginList& l = Plugins();
  const WideString bare = ExtractFileName(FileName);
  {
    std::lock_guard g(l.Lock);
    for (auto& p : l.Items)
      if (ExtractFileName(p->FileName) == bare) return 0;
  }
  const std::string path = WideToUtf8(FileName);
  Integer last = 0;
  for (Integer i = 0;; ++i) {
    void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) break;
    auto rec = std::make_unique<TIEIOPlugin>();
    rec->LibHandle = lib;
    rec->CDecl = dlsym(lib, "IEX_UseCDECL") != nullptr;
    const bool all = Lookup(lib, "IEX_Initialize", rec->Initialize) && Lookup(lib, "IEX_Finalize", rec->Finalize) &&
                     Lookup(lib, "IEX_GetInfo", rec->GetInfo) && Lookup(lib, "IEX_SetInfo", rec->SetInfo) &&
                     Lookup(lib, "IEX_SetCallBacks", rec->SetCallBacks) &&
                     Lookup(lib, "IEX_ExecuteRead", rec->ExecuteRead) &&
                     Lookup(lib, "IEX_ExecuteWrite", rec->ExecuteWrite) &&
                     Lookup(lib, "IEX_ExecuteTry", rec->ExecuteTry) &&
                     Lookup(lib, "IEX_AddParameter", rec->AddParameter);
    if (!all) {
      dlclose(lib);
      break;
    }
    rec->FormatIndex = i;
    rec->FileName = FileName;
    int32_t count = 0;
    auto info = std::make_unique<TIEFileFormatInfo>();
    {
      TContext c(*rec);
      IntItem(*rec, c.Ctx, IEX_ITEM_FORMATCOUNT, count);
      int32_t caps = 0;
      IntItem(*rec, c.Ctx, IEX_ITEM_CAPABILITY, caps);
      rec->Capabilities = uint32_t(caps);
      info->FullName = Utf8ToWide(TextItem(*rec, c.Ctx, IEX_ITEM_FULLNAME));
      info->Extensions = Utf8ToWide(TextItem(*rec, c.Ctx, IEX_ITEM_EXTENSIONS));
    }
    if (!(rec->Capabilities & IEX_THREADSAFE)) rec->Lock = std::make_unique<std::mutex>();
    if (rec->Capabilities & IEX_CAN_READ) {
      info->ReadRoutine = IEPluginRead;
      info->ProbeRoutine = IEPluginTry;
    }
    if (rec->Capabilities & IEX_CAN_WRITE) info->WriteRoutine = IEPluginWrite;
    {
      std::lock_guard g(l.Lock);
      rec->FileType = 4096 + TIEFileType(l.Items.size());
      info->FileType = rec->FileType;
      last = rec->FileType;
      l.Items.push_back(std::move(rec));
    }
    IERegisterFormat(std::move(info));
    if (i + 1 >= count) break;
  }
  return last;
}

void IEUnloadFormatPlugins() {
  TPluginList& l = Plugins();
  std::vector<std::unique_ptr<TIEIOPlugin>> items;
  {
    std::lock_guard g(l.Lock);
    items.swap(l.Items);
  }
  for (auto& p : items) {
    IEUnregisterFormat(p->FileType);
    if (p->Lock) {
      // Wait for a call still inside the plug-in.
      std::lock_guard g(*p->Lock);
    }
    dlclose(p->LibHandle);
  }
}

bool IEPluginTry(TStream* Stream, TIEFileType FileType) {
  TIEIOPlugin* p = FindPlugin(FileType);
  if (!p || !Stream) return false;
  TPluginGuard guard(p);
  TContext c(*p);
  TUserData u;
  u.Stream = Stream;
  InstallCallbacks(*p, c.Ctx, u);
  return p->ExecuteTry(c.Ctx) != 0;
}

void IEPluginRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                  bool Preview) {
  TIEIOPlugin* p = FindPlugin(Params.FILETYPE);
  if (!p) return;
  try {
    if (Params.GETTHUMBNAIL) {
      // Each of the reads below starts where the file starts.
      const int64_t start = Stream->Position();
      if (Params.EXIF_THUMBNAIL) Params.EXIF_THUMBNAIL->FreeImage(true);
      Params.SetGetThumbnail(false);
      IEPluginRead(Stream, Bitmap, Params, Progress, true);
      Params.SetGetThumbnail(true);
      if (Params.EXIF_THUMBNAIL && !Params.EXIF_THUMBNAIL->IsEmpty()) {
        Bitmap->Assign(Params.EXIF_THUMBNAIL.get());
        return;
      }
      if (ExtractFileName(p->FileName) == IEGetRAWPluginName()) {
        const AnsiString extra = Params.RAW_EXTRAPARAMS;
        Params.RAW_EXTRAPARAMS = "-e";
        Params.SetGetThumbnail(false);
        Progress.Aborting = false;
        Stream->SetPosition(start);
        IEPluginRead(Stream, Bitmap, Params, Progress, false);
        Params.RAW_EXTRAPARAMS = extra;
        Params.SetGetThumbnail(true);
        if (!Progress.Aborted()) return;
      }
      Stream->SetPosition(start);
    }
    TPluginGuard guard(p);
    TIEBufferedReadStream buffered(Stream, 1048576, true);
    Progress.Aborting = false;
    TContext c(*p);
    TUserData u{&buffered, &Params, &Progress};
    InstallCallbacks(*p, c.Ctx, u);
    int32_t meta = 0;
    if (IntItem(*p, c.Ctx, IEX_ITEM_READMETADATA, meta) && meta != 0) ReadCameraMetadata(&buffered, Params);
    p->ExecuteRead(c.Ctx, Preview ? -1 : 0);

    int32_t w = 0, h = 0, pf = 0;
    IntItem(*p, c.Ctx, IEX_ITEM_WIDTH, w);
    IntItem(*p, c.Ctx, IEX_ITEM_HEIGHT, h);
    IntItem(*p, c.Ctx, IEX_ITEM_PIXELFORMAT, pf);
    const Byte* pixels = static_cast<const Byte*>(Item(*p, c.Ctx, IEX_ITEM_PIXELS));
    // Formats outside the table are no pictures of ours.
    if (pf < 0 || pf > 8) {
      Progress.Abort();
      return;
    }
    Params.WIDTH = w;
    Params.HEIGHT = h;
    int32_t fw = 0, fh = 0;
    if (IntItem(*p, c.Ctx, IEX_ITEM_FULLWIDTH, fw)) {
      IntItem(*p, c.Ctx, IEX_ITEM_FULLHEIGHT, fh);
      Params.ORIGINALWIDTH = fw;
      Params.ORIGINALHEIGHT = fh;
    } else {
      Params.ORIGINALWIDTH = w;
      Params.ORIGINALHEIGHT = h;
    }
    if (pf >= 1) SampleLayout(pf, Params.BITSPERSAMPLE, Params.SAMPLESPERPIXEL);
    Params.FreeColorMap();
    if (Preview) return;
    if (!pixels) {
      Progress.Abort();
      return;
    }
    int64_t block = -1;
    if (const void* bs = Item(*p, c.Ctx, IEX_ITEM_BLOCKSIZE)) std::memcpy(&block, bs, sizeof block);

    if (pf == 0) {
      int32_t size = 0;
      IntItem(*p, c.Ctx, IEX_ITEM_FILESIZE, size);
      if (size <= 0 || (block >= 0 && size > block)) {
        Progress.Abort();
        return;
      }
      TIEMemStream ms(pixels, size);
      auto io = TZiduzUvIO::CreateForBitmap(Bitmap);
      io->LoadFromStream(&ms);
      if (io->Aborting()) Progress.Abort();
      else Params.Assign(&io->Params());
      return;
    }
    const int64_t rowBytes = PackedRowBytes(w, pf);
    if (w <= 0 || h <= 0 || !IEPictureFits(IEReadLimits.Native, w, h, Params.BITSPERSAMPLE * Params.SAMPLESPERPIXEL) ||
        (block >= 0 && rowBytes * h > block)) {
      Progress.Abort();
      return;
    }
    const TIEPixelFormat fmt = TIEPixelFormat(pf);
    if (Params.ISNATIVEPIXELFORMAT || fmt == ie1g || fmt == ie24RGB) {
      if (!Bitmap->Allocate(w, h, fmt)) {
        Progress.Abort();
        return;
      }
      CopyRowsIn(Bitmap, pixels, rowBytes, fmt == ie24RGB);
    } else {
      TIEBitmap tmp;
      if (!tmp.Allocate(w, h, fmt)) {
        Progress.Abort();
        return;
      }
      CopyRowsIn(&tmp, pixels, rowBytes, false);
      tmp.ConvertToPixelFormat(ie24RGB);
      Bitmap->Assign(&tmp);
    }
    if (Params.EXIF_HASEXIF && Params.ENABLEADJUSTORIENTATION) {
      IEApplyExifOrientation(Bitmap, Params.EXIF_ORIENTATION);
      Params.SetEXIFOrientation(1);
    }
  } catch (...) {
    Progress.Abort();
  }
}

void IEPluginWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  TIEIOPlugin* p = FindPlugin(Params.FILETYPE);
  if (!p) return;
  try {
    Progress.Aborting = false;
    const int32_t pf = int32_t(Bitmap->PixelFormat());
    if (pf < 1 || pf > 8 || Bitmap->IsEmpty()) {
      Progress.Abort();
      return;
    }
    TPluginGuard guard(p);
    TContext c(*p);
    TUserData u{Stream, &Params, &Progress};
    InstallCallbacks(*p, c.Ctx, u);
    int32_t w = Bitmap->Width(), h = Bitmap->Height();
    const int64_t rowBytes = PackedRowBytes(w, pf);
    std::vector<Byte> block(size_t(rowBytes * h));
    for (Integer y = 0; y < h; ++y) {
      const Byte* src = static_cast<const Byte*>(Bitmap->GetScanline(y));
      Byte* dst = block.data() + rowBytes * y;
      if (pf == ie24RGB)
        for (Integer x = 0; x < w; ++x) {
          dst[3 * x] = src[3 * x + 2];
          dst[3 * x + 1] = src[3 * x + 1];
          dst[3 * x + 2] = src[3 * x];
        }
      else
        std::memcpy(dst, src, size_t(rowBytes));
    }
    int32_t pfItem = pf;
    int64_t blockSize = int64_t(block.size());
    p->SetInfo(c.Ctx, IEX_ITEM_WIDTH, &w);
    p->SetInfo(c.Ctx, IEX_ITEM_HEIGHT, &h);
    p->SetInfo(c.Ctx, IEX_ITEM_PIXELFORMAT, &pfItem);
    p->SetInfo(c.Ctx, IEX_ITEM_BLOCKSIZE, &blockSize);
    p->SetInfo(c.Ctx, IEX_ITEM_PIXELS, block.data());
    p->ExecuteWrite(c.Ctx);
  } catch (...) {
    Progress.Abort();
  }
}
