// Global memory blocks (clipboard payloads, packed DIBs) and the packed-DIB
// layout helpers.
#pragma once

#include "platform/graphics/gdi.h"

using HGLOBAL = void*;

enum : UINT {
  GMEM_FIXED = 0x0000, GMEM_MOVEABLE = 0x0002, GMEM_NOCOMPACT = 0x0010, GMEM_NODISCARD = 0x0020,
  GMEM_ZEROINIT = 0x0040, GMEM_MODIFY = 0x0080, GMEM_DISCARDABLE = 0x0100, GMEM_SHARE = 0x2000,
  GMEM_DDESHARE = 0x2000, GHND = GMEM_MOVEABLE | GMEM_ZEROINIT, GPTR = GMEM_FIXED | GMEM_ZEROINIT,
};

// A fixed block's handle is its address (as on Windows); a moveable block's
// handle is not, and GlobalLock gives the address. Every handle is checked:
// foreign or freed handles make the calls fail.
HGLOBAL GlobalAlloc(UINT Flags, size_t Bytes);
HGLOBAL GlobalReAlloc(HGLOBAL Mem, size_t Bytes, UINT Flags);
void* GlobalLock(HGLOBAL Mem);
// True while the block is still locked by someone.
BOOL GlobalUnlock(HGLOBAL Mem);
// Null on success, Mem when it was not a live block.
HGLOBAL GlobalFree(HGLOBAL Mem);
size_t GlobalSize(HGLOBAL Mem);
// The handle of a block from its address (GlobalLock's result or a fixed block).
HGLOBAL GlobalHandle(const void* Address);

// Number of colour-table bytes that follow a DIB header: biClrUsed entries, or
// 2^bitcount for up to 8 bits, or 12 mask bytes for BI_BITFIELDS with a 40-byte header.
size_t DIBColorTableBytes(const BITMAPINFOHEADER* Header);
// Offset of the pixels from the start of a packed DIB (header and colour table).
size_t DIBPixelOffset(const BITMAPINFOHEADER* Header);
// Bytes of one row: ((width x bits + 31) div 32) x 4.
size_t DIBRowBytes(Integer Width, Integer BitCount);
