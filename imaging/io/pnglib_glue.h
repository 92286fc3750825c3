// The seam between the PNG codec and libpng 1.6: stream callbacks, error
// handling and guarded calls. libpng reports errors by a longjmp to the
// structure's jump buffer; every libpng call goes through IEPngGuard, which
// sets that buffer, so setjmp/longjmp stay inside this file and no C++
// exception ever crosses a libpng callback.
#pragma once

#include <png.h>

#include <atomic>
#include <cstddef>
#include <memory>

#include "platform/base/classes.h"
#include "platform/base/types.h"

// What the callbacks reach through libpng's io and error pointers.
struct TIEPngIO {
  TStream* Stream = nullptr;
  std::atomic<bool>* Aborting = nullptr;
  bool ShortRead = false;  // the stream ended before libpng had its bytes
  char Message[128] = {};  // the last libpng error text
  // Writers gather their output here: libpng hands over every chunk as three
  // writes (header, data, checksum), and a file stream would make each one a
  // system call. The block goes out when full and at IEPngFlushWrites.
  std::unique_ptr<Byte[]> Block;
  size_t Pending = 0;
  bool WriteFailed = false;  // a short write happened: nothing more goes out
};

// Size of a writer's gathering block.
constexpr size_t IEPngWriteBlock = 64 * 1024;

// Structures made with PNG_LIBPNG_VER_STRING, the callbacks above and
// silent warnings; nil when libpng refuses. Each Create pairs with its Destroy
// (which takes the info structure too, nil allowed).
png_structp IEPngCreateRead(TIEPngIO* IO);
png_structp IEPngCreateWrite(TIEPngIO* IO);
void IEPngDestroyRead(png_structp Png, png_infop Info);
void IEPngDestroyWrite(png_structp Png, png_infop Info);

// Runs Fn(Ctx) so that a libpng error inside it comes back as false. Fn must
// hold no object with a destructor: the error leaves it by longjmp.
bool IEPngGuard(png_structp Png, void (*Fn)(void* Ctx), void* Ctx);

// Guarded single calls: false after a libpng error.
bool IEPngReadInfo(png_structp Png, png_infop Info);
bool IEPngReadUpdateInfo(png_structp Png, png_infop Info);
bool IEPngReadRow(png_structp Png, png_bytep Row);
bool IEPngReadEnd(png_structp Png);
bool IEPngWriteInfo(png_structp Png, png_infop Info);
bool IEPngWriteRow(png_structp Png, png_const_bytep Row);
bool IEPngWriteEnd(png_structp Png, png_infop Info);

// Hands what a writer has gathered to the stream. A short write sets the
// abort flag (as every write does) and answers false.
bool IEPngFlushWrites(TIEPngIO* IO);
