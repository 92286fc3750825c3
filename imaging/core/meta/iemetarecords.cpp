// Annotation block reader and writer, DICOM tag list, XMP segments, wide strings.
#include "imaging/core/meta/iemetarecords.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "imaging/core/base/iestartup.h"
#include "platform/base/sysutils.h"

namespace {

Integer GetLE32(const Byte* p) {
  return static_cast<Integer>(Cardinal(p[0]) | Cardinal(p[1]) << 8 | Cardinal(p[2]) << 16 | Cardinal(p[3]) << 24);
}

void SetLE32(Byte* p, Integer v) {
  const Cardinal u = static_cast<Cardinal>(v);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<Byte>(u >> (8 * i));
}

void PutLE32(std::vector<Byte>& out, Integer v) {
  Byte b[4];
  SetLE32(b, v);
  out.insert(out.end(), b, b + 4);
}

constexpr Integer kNamedBlockHeader = 12;
constexpr int kFontHeightOffset = 48;

// type (2 or 6), header size, 8-byte zero-padded name, data length, data.
void PutNamedBlock(std::vector<Byte>& out, Integer Type, const char* Name, const Byte* Data, size_t Length) {
  PutLE32(out, Type);
  PutLE32(out, kNamedBlockHeader);
  char name[8] = {};
  std::memcpy(name, Name, strnlen(Name, sizeof name));
  out.insert(out.end(), name, name + 8);
  PutLE32(out, static_cast<Integer>(Length));
  if (Length > 0) out.insert(out.end(), Data, Data + Length);
}

void PutTextBlock(std::vector<Byte>& out, Integer Type, const char* Name, const std::string& Text) {
  PutNamedBlock(out, Type, Name, reinterpret_cast<const Byte*>(Text.c_str()), Text.size() + 1);
}

bool IsTextMark(Integer Mark) { return Mark >= 7 && Mark <= 10; }

// XMP namespace identifier that prefixes the packet in a JPEG APP1 segment.
constexpr char kXMPHeader[] = "http://ns.adobe.com/xap/1.0/";
constexpr size_t kXMPHeaderSize = sizeof kXMPHeader;  // 28 characters and the 0 byte

}  // namespace

Integer IEAnnotScreenDpiX() { return IEScreenDpiX > 0 ? IEScreenDpiX : 96; }
Integer IEAnnotScreenDpiY() { return IEScreenDpiY > 0 ? IEScreenDpiY : 96; }

Integer TIEImagingObject::MarkType() const { return GetLE32(Attributes.data()); }
void TIEImagingObject::SetMarkType(Integer Value) { SetLE32(Attributes.data(), Value); }
Integer TIEImagingObject::FontHeight() const { return GetLE32(Attributes.data() + kFontHeightOffset); }
void TIEImagingObject::SetFontHeight(Integer Value) { SetLE32(Attributes.data() + kFontHeightOffset, Value); }

void TIEImagingAnnot::Assign(const TIEImagingAnnot* Source) {
  if (Source == this) return;
  Clear();
  if (Source == nullptr) return;
  for (const auto& o : Source->Objects) {
    auto copy = std::make_unique<TIEImagingObject>();
    copy->Attributes = o->Attributes;
    copy->Points = o->Points;
    copy->Text = o->Text;
    copy->DIB = o->DIB;
    Objects.push_back(std::move(copy));
  }
}

void TIEImagingAnnot::SaveToBuffer(std::vector<Byte>& Buffer) const {
  Buffer.clear();
  if (Objects.empty()) return;
  const Integer dpiX = IEAnnotScreenDpiX();
  const Integer dpiY = IEAnnotScreenDpiY();
  PutLE32(Buffer, 0);
  PutLE32(Buffer, 1);  // 32-bit integers
  PutTextBlock(Buffer, 2, "OiGroup", "0");
  PutTextBlock(Buffer, 2, "OiIndex", "1");
  for (size_t i = 0; i < Objects.size(); ++i) {
    const TIEImagingObject& o = *Objects[i];
    PutLE32(Buffer, 5);
    PutLE32(Buffer, IEMarkAttributesSize);
    Buffer.insert(Buffer.end(), o.Attributes.begin(), o.Attributes.end());
    const Integer mark = o.MarkType();
    std::vector<Byte> data;
    if (mark == 1) {
      for (Integer v : {1, 1000, dpiX, dpiY, dpiX, dpiY, 0, 0}) PutLE32(data, v);
      data.resize(56, 0);
      PutNamedBlock(Buffer, 6, "OiAnoDat", data.data(), data.size());
      if (!o.DIB.empty()) PutNamedBlock(Buffer, 6, "OiDIB", o.DIB.data(), o.DIB.size());
    } else if (mark == 3 || mark == 4) {
      PutLE32(data, o.PointCount());
      PutLE32(data, o.PointCount());
      for (const TIEImagingPoint& p : o.Points) {
        PutLE32(data, p.X);
        PutLE32(data, p.Y);
      }
      PutNamedBlock(Buffer, 6, "OiAnoDat", data.data(), data.size());
    } else if (IsTextMark(mark)) {
      // The text up to its first 0 byte: the block stores it 0-terminated.
      const std::string text(o.Text.c_str());
      for (Integer v : {0, 1000, 72000 / dpiY, static_cast<Integer>(text.size())}) PutLE32(data, v);
      data.insert(data.end(), text.begin(), text.end());
      data.push_back(0);
      PutNamedBlock(Buffer, 6, "OiAnText", data.data(), data.size());
    }
    PutTextBlock(Buffer, 6, "OiGroup", "0");
    PutTextBlock(Buffer, 6, "OiIndex", std::to_string(i));
  }
}

void TIEImagingAnnot::LoadFromBuffer(const void* Buffer, Integer Length) {
  if (Buffer == nullptr || Length <= 0) return;
  const Byte* p = static_cast<const Byte*>(Buffer);
  const size_t len = static_cast<size_t>(Length);

  // The mark being read and what its named blocks gave.
  bool haveMark = false;
  std::array<Byte, IEMarkAttributesSize> attributes{};
  std::vector<TIEImagingPoint> points;
  const Byte* text = nullptr;
  size_t textLength = 0;
  const Byte* dib = nullptr;
  size_t dibLength = 0;

  auto finishMark = [&] {
    if (!haveMark) return;
    haveMark = false;
    auto o = std::make_unique<TIEImagingObject>();
    o->Attributes = attributes;
    const Integer mark = o->MarkType();
    if (mark < 1) return;
    if (mark == 1 && dib != nullptr) o->DIB.assign(dib, dib + dibLength);
    if (mark == 3 || mark == 4) o->Points = points;
    if (IsTextMark(mark) && text != nullptr && textLength >= 16) {
      const Integer declared = GetLE32(text + 12);
      const size_t n = std::min<size_t>(declared < 0 ? 0 : static_cast<size_t>(declared), textLength - 16);
      const Byte* s = text + 16;
      o->Text.assign(reinterpret_cast<const char*>(s), std::find(s, s + n, Byte(0)) - s);
      // Heights were stored at the creation scale 72000 / dpi of the writer.
      const Integer dpiY = IEAnnotScreenDpiY();
      Integer scale = GetLE32(text + 8);
      if (scale == 0) scale = 72000 / dpiY;
      const long double h = 72000.0L / scale * o->FontHeight() / dpiY;
      const long double lo = std::numeric_limits<Integer>::min(), hi = std::numeric_limits<Integer>::max();
      o->SetFontHeight(static_cast<Integer>(Round(std::clamp(h, lo, hi))));
    }
    Objects.push_back(std::move(o));
  };

  if (len >= 8) {
    const bool intFlag = GetLE32(p + 4) != 0;
    size_t pos = 8;
    while (pos < len) {
      if (len - pos < 8) break;
      const Integer type = GetLE32(p + pos);
      pos += 8;  // type and header size
      if (type == 2 || type == 6) {
        if (len - pos < 12) break;
        char name[9] = {};
        std::memcpy(name, p + pos, 8);
        const Integer dataLength = GetLE32(p + pos + 8);
        const size_t dataPos = pos + 8 + (intFlag ? 4 : 8);
        if (dataLength < 0 || dataPos > len || static_cast<size_t>(dataLength) > len - dataPos) break;
        const Byte* data = p + dataPos;
        const size_t n = static_cast<size_t>(dataLength);
        pos = dataPos + n;
        if (type != 6 || !haveMark) continue;  // defaults are not kept
        const Integer mark = GetLE32(attributes.data());
        const std::string blockName(name);
        if (blockName == "OiAnoDat" && (mark == 3 || mark == 4) && n >= 8) {
          // The count is capped by what the data holds.
          const Integer count = GetLE32(data + 4);
          const size_t k = std::min<size_t>(count < 0 ? 0 : static_cast<size_t>(count), (n - 8) / 8);
          points.resize(k);
          for (size_t i = 0; i < k; ++i) points[i] = {GetLE32(data + 8 + 8 * i), GetLE32(data + 12 + 8 * i)};
        } else if (blockName == "OiAnText") {
          text = data;
          textLength = n;
        } else if (blockName == "OiDIB") {
          dib = data;
          dibLength = n;
        }
      } else if (type == 5) {
        finishMark();
        if (len - pos < IEMarkAttributesSize) break;
        std::memcpy(attributes.data(), p + pos, IEMarkAttributesSize);
        pos += IEMarkAttributesSize;
        haveMark = true;
        points.clear();
        text = dib = nullptr;
        textLength = dibLength = 0;
      }
    }
  }
  finishMark();
  UserChanged = false;
}

const TIEDICOMTag& TIEDICOMTags::GetTag(Integer Index) const {
  if (Index < 0 || Index >= Count())
    throw EListError(("List index out of bounds (" + std::to_string(Index) + ")").c_str());
  return FTags[Index];
}

Integer TIEDICOMTags::AddTag(Word Group, Word Element, const AnsiString& VR, const void* Data, Integer Length) {
  TIEDICOMTag tag;
  tag.Group = Group;
  tag.Element = Element;
  if (VR.size() == 2) {
    tag.VR[0] = VR[0];
    tag.VR[1] = VR[1];
  }
  if (Length >= 0 && Data != nullptr) {
    const Byte* d = static_cast<const Byte*>(Data);
    tag.Data.assign(d, d + Length);
    tag.Data.push_back(0);
    tag.Length = Length;
  }
  FTags.push_back(std::move(tag));
  return Count() - 1;
}

void TIEDICOMTags::Assign(const TIEDICOMTags* Source) {
  if (Source == this) return;
  Clear();
  if (Source == nullptr) return;
  for (const TIEDICOMTag& t : Source->FTags) {
    TIEDICOMTag copy = t;
    if (copy.Length == 0) copy.Data.clear();  // a value of no bytes is no value
    FTags.push_back(std::move(copy));
  }
}

const Byte* IEFindXMPPacket(const void* Data, Integer Length) {
  if (Data == nullptr || Length < 30) return nullptr;
  const Byte* p = static_cast<const Byte*>(Data);
  if (std::memcmp(p, kXMPHeader, 24) != 0) return nullptr;
  const Byte* zero = std::find(p, p + Length, Byte(0));
  return zero == p + Length ? nullptr : zero + 1;
}

Boolean IELoadXMP(const void* Data, Integer Length, AnsiString& XMPText) {
  const Byte* packet = IEFindXMPPacket(Data, Length);
  if (packet == nullptr) return false;
  const Byte* end = static_cast<const Byte*>(Data) + Length;
  XMPText.assign(reinterpret_cast<const char*>(packet), end - packet);
  return true;
}

void IESaveXMP(const AnsiString& XMPText, std::vector<Byte>& Block) {
  Block.assign(kXMPHeader, kXMPHeader + kXMPHeaderSize);
  Block.insert(Block.end(), XMPText.begin(), XMPText.end());
}

const WideString& TIEWideStrings::GetString(Integer Index) const {
  if (Index < 0 || Index >= Count())
    throw EListError(("List index out of bounds (" + std::to_string(Index) + ")").c_str());
  return FStrings[Index];
}

void TIEWideStrings::GetString(Integer Index, WideString& Text) const { Text = GetString(Index); }
