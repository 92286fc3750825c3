// IPTC blocks from JPEG APP13 segments and TIFF tags: parsing must stay inside
// the data, and what was read must survive a save and a second read.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/core/meta/ieiptc.h"

namespace {

struct Item {
  Integer Record, DataSet;
  std::vector<Byte> Data;
  bool operator==(const Item&) const = default;
};

std::vector<Item> Items(const TIEIPTCInfoList& l) {
  std::vector<Item> r;
  for (Integer i = 0; i < l.GetCount(); ++i) r.push_back({l.GetRecordNumber(i), l.GetDataSet(i), l.GetData(i)});
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  TIEIPTCInfoList l;
  if (!l.LoadFromBuffer(data, static_cast<Integer>(size))) return 0;
  // The writer drops the record version and empty datasets.
  std::vector<Item> kept;
  for (const Item& it : Items(l))
    if (!(it.Record == 2 && it.DataSet == 0) && !it.Data.empty()) kept.push_back(it);

  std::vector<Byte> block;
  l.SaveToBuffer(block, true);
  TIEIPTCInfoList back;
  back.LoadFromBuffer(block.data(), static_cast<Integer>(block.size()));
  if (Items(back) != kept) std::abort();

  l.SaveToBuffer(block, false);
  back.LoadFromBuffer(block.data(), static_cast<Integer>(block.size()));
  std::vector<Item> withVersion{{2, 0, {0, 2}}};
  withVersion.insert(withVersion.end(), kept.begin(), kept.end());
  if (Items(back) != withVersion) std::abort();

  for (Integer i = -1; i <= l.GetCount(); ++i) (void)l.GetStringItem(i);
  return 0;
}
