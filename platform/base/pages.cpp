#include "platform/base/pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace {

constexpr size_t kHugePage = size_t(2) << 20;

// Kept in the page just below the block: what munmap needs back.
struct TPagesHeader {
  void* Base;
  size_t Length;
};

size_t PageSize() {
  static const size_t size = [] {
    long p = sysconf(_SC_PAGESIZE);
    return p > 0 ? size_t(p) : size_t(4096);
  }();
  return size;
}

}  // namespace

void* AllocateZeroedPages(size_t Size) {
  const size_t page = PageSize();
  if (Size == 0 || Size > SIZE_MAX - kHugePage - 2 * page) return nullptr;
  // One page for the header below the block, then up to 2 MiB of slack to
  // reach the alignment; the unused head and tail are given back at once.
  const size_t length = Size + kHugePage + page;
  void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(base);
  const uintptr_t block = (start + page + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
  const uintptr_t keepFrom = block - page;
  const uintptr_t keepTo = (block + Size + page - 1) & ~uintptr_t(page - 1);
  if (keepFrom > start) munmap(base, keepFrom - start);
  if (start + length > keepTo) munmap(reinterpret_cast<void*>(keepTo), start + length - keepTo);
  // Only a request: without huge pages (or with them switched off) the block
  // works the same, page by page.
  madvise(reinterpret_cast<void*>(block), keepTo - block, MADV_HUGEPAGE);
  auto* header = reinterpret_cast<TPagesHeader*>(block - sizeof(TPagesHeader));
  header->Base = reinterpret_cast<void*>(keepFrom);
  header->Length = keepTo - keepFrom;
  return reinterpret_cast<void*>(block);
}

void ReleaseZeroedPages(void* Block, size_t From, size_t To) {
  if (!Block) return;
  const size_t page = PageSize();
  const uintptr_t block = reinterpret_cast<uintptr_t>(Block);
  const uintptr_t first = (block + From + page - 1) & ~uintptr_t(page - 1);
  const uintptr_t last = (block + To) & ~uintptr_t(page - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

void FreeZeroedPages(void* Block) {
  if (!Block) return;
  const auto* header = reinterpret_cast<const TPagesHeader*>(static_cast<char*>(Block) - sizeof(TPagesHeader));
  munmap(header->Base, header->Length);
}
