// The GIF library's extension blocks (graphic control, plain text, comment,
// application blocks with the loop extension and unknown ones kept raw), the
// registries that choose a class by label and identifier, the frame with its
// image descriptor, and the trailer.
#include <cstring>

#include "imaging/formats/giflib.h"
#include "imaging/io/ielimits.h"

namespace giflib_blocks {
namespace {

void Write16(TStream* S, Word V) {
  const Byte b[2] = {Byte(V), Byte(V >> 8)};
  S->WriteBuffer(b, 2);
}
Word Get16(const Byte* P) { return Word(P[0] | (P[1] << 8)); }

template <class T>
TGIFExtension* Make(TGIFSubImage* S) {
  return new T(S);
}

TGIFExtensionClass FindAppSubclass(TStream* Stream) {
  const int64_t start = Stream->Position();
  const Integer size = ReadByte(Stream);
  if (size < 0) return nullptr;
  Byte ident[11];
  if (size == 10) return Stream->Read(ident, 10) == 10 ? &TGIFUnknownAppExtension::Class : nullptr;
  // Blocks of 11 bytes or more carry an identifier in their first 11 bytes;
  // larger ones are kept raw like any unknown application block.
  if (size >= 11 && Stream->Read(ident, 11) == 11) {
    TGIFExtensionClass c = size == 11 ? AppExtensionRegistry().FindClass(ident) : nullptr;
    return c ? c : &TGIFUnknownAppExtension::Class;
  }
  Stream->SetPosition(start);
  return &TGIFApplicationExtension::Class;
}

}  // namespace
}  // namespace giflib_blocks

using namespace giflib_blocks;

const TGIFExtensionClassRec TGIFGraphicControlExtension::Class = {
    "TGIFGraphicControlExtension", 0xF9, &Make<TGIFGraphicControlExtension>,
    [](TStream*) -> TGIFExtensionClass { return &TGIFGraphicControlExtension::Class; }};
const TGIFExtensionClassRec TGIFTextExtension::Class = {
    "TGIFTextExtension", 0x01, &Make<TGIFTextExtension>,
    [](TStream*) -> TGIFExtensionClass { return &TGIFTextExtension::Class; }};
const TGIFExtensionClassRec TGIFCommentExtension::Class = {
    "TGIFCommentExtension", 0xFE, &Make<TGIFCommentExtension>,
    [](TStream*) -> TGIFExtensionClass { return &TGIFCommentExtension::Class; }};
// The bare application class has no reader of its own; the refinement never
// stops at it with data to read (see FindAppSubclass), and making one gives
// an unknown application block.
const TGIFExtensionClassRec TGIFApplicationExtension::Class = {"TGIFApplicationExtension", 0xFF,
                                                               &Make<TGIFUnknownAppExtension>, &FindAppSubclass};
const TGIFExtensionClassRec TGIFUnknownAppExtension::Class = {
    "TGIFUnknownAppExtension", 0xFF, &Make<TGIFUnknownAppExtension>,
    [](TStream*) -> TGIFExtensionClass { return &TGIFUnknownAppExtension::Class; }};
const TGIFExtensionClassRec TGIFAppExtNSLoop::Class = {
    "TGIFAppExtNSLoop", 0xFF, &Make<TGIFAppExtNSLoop>,
    [](TStream*) -> TGIFExtensionClass { return &TGIFAppExtNSLoop::Class; }};

TGIFExtensionClass TExtensionList::FindClass(Byte Label) const {
  for (auto it = FEntries.rbegin(); it != FEntries.rend(); ++it)
    if (it->first == Label) return it->second;
  return nullptr;
}

void TAppExtensionList::AddClass(const char* Ident, TGIFExtensionClass Class) {
  std::array<Byte, 11> id{};
  std::memcpy(id.data(), Ident, 11);
  FEntries.push_back({id, Class});
}

TGIFExtensionClass TAppExtensionList::FindClass(const Byte* Ident) const {
  for (auto it = FEntries.rbegin(); it != FEntries.rend(); ++it)
    if (std::memcmp(it->first.data(), Ident, 11) == 0) return it->second;
  return nullptr;
}

// Function-local statics are built once, also when the first use races.
TExtensionList& ExtensionRegistry() {
  static TExtensionList list = [] {
    TExtensionList l;
    l.AddClass(0x01, &TGIFTextExtension::Class);
    l.AddClass(0xF9, &TGIFGraphicControlExtension::Class);
    l.AddClass(0xFE, &TGIFCommentExtension::Class);
    l.AddClass(0xFF, &TGIFApplicationExtension::Class);
    return l;
  }();
  return list;
}

TAppExtensionList& AppExtensionRegistry() {
  static TAppExtensionList list = [] {
    TAppExtensionList l;
    l.AddClass("NETSCAPE2.0", &TGIFAppExtNSLoop::Class);
    l.AddClass("ANIMEXTS1.0", &TGIFAppExtNSLoop::Class);
    return l;
  }();
  return list;
}

// ------------------------------------------------------------ extension base

TGIFExtension::TGIFExtension(TGIFSubImage* ASubImage)
    : TGIFItem(ASubImage ? ASubImage->Image() : nullptr), FSubImage(ASubImage) {}

TGIFExtension::~TGIFExtension() {
  if (FSubImage) FSubImage->Extensions()->Remove(this);
}

TGIFExtensionClass TGIFExtension::FindExtensionClass(TStream* Stream) {
  const int64_t start = Stream->Position();
  const Integer label = ReadByte(Stream);
  if (label < 0) return nullptr;
  TGIFExtensionClass c = ExtensionRegistry().FindClass(Byte(label));
  while (c) {
    TGIFExtensionClass n = c->FindSubclass(Stream);
    if (n == c) break;
    c = n;
  }
  Stream->SetPosition(start);
  return c;
}

Byte TGIFExtension::ReadIntroducer(TStream* Stream) {
  Byte b[2];
  ReadCheck(Stream, b, 2);
  if (b[0] != '!') GIFError("Invalid extension introducer");
  return b[1];
}

void TGIFExtension::SaveToStream(TStream* Stream) {
  const Byte b[2] = {'!', GetLabel()};
  Stream->WriteBuffer(b, 2);
}

void TGIFExtension::LoadFromStream(TStream* Stream) {
  if (ReadIntroducer(Stream) != GetLabel()) GIFError("Internal error: Extension Instance does not match Extension Label");
}

// ----------------------------------------------------------- graphic control

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* ASubImage) : TGIFExtension(ASubImage) {
  if (FSubImage && !FSubImage->ControlExtension) FSubImage->ControlExtension = this;
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
  if (FSubImage) {
    if (GetTransparent()) FSubImage->HasTransparency = false;
    if (FSubImage->ControlExtension == this) FSubImage->ControlExtension = nullptr;
  }
}

void TGIFGraphicControlExtension::SetTransparent(bool Value) {
  if (FSubImage) FSubImage->HasTransparency = Value;
  ControlBlock.PackedFields = Byte((ControlBlock.PackedFields & ~1) | (Value ? 1 : 0));
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(Byte Value) {
  TGIFColorMap* map = FSubImage ? FSubImage->ActiveColorMap() : nullptr;
  if (map && map->Count() > 0 && Value >= map->Count()) {
    Warning(1, W("Invalid color index"));
    Value = 0;
  }
  ControlBlock.TransparentColorIndex = Value;
}

void TGIFGraphicControlExtension::SaveToStream(TStream* Stream) {
  TGIFExtension::SaveToStream(Stream);
  const Byte b[6] = {ControlBlock.BlockSize, ControlBlock.PackedFields, Byte(ControlBlock.DelayTime),
                     Byte(ControlBlock.DelayTime >> 8), ControlBlock.TransparentColorIndex, ControlBlock.Terminator};
  Stream->WriteBuffer(b, 6);
}

void TGIFGraphicControlExtension::LoadFromStream(TStream* Stream) {
  TGIFExtension::LoadFromStream(Stream);
  Byte b[6] = {ControlBlock.BlockSize, ControlBlock.PackedFields, Byte(ControlBlock.DelayTime),
               Byte(ControlBlock.DelayTime >> 8), ControlBlock.TransparentColorIndex, ControlBlock.Terminator};
  const int64_t got = Stream->Read(b, 6);
  ControlBlock = {b[0], b[1], Get16(b + 2), b[4], b[5]};
  if (got < 6) {
    Warning(1, W("Premature end of data"));
    return;
  }
  if ((b[1] & 1) && FSubImage) FSubImage->HasTransparency = true;
}

// ------------------------------------------------------------- text, comment

void TGIFTextExtension::SaveToStream(TStream* Stream) {
  TGIFExtension::SaveToStream(Stream);
  const TGIFTextBlock& t = TextBlock;
  WriteByte(Stream, t.BlockSize);
  Write16(Stream, t.Left);
  Write16(Stream, t.Top);
  Write16(Stream, t.Width);
  Write16(Stream, t.Height);
  const Byte rest[4] = {t.CharWidth, t.CharHeight, t.ForegroundColorIndex, t.BackgroundColorIndex};
  Stream->WriteBuffer(rest, 4);
  WriteSubBlockStrings(Stream, TextLines);
}

void TGIFTextExtension::LoadFromStream(TStream* Stream) {
  TGIFExtension::LoadFromStream(Stream);
  Byte b[13];
  ReadCheck(Stream, b, 13);
  TextBlock = {b[0], Get16(b + 1), Get16(b + 3), Get16(b + 5), Get16(b + 7), b[9], b[10], b[11], b[12]};
  ReadSubBlockStrings(Stream, TextLines);
}

void TGIFCommentExtension::SaveToStream(TStream* Stream) {
  TGIFExtension::SaveToStream(Stream);
  WriteSubBlockStrings(Stream, CommentLines);
}

void TGIFCommentExtension::LoadFromStream(TStream* Stream) {
  TGIFExtension::LoadFromStream(Stream);
  ReadSubBlockStrings(Stream, CommentLines);
}

// ------------------------------------------------------- application blocks

void TGIFApplicationExtension::SaveToStream(TStream* Stream) {
  TGIFExtension::SaveToStream(Stream);
  WriteByte(Stream, 11);
  Stream->WriteBuffer(AppBlock.data(), 11);
  SaveData(Stream);
}

void TGIFApplicationExtension::LoadFromStream(TStream* Stream) {
  TGIFExtension::LoadFromStream(Stream);
  const Integer size = ReadByte(Stream);
  if (size < 0) GIFError("Premature end of data");
  if (size < 10) GIFError("Unsupported Application Extension block size");
  if (size == 10) AppBlock.fill(0);
  ReadCheck(Stream, AppBlock.data(), 11);
  // A 10-byte block gave one byte too many; a longer one has bytes to skip.
  Stream->Seek(size - 11, soCurrent);
  LoadData(Stream);
}

TGIFBlock::TGIFBlock(Integer Size) {
  if (Size < 0 || Size > 255) throw ERangeError("Range check error");
  BlockSize = Byte(Size);
  BlockData.assign(size_t(Size), 0);
}

void TGIFUnknownAppExtension::SaveData(TStream* Stream) {
  for (const TGIFBlock& b : Blocks) {
    WriteByte(Stream, b.BlockSize);
    Stream->WriteBuffer(b.BlockData.data(), b.BlockSize);
  }
  WriteByte(Stream, 0);
}

void TGIFUnknownAppExtension::LoadData(TStream* Stream) {
  Blocks.clear();
  for (Integer n = ReadByte(Stream); n > 0; n = ReadByte(Stream)) {
    TGIFBlock b(n);
    ReadCheck(Stream, b.BlockData.data(), n);
    Blocks.push_back(std::move(b));
  }
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* ASubImage) : TGIFApplicationExtension(ASubImage) {
  std::memcpy(AppBlock.data(), "NETSCAPE2.0", 11);
}

void TGIFAppExtNSLoop::SaveData(TStream* Stream) {
  const Byte loop[4] = {3, 1, Byte(LoopCount), Byte(LoopCount >> 8)};
  Stream->WriteBuffer(loop, 4);
  if (BufferBytes != 0) {
    const Byte buf[6] = {5, 2, Byte(BufferBytes), Byte(BufferBytes >> 8), Byte(BufferBytes >> 16),
                         Byte(BufferBytes >> 24)};
    Stream->WriteBuffer(buf, 6);
  }
  WriteByte(Stream, 0);
}

void TGIFAppExtNSLoop::LoadData(TStream* Stream) {
  // The end of the stream ends the sub-blocks like a terminator.
  for (;;) {
    Integer n = ReadByte(Stream);
    if (n <= 0) return;
    const Integer id = ReadByte(Stream);
    if (id < 0) return;
    --n;
    if ((id & 7) == 1) {
      if (n < 2) GIFError("Invalid GIF data");
      Byte b[2];
      ReadCheck(Stream, b, 2);
      LoopCount = Get16(b);
      n -= 2;
    } else if ((id & 7) == 2) {
      if (n < 4) GIFError("Invalid GIF data");
      Byte b[4];
      ReadCheck(Stream, b, 4);
      BufferBytes = uint32_t(b[0] | (b[1] << 8) | (b[2] << 16)) | (uint32_t(b[3]) << 24);
      n -= 4;
    }
    if (n > 0) Stream->Seek(n, soCurrent);
  }
}

// ------------------------------------------------------------------- frames

TGIFSubImage::TGIFSubImage(TGIFImage* AImage) : TGIFItem(AImage), FExtensions(AImage) {}

TGIFSubImage::~TGIFSubImage() {
  if (FImage) FImage->Images()->Remove(this);
  Clear();
  if (FFramePalette) DeleteObject(FFramePalette);
}

void TGIFSubImage::Clear() {
  FExtensions.Clear();
  FLocalColorMap.Clear();
  FreePixelData();
  Descriptor.Height = 0;
  Descriptor.Width = 0;
  HasTransparency = false;
  ControlExtension = nullptr;
  FreeBitmap();
  FreeMask();
}

Byte TGIFSubImage::GetVersion() const {
  return (FLocalColorMap.Optimized() || FExtensions.GetCount() > 0) ? 2 : 1;
}

TGIFColorMap* TGIFSubImage::ActiveColorMap() {
  if (FLocalColorMap.Count() > 0 || !FImage || FImage->GetGlobalColorMap()->Count() == 0) return &FLocalColorMap;
  return FImage->GetGlobalColorMap();
}

Byte TGIFSubImage::TransparentIndex() const {
  return ControlExtension ? ControlExtension->GetTransparentColorIndex() : 0;
}

void TGIFSubImage::SetInterlaced(bool Value) {
  Descriptor.PackedFields = Byte((Descriptor.PackedFields & ~0x40) | (Value ? 0x40 : 0));
}

void TGIFSubImage::AllocPixelData() {
  FreePixelData();
  const int64_t n = int64_t(Width()) * Height();
  if (n == 0) return;
  if (n > IEReadLimits.Native.MaxPixels || n > IEReadLimits.Native.MaxBytes) GIFError("Image is too large");
  PixelData.assign(size_t(n), 0);
}

void TGIFSubImage::SetBoundsRect(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) {
  for (Integer v : {ALeft, ATop, AWidth, AHeight})
    if (v < 0 || v > 65535) throw ERangeError("Range check error");
  const bool resized = AWidth != Width() || AHeight != Height();
  Descriptor.Left = Word(ALeft);
  Descriptor.Top = Word(ATop);
  Descriptor.Width = Word(AWidth);
  Descriptor.Height = Word(AHeight);
  if (resized) {
    FreeBitmap();
    FreeMask();
    AllocPixelData();
  }
  if (!FImage) return;
  bool warned = false;
  if (ALeft + AWidth > FImage->Width()) {
    if (FImage->Width() != 0) {
      Warning(1, W("Image width too small for contained frames"));
      warned = true;
    }
    FImage->SetWidth(ALeft + AWidth);
  }
  if (ATop + AHeight > FImage->Height()) {
    if (FImage->Height() != 0) {
      Warning(1, W("Image height too small for contained frames"));
      warned = true;
    }
    FImage->SetHeight(ATop + AHeight);
  }
  if (warned) Warning(1, W("Image exceeds Logical Screen size"));
}

Byte* TGIFSubImage::GetScanline(Integer Y) {
  if (PixelData.empty()) AllocPixelData();
  if (PixelData.empty()) GIFError("Image is empty");
  if (Y < 0 || Y >= Height()) GIFError("Invalid pixel coordinates");
  return PixelData.data() + int64_t(Y) * Width();
}

Byte TGIFSubImage::GetPixel(Integer X, Integer Y) {
  if (X < 0 || X >= Width()) GIFError("Invalid pixel coordinates");
  return GetScanline(Y)[X];
}

void TGIFSubImage::UpdatePackedFields() {
  if (FLocalColorMap.Count() == 0) {
    Descriptor.PackedFields &= 0x58;
  } else {
    // A frame with its own table is written without interlacing.
    Descriptor.PackedFields = Byte(0x80 | (FLocalColorMap.Optimized() ? 0x20 : 0) | (GetColorResolution() & 7));
  }
}

void TGIFSubImage::LoadFromStream(TStream* Stream) {
  Clear();
  FExtensions.LoadFromStream(Stream, this);
  const Integer next = ReadByte(Stream);
  if (next < 0) return;
  Stream->Seek(-1, soCurrent);
  if (next == ';' || next == 0) return;
  Byte d[10];
  ReadCheck(Stream, d, 10);
  Descriptor = {d[0], Get16(d + 1), Get16(d + 3), Get16(d + 5), Get16(d + 7), d[9]};
  if (Descriptor.Width == 0 || Descriptor.Height == 0) {
    Descriptor.Height = FImage ? Word(FImage->Height()) : 0;
    Descriptor.Width = FImage ? Word(FImage->Width()) : 0;
    Warning(1, W("Image exceeds Logical Screen size"));
  }
  if (d[9] & 0x80) FLocalColorMap.LoadFromStream(Stream, 2 << (d[9] & 7));
  DecodeGIFData(this, Stream);
}

void TGIFSubImage::SaveToStream(TStream* Stream) {
  FExtensions.SaveToStream(Stream);
  if (IsEmpty()) return;
  UpdatePackedFields();
  // A lenient read may have taken another byte for the separator; the file
  // written must carry the real one to stay readable.
  const Byte d[10] = {Byte(','), Byte(Descriptor.Left),  Byte(Descriptor.Left >> 8),
                      Byte(Descriptor.Top),  Byte(Descriptor.Top >> 8), Byte(Descriptor.Width),
                      Byte(Descriptor.Width >> 8), Byte(Descriptor.Height), Byte(Descriptor.Height >> 8),
                      Descriptor.PackedFields};
  Stream->WriteBuffer(d, 10);
  FLocalColorMap.SaveToStream(Stream);
  EncodeGIFData(this, Stream);
}

void TGIFTrailer::SaveToStream(TStream* Stream) { WriteByte(Stream, ';'); }

void TGIFTrailer::LoadFromStream(TStream* Stream) {
  const Integer b = ReadByte(Stream);
  if (b >= 0 && b != ';') Warning(1, W("Invalid Image trailer"));
}
