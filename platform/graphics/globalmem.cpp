#include "platform/graphics/globalmem.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

struct TBlock {
  void* Data = nullptr;
  size_t Size = 0;
  UINT Flags = 0;
  Integer LockCount = 0;
  bool Fixed = false;
};

// Handle -> block, and address -> handle. A fixed block's handle is its data.
struct TGlobalTable {
  std::mutex Lock;
  std::unordered_map<void*, TBlock*> ByHandle;
  std::unordered_map<void*, void*> ByAddress;
};

TGlobalTable& Table() {
  static TGlobalTable* t = new TGlobalTable;  // lives for the whole run
  return *t;
}

void* AllocData(size_t Bytes, bool Zero) {
  // Never a null address for a zero-size block, so that handles stay unique.
  size_t n = Bytes ? Bytes : 1;
  return Zero ? std::calloc(1, n) : std::malloc(n);
}

}  // namespace

HGLOBAL GlobalAlloc(UINT Flags, size_t Bytes) {
  void* data = AllocData(Bytes, (Flags & GMEM_ZEROINIT) != 0);
  if (!data) return nullptr;
  auto* b = new TBlock;
  b->Data = data;
  b->Size = Bytes;
  b->Flags = Flags;
  b->Fixed = (Flags & GMEM_MOVEABLE) == 0;
  void* handle = b->Fixed ? data : static_cast<void*>(b);
  auto& t = Table();
  std::lock_guard<std::mutex> g(t.Lock);
  t.ByHandle[handle] = b;
  t.ByAddress[data] = handle;
  return handle;
}

HGLOBAL GlobalReAlloc(HGLOBAL Mem, size_t Bytes, UINT Flags) {
  auto& t = Table();
  std::lock_guard<std::mutex> g(t.Lock);
  auto it = t.ByHandle.find(Mem);
  if (it == t.ByHandle.end()) return nullptr;
  TBlock* b = it->second;
  if (Flags & GMEM_MODIFY) return Mem;
  // A fixed block would move, and its handle with it; a locked moveable block
  // cannot move. Both fail, as on Windows without GMEM_MOVEABLE.
  if (b->Fixed || b->LockCount > 0) {
    if (Bytes <= b->Size) {
      b->Size = Bytes;
      return Mem;
    }
    return nullptr;
  }
  void* data = std::realloc(b->Data, Bytes ? Bytes : 1);
  if (!data) return nullptr;
  if (Bytes > b->Size && (Flags & GMEM_ZEROINIT))
    std::memset(static_cast<uint8_t*>(data) + b->Size, 0, Bytes - b->Size);
  t.ByAddress.erase(b->Data);
  b->Data = data;
  b->Size = Bytes;
  t.ByAddress[data] = Mem;
  return Mem;
}

void* GlobalLock(HGLOBAL Mem) {
  auto& t = Table();
  std::lock_guard<std::mutex> g(t.Lock);
  auto it = t.ByHandle.find(Mem);
  if (it == t.ByHandle.end()) return nullptr;
  TBlock* b = it->second;
  if (!b->Fixed) ++b->LockCount;
  return b->Data;
}

BOOL GlobalUnlock(HGLOBAL Mem) {
  auto& t = Table();
  std::lock_guard<std::mutex> g(t.Lock);
  auto it = t.ByHandle.find(Mem);
  if (it == t.ByHandle.end()) return FALSE;
  TBlock* b = it->second;
  if (b->LockCount > 0) --b->LockCount;
  return b->LockCount > 0 ? TRUE : FALSE;
}

HGLOBAL GlobalFree(HGLOBAL Mem) {
  if (!Mem) return nullptr;
  TBlock* b = nullptr;
  {
    auto& t = Table();
    std::lock_guard<std::mutex> g(t.Lock);
    auto it = t.ByHandle.find(Mem);
    if (it == t.ByHandle.end()) return Mem;
    b = it->second;
    t.ByHandle.erase(it);
    t.ByAddress.erase(b->Data);
  }
  std::free(b->Data);
  delete b;
  return nullptr;
}

size_t GlobalSize(HGLOBAL Mem) {
  auto& t = Table();
  std::lock_guard<std::mutex> g(t.Lock);
  auto it = t.ByHandle.find(Mem);
  return it == t.ByHandle.end() ? 0 : it->second->Size;
}

HGLOBAL GlobalHandle(const void* Address) {
  auto& t = Table();
  std::lock_guard<std::mutex> g(t.Lock);
  auto it = t.ByAddress.find(const_cast<void*>(Address));
  return it == t.ByAddress.end() ? nullptr : it->second;
}

size_t DIBColorTableBytes(const BITMAPINFOHEADER* Header) {
  if (!Header) return 0;
  const bool core = Header->biSize == sizeof(BITMAPCOREHEADER);
  const Integer bits = core ? reinterpret_cast<const BITMAPCOREHEADER*>(Header)->bcBitCount : Header->biBitCount;
  const size_t entry = core ? 3 : 4;
  if (!core && Header->biCompression == BI_BITFIELDS && Header->biSize == sizeof(BITMAPINFOHEADER))
    return 12;
  if (!core && Header->biClrUsed != 0) {
    // A colour table never holds more entries than the depth can address.
    size_t n = Header->biClrUsed;
    if (bits <= 8 && n > (size_t(1) << bits)) n = size_t(1) << bits;
    if (bits > 8 && n > 256) n = 256;
    return n * entry;
  }
  if (bits >= 1 && bits <= 8) return (size_t(1) << bits) * entry;
  return 0;
}

size_t DIBPixelOffset(const BITMAPINFOHEADER* Header) {
  if (!Header) return 0;
  return Header->biSize + DIBColorTableBytes(Header);
}

size_t DIBRowBytes(Integer Width, Integer BitCount) {
  if (Width <= 0 || BitCount <= 0) return 0;
  return static_cast<size_t>((static_cast<uint64_t>(Width) * static_cast<uint64_t>(BitCount) + 31) / 32 * 4);
}
