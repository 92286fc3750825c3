// PostScript output: one page per picture, scaled to the paper and placed at
// its top-left corner, the data always in 7-bit clean ASCII85 after run-length,
// CCITT or JPEG compression. A document is started, given pages and finished
// in three steps, so that pages can be appended to an open document.
#pragma once

#include <memory>

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// Where the page count line starts and where the next page (and at last the
// trailer) goes; Pages backs the count up when the stream cannot be read back.
struct TIEPSDocState {
  int64_t PagesPos = 0;
  int64_t NextPos = 0;
  Integer Pages = 0;
};

// Writes the header at the stream's position. Nil when the stream fails.
std::unique_ptr<TIEPSDocState> IEStartPostScript(TStream* Stream, TIOParamsVals& Params);
// Raises the page count in place and writes the page at the next-page position.
void IEPostScriptAddPage(TIEPSDocState& State, TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                         TIEProgressRec& Progress);
// Writes the trailer and frees the state; nothing for a nil state.
void IEFinishPostScript(std::unique_ptr<TIEPSDocState>& State, TStream* Stream, TIEProgressRec& Progress);
// A one-page document.
void IEWritePostScript(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);

// The encoded data of one page (everything between the operator line and
// "%%EndData"), with its data source lines. Returns the number of ASCII85
// characters of the data groups.
int64_t IEPostScriptImageData(TMemoryStream& Data, AnsiString& SourceLines, TIEBitmap* Bitmap,
                              TIOParamsVals& Params, TIEProgressRec& Progress);
