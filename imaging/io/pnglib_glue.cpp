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

// Writes straight to the stream; a short write stops the writer through the
// abort flag, not as an error.
void PutOut(TIEPngIO* IO, const void* Data, size_t Length) {
  if (IO->WriteFailed || Length == 0) return;
  bool shortWrite = false;
  try {
    shortWrite = IO->Stream->Write(Data, static_cast<int64_t>(Length)) != static_cast<int64_t>(Length);
  } catch (...) {
    shortWrite = true;
  }
  if (shortWrite) {
    IO->WriteFailed = true;
    if (IO->Aborting) IO->Aborting->store(true);
  }
}

void DrainBlock(TIEPngIO* IO) {
  const size_t n = IO->Pending;
  IO->Pending = 0;
  PutOut(IO, IO->Block.get(), n);
}

void WriteFn(png_structp Png, png_bytep Data, size_t Length) {
  auto* io = static_cast<TIEPngIO*>(png_get_io_ptr(Png));
  if (io->Pending + Length > IEPngWriteBlock) DrainBlock(io);
  if (Length >= IEPngWriteBlock) {
    PutOut(io, Data, Length);
  } else {
    std::memcpy(io->Block.get() + io->Pending, Data, Length);
    io->Pending += Length;
  }
}

void FlushFn(png_structp Png) { DrainBlock(static_cast<TIEPngIO*>(png_get_io_ptr(Png))); }

}  // namespace

png_structp IEPngCreateRead(TIEPngIO* IO) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, IO, ErrorFn, WarningFn);
  if (png) png_set_read_fn(png, IO, ReadFn);
  return png;
}

png_structp IEPngCreateWrite(TIEPngIO* IO) {
  if (!IO->Block) IO->Block = std::make_unique_for_overwrite<Byte[]>(IEPngWriteBlock);
  IO->Pending = 0;
  IO->WriteFailed = false;
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

bool IEPngFlushWrites(TIEPngIO* IO) {
  DrainBlock(IO);
  return !IO->WriteFailed;
}
