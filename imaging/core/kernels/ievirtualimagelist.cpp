#include "imaging/core/kernels/ievirtualimagelist.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <new>

#include "imaging/core/base/ieutils.h"

namespace {

constexpr int64_t kPaletteBytes = 256 * 3;
constexpr size_t kBlockAlign = 64;

Integer RowLenOf(Integer Width, Integer BitCount) { return IEBitmapRowLen(Width, BitCount, 32); }

// Copies Rows rows of Bitmap bottom-up into Dest (rows of DestRowLen bytes),
// padding each row with zeros past what the bitmap has.
void RowsToBlock(TIEBaseBitmap* Bitmap, Integer Rows, Byte* Dest, Integer DestRowLen, Integer TotalRows) {
  const size_t n = static_cast<size_t>(std::min(DestRowLen, std::max(Bitmap->GetRowLen(), 0)));
  TIEAccessScope access(Bitmap, ieaRead);
  for (Integer i = 0; i < TotalRows; ++i) {
    Byte* d = Dest + static_cast<ptrdiff_t>(i) * DestRowLen;
    Integer y = TotalRows - 1 - i;
    if (y < Rows && n > 0) {
      std::memcpy(d, Bitmap->GetScanline(y), n);
      std::memset(d + n, 0, static_cast<size_t>(DestRowLen) - n);
    } else {
      std::memset(d, 0, static_cast<size_t>(DestRowLen));
    }
  }
}

// The reverse: block rows bottom-up into the bitmap's rows.
void BlockToRows(const Byte* Src, Integer SrcRowLen, Integer Rows, TIEBitmap* Bitmap) {
  const size_t n = static_cast<size_t>(std::min(SrcRowLen, Bitmap->RowLen()));
  TIEAccessScope access(Bitmap, ieaWrite);
  for (Integer i = 0; i < Rows; ++i)
    std::memcpy(Bitmap->GetScanline(Rows - 1 - i), Src + static_cast<ptrdiff_t>(i) * SrcRowLen, n);
}

}  // namespace

// ---------------------------------------------------------------------------
// Life cycle

TIEVirtualImageList::THolder::~THolder() {
  // The bitmap may still point into one of the buffers: it goes first.
  Bitmap.reset();
  for (void* b : Buffers) std::free(b);
}

TIEVirtualImageList::TIEVirtualImageList(const WideString& Name, bool UseDisk) : FUseDisk(UseDisk), FName(Name) {
  FStoreSize = FGrowStep;
  // Without its store the list would hand out records whose pixels go
  // nowhere; failing here is the honest answer.
  if (!FStore.AllocateFile(FName, FUseDisk, FStoreSize)) throw EInOutError(W("Unable to create ") + FName);
}

TIEVirtualImageList::~TIEVirtualImageList() {
  FHolders.clear();
  FMapped.clear();
  for (auto& img : FImages) img->Block = nullptr;
  // The store is closed by its own destructor; blocks still mapped are
  // returned there.
}

bool TIEVirtualImageList::Owns(const TIEVirtualImageInfo* Image) const {
  return Image && Image->FIndex < FImages.size() && FImages[Image->FIndex].get() == Image;
}

TIEVirtualImageList::THolder* TIEVirtualImageList::FindHolder(const TIEVirtualImageInfo* Image) {
  for (auto& h : FHolders)
    if (h->Image == Image) return h.get();
  return nullptr;
}

TIEVirtualImageList::THolder* TIEVirtualImageList::FindHolder(const TIEBitmap* Bitmap) {
  for (auto& h : FHolders)
    if (h->Bitmap.get() == Bitmap) return h.get();
  return nullptr;
}

void TIEVirtualImageList::FreeHolder(THolder* Holder) {
  for (size_t i = 0; i < FHolders.size(); ++i)
    if (FHolders[i].get() == Holder) {
      FHolders.erase(FHolders.begin() + static_cast<ptrdiff_t>(i));
      return;
    }
}

// ---------------------------------------------------------------------------
// Mapping

bool TIEVirtualImageList::Map(TIEVirtualImageInfo* Image, Byte Mode) {
  if (Image->Block && Image->MapMode != Mode) Unmap(Image);
  if (Image->Block) {
    FMapped.splice(FMapped.end(), FMapped, Image->FMappedPos);
    return true;
  }
  while (static_cast<Integer>(FMapped.size()) > FMaxMapped) Unmap(FMapped.front());
  void* block;
  try {
    block = FStore.Map(Mode, Image->Offset, Image->Size);
  } catch (const Exception&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  Image->Block = block;
  Image->MapMode = Mode;
  Image->FMappedPos = FMapped.insert(FMapped.end(), Image);
  return true;
}

void TIEVirtualImageList::Unmap(TIEVirtualImageInfo* Image) {
  if (!Image->Block) return;
  void* block = Image->Block;
  FMapped.erase(Image->FMappedPos);
  Image->Block = nullptr;
  Image->MapMode = 0;
  // The store frees the block even when its write-back fails.
  FStore.Unmap(block);
}

void TIEVirtualImageList::UnmapAllImages() {
  std::exception_ptr first;
  while (!FMapped.empty()) {
    try {
      Unmap(FMapped.front());
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

void TIEVirtualImageList::ResizeStore(int64_t NewSize) {
  UnmapAllImages();
  FStore.SetSize(NewSize);
  FStoreSize = NewSize;
}

// ---------------------------------------------------------------------------
// Placement

int64_t TIEVirtualImageList::BlockSize(Integer Width, Integer Height, TIEPixelFormat PixelFormat, bool HasAlpha) {
  if (Width < 0 || Height < 0) return -1;
  const Integer rowLen = RowLenOf(Width, IEPixelFormatBitCount(PixelFormat));
  if (rowLen < 0) return -1;
  int64_t n = static_cast<int64_t>(rowLen) * Height;
  if (PixelFormat == ie8p) n += kPaletteBytes;
  if (HasAlpha) {
    const Integer alphaRowLen = RowLenOf(Width, 8);
    if (alphaRowLen < 0) return -1;
    n += 1 + static_cast<int64_t>(alphaRowLen) * Height;
  }
  return n;
}

void TIEVirtualImageList::AddFreeBlock(int64_t Offset, int64_t Size) {
  if (Size <= 0) return;
  // Kept in address order so that every pair of neighbours is merged,
  // whatever order pictures are deleted in; otherwise the space of a long
  // session splinters into pieces too small for any new picture.
  auto it = std::lower_bound(FFreeBlocks.begin(), FFreeBlocks.end(), Offset,
                             [](const TIEVirtualFreeBlock& b, int64_t o) { return b.Offset < o; });
  it = FFreeBlocks.insert(it, TIEVirtualFreeBlock{Offset, Size});
  if (it + 1 != FFreeBlocks.end() && it->Offset + it->Size == (it + 1)->Offset) {
    it->Size += (it + 1)->Size;
    FFreeBlocks.erase(it + 1);
  }
  if (it != FFreeBlocks.begin() && (it - 1)->Offset + (it - 1)->Size == it->Offset) {
    (it - 1)->Size += it->Size;
    it = FFreeBlocks.erase(it) - 1;
  }
  // Free space that reaches the end of the used area goes back to it.
  if (!FFreeBlocks.empty() && FFreeBlocks.back().Offset + FFreeBlocks.back().Size == FEndOffset) {
    FEndOffset = FFreeBlocks.back().Offset;
    FFreeBlocks.pop_back();
  }
}

bool TIEVirtualImageList::PlaceBlock(TIEVirtualImageInfo* Image, Integer Width, Integer Height,
                                     TIEPixelFormat PixelFormat, bool HasAlpha) {
  const int64_t n = BlockSize(Width, Height, PixelFormat, HasAlpha);
  if (n < 0) return false;
  int64_t offset = -1;
  for (size_t i = 0; i < FFreeBlocks.size(); ++i) {
    TIEVirtualFreeBlock& b = FFreeBlocks[i];
    if (b.Size < n) continue;
    offset = b.Offset;
    if (b.Size == n) {
      FFreeBlocks.erase(FFreeBlocks.begin() + static_cast<ptrdiff_t>(i));
    } else {
      b.Offset += n;
      b.Size -= n;
    }
    break;
  }
  if (offset < 0) {
    int64_t growStep = FGrowStep;
    if (n > growStep) growStep = n + FLastAllocation;
    // Free blocks stay valid across a growth: the bytes before EndOffset do
    // not move.
    if (FEndOffset + n > FStoreSize) ResizeStore(FStoreSize + growStep);
    FGrowStep = growStep;
    FLastAllocation = n;
    offset = FEndOffset;
    FEndOffset += n;
  }
  Image->Offset = offset;
  Image->Size = n;
  Image->Width = Width;
  Image->Height = Height;
  Image->BitCount = IEPixelFormatBitCount(PixelFormat);
  Image->PixelFormat = PixelFormat;
  Image->HasAlpha = HasAlpha;
  Image->OriginalWidth = Width;
  Image->OriginalHeight = Height;
  if (Map(Image, ieaWrite)) return true;
  AddFreeBlock(offset, n);
  return false;
}

// Writes Bitmap into the picture's mapped block: rows bottom-up, the palette
// of ie8p, the alpha flag and rows.
void TIEVirtualImageList::StoreBitmap(TIEVirtualImageInfo* Image, TIEBaseBitmap* Bitmap) {
  Byte* p = static_cast<Byte*>(Image->Block);
  const Integer rowLen = RowLenOf(Image->Width, Image->BitCount);
  RowsToBlock(Bitmap, std::min(Image->Height, Bitmap->GetHeight()), p, rowLen, Image->Height);
  p += static_cast<ptrdiff_t>(rowLen) * Image->Height;
  if (Image->PixelFormat == ie8p) {
    std::memset(p, 0, kPaletteBytes);
    if (const TRGB* pal = Bitmap->GetPaletteBuffer())
      std::memcpy(p, pal, sizeof(TRGB) * static_cast<size_t>(std::clamp(Bitmap->GetPaletteLength(), 0, 256)));
    p += kPaletteBytes;
  }
  if (Image->HasAlpha) {
    // HasAlpha is only set for a TIEBitmap with an alpha channel.
    TIEBitmap* alpha = static_cast<TIEBitmap*>(Bitmap)->GetAlphaChannel();
    *p++ = alpha->Full() ? 1 : 0;
    RowsToBlock(alpha, std::min(Image->Height, alpha->Height()), p, RowLenOf(Image->Width, 8), Image->Height);
  }
}

// ---------------------------------------------------------------------------
// Adding, borrowing, deleting

TIEVirtualImageInfo* TIEVirtualImageList::AddBitmap(TIEBaseBitmap* Bitmap) {
  if (!Bitmap) return nullptr;
  auto* ieb = dynamic_cast<TIEBitmap*>(Bitmap);
  const bool hasAlpha = ieb && ieb->HasAlphaChannel() && ieb->GetAlphaChannel();
  auto img = std::make_unique<TIEVirtualImageInfo>();
  // A picture whose pixels cannot be stored gives no record: a record with
  // no pixels behind it would later read back as a black picture.
  if (!PlaceBlock(img.get(), Bitmap->GetWidth(), Bitmap->GetHeight(), Bitmap->GetPixelFormat(), hasAlpha))
    return nullptr;
  StoreBitmap(img.get(), Bitmap);
  img->FIndex = FImages.size();
  FImages.push_back(std::move(img));
  return FImages.back().get();
}

bool TIEVirtualImageList::MakeSingleBlock(THolder* Holder, TIEBitmap* Bitmap) {
  if (Bitmap->IsEmpty()) return false;
  const Integer h = Bitmap->Height();
  if (Bitmap->Location() == ieMemory && Bitmap->SegmentCount() == 0 && Bitmap->MemoryBlock() &&
      !Bitmap->TopDown() && Bitmap->GetScanline(h - 1) == Bitmap->MemoryBlock())
    return true;
  // Rows in segments or in a temporary file: the bits address callers get
  // must cover the whole picture, so the rows move into one block the list
  // owns until the bitmap is freed.
  const size_t rowLen = static_cast<size_t>(Bitmap->RowLen());
  const size_t size = rowLen * static_cast<size_t>(h);
  void* buffer = std::aligned_alloc(kBlockAlign, (size + kBlockAlign - 1) / kBlockAlign * kBlockAlign);
  if (!buffer) return false;
  try {
    Holder->Buffers.push_back(buffer);
  } catch (...) {
    std::free(buffer);
    return false;
  }
  Byte* d = static_cast<Byte*>(buffer);
  {
    TIEAccessScope access(Bitmap, ieaRead);
    for (Integer y = 0; y < h; ++y)
      std::memcpy(d + static_cast<size_t>(h - 1 - y) * rowLen, Bitmap->GetScanline(y), rowLen);
  }
  const bool full = Bitmap->Full();
  Bitmap->EncapsulateMemory(buffer, Bitmap->Width(), h, Bitmap->PixelFormat(), false, false);
  Bitmap->SetFull(full);
  return true;
}

TIEBitmap* TIEVirtualImageList::GetBitmap(TIEVirtualImageInfo* Image) {
  if (!Owns(Image) || !Map(Image, ieaRead)) return nullptr;
  if (THolder* h = FindHolder(Image)) {
    ++h->RefCount;
    Image->Held = true;
    return h->Bitmap.get();
  }
  auto holder = std::make_unique<THolder>();
  holder->Image = Image;
  holder->Bitmap = std::make_unique<TIEBitmap>();
  TIEBitmap* bmp = holder->Bitmap.get();
  // Held pictures are one memory block, so that GetImageBits can hand out
  // the whole picture, also for one above the memory threshold.
  if (!bmp->Allocate(Image->Width, Image->Height, Image->PixelFormat) || !MakeSingleBlock(holder.get(), bmp))
    return nullptr;
  const Byte* p = static_cast<const Byte*>(Image->Block);
  const Integer rowLen = RowLenOf(Image->Width, Image->BitCount);
  BlockToRows(p, rowLen, Image->Height, bmp);
  p += static_cast<ptrdiff_t>(rowLen) * Image->Height;
  if (Image->PixelFormat == ie8p) {
    if (TRGB* pal = bmp->GetPaletteBuffer())
      std::memcpy(pal, p, sizeof(TRGB) * static_cast<size_t>(std::min(bmp->GetPaletteLength(), 256)));
    p += kPaletteBytes;
  }
  if (!Image->HasAlpha || p[0] != 0) {
    bmp->RemoveAlphaChannel(false, 0);
  } else {
    TIEBitmap* alpha = bmp->GetAlphaChannel();
    if (!alpha || !MakeSingleBlock(holder.get(), alpha)) return nullptr;
    BlockToRows(p + 1, RowLenOf(Image->Width, 8), Image->Height, alpha);
    alpha->SetFull(false);
  }
  holder->RefCount = 1;
  FHolders.push_back(std::move(holder));
  Image->Held = true;
  return bmp;
}

void TIEVirtualImageList::ReleaseBitmap(TIEBitmap* Bitmap, bool SaveChanges) {
  if (!Bitmap) return;
  THolder* h = FindHolder(Bitmap);
  if (!h) return;
  TIEVirtualImageInfo* img = h->Image;
  --h->RefCount;
  std::exception_ptr failure;
  if (SaveChanges) {
    try {
      if (Map(img, ieaRead | ieaWrite)) {
        const Integer w = Bitmap->Width(), ht = Bitmap->Height();
        const TIEPixelFormat pf = Bitmap->PixelFormat();
        const bool hasAlpha = Bitmap->HasAlphaChannel();
        // The pixel format decides the block's layout (a palette, the row
        // length), so a change of format needs a new block just as a change
        // of size does.
        bool placed = true;
        if (w != img->Width || ht != img->Height || pf != img->PixelFormat || hasAlpha != img->HasAlpha) {
          const TIEVirtualImageInfo old = *img;
          Unmap(img);
          placed = PlaceBlock(img, w, ht, pf, hasAlpha);
          if (placed) {
            AddFreeBlock(old.Offset, old.Size);
          } else {
            img->Offset = old.Offset;
            img->Size = old.Size;
            img->Width = old.Width;
            img->Height = old.Height;
            img->BitCount = old.BitCount;
            img->PixelFormat = old.PixelFormat;
            img->HasAlpha = old.HasAlpha;
            img->OriginalWidth = old.OriginalWidth;
            img->OriginalHeight = old.OriginalHeight;
          }
        }
        if (placed) StoreBitmap(img, Bitmap);
      }
    } catch (...) {
      failure = std::current_exception();
    }
  }
  if (h->RefCount <= 0) {
    img->Held = false;
    FreeHolder(h);
  }
  if (failure) std::rethrow_exception(failure);
}

void TIEVirtualImageList::ReleaseBitmapByImage(TIEVirtualImageInfo* Image, bool SaveChanges) {
  if (!Owns(Image)) return;
  if (THolder* h = FindHolder(Image)) ReleaseBitmap(h->Bitmap.get(), SaveChanges);
}

void TIEVirtualImageList::Delete(TIEVirtualImageInfo* Image) {
  if (!Owns(Image)) return;
  if (THolder* h = FindHolder(Image)) FreeHolder(h);
  try {
    Unmap(Image);
  } catch (...) {
    // The picture is going away; a failed write-back of it loses nothing.
  }
  AddFreeBlock(Image->Offset, Image->Size);
  const size_t index = Image->FIndex;
  FImages.erase(FImages.begin() + static_cast<ptrdiff_t>(index));
  for (size_t i = index; i < FImages.size(); ++i) FImages[i]->FIndex = i;
  if (FImages.empty()) {
    FFreeBlocks.clear();
    FEndOffset = 0;
    try {
      ResizeStore(FGrowStep);
    } catch (...) {
      // A store that cannot shrink keeps its size; StoreSize says so.
    }
  }
}

void TIEVirtualImageList::PrepareSpace(Integer Width, Integer Height, Integer BitCount, Integer ImageCount) {
  if (Width <= 0 || Height <= 0 || BitCount <= 0 || ImageCount <= 0) return;
  const Integer rowLen = RowLenOf(Width, BitCount);
  if (rowLen <= 0) return;
  int64_t bytes, newSize;
  if (__builtin_mul_overflow(static_cast<int64_t>(rowLen) * Height, static_cast<int64_t>(ImageCount), &bytes) ||
      __builtin_add_overflow(FStoreSize, bytes, &newSize))
    return;
  ResizeStore(newSize);
}

// ---------------------------------------------------------------------------
// Queries

Integer TIEVirtualImageList::GetImageWidth(TIEVirtualImageInfo* Image) {
  if (!Owns(Image)) return 0;
  THolder* h = Image->Held ? FindHolder(Image) : nullptr;
  return h ? h->Bitmap->Width() : Image->Width;
}

Integer TIEVirtualImageList::GetImageHeight(TIEVirtualImageInfo* Image) {
  if (!Owns(Image)) return 0;
  THolder* h = Image->Held ? FindHolder(Image) : nullptr;
  return h ? h->Bitmap->Height() : Image->Height;
}

Integer TIEVirtualImageList::GetImageBitCount(TIEVirtualImageInfo* Image) {
  if (!Owns(Image)) return 0;
  THolder* h = Image->Held ? FindHolder(Image) : nullptr;
  return h ? h->Bitmap->BitCount() : Image->BitCount;
}

TIEPixelFormat TIEVirtualImageList::GetImagePixelFormat(TIEVirtualImageInfo* Image) {
  if (!Owns(Image)) return ieNone;
  THolder* h = Image->Held ? FindHolder(Image) : nullptr;
  return h ? h->Bitmap->PixelFormat() : Image->PixelFormat;
}

Integer TIEVirtualImageList::GetOriginalWidth(TIEVirtualImageInfo* Image) {
  return Owns(Image) ? Image->OriginalWidth : 0;
}

Integer TIEVirtualImageList::GetOriginalHeight(TIEVirtualImageInfo* Image) {
  return Owns(Image) ? Image->OriginalHeight : 0;
}

void TIEVirtualImageList::SetOriginalWidth(TIEVirtualImageInfo* Image, Integer Value) {
  if (Owns(Image)) Image->OriginalWidth = Value;
}

void TIEVirtualImageList::SetOriginalHeight(TIEVirtualImageInfo* Image, Integer Value) {
  if (Owns(Image)) Image->OriginalHeight = Value;
}

void* TIEVirtualImageList::GetImageBits(TIEVirtualImageInfo* Image) {
  if (!Owns(Image)) return nullptr;
  if (THolder* h = Image->Held ? FindHolder(Image) : nullptr) {
    // The borrower may have moved the pixels into a file or segments since;
    // only one block makes the address cover the whole picture.
    TIEBitmap* bmp = h->Bitmap.get();
    if (!MakeSingleBlock(h, bmp)) return nullptr;
    return bmp->GetScanline(bmp->Height() - 1);
  }
  return Map(Image, ieaRead) ? Image->Block : nullptr;
}

void* TIEVirtualImageList::GetImagePalette(TIEVirtualImageInfo* Image) {
  if (!Owns(Image)) return nullptr;
  if (THolder* h = Image->Held ? FindHolder(Image) : nullptr) return h->Bitmap->GetPaletteBuffer();
  // Only ie8p blocks hold a palette; past the rows of any other picture lie
  // alpha bytes or the end of the block.
  if (Image->PixelFormat != ie8p || !Map(Image, ieaRead)) return nullptr;
  return static_cast<Byte*>(Image->Block) +
         static_cast<ptrdiff_t>(RowLenOf(Image->Width, Image->BitCount)) * Image->Height;
}

void* TIEVirtualImageList::GetImageAlphaBits(TIEVirtualImageInfo* Image) {
  if (!Owns(Image) || !Image->HasAlpha) return nullptr;
  if (THolder* h = Image->Held ? FindHolder(Image) : nullptr) {
    TIEBitmap* bmp = h->Bitmap.get();
    if (!bmp->HasAlphaChannel()) return nullptr;
    TIEBitmap* alpha = bmp->GetAlphaChannel();
    if (!alpha || !MakeSingleBlock(h, alpha)) return nullptr;
    return alpha->GetScanline(alpha->Height() - 1);
  }
  if (!Map(Image, ieaRead)) return nullptr;
  Byte* p = static_cast<Byte*>(Image->Block) +
            static_cast<ptrdiff_t>(RowLenOf(Image->Width, Image->BitCount)) * Image->Height;
  if (Image->PixelFormat == ie8p) p += kPaletteBytes;
  return p[0] != 0 ? nullptr : p + 1;
}
