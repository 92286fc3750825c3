// Bilevel coding of fax Group 3 (modified Huffman and modified READ) and
// Group 4, row by row. Decoded rows have 1 = white (as ie1g); rows to encode
// have 0 = white. FillOrder 1 takes bits from the most significant end of
// each byte, FillOrder 2 from the least significant end.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/base/classes.h"
#include "platform/base/types.h"

// Builds the code trees; safe to call more than once and from any thread
// (the decoders call it themselves).
void IEInitCCITT();
void IEFreeCCITT();

// --- decoding: Out holds (Width + 7) / 8 bytes and is filled white first ---

// One one-dimensional row from bit BitPos; returns the bit position after it.
int64_t IECCITTDecodeRow1D(Byte* Out, const Byte* Data, int64_t DataLength, Integer Width, int64_t BitPos,
                           Integer FillOrder);
// A modified Huffman row from bit 0 (rows on byte boundaries); returns the
// bytes used.
int64_t IECCITTDecodeHuffmanRow(Byte* Out, const Byte* Data, int64_t DataLength, Integer Width, Integer FillOrder);
// One row of two-dimensional coding against RefLine ((Width + 7) / 8 bytes,
// all white, 255, at the start of a strip), which then receives the row.
// FillBits: zero bits may stand before an EOL.
int64_t IECCITTDecodeRow2D(Byte* Out, const Byte* Data, int64_t DataLength, Integer Width, Byte* RefLine,
                           int64_t BitPos, Integer FillOrder, bool FillBits);

// --- encoding: rows have 0 = white; a short write sets Aborting ---

// The bit writer of one strip: the partial last byte and the reference line
// carry from one row to the next.
struct TIECCITTState {
  Byte PendingByte = 0;
  Integer PendingBits = 0;
  std::vector<Byte> RefLine;  // empty at the start of a strip
};

// A modified Huffman row, padded to a whole byte, no EOL.
void IECCITTEncodeHuffmanRow(const Byte* Row, Integer Width, TStream* Stream, std::atomic<bool>& Aborting,
                             Integer FillOrder);
// A one-dimensional Group 3 row, continuing the bit stream; WithEOL puts an
// EOL before it (TIFF readers look for one before every row).
void IECCITTEncodeG3Row(const Byte* Row, Integer Width, TStream* Stream, TIECCITTState& State,
                        std::atomic<bool>& Aborting, Integer FillOrder, bool WithEOL = false);
// Two-dimensional Group 3: EOL + 1 and a 1-D first row, EOL + 0 and 2-D rows
// after it. Row nil (the end call) writes one EOL and the last byte.
void IECCITTEncodeG3Row2D(const Byte* Row, Integer Width, TStream* Stream, TIECCITTState& State,
                          std::atomic<bool>& Aborting, Integer FillOrder);
// Group 4 rows; the end call (Row nil) writes EOFB and pads to a byte.
void IECCITTEncodeG4Row(const Byte* Row, Integer Width, TStream* Stream, TIECCITTState& State,
                        std::atomic<bool>& Aborting, Integer FillOrder);
// The end call of a one-dimensional Group 3 strip: writes the last byte.
void IECCITTFlushG3(TStream* Stream, TIECCITTState& State, std::atomic<bool>& Aborting, Integer FillOrder);
