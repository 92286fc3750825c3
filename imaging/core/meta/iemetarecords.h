// Side records that travel with a picture besides pixels, EXIF, IPTC and ICC:
// imaging annotations (the TIFF annotation block), DICOM data elements, XMP
// packets, and a small list of wide strings.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "platform/base/classes.h"
#include "platform/base/types.h"

class TIOParamsVals;

struct TIEImagingPoint {
  Integer X = 0;
  Integer Y = 0;
};

// Size of a mark's attribute record; it is stored and copied whole.
constexpr int IEMarkAttributesSize = 164;

// One mark of an annotation block.
class TIEImagingObject : public TObject {
 public:
  // Little-endian record; the mark type is at offset 0, the font height (first
  // field of the font description) at offset 48.
  std::array<Byte, IEMarkAttributesSize> Attributes{};
  std::vector<TIEImagingPoint> Points;  // lines and freehand marks
  AnsiString Text;                       // text marks, 8-bit
  // Embedded image of mark 1, as the packed device-independent bitmap of the
  // block; kept as it was read so it is written back unchanged.
  std::vector<Byte> DIB;

  Integer PointCount() const { return static_cast<Integer>(Points.size()); }
  Integer MarkType() const;
  void SetMarkType(Integer Value);
  Integer FontHeight() const;
  void SetFontHeight(Integer Value);
};

// Annotation block: an 8-byte header (0, integer-size flag) and blocks of type 2
// (named block without a mark), 5 (a mark's attribute record) and 6 (named block
// of the current mark).
class TIEImagingAnnot : public TObject {
 public:
  TIOParamsVals* Parent = nullptr;  // not owned
  std::vector<std::unique_ptr<TIEImagingObject>> Objects;
  Boolean UserChanged = false;

  void Clear() { Objects.clear(); }
  void Assign(const TIEImagingAnnot* Source);
  // Appends the marks of the block to Objects (the caller clears first when
  // replacing). Every length and count is checked against the data; a block
  // that ends early or points past its end ends parsing, keeping the marks read
  // so far. Text font heights are brought to the screen's resolution.
  void LoadFromBuffer(const void* Buffer, Integer Length);
  // Empty when there are no objects.
  void SaveToBuffer(std::vector<Byte>& Buffer) const;
};

// The screen resolution the annotation block converts font heights with:
// IEScreenDpiY, or 96 while the view's start-up has not recorded it.
Integer IEAnnotScreenDpiX();
Integer IEAnnotScreenDpiY();

struct TIEDICOMTag {
  Word Group = 0;
  Word Element = 0;
  char VR[2] = {0, 0};      // value representation, zeros when not given
  std::vector<Byte> Data;   // Length bytes and a terminating 0; empty when no value
  Integer Length = 0;       // 0 when there is no value
  const Byte* Value() const { return Data.empty() ? nullptr : Data.data(); }
};

class TIEDICOMTags : public TObject {
 public:
  Integer Count() const { return static_cast<Integer>(FTags.size()); }
  const TIEDICOMTag& GetTag(Integer Index) const;  // EListError outside the list
  void Clear() { FTags.clear(); }
  // VR is kept only when it has exactly 2 characters. A negative Length (or no
  // Data) stores no value; otherwise Length bytes are copied and a 0 appended.
  Integer AddTag(Word Group, Word Element, const AnsiString& VR, const void* Data, Integer Length);
  void Assign(const TIEDICOMTags* Source);

 private:
  std::vector<TIEDICOMTag> FTags;
};

// XMP in a JPEG APP1 segment: the namespace identifier, a 0 byte, the packet.
// IEFindXMPPacket gives the packet's address within Data, or nullptr when Data
// is not such a segment (shorter than 30 bytes, another header, or no 0 byte
// within Length).
const Byte* IEFindXMPPacket(const void* Data, Integer Length);
// The packet as 8-bit text; false when Data holds none.
Boolean IELoadXMP(const void* Data, Integer Length, AnsiString& XMPText);
// The segment for XMPText: the 29-byte header, then the text without a 0.
void IESaveXMP(const AnsiString& XMPText, std::vector<Byte>& Block);

class TIEWideStrings : public TObject {
 public:
  Integer Count() const { return static_cast<Integer>(FStrings.size()); }
  void Clear() { FStrings.clear(); }
  void Add(const WideString& Text) { FStrings.push_back(Text); }
  void GetString(Integer Index, WideString& Text) const;  // EListError outside the list
  const WideString& GetString(Integer Index) const;

 private:
  std::vector<WideString> FStrings;
};
