// The "IEV" object stream (a header, the shared bitmaps as PNG pictures and a
// deflated list of object records), the combined layers-and-objects stream,
// and the object undo list kept as "IEV" streams.
//
// Files of these types are kept by users and come from anywhere: the reader
// parses the whole block into a staging store and object list and replaces
// the view's objects only when all of it has been read, so a damaged or
// truncated file leaves the objects in the view as they were.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/core/base/ieutils.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/iezlib.h"
#include "imaging/io/ziduzuvio.h"
#include "imaging/view/ievect.h"
#include "imaging/view/iestreamio.h"
#include "platform/base/sysutils.h"

namespace {

constexpr Byte kVersion = 0x51;
constexpr Byte kOldestVersion = 0x31;
// Groups nest; a stream that nests deeper than anyone draws is hostile.
constexpr Integer kMaxGroupDepth = 64;
constexpr int64_t kChunk = 1 << 16;
// Sane maxima for a document of objects: its inflated record list and the
// number of objects in it.
constexpr int64_t kMaxObjectBytes = int64_t(1) << 28;
constexpr size_t kMaxObjects = size_t(1) << 20;

using iestreamio::PutByte;
using iestreamio::PutBytes;
using iestreamio::PutDouble;
using iestreamio::PutInt;
void PutString(TStream* S, const AnsiString& Text) {
  PutInt(S, Integer(Text.size()));
  if (!Text.empty()) PutBytes(S, Text.data(), int64_t(Text.size()));
}
void PutFont(TStream* S, const std::optional<LOGFONTA>& Font) {
  PutByte(S, Font ? 1 : 0);
  if (Font) PutBytes(S, &*Font, sizeof(LOGFONTA));
}

// Reads that fail for good at the first short read, and a budget of bytes
// the compressed part may deliver, so that a small file cannot make the
// reader allocate without bound.
struct TReader : iestreamio::TStreamReader {
  // N bytes appended in chunks: storage grows only with data actually read.
  template <class V>
  bool Array(V& Out, int64_t Count) {
    using T = typename V::value_type;
    if (Count < 0) return Ok = false;
    Out.clear();
    const int64_t per = kChunk / int64_t(sizeof(T)) + 1;
    for (int64_t done = 0; done < Count && Ok;) {
      const int64_t n = std::min(per, Count - done);
      Out.resize(size_t(done + n));
      Get(Out.data() + done, n * int64_t(sizeof(T)));
      done += n;
    }
    return Ok;
  }
  bool String(AnsiString& Out) {
    const Integer n = Int();
    return Ok && Array(Out, n);
  }
  bool Font(std::optional<LOGFONTA>& Out) {
    Out.reset();
    if (!Bool()) return Ok;
    LOGFONTA lf;
    if (!Get(&lf, sizeof(lf))) return false;
    // The face name may come unterminated.
    lf.lfFaceName[LF_FACESIZE - 1] = 0;
    Out = lf;
    return Ok;
  }
};

// The block read so far, not yet part of the view.
struct TStaged {
  double Scale = 1;
  std::vector<std::unique_ptr<TIEBitmap>> Bitmaps;
  std::vector<TIEVectObject> Objects;
};

LOGFONTA DefaultFont(const TIEVectObject& Template, Integer Height) {
  LOGFONTA lf = Template.Font ? *Template.Font : LOGFONTA();
  lf.lfHeight = Height;
  std::memset(lf.lfFaceName, 0, sizeof(lf.lfFaceName));
  std::memcpy(lf.lfFaceName, "Arial", 5);
  return lf;
}

// The PNG datastream that starts at the stream's position, up to and with
// its IEND chunk, copied into Out; the stream is left right after it. The
// picture has no length in front of it, so its chunks are walked here rather
// than trusting a decoder to stop exactly at its end.
bool TakePng(TStream* S, TMemoryStream& Out) {
  static const Byte kSig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Byte head[8];
  if (S->Read(head, 8) != 8 || std::memcmp(head, kSig, 8) != 0) return false;
  Out.WriteBuffer(head, 8);
  std::vector<Byte> buf;
  for (;;) {
    Byte ch[8];
    if (S->Read(ch, 8) != 8) return false;
    const uint32_t len = (uint32_t(ch[0]) << 24) | (uint32_t(ch[1]) << 16) | (uint32_t(ch[2]) << 8) | ch[3];
    if (len > 0x7FFFFFFFu || int64_t(len) + 4 > S->Size() - S->Position()) return false;
    Out.WriteBuffer(ch, 8);
    buf.resize(size_t(len) + 4);
    if (S->Read(buf.data(), int64_t(buf.size())) != int64_t(buf.size())) return false;
    Out.WriteBuffer(buf.data(), int64_t(buf.size()));
    if (std::memcmp(ch + 4, "IEND", 4) == 0) return true;
  }
}

// The zlib stream at S's position, inflated whole into Out: true only when
// it ends properly (its checksum verified) within the size limit, so that a
// truncated or damaged file is refused rather than read in part. S is left
// directly behind the compressed data.
bool InflateToEnd(TStream* S, TMemoryStream& Out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  std::vector<Byte> in(static_cast<size_t>(kChunk)), out(static_cast<size_t>(kChunk));
  int r = Z_OK;
  int64_t total = 0;
  while (r != Z_STREAM_END) {
    if (z.avail_in == 0) {
      const int64_t got = S->Read(in.data(), kChunk);
      if (got <= 0) break;
      z.next_in = in.data();
      z.avail_in = uInt(got);
    }
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    r = inflate(&z, Z_NO_FLUSH);
    if (r != Z_OK && r != Z_STREAM_END) break;
    const int64_t made = int64_t(out.size()) - z.avail_out;
    total += made;
    if (total > std::min(IEReadLimits.DeflateMaxBytes, kMaxObjectBytes)) break;
    if (made > 0) Out.WriteBuffer(out.data(), made);
  }
  if (z.avail_in > 0) S->SetPosition(S->Position() - z.avail_in);
  inflateEnd(&z);
  return r == Z_STREAM_END;
}

// The alpha block of the versions that stored the alpha channel apart:
// deflated rows, bottom row first, each padded to 4 bytes.
bool ReadAlphaBlock(TReader& R, TIEBitmap* Bitmap) {
  const Integer n = R.Int();
  if (!R.Ok || n < 0 || n > R.S->Size() - R.S->Position()) return false;
  std::vector<Byte> packed;
  if (!R.Array(packed, n)) return false;
  const int64_t w = Bitmap->Width(), h = Bitmap->Height(), row = (w + 3) / 4 * 4;
  if (row * h > IEReadLimits.DeflateMaxBytes) return false;
  void* out = nullptr;
  Integer outSize = 0;
  ZDecompressBuffer(packed.data(), n, out, outSize, Integer(row * h));
  const bool ok = out && int64_t(outSize) >= row * h;
  if (ok) {
    TIEBitmap* a = Bitmap->GetAlphaChannel();
    for (int64_t y = 0; y < h; ++y)
      std::memcpy(a->GetScanline(Integer(h - 1 - y)), static_cast<Byte*>(out) + y * row, size_t(w));
  }
  std::free(out);
  return ok;
}

// Whether Index may be referenced by an object: -1, or an entry read with a
// picture.
bool IndexNamesPicture(const TStaged& St, Integer Index) {
  return Index == -1 || (Index >= 0 && Index < Integer(St.Bitmaps.size()) && St.Bitmaps[size_t(Index)]);
}

bool ReadRecord(TReader& R, Byte V, Integer Depth, const TIEVectObject& Template, TStaged& St);

bool ReadRecordBody(TReader& R, Byte V, Integer Depth, const TIEVectObject& Template, TStaged& St,
                    TIEVectObject& O) {
  if (V >= 0x3C) R.Int();  // the handle it had when saved
  O.X1 = R.Int();
  O.Y1 = R.Int();
  O.X2 = R.Int();
  O.Y2 = R.Int();
  O.Kind = static_cast<TIEVectKind>(R.Byte1());
  if (V >= 0x4D) O.KeepAspect = R.Bool();
  TIEVSoftShadow sh;
  sh.OffsetX = sh.OffsetY = 2;
  if (V >= 0x3D) {
    sh.Enabled = R.Bool();
    sh.Radius = R.Dbl();
    sh.OffsetX = R.Int();
    sh.OffsetY = R.Int();
  }
  if (V >= 0x4F) {
    sh.Intensity = R.Int();
    R.Get(sh.ShadowColor, 3);
  }
  O.Shadow = sh;
  if (!R.String(O.Name)) return false;
  O.NameValue = R.Int();
  O.PenColor = TColor(R.Int());
  O.PenStyle = static_cast<TPenStyle>(R.Byte1());
  O.PenWidth = R.Int();
  O.BrushColor = TColor(R.Int());
  O.BrushStyle = static_cast<TBrushStyle>(R.Byte1());
  O.Style = R.Byte1();
  O.Transparency = V >= 0x3D ? R.Int() : 255;
  if (V >= 0x40) O.AndFill = R.Bool();
  if (V >= 0x51) {
    // An index into a seven-entry table.
    O.FontQuality = R.Byte1();
    if (O.FontQuality > 6) O.FontQuality = 0;
  }
  if (V >= 0x49) {
    const Integer n = R.Int();
    if (!R.Ok || n < 0) return false;
    if (n > 0) {
      std::vector<Byte> data;
      if (!R.Array(data, n)) return false;
      O.UserData = std::malloc(size_t(n));
      if (!O.UserData) return false;
      std::memcpy(O.UserData, data.data(), size_t(n));
      O.UserDataLen = n;
    }
  }
  if (!R.Ok) return false;
  if (O.Kind == vkNone) {
    // A group: its members follow here, each a record of its own.
    const Integer c = R.Int();
    if (!R.Ok || c < 0 || Depth >= kMaxGroupDepth) return false;
    for (Integer i = 0; i < c; ++i)
      if (!ReadRecord(R, V, Depth + 1, Template, St)) return false;
  }
  if (O.Kind == vkLineLabel) {
    O.LabelBrushColor = TColor(R.Int());
    O.LabelBrushStyle = static_cast<TBrushStyle>(R.Byte1());
    O.LabelPosition = R.Byte1();
    O.LabelBorder = V >= 0x50 ? R.Byte1() : 0;
  }
  if (O.Kind == vkLine || O.Kind == vkLineLabel) {
    O.BeginShape = static_cast<TIEVectLineEnd>(R.Byte1());
    O.EndShape = static_cast<TIEVectLineEnd>(R.Byte1());
    O.ShapeWidth = R.Int();
    O.ShapeLength = R.Int();
  }
  if (O.Kind == vkArc) {
    O.ArcStart = R.Dbl();
    O.ArcEnd = R.Dbl();
  }
  if (O.Kind == vkBitmap) {
    O.BitmapIndex = R.Int();
    if (V >= 0x42) O.BitmapBorder = R.Bool();
    if (V >= 0x46 && !R.String(O.Text)) return false;
    if (!IndexNamesPicture(St, O.BitmapIndex)) return false;
  }
  if (O.Kind == vkText || O.Kind == vkLineLabel || O.Kind == vkCustom) {
    if (V >= 0x34) O.TextAlign = R.Byte1();
    if (V >= 0x39) O.AutoSize = R.Bool();
    if (!R.String(O.Text) || !R.Font(O.Font)) return false;
    if (V >= 0x3F) {
      const Integer n = R.Int();
      if (!R.Ok || n < 0) return false;
      if (n > 0) {
        if (!R.Array(O.CurvePoints, n)) return false;
        O.CharAngle = R.Int();
      }
    }
  }
  if (O.Kind == vkMemo) {
    if (!R.String(O.Text) || !R.Font(O.Font)) return false;
    const bool withIndexes = V >= 0x43 ? R.Bool() : true;
    if (withIndexes && !R.Array(O.MemoCharFormats, int64_t(O.Text.size()))) return false;
    const Integer nf = R.Int();
    if (!R.Ok || nf < 0 || !R.Array(O.MemoFormats, nf)) return false;
    // The text editor looks the indexes up unchecked: one that names no
    // format record marks a damaged file.
    for (Integer f : O.MemoCharFormats)
      if (f < 0 || f >= nf) return false;
    O.MemoSingleFormat = R.Bool();
    O.AutoSize = R.Bool();
    O.MemoLineSpacing = R.Int();
    O.MemoBorderColor = TColor(R.Int());
    O.MemoBorderStyle = static_cast<TPenStyle>(R.Byte1());
    O.TextAlign = R.Byte1();
    O.MemoFixedCharHeight = R.Int();
    if (V >= 0x49) O.MemoHasBitmap = R.Bool();
    if (O.MemoHasBitmap) {
      O.BitmapIndex = R.Int();
      O.BitmapBorder = R.Bool();
      if (!IndexNamesPicture(St, O.BitmapIndex)) return false;
    }
    if (V >= 0x48)
      for (double& m : O.MemoMargins) m = R.Dbl();
    if (V >= 0x4C) O.MemoBackStyle = static_cast<TBrushStyle>(R.Byte1());
  }
  if (V >= 0x4A) O.Editable = R.Bool();
  if (O.Kind == vkRuler && V >= 0x35) {
    O.RulerUnit = static_cast<TIEUnits>(R.Byte1());
    O.RulerType = static_cast<TIEVectRulerType>(R.Byte1());
    if (V >= 0x41) {
      if (!R.Font(O.Font)) return false;
    } else {
      O.Font = DefaultFont(Template, 12);
    }
  }
  if (O.Kind == vkPolyline && V >= 0x38) {
    const Integer n = R.Int();
    if (!R.Ok || !R.Array(O.Points, n)) return false;
    O.PointsBox.Left = R.Int();
    O.PointsBox.Top = R.Int();
    O.PointsBox.Right = R.Int();
    O.PointsBox.Bottom = R.Int();
    if (V >= 0x3B) O.Closed = R.Bool();
  }
  if (O.Kind == vkAngle && V >= 0x3A) {
    for (TPoint& p : O.AnglePoints) {
      p.X = R.Int();
      p.Y = R.Int();
    }
    if (V >= 0x4B) {
      if (!R.Font(O.Font)) return false;
    } else {
      O.Font = DefaultFont(Template, 10);
    }
  }
  if (O.Kind == vkCustom && V >= 0x4E && R.Bool()) {
    AnsiString name;
    if (!R.String(name)) return false;
    // Its data has no length: without its class the rest cannot be found.
    O.CustomObject.P = IEVectFindCustomClass(name);
    if (!O.CustomObject) return false;
    O.CustomObject->Init();
    if (!O.CustomObject->LoadFromStream(R.S)) return false;
  }
  // Such a box is always drawn with a one-pixel pen.
  if (O.AndFill) O.PenWidth = 1;
  return R.Ok;
}

bool ReadRecord(TReader& R, Byte V, Integer Depth, const TIEVectObject& Template, TStaged& St) {
  TIEVectObject o;
  o.ArcEnd = 0;
  o.ShapeWidth = o.ShapeLength = 0;
  o.LabelPosition = o.LabelBorder = 0;
  o.LabelBrushColor = o.BrushColor = o.MemoBorderColor = 0;
  o.LabelBrushStyle = bsSolid;
  o.BrushStyle = bsSolid;
  o.Style = 0;
  o.RulerType = rtScale;
  const bool ok = ReadRecordBody(R, V, Depth, Template, St, o);
  if (ok && o.Kind != vkNone) {
    if (St.Objects.size() >= kMaxObjects) {
      if (o.UserDataLen > 0) std::free(o.UserData);
      return false;
    }
    St.Objects.push_back(std::move(o));
    return true;
  }
  if (o.UserDataLen > 0) std::free(o.UserData);
  return ok;
}

// The whole block at the stream's position into St; the objects of the view
// are not touched.
bool ReadBlock(TStream* S, const TIEVectObject& Template, TStaged& St) {
  Byte head[8];
  if (S->Read(head, 8) != 8 || std::memcmp(head, "IEV", 3) != 0) return false;
  const Byte v = head[3];
  if (v < kOldestVersion || v > kVersion) return false;
  TReader r{{S}};
  if (v >= 0x32) {
    St.Scale = r.Dbl();
  } else {
    St.Scale = r.Int();
  }
  const Integer count = r.Int();
  // Each entry takes at least its 4-byte count.
  if (!r.Ok || count < 0 || int64_t(count) * 4 > S->Size() - S->Position()) return false;
  St.Bitmaps.resize(size_t(count));
  for (auto& b : St.Bitmaps) {
    const Integer refs = r.Int();
    if (!r.Ok) return false;
    if (refs <= 0) continue;
    b = std::make_unique<TIEBitmap>();
    auto io = TZiduzUvIO::CreateForBitmap(b.get());
    if (v >= 0x33) {
      TMemoryStream png;
      if (!TakePng(S, png)) return false;
      png.SetPosition(0);
      io->LoadFromStreamPNG(&png);
    } else {
      io->LoadFromStreamBMP(S);
    }
    if (io->Aborting() || b->IsEmpty()) return false;
    if (v >= 0x37 && v <= 0x3C && !ReadAlphaBlock(r, b.get())) return false;
  }
  TMemoryStream objects;
  if (!InflateToEnd(S, objects)) return false;
  objects.SetPosition(0);
  TReader zr{{&objects}};
  const Integer n = zr.Int();
  if (!zr.Ok || n < 0) return false;
  for (Integer i = 0; i < n; ++i)
    if (!ReadRecord(zr, v, 0, Template, St)) return false;
  return true;
}

void FreeStagedUserData(TStaged& St) {
  for (TIEVectObject& o : St.Objects)
    if (o.UserDataLen > 0) {
      std::free(o.UserData);
      o.UserData = nullptr;
      o.UserDataLen = 0;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Writing

void TZiduzUvVect::WriteObject(TStream* Stream, Integer hobj) {
  if (hobj == IEV_ALL || hobj == IEV_NONE) {
    for (Integer h : FZOrder) WriteObject(Stream, h);
    return;
  }
  const TIEVectObject* po = hobj >= 0 ? GetObj(hobj) : nullptr;
  if (!po) return;
  const TIEVectObject& o = *po;
  PutInt(Stream, hobj);
  PutInt(Stream, o.X1);
  PutInt(Stream, o.Y1);
  PutInt(Stream, o.X2);
  PutInt(Stream, o.Y2);
  PutByte(Stream, o.Kind);
  PutByte(Stream, o.KeepAspect);
  const TIEVSoftShadow sh = o.Shadow ? *o.Shadow : TIEVSoftShadow();
  PutByte(Stream, sh.Enabled);
  PutDouble(Stream, sh.Radius);
  PutInt(Stream, sh.OffsetX);
  PutInt(Stream, sh.OffsetY);
  PutInt(Stream, sh.Intensity);
  PutBytes(Stream, sh.ShadowColor, 3);
  PutString(Stream, o.Name);
  PutInt(Stream, o.NameValue);
  PutInt(Stream, Integer(o.PenColor));
  PutByte(Stream, o.PenStyle);
  PutInt(Stream, o.PenWidth);
  PutInt(Stream, Integer(o.BrushColor));
  PutByte(Stream, o.BrushStyle);
  PutByte(Stream, o.Style);
  PutInt(Stream, o.Transparency);
  PutByte(Stream, o.AndFill);
  PutByte(Stream, o.FontQuality);
  const Integer userLen = o.UserData && o.UserDataLen > 0 ? o.UserDataLen : 0;
  PutInt(Stream, userLen);
  if (userLen > 0) PutBytes(Stream, o.UserData, userLen);
  // Kind 0 is a group in the stream: an object without a kind is written
  // as an empty one, which reads back as nothing rather than as garbage.
  if (o.Kind == vkNone) PutInt(Stream, 0);
  if (o.Kind == vkLineLabel) {
    PutInt(Stream, Integer(o.LabelBrushColor));
    PutByte(Stream, o.LabelBrushStyle);
    PutByte(Stream, o.LabelPosition);
    PutByte(Stream, o.LabelBorder);
  }
  if (o.Kind == vkLine || o.Kind == vkLineLabel) {
    PutByte(Stream, o.BeginShape);
    PutByte(Stream, o.EndShape);
    PutInt(Stream, o.ShapeWidth);
    PutInt(Stream, o.ShapeLength);
  }
  if (o.Kind == vkArc) {
    PutDouble(Stream, o.ArcStart);
    PutDouble(Stream, o.ArcEnd);
  }
  if (o.Kind == vkBitmap) {
    PutInt(Stream, o.BitmapIndex);
    PutByte(Stream, o.BitmapBorder);
    PutString(Stream, o.Text);
  }
  if (o.Kind == vkText || o.Kind == vkLineLabel || o.Kind == vkCustom) {
    PutByte(Stream, o.TextAlign);
    PutByte(Stream, o.AutoSize);
    PutString(Stream, o.Text);
    PutFont(Stream, o.Font);
    PutInt(Stream, Integer(o.CurvePoints.size()));
    if (!o.CurvePoints.empty()) {
      PutBytes(Stream, o.CurvePoints.data(), int64_t(o.CurvePoints.size()) * 16);
      PutInt(Stream, o.CharAngle);
    }
  }
  if (o.Kind == vkMemo) {
    PutString(Stream, o.Text);
    PutFont(Stream, o.Font);
    PutByte(Stream, o.MemoCharFormats.empty() ? 0 : 1);
    if (!o.MemoCharFormats.empty())
      for (size_t i = 0; i < o.Text.size(); ++i)
        PutInt(Stream, i < o.MemoCharFormats.size() ? o.MemoCharFormats[i] : 0);
    PutInt(Stream, Integer(o.MemoFormats.size()));
    for (const TIEVectTextFormat& f : o.MemoFormats) PutBytes(Stream, &f, 280);
    PutByte(Stream, o.MemoSingleFormat);
    PutByte(Stream, o.AutoSize);
    PutInt(Stream, o.MemoLineSpacing);
    PutInt(Stream, Integer(o.MemoBorderColor));
    PutByte(Stream, o.MemoBorderStyle);
    PutByte(Stream, o.TextAlign);
    PutInt(Stream, o.MemoFixedCharHeight);
    PutByte(Stream, o.MemoHasBitmap);
    if (o.MemoHasBitmap) {
      PutInt(Stream, o.BitmapIndex);
      PutByte(Stream, o.BitmapBorder);
    }
    for (double m : o.MemoMargins) PutDouble(Stream, m);
    PutByte(Stream, o.MemoBackStyle);
  }
  PutByte(Stream, o.Editable);
  if (o.Kind == vkRuler) {
    PutByte(Stream, o.RulerUnit);
    PutByte(Stream, o.RulerType);
    PutFont(Stream, o.Font);
  }
  if (o.Kind == vkPolyline) {
    PutInt(Stream, Integer(o.Points.size()));
    if (!o.Points.empty()) PutBytes(Stream, o.Points.data(), int64_t(o.Points.size()) * 8);
    PutInt(Stream, o.PointsBox.Left);
    PutInt(Stream, o.PointsBox.Top);
    PutInt(Stream, o.PointsBox.Right);
    PutInt(Stream, o.PointsBox.Bottom);
    PutByte(Stream, o.Closed);
  }
  if (o.Kind == vkAngle) {
    for (const TPoint& p : o.AnglePoints) {
      PutInt(Stream, p.X);
      PutInt(Stream, p.Y);
    }
    PutFont(Stream, o.Font);
  }
  if (o.Kind == vkCustom) {
    // Only an object whose class is registered can be read back.
    const AnsiString name = IEVectCustomClassName(IEVectCustomClassOf(o.CustomObject.get()));
    PutByte(Stream, name.empty() ? 0 : 1);
    if (!name.empty()) {
      PutString(Stream, name);
      o.CustomObject->SaveToStream(Stream);
    }
  }
}

void TZiduzUvVect::SaveObjectsToStream(TStream* Stream) {
  CompactBitmaps();
  const int64_t p = Stream->Position();
  PutBytes(Stream, "IEV", 3);
  PutByte(Stream, kVersion);
  PutInt(Stream, 0);
  PutDouble(Stream, FMeasureScale);
  PutInt(Stream, Integer(FStore.size()));
  for (Integer i = 0; i < Integer(FStore.size()); ++i) {
    const TStoreEntry& e = FStore[size_t(i)];
    const Integer refs = e.RefCount - (FTemplate.BitmapIndex == i ? 1 : 0);
    PutInt(Stream, refs);
    if (refs > 0) {
      auto io = TZiduzUvIO::CreateForBitmap(e.Bitmap.get());
      io->SaveToStreamPNG(Stream);
      if (io->Aborting()) throw EWriteError(u"Stream write error");
    }
  }
  {
    TZCompressionStream z(Stream, zcDefault);
    PutInt(&z, Integer(FZOrder.size()));
    WriteObject(&z, IEV_ALL);
    z.Finish();
  }
  const int64_t end = Stream->Position();
  if (end - p > INT32_MAX) throw EWriteError(u"Stream write error");
  Stream->SetPosition(p + 4);
  PutInt(Stream, Integer(end - p));
  Stream->SetPosition(end);
}

void TZiduzUvVect::SaveAllToStream(TStream* Stream, Integer Compression) {
  const int64_t p = Stream->Position();
  PutInt(Stream, 0);
  SaveLayersToStream(Stream, Compression);
  const int64_t q = Stream->Position();
  if (q > INT32_MAX) throw EWriteError(u"Stream write error");
  Stream->SetPosition(p);
  PutInt(Stream, Integer(q));
  Stream->SetPosition(q);
  SaveObjectsToStream(Stream);
}

// ---------------------------------------------------------------------------
// Reading

namespace {

// Reads the block, or fails, without touching the view.
bool StageObjects(TStream* Stream, const TIEVectObject& Template, TStaged& St) {
  bool ok = false;
  try {
    ok = ReadBlock(Stream, Template, St);
  } catch (const Exception&) {
    ok = false;  // the decompressor's error on damaged data, a reader's on a short picture
  }
  if (!ok) FreeStagedUserData(St);
  return ok;
}

}  // namespace

bool TZiduzUvVect::LoadObjectsFromStream(TStream* Stream) {
  const int64_t start = Stream->Position();
  auto staged = std::make_unique<TStaged>();
  if (!StageObjects(Stream, FTemplate, *staged)) {
    Stream->SetPosition(start);
    return false;
  }
  CommitStaged(staged.get());
  return true;
}

void TZiduzUvVect::CommitStaged(void* Staged) {
  TStaged& st = *static_cast<TStaged*>(Staged);
  // The template's picture is not in the stream: set aside, and attached
  // again afterwards, where it may join an equal loaded picture.
  std::unique_ptr<TIEBitmap> keep;
  if (TIEBitmap* b = GetStoredBitmap(FTemplate.BitmapIndex)) {
    keep = std::make_unique<TIEBitmap>();
    keep->Assign(b);
    SetObjBitmap(IEV_TEMPLATE, nullptr);
  }
  const bool autoUndo = FObjAutoUndo;
  FObjAutoUndo = false;
  RemoveAllObjects();
  FObjAutoUndo = autoUndo;
  // Every entry starts unreferenced and gains one count per object that
  // attaches it: objects that shared an entry share it again.
  FStore.clear();
  FStore.resize(st.Bitmaps.size());
  for (size_t i = 0; i < st.Bitmaps.size(); ++i) FStore[i].Bitmap = std::move(st.Bitmaps[i]);
  const bool share = FShareBitmaps;
  FShareBitmaps = true;
  for (TIEVectObject& o : st.Objects) {
    const Integer h = AddObject(o);
    TIEVectObject* n = GetObj(h);
    n->UserData = o.UserData;
    n->UserDataLen = o.UserDataLen;
    o.UserData = nullptr;
    o.UserDataLen = 0;
  }
  FShareBitmaps = share;
  // A picture no object uses is not kept.
  for (TStoreEntry& e : FStore)
    if (e.RefCount == 0) e.Bitmap.reset();
  if (keep) SetObjBitmap(IEV_TEMPLATE, keep.get());
  // The per-pixel factors follow the loaded scale.
  SetMeasureScale(st.Scale);
  Update();
}

bool TZiduzUvVect::LoadObjectsFromFile(const WideString& FileName) {
  if (FileName.empty()) return false;
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  return LoadObjectsFromStream(&f);
}

bool TZiduzUvVect::LoadAllFromStream(TStream* Stream) {
  const int64_t start = Stream->Position();
  Integer offset = 0;
  if (Stream->Read(&offset, 4) != 4 || offset < 0 || offset > Stream->Size()) {
    Stream->SetPosition(start);
    return false;
  }
  // The objects are read first, so that neither part changes when the other
  // cannot be read.
  auto staged = std::make_unique<TStaged>();
  Stream->SetPosition(offset);
  if (!StageObjects(Stream, FTemplate, *staged)) {
    Stream->SetPosition(start);
    return false;
  }
  Stream->SetPosition(start + 4);
  if (!LoadLayersFromStream(Stream)) {
    FreeStagedUserData(*staged);
    Stream->SetPosition(start);
    return false;
  }
  CommitStaged(staged.get());
  return true;
}

bool TZiduzUvVect::LoadAllFromFile(const WideString& FileName) {
  if (FileName.empty()) return false;
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  return LoadAllFromStream(&f);
}

// ---------------------------------------------------------------------------
// Object undo

void TZiduzUvVect::SaveObjUndo() {
  if (FObjUndoLimit <= 0) return;
  auto ms = std::make_unique<TMemoryStream>();
  SaveObjectsToStream(ms.get());
  ms->SetPosition(0);
  // The oldest step pushed out by the limit is kept until the gesture ends:
  // a gesture that changes nothing gives it back.
  FUndoEvicted.reset();
  while (!FUndo.empty() && Integer(FUndo.size()) >= FObjUndoLimit) {
    FUndoEvicted = std::move(FUndo.front());
    FUndo.erase(FUndo.begin());
  }
  FUndo.push_back(std::move(ms));
  if (OnSaveUndo()) OnSaveUndo()(this, ieuObject);
}

void TZiduzUvVect::SaveUndoBeforeChange() {
  FUndoSavedForGesture = FObjAutoUndo;
  if (!FObjAutoUndo) return;
  if (FObjUndoMode == ieumSeparated) {
    SaveObjUndo();
  } else if (IEViewProcLink.SaveUndo) {
    IEViewProcLink.SaveUndo(GetProc(), ieuObject);
  }
}

void TZiduzUvVect::DropLastObjUndo() {
  if (!FUndo.empty()) FUndo.pop_back();
}

void TZiduzUvVect::EndUndoGesture() {
  if (!FObjectsModified && FObjAutoUndo && FUndoSavedForGesture) {
    if (FObjUndoMode == ieumSeparated) {
      DropLastObjUndo();
      if (FUndoEvicted && Integer(FUndo.size()) < FObjUndoLimit) FUndo.insert(FUndo.begin(), std::move(FUndoEvicted));
    } else if (IEViewProcLink.DropNewestUndoOf) {
      IEViewProcLink.DropNewestUndoOf(GetProc(), ieuObject);
    }
  }
  FUndoSavedForGesture = false;
  FUndoEvicted.reset();
}

void TZiduzUvVect::ClearObjUndo() {
  FUndo.clear();
  FUndoEvicted.reset();
}
