// PSD writer: every channel PackBits-coded, the whole document built in
// memory so that each section length is the distance between two positions
// of this document (the stream may already hold data beyond where it is
// written), then handed to the stream in one write.
#include <algorithm>
#include <cstring>

#include "imaging/core/meta/ieiptc.h"
#include "imaging/core/color/ieicc.h"
#include "imaging/formats/psd.h"
#include "imaging/formats/psdcommon.h"
#include "imaging/io/iejpeg.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/proc/ziduzuvproc.h"
#include "imaging/view/ziduzuvview.h"

namespace psd_write {
namespace {

using namespace psd_common;

class TOut {
 public:
  std::vector<Byte> B;
  size_t Pos() const { return B.size(); }
  void U8(Byte V) { B.push_back(V); }
  void U16(uint32_t V) {
    B.push_back(Byte(V >> 8));
    B.push_back(Byte(V));
  }
  void U32(uint32_t V) {
    for (int s = 24; s >= 0; s -= 8) B.push_back(Byte(V >> s));
  }
  void Text(const char* S) { B.insert(B.end(), S, S + std::strlen(S)); }
  void Bytes(const void* P, size_t N) {
    const Byte* b = static_cast<const Byte*>(P);
    B.insert(B.end(), b, b + N);
  }
  void Patch16(size_t At, uint32_t V) {
    B[At] = Byte(V >> 8);
    B[At + 1] = Byte(V);
  }
  void Patch32(size_t At, uint32_t V) {
    for (int i = 0; i < 4; ++i) B[At + size_t(i)] = Byte(V >> (24 - 8 * i));
  }
  // A 32-bit length slot at Slot that counts the bytes written after it.
  void CloseLength(size_t Slot) { Patch32(Slot, uint32_t(Pos() - Slot - 4)); }
};

struct TModeOf {
  int Mode = -1, Depth = 0, Channels = 0;
  TIEPixelFormat LayerFormat = ieNone;
};

TModeOf ModeOf(TIEPixelFormat F) {
  switch (F) {
    case ie1g:
      return {kBitmap, 1, 1, ie1g};
    case ie8p:
      return {kIndexed, 8, 1, ie8p};
    case ie8g:
      return {kGrayscale, 8, 1, ie8g};
    case ie16g:
      return {kGrayscale, 16, 1, ie16g};
    case ie24RGB:
      return {kRGB, 8, 3, ie24RGB};
    case ie32RGB:
      return {kRGB, 8, 4, ie24RGB};
    case ieCMYK:
      return {kCMYK, 8, 4, ieCMYK};
    case ieRGB48:
      return {kRGB, 16, 3, ieRGB48};
    case ieCIELab:
      return {kLab, 8, 3, ieCIELab};
    default:
      return {};
  }
}

constexpr int kAlpha = -1;

// Row Y of channel T (kAlpha for the alpha channel) of B as the file stores
// it, at the document's Depth. Substitute, when not -1, is the palette index
// written for pixels whose alpha is 0.
void ChannelRow(TIEBitmap* B, int Depth, int T, Integer Y, std::vector<Byte>& Row, int Substitute = -1) {
  const Integer w = B->Width();
  Row.clear();
  if (T == kAlpha) {
    const Byte* a = static_cast<const Byte*>(B->GetAlphaChannel()->GetScanline(Y));
    if (Depth == 16) {
      for (Integer x = 0; x < w; ++x) {
        const uint32_t v = a[x] * 257u;
        Row.push_back(Byte(v >> 8));
        Row.push_back(Byte(v));
      }
    } else {
      Row.assign(a, a + w);
    }
    return;
  }
  const Byte* s = static_cast<const Byte*>(B->GetScanline(Y));
  auto word = [&](uint16_t v) {
    Row.push_back(Byte(v >> 8));
    Row.push_back(Byte(v));
  };
  switch (B->PixelFormat()) {
    case ie1g:
      for (Integer i = 0; i < (w + 7) / 8; ++i) Row.push_back(Byte(~s[i]));
      break;
    case ie8g:
      Row.assign(s, s + w);
      break;
    case ie8p:
      Row.assign(s, s + w);
      if (Substitute >= 0) {
        const Byte* a = static_cast<const Byte*>(B->GetAlphaChannel()->GetScanline(Y));
        for (Integer x = 0; x < w; ++x)
          if (a[x] == 0) Row[size_t(x)] = Byte(Substitute);
      }
      break;
    case ie16g:
      for (Integer x = 0; x < w; ++x) word(reinterpret_cast<const uint16_t*>(s)[x]);
      break;
    case ie24RGB:
      for (Integer x = 0; x < w; ++x) Row.push_back(s[3 * x + 2 - T]);
      break;
    case ie32RGB:
      // Red, green and blue are stored blue first; the fourth byte is extra.
      for (Integer x = 0; x < w; ++x) Row.push_back(s[4 * x + (T < 3 ? 2 - T : 3)]);
      break;
    case ieCMYK:
      for (Integer x = 0; x < w; ++x) Row.push_back(s[4 * x + T]);
      break;
    case ieRGB48:
      for (Integer x = 0; x < w; ++x) word(reinterpret_cast<const uint16_t*>(s)[3 * x + T]);
      break;
    case ieCIELab:
      // The file stores a and b with 128 added, the picture signed.
      for (Integer x = 0; x < w; ++x) Row.push_back(Byte(s[3 * x + T] + (T == 0 ? 0 : 128)));
      break;
    default:
      Row.assign(size_t((int64_t(w) * Depth + 7) / 8), 0);
      break;
  }
}

// One channel as a layer stores it: compression 1, the row byte counts, the
// rows. Returns the bytes written.
template <class TRowOf>
uint32_t WriteChannel(TOut& O, Integer Rows, TRowOf RowOf) {
  const size_t start = O.Pos();
  O.U16(1);
  const size_t table = O.Pos();
  O.B.resize(O.B.size() + size_t(Rows) * 2);
  std::vector<Byte> row;
  for (Integer y = 0; y < Rows; ++y) {
    RowOf(y, row);
    const size_t at = O.Pos();
    PackBits(row.data(), row.size(), O.B);
    O.Patch16(table + 2 * size_t(y), uint32_t(O.Pos() - at));
  }
  return uint32_t(O.Pos() - start);
}

void Resource(TOut& O, Word Id, const void* Data, size_t N) {
  O.Text("8BIM");
  O.U16(Id);
  O.U16(0);  // empty name, padded to two bytes
  O.U32(uint32_t(N));
  O.Bytes(Data, N);
  if (N & 1) O.U8(0);
}

// The palette index that marks the transparent pixels of an ie8p picture:
// one no opaque pixel uses, preferring the index the transparent pixels
// already have. -1 when nothing is transparent or every index is taken.
int TransparentIndexFor(TIEBitmap* B) {
  if (B->PixelFormat() != ie8p || !B->HasAlphaChannel()) return -1;
  bool used[256] = {};
  int first = -1;
  TIEBitmap* a = B->GetAlphaChannel();
  for (Integer y = 0; y < B->Height(); ++y) {
    const Byte* s = static_cast<const Byte*>(B->GetScanline(y));
    const Byte* t = static_cast<const Byte*>(a->GetScanline(y));
    for (Integer x = 0; x < B->Width(); ++x) {
      if (t[x] != 0)
        used[s[x]] = true;
      else if (first < 0)
        first = s[x];
    }
  }
  if (first < 0) return -1;
  if (!used[first]) return first;
  for (int i = 0; i < 256; ++i)
    if (!used[i]) return i;
  return -1;
}

void WriteResources(TOut& O, TIOParamsVals& P, int TransparentIndex) {
  const size_t slot = O.Pos();
  O.U32(0);
  {
    TOut r;
    r.U32(uint32_t(P.DPIX) * 65536u);
    r.U16(1);
    r.U16(1);
    r.U32(uint32_t(P.DPIY) * 65536u);
    r.U16(1);
    r.U16(1);
    Resource(O, 1005, r.B.data(), r.B.size());
  }
  if (TransparentIndex >= 0) {
    const Byte idx[2] = {Byte(TransparentIndex >> 8), Byte(TransparentIndex)};
    Resource(O, 1047, idx, 2);
  }
  if (P.IPTC_LIST.GetCount() > 0) {
    std::vector<Byte> buf;
    P.IPTC_LIST.SaveToBuffer(buf, false);
    if (!buf.empty()) Resource(O, 1028, buf.data(), buf.size());
  }
  if (P.INPUTICCPROFILE && P.INPUTICCPROFILE->RawLength() > 0)
    Resource(O, 1039, P.INPUTICCPROFILE->Raw(), size_t(P.INPUTICCPROFILE->RawLength()));
  if (P.EXIF_THUMBNAIL && !P.EXIF_THUMBNAIL->IsEmpty()) {
    TMemoryStream jpeg;
    TIOParamsVals tp(nullptr);
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    IEWriteJPEG(&jpeg, P.EXIF_THUMBNAIL.get(), tp, rec);
    if (!aborting && jpeg.Size() > 0) {
      const uint32_t w = uint32_t(P.EXIF_THUMBNAIL->Width()), h = uint32_t(P.EXIF_THUMBNAIL->Height());
      TOut t;
      t.U32(1);
      t.U32(w);
      t.U32(h);
      t.U32(w * 3);
      t.U32(w * h * 3);
      t.U32(uint32_t(jpeg.Size()));
      t.U16(24);
      t.U16(1);
      t.Bytes(jpeg.Memory(), size_t(jpeg.Size()));
      Resource(O, 1036, t.B.data(), t.B.size());
    }
  }
  if (!P.XMP_INFO.empty()) Resource(O, 1060, P.XMP_INFO.data(), P.XMP_INFO.size());
  O.CloseLength(slot);
}

// Brings a layer to the document's format and to the size it is shown at.
void PrepareLayer(TIELayer* L, TIEPixelFormat Format) {
  TIEBitmap* b = L->Bitmap;
  if (!b || b->IsEmpty()) return;
  if (b->PixelFormat() != Format) b->ConvertToPixelFormat(Format);
  const Integer w = L->GetWidth(), h = L->GetHeight();
  if (w > 0 && h > 0 && (w != b->Width() || h != b->Height())) {
    std::unique_ptr<TZiduzUvProc> proc = TZiduzUvProc::CreateFromBitmap(b);
    proc->Resample(w, h, L->UseResampleFilter ? L->ResampleFilter : rfNone);
  }
}

void WriteLayers(TOut& O, const std::vector<TIELayer*>& Layers, const TModeOf& M, TIEProgressRec& Pr) {
  const size_t sectionSlot = O.Pos();
  O.U32(0);
  const size_t infoSlot = O.Pos();
  O.U32(0);
  struct TEntry {
    TIELayer* Layer;
    TIELayer* Mask;
    std::vector<std::pair<int, size_t>> Slots;  // channel id, length slot
  };
  std::vector<TEntry> entries;
  for (size_t i = 0; i < Layers.size(); ++i) {
    if (Layers[i]->IsMask || !Layers[i]->Bitmap) continue;
    TIELayer* mask = i + 1 < Layers.size() && Layers[i + 1]->IsMask && Layers[i + 1]->Bitmap ? Layers[i + 1] : nullptr;
    entries.push_back({Layers[i], mask, {}});
  }
  O.U16(uint32_t(entries.size()));
  for (TEntry& e : entries) {
    TIELayer* l = e.Layer;
    TIEBitmap* b = l->Bitmap;
    O.U32(uint32_t(l->PosY));
    O.U32(uint32_t(l->PosX));
    O.U32(uint32_t(l->PosY + b->Height()));
    O.U32(uint32_t(l->PosX + b->Width()));
    // A bitmap-mode document has no place for an 8-bit alpha channel.
    const bool alpha = b->HasAlphaChannel() && M.Depth != 1;
    std::vector<int> ids;
    if (alpha) ids.push_back(-1);
    for (int c = 0; c < M.Channels && c < (M.LayerFormat == ie24RGB ? 3 : M.Channels); ++c) ids.push_back(c);
    if (e.Mask) ids.push_back(-2);
    O.U16(uint32_t(ids.size()));
    for (int id : ids) {
      O.U16(uint32_t(uint16_t(int16_t(id))));
      e.Slots.push_back({id, O.Pos()});
      O.U32(0);
    }
    O.Text("8BIMnorm");
    O.U8(Byte(std::clamp<Integer>(l->Transparency, 0, 255)));
    O.U8(0);
    O.U8(l->Visible ? 0 : 2);
    O.U8(0);
    const size_t extraSlot = O.Pos();
    O.U32(0);
    if (e.Mask) {
      TIELayer* m = e.Mask;
      O.U32(20);
      O.U32(uint32_t(m->PosY));
      O.U32(uint32_t(m->PosX));
      O.U32(uint32_t(m->PosY + m->Bitmap->Height()));
      O.U32(uint32_t(m->PosX + m->Bitmap->Width()));
      O.U8(0);
      O.U8(0);
      O.U16(0);
    } else {
      O.U32(0);
    }
    O.U32(0);  // blending ranges
    const size_t n = std::min<size_t>(l->Name.size(), 255);
    O.U8(Byte(n));
    O.Bytes(l->Name.data(), n);
    while ((O.Pos() - extraSlot - 4) % 4) O.U8(1);
    O.CloseLength(extraSlot);
  }
  Pr.SetUnits(int64_t(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    TEntry& e = entries[i];
    TIEBitmap* b = e.Layer->Bitmap;
    for (const auto& [id, slot] : e.Slots) {
      uint32_t len;
      if (id == -2) {
        TIEBitmap* m = e.Mask->Bitmap;
        std::unique_ptr<TIEBitmap> grey;
        if (m->PixelFormat() != ie8g) {
          grey = std::make_unique<TIEBitmap>(m->Width(), m->Height(), ie8g);
          grey->CopyAndConvertFormat(m);
          m = grey.get();
        }
        len = WriteChannel(O, m->Height(), [&](Integer y, std::vector<Byte>& row) {
          const Byte* s = static_cast<const Byte*>(m->GetScanline(y));
          row.assign(s, s + m->Width());
        });
      } else {
        len = WriteChannel(O, b->Height(),
                           [&](Integer y, std::vector<Byte>& row) { ChannelRow(b, M.Depth, id, y, row); });
      }
      O.Patch32(slot, len);
    }
    Pr.Report(int64_t(i + 1));
  }
  // The layer information is padded to an even length.
  if ((O.Pos() - infoSlot - 4) & 1) O.U8(0);
  O.CloseLength(infoSlot);
  O.U32(0);  // global layer mask information
  O.CloseLength(sectionSlot);
}

void WriteMerged(TOut& O, TIEBitmap* B, const TModeOf& M, int TransparentIndex, bool Report, TIEProgressRec& Pr) {
  O.U16(1);
  const Integer h = B->Height();
  const size_t table = O.Pos();
  O.B.resize(O.B.size() + size_t(M.Channels) * size_t(h) * 2);
  std::vector<Byte> row;
  if (Report) Pr.SetUnits(M.Channels);
  for (int c = 0; c < M.Channels; ++c) {
    for (Integer y = 0; y < h; ++y) {
      ChannelRow(B, M.Depth, c, y, row, TransparentIndex);
      const size_t at = O.Pos();
      PackBits(row.data(), row.size(), O.B);
      O.Patch16(table + 2 * (size_t(c) * size_t(h) + size_t(y)), uint32_t(O.Pos() - at));
    }
    if (Report) Pr.Report(c + 1);
  }
}

}  // namespace
}  // namespace psd_write

void IEWritePSD(TStream* Stream, TIOParamsVals& Params, TIEProgressRec& Progress, TIEBitmap* Bitmap,
                const std::vector<TIELayer*>& Layers) {
  using namespace psd_write;
  try {
    TIEBitmap* merged = Bitmap ? Bitmap : (!Layers.empty() ? Layers[0]->Bitmap : nullptr);
    const TModeOf m = merged ? ModeOf(merged->PixelFormat()) : TModeOf{};
    // A row's packed length must fit the 16-bit count of the format.
    if (m.Mode < 0 || merged->IsEmpty() || merged->Width() > 30000 || merged->Height() > 30000) {
      Progress.Abort();
      return;
    }
    for (TIELayer* l : Layers)
      if (!l->IsMask) PrepareLayer(l, m.LayerFormat);

    TOut o;
    o.Text("8BPS");
    o.U16(1);
    o.U32(0);
    o.U16(0);
    o.U16(uint32_t(m.Channels));
    o.U32(uint32_t(merged->Height()));
    o.U32(uint32_t(merged->Width()));
    o.U16(uint32_t(m.Depth));
    o.U16(uint32_t(m.Mode));
    if (m.Mode == kIndexed) {
      o.U32(768);
      TRGB pal[256] = {};
      for (Integer i = 0; i < std::min<Integer>(256, merged->GetPaletteLength()); ++i) merged->GetPaletteColor(i, pal[i]);
      for (int i = 0; i < 256; ++i) o.U8(pal[i].r);
      for (int i = 0; i < 256; ++i) o.U8(pal[i].g);
      for (int i = 0; i < 256; ++i) o.U8(pal[i].b);
    } else {
      o.U32(0);
    }
    // Only a picture that has transparent pixels gets a transparent index.
    const int transparent = TransparentIndexFor(merged);
    WriteResources(o, Params, transparent);

    std::unique_ptr<TIELayer> only;
    std::vector<TIELayer*> layers = Layers;
    if (layers.empty()) {
      only = std::make_unique<TIELayer>(nullptr, merged, true, false);
      layers.push_back(only.get());
    }
    WriteLayers(o, layers, m, Progress);
    WriteMerged(o, merged, m, transparent, !Layers.empty(), Progress);
    IESafeStreamWrite(Stream, Progress, o.B.data(), int64_t(o.B.size()));
  } catch (...) {
    Progress.Abort();
  }
}

void IEPSDWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  IEWritePSD(Stream, Params, Progress, Bitmap, {});
}

void IEWritePSDLayers(TStream* Stream, TIEBitmap* Merged, TIOParamsVals& Params, TIEProgressRec& Progress,
                      TIELayerList* Layers) {
  std::vector<TIELayer*> list;
  if (Layers)
    for (auto& l : *Layers) list.push_back(l.get());
  IEWritePSD(Stream, Params, Progress, Merged, list);
}
