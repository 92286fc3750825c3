// A plug-in for the host's tests: three formats (1-bit, 24-bit and 48-bit
// pictures) in a trivial file layout, with every call it receives appended to
// the file named by GT_TEST_PLUGIN_LOG. Built as three libraries: the plain
// one, one exporting IEX_UseCDECL and one lacking IEX_AddParameter.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/io/ieplugins_protocol.h"

#define IEX_EXPORT extern "C" __attribute__((visibility("default")))

namespace iex_test_plugin {

void Log(const std::string& Line) {
  const char* path = std::getenv("GT_TEST_PLUGIN_LOG");
  if (!path || !*path) return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", Line.c_str());
    std::fclose(f);
  }
}

const char* const kNames[3] = {"Test mono", "Test colour", "Test deep"};
const char* const kExts[3] = {"TPA", "TPB", "TPC"};
const int32_t kFormats[3] = {1, 5, 8};
const int32_t kBits[3] = {1, 24, 48};
const int32_t kCaps[3] = {IEX_CAN_READ | IEX_CAN_WRITE, IEX_CAN_READ | IEX_CAN_WRITE | IEX_THREADSAFE,
                          IEX_CAN_READ | IEX_CAN_WRITE};

struct Context {
  int32_t Index = 0;
  IEX_ProgressFunc Progress = nullptr;
  IEX_ReadFunc Read = nullptr;
  IEX_WriteFunc Write = nullptr;
  IEX_SetPositionFunc SetPosition = nullptr;
  IEX_GetPositionFunc GetPosition = nullptr;
  IEX_GetSizeFunc GetSize = nullptr;
  IEX_GetParameterFunc GetParameter = nullptr;
  IEX_SetParameterFunc SetParameter = nullptr;
  void* User = nullptr;
  int32_t Width = 0, Height = 0, Format = 0, Count = 3, Caps = 0, Zero = 0;
  int64_t BlockSize = 0;
  std::vector<unsigned char> Pixels;
  const void* InPixels = nullptr;
  bool HavePixels = false;
};

int64_t RowBytes(int32_t W, int Index) { return (int64_t(W) * kBits[Index] + 7) / 8; }

bool Header(Context* C, int32_t& W, int32_t& H) {
  unsigned char h[13];
  C->SetPosition(0, C->User);
  if (C->Read(h, 13, C->User) != 13 || std::memcmp(h, "GTPL", 4) != 0 || h[4] != C->Index) return false;
  std::memcpy(&W, h + 5, 4);
  std::memcpy(&H, h + 9, 4);
  return W > 0 && H > 0 && W < 10000 && H < 10000;
}

}  // namespace iex_test_plugin

using namespace iex_test_plugin;

#ifdef IEX_TEST_CDECL
IEX_EXPORT void IEX_UseCDECL() {}
#endif

IEX_EXPORT void* IEX_Initialize(int32_t FormatIndex) {
  Log("Initialize " + std::to_string(FormatIndex));
  auto* c = new Context;
  c->Index = FormatIndex < 0 || FormatIndex > 2 ? 0 : FormatIndex;
  c->Caps = kCaps[c->Index];
  return c;
}

IEX_EXPORT void IEX_Finalize(void* Ctx) {
  Log("Finalize");
  delete static_cast<Context*>(Ctx);
}

IEX_EXPORT void* IEX_GetInfo(void* Ctx, int32_t Id) {
  auto* c = static_cast<Context*>(Ctx);
  switch (Id) {
    case IEX_ITEM_WIDTH: return &c->Width;
    case IEX_ITEM_HEIGHT: return &c->Height;
    case IEX_ITEM_PIXELFORMAT: return &c->Format;
    case IEX_ITEM_PIXELS: return c->HavePixels ? c->Pixels.data() : nullptr;
    case IEX_ITEM_BLOCKSIZE: return c->HavePixels ? &c->BlockSize : nullptr;
    case IEX_ITEM_CAPABILITY: return &c->Caps;
    case IEX_ITEM_FULLNAME: return const_cast<char*>(kNames[c->Index]);
    case IEX_ITEM_EXTENSIONS: return const_cast<char*>(kExts[c->Index]);
    case IEX_ITEM_READMETADATA: return &c->Zero;
    case IEX_ITEM_FORMATCOUNT: return &c->Count;
    default: return nullptr;
  }
}

IEX_EXPORT void IEX_SetInfo(void* Ctx, int32_t Id, void* Address) {
  auto* c = static_cast<Context*>(Ctx);
  Log("SetInfo " + std::to_string(Id));
  switch (Id) {
    case IEX_ITEM_WIDTH: std::memcpy(&c->Width, Address, 4); break;
    case IEX_ITEM_HEIGHT: std::memcpy(&c->Height, Address, 4); break;
    case IEX_ITEM_PIXELFORMAT: std::memcpy(&c->Format, Address, 4); break;
    case IEX_ITEM_BLOCKSIZE: std::memcpy(&c->BlockSize, Address, 8); break;
    case IEX_ITEM_PIXELS: c->InPixels = Address; break;
    default: break;
  }
}

IEX_EXPORT void IEX_SetCallBacks(void* Ctx, IEX_ProgressFunc Progress, IEX_ReadFunc Read, IEX_WriteFunc Write,
                                 IEX_SetPositionFunc SetPosition, IEX_GetPositionFunc GetPosition,
                                 IEX_GetSizeFunc GetSize, IEX_GetParameterFunc GetParameter,
                                 IEX_SetParameterFunc SetParameter, void* UserData) {
  Log("SetCallBacks");
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
  Log("ExecuteRead " + std::to_string(ParametersOnly));
  // A small buffer on purpose: the host must cut the text to it.
  char xmp[16];
  std::memset(xmp, 'x', sizeof xmp);
  c->GetParameter("XMP_INFO", xmp, int32_t(sizeof xmp), c->User);
  Log("XMP " + std::to_string(strnlen(xmp, sizeof xmp)));
  c->SetParameter("PNG_COMPRESSION", "3", c->User);
  char extra[64];
  c->GetParameter("RAW_EXTRAPARAMS", extra, int32_t(sizeof extra), c->User);
  if (extra[0]) Log(std::string("EXTRA ") + extra);
  int32_t w, h;
  if (!Header(c, w, h)) return;
  c->Width = w;
  c->Height = h;
  c->Format = kFormats[c->Index];
  if (ParametersOnly) return;
  const int64_t n = RowBytes(w, c->Index) * h;
  c->Pixels.resize(size_t(n));
  if (c->Read(c->Pixels.data(), int32_t(n), c->User) != n) return;
  c->BlockSize = n;
  c->HavePixels = true;
  c->Progress(100, c->User);
}

IEX_EXPORT void IEX_ExecuteWrite(void* Ctx) {
  auto* c = static_cast<Context*>(Ctx);
  Log("ExecuteWrite " + std::to_string(c->Format));
  if (!c->InPixels || c->Format != kFormats[c->Index]) return;
  unsigned char h[13] = {'G', 'T', 'P', 'L', (unsigned char)c->Index};
  std::memcpy(h + 5, &c->Width, 4);
  std::memcpy(h + 9, &c->Height, 4);
  c->Write(h, 13, c->User);
  const int64_t n = RowBytes(c->Width, c->Index) * c->Height;
  if (n <= c->BlockSize) c->Write(c->InPixels, int32_t(n), c->User);
}

IEX_EXPORT int32_t IEX_ExecuteTry(void* Ctx) {
  auto* c = static_cast<Context*>(Ctx);
  Log("ExecuteTry");
  const int64_t at = c->GetPosition(c->User);
  int32_t w, h;
  const bool ok = Header(c, w, h);
  c->SetPosition(at, c->User);
  return ok ? 1 : 0;
}

#ifndef IEX_TEST_INCOMPLETE
IEX_EXPORT void IEX_AddParameter(void*, const char*) {}
#endif
