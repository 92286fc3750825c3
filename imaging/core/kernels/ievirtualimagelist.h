// Many pictures (the thumbnails and cached images of the thumbnail grid) in
// one backing store, of which only the few used last are held in memory.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/iedefs.h"
#include "imaging/core/bitmap/iefilebuffer.h"
#include "platform/base/classes.h"

// One stored picture. Owned by its list; callers keep the address as the
// picture's handle and may read every field, but change only OriginalWidth
// and OriginalHeight (through the list).
//
// Block layout: Height rows of IEBitmapRowLen(Width, BitCount, 32) bytes,
// bottom-up; for ie8p 256 palette entries of 3 bytes; with HasAlpha one byte
// (1 = every alpha sample opaque) and the alpha rows, bottom-up.
struct TIEVirtualImageInfo {
  int64_t Offset = 0;
  int64_t Size = 0;
  void* Block = nullptr;  // the mapped copy, nullptr while not mapped
  bool Held = false;      // a borrowed TIEBitmap exists
  Integer OriginalWidth = 0;
  Integer OriginalHeight = 0;
  bool HasAlpha = false;
  Byte MapMode = 0;  // access of the current mapping: 1 read, 2 write, 3 both
  Integer Width = 0;
  Integer Height = 0;
  Integer BitCount = 0;
  TIEPixelFormat PixelFormat = ieNone;

 private:
  friend class TIEVirtualImageList;
  size_t FIndex = 0;                                       // position in the list's Images
  std::list<TIEVirtualImageInfo*>::iterator FMappedPos{};  // valid while Block is set
};

// A range of the store given back by Delete or by a reshaped picture.
struct TIEVirtualFreeBlock {
  int64_t Offset = 0;
  int64_t Size = 0;
};

class TIEVirtualImageList : public TObject {
 public:
  // Creates the store of GrowStep bytes: a temporary file whose name starts
  // with Name when UseDisk, else a memory stream. Raises EInOutError when the
  // store cannot be created.
  TIEVirtualImageList(const WideString& Name, bool UseDisk);
  // Frees every picture, every borrowed bitmap (whatever its count) and the
  // store.
  ~TIEVirtualImageList() override;
  TIEVirtualImageList(const TIEVirtualImageList&) = delete;
  TIEVirtualImageList& operator=(const TIEVirtualImageList&) = delete;

  // Stores a copy of Bitmap (rows, palette of ie8p, alpha channel of a
  // TIEBitmap) and returns its record, or nullptr when the pixels could not
  // be put in memory to be stored (nothing is kept then). Raises when the
  // store cannot grow.
  TIEVirtualImageInfo* AddBitmap(TIEBaseBitmap* Bitmap);
  // Lends the picture as a TIEBitmap in one memory block, shared between
  // borrowers by a count; nullptr when it cannot be read.
  TIEBitmap* GetBitmap(TIEVirtualImageInfo* Image);
  // Ends one borrowing of Bitmap; with SaveChanges its pixels (also a new
  // size or format) are stored first. The bitmap is freed at count 0.
  void ReleaseBitmap(TIEBitmap* Bitmap, bool SaveChanges);
  void ReleaseBitmapByImage(TIEVirtualImageInfo* Image, bool SaveChanges);
  // Forgets the picture; its space is reused by later pictures.
  void Delete(TIEVirtualImageInfo* Image);
  // Reserves room for ImageCount pictures of that size at once.
  void PrepareSpace(Integer Width, Integer Height, Integer BitCount, Integer ImageCount);

  // From the borrowed bitmap while one is held, else from the record.
  Integer GetImageWidth(TIEVirtualImageInfo* Image);
  Integer GetImageHeight(TIEVirtualImageInfo* Image);
  Integer GetImageBitCount(TIEVirtualImageInfo* Image);
  TIEPixelFormat GetImagePixelFormat(TIEVirtualImageInfo* Image);

  Integer GetOriginalWidth(TIEVirtualImageInfo* Image);
  Integer GetOriginalHeight(TIEVirtualImageInfo* Image);
  void SetOriginalWidth(TIEVirtualImageInfo* Image, Integer Value);
  void SetOriginalHeight(TIEVirtualImageInfo* Image, Integer Value);

  // The picture's rows, bottom-up in one block (the first byte is the
  // bottom row). Valid until the picture is unmapped (at the latest after
  // ten further mappings), borrowed, released or deleted.
  void* GetImageBits(TIEVirtualImageInfo* Image);
  // The 256 palette entries of an ie8p picture; nullptr for other formats.
  void* GetImagePalette(TIEVirtualImageInfo* Image);
  // The alpha rows, bottom-up; nullptr without alpha or when every alpha
  // sample is opaque.
  void* GetImageAlphaBits(TIEVirtualImageInfo* Image);

  // --- state, read-only --------------------------------------------------------
  TIEFileBuffer* Store() { return &FStore; }
  bool UseDisk() const { return FUseDisk; }
  int64_t StoreSize() const { return FStoreSize; }
  int64_t EndOffset() const { return FEndOffset; }
  int64_t GrowStep() const { return FGrowStep; }
  Integer MaxMapped() const { return FMaxMapped; }
  Integer MappedCount() const { return static_cast<Integer>(FMapped.size()); }
  int64_t LastAllocation() const { return FLastAllocation; }
  Integer ImageCount() const { return static_cast<Integer>(FImages.size()); }
  TIEVirtualImageInfo* Images(Integer Index) const { return FImages[static_cast<size_t>(Index)].get(); }
  const std::vector<TIEVirtualFreeBlock>& FreeBlocks() const { return FFreeBlocks; }
  Integer HolderCount() const { return static_cast<Integer>(FHolders.size()); }
  const WideString& Name() const { return FName; }

 private:
  struct THolder {
    TIEVirtualImageInfo* Image = nullptr;
    std::unique_ptr<TIEBitmap> Bitmap;
    Integer RefCount = 0;
    // Single blocks the list gave the bitmap and its alpha channel when
    // their own storage was not one block; freed after the bitmap.
    std::vector<void*> Buffers;
    ~THolder();
  };

  bool Owns(const TIEVirtualImageInfo* Image) const;
  THolder* FindHolder(const TIEVirtualImageInfo* Image);
  THolder* FindHolder(const TIEBitmap* Bitmap);
  void FreeHolder(THolder* Holder);

  bool Map(TIEVirtualImageInfo* Image, Byte Mode);
  void Unmap(TIEVirtualImageInfo* Image);
  void UnmapAllImages();
  // Puts a block of n bytes in place for the shape; false when the pixels
  // could not be mapped (the block is then given back).
  bool PlaceBlock(TIEVirtualImageInfo* Image, Integer Width, Integer Height, TIEPixelFormat PixelFormat,
                  bool HasAlpha);
  void AddFreeBlock(int64_t Offset, int64_t Size);
  // Sets the store's size; StoreSize changes only when that succeeded.
  void ResizeStore(int64_t NewSize);
  void StoreBitmap(TIEVirtualImageInfo* Image, TIEBaseBitmap* Bitmap);
  // Makes Bitmap's pixels one bottom-up memory block, keeping them.
  bool MakeSingleBlock(THolder* Holder, TIEBitmap* Bitmap);
  static int64_t BlockSize(Integer Width, Integer Height, TIEPixelFormat PixelFormat, bool HasAlpha);

  TIEFileBuffer FStore;
  bool FUseDisk = false;
  int64_t FStoreSize = 0;
  std::vector<std::unique_ptr<TIEVirtualImageInfo>> FImages;
  std::list<TIEVirtualImageInfo*> FMapped;  // least recently used first
  std::vector<TIEVirtualFreeBlock> FFreeBlocks;  // sorted by offset, neighbours merged
  int64_t FEndOffset = 0;
  // 64-bit: the step grows with the largest picture and must not wrap.
  int64_t FGrowStep = 262144;
  Integer FMaxMapped = 10;
  std::vector<std::unique_ptr<THolder>> FHolders;
  int64_t FLastAllocation = 0;
  WideString FName;
};
