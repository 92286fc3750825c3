// The seam between the JPEG codec and libjpeg (API 62): the error manager,
// the stream source and destination managers, and guarded calls. libjpeg
// reports errors by a call that must not return; here it longjmps back into
// IEJpegGuard, so setjmp/longjmp never leave this file's functions and no C++
// exception ever crosses a libjpeg callback.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>

#include <atomic>
#include <string>

#include "platform/base/classes.h"
#include "platform/base/types.h"

// libjpeg's error manager plus the caller's abort flag (may be nil), the
// jump target of the error exit and the warning count.
struct TIEJpegErrorMgr {
  jpeg_error_mgr pub;
  std::atomic<bool>* Aborting = nullptr;
  Integer WarningCount = 0;
  Integer LastWarningCode = 0;
  Integer ErrorCode = 0;      // code of the last error exit (0: none)
  char ErrorText[160] = {};   // its text
  jmp_buf Jump;
};

// Fills Err with the routines of this module and returns &Err->pub for
// cinfo.err. Aborting is set on every error except "too few scanlines",
// whose call site decides.
jpeg_error_mgr* IEJpegInitErrorMgr(TIEJpegErrorMgr* Err, std::atomic<bool>* Aborting);

// The text of a message code: the library's own message with every parameter
// shown as "?", empty for the two trace codes that carry no text here, and
// "Corrupted" for codes beyond the classic table.
std::string IEJpegMessageText(j_common_ptr cinfo, Integer Code);
// The same into Out (OutSize bytes, always terminated); allocates nothing, so
// the error exit can use it.
void IEJpegFormatMessage(j_common_ptr cinfo, Integer Code, char* Out, size_t OutSize);

// Runs Fn(Ctx) so that a libjpeg error inside it comes back as false
// (Err->ErrorCode and ErrorText tell which). Fn must hold no object with a
// destructor: the error leaves it by longjmp.
bool IEJpegGuard(TIEJpegErrorMgr* Err, void (*Fn)(void* Ctx), void* Ctx);

// Stream source: 64 KB reads from Stream; when the stream has no more data
// it supplies an EOI marker (with the library's "premature end" warning the
// first time), and sets the abort flag when nothing at all could be read.
// Install on a decompression record that has been created.
struct TIEJpegSourceMgr {
  jpeg_source_mgr pub;
  TStream* Stream = nullptr;
  bool StartOfFile = true;
  std::atomic<bool>* Aborting = nullptr;
  // The stream ended before the decoder was done (an end-of-image marker was
  // supplied in its place), and the row of MCUs being decoded at that moment:
  // every later one is decoded from no data at all.
  bool RanDry = false;
  Integer DryIMCURow = 0;
  JOCTET Buffer[65536];
};
void IEJpegInstallSource(j_decompress_ptr cinfo, TIEJpegSourceMgr* Src, TStream* Stream,
                         std::atomic<bool>* Aborting);

// Stream destination: 64 KB writes to Stream; a short write (or one that
// raises) sets the abort flag.
struct TIEJpegDestMgr {
  jpeg_destination_mgr pub;
  TStream* Stream = nullptr;
  std::atomic<bool>* Aborting = nullptr;
  JOCTET Buffer[65536];
};
void IEJpegInstallDest(j_compress_ptr cinfo, TIEJpegDestMgr* Dest, TStream* Stream, std::atomic<bool>* Aborting);

// Ends decoding with an error once more than MaxScans scans were started (a
// progressive file can hold thousands, each costing a pass over the picture).
struct TIEJpegScanLimit {
  jpeg_progress_mgr pub;
  Integer MaxScans = 0;
};
void IEJpegLimitScans(j_decompress_ptr cinfo, TIEJpegScanLimit& Limit, Integer MaxScans);

// Guarded single calls. Each returns false after a libjpeg error.
bool IEJpegCreateDecompress(j_decompress_ptr cinfo, TIEJpegErrorMgr* Err);
bool IEJpegCreateCompress(j_compress_ptr cinfo, TIEJpegErrorMgr* Err);
// Result: JPEG_HEADER_OK, JPEG_HEADER_TABLES_ONLY, or -1 after an error.
Integer IEJpegReadHeader(j_decompress_ptr cinfo, bool RequireImage);
bool IEJpegStartDecompress(j_decompress_ptr cinfo);
bool IEJpegCalcOutputDimensions(j_decompress_ptr cinfo);
// Rows read (0..Count), or -1 after an error.
Integer IEJpegReadScanlines(j_decompress_ptr cinfo, JSAMPARRAY Rows, Integer Count);
// 0 when finished cleanly, else the error code (67: fewer rows were taken
// than the picture has, which a caller that stopped early may ignore).
Integer IEJpegFinishDecompress(j_decompress_ptr cinfo);
bool IEJpegStartCompress(j_compress_ptr cinfo);
bool IEJpegWriteMarker(j_compress_ptr cinfo, Integer Marker, const JOCTET* Data, unsigned Length);
Integer IEJpegWriteScanlines(j_compress_ptr cinfo, JSAMPARRAY Rows, Integer Count);
Integer IEJpegFinishCompress(j_compress_ptr cinfo);
// jpeg_destroy never fails; it is here so the codec calls libjpeg only through this file.
void IEJpegDestroy(j_common_ptr cinfo);
