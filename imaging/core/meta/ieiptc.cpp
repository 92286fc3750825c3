// IPTC record list: dataset storage, the IIM encoding and the resource block.
#include "imaging/core/meta/ieiptc.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/base/iehelpers.h"
#include "platform/base/sysutils.h"

namespace {

constexpr Byte kTagMarker = 0x1C;
constexpr char kPhotoshopSignature[] = "Photoshop 3.0";  // followed by a 0 byte in the block

uint64_t BigEndian(const Byte* p, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

// Finds the data of image resource 0x0404 in a "Photoshop 3.0" block by walking
// the resource structure: signature, id, Pascal name padded to even length,
// 4-byte size, data padded to even length.
bool FindIPTCResource(const Byte* p, size_t len, size_t& start, size_t& end) {
  size_t pos = 13;
  if (pos < len && p[pos] == 0) ++pos;
  while (pos + 12 <= len) {
    const Byte* sig = p + pos;
    const bool ours = std::memcmp(sig, "8BIM", 4) == 0;
    // Other writers' signatures carry resources of the same layout.
    if (!ours && std::memcmp(sig, "MeSa", 4) != 0 && std::memcmp(sig, "PHUT", 4) != 0 &&
        std::memcmp(sig, "AgHg", 4) != 0 && std::memcmp(sig, "DCSR", 4) != 0)
      return false;
    const unsigned id = static_cast<unsigned>(BigEndian(p + pos + 4, 2));
    const size_t nameField = (size_t{p[pos + 6]} + 2) & ~size_t{1};
    const size_t sizePos = pos + 6 + nameField;
    if (sizePos + 4 > len) return false;
    const uint64_t size = BigEndian(p + sizePos, 4);
    const size_t dataPos = sizePos + 4;
    if (ours && id == 0x0404) {
      start = dataPos;
      end = static_cast<size_t>(std::min<uint64_t>(len, dataPos + size));
      return true;
    }
    const uint64_t next = dataPos + size + (size & 1);
    if (next > len) return false;
    pos = static_cast<size_t>(next);
  }
  return false;
}

void PutBigEndian(std::vector<Byte>& out, uint64_t v, int n) {
  for (int i = n - 1; i >= 0; --i) out.push_back(static_cast<Byte>(v >> (8 * i)));
}

}  // namespace

void TIEIPTCInfoList::Check(Integer Index) const {
  if (Index < 0 || Index >= GetCount())
    throw EListError(("List index out of bounds (" + std::to_string(Index) + ")").c_str());
}

Integer TIEIPTCInfoList::GetRecordNumber(Integer Index) const {
  Check(Index);
  return FItems[Index].RecordNumber;
}

Integer TIEIPTCInfoList::GetDataSet(Integer Index) const {
  Check(Index);
  return FItems[Index].DataSet;
}

const std::vector<Byte>& TIEIPTCInfoList::GetData(Integer Index) const {
  Check(Index);
  return FItems[Index].Data;
}

WideString TIEIPTCInfoList::GetStringItem(Integer Index) const {
  if (Index < 0 || Index >= GetCount()) return WideString();
  const std::vector<Byte>& d = FItems[Index].Data;
  return IEAnsiToWide(AnsiString(d.begin(), d.end()));
}

void TIEIPTCInfoList::SetStringItem(Integer Index, const WideString& S) {
  Check(Index);
  const AnsiString bytes = IEWideToAnsi(S);
  FItems[Index].Data.assign(bytes.begin(), bytes.end());
  UserChanged = true;
}

Integer TIEIPTCInfoList::AddStringItem(Integer RecordNumber, Integer DataSet, const AnsiString& S) {
  return AddBufferItem(RecordNumber, DataSet, S.data(), static_cast<Integer>(S.size()));
}

Integer TIEIPTCInfoList::AddBufferItem(Integer RecordNumber, Integer DataSet, const void* Buffer,
                                       Integer BufferLength) {
  TItem item{RecordNumber, DataSet, {}};
  if (Buffer != nullptr && BufferLength > 0) {
    const Byte* p = static_cast<const Byte*>(Buffer);
    item.Data.assign(p, p + BufferLength);
  }
  FItems.push_back(std::move(item));
  UserChanged = true;
  return GetCount() - 1;
}

void TIEIPTCInfoList::DeleteItem(Integer Index) {
  Check(Index);
  FItems.erase(FItems.begin() + Index);
  UserChanged = true;
}

void TIEIPTCInfoList::Clear() {
  FItems.clear();
  UserChanged = true;
}

Integer TIEIPTCInfoList::IndexOf(Integer RecordNumber, Integer DataSet) const {
  return IndexOfFrom(RecordNumber, DataSet, 0);
}

Integer TIEIPTCInfoList::IndexOfFrom(Integer RecordNumber, Integer DataSet, Integer StartIndex) const {
  for (Integer i = std::max(StartIndex, 0); i < GetCount(); ++i)
    if (FItems[i].RecordNumber == RecordNumber && FItems[i].DataSet == DataSet) return i;
  return -1;
}

void TIEIPTCInfoList::Assign(const TIEIPTCInfoList* Source) {
  if (Source == nullptr || Source == this) return;
  FItems = Source->FItems;
  UserChanged = true;
}

void TIEIPTCInfoList::SaveToBuffer(std::vector<Byte>& Buffer, Boolean WithPhotoshopHeader) const {
  Buffer.clear();
  if (FItems.empty()) return;
  if (WithPhotoshopHeader) {
    Buffer.insert(Buffer.end(), kPhotoshopSignature, kPhotoshopSignature + 14);  // with its 0
    const Byte resource[] = {'8', 'B', 'I', 'M', 0x04, 0x04, 0x00, 0x00, 0, 0, 0, 0};
    Buffer.insert(Buffer.end(), resource, resource + sizeof resource);
  } else {
    const Byte version[] = {kTagMarker, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02};
    Buffer.insert(Buffer.end(), version, version + sizeof version);
  }
  const size_t datasetsStart = Buffer.size();
  for (const TItem& item : FItems) {
    if ((item.RecordNumber == 2 && item.DataSet == 0) || item.Data.empty()) continue;
    Buffer.push_back(kTagMarker);
    Buffer.push_back(static_cast<Byte>(item.RecordNumber));
    Buffer.push_back(static_cast<Byte>(item.DataSet));
    if (item.Data.size() < 0x8000) {
      PutBigEndian(Buffer, item.Data.size(), 2);
    } else {
      Buffer.push_back(0x80);
      Buffer.push_back(0x04);
      PutBigEndian(Buffer, item.Data.size(), 4);
    }
    Buffer.insert(Buffer.end(), item.Data.begin(), item.Data.end());
  }
  const uint64_t datasetBytes = Buffer.size() - datasetsStart;
  if (Buffer.size() % 2 != 0) Buffer.push_back(0);
  if (WithPhotoshopHeader) {
    for (int i = 0; i < 4; ++i) Buffer[22 + i] = static_cast<Byte>(datasetBytes >> (8 * (3 - i)));
  }
}

Boolean TIEIPTCInfoList::LoadFromBuffer(const void* Buffer, Integer BufferLength) {
  FItems.clear();
  UserChanged = false;
  if (Buffer == nullptr || BufferLength <= 0) return false;
  const Byte* p = static_cast<const Byte*>(Buffer);
  size_t pos = 0;
  size_t end = static_cast<size_t>(BufferLength);
  if (end >= 13 && std::memcmp(p, kPhotoshopSignature, 13) == 0) {
    if (!FindIPTCResource(p, end, pos, end)) return false;
  }
  // Leading bytes before the first tag marker are skipped. (The resource is
  // found by its structure, so no guessing over its name and size fields is
  // needed, and a dataset of record 28 is not mistaken for such a guess.)
  while (pos < end && p[pos] != kTagMarker) ++pos;

  while (pos < end && p[pos] == kTagMarker) {
    if (pos + 5 >= end) break;  // no room for data after the header
    uint64_t length;
    size_t dataPos;
    if (p[pos + 3] & 0x80) {
      // Extended form: the low 15 bits give the size of the length field.
      const size_t lengthSize = ((size_t{p[pos + 3]} & 0x7F) << 8) | p[pos + 4];
      if (lengthSize < 1 || lengthSize > 4 || pos + 5 + lengthSize > end) break;
      length = BigEndian(p + pos + 5, lengthSize);
      dataPos = pos + 5 + lengthSize;
    } else {
      length = BigEndian(p + pos + 3, 2);
      dataPos = pos + 5;
    }
    if (length > end - dataPos) break;
    TItem item{p[pos + 1], p[pos + 2], std::vector<Byte>(p + dataPos, p + dataPos + length)};
    FItems.push_back(std::move(item));
    pos = dataPos + static_cast<size_t>(length);
  }
  UserChanged = false;
  return !FItems.empty();
}
