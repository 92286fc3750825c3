// The GIF object model's base: items and owning lists, colour tables with
// their sort by use, the header with the logical screen, and the stream and
// sub-block helpers every block reader shares.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "imaging/formats/giflib.h"

void GIFError(const char* Msg) { throw GIFException(Msg); }

void ReadCheck(TStream* Stream, void* Buffer, int64_t Size) {
  if (Stream->Read(Buffer, Size) != Size) GIFError("Premature end of data");
}

Integer ReadByte(TStream* Stream) {
  Byte b = 0;
  return Stream->Read(&b, 1) == 1 ? Integer(b) : -1;
}

void WriteByte(TStream* Stream, Byte Value) { Stream->WriteBuffer(&Value, 1); }

void WriteSubBlockStrings(TStream* Stream, const std::vector<AnsiString>& Strings) {
  for (const AnsiString& s : Strings) {
    size_t at = 0;
    while (at < s.size()) {
      const size_t n = std::min<size_t>(255, s.size() - at);
      WriteByte(Stream, Byte(n));
      Stream->WriteBuffer(s.data() + at, int64_t(n));
      at += n;
    }
  }
  WriteByte(Stream, 0);
}

void ReadSubBlockStrings(TStream* Stream, std::vector<AnsiString>& Strings) {
  Strings.clear();
  Integer n = ReadByte(Stream);
  char buf[256];
  while (n > 0) {
    ReadCheck(Stream, buf, n);
    Strings.emplace_back(buf, strnlen(buf, size_t(n)));
    n = ReadByte(Stream);
  }
}

Integer ColorBitsForCount(Integer Count) {
  if (Count <= 0) return 0;
  Integer b = 1;
  while ((Integer(1) << b) < Count && b < 31) ++b;
  return b;
}

// ---------------------------------------------------------------- items

void TGIFItem::Warning(Byte Severity, const WideString& Message) {
  if (FImage) FImage->Warning(this, Severity, Message);
}

void TGIFItem::SaveToFile(const WideString& FileName) {
  TFileStream s(FileName, fmCreate);
  SaveToStream(&s);
}

void TGIFItem::LoadFromFile(const WideString& FileName) {
  TFileStream s(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&s);
}

TGIFItem* TGIFList::GetItem(Integer Index) const {
  if (Index < 0 || Index >= GetCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FItems[size_t(Index)];
}

Integer TGIFList::Add(TGIFItem* Item) {
  FItems.push_back(Item);
  return GetCount() - 1;
}

Integer TGIFList::Remove(TGIFItem* Item) {
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  if (it == FItems.end()) return -1;
  const Integer i = Integer(it - FItems.begin());
  FItems.erase(it);
  return i;
}

void TGIFList::Delete(Integer Index) {
  TGIFItem* item = GetItem(Index);
  FItems.erase(FItems.begin() + Index);
  delete item;
}

void TGIFList::Clear() {
  while (!FItems.empty()) Delete(0);
}

void TGIFList::Warning(Byte Severity, const WideString& Message) {
  if (FImage) FImage->Warning(this, Severity, Message);
}

void TGIFList::SaveToStream(TStream* Stream) {
  for (TGIFItem* item : FItems) item->SaveToStream(Stream);
}

TGIFExtension* TGIFExtensionList::GetExtension(Integer Index) const {
  return static_cast<TGIFExtension*>(GetItem(Index));
}

void TGIFExtensionList::LoadFromStream(TStream* Stream, TObject* Parent) {
  auto* frame = dynamic_cast<TGIFSubImage*>(Parent);
  if (!frame) throw EConvertError("Invalid class typecast");
  Integer b = ReadByte(Stream);
  if (b < 0) return;
  while (b != ',' && b != ';') {
    if (b != '!') {
      Warning(1, W("Invalid extension introducer"));
      break;
    }
    TGIFExtensionClass cls = TGIFExtension::FindExtensionClass(Stream);
    if (!cls) GIFError("Unknown extension type");
    Stream->Seek(-1, soCurrent);
    std::unique_ptr<TGIFExtension> ext(cls->Create(frame));
    ext->LoadFromStream(Stream);
    Add(ext.release());
    b = ReadByte(Stream);
    if (b < 0) return;
  }
  Stream->Seek(-1, soCurrent);
}

// ----------------------------------------------------------- colour maps

void TGIFColorMap::Clear() {
  FData.clear();
  FCount = 0;
  FCapacity = 0;
  FOptimized = false;
}

void TGIFColorMap::ColorToRGB(TColor Color, Byte& R, Byte& G, Byte& B) {
  R = Byte(Color);
  G = Byte(Color >> 8);
  B = Byte(Color >> 16);
}

TColor TGIFColorMap::GetColor(Integer Index) {
  if (Index < 0 || Index >= FCount) {
    Warning(1, W("Invalid color index"));
    if (FCount == 0) GIFError("Color table is empty");
    Index = 0;
  }
  const Byte* e = Entry(Index);
  return RGBToColor(e[0], e[1], e[2]);
}

void TGIFColorMap::SetColor(Integer Index, TColor Color) {
  if (Index < 0 || Index >= FCount) GIFError("Invalid color index");
  ColorToRGB(Color, FData[size_t(3 * Index)], FData[size_t(3 * Index + 1)], FData[size_t(3 * Index + 2)]);
  Changed();
}

Integer TGIFColorMap::Add(TColor Color) {
  if (FCount > 255) GIFError("Color table overflow");
  if (FCount >= FCapacity) SetCapacity(FCount + 1);
  ColorToRGB(Color, FData[size_t(3 * FCount)], FData[size_t(3 * FCount + 1)], FData[size_t(3 * FCount + 2)]);
  FOptimized = false;
  ++FCount;
  Changed();
  return FCount - 1;
}

Integer TGIFColorMap::AddUnique(TColor Color) {
  const Integer i = IndexOf(Color);
  return i >= 0 ? i : Add(Color);
}

void TGIFColorMap::Delete(Integer Index) {
  if (Index < 0 || Index >= FCount) GIFError("Invalid color index");
  --FCount;
  std::memmove(FData.data() + 3 * Index, FData.data() + 3 * (Index + 1), size_t(3 * (FCount - Index)));
  FOptimized = false;
  Changed();
}

Integer TGIFColorMap::IndexOf(TColor Color) const {
  Byte r, g, b;
  ColorToRGB(Color, r, g, b);
  auto match = [&](Integer i) { return FData[size_t(3 * i)] == r && FData[size_t(3 * i + 1)] == g && FData[size_t(3 * i + 2)] == b; };
  // A sorted table holds the most used of equal colours first.
  if (FOptimized) {
    for (Integer i = 0; i < FCount; ++i)
      if (match(i)) return i;
  } else {
    for (Integer i = FCount - 1; i >= 0; --i)
      if (match(i)) return i;
  }
  return -1;
}

void TGIFColorMap::SetCapacity(Integer Size) {
  if (Size < FCapacity) return;
  FCapacity = Size <= 16 ? 16 : std::min<Integer>(256, (Size + 31) / 32 * 32);
  FData.resize(size_t(3 * FCapacity), 0);
}

void TGIFColorMap::SaveToStream(TStream* Stream) {
  if (FCount == 0) return;
  Stream->WriteBuffer(FData.data(), 3 * FCount);
  const Integer total = Integer(1) << GetBitsPerPixel();
  const Byte zero[3] = {0, 0, 0};
  for (Integer i = FCount; i < total; ++i) Stream->WriteBuffer(zero, 3);
}

void TGIFColorMap::LoadFromStream(TStream* Stream, Integer NumColors) {
  Clear();
  SetCapacity(NumColors);
  ReadCheck(Stream, FData.data(), 3 * NumColors);
  FCount = NumColors;
}

void TGIFColorMap::ImportColorTable(const void* Table, Integer NumColors) {
  Clear();
  if (NumColors <= 0) return;
  if (NumColors > 256) throw ERangeError("Range check error");
  SetCapacity(NumColors);
  const Byte* q = static_cast<const Byte*>(Table);
  for (Integer i = 0; i < NumColors; ++i) {
    FData[size_t(3 * i)] = q[4 * i + 2];
    FData[size_t(3 * i + 1)] = q[4 * i + 1];
    FData[size_t(3 * i + 2)] = q[4 * i];
  }
  FCount = NumColors;
  Changed();
}

void TGIFColorMap::Assign(TPersistent* Source) {
  auto* src = dynamic_cast<TGIFColorMap*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;
  Clear();
  FCapacity = src->FCapacity;
  FCount = src->FCount;
  FOptimized = src->FOptimized;
  FData.assign(size_t(3 * FCapacity), 0);
  if (FCount > 0) std::memcpy(FData.data(), src->FData.data(), size_t(3 * FCount));
  Changed();
}

namespace giflib_model {
namespace {

// Largest count first; equal counts may change places.
void SortHistogram(TGIFHistogram& H, Integer L, Integer R) {
  Integer i;
  do {
    i = L;
    Integer j = R;
    const Integer p = H[size_t((L + R) / 2)].Count;
    do {
      while (H[size_t(i)].Count > p) ++i;
      while (H[size_t(j)].Count < p) --j;
      if (i <= j) {
        std::swap(H[size_t(i)], H[size_t(j)]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (L < j) SortHistogram(H, L, j);
    L = i;
  } while (i < R);
}

}  // namespace
}  // namespace giflib_model

bool TGIFColorMap::DoOptimize() {
  if (FCount <= 1) return false;
  FOptimized = true;
  TGIFHistogram h;
  for (Integer i = 0; i < 256; ++i) h[size_t(i)] = {0, i};
  BuildHistogram(h);
  giflib_model::SortHistogram(h, 0, FCount - 1);
  // Entries that no sorted position names keep their index: pixels with an
  // index beyond the table stay as they are rather than taking a stale value.
  TGIFColorMapOptimized map;
  for (Integer i = 0; i < 256; ++i) map[size_t(i)] = Byte(i);
  for (Integer k = 0; k < FCount; ++k) map[size_t(h[size_t(k)].Index)] = Byte(k);
  MapImages(map);
  const std::vector<Byte> old(FData.begin(), FData.begin() + 3 * FCount);
  for (Integer k = 0; k < FCount; ++k) std::memcpy(FData.data() + 3 * map[size_t(k)], old.data() + 3 * k, 3);
  for (Integer k = 0; k < FCount; ++k)
    if (h[size_t(k)].Count == 0) {
      FCount = k;
      break;
    }
  Changed();
  return true;
}

// Every frame whose active table is this one.
namespace giflib_model {
namespace {
template <class F>
void ForFramesUsing(TGIFImage* Image, TGIFColorMap* Map, F&& Fn) {
  if (!Image) return;
  for (Integer i = 0; i < Image->Images()->GetCount(); ++i) {
    TGIFSubImage* f = Image->Images()->GetFrame(i);
    if (f->ActiveColorMap() == Map) Fn(f);
  }
}

void CountPixels(TGIFSubImage* F, TGIFHistogram& H) {
  for (Byte p : F->PixelData) ++H[p].Count;
}

void MapFrame(TGIFSubImage* F, const TGIFColorMapOptimized& Map) {
  for (Byte& p : F->PixelData) p = Map[p];
  if (F->HasTransparency && F->ControlExtension)
    F->ControlExtension->ControlBlock.TransparentColorIndex = Map[F->ControlExtension->ControlBlock.TransparentColorIndex];
}
}  // namespace
}  // namespace giflib_model

TGIFGlobalColorMap::~TGIFGlobalColorMap() = default;
void TGIFGlobalColorMap::Warning(Byte Severity, const WideString& Message) { FHeader->Warning(Severity, Message); }
void TGIFGlobalColorMap::BuildHistogram(TGIFHistogram& Histogram) {
  giflib_model::ForFramesUsing(FHeader->Image(), this, [&](TGIFSubImage* f) { giflib_model::CountPixels(f, Histogram); });
}
void TGIFGlobalColorMap::MapImages(const TGIFColorMapOptimized& Map) {
  giflib_model::ForFramesUsing(FHeader->Image(), this, [&](TGIFSubImage* f) { giflib_model::MapFrame(f, Map); });
}
bool TGIFGlobalColorMap::Optimize() {
  TGIFImage* image = FHeader->Image();
  if (!image || image->Images()->GetCount() == 0) return false;
  return DoOptimize();
}
void TGIFGlobalColorMap::Changed() {
  if (FHeader->Image()) FHeader->Image()->SetPalette(nullptr);
}

TGIFLocalColorMap::~TGIFLocalColorMap() = default;
void TGIFLocalColorMap::Warning(Byte Severity, const WideString& Message) { FSubImage->Warning(Severity, Message); }
void TGIFLocalColorMap::BuildHistogram(TGIFHistogram& Histogram) { giflib_model::CountPixels(FSubImage, Histogram); }
void TGIFLocalColorMap::MapImages(const TGIFColorMapOptimized& Map) { giflib_model::MapFrame(FSubImage, Map); }
bool TGIFLocalColorMap::Optimize() { return DoOptimize(); }
void TGIFLocalColorMap::Changed() { FSubImage->SetPalette(nullptr); }

// ---------------------------------------------------------------- header

TGIFHeader::TGIFHeader(TGIFImage* AImage) : TGIFItem(AImage) { Clear(); }

void TGIFHeader::Clear() {
  FColorMap.Clear();
  Descriptor = TGIFScreenDescriptor{};
}

void TGIFHeader::Assign(TPersistent* Source) {
  if (auto* h = dynamic_cast<TGIFHeader*>(Source)) {
    FColorMap.Assign(&h->FColorMap);
    Descriptor = h->Descriptor;
  } else if (auto* m = dynamic_cast<TGIFColorMap*>(Source)) {
    Clear();
    FColorMap.Assign(m);
  } else {
    TGIFItem::Assign(Source);
  }
}

Byte TGIFHeader::GetVersion() const { return (FColorMap.Optimized() || Descriptor.AspectRatio != 0) ? 2 : 1; }

void TGIFHeader::UpdatePackedFields() {
  Byte p = 0;
  if (FColorMap.Count() > 0) {
    p |= 0x80;
    if (FColorMap.Optimized()) p |= 0x08;
  }
  const Integer r = FImage ? FImage->GetColorResolution() : GetColorResolution();
  const Integer b = FImage ? FImage->GetBitsPerPixel() : GetBitsPerPixel();
  p |= Byte((r << 4) & 0x70);
  // The size field must describe the table that follows the descriptor: a
  // larger local table elsewhere must not make readers expect more entries.
  p |= Byte(((FColorMap.Count() > 0 ? GetBitsPerPixel() : b) - 1) & 7);
  Descriptor.PackedFields = p;
}

void TGIFHeader::SaveToStream(TStream* Stream) {
  const Byte version = FImage ? FImage->GetVersion() : 0;
  if (version == 0) GIFError("Unsupported GIF version");
  Stream->WriteBuffer(version == 1 ? "GIF87a" : "GIF89a", 6);
  UpdatePackedFields();
  Byte d[7] = {Byte(Descriptor.ScreenWidth), Byte(Descriptor.ScreenWidth >> 8), Byte(Descriptor.ScreenHeight),
               Byte(Descriptor.ScreenHeight >> 8), Descriptor.PackedFields, Descriptor.BackgroundColorIndex,
               Descriptor.AspectRatio};
  Stream->WriteBuffer(d, 7);
  if (Descriptor.PackedFields & 0x80) FColorMap.SaveToStream(Stream);
}

void TGIFHeader::LoadFromStream(TStream* Stream) {
  const int64_t start = Stream->Position();
  char sig[6];
  ReadCheck(Stream, sig, 6);
  auto isGif = [&] { return std::toupper(Byte(sig[0])) == 'G' && std::toupper(Byte(sig[1])) == 'I' && std::toupper(Byte(sig[2])) == 'F'; };
  if (!isGif()) {
    // Some writers put four bytes of their own in front of the signature.
    Stream->SetPosition(start + 4);
    ReadCheck(Stream, sig, 6);
    if (!isGif()) GIFError("Invalid GIF signature");
  }
  Byte d[7];
  ReadCheck(Stream, d, 7);
  Descriptor.ScreenWidth = Word(d[0] | (d[1] << 8));
  Descriptor.ScreenHeight = Word(d[2] | (d[3] << 8));
  Descriptor.PackedFields = d[4];
  Descriptor.BackgroundColorIndex = d[5];
  Descriptor.AspectRatio = d[6];
  if (d[4] & 0x80)
    FColorMap.LoadFromStream(Stream, 2 << (d[4] & 7));
  else
    FColorMap.Clear();
}
