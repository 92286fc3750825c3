// The layers stream ("ZIDUZUVLAYERS": every layer's properties and picture)
// and the single-layer record that undo keeps. The reader treats its input
// as hostile: it parses every record and picture into a staging list first
// and replaces the view's layers only when all of it has read.
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/base/iestreams.h"
#include "imaging/core/base/ieutils.h"
#include "imaging/io/ieformatdesc.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/iezlib.h"
#include "imaging/io/ioparams.h"
#include "imaging/io/ziduzuvio.h"
#include "imaging/view/iestreamio.h"
#include "imaging/view/ziduzuvview.h"
#include "platform/base/sysutils.h"

namespace {

constexpr char kLayersMagic[13] = {'Z', 'I', 'D', 'U', 'Z', 'U', 'V', 'L', 'A', 'Y', 'E', 'R', 'S'};
constexpr Integer kLayersVersion = 6;
// Bytes of a version-1 record without its strings: the least any record takes.
constexpr int64_t kMinRecordBytes = 1 + 1 + 4 + 4 + 4 + 1 + 1 + 1 + 8 + 1 + 1 + 4 + 4 + 8;

using iestreamio::PutByte;
using iestreamio::PutBytes;
using iestreamio::PutDouble;
using iestreamio::PutInt;
using TReader = iestreamio::TStreamReader;

// A layer read from the stream, not yet part of the view.
struct TStagedLayer {
  bool Visible = true, VisibleBox = true, Cropped = false, Locked = false;
  Integer Transparency = 255, PosX = 0, PosY = 0, Width = 0, Height = 0;
  TIELayerMagnification Magnify;
  Byte Operation = 0;
  TResampleFilter ResampleFilter = rfNone;
  bool UseResampleFilter = false;
  AnsiString Name;
  WideString WideName;
  std::vector<Byte> UserData;
  bool IsMask = false, Selectable = true, DrawOuter = false;
  int64_t ImageOffset = 0;
  std::unique_ptr<TIEBitmap> Bitmap;
};

// The fields of a record that the stream's version carries.
bool ReadRecord(TReader& R, Integer Version, TStagedLayer& L) {
  L.Visible = R.Bool();
  L.VisibleBox = R.Bool();
  L.Transparency = R.Int();
  L.PosX = R.Int();
  L.PosY = R.Int();
  L.Cropped = R.Bool();
  L.Locked = R.Bool();
  L.Magnify.Enabled = R.Bool();
  L.Magnify.Rate = R.Dbl();
  L.Magnify.Style = R.Byte1();
  if (Version >= 3) L.Magnify.Source = R.Byte1();
  L.Operation = R.Byte1();
  L.Width = R.Int();
  L.Height = R.Int();
  if (Version >= 3) {
    L.ResampleFilter = static_cast<TResampleFilter>(R.Byte1());
    L.UseResampleFilter = R.Bool();
    if (!R.Ok) return false;
    // The string loaders refuse a negative count or one the stream cannot
    // hold, and grow only with what they read.
    IELoadStringFromStream(R.S, L.Name);
    IELoadWideStringFromStream(R.S, L.WideName);
    const Integer n = R.Int();
    if (!R.Ok || n < 0 || n > R.Left()) return false;
    if (n > 0) {
      L.UserData.resize(size_t(n));
      R.Get(L.UserData.data(), n);
    }
    L.IsMask = R.Bool();
  }
  if (Version >= 4) L.Selectable = R.Bool();
  if (Version >= 6) L.DrawOuter = R.Bool();
  L.ImageOffset = R.Int64();
  return R.Ok;
}

// The size a layer is shown at becomes the size of the view's selection
// plane and alpha channel when it is layer 0: a record may not ask for more
// than a picture of the same size could be read at.
bool DisplaySizeFits(const TStagedLayer& L) {
  if (L.Width < 0 || L.Height < 0) return false;
  const int64_t w = L.Width != 0 ? L.Width : L.Bitmap->Width(), h = L.Height != 0 ? L.Height : L.Bitmap->Height();
  return (w == 0 && h == 0) || IEPictureFits(IEReadLimits.Native, w, h, 8);
}

// The picture of one layer at its offset, into L.Bitmap.
bool ReadImage(TStream* S, Integer Encoding, TStagedLayer& L) {
  const int64_t size = S->Size();
  if (L.ImageOffset < 0 || L.ImageOffset >= size) return false;
  if (S->Seek(L.ImageOffset, soBeginning) != L.ImageOffset) return false;
  L.Bitmap = std::make_unique<TIEBitmap>();
  if (Encoding == -1 || Encoding == -2) {
    TReader r{S};
    const Integer len = r.Int();
    if (!r.Ok || len < 0 || len > r.Left()) return false;
    std::vector<Byte> data(static_cast<size_t>(len));
    if (len > 0 && !r.Get(data.data(), len)) return false;
    if (Encoding == -2) return L.Bitmap->LoadRawFromStream(data.data(), nullptr, len);
    void* out = nullptr;
    Integer outSize = 0;
    ZDecompressBuffer(data.data(), len, out, outSize, 0);
    const bool ok = L.Bitmap->LoadRawFromStream(out, nullptr, outSize);
    std::free(out);
    return ok;
  }
  auto io = TZiduzUvIO::CreateForBitmap(L.Bitmap.get());
  // A grey mask stays grey.
  io->SetNativePixelFormat(L.IsMask);
  io->LoadFromStreamFormat(S, static_cast<TIEFileType>(Encoding));
  return !io->Aborting() && !L.Bitmap->IsEmpty();
}

}  // namespace

// ---------------------------------------------------------------------------
// The single-layer record

void TIELayer::SaveToStream(TStream* Stream, bool WithBitmap) {
  const int64_t start = Stream->Position();
  PutInt(Stream, 0);  // the length, filled in at the end
  PutBytes(Stream, &GUID, 16);
  PutInt(Stream, Width);
  PutInt(Stream, Height);
  PutByte(Stream, Visible);
  PutByte(Stream, VisibleBox);
  PutByte(Stream, Selectable);
  PutInt(Stream, Transparency);
  PutInt(Stream, PosX);
  PutInt(Stream, PosY);
  PutInt(Stream, ClientAreaBox.Left);
  PutInt(Stream, ClientAreaBox.Top);
  PutInt(Stream, ClientAreaBox.Right);
  PutInt(Stream, ClientAreaBox.Bottom);
  PutByte(Stream, Cropped);
  PutByte(Stream, Locked);
  Byte magnify[24] = {};
  magnify[0] = Magnify.Enabled;
  std::memcpy(magnify + 8, &Magnify.Rate, 8);
  magnify[16] = Magnify.Style;
  magnify[17] = Magnify.Source;
  PutBytes(Stream, magnify, 24);
  PutByte(Stream, Operation);
  // The reference itself, meaningful only inside this process (undo); a
  // pointer's full width.
  const uint64_t ref = reinterpret_cast<uintptr_t>(UserData);
  PutBytes(Stream, &ref, 8);
  PutByte(Stream, static_cast<Byte>(ResampleFilter));
  PutByte(Stream, UseResampleFilter);
  IESaveStringToStream(Stream, Name);
  IESaveWideStringToStream(Stream, WideName);
  PutByte(Stream, IsMask);
  PutByte(Stream, DrawOuter);
  PutDouble(Stream, FRotate);
  PutDouble(Stream, RotateCenterX);
  PutDouble(Stream, RotateCenterY);
  PutByte(Stream, WithBitmap);
  if (WithBitmap) Bitmap->SaveRawToStream(nullptr, Stream);
  const int64_t end = Stream->Position();
  if (end - start > INT32_MAX) throw EWriteError(u"Stream write error");
  Stream->SetPosition(start);
  PutInt(Stream, static_cast<Integer>(end - start));
  Stream->SetPosition(end);
}

bool TIELayer::LoadFromStream(TStream* Stream) {
  TReader r{Stream};
  r.Int();  // the length: the fields say where the record ends
  TGUID guid;
  r.Get(&guid, 16);
  const Integer w = r.Int(), h = r.Int();
  const bool visible = r.Bool(), visibleBox = r.Bool(), selectable = r.Bool();
  const Integer transparency = r.Int(), px = r.Int(), py = r.Int();
  TRect box;
  box.Left = r.Int();
  box.Top = r.Int();
  box.Right = r.Int();
  box.Bottom = r.Int();
  const bool cropped = r.Bool(), locked = r.Bool();
  Byte magnify[24];
  r.Get(magnify, 24);
  const Byte operation = r.Byte1();
  uint64_t ref = 0;
  r.Get(&ref, 8);
  const Byte filter = r.Byte1();
  const bool useFilter = r.Bool();
  if (!r.Ok) return false;
  AnsiString name;
  WideString wideName;
  try {
    IELoadStringFromStream(Stream, name);
    IELoadWideStringFromStream(Stream, wideName);
  } catch (const Exception&) {
    return false;
  }
  const bool isMask = r.Bool(), drawOuter = r.Bool();
  const double rotate = r.Dbl(), rcx = r.Dbl(), rcy = r.Dbl();
  const bool withBitmap = r.Bool();
  if (!r.Ok) return false;
  if (withBitmap) {
    TIEBitmap staged;
    if (!staged.LoadRawFromStream(nullptr, Stream)) return false;
    staged.MoveStorageTo(Bitmap);
  }
  GUID = guid;
  Width = w;
  Height = h;
  Visible = visible;
  VisibleBox = visibleBox;
  Selectable = selectable;
  Transparency = transparency;
  PosX = px;
  PosY = py;
  ClientAreaBox = box;
  Cropped = cropped;
  Locked = locked;
  Magnify.Enabled = magnify[0] != 0;
  std::memcpy(&Magnify.Rate, magnify + 8, 8);
  Magnify.Style = magnify[16];
  Magnify.Source = magnify[17];
  Operation = operation;
  // The reference is taken back only when this layer never owned a block:
  // an owned block stays owned and is not replaced by a bare address.
  if (UserDataLen == 0) UserData = reinterpret_cast<void*>(static_cast<uintptr_t>(ref));
  ResampleFilter = static_cast<TResampleFilter>(filter);
  UseResampleFilter = useFilter;
  Name = name;
  WideName = wideName;
  IsMask = isMask;
  DrawOuter = drawOuter;
  SetRotate(rotate);
  RotateCenterX = rcx;
  RotateCenterY = rcy;
  MaskCache.reset();
  return true;
}

// ---------------------------------------------------------------------------
// The layers stream

void TZiduzUvView::SaveLayersToStream(TStream* Stream, Integer Compression) {
  // TIFF pictures cannot follow one another in a stream; PNG can.
  if (Compression == 1) Compression = 8;
  if (Compression != -1 && Compression != -2 && !IEFindFormatDescriptor(static_cast<TIEFileType>(Compression)))
    throw EWriteError(u"Stream write error");
  if (FCurrentLayer >= 0 && FCurrentLayer < LayersCount()) FLayers[size_t(FCurrentLayer)]->Bitmap = FIEBitmap;
  const Integer count = LayersCount();
  PutBytes(Stream, kLayersMagic, 13);
  PutInt(Stream, kLayersVersion);
  PutInt(Stream, Compression);
  PutInt(Stream, count);
  std::vector<int64_t> slots;
  for (auto& lp : FLayers) {
    TIELayer* l = lp.get();
    PutByte(Stream, l->Visible);
    PutByte(Stream, l->VisibleBox);
    PutInt(Stream, l->Transparency);
    PutInt(Stream, l->PosX);
    PutInt(Stream, l->PosY);
    PutByte(Stream, l->Cropped);
    PutByte(Stream, l->Locked);
    PutByte(Stream, l->Magnify.Enabled);
    PutDouble(Stream, l->Magnify.Rate);
    PutByte(Stream, l->Magnify.Style);
    PutByte(Stream, l->Magnify.Source);
    PutByte(Stream, l->Operation);
    PutInt(Stream, l->Width);
    PutInt(Stream, l->Height);
    PutByte(Stream, static_cast<Byte>(l->ResampleFilter));
    PutByte(Stream, l->UseResampleFilter);
    IESaveStringToStream(Stream, l->Name);
    IESaveWideStringToStream(Stream, l->WideName);
    const Integer userLen = l->UserData ? std::max(l->UserDataLen, 0) : 0;
    PutInt(Stream, userLen);
    if (userLen > 0) PutBytes(Stream, l->UserData, userLen);
    PutByte(Stream, l->IsMask);
    PutByte(Stream, l->Selectable);
    PutByte(Stream, l->DrawOuter);
    slots.push_back(Stream->Position());
    const int64_t zero = 0;
    PutBytes(Stream, &zero, 8);
  }
  for (Integer i = 0; i < count; ++i) {
    TIEBitmap* b = FLayers[size_t(i)]->Bitmap;
    const int64_t p = Stream->Position();
    Stream->SetPosition(slots[size_t(i)]);
    PutBytes(Stream, &p, 8);  // little-endian: low 32 bits first
    Stream->SetPosition(p);
    if (Compression == -1 || Compression == -2) {
      TMemoryStream ms;
      if (Compression == -1) {
        TZCompressionStream z(&ms, zcDefault);
        b->SaveRawToStream(nullptr, &z);
        z.Finish();
      } else {
        b->SaveRawToStream(nullptr, &ms);
      }
      // The length field is 32 bits: a larger picture would be written
      // with a wrapped length and the file would be corrupt.
      if (ms.Size() > INT32_MAX) throw EWriteError(u"Stream write error");
      PutInt(Stream, static_cast<Integer>(ms.Size()));
      ms.SetPosition(0);
      IECopyFromStream(Stream, &ms, ms.Size());
    } else {
      auto io = TZiduzUvIO::CreateForBitmap(b);
      TIOParamsVals& par = io->Params();
      if (b->PixelFormat() == ie1g) {
        par.BITSPERSAMPLE = 1;
        par.SAMPLESPERPIXEL = 1;
      } else if (b->PixelFormat() == ie8g) {
        par.BITSPERSAMPLE = 8;
        par.SAMPLESPERPIXEL = 1;
        par.JPEG_COLORSPACE = 1;
      } else {
        par.BITSPERSAMPLE = 8;
        par.SAMPLESPERPIXEL = 3;
        par.JPEG_COLORSPACE = 2;
      }
      io->SaveToStream(Stream, static_cast<TIEFileType>(Compression));
      if (io->Aborting()) throw EWriteError(u"Stream write error");
    }
    Stream->Seek(0, soEnd);
  }
}

bool TZiduzUvView::LoadLayersFromStream(TStream* Stream) {
  const int64_t start = Stream->Position();
  Byte head[25];
  if (Stream->Read(head, 25) != 25 || std::memcmp(head, kLayersMagic, 13) != 0) {
    Stream->SetPosition(start);
    return false;
  }
  Integer version, encoding, count;
  std::memcpy(&version, head + 13, 4);
  std::memcpy(&encoding, head + 17, 4);
  std::memcpy(&count, head + 21, 4);
  bool ok = version >= 1 && version <= kLayersVersion && count >= 1;
  if (ok && encoding != -1 && encoding != -2 && !IEFindFormatDescriptor(static_cast<TIEFileType>(encoding)))
    ok = false;
  TReader r{Stream};
  if (ok && int64_t(count) * kMinRecordBytes > r.Left()) ok = false;
  std::vector<TStagedLayer> staged;
  try {
    if (ok) {
      staged.resize(size_t(count));
      for (TStagedLayer& l : staged)
        if (!ReadRecord(r, version, l)) {
          ok = false;
          break;
        }
    }
    if (ok)
      for (TStagedLayer& l : staged)
        if (!ReadImage(Stream, encoding, l) || !DisplaySizeFits(l)) {
          ok = false;
          break;
        }
  } catch (const Exception&) {
    ok = false;
  }
  if (!ok) {
    // A version the reader does not know, or any damage: the layers stay.
    Stream->SetPosition(start);
    return false;
  }

  // Everything read: the view's layers are replaced now. Layer 0 object and
  // its picture object stay (companions hold them); fields the stream's
  // version does not carry keep their values there.
  if (FCurrentLayer >= 0 && FCurrentLayer < LayersCount()) FLayers[size_t(FCurrentLayer)]->Bitmap = FIEBitmap;
  while (LayersCount() > 1) FLayers.pop_back();
  for (Integer i = 0; i < count; ++i) {
    TStagedLayer& s = staged[size_t(i)];
    if (i > 0) FLayers.push_back(std::make_unique<TIELayer>(this, nullptr, false));
    TIELayer* l = FLayers[size_t(i)].get();
    l->Visible = s.Visible;
    l->VisibleBox = s.VisibleBox;
    l->Transparency = s.Transparency;
    l->PosX = s.PosX;
    l->PosY = s.PosY;
    l->Cropped = s.Cropped;
    l->Locked = s.Locked;
    l->Magnify.Enabled = s.Magnify.Enabled;
    l->Magnify.Rate = s.Magnify.Rate;
    l->Magnify.Style = s.Magnify.Style;
    l->Operation = s.Operation;
    l->Width = s.Width;
    l->Height = s.Height;
    if (version >= 3) {
      l->Magnify.Source = s.Magnify.Source;
      l->ResampleFilter = s.ResampleFilter;
      l->UseResampleFilter = s.UseResampleFilter;
      l->Name = s.Name;
      l->WideName = s.WideName;
      if (l->UserDataLen > 0) std::free(l->UserData);
      l->UserData = nullptr;
      l->UserDataLen = 0;
      if (!s.UserData.empty()) {
        l->UserData = std::malloc(s.UserData.size());
        if (l->UserData) {
          std::memcpy(l->UserData, s.UserData.data(), s.UserData.size());
          l->UserDataLen = static_cast<Integer>(s.UserData.size());
        }
      }
      l->IsMask = s.IsMask;
    }
    if (version >= 4) l->Selectable = s.Selectable;
    if (version >= 6) l->DrawOuter = s.DrawOuter;
    l->ClientAreaBox = TRect();
    l->MaskCache.reset();
    s.Bitmap->MoveStorageTo(l->Bitmap);
  }
  // The last layer read is current, as when each is added in turn.
  FCurrentLayer = count - 1;
  FIEBitmap = FLayers[size_t(FCurrentLayer)]->Bitmap;
  CallBitmapChangeHandlers();
  if (FIO) {
    TIOParamsVals& par = FIO->Params();
    TIEBitmap* b0 = FLayers.front()->Bitmap;
    par.WIDTH = par.ORIGINALWIDTH = b0->Width();
    par.HEIGHT = par.ORIGINALHEIGHT = b0->Height();
  }
  Update();
  return true;
}

bool TZiduzUvView::LoadLayersFromFile(const WideString& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  return LoadLayersFromStream(&f);
}
