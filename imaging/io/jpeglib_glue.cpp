// libjpeg glue: error manager, stream managers and guarded calls.
#include "imaging/io/jpeglib_glue.h"

#include <type_traits>

#include <jerror.h>

#include <algorithm>
#include <cstring>

// libjpeg hands back the public part of each record; the extension is
// reached by a cast, which needs the public part first in a plain layout.
static_assert(std::is_standard_layout_v<TIEJpegErrorMgr>);
static_assert(std::is_standard_layout_v<TIEJpegSourceMgr>);
static_assert(std::is_standard_layout_v<TIEJpegDestMgr>);
static_assert(std::is_standard_layout_v<TIEJpegScanLimit>);

namespace {

// The classic message table ends here; later codes are the newer library's own.
constexpr Integer kLastClassicCode = 123;

void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<TIEJpegErrorMgr*>(cinfo->err);
  err->ErrorCode = err->pub.msg_code;
  IEJpegFormatMessage(cinfo, err->pub.msg_code, err->ErrorText, sizeof err->ErrorText);
  // "Too few scanlines" is what finishing after an early stop reports; the
  // caller that stopped early decides whether it matters.
  if (err->Aborting && err->pub.msg_code != JERR_TOO_LITTLE_DATA) err->Aborting->store(true);
  // libjpeg requires this routine never to return.
  longjmp(err->Jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int msg_level) {
  auto* err = reinterpret_cast<TIEJpegErrorMgr*>(cinfo->err);
  if (msg_level == -1) {
    ++err->WarningCount;
    err->LastWarningCode = err->pub.msg_code;
  }
}

void OutputMessage(j_common_ptr) {}

void ResetErrorMgr(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<TIEJpegErrorMgr*>(cinfo->err);
  err->WarningCount = 0;
  err->pub.msg_code = 0;
}

// --- source ------------------------------------------------------------------

void InitSource(j_decompress_ptr cinfo) { reinterpret_cast<TIEJpegSourceMgr*>(cinfo->src)->StartOfFile = true; }

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<TIEJpegSourceMgr*>(cinfo->src);
  int64_t got = 0;
  try {
    got = src->Stream->Read(src->Buffer, sizeof src->Buffer);
  } catch (...) {
    got = 0;
  }
  if (got <= 0) {
    if (src->StartOfFile && src->Aborting) src->Aborting->store(true);
    if (!src->RanDry) {
      src->RanDry = true;
      src->DryIMCURow = static_cast<Integer>(cinfo->input_iMCU_row);
      // The same warning the library's own sources give for a cut file, so
      // that a cut is always counted, also when it falls between two scans.
      WARNMS(cinfo, JWRN_JPEG_EOF);
    }
    // An EOI marker lets the decoder end cleanly on a short stream.
    src->Buffer[0] = 0xFF;
    src->Buffer[1] = JPEG_EOI;
    got = 2;
  }
  src->pub.next_input_byte = src->Buffer;
  src->pub.bytes_in_buffer = static_cast<size_t>(got);
  src->StartOfFile = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long num_bytes) {
  if (num_bytes <= 0) return;
  auto* src = reinterpret_cast<TIEJpegSourceMgr*>(cinfo->src);
  size_t left = static_cast<size_t>(num_bytes);
  while (left > src->pub.bytes_in_buffer) {
    left -= src->pub.bytes_in_buffer;
    FillInputBuffer(cinfo);
    // Past the end nothing is left to skip: the decoder must see the
    // supplied end-of-image marker, not skip it 2 bytes at a time.
    if (src->RanDry) return;
  }
  src->pub.next_input_byte += left;
  src->pub.bytes_in_buffer -= left;
}

void TermSource(j_decompress_ptr) {}

// --- destination -----------------------------------------------------------------

void WriteOut(TIEJpegDestMgr* dest, size_t Count) {
  if (Count == 0) return;
  bool shortWrite = false;
  try {
    shortWrite = dest->Stream->Write(dest->Buffer, static_cast<int64_t>(Count)) != static_cast<int64_t>(Count);
  } catch (...) {
    shortWrite = true;
  }
  if (shortWrite && dest->Aborting) dest->Aborting->store(true);
}

void InitDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TIEJpegDestMgr*>(cinfo->dest);
  dest->pub.next_output_byte = dest->Buffer;
  dest->pub.free_in_buffer = sizeof dest->Buffer;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TIEJpegDestMgr*>(cinfo->dest);
  WriteOut(dest, sizeof dest->Buffer);
  dest->pub.next_output_byte = dest->Buffer;
  dest->pub.free_in_buffer = sizeof dest->Buffer;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TIEJpegDestMgr*>(cinfo->dest);
  WriteOut(dest, sizeof dest->Buffer - dest->pub.free_in_buffer);
  dest->pub.next_output_byte = dest->Buffer;
  dest->pub.free_in_buffer = sizeof dest->Buffer;
}

void ScanProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  auto* limit = reinterpret_cast<TIEJpegScanLimit*>(cinfo->progress);
  if (d->input_scan_number > limit->MaxScans) {
    cinfo->err->msg_code = JERR_NOTIMPL;
    cinfo->err->error_exit(cinfo);
  }
}

// --- guarded calls -------------------------------------------------------------------

TIEJpegErrorMgr* ErrOf(j_common_ptr cinfo) { return reinterpret_cast<TIEJpegErrorMgr*>(cinfo->err); }

}  // namespace

jpeg_error_mgr* IEJpegInitErrorMgr(TIEJpegErrorMgr* Err, std::atomic<bool>* Aborting) {
  jpeg_std_error(&Err->pub);
  Err->pub.error_exit = ErrorExit;
  Err->pub.emit_message = EmitMessage;
  Err->pub.output_message = OutputMessage;
  Err->pub.reset_error_mgr = ResetErrorMgr;
  Err->Aborting = Aborting;
  Err->WarningCount = 0;
  Err->LastWarningCode = 0;
  Err->ErrorCode = 0;
  Err->ErrorText[0] = 0;
  return &Err->pub;
}

void IEJpegFormatMessage(j_common_ptr cinfo, Integer Code, char* Out, size_t OutSize) {
  if (OutSize == 0) return;
  size_t n = 0;
  auto put = [&](const char* s) {
    while (*s && n + 1 < OutSize) Out[n++] = *s++;
  };
  const jpeg_error_mgr* err = cinfo ? cinfo->err : nullptr;
  const char* fmt = nullptr;
  if (Code >= 0 && Code <= kLastClassicCode && err && Code <= err->last_jpeg_message && err->jpeg_message_table)
    fmt = err->jpeg_message_table[Code];
  if (Code == 73 || Code == 74) {
    fmt = "";
  } else if (!fmt) {
    fmt = "Corrupted";
  }
  for (const char* p = fmt; *p; ++p) {
    if (*p != '%') {
      char one[2] = {*p, 0};
      put(one);
      continue;
    }
    if (p[1] == '%') {
      put("%");
      ++p;
      continue;
    }
    // A conversion: flags, width, precision and length, then its letter.
    ++p;
    while (*p && std::strchr("-+ #0123456789.lhL", *p)) ++p;
    put("?");
    if (!*p) break;
  }
  Out[n] = 0;
}

std::string IEJpegMessageText(j_common_ptr cinfo, Integer Code) {
  char buf[256];
  IEJpegFormatMessage(cinfo, Code, buf, sizeof buf);
  return buf;
}

bool IEJpegGuard(TIEJpegErrorMgr* Err, void (*Fn)(void* Ctx), void* Ctx) {
  if (setjmp(Err->Jump)) return false;
  Fn(Ctx);
  return true;
}

void IEJpegInstallSource(j_decompress_ptr cinfo, TIEJpegSourceMgr* Src, TStream* Stream,
                         std::atomic<bool>* Aborting) {
  Src->pub.init_source = InitSource;
  Src->pub.fill_input_buffer = FillInputBuffer;
  Src->pub.skip_input_data = SkipInputData;
  Src->pub.resync_to_restart = jpeg_resync_to_restart;
  Src->pub.term_source = TermSource;
  Src->pub.next_input_byte = nullptr;
  Src->pub.bytes_in_buffer = 0;
  Src->Stream = Stream;
  Src->Aborting = Aborting;
  Src->StartOfFile = true;
  Src->RanDry = false;
  Src->DryIMCURow = 0;
  cinfo->src = &Src->pub;
}

void IEJpegLimitScans(j_decompress_ptr cinfo, TIEJpegScanLimit& Limit, Integer MaxScans) {
  Limit.pub.progress_monitor = ScanProgress;
  Limit.MaxScans = MaxScans;
  cinfo->progress = &Limit.pub;
}

void IEJpegInstallDest(j_compress_ptr cinfo, TIEJpegDestMgr* Dest, TStream* Stream, std::atomic<bool>* Aborting) {
  Dest->pub.init_destination = InitDestination;
  Dest->pub.empty_output_buffer = EmptyOutputBuffer;
  Dest->pub.term_destination = TermDestination;
  Dest->Stream = Stream;
  Dest->Aborting = Aborting;
  cinfo->dest = &Dest->pub;
}

bool IEJpegCreateDecompress(j_decompress_ptr cinfo, TIEJpegErrorMgr* Err) {
  cinfo->err = &Err->pub;
  if (setjmp(Err->Jump)) return false;
  jpeg_create_decompress(cinfo);
  return true;
}

bool IEJpegCreateCompress(j_compress_ptr cinfo, TIEJpegErrorMgr* Err) {
  cinfo->err = &Err->pub;
  if (setjmp(Err->Jump)) return false;
  jpeg_create_compress(cinfo);
  return true;
}

Integer IEJpegReadHeader(j_decompress_ptr cinfo, bool RequireImage) {
  if (setjmp(ErrOf(reinterpret_cast<j_common_ptr>(cinfo))->Jump)) return -1;
  return jpeg_read_header(cinfo, RequireImage ? TRUE : FALSE);
}

bool IEJpegStartDecompress(j_decompress_ptr cinfo) {
  if (setjmp(ErrOf(reinterpret_cast<j_common_ptr>(cinfo))->Jump)) return false;
  jpeg_start_decompress(cinfo);
  return true;
}

bool IEJpegCalcOutputDimensions(j_decompress_ptr cinfo) {
  if (setjmp(ErrOf(reinterpret_cast<j_common_ptr>(cinfo))->Jump)) return false;
  jpeg_calc_output_dimensions(cinfo);
  return true;
}

Integer IEJpegReadScanlines(j_decompress_ptr cinfo, JSAMPARRAY Rows, Integer Count) {
  if (setjmp(ErrOf(reinterpret_cast<j_common_ptr>(cinfo))->Jump)) return -1;
  return static_cast<Integer>(jpeg_read_scanlines(cinfo, Rows, static_cast<JDIMENSION>(Count)));
}

Integer IEJpegFinishDecompress(j_decompress_ptr cinfo) {
  TIEJpegErrorMgr* err = ErrOf(reinterpret_cast<j_common_ptr>(cinfo));
  if (setjmp(err->Jump)) return err->ErrorCode != 0 ? err->ErrorCode : -1;
  jpeg_finish_decompress(cinfo);
  return 0;
}

bool IEJpegStartCompress(j_compress_ptr cinfo) {
  if (setjmp(ErrOf(reinterpret_cast<j_common_ptr>(cinfo))->Jump)) return false;
  jpeg_start_compress(cinfo, TRUE);
  return true;
}

bool IEJpegWriteMarker(j_compress_ptr cinfo, Integer Marker, const JOCTET* Data, unsigned Length) {
  if (setjmp(ErrOf(reinterpret_cast<j_common_ptr>(cinfo))->Jump)) return false;
  jpeg_write_marker(cinfo, Marker, Data, Length);
  return true;
}

Integer IEJpegWriteScanlines(j_compress_ptr cinfo, JSAMPARRAY Rows, Integer Count) {
  if (setjmp(ErrOf(reinterpret_cast<j_common_ptr>(cinfo))->Jump)) return -1;
  return static_cast<Integer>(jpeg_write_scanlines(cinfo, Rows, static_cast<JDIMENSION>(Count)));
}

Integer IEJpegFinishCompress(j_compress_ptr cinfo) {
  TIEJpegErrorMgr* err = ErrOf(reinterpret_cast<j_common_ptr>(cinfo));
  if (setjmp(err->Jump)) return err->ErrorCode != 0 ? err->ErrorCode : -1;
  jpeg_finish_compress(cinfo);
  return 0;
}

void IEJpegDestroy(j_common_ptr cinfo) { jpeg_destroy(cinfo); }
