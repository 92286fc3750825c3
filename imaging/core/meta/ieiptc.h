// IPTC-IIM datasets of a picture, and their two binary forms: a plain sequence
// of datasets (TIFF tag) and the same wrapped in a "Photoshop 3.0" image
// resource 0x0404 (JPEG APP13).
#pragma once

#include <string>
#include <vector>

#include "platform/base/classes.h"
#include "platform/base/types.h"

class TIEIPTCInfoList : public TObject {
 public:
  Integer GetCount() const { return static_cast<Integer>(FItems.size()); }
  // Index arguments outside 0..Count - 1 raise EListError, except in GetStringItem.
  Integer GetRecordNumber(Integer Index) const;
  Integer GetDataSet(Integer Index) const;
  const std::vector<Byte>& GetData(Integer Index) const;
  // Text items are 8-bit Windows-1252 in the data (IEAnsiToWide/IEWideToAnsi).
  WideString GetStringItem(Integer Index) const;  // empty outside the list
  void SetStringItem(Integer Index, const WideString& S);
  Integer AddStringItem(Integer RecordNumber, Integer DataSet, const AnsiString& S);
  Integer AddBufferItem(Integer RecordNumber, Integer DataSet, const void* Buffer, Integer BufferLength);
  void DeleteItem(Integer Index);
  void Clear();
  Integer IndexOf(Integer RecordNumber, Integer DataSet) const;
  Integer IndexOfFrom(Integer RecordNumber, Integer DataSet, Integer StartIndex) const;
  void Assign(const TIEIPTCInfoList* Source);

  // Builds the binary block; empty for an empty list. The record version 2:00
  // and empty datasets are not written (the block's prefix carries the version).
  void SaveToBuffer(std::vector<Byte>& Buffer, Boolean WithPhotoshopHeader) const;
  // Clears, then reads datasets until the data ends or a byte other than the tag
  // marker stands where a dataset should start. Every length is checked against
  // the data; a "Photoshop 3.0" block is read through its resource structure and
  // only the data of resource 0x0404 is parsed. True when a dataset was read.
  Boolean LoadFromBuffer(const void* Buffer, Integer BufferLength);

  Boolean UserChanged = false;

 private:
  struct TItem {
    Integer RecordNumber;
    Integer DataSet;
    std::vector<Byte> Data;
  };
  void Check(Integer Index) const;
  std::vector<TItem> FItems;
};
