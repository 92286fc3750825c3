// Big zeroed blocks straight from the kernel, placed so that transparent huge
// pages can back them: a freshly decoded 24-megapixel picture then takes a few
// dozen page faults instead of eighteen thousand.
#pragma once

#include <cstddef>
#include <memory>

// Blocks at least this big are worth mapping on their own.
constexpr size_t kLargePageBlock = size_t(4) << 20;

// A zero-filled block of Size bytes, aligned to 2 MiB, or nullptr when the
// system refuses it. The pages are not touched here: each is zeroed by the
// kernel when first written, so nothing is written twice.
void* AllocateZeroedPages(size_t Size);
// Gives the whole pages between byte offsets From and To of a block of
// AllocateZeroedPages back to the system while the block stays allocated:
// a work buffer's parts that a kernel has finished with stop counting
// towards the program's memory. Those bytes read as zero afterwards.
void ReleaseZeroedPages(void* Block, size_t From, size_t To);
// Returns a block of AllocateZeroedPages; nullptr is ignored.
void FreeZeroedPages(void* Block);

// Owner of a block of AllocateZeroedPages, for kernels' big work buffers.
struct TZeroedPagesFree {
  void operator()(void* Block) const { FreeZeroedPages(Block); }
};
template <class T>
using TZeroedPages = std::unique_ptr<T[], TZeroedPagesFree>;
