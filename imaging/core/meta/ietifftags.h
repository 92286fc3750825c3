// TIFF-style tag directories outside the TIFF codec proper: the EXIF maker
// note of an image (TIETagsHandler) and an editable in-memory model of a whole
// TIFF file (TIETIFFHandler).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/base/classes.h"
#include "platform/base/types.h"

// TIFF 6.0 field types.
enum {
  IETIFFTYPE_BYTE = 1,
  IETIFFTYPE_ASCII = 2,
  IETIFFTYPE_SHORT = 3,
  IETIFFTYPE_LONG = 4,
  IETIFFTYPE_RATIONAL = 5,
  IETIFFTYPE_SBYTE = 6,
  IETIFFTYPE_UNDEFINED = 7,
  IETIFFTYPE_SSHORT = 8,
  IETIFFTYPE_SLONG = 9,
  IETIFFTYPE_SRATIONAL = 10,
  IETIFFTYPE_FLOAT = 11,
  IETIFFTYPE_DOUBLE = 12,
};

// Bytes per value of a field type; types outside 1..12 count one byte.
Integer IETIFFTypeSize(Integer DataType);

// One known maker-note layout.
struct TIEEXIFMakerNoteDeviceInfo {
  AnsiString Signature;        // compared with the note's first bytes
  Byte OffsetMode = 0;         // 0: offsets count from the enclosing TIFF; 1: from the byte-order block
  Byte HasByteOrderBlock = 0;  // 1: an 8-byte TIFF header follows the signature
  Byte ByteOrderBlock[8] = {};
  Byte ByteOrderMode = 0;      // 0 enclosing data, 1 from the block, 2 little-endian, 3 big-endian
};

// A 12-byte directory entry in host order.
struct TIETIFFDirEntry {
  Word Tag = 0;
  Word DataType = 0;
  Cardinal Count = 0;
  Cardinal Value = 0;  // inline value bytes read little-endian, or the data's position in the tag stream
};

// Keeps the EXIF maker note of an image as a self-contained tag stream in host
// byte order: entry count (16 bits), 12-byte entries, then the data of every
// value longer than 4 bytes; each such entry's value holds the data's position.
class TIETagsHandler : public TObject {
 public:
  TIETagsHandler();
  ~TIETagsHandler() override;

  void Clear();
  void Assign(const TIETagsHandler* Source);
  // Reads a maker note of Size bytes at the stream position; LittleEndian is
  // the byte order of the enclosing EXIF data. A note that does not hold a
  // sound directory leaves the handler empty.
  void ReadFromStream(TStream* Stream, Integer Size, Boolean LittleEndian);
  // Writes the note at the stream position; the result is its length, or 0
  // when nothing was kept or the note would exceed 65000 bytes (then nothing is written).
  Integer WriteToStream(TStream* Stream);
  // Loads the entry count and the entries from the start of the tag stream.
  void ReadDirectory();

  const Byte* RawData() const { return FRawData.empty() ? nullptr : FRawData.data(); }
  Integer RawSize() const { return static_cast<Integer>(FRawData.size()); }
  const TIEEXIFMakerNoteDeviceInfo& DeviceInfo() const { return FDeviceInfo; }
  // Readers that build a maker-note directory themselves write it here and call ReadDirectory.
  TMemoryStream* TagsStream() { return &FTagsStream; }
  const TIETIFFDirEntry* IFD() const { return FIFD.empty() ? nullptr : FIFD.data(); }
  Integer IFDCount() const { return static_cast<Integer>(FIFD.size()); }

 private:
  std::vector<Byte> FRawData;
  TIEEXIFMakerNoteDeviceInfo FDeviceInfo;
  TMemoryStream FTagsStream;
  std::vector<TIETIFFDirEntry> FIFD;
};

struct TIETIFFEntry;
using TIETIFFEntryList = std::vector<TIETIFFEntry>;

// One entry of a TIETIFFHandler directory. Value and Data are kept in the
// file's byte order. A sub-directory tag (34665 EXIF, 34853 GPS, 40965
// interoperability) holds its directory in SubIFD; the offset entry of a
// data-pointer pair (strips, tiles, JPEG interchange format, HD Photo image
// and alpha planes) is of type LONG and holds its pieces, one per item.
struct TIETIFFEntry {
  Word Tag = 0;
  Word DataType = 0;
  Cardinal Count = 0;
  Byte Value[4] = {};          // values of up to 4 bytes; otherwise the offset they came from
  std::vector<Byte> Data;      // values longer than 4 bytes
  std::unique_ptr<TIETIFFEntryList> SubIFD;
  bool HasPieces = false;
  std::vector<std::vector<Byte>> Pieces;

  TIETIFFEntry() = default;
  TIETIFFEntry(TIETIFFEntry&&) = default;
  TIETIFFEntry& operator=(TIETIFFEntry&&) = default;
  // Deep copy: data, pieces and nested directories.
  TIETIFFEntry Clone() const;
  // Length of the values in bytes (count x bytes per value), 64-bit.
  int64_t DataLength() const;
};

// Editable in-memory model of a whole TIFF file: every directory with its
// entries and the data they point to. Offsets in the stream count from
// position 0; a TIFF structure embedded in other data must be handed over in
// a stream of its own.
class TIETIFFHandler : public TObject {
 public:
  // Empty, little-endian, magic 42.
  TIETIFFHandler();
  // CreateFromFile: reads the file; stays empty when it does not exist.
  explicit TIETIFFHandler(const WideString& FileName);
  // CreateFromStream: reads the stream.
  explicit TIETIFFHandler(TStream* Stream);
  ~TIETIFFHandler() override;

  static std::unique_ptr<TIETIFFHandler> CreateFromFile(const WideString& FileName);
  static std::unique_ptr<TIETIFFHandler> CreateFromStream(TStream* Stream);

  // Discards the contents and reads the TIFF whose header is at the stream
  // position; false when the header is not "II" or "MM" (or is a BigTIFF one).
  Boolean ReadStream(TStream* Stream);
  Integer FindTag(Integer IFDIndex, Integer Tag) const;
  Integer GetValue(const TIETIFFEntryList* IFD, Integer EntryIndex, Integer ItemIndex) const;
  Integer GetValueByTag(const TIETIFFEntryList* IFD, Integer Tag, Integer ItemIndex) const;
  // Replaces the entry of the tag with one value of the given type.
  void SetTag(TIETIFFEntryList* IFD, Integer Tag, Integer DataType, double Value);
  // The same for a text; numeric types take the number the text spells
  // (EConvertError when it spells none).
  void SetTag(TIETIFFEntryList* IFD, Integer Tag, Integer DataType, const AnsiString& Value);
  void DeleteTag(Integer IFDIndex, Integer EntryIndex);
  void CopyTag(Integer SrcIFDIndex, Integer SrcEntryIndex, const TIETIFFHandler* Source, Integer DstIFDIndex);
  // Writes directory IFDIndex, or all directories when IFDIndex is out of range.
  void WriteStream(TStream* Stream, Integer IFDIndex);
  void WriteFile(const WideString& FileName, Integer IFDIndex);

  Boolean BigEndian() const { return FBigEndian; }
  Word Magic() const { return FMagic; }
  Integer IFDCount() const { return static_cast<Integer>(FIFDs.size()); }
  // nullptr when Index is out of range.
  TIETIFFEntryList* IFD(Integer Index);
  const TIETIFFEntryList* IFD(Integer Index) const;

 private:
  void Clear();
  bool FBigEndian = false;
  Word FMagic = 42;
  std::vector<std::unique_ptr<TIETIFFEntryList>> FIFDs;
};
