// Dropped-file lists from other programs: a dropped-files block (the
// clipboard's or a drop's) and a text/uri-list. Names read from either must
// survive the way back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ui/dragdrop.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  std::vector<WideString> names;
  if (GtReadDropFiles(data, size, names)) {
    HDROP h = GtCreateDropFiles(names);
    if (!h) return 0;
    std::vector<WideString> again;
    const UINT n = DragQueryFileW(h, 0xFFFFFFFFu, nullptr, 0);
    for (UINT i = 0; i < n; ++i) {
      WCHAR small[4] = {1, 1, 1, 1};
      const UINT len = DragQueryFileW(h, i, small, 3);
      if (small[3] != 1 || len != DragQueryFileW(h, i, nullptr, 0)) std::abort();
      std::vector<WCHAR> buf(len + 1);
      DragQueryFileW(h, i, buf.data(), len + 1);
      again.emplace_back(buf.data(), len);
    }
    DragFinish(h);
    if (again != names) std::abort();
  }
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<WideString> fromUris = GtNamesOfUriList(text);
  if (GtNamesOfUriList(GtUriListOfNames(fromUris)) != fromUris) std::abort();
  return 0;
}
