// The text editor's private clipboard block on hostile bytes: a block another
// program filled must either be refused or give one canonical format per
// character, which written back reads as the same text and formats.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/view/ietextcontrol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  // A copy of exactly the block's size, so that a read past it is caught.
  const std::vector<Byte> block(data, data + size);
  AnsiString text;
  TIETextFormatList formats;
  if (!IEParseTextMemoBlock(block.data(), block.size(), text, formats)) return 0;
  if (formats.size() != text.size() || text.find('\0') != AnsiString::npos) std::abort();
  std::vector<Byte> again(text.begin(), text.end());
  again.push_back(0);
  for (const TIETextFormat& f : formats) {
    if (f.Style > 15 || f.Alignment > 3 || f.BrushStyle > bsDiagCross) std::abort();
    const Byte* p = reinterpret_cast<const Byte*>(&f);
    again.insert(again.end(), p, p + sizeof(f));
  }
  AnsiString text2;
  TIETextFormatList formats2;
  if (!IEParseTextMemoBlock(again.data(), again.size(), text2, formats2) || text2 != text) std::abort();
  for (size_t i = 0; i < formats.size(); ++i)
    if (std::memcmp(&formats[i], &formats2[i], sizeof(TIETextFormat)) != 0) std::abort();
  return 0;
}
