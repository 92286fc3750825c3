// The picture container: size, pixel format, palette, alpha channel and the
// storage of the pixels in one memory block, in row segments or in a
// temporary file. Callers reach pixels only through row addresses, so the
// storage can move under them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/base/iedefs.h"
#include "imaging/core/bitmap/iefilebuffer.h"
#include "imaging/core/base/ieutils.h"
#include "platform/base/classes.h"

class TIEMask;
class TBitmap;
class TCanvas;

// Tables of the renderer (RenderToTIEBitmapEx) that a caller may keep
// between calls of the same geometry: the address of every destination row,
// and the source column (row) of every destination column (row) of the
// drawn window.
using TIERowTable = std::vector<Byte*>;
using TIEMapTable = std::vector<Integer>;

// Row access and description shared by the picture container and the DIB
// bitmap.
class TIEBaseBitmap : public TObject {
 public:
  TIEBitmapAccess Access() const { return FAccess; }
  void SetAccess(TIEBitmapAccess Value) { FAccess = Value; }

  virtual void* GetScanline(Integer Row) = 0;
  virtual Integer GetBitCount() = 0;
  virtual Integer GetHeight() = 0;
  virtual Integer GetWidth() = 0;
  virtual TIEPixelFormat GetPixelFormat() = 0;
  virtual Integer GetRowLen() = 0;
  virtual TRGB* GetPaletteBuffer() = 0;
  virtual void GetPaletteColor(Integer Index, TRGB& Color) = 0;
  virtual void SetPaletteColor(Integer Index, const TRGB& Color) = 0;
  virtual Integer GetPaletteLength() = 0;
  virtual bool Allocate(Integer Width, Integer Height, TIEPixelFormat PixelFormat) = 0;
  virtual void Assign(TObject* Source) = 0;
  virtual void CopyPaletteTo(TObject* Dest) = 0;

 protected:
  TIEBitmapAccess FAccess = 0;
};

class TIEBitmap : public TIEBaseBitmap {
 public:
  TIEBitmap();
  TIEBitmap(Integer Width, Integer Height, TIEPixelFormat PixelFormat);
  // A wholly opaque ie8g picture marked as an alpha channel; ieTBitmap is
  // taken as ieMemory.
  static std::unique_ptr<TIEBitmap> CreateAlphaChannel(Integer Width, Integer Height, TIELocation Location);
  ~TIEBitmap() override;

  // --- storage -------------------------------------------------------------

  // Gives the bitmap fresh storage of that size and format. With the same
  // size and format and no pending reallocation it keeps everything. On
  // failure it is empty (Width = Height = 0, PixelFormat as asked); nothing
  // is raised. Pixels and palette of new storage are zero.
  bool Allocate(Integer Width, Integer Height, TIEPixelFormat PixelFormat) override;
  void FreeImage(bool FreeAlpha);
  bool IsEmpty() const { return FWidth == 0 || FHeight == 0 || FRowLen == 0 || FBitCount == 0; }

  // Address of row Row (0 = top). At ieFile the address is valid only until
  // the next GetScanline on this bitmap. No range check.
  void* GetScanline(Integer Row) final {
    if (FRow0) [[likely]]
      return FRow0 + FRowStep * Row;
    return ScanlineSlow(Row);
  }
  // Like GetScanline, but at ieFile the row stays valid until UnmapRow(Row)
  // or ReleaseMappedRows, so several rows can be held at once.
  void* MapRow(Integer Row);
  void UnmapRow(Integer Row);
  void ReleaseMappedRows();
  // Copies Count bytes of row Row, from byte Offset of the row, into Buffer
  // (ReadRowBytes) or from Buffer into the row (WriteRowBytes). At ieFile
  // only that range of the temporary file is read or written, so a kernel
  // can fill columns of a picture larger than memory without reading whole
  // rows back; no row may be held through MapRow meanwhile. Raises
  // ERangeError for a range outside the row.
  void ReadRowBytes(Integer Row, Integer Offset, Integer Count, void* Buffer);
  void WriteRowBytes(Integer Row, Integer Offset, Integer Count, const void* Buffer);

  Integer Width() const { return FWidth; }
  Integer Height() const { return FHeight; }
  Integer BitCount() const { return FBitCount; }
  Integer ChannelCount() const { return FChannelCount; }
  Integer RowLen() const { return FRowLen; }
  TIEPixelFormat PixelFormat() const { return FPixelFormat; }
  Integer GetChannelCount() const { return FChannelCount; }
  // The virtual getters first follow a wrapped platform bitmap that was
  // changed behind the container's back (size, format, row addresses).
  Integer GetBitCount() final {
    FollowTBitmap();
    return FBitCount;
  }
  Integer GetHeight() final {
    FollowTBitmap();
    return FHeight;
  }
  Integer GetWidth() final {
    FollowTBitmap();
    return FWidth;
  }
  TIEPixelFormat GetPixelFormat() final {
    FollowTBitmap();
    return FPixelFormat;
  }
  Integer GetRowLen() final {
    FollowTBitmap();
    return FRowLen;
  }

  // Resizing keeps the top-left area; new pixels are zero.
  void SetWidth(Integer Value);
  void SetHeight(Integer Value);
  // Nothing when equal; otherwise ConvertToPixelFormat. When the conversion
  // fails the picture keeps its old format and pixels.
  void SetPixelFormat(TIEPixelFormat Value);
  Integer RowAlignment() const { return FRowAlignment; }
  // Bits (a positive multiple of 8) to which rows are padded. Only a picture
  // in memory is re-laid; at ieFile the alignment stays as it is.
  void SetRowAlignment(Integer Bits);
  TIELocation Location() const { return FLocation; }
  // Where storage of Size bytes would go if allocated now: the location as
  // set, moved by the memory threshold and by the memory the system has left.
  TIELocation StorageFor(int64_t Size) const;
  // Moves the pixels to ieMemory or ieFile (re-decided by size) or into a
  // platform bitmap (ieTBitmap): ie16g arrives there as ie8g; ie32f, ieCMYK,
  // ieRGB48 and ieCIELab raise Exception and the picture stays where it was.
  void SetLocation(TIELocation Value);
  // Hands the whole storage (pixels, palette, alpha channel) to Dest, which
  // loses its own; this bitmap is left empty.
  void MoveStorageTo(TIEBitmap* Dest);
  // Wraps Buffer (Height rows of RowLen bytes, bottom-up unless TopDown) as
  // the pixels; it is never copied or freed. With FreeCurrent false the
  // palette and alpha channel are kept.
  void EncapsulateMemory(void* Buffer, Integer Width, Integer Height, TIEPixelFormat PixelFormat,
                         bool FreeCurrent, bool TopDown);

  // --- platform bitmap storage (iebitmaptbitmap.cpp) ---------------------------

  // Uses Bitmap's own rows as the pixels (location ieTBitmap) without copying
  // or owning it. With FreeCurrent false the palette and alpha channel stay.
  // Layouts the container has no format for (4, 15, 16 bits) are switched
  // to 24 bits first.
  void EncapsulateTBitmap(TBitmap* Bitmap, bool FreeCurrent);
  // Takes over size, format, row addresses and palette of the wrapped
  // platform bitmap after it was changed directly.
  void SyncWithTBitmap();
  // Copies a platform bitmap of any layout (Bitmap itself is never changed).
  void CopyFromTBitmap(TBitmap* Bitmap);
  // Move the picture into a platform bitmap and return it or its canvas.
  TBitmap* GetVclBitmap();
  TCanvas* GetCanvas();
  // The wrapped platform bitmap without moving anything (null elsewhere).
  TBitmap* VclBitmap() const { return FVclBitmap; }
  bool VclBitmapIsExternal() const { return FVclBitmapIsExternal; }
  // False: the container frees the wrapped platform bitmap from now on.
  void SetVclBitmapIsExternal(bool Value) { FVclBitmapIsExternal = Value; }
  // Gives the wrapped platform bitmap this palette as its colour table.
  void UpdateTBitmapPalette();

  // --- palette ---------------------------------------------------------------

  TRGB* GetPaletteBuffer() final { return FPalette.get(); }
  void GetPaletteColor(Integer Index, TRGB& Color) final;
  void SetPaletteColor(Integer Index, const TRGB& Color) final;
  Integer GetPaletteLength() final { return FPaletteLength; }
  void CopyPaletteTo(TObject* Dest) override;

  // Full copy of another TIEBitmap (size, format, pixels, alignment,
  // palette, alpha channel). Other sources are ignored.
  void Assign(TObject* Source) override;

  // --- copying and conversion ------------------------------------------------

  // Converts every pixel of Source (same size) into this bitmap's format;
  // Source is never changed, also where the rule goes through ie24RGB.
  // Equal formats copy rows and palette. Source's alpha channel, when it has
  // one, is copied into this bitmap's.
  void CopyAndConvertFormat(TIEBitmap* Source);
  // Changes this picture's format in place. The converted pixels are made
  // first: on failure (no memory, a missing kernel) the picture is left as
  // it was and the result is false. The alpha channel stays.
  bool ConvertToPixelFormat(TIEPixelFormat PixelFormat);
  // Size, format, pixels and palette of Source; Full ends false. This
  // bitmap's alpha channel object stays, refilled opaque when the size changes.
  void AssignImage(TIEBitmap* Source);
  // Copies the rectangle (SrcX, SrcY, Width, Height) to (DstX, DstY) of Dest,
  // clipped to both pictures: both ie1g, ie1g into ie24RGB, or equal formats.
  // Palette and alpha channel are not touched.
  void CopyRectTo(TIEBitmap* Dest, Integer SrcX, Integer SrcY, Integer DstX, Integer DstY, Integer Width,
                  Integer Height);
  // Like CopyRectTo on the alpha channels (created on demand): each
  // destination alpha value becomes the larger of the two.
  void MergeAlphaRectTo(TIEBitmap* Dest, Integer SrcX, Integer SrcY, Integer DstX, Integer DstY, Integer Width,
                        Integer Height);
  // Scaled copy into an ie24RGB Dest: nearest pixel with rfNone or at equal
  // size, otherwise resampled with Filter. Dest's alpha channel takes the
  // source alpha capped at Transparency, or Transparency itself when the
  // source has no partial alpha.
  void StretchRectTo(TIEBitmap* Dest, Integer DstX, Integer DstY, Integer DstWidth, Integer DstHeight, Integer SrcX,
                     Integer SrcY, Integer SrcWidth, Integer SrcHeight, TResampleFilter Filter, Integer Transparency);

  // --- selections and masks (ieselcopy.h) ---------------------------------------
  // Each forwards to the routine of the same name with this picture first.

  void CopySelectionTo(TIEBitmap* Dest, TIEMask* Mask);
  void CopySelectionOnBackgroundTo(TIEBitmap* Dest, TIEMask* Mask, Integer Background);
  void PasteSelectionTo(TIEBitmap* Dest, TIEMask* Mask);
  void CopyFromTIEMask(TIEMask* Mask);
  void CopyToTIEMask(TIEMask* Mask);

  // --- rendering (ierender.h) ------------------------------------------------------
  // Draw this picture into an ie24RGB Dest; the rules are those of the
  // routines of the same name.

  void RenderToTIEBitmapEx(TIEBitmap* Dest, std::unique_ptr<TIERowTable>& DestRows,
                           std::unique_ptr<TIEMapTable>& XMap, std::unique_ptr<TIEMapTable>& YMap,
                           const Integer* ClipRect, Integer DstX, Integer DstY, Integer DstWidth, Integer DstHeight,
                           Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight, bool EnableAlpha,
                           bool ReuseRows, Integer Transparency, TResampleFilter Filter, bool FreeTables,
                           Byte BlendOperation);
  void RenderToTIEBitmap(TIEBitmap* Dest, Integer DstX, Integer DstY, Integer DstWidth, Integer DstHeight,
                         Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight, Integer Transparency,
                         TResampleFilter Filter, Byte BlendOperation);
  // The same into a platform bitmap, wrapped for the call without copying
  // (ierendercanvas.h): only a bitmap that wraps as ie24RGB (24 bits; 4, 15,
  // 16 bits and device bitmaps become 24 bits when wrapped) is drawn on,
  // 1, 8 and 32-bit ones are left as they are. Never raises.
  void RenderToTBitmapEx(TBitmap* Dest, std::unique_ptr<TIERowTable>& DestRows, std::unique_ptr<TIEMapTable>& XMap,
                         std::unique_ptr<TIEMapTable>& YMap, const Integer* ClipRect, Integer DstX, Integer DstY,
                         Integer DstWidth, Integer DstHeight, Integer SrcX, Integer SrcY, Integer SrcWidth,
                         Integer SrcHeight, bool EnableAlpha, bool ReuseRows, Integer Transparency,
                         TResampleFilter Filter, bool FreeTables, Byte BlendOperation);
  void RenderToTBitmap(TBitmap* Dest, Integer DstX, Integer DstY, Integer DstWidth, Integer DstHeight, Integer SrcX,
                       Integer SrcY, Integer SrcWidth, Integer SrcHeight, Integer Transparency,
                       TResampleFilter Filter, Byte BlendOperation);

  // --- printing (ierendercanvas.h) ---------------------------------------------------
  // Draws the whole picture into (X, Y, Width, Height) of Canvas as strips of
  // packed DIBs; Filter resamples (rfNone: one DIB stretched by the device),
  // Gamma corrects colour pictures (1 or not above 0: none). Shows grey
  // display ranges, contrast and channel offsets as the views do.
  void RenderToCanvas(TCanvas* Canvas, Integer X, Integer Y, Integer Width, Integer Height, TResampleFilter Filter,
                      double Gamma);

  // --- single pixels -----------------------------------------------------------
  // No range checks: x and y must lie inside the picture, and the format must
  // be the one named. Writers keep Full as noted.

  Byte GetPixelByte(Integer x, Integer y);              // ie8g, ie8p
  void SetPixelByte(Integer x, Integer y, Byte v);      // clears Full unless 255
  Word GetPixelWord(Integer x, Integer y);              // ie16g
  void SetPixelWord(Integer x, Integer y, Word v);      // clears Full unless 65535
  Single GetPixelFloat(Integer x, Integer y);           // ie32f
  void SetPixelFloat(Integer x, Integer y, Single v);   // clears Full unless v >= 1.0
  Cardinal GetPixelDWord(Integer x, Integer y);         // 4-byte formats
  void SetPixelDWord(Integer x, Integer y, Cardinal v);  // leaves Full alone
  TRGB GetPixelTriple(Integer x, Integer y);            // 3-byte formats
  void SetPixelTriple(Integer x, Integer y, const TRGB& v);  // leaves Full alone
  void GetPixelRGB(Integer x, Integer y, TRGB& Color);  // ie24RGB
  TRGB* GetPixelRGBAddress(Integer x, Integer y);
  void SetPixelRGB(Integer x, Integer y, const TRGB& Color);  // clears Full unless white
  void GetPixelRGB48(Integer x, Integer y, TRGB48& Color);    // ieRGB48
  void SetPixelRGB48(Integer x, Integer y, const TRGB48& Color);
  // The pixel of any format as a colour triple (ieNone: black).
  void GetPixelAsRGB(Integer x, Integer y, TRGB& Color);
  // Alpha of a pixel: this bitmap's own byte when it is an alpha channel,
  // otherwise the alpha channel's (created opaque on first use).
  Byte GetAlpha(Integer x, Integer y);
  void SetAlpha(Integer x, Integer y, Byte v);

  // --- fills, moves and canvas -------------------------------------------------

  // Every pixel from Value: the low byte or word of Trunc(Value) for grey
  // and palette formats, Value itself for ie32f, the colour Trunc(Value) (a
  // TColor) for colour formats. Full follows the value.
  void Fill(double Value);
  // The same values into columns X1..X2 of rows Y1..Y2, clipped. A value
  // below the maximum clears Full.
  void FillRect(Integer X1, Integer Y1, Integer X2, Integer Y2, double Value);
  // Moves the pixels of the rectangle to (DestX, DestY), filling what it
  // leaves with Fill. The alpha channel is not moved.
  void MoveRect(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer DestX, Integer DestY, double Fill);
  // New canvas size with the old picture placed by HorizAlign (0 left,
  // 1 centre, 2 right) and VertAlign (0 top, 1 centre, 2 bottom); new area
  // Background, new alpha AlphaValue.
  void ResizeCanvas(Integer NewWidth, Integer NewHeight, double Background, Integer AlphaValue, Integer HorizAlign,
                    Integer VertAlign);
  // Full := every pixel byte of every row is 255.
  void SyncFull();
  bool IsAllZero();
  bool IsGrayScale();

  // --- raw stream ----------------------------------------------------------------

  // Bytes of the raw stream of this picture; -1 when it would not fit in 31
  // bits (such a picture cannot travel as one memory block).
  Integer GetRawSize();
  // Writes the raw stream into Buffer (sized by GetRawSize; nothing when
  // that is -1) or, with a null Buffer, at Stream's position.
  void SaveRawToStream(void* Buffer, TStream* Stream);
  // Reads a raw stream from Buffer (BufferSize bytes) or, with a null
  // Buffer, from Stream's position. The data is checked throughout; on any
  // fault the result is false and this bitmap is left as it was. A Buffer
  // without a size is refused.
  bool LoadRawFromStream(const void* Buffer, TStream* Stream, int64_t BufferSize = -1);

  // --- alpha channel ---------------------------------------------------------

  // Creates the alpha channel on first use; nullptr on an alpha channel.
  TIEBitmap* GetAlphaChannel();
  bool HasAlphaChannel() const { return FAlphaChannel != nullptr; }
  // Takes Alpha as the alpha channel and hands the previous one back.
  [[nodiscard]] std::unique_ptr<TIEBitmap> AttachAlphaChannel(std::unique_ptr<TIEBitmap> Alpha);
  // Drops the alpha channel; with Merge an ie24RGB picture is first blended
  // on Background (alpha 0 gives the background, 255 keeps the pixel).
  void RemoveAlphaChannel(bool Merge, TColor Background);
  bool IsAlphaChannel() const { return FIsAlphaChannel; }

  // --- state -------------------------------------------------------------------

  bool Full() const { return FFull; }
  void SetFull(bool Value) { FFull = Value; }
  Byte TopDown() const { return FTopDown; }
  Byte* MemoryBlock() const { return FMemoryBlock; }
  bool MemoryIsExternal() const { return FMemoryIsExternal; }
  int64_t MemoryThreshold() const { return FMemoryThreshold; }
  Integer SegmentCount() const { return static_cast<Integer>(FSegments.size()); }
  Integer RowsPerSegment() const { return FRowsPerSegment; }
  bool NeedsAllocation() const { return FNeedsAllocation; }
  // 0 heap, 1 zero-filled system memory, 2 IELargeAlloc. A block is always
  // freed the way it was taken, whatever this says by then.
  Byte Allocator() const { return FAllocator; }
  void SetAllocator(Byte Value) { FAllocator = Value; }

  Byte BlackWhiteMethod() const { return FBlackWhiteMethod; }
  void SetBlackWhiteMethod(Byte Value) { FBlackWhiteMethod = Value; }
  Integer PaletteUsed() const { return FPaletteUsed; }
  void SetPaletteUsed(Integer Value) { FPaletteUsed = Value; }
  double DisplayLow() const { return FDisplayLow; }
  void SetDisplayLow(double Value) { FDisplayLow = Value; }
  double DisplayHigh() const { return FDisplayHigh; }
  void SetDisplayHigh(double Value) { FDisplayHigh = Value; }
  Integer ChannelOffset(Integer Index) const { return FChannelOffsets[Index & 3]; }
  void SetChannelOffset(Integer Index, Integer Value) { FChannelOffsets[Index & 3] = Value; }
  bool ChannelOffsetsOn() const { return FChannelOffsetsOn; }
  void SetChannelOffsetsOn(bool Value) { FChannelOffsetsOn = Value; }
  Integer Contrast() const { return FContrast; }
  void SetContrast(Integer Value) { FContrast = Value; }

 private:
  void* ScanlineSlow(Integer Row);
  int64_t RowBytesPosition(Integer Row, Integer Offset, Integer Count);
  bool AllocateStorage();
  bool AllocateUnchecked(Integer Width, Integer Height, TIEPixelFormat PixelFormat);
  bool AllocAligned(int64_t Size);
  bool AllocSegments();
  void FreeSegments();
  void FreeMemoryBlock();
  void ClearStorageFields();
  void DropStorage();
  void UpdateRowAccess();
  void ResizeKeeping(Integer NewWidth, Integer NewHeight);
  void StretchRectFiltered(TIEBitmap* Dest, Integer DstX, Integer DstY, Integer DstWidth, Integer DstHeight,
                           Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight, TResampleFilter Filter,
                           Integer Transparency);
  void FillBytes(Byte Value);
  void FollowTBitmap() {
    if (FLocation == ieTBitmap && FVclBitmap) [[unlikely]]
      SyncTBitmapGeometry(false);
  }
  void SyncTBitmapGeometry(bool RefreshPalette);
  bool AllocateTBitmapStorage();
  void BuildScanlineCache();
  bool ConvertTBitmapToPixelFormat(TIEPixelFormat PixelFormat);
  void MoveToTBitmap();
  void ResizeTBitmap(Integer NewWidth, Integer NewHeight);
  // Source itself, or a copy in Held converted to a format a platform
  // bitmap can hold (ie16g to ie8g, the formats without one to ie24RGB).
  static TIEBitmap* TBitmapCompatibleSource(TIEBitmap* Source, std::unique_ptr<TIEBitmap>& Held);

  // Single-block fast path of GetScanline: address of row 0 and the step
  // between rows (negative for bottom-up); FRow0 is null for every other
  // kind of storage.
  Byte* FRow0 = nullptr;
  ptrdiff_t FRowStep = 0;

  std::unique_ptr<TIEFileBuffer> FFileBuffer;
  void* FCurrentRow = nullptr;
  std::unique_ptr<TRGB[]> FPalette;
  Integer FPaletteLength = 0;
  TIEBitmap* FAlphaChannel = nullptr;  // owned
  Byte* FMemoryBlock = nullptr;
  void* FMemoryAllocation = nullptr;
  Byte FBlockAllocator = 0;  // how FMemoryAllocation was taken
  std::vector<void*> FKeptRows;
  std::vector<Integer> FKeptRowNumbers;
  Byte FTopDown = 0;
  Integer FWidth = 0, FHeight = 0, FBitCount = 0, FChannelCount = 0, FRowLen = 0;
  TIEPixelFormat FPixelFormat = ieNone;
  bool FIsAlphaChannel = false;
  TIELocation FLocation = ieFile;
  bool FFull = false;
  bool FMemoryIsExternal = false;
  int64_t FMemoryThreshold = 0;
  Byte FBlackWhiteMethod = 1;
  Integer FPaletteUsed = 256;
  double FDisplayLow = 0, FDisplayHigh = 0;
  Integer FChannelOffsets[4] = {0, 0, 0, 0};
  bool FChannelOffsetsOn = false;
  Integer FContrast = 0;
  Integer FRowAlignment = 32;
  Byte FAllocator = 2;
  bool FNeedsAllocation = true;
  Integer FRowsPerSegment = 0;
  std::vector<Byte*> FSegments;
  // At ieTBitmap: the platform bitmap whose rows are the pixels (its block
  // is also MemoryBlock, never freed by the container).
  TBitmap* FVclBitmap = nullptr;
  bool FVclBitmapIsExternal = false;
};

// Sets a picture's access mode for a scope and restores the previous one on
// every way out: a kernel that only reads asks that rows at ieFile are not
// written back, one that fills rows anew that they are not read in.
class TIEAccessScope {
 public:
  TIEAccessScope(TIEBaseBitmap& B, TIEBitmapAccess Access) : FB(B), FSaved(B.Access()) { B.SetAccess(Access); }
  TIEAccessScope(TIEBaseBitmap* B, TIEBitmapAccess Access) : TIEAccessScope(*B, Access) {}
  ~TIEAccessScope() { FB.SetAccess(FSaved); }
  TIEAccessScope(const TIEAccessScope&) = delete;
  TIEAccessScope& operator=(const TIEAccessScope&) = delete;

 private:
  TIEBaseBitmap& FB;
  TIEBitmapAccess FSaved;
};

// Test seams, left empty by the program: each returns true to make that
// allocation fail, so that tests reach the segment and file fall-backs
// without exhausting the machine.
struct TIEBitmapTestHooks {
  bool (*FailBlock)(int64_t Size) = nullptr;
  bool (*FailSegment)(int64_t SegmentSize, int32_t SegmentCount) = nullptr;
};
extern TIEBitmapTestHooks IEBitmapTestHooks;
