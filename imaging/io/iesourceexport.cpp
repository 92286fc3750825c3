// Source-text export of saved pictures.
#include "imaging/io/iesourceexport.h"

#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/core/base/ieutils.h"
#include "platform/base/sysutils.h"

AnsiString IESourceArrayName(const WideString& FileName) {
  WideString base;
  IEExtractFileNameW(FileName, base);
  AnsiString name;
  name.reserve(base.size() + 1);
  for (char16_t c : base) {
    const bool ok = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_';
    name.push_back(ok ? static_cast<char>(c) : '_');
  }
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) name.insert(name.begin(), '_');
  return name;
}

namespace {

const char kHex[] = "0123456789ABCDEF";

// Items are appended to a line that is written once it exceeds 70 characters.
class TItemLines {
 public:
  TItemLines(TStream* Text, const char* Indent) : FText(Text), FIndent(Indent) {}
  void Add(const std::string& Item) {
    FLine += Item;
    if (FLine.size() > 70) Flush();
  }
  void Flush() {
    if (FLine.empty()) return;
    IEWriteLineToStream(FText, FIndent + FLine);
    FLine.clear();
  }

 private:
  TStream* FText;
  std::string FIndent;
  std::string FLine;
};

}  // namespace

void IEWriteSourceArray(TStream* Data, const WideString& FileName, Integer Language, TStream* Text) {
  if (Language == 2) {
    IEWriteBase64Text(Data, Text, 76);
    return;
  }
  std::vector<Byte> bytes;
  {
    const int64_t left = Data->Size() - Data->Position();
    bytes.resize(left > 0 ? static_cast<size_t>(left) : 0);
    if (!bytes.empty()) Data->ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  }
  if (bytes.empty()) return;
  const AnsiString name = IESourceArrayName(FileName);
  const std::string size = std::to_string(bytes.size());
  const bool pascal = Language == 0;
  if (pascal) {
    const AnsiString sizeName = name + "_Size";
    IEWriteLineToStream(Text, "const");
    IEWriteLineToStream(Text, "  " + sizeName + " = " + size + ";");
    IEWriteLineToStream(Text, "  " + name + " : array [0.." + sizeName + "-1] of byte = (");
  } else {
    IEWriteLineToStream(Text, "// Size=" + size);
    IEWriteLineToStream(Text, "const unsigned char " + name + "[" + size + "] = {");
  }
  TItemLines lines(Text, pascal ? "    " : "");
  for (size_t i = 0; i < bytes.size(); ++i) {
    const bool last = i + 1 == bytes.size();
    std::string item = pascal ? "$" : "0x";
    item += kHex[bytes[i] >> 4];
    item += kHex[bytes[i] & 15];
    if (!last)
      item += ",";
    else if (pascal)
      item += ");";
    lines.Add(item);
  }
  lines.Flush();
  if (!pascal) IEWriteLineToStream(Text, "};");
}

void IEWriteCharacterPicture(TIEBitmap* Bitmap, TStream* Text) {
  static const char kRamp[] = "W@#*+:., ";
  const Integer w = Bitmap->Width(), h = Bitmap->Height();
  std::string line;
  line.reserve(static_cast<size_t>(w));
  for (Integer y = 0; y < h; ++y) {
    const TRGB* px = static_cast<const TRGB*>(Bitmap->GetScanline(y));
    line.clear();
    for (Integer x = 0; x < w; ++x) {
      const Integer grey = IERGBToGray(px[x]);
      // Exact integer form of Trunc(grey / 255 x 9).
      Integer index = grey * 9 / 255;
      if (index > 8) index = 8;
      if (index < 0) index = 0;
      line.push_back(kRamp[index]);
    }
    IEWriteLineToStream(Text, line);
  }
}
