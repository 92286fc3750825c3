// libpng glue: stream callbacks, error handling and guarded calls.
#include "imaging/io/pnglib_glue.h"

#include <csetjmp>
#include <cstring>

namespace {

TIEPngIO* IOOf(png_const_structrp Png) { return static_cast<TIEPngIO*>(png_get_error_ptr(Png)); }

void ErrorFn(png_structp Png, png_const_charp Msg) {
  if (TIEPngIO* io = IOOf(Png)) {
    std::strncpy(io->Message, Msg ? Msg : "", sizeof io->Message - 1);
    io->Message[sizeof io->Message - 1] = 0;
  }
  png_longjmp(Png, 1);
}

void WarningFn(png_structp, png_const_charp) {}

void ReadFn(png_structp Png, png_bytep Data, size_t Length) {
  auto* io = static_cast<TIEPngIO*>(png_get_io_ptr(Png));
  int64_t got = 0;
  try {
    got = io->Stream->Read(Data, static_cast<int64_t>(Length));
  } catch (...) {
    got = -1;
  }
  if (got != static_cast<int64_t>(Length)) {
    io->ShortRead = true;
    png_error(Png, "short read");
  }
}

void WriteFn(png_structp Png, png_bytep Data, size_t Length) {
  auto* io = static_cast<TIEPngIO*>(png_get_io_ptr(Png));
  bool shortWrite = false;
  try {
    shortWrite = io->Stream->Write(Data, static_cast<int64_t>(Length)) != static_cast<int64_t>(Length);
  } catch (...) {
    shortWrite = true;
  }
  // A short write stops the writer through the abort flag, not as an error.
  if (shortWrite && io->Aborting) io->Aborting->store(true);
}

void FlushFn(png_structp) {}

}  // namespace

png_structp IEPngCreateRead(TIEPngIO* IO) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, IO, ErrorFn, WarningFn);
  if (png) png_set_read_fn(png, IO, ReadFn);
  return png;
}

png_structp IEPngCreateWrite(TIEPngIO* IO) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, IO, ErrorFn, WarningFn);
  if (png) png_set_write_fn(png, IO, WriteFn, FlushFn);
  return png;
}

void IEPngDestroyRead(png_structp Png, png_infop Info) {
  if (Png) png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr);
}

void IEPngDestroyWrite(png_structp Png, png_infop Info) {
  if (Png) png_destroy_write_struct(&Png, Info ? &Info : nullptr);
}

bool IEPngGuard(png_structp Png, void (*Fn)(void* Ctx), void* Ctx) {
  if (setjmp(png_jmpbuf(Png))) return false;
  Fn(Ctx);
  return true;
}

bool IEPngReadInfo(png_structp Png, png_infop Info) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_read_info(Png, Info);
  return true;
}

bool IEPngReadUpdateInfo(png_structp Png, png_infop Info) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_read_update_info(Png, Info);
  return true;
}

bool IEPngReadRow(png_structp Png, png_bytep Row) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_read_row(Png, Row, nullptr);
  return true;
}

bool IEPngReadEnd(png_structp Png) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_read_end(Png, nullptr);
  return true;
}

bool IEPngWriteInfo(png_structp Png, png_infop Info) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_write_info(Png, Info);
  return true;
}

bool IEPngWriteRow(png_structp Png, png_const_bytep Row) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_write_row(Png, Row);
  return true;
}

bool IEPngWriteEnd(png_structp Png, png_infop Info) {
  if (setjmp(png_jmpbuf(Png))) return false;
  png_write_end(Png, Info);
  return true;
}
