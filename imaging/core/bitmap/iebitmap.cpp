#include "imaging/core/bitmap/iebitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "imaging/core/base/ieglobals.h"
#include "imaging/core/base/iehelpers.h"
#include "imaging/core/base/iesysinfo.h"
#include "platform/base/pages.h"
#include "platform/graphics/bitmap.h"

TIEBitmapTestHooks IEBitmapTestHooks;

namespace {

constexpr int64_t kDefaultThreshold = 33554432;     // when the machine's memory is unknown
constexpr int64_t kMinSegmentSize = 10485760;       // once more than four segments are needed
constexpr int64_t kCheckMemoryLeftFrom = int64_t(64) << 20;  // smaller blocks never ask
constexpr int64_t kMaxBlock = std::numeric_limits<ptrdiff_t>::max() / 2;

// Under the threshold is not enough: a block the system cannot back is
// handed out anyway (memory is overcommitted) and the out-of-memory killer
// ends the program when its pages are written, with the user's work. Big
// pictures beyond three quarters of what is left go to a file instead.
bool MemoryCanHold(int64_t Size) {
  if (Size < kCheckMemoryLeftFrom) return true;
  const int64_t left = IEMemoryLeft();
  return left < 0 || Size <= left / 4 * 3;
}

// Total memory is read once: it takes several file reads and bitmaps are
// created all the time, also by worker threads (the initialisation of a
// function-local static is thread-safe).
int64_t DefaultThreshold() {
  static const int64_t threshold = [] {
    int64_t total = IEGetPhysicalMemory(false);
    return total > 0 ? static_cast<int64_t>(Trunc(static_cast<long double>(total) / 1.3L)) : kDefaultThreshold;
  }();
  return threshold;
}

// The colour triple of a platform colour value, system colours resolved.
TRGB ColorToTriple(TColor c) {
  uint32_t v = static_cast<uint32_t>(ColorToRGB(c));
  return TRGB{static_cast<Byte>(v >> 16), static_cast<Byte>(v >> 8), static_cast<Byte>(v)};
}

// Copies Rows rows of Bytes bytes from Src to Dst, reading Src without
// writing it back and writing Dst without reading it in.
void CopyRows(TIEBitmap& Src, TIEBitmap& Dst, Integer Rows, Integer Bytes) {
  if (Rows <= 0 || Bytes <= 0) return;
  TIEBitmapAccess sa = Src.Access(), da = Dst.Access();
  Src.SetAccess(ieaRead);
  Dst.SetAccess(ieaWrite);
  for (Integer y = 0; y < Rows; ++y) std::memcpy(Dst.GetScanline(y), Src.GetScanline(y), static_cast<size_t>(Bytes));
  Src.SetAccess(sa);
  Dst.SetAccess(da);
}

}  // namespace

// ---------------------------------------------------------------------------
// Life cycle

TIEBitmap::TIEBitmap() : FFileBuffer(std::make_unique<TIEFileBuffer>()) {
  FAccess = ieaRead | ieaWrite;
  FMemoryThreshold = IEMemoryThresholdOverride != -1 ? IEMemoryThresholdOverride : DefaultThreshold();
}

TIEBitmap::TIEBitmap(Integer Width, Integer Height, TIEPixelFormat PixelFormat) : TIEBitmap() {
  Allocate(Width, Height, PixelFormat);
}

std::unique_ptr<TIEBitmap> TIEBitmap::CreateAlphaChannel(Integer Width, Integer Height, TIELocation Location) {
  auto a = std::make_unique<TIEBitmap>();
  a->FIsAlphaChannel = true;
  a->FLocation = Location == ieTBitmap ? ieMemory : Location;
  if (a->Allocate(Width, Height, ie8g)) a->FillBytes(255);
  return a;
}

TIEBitmap::~TIEBitmap() { FreeImage(true); }

// ---------------------------------------------------------------------------
// Allocation

bool TIEBitmap::Allocate(Integer Width, Integer Height, TIEPixelFormat PixelFormat) {
  if (!FNeedsAllocation && Width == FWidth && Height == FHeight && PixelFormat == FPixelFormat) return true;
  bool ok = AllocateUnchecked(Width, Height, PixelFormat);
  FNeedsAllocation = false;
  return ok;
}

bool TIEBitmap::AllocateUnchecked(Integer Width, Integer Height, TIEPixelFormat PixelFormat) {
  // A caller's platform bitmap is reused and resized, never forgotten.
  TBitmap* external = FLocation == ieTBitmap && FVclBitmapIsExternal ? FVclBitmap : nullptr;
  auto freeKeepingExternal = [&] {
    FreeImage(true);
    if (external) {
      FVclBitmap = external;
      FVclBitmapIsExternal = true;
    }
  };
  freeKeepingExternal();
  FWidth = Width;
  FHeight = Height;
  FPixelFormat = PixelFormat;
  bool ok;
  try {
    ok = AllocateStorage();
  } catch (...) {
    ok = false;
  }
  if (!ok) {
    freeKeepingExternal();
    FWidth = FHeight = 0;
  }
  UpdateRowAccess();
  return ok;
}

TIELocation TIEBitmap::StorageFor(int64_t Size) const {
  TIELocation location = FLocation;
  if (location == ieFile && FMemoryThreshold > Size) location = ieMemory;
  else if (location == ieMemory && FMemoryThreshold < Size) location = ieFile;
  if (location == ieMemory && !MemoryCanHold(Size)) location = ieFile;
  return location;
}

bool TIEBitmap::AllocateStorage() {
  if (FWidth <= 0 || FHeight <= 0 || FPixelFormat == ieNone || FPixelFormat >= IEPixelFormatCount) return false;
  // Storage the bitmap takes itself is bottom-up; only a wrapped caller
  // buffer can be top-down.
  FTopDown = 0;
  if (FPixelFormat == ie8p) {
    // Zeroed, so that a palette nobody filled never carries heap contents
    // into a saved file.
    FPalette.reset(new (std::nothrow) TRGB[256]());
    if (!FPalette) return false;
    FPaletteLength = 256;
  }
  FBitCount = IEPixelFormatBitCount(FPixelFormat);
  FChannelCount = IEPixelFormatChannelCount(FPixelFormat);
  FRowLen = IEBitmapRowLen(FWidth, FBitCount, FRowAlignment);
  if (FRowLen <= 0) return false;
  int64_t size = static_cast<int64_t>(FRowLen) * FHeight;

  FLocation = StorageFor(size);
  if (FLocation == ieTBitmap) return AllocateTBitmapStorage();
  // A file that cannot be had falls back to memory only when memory can hold
  // the picture; otherwise the load fails rather than the process.
  if (FLocation == ieFile && !FFileBuffer->AllocateFile(W("IMG"), true, size)) {
    if (!MemoryCanHold(size)) return false;
    FLocation = ieMemory;
  }
  if (FLocation == ieMemory && !AllocAligned(size) && !AllocSegments()) {
    if (!IEFileFallback) return false;
    FLocation = ieFile;
    if (!FFileBuffer->AllocateFile(W("IMG"), true, size)) return false;
  }
  FFull = false;
  return true;
}

bool TIEBitmap::AllocAligned(int64_t Size) {
  if (Size <= 0 || Size > kMaxBlock) return false;
  if (IEBitmapTestHooks.FailBlock && IEBitmapTestHooks.FailBlock(Size)) return false;
  int64_t request = Size + 128;
  void* p = nullptr;
  // Every kind hands out zeroed memory: fresh pixels never show what the
  // heap held before.
  // FBlockAllocator: 0 calloc, 2 IELargeAlloc, 3 AllocateZeroedPages.
  Byte kind = FAllocator == 2 ? 2 : 0;
  if (kind == 0 && request >= int64_t(kLargePageBlock)) {
    // A big picture comes straight from the kernel, in huge pages where it can.
    p = AllocateZeroedPages(static_cast<size_t>(request));
    if (p) kind = 3;
  }
  if (!p) p = kind == 2 ? IELargeAlloc(request) : std::calloc(static_cast<size_t>(request), 1);
  if (!p) return false;
  FMemoryAllocation = p;
  FBlockAllocator = kind;
  uintptr_t a = reinterpret_cast<uintptr_t>(p);
  FMemoryBlock = reinterpret_cast<Byte*>((a + 63) & ~uintptr_t(63));
  return true;
}

bool TIEBitmap::AllocSegments() {
  if (!IEUseSegments) return false;
  // Sizes are 64-bit: a picture of several gigabytes needs segments of more
  // than 2 GiB, which a 32-bit product would wrap to a small number.
  for (int64_t n = 4;;) {
    int64_t rows = (FHeight + n - 1) / n;
    int64_t segSize = static_cast<int64_t>(FRowLen) * rows;
    if (segSize < kMinSegmentSize && n > 4) return false;
    bool ok = segSize <= kMaxBlock;
    if (ok && IEBitmapTestHooks.FailSegment && IEBitmapTestHooks.FailSegment(segSize, static_cast<int32_t>(n)))
      ok = false;
    if (ok) {
      try {
        FSegments.assign(static_cast<size_t>(n), nullptr);
      } catch (...) {
        ok = false;
      }
      for (int64_t i = 0; ok && i < n; ++i) {
        FSegments[i] = static_cast<Byte*>(std::calloc(static_cast<size_t>(segSize), 1));
        if (!FSegments[i]) ok = false;
      }
    }
    if (ok) {
      FRowsPerSegment = static_cast<Integer>(rows);
      return true;
    }
    FreeSegments();
    n *= 2;
    if (n >= FHeight) return false;
  }
}

void TIEBitmap::FreeSegments() {
  for (Byte* s : FSegments) std::free(s);
  FSegments.clear();
  FRowsPerSegment = 0;
}

void TIEBitmap::FreeMemoryBlock() {
  if (FMemoryAllocation && !FMemoryIsExternal) {
    if (FBlockAllocator == 2) IELargeFree(FMemoryAllocation);
    else if (FBlockAllocator == 3) FreeZeroedPages(FMemoryAllocation);
    else std::free(FMemoryAllocation);
  }
  FMemoryAllocation = nullptr;
  FMemoryBlock = nullptr;
  FMemoryIsExternal = false;
}

void TIEBitmap::FreeImage(bool FreeAlpha) {
  if (FreeAlpha) {
    delete FAlphaChannel;
    FAlphaChannel = nullptr;
  }
  FPalette.reset();
  FPaletteLength = 0;
  DropStorage();
}

// Forgets the pixel storage and every row handed out of it. The pixels are
// being dropped or replaced: a row that cannot be written back any more does
// not matter.
void TIEBitmap::DropStorage() {
  try {
    ReleaseMappedRows();
  } catch (...) {
  }
  FCurrentRow = nullptr;
  FKeptRows.clear();
  FKeptRowNumbers.clear();
  try {
    FFileBuffer->Close();
  } catch (...) {
  }
  ClearStorageFields();
}

// Releases the pixel storage itself and forgets the size; palette, alpha
// channel, PixelFormat and Location are the callers' business.
void TIEBitmap::ClearStorageFields() {
  FreeMemoryBlock();
  FreeSegments();
  if (!FVclBitmapIsExternal) delete FVclBitmap;
  FVclBitmap = nullptr;
  FVclBitmapIsExternal = false;
  FWidth = FHeight = FRowLen = FBitCount = FChannelCount = 0;
  FFull = false;
  // A top-down caller buffer is gone with the storage; the next block the
  // bitmap takes is bottom-up.
  FTopDown = 0;
  UpdateRowAccess();
}

void TIEBitmap::UpdateRowAccess() {
  // A platform bitmap's rows are one block as well (BuildScanlineCache).
  if ((FLocation == ieMemory || FLocation == ieTBitmap) && FSegments.empty() && FMemoryBlock && FHeight > 0 &&
      FRowLen > 0) {
    if (FTopDown) {
      FRow0 = FMemoryBlock;
      FRowStep = FRowLen;
    } else {
      FRow0 = FMemoryBlock + static_cast<ptrdiff_t>(FRowLen) * (FHeight - 1);
      FRowStep = -static_cast<ptrdiff_t>(FRowLen);
    }
  } else {
    FRow0 = nullptr;
    FRowStep = 0;
  }
}

// ---------------------------------------------------------------------------
// Rows

void* TIEBitmap::ScanlineSlow(Integer Row) {
  if (FTopDown) Row = FHeight - Row - 1;
  switch (FLocation) {
    case ieMemory:
      if (!FSegments.empty())
        return FSegments[Row / FRowsPerSegment] + static_cast<ptrdiff_t>(Row % FRowsPerSegment) * FRowLen;
      if (!FMemoryBlock) return nullptr;
      return FMemoryBlock + static_cast<ptrdiff_t>(FRowLen) * (FHeight - 1 - Row);
    case ieFile:
      if (FCurrentRow) {
        void* old = FCurrentRow;
        FCurrentRow = nullptr;
        FFileBuffer->Unmap(old);
      }
      FCurrentRow = FFileBuffer->Map(FAccess, static_cast<int64_t>(Row) * FRowLen, FRowLen);
      return FCurrentRow;
    default:
      return nullptr;
  }
}

void* TIEBitmap::MapRow(Integer Row) {
  if (FLocation != ieFile) return GetScanline(Row);
  if (FTopDown) Row = FHeight - Row - 1;
  if (FCurrentRow) {
    void* old = FCurrentRow;
    FCurrentRow = nullptr;
    FFileBuffer->Unmap(old);
  }
  void* block = FFileBuffer->Map(FAccess, static_cast<int64_t>(Row) * FRowLen, FRowLen);
  FKeptRows.push_back(block);
  FKeptRowNumbers.push_back(Row);
  return block;
}

// The file position of bytes Offset .. Offset + Count - 1 of row Row (at
// ieFile, after the single-row mapping is given back: it could otherwise be
// written back over the range later), or -1 for a picture in memory.
int64_t TIEBitmap::RowBytesPosition(Integer Row, Integer Offset, Integer Count) {
  if (Row < 0 || Row >= FHeight || Offset < 0 || Count < 0 || Count > FRowLen - Offset)
    throw ERangeError("Row range out of bounds");
  if (FLocation != ieFile) return -1;
  if (FTopDown) Row = FHeight - Row - 1;
  if (FCurrentRow) {
    void* old = FCurrentRow;
    FCurrentRow = nullptr;
    FFileBuffer->Unmap(old);
  }
  return static_cast<int64_t>(Row) * FRowLen + Offset;
}

void TIEBitmap::ReadRowBytes(Integer Row, Integer Offset, Integer Count, void* Buffer) {
  const int64_t pos = RowBytesPosition(Row, Offset, Count);
  const Byte* from = pos < 0 ? static_cast<const Byte*>(GetScanline(Row)) + Offset
                             : static_cast<const Byte*>(FFileBuffer->Map(ieaRead, pos, Count));
  std::memcpy(Buffer, from, static_cast<size_t>(Count));
  if (pos >= 0) FFileBuffer->Unmap(const_cast<Byte*>(from));
}

void TIEBitmap::WriteRowBytes(Integer Row, Integer Offset, Integer Count, const void* Buffer) {
  const int64_t pos = RowBytesPosition(Row, Offset, Count);
  Byte* to = pos < 0 ? static_cast<Byte*>(GetScanline(Row)) + Offset
                     : static_cast<Byte*>(FFileBuffer->Map(ieaWrite, pos, Count));
  std::memcpy(to, Buffer, static_cast<size_t>(Count));
  if (pos >= 0) FFileBuffer->Unmap(to);
}

void TIEBitmap::UnmapRow(Integer Row) {
  if (FLocation != ieFile) return;
  if (FTopDown) Row = FHeight - Row - 1;
  auto it = std::find(FKeptRowNumbers.begin(), FKeptRowNumbers.end(), Row);
  if (it == FKeptRowNumbers.end()) return;
  size_t i = static_cast<size_t>(it - FKeptRowNumbers.begin());
  void* block = FKeptRows[i];
  FKeptRows.erase(FKeptRows.begin() + i);
  FKeptRowNumbers.erase(it);
  FFileBuffer->Unmap(block);
}

void TIEBitmap::ReleaseMappedRows() {
  if (FLocation != ieFile) return;
  // Every row is given back even when one write-back fails; the first
  // failure is raised afterwards.
  std::exception_ptr first;
  if (FCurrentRow) {
    void* old = FCurrentRow;
    FCurrentRow = nullptr;
    try {
      FFileBuffer->Unmap(old);
    } catch (...) {
      first = std::current_exception();
    }
  }
  while (!FKeptRows.empty()) {
    void* block = FKeptRows.back();
    FKeptRows.pop_back();
    FKeptRowNumbers.pop_back();
    try {
      FFileBuffer->Unmap(block);
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

void TIEBitmap::FillBytes(Byte Value) {
  TIEBitmapAccess a = FAccess;
  FAccess = ieaWrite;
  for (Integer y = 0; y < FHeight; ++y) std::memset(GetScanline(y), Value, static_cast<size_t>(FRowLen));
  FAccess = a;
  FFull = Value == 255;
}

// ---------------------------------------------------------------------------
// Resizing and moving

void TIEBitmap::SetWidth(Integer Value) {
  if (Value == FWidth) return;
  ResizeKeeping(Value, FHeight);
}

void TIEBitmap::SetHeight(Integer Value) {
  if (Value == FHeight) return;
  ResizeKeeping(FWidth, Value);
}

void TIEBitmap::ResizeKeeping(Integer NewWidth, Integer NewHeight) {
  if (FAlphaChannel) {
    if (NewWidth != FWidth) FAlphaChannel->SetWidth(NewWidth);
    if (NewHeight != FHeight) FAlphaChannel->SetHeight(NewHeight);
  }
  if (FLocation == ieTBitmap) {
    ResizeTBitmap(NewWidth, NewHeight);
    return;
  }
  // Without a picture on the other axis there is nothing to carry over.
  bool otherAxisEmpty = NewWidth != FWidth ? FHeight <= 0 : FWidth <= 0;
  if (FPixelFormat == ieNone || otherAxisEmpty) {
    FWidth = NewWidth;
    FHeight = NewHeight;
    return;
  }
  TIEBitmap tmp;
  MoveStorageTo(&tmp);
  // The alpha channel, already resized, comes straight back.
  TIEBitmap* alpha = tmp.FAlphaChannel;
  tmp.FAlphaChannel = nullptr;
  if (Allocate(NewWidth, NewHeight, tmp.FPixelFormat)) {
    CopyRows(tmp, *this, std::min(FHeight, tmp.FHeight), std::min(FRowLen, tmp.FRowLen));
    if (FPaletteLength > 0 && tmp.FPaletteLength > 0)
      std::memcpy(FPalette.get(), tmp.FPalette.get(), sizeof(TRGB) * std::min(FPaletteLength, tmp.FPaletteLength));
    FAlphaChannel = alpha;
  } else {
    delete alpha;
  }
  FFull = false;
}

void TIEBitmap::SetPixelFormat(TIEPixelFormat Value) {
  if (Value == FPixelFormat) return;
  ConvertToPixelFormat(Value);
}

void TIEBitmap::SetRowAlignment(Integer Bits) {
  if (Bits == FRowAlignment) return;
  if (Bits <= 0 || Bits % 8 != 0) return;  // rows are padded to whole bytes
  FNeedsAllocation = true;
  if (FLocation != ieMemory) return;
  TIEBitmap tmp;
  MoveStorageTo(&tmp);
  FRowAlignment = Bits;
  TIEBitmap* alpha = tmp.FAlphaChannel;
  tmp.FAlphaChannel = nullptr;
  if (Allocate(tmp.FWidth, tmp.FHeight, tmp.FPixelFormat)) {
    CopyRows(tmp, *this, FHeight, std::min(FRowLen, tmp.FRowLen));
    if (FPaletteLength > 0 && tmp.FPaletteLength > 0)
      std::memcpy(FPalette.get(), tmp.FPalette.get(), sizeof(TRGB) * std::min(FPaletteLength, tmp.FPaletteLength));
    FFull = tmp.FFull;
    FAlphaChannel = alpha;
  } else {
    delete alpha;
  }
}

void TIEBitmap::SetLocation(TIELocation Value) {
  if (Value == FLocation) return;
  if (Value == ieTBitmap) {
    MoveToTBitmap();
    return;
  }
  FNeedsAllocation = true;
  TIEBitmap tmp;
  MoveStorageTo(&tmp);
  FLocation = Value;
  TIEBitmap* alpha = tmp.FAlphaChannel;
  tmp.FAlphaChannel = nullptr;
  if (Allocate(tmp.FWidth, tmp.FHeight, tmp.FPixelFormat)) {
    CopyRows(tmp, *this, FHeight, std::min(FRowLen, tmp.FRowLen));
    if (FPaletteLength > 0 && tmp.FPaletteLength > 0)
      std::memcpy(FPalette.get(), tmp.FPalette.get(), sizeof(TRGB) * std::min(FPaletteLength, tmp.FPaletteLength));
  }
  FIsAlphaChannel = tmp.FIsAlphaChannel;
  FAlphaChannel = alpha;
  FFull = false;
}

void TIEBitmap::MoveStorageTo(TIEBitmap* Dest) {
  if (!Dest || Dest == this) return;
  Dest->FreeImage(true);
  Dest->FWidth = FWidth;
  Dest->FHeight = FHeight;
  Dest->FBitCount = FBitCount;
  Dest->FChannelCount = FChannelCount;
  Dest->FRowLen = FRowLen;
  Dest->FPixelFormat = FPixelFormat;
  Dest->FPalette = std::move(FPalette);
  Dest->FPaletteLength = FPaletteLength;
  Dest->FAlphaChannel = FAlphaChannel;
  Dest->FIsAlphaChannel = FIsAlphaChannel;
  Dest->FMemoryBlock = FMemoryBlock;
  Dest->FMemoryAllocation = FMemoryAllocation;
  Dest->FBlockAllocator = FBlockAllocator;
  Dest->FLocation = FLocation;
  Dest->FFull = FFull;
  Dest->FMemoryIsExternal = FMemoryIsExternal;
  Dest->FSegments = std::move(FSegments);
  Dest->FRowsPerSegment = FRowsPerSegment;
  Dest->FFileBuffer = std::move(FFileBuffer);
  Dest->FCurrentRow = FCurrentRow;
  Dest->FKeptRows = std::move(FKeptRows);
  Dest->FKeptRowNumbers = std::move(FKeptRowNumbers);
  Dest->FBlackWhiteMethod = FBlackWhiteMethod;
  Dest->FRowAlignment = FRowAlignment;
  Dest->FAllocator = FAllocator;
  // The row order belongs to the storage: a wrapped top-down buffer read
  // bottom-up would come out flipped.
  Dest->FTopDown = FTopDown;
  Dest->FVclBitmap = FVclBitmap;
  Dest->FVclBitmapIsExternal = FVclBitmapIsExternal;
  Dest->UpdateRowAccess();

  FFileBuffer = std::make_unique<TIEFileBuffer>();
  FVclBitmap = nullptr;
  FVclBitmapIsExternal = false;
  FCurrentRow = nullptr;
  FKeptRows.clear();
  FKeptRowNumbers.clear();
  FSegments.clear();
  FRowsPerSegment = 0;
  FPaletteLength = 0;
  FAlphaChannel = nullptr;
  FMemoryBlock = nullptr;
  FMemoryAllocation = nullptr;
  FMemoryIsExternal = false;
  FWidth = FHeight = FBitCount = FChannelCount = FRowLen = 0;
  FPixelFormat = ieNone;
  FFull = false;
  FTopDown = 0;
  FNeedsAllocation = true;
  UpdateRowAccess();
}

void TIEBitmap::EncapsulateMemory(void* Buffer, Integer Width, Integer Height, TIEPixelFormat PixelFormat,
                                  bool FreeCurrent, bool TopDown) {
  if (FreeCurrent) FreeImage(true);
  if (!Buffer) return;
  Integer bits = IEPixelFormatBitCount(PixelFormat);
  Integer rowLen = bits > 0 ? IEBitmapRowLen(Width, bits, FRowAlignment) : -1;
  if (Width <= 0 || Height <= 0 || rowLen <= 0) return;
  // Storage of our own would be lost behind the caller's buffer; the palette
  // and the alpha channel stay when the caller asked to keep them.
  DropStorage();
  if (PixelFormat != ie8p) {
    FPalette.reset();
    FPaletteLength = 0;
  } else if (!FPalette) {
    FPalette.reset(new TRGB[256]());
    FPaletteLength = 256;
  }
  FWidth = Width;
  FHeight = Height;
  FPixelFormat = PixelFormat;
  FBitCount = bits;
  FChannelCount = IEPixelFormatChannelCount(PixelFormat);
  FRowLen = rowLen;
  FLocation = ieMemory;
  FMemoryIsExternal = true;
  FMemoryBlock = static_cast<Byte*>(Buffer);
  FMemoryAllocation = Buffer;
  FTopDown = TopDown ? 1 : 0;
  UpdateRowAccess();
}

// ---------------------------------------------------------------------------
// Palette and copies

void TIEBitmap::GetPaletteColor(Integer Index, TRGB& Color) {
  if (Index >= 0 && Index < FPaletteLength) Color = FPalette[Index];
}

void TIEBitmap::SetPaletteColor(Integer Index, const TRGB& Color) {
  if (Index < 0 || Index >= FPaletteLength) return;
  FPalette[Index] = Color;
  if (FLocation == ieTBitmap && FVclBitmap) FVclBitmap->SetColorTableEntry(Index, RGBQUAD{Color.b, Color.g, Color.r, 0});
}

void TIEBitmap::CopyPaletteTo(TObject* Dest) {
  auto* d = dynamic_cast<TIEBitmap*>(Dest);
  if (!d || d == this) return;
  d->FPalette.reset();
  d->FPaletteLength = 0;
  d->FPaletteUsed = 256;
  if (FPaletteLength > 0) {
    d->FPalette.reset(new TRGB[FPaletteLength]);
    std::memcpy(d->FPalette.get(), FPalette.get(), sizeof(TRGB) * FPaletteLength);
    d->FPaletteLength = FPaletteLength;
    d->FPaletteUsed = FPaletteUsed;
  }
  d->UpdateTBitmapPalette();
}

void TIEBitmap::Assign(TObject* Source) {
  if (auto* platform = dynamic_cast<TBitmap*>(Source)) {
    FNeedsAllocation = true;
    CopyFromTBitmap(platform);
    return;
  }
  auto* src = dynamic_cast<TIEBitmap*>(Source);
  if (!src || src == this) return;
  // Into a platform bitmap only the formats it can hold go, converted where
  // needed; an empty source leaves it as it is.
  std::unique_ptr<TIEBitmap> held;
  TIEBitmap* from = src;
  if (FLocation == ieTBitmap) {
    if (src->IsEmpty()) return;
    from = TBitmapCompatibleSource(src, held);
    if (!from) return;
  }
  FNeedsAllocation = true;
  // At ieTBitmap the allocation below keeps (and resizes) a caller's bitmap.
  if (FLocation != ieTBitmap) FreeImage(true);
  FRowAlignment = src->FRowAlignment;
  bool ok = AllocateUnchecked(from->FWidth, from->FHeight, from->FPixelFormat);
  if (ok) {
    if (from != src) {
      CopyRows(*from, *this, FHeight, std::min(FRowLen, from->FRowLen));
    } else if (FLocation == ieFile && src->FLocation == ieFile) {
      ReleaseMappedRows();
      src->ReleaseMappedRows();
      src->FFileBuffer->CopyTo(FFileBuffer.get(), 0, static_cast<int64_t>(FRowLen) * FHeight);
    } else {
      CopyRows(*src, *this, FHeight, std::min(FRowLen, src->FRowLen));
    }
    FFull = src->FFull;
  }
  if (!FIsAlphaChannel && src->FAlphaChannel) GetAlphaChannel()->Assign(src->FAlphaChannel);
  src->CopyPaletteTo(this);
  FBlackWhiteMethod = src->FBlackWhiteMethod;
}

// ---------------------------------------------------------------------------
// Alpha channel

TIEBitmap* TIEBitmap::GetAlphaChannel() {
  if (FIsAlphaChannel) return FAlphaChannel;
  if (!FAlphaChannel) FAlphaChannel = CreateAlphaChannel(FWidth, FHeight, FLocation).release();
  return FAlphaChannel;
}

std::unique_ptr<TIEBitmap> TIEBitmap::AttachAlphaChannel(std::unique_ptr<TIEBitmap> Alpha) {
  if (Alpha && Alpha.get() == FAlphaChannel) {
    Alpha.release();
    return nullptr;
  }
  std::unique_ptr<TIEBitmap> previous(FAlphaChannel);
  FAlphaChannel = Alpha.release();
  if (FAlphaChannel) FAlphaChannel->FIsAlphaChannel = true;
  return previous;
}

void TIEBitmap::RemoveAlphaChannel(bool Merge, TColor Background) {
  if (FIsAlphaChannel || !FAlphaChannel) return;
  if (Merge && FPixelFormat == ie24RGB && !IsEmpty()) {
    TIEBitmap& alpha = *FAlphaChannel;
    TRGB bg = ColorToTriple(Background);
    const Byte back[3] = {bg.b, bg.g, bg.r};
    TIEBitmapAccess aa = alpha.FAccess;
    alpha.FAccess = ieaRead;
    Integer rows = std::min(FHeight, alpha.FHeight), cols = std::min(FWidth, alpha.FWidth);
    for (Integer y = 0; y < rows; ++y) {
      auto* px = static_cast<Byte*>(GetScanline(y));
      auto* a = static_cast<const Byte*>(alpha.GetScanline(y));
      for (Integer x = 0; x < cols; ++x, px += 3) {
        // Rounded blend, exact at both ends: alpha 0 gives the background,
        // alpha 255 leaves the pixel as it is.
        unsigned av = a[x], ia = 255 - av;
        for (int c = 0; c < 3; ++c) px[c] = static_cast<Byte>((px[c] * av + back[c] * ia + 127) / 255);
      }
    }
    alpha.FAccess = aa;
  }
  delete FAlphaChannel;
  FAlphaChannel = nullptr;
}
