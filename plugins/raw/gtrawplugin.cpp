// The camera RAW plug-in: one format, read through LibRaw into 8-bit RGB, or
// with "-e" in RAW_EXTRAPARAMS the camera's embedded preview (a JPEG handed
// back as an encoded file, or RGB pixels). The host reads the camera
// metadata itself (item 260). LibRaw's reentrant build keeps one decoder per
// context, so the plug-in declares itself thread-safe.
#include <libraw/libraw.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/io/ieplugins_protocol.h"

#define IEX_EXPORT extern "C" __attribute__((visibility("default")))

namespace gtrawplugin {

struct Context {
  IEX_ProgressFunc Progress = nullptr;
  IEX_ReadFunc Read = nullptr;
  IEX_WriteFunc Write = nullptr;
  IEX_SetPositionFunc SetPosition = nullptr;
  IEX_GetPositionFunc GetPosition = nullptr;
  IEX_GetSizeFunc GetSize = nullptr;
  IEX_GetParameterFunc GetParameter = nullptr;
  IEX_SetParameterFunc SetParameter = nullptr;
  void* User = nullptr;
  int32_t Width = 0, Height = 0, Format = 5, FileSize = 0, FullWidth = 0, FullHeight = 0;
  int32_t Caps = IEX_CAN_READ | IEX_THREADSAFE, One = 1, Count = 1;
  int64_t BlockSize = 0;
  bool HaveFull = false;
  std::vector<unsigned char> Pixels;
  bool HavePixels = false;
};

std::string Param(Context* C, const char* Name) {
  char buf[256];
  C->GetParameter(Name, buf, int32_t(sizeof buf), C->User);
  buf[sizeof buf - 1] = 0;
  return buf;
}

bool Flag(Context* C, const char* Name) {
  std::string v = Param(C, Name);
  for (char& ch : v) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  return v == "true" || v == "1";
}

// LibRaw reads through the host's stream callbacks.
class Source : public LibRaw_abstract_datastream {
 public:
  explicit Source(Context* C) : C_(C), Size_(C->GetSize(C->User)) {}
  int valid() override { return Size_ > 0; }
  int read(void* Ptr, size_t Size, size_t Count) override {
    if (Size == 0 || Count == 0) return 0;
    int64_t want = int64_t(Size) * int64_t(Count), done = 0;
    while (done < want) {
      const int32_t chunk = int32_t(std::min<int64_t>(want - done, 1 << 24));
      const int32_t got = C_->Read(static_cast<char*>(Ptr) + done, chunk, C_->User);
      if (got <= 0) break;
      done += got;
    }
    return int(done / int64_t(Size));
  }
  int seek(INT64 Offset, int Whence) override {
    int64_t t = Offset;
    if (Whence == SEEK_CUR) t += tell();
    else if (Whence == SEEK_END) t += Size_;
    if (t < 0) t = 0;
    if (t > Size_) t = Size_;
    C_->SetPosition(t, C_->User);
    return 0;
  }
  INT64 tell() override { return C_->GetPosition(C_->User); }
  INT64 size() override { return Size_; }
  int get_char() override {
    unsigned char ch;
    return read(&ch, 1, 1) == 1 ? int(ch) : -1;
  }
  char* gets(char* Str, int Size) override {
    if (Size <= 0) return nullptr;
    int n = 0;
    while (n < Size - 1) {
      const int ch = get_char();
      if (ch < 0) break;
      Str[n++] = char(ch);
      if (ch == '\n') break;
    }
    Str[n] = 0;
    return n == 0 ? nullptr : Str;
  }
  int scanf_one(const char* Fmt, void* Val) override {
    char buf[32];
    int n = 0, ch;
    while ((ch = get_char()) >= 0 && std::isspace(ch)) {
    }
    while (ch >= 0 && n < int(sizeof buf) - 1 && !std::isspace(ch) && ch != 0) {
      buf[n++] = char(ch);
      ch = get_char();
    }
    buf[n] = 0;
    return n == 0 ? 0 : std::sscanf(buf, Fmt, Val);
  }
  int eof() override { return tell() >= Size_; }
  void* make_jas_stream() override { return nullptr; }

 private:
  Context* C_;
  int64_t Size_;
};

void Keep(Context* C, const libraw_processed_image_t* Img) {
  C->Pixels.assign(Img->data, Img->data + Img->data_size);
  C->BlockSize = int64_t(Img->data_size);
  C->HavePixels = true;
}

}  // namespace gtrawplugin

using namespace gtrawplugin;

IEX_EXPORT void IEX_UseCDECL() {}

IEX_EXPORT void* IEX_Initialize(int32_t) { return new Context; }

IEX_EXPORT void IEX_Finalize(void* Ctx) { delete static_cast<Context*>(Ctx); }

IEX_EXPORT void* IEX_GetInfo(void* Ctx, int32_t Id) {
  auto* c = static_cast<Context*>(Ctx);
  switch (Id) {
    case IEX_ITEM_WIDTH: return &c->Width;
    case IEX_ITEM_HEIGHT: return &c->Height;
    case IEX_ITEM_PIXELFORMAT: return &c->Format;
    case IEX_ITEM_PIXELS: return c->HavePixels ? c->Pixels.data() : nullptr;
    case IEX_ITEM_BLOCKSIZE: return c->HavePixels ? &c->BlockSize : nullptr;
    case IEX_ITEM_FILESIZE: return &c->FileSize;
    case IEX_ITEM_FULLWIDTH: return c->HaveFull ? &c->FullWidth : nullptr;
    case IEX_ITEM_FULLHEIGHT: return c->HaveFull ? &c->FullHeight : nullptr;
    case IEX_ITEM_CAPABILITY: return &c->Caps;
    case IEX_ITEM_FULLNAME: return const_cast<char*>("Camera RAW");
    case IEX_ITEM_EXTENSIONS: return const_cast<char*>("CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2;DNG");
    case IEX_ITEM_READMETADATA: return &c->One;
    case IEX_ITEM_FORMATCOUNT: return &c->Count;
    default: return nullptr;
  }
}

IEX_EXPORT void IEX_SetInfo(void*, int32_t, void*) {}

IEX_EXPORT void IEX_SetCallBacks(void* Ctx, IEX_ProgressFunc Progress, IEX_ReadFunc Read, IEX_WriteFunc Write,
                                 IEX_SetPositionFunc SetPosition, IEX_GetPositionFunc GetPosition,
                                 IEX_GetSizeFunc GetSize, IEX_GetParameterFunc GetParameter,
                                 IEX_SetParameterFunc SetParameter, void* UserData) {
  auto* c = static_cast<Context*>(Ctx);
  c->Progress = Progress;
  c->Read = Read;
  c->Write = Write;
  c->SetPosition = SetPosition;
  c->GetPosition = GetPosition;
  c->GetSize = GetSize;
  c->GetParameter = GetParameter;
  c->SetParameter = SetParameter;
  c->User = UserData;
}

IEX_EXPORT void IEX_ExecuteRead(void* Ctx, int32_t ParametersOnly) {
  auto* c = static_cast<Context*>(Ctx);
  try {
    Source src(c);
    if (!src.valid()) return;
    auto r = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    libraw_output_params_t& o = r->imgdata.params;
    o.half_size = Flag(c, "RAW_HALFSIZE") ? 1 : 0;
    o.use_camera_wb = Flag(c, "RAW_USECAMERAWB") ? 1 : 0;
    o.use_auto_wb = Flag(c, "RAW_USEAUTOWB") ? 1 : 0;
    o.four_color_rgb = Flag(c, "RAW_FOURCOLORRGB") ? 1 : 0;
    o.user_qual = Flag(c, "RAW_QUICKINTERPOLATE") ? 0 : -1;
    src.seek(0, SEEK_SET);
    if (r->open_datastream(&src) != LIBRAW_SUCCESS) return;
    c->FullWidth = r->imgdata.sizes.width;
    c->FullHeight = r->imgdata.sizes.height;
    c->HaveFull = true;
    const bool embedded = Param(c, "RAW_EXTRAPARAMS").find("-e") != std::string::npos;
    if (embedded) {
      if (r->unpack_thumb() != LIBRAW_SUCCESS) return;
      int err = 0;
      libraw_processed_image_t* t = r->dcraw_make_mem_thumb(&err);
      if (!t) return;
      if (t->type == LIBRAW_IMAGE_JPEG) {
        c->Format = 0;
        c->FileSize = int32_t(t->data_size);
      } else if (t->colors == 3 && t->bits == 8) {
        c->Format = 5;
        c->Width = t->width;
        c->Height = t->height;
      } else {
        LibRaw::dcraw_clear_mem(t);
        return;
      }
      if (!ParametersOnly) Keep(c, t);
      LibRaw::dcraw_clear_mem(t);
      return;
    }
    int w = 0, h = 0, colors = 0, bps = 0;
    r->adjust_sizes_info_only();
    r->get_mem_image_format(&w, &h, &colors, &bps);
    c->Width = w;
    c->Height = h;
    c->Format = 5;
    if (ParametersOnly) return;
    // adjust_sizes_info_only leaves the decoder in a state that cannot
    // unpack: open the file once more for the picture.
    r->recycle();
    src.seek(0, SEEK_SET);
    if (r->open_datastream(&src) != LIBRAW_SUCCESS || r->unpack() != LIBRAW_SUCCESS) return;
    c->Progress(50, c->User);
    if (r->dcraw_process() != LIBRAW_SUCCESS) return;
    int err = 0;
    libraw_processed_image_t* img = r->dcraw_make_mem_image(&err);
    if (!img) return;
    if (img->colors == 3 && img->bits == 8) {
      c->Width = img->width;
      c->Height = img->height;
      Keep(c, img);
    }
    LibRaw::dcraw_clear_mem(img);
    c->Progress(100, c->User);
  } catch (...) {
    // No pixels: the host reports the failure.
  }
}

IEX_EXPORT void IEX_ExecuteWrite(void*) {}

IEX_EXPORT int32_t IEX_ExecuteTry(void* Ctx) {
  auto* c = static_cast<Context*>(Ctx);
  try {
    const int64_t at = c->GetPosition(c->User);
    Source src(c);
    auto r = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    src.seek(0, SEEK_SET);
    const bool ok = src.valid() && r->open_datastream(&src) == LIBRAW_SUCCESS;
    c->SetPosition(at, c->User);
    return ok ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

IEX_EXPORT void IEX_AddParameter(void*, const char*) {}
