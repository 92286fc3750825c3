// DCX pages: a magic, a table of page offsets ended by 0, and PCX images.
#include "imaging/formats/dcx.h"

#include <algorithm>
#include <vector>

#include "imaging/core/base/iestreams.h"
#include "imaging/formats/lebytes.h"
#include "imaging/formats/pcx.h"
#include "imaging/io/ieprobes.h"

namespace {

constexpr uint32_t kMagic = 987654321u;

// The table's offsets (from Start), the first 1024 at most, up to the first 0.
std::vector<uint32_t> PageTable(TStream* S, int64_t Start) {
  std::vector<Byte> t(4 * 1024);
  const int64_t got = IEReadAt(S, Start + 4, t.data(), int64_t(t.size()));
  std::vector<uint32_t> pages;
  for (int64_t i = 0; i + 4 <= got; i += 4) {
    const uint32_t o = LE32(&t[size_t(i)]);
    if (o == 0) break;
    pages.push_back(o);
  }
  return pages;
}

// A page's size: to the next larger offset, or to the end of the data.
int64_t PageSize(const std::vector<uint32_t>& Pages, size_t I, int64_t DataSize) {
  int64_t next = DataSize;
  for (uint32_t o : Pages)
    if (o > Pages[I] && o < next) next = o;
  return std::max<int64_t>(next - Pages[I], 0);
}

}  // namespace

Integer IECountDCXPages(TStream* Stream) {
  Integer n = 0;
  IEProbeAtPosition(Stream, [&](int64_t start) {
    n = Integer(PageTable(Stream, start).size());
    return true;
  });
  return n;
}

void IEReadDCXPage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   bool Preview) {
  try {
    if (!IEProbeDCX(Stream)) {
      Progress.Abort();
      return;
    }
    const int64_t start = Stream->Position();
    const std::vector<uint32_t> pages = PageTable(Stream, start);
    if (pages.empty()) {
      Progress.Abort();
      return;
    }
    const Integer index = std::clamp<Integer>(Params.DCX_IMAGEINDEX, 0, Integer(pages.size()) - 1);
    Params.SetImageIndex(index);
    const int64_t dataSize = Stream->Size() - start;
    Stream->SetPosition(start + pages[size_t(index)]);
    IEReadPCX(Stream, Bitmap, Params, PageSize(pages, size_t(index), dataSize), Progress, Preview);
  } catch (...) {
    Progress.Abort();
  }
}

void IEWriteDCX(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  try {
    const int64_t start = Stream->Position();
    const int64_t dataSize = Stream->Size() - start;
    std::vector<uint32_t> pages;
    Integer index = Params.DCX_IMAGEINDEX;
    if (dataSize > 0) {
      if (!IEProbeDCX(Stream)) {
        Progress.Abort();
        return;
      }
      pages = PageTable(Stream, start);
    } else {
      // A new file holds the one page whatever index was asked.
      index = 0;
    }
    if (index < 0 || index > Integer(pages.size())) {
      Progress.Abort();
      return;
    }
    TMemoryStream out;
    std::vector<uint32_t> table;
    const std::vector<Byte> zeros((pages.size() + 2) * 4 + 4, 0);
    out.WriteBuffer(zeros.data(), int64_t(zeros.size()));
    for (size_t p = 0;; ++p) {
      if (Integer(p) == index) {
        table.push_back(uint32_t(out.Position()));
        IEWritePCX(&out, Bitmap, Params, Progress);
        if (Progress.Aborted()) return;
      }
      if (p >= pages.size()) break;
      table.push_back(uint32_t(out.Position()));
      const int64_t size = PageSize(pages, p, dataSize);
      Stream->SetPosition(start + pages[p]);
      if (IECopyFromStream(&out, Stream, size) != size) {
        Progress.Abort();
        return;
      }
    }
    std::vector<Byte> head(4 + table.size() * 4);
    for (int i = 0; i < 4; ++i) head[size_t(i)] = Byte(kMagic >> (8 * i));
    for (size_t i = 0; i < table.size(); ++i)
      for (int k = 0; k < 4; ++k) head[4 + 4 * i + size_t(k)] = Byte(table[i] >> (8 * k));
    out.SetPosition(0);
    out.WriteBuffer(head.data(), int64_t(head.size()));
    // Only a complete file replaces what the stream held.
    Stream->SetSize(start);
    Stream->SetPosition(start);
    IESafeStreamWrite(Stream, Progress, out.Memory(), out.Size());
  } catch (...) {
    Progress.Abort();
  }
}

void IEDCXReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                      bool Preview) {
  IEReadDCXPage(Stream, Bitmap, Params, Progress, Preview);
}
void IEDCXWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  IEWriteDCX(Stream, Bitmap, Params, Progress);
}
