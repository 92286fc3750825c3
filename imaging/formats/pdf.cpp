// PDF writer: each page is one image XObject drawn by a content stream that
// scales it to the paper's top-left corner; the whole file is serialised in
// one pass at the end, so that pages can be added one by one before it.
#include "imaging/formats/pdf.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "imaging/core/base/iehelpers.h"
#include "imaging/core/render/iegeom.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/formats/ccitt.h"
#include "imaging/formats/pagesource.h"
#include "imaging/io/iejpeg.h"

namespace {

AnsiString IntText(int64_t V) { return std::to_string(V); }

void FreeMember(TIEPDFObject* O) {
  if (O && !O->Shared) delete O;
}

TIEPDFNameObject* Name(const char* Text) { return new TIEPDFNameObject(Text); }
TIEPDFNumericObject* Num(Double V) { return new TIEPDFNumericObject(V); }
TIEPDFRefObject* Ref(const TIEPDFObject* O) { return new TIEPDFRefObject(O->ObjectNumber, 0); }

// A memory stream's bytes.
std::vector<Byte> StreamData(TMemoryStream& S) {
  const Byte* p = static_cast<const Byte*>(S.Memory());
  return std::vector<Byte>(p, p + S.Size());
}

// The CCITT decode parameters that match the encoders' output: rows of
// exactly Columns pixels, no byte alignment, no end-of-block expectations.
TIEPDFDictionaryObject* CCITTParams(Integer K, Integer Columns, Integer Rows) {
  auto* d = new TIEPDFDictionaryObject;
  d->Set("K", Num(K));
  d->Set("BlackIs1", new TIEPDFBooleanObject(true));
  d->Set("Columns", Num(Columns));
  d->Set("Rows", Num(Rows));
  d->Set("EndOfLine", new TIEPDFBooleanObject(false));
  d->Set("Uncompressed", new TIEPDFBooleanObject(true));
  d->Set("EncodedByteAlign", new TIEPDFBooleanObject(false));
  d->Set("EndOfBlock", new TIEPDFBooleanObject(false));
  return d;
}

// Rows through the TIFF flavour of LZW, which is the one the LZWDecode filter
// reads (early code-width change included).
void LZWRows(TIETIFFLZWCompressFunc Compress, TIEBitmap* Bitmap, Integer RowBytes, bool SwapRB, TMemoryStream& Out) {
  void* state = nullptr;
  std::vector<Byte> row(static_cast<size_t>(RowBytes));
  for (Integer y = 0; y < Bitmap->Height(); ++y) {
    const Byte* src = static_cast<const Byte*>(Bitmap->GetScanline(y));
    if (SwapRB) {
      for (Integer x = 0; x < Bitmap->Width(); ++x) {
        row[size_t(x) * 3] = src[x * 3 + 2];
        row[size_t(x) * 3 + 1] = src[x * 3 + 1];
        row[size_t(x) * 3 + 2] = src[x * 3];
      }
    } else {
      std::memcpy(row.data(), src, size_t(RowBytes));
    }
    Compress(row.data(), RowBytes, &Out, state);
  }
  Compress(nullptr, 0, &Out, state);
}

void LocalTime(std::tm& T) {
  const std::time_t now = std::time(nullptr);
  localtime_r(&now, &T);
}

}  // namespace

// ---------------------------------------------------------------------------
// The object model

void IEPDFWriteText(TStream* Stream, const AnsiString& Text) {
  Stream->WriteBuffer(Text.data(), int64_t(Text.size()));
}
void IEPDFWriteLine(TStream* Stream, const AnsiString& Text) { IEPDFWriteText(Stream, Text + "\n"); }

void TIEPDFRefObject::Write(TStream* Stream) {
  IEPDFWriteText(Stream, IntText(Number) + " " + IntText(Generation) + " R");
}

void TIEPDFBooleanObject::Write(TStream* Stream) { IEPDFWriteText(Stream, Value ? "true" : "false"); }

void TIEPDFNumericObject::Write(TStream* Stream) {
  AnsiString t;
  IEFloatToAnsiStr(t, Value);
  IEPDFWriteText(Stream, t);
}

void TIEPDFStringObject::Write(TStream* Stream) {
  AnsiString t = "(";
  for (char c : Value) {
    switch (c) {
      case '\b': t += "\\b"; break;
      case '\t': t += "\\t"; break;
      case '\n': t += "\\n"; break;
      case '\f': t += "\\f"; break;
      case '\r': t += "\\r"; break;
      case '(': t += "\\("; break;
      case ')': t += "\\)"; break;
      case '\\': t += "\\\\"; break;
      default: t += c;
    }
  }
  IEPDFWriteText(Stream, t + ")");
}

void TIEPDFNameObject::Write(TStream* Stream) {
  static const char kHex[] = "0123456789ABCDEF";
  AnsiString t = "/";
  for (char ch : Value) {
    const Byte c = Byte(ch);
    if (c < '!' || c > '~' || std::strchr("#()<>[]{}/%", ch)) {
      t += '#';
      t += kHex[c >> 4];
      t += kHex[c & 15];
    } else {
      t += ch;
    }
  }
  IEPDFWriteText(Stream, t);
}

TIEPDFArrayObject::~TIEPDFArrayObject() {
  for (TIEPDFObject* o : Items) FreeMember(o);
}

void TIEPDFArrayObject::Write(TStream* Stream) {
  IEPDFWriteText(Stream, "[");
  for (TIEPDFObject* o : Items) {
    o->Write(Stream);
    IEPDFWriteText(Stream, " ");
  }
  IEPDFWriteText(Stream, "]");
}

TIEPDFDictionaryObject::~TIEPDFDictionaryObject() {
  for (auto& p : Items) FreeMember(p.second);
}

void TIEPDFDictionaryObject::Write(TStream* Stream) {
  IEPDFWriteText(Stream, "<< ");
  for (auto& p : Items) {
    IEPDFWriteText(Stream, "/" + p.first + " ");
    p.second->Write(Stream);
    IEPDFWriteText(Stream, "\n");
  }
  IEPDFWriteText(Stream, ">>");
}

void TIEPDFDictionaryObject::Set(const AnsiString& Key, TIEPDFObject* Value) {
  for (auto& p : Items)
    if (p.first == Key) {
      if (p.second != Value) FreeMember(p.second);
      p.second = Value;
      return;
    }
  Items.emplace_back(Key, Value);
}

void TIEPDFDictionaryObject::Insert(size_t Index, const AnsiString& Key, TIEPDFObject* Value) {
  Items.emplace(Items.begin() + std::min(Index, Items.size()), Key, Value);
}

TIEPDFObject* TIEPDFDictionaryObject::Get(const AnsiString& Key) const {
  for (auto& p : Items)
    if (p.first == Key) return p.second;
  return nullptr;
}

TIEPDFStreamObject::TIEPDFStreamObject() : Dictionary(std::make_unique<TIEPDFDictionaryObject>()) {
  Dictionary->Set("Length", Num(0));
}

TIEPDFStreamObject::TIEPDFStreamObject(const void* AData, int64_t ASize) : TIEPDFStreamObject() {
  if (AData && ASize > 0) Data.assign(static_cast<const Byte*>(AData), static_cast<const Byte*>(AData) + ASize);
}

void TIEPDFStreamObject::Write(TStream* Stream) {
  Dictionary->Set("Length", Num(Double(Data.size())));
  Dictionary->Write(Stream);
  IEPDFWriteText(Stream, "\nstream\n");
  if (!Data.empty()) Stream->WriteBuffer(Data.data(), int64_t(Data.size()));
  IEPDFWriteText(Stream, "\nendstream");
}

TIEPDFObject* IEPDFRegisterObject(TIEPDFDocState& Doc, std::unique_ptr<TIEPDFObject> Object) {
  Doc.Objects.push_back(std::move(Object));
  Doc.Objects.back()->ObjectNumber = Integer(Doc.Objects.size());
  return Doc.Objects.back().get();
}

// ---------------------------------------------------------------------------
// The writer

std::unique_ptr<TIEPDFDocState> IECreatePDFDocument() {
  auto doc = std::make_unique<TIEPDFDocState>();
  auto catalog = std::make_unique<TIEPDFDictionaryObject>();
  catalog->Set("Type", Name("Catalog"));
  doc->Catalog = static_cast<TIEPDFDictionaryObject*>(IEPDFRegisterObject(*doc, std::move(catalog)));
  auto res = std::make_unique<TIEPDFDictionaryObject>();
  res->Shared = true;
  auto* procs = new TIEPDFArrayObject;
  procs->Add(Name("PDF"));
  procs->Add(Name("ImageB"));
  res->Set("ProcSet", procs);
  res->Set("XObject", new TIEPDFDictionaryObject);
  doc->Resources = static_cast<TIEPDFDictionaryObject*>(IEPDFRegisterObject(*doc, std::move(res)));
  return doc;
}

void IEPDFAddImagePage(TIEPDFDocState& Doc, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  try {
    std::unique_ptr<TIEBitmap> copy;
    Bitmap = IEPageSource(Bitmap, copy);
    if (!Bitmap) {
      Progress.Abort();
      return;
    }
    const Integer w = Bitmap->Width(), h = Bitmap->Height();
    auto image = std::make_unique<TIEPDFStreamObject>();
    TIEPDFDictionaryObject& dict = *image->Dictionary;
    TMemoryStream data;
    Integer compression = Params.PDF_COMPRESSION;
    // Without an LZW routine the data go uncompressed rather than nowhere.
    if (compression == 5 && !Params.TIFF_LZWCOMPRESS) compression = 0;
    if (Bitmap->PixelFormat() == ie1g) {
      Params.BITSPERSAMPLE = 1;
      Params.SAMPLESPERPIXEL = 1;
      const Integer rowBytes = (w + 7) / 8;
      if (compression == 4) compression = 3;
      // Values the writer has no coding for give an uncompressed image, so
      // that every page has one.
      if (compression < 0 || compression > 5) compression = 0;
      if (compression == 0 || compression == 1) {
        std::vector<Byte> rows(size_t(rowBytes) * size_t(h));
        for (Integer y = 0; y < h; ++y)
          std::memcpy(rows.data() + size_t(y) * size_t(rowBytes), Bitmap->GetScanline(y), size_t(rowBytes));
        if (compression == 0) {
          image->Data = std::move(rows);
        } else {
          std::vector<Byte> rle(rows.size() + rows.size() / 2 + 3);
          rle.resize(size_t(IERunLengthEncode(rows.data(), int64_t(rows.size()), rle.data())));
          image->Data = std::move(rle);
          auto* filters = new TIEPDFArrayObject;
          filters->Add(Name("RunLengthDecode"));
          dict.Set("Filter", filters);
        }
      } else if (compression == 2 || compression == 3) {
        TIECCITTState state;
        for (Integer y = 0; y < h; ++y) {
          const Byte* row = static_cast<const Byte*>(Bitmap->GetScanline(y));
          if (compression == 2)
            IECCITTEncodeG4Row(row, w, &data, state, Progress.Aborting, 1);
          else
            IECCITTEncodeG3Row2D(row, w, &data, state, Progress.Aborting, 1);
        }
        if (compression == 2)
          IECCITTEncodeG4Row(nullptr, w, &data, state, Progress.Aborting, 1);
        else
          IECCITTEncodeG3Row2D(nullptr, w, &data, state, Progress.Aborting, 1);
        image->Data = StreamData(data);
        dict.Set("Filter", Name("CCITTFaxDecode"));
        dict.Set("DecodeParms", CCITTParams(compression == 2 ? -1 : 1, w, h));
      } else {
        LZWRows(Params.TIFF_LZWCOMPRESS, Bitmap, rowBytes, false, data);
        image->Data = StreamData(data);
        dict.Set("Filter", Name("LZWDecode"));
      }
      dict.Set("ColorSpace", Name("DeviceGray"));
      dict.Set("BitsPerComponent", Num(1));
    } else {
      Params.BITSPERSAMPLE = 8;
      Params.SAMPLESPERPIXEL = 3;
      const char* space = "DeviceRGB";
      if (compression == 5) {
        LZWRows(Params.TIFF_LZWCOMPRESS, Bitmap, w * 3, true, data);
        image->Data = StreamData(data);
        dict.Set("Filter", Name("LZWDecode"));
      } else if (compression == 4) {
        // The stream must hold what the colour space declares: grey stays
        // grey, every other setting is written as colour (CMYK data would
        // not match /DeviceRGB).
        TIOParamsVals jp(nullptr);
        jp.Assign(&Params);
        if (jp.JPEG_COLORSPACE == 1)
          space = "DeviceGray";
        else if (jp.JPEG_COLORSPACE != 0)
          jp.JPEG_COLORSPACE = 2;
        IEWriteJPEG(&data, Bitmap, jp, Progress);
        image->Data = StreamData(data);
        dict.Set("Filter", Name("DCTDecode"));
      } else {
        image->Data.resize(size_t(w) * 3 * size_t(h));
        for (Integer y = 0; y < h; ++y) {
          const Byte* src = static_cast<const Byte*>(Bitmap->GetScanline(y));
          Byte* dst = image->Data.data() + size_t(y) * size_t(w) * 3;
          for (Integer x = 0; x < w; ++x) {
            dst[x * 3] = src[x * 3 + 2];
            dst[x * 3 + 1] = src[x * 3 + 1];
            dst[x * 3 + 2] = src[x * 3];
          }
        }
      }
      dict.Set("ColorSpace", Name(space));
      dict.Set("BitsPerComponent", Num(8));
    }
    dict.Insert(0, "Type", Name("XObject"));
    dict.Insert(1, "Subtype", Name("Image"));
    dict.Set("Width", Num(w));
    dict.Set("Height", Num(h));
    auto* img = static_cast<TIEPDFStreamObject*>(IEPDFRegisterObject(Doc, std::move(image)));
    Doc.Images.push_back(img);
    const AnsiString n = IntText(int64_t(Doc.Images.size()));

    Integer nw = 0, nh = 0;
    IEFitSizeInBox(w, h, Params.PDF_PAPERWIDTH, Params.PDF_PAPERHEIGHT, nw, nh);
    const AnsiString text = "q\n" + IntText(nw) + " 0 0 " + IntText(nh) + " 0 " +
                            IntText(int64_t(Params.PDF_PAPERHEIGHT) - nh) + " cm\n/lm" + n + " Do\nQ";
    auto* content = static_cast<TIEPDFStreamObject*>(
        IEPDFRegisterObject(Doc, std::make_unique<TIEPDFStreamObject>(text.data(), int64_t(text.size()))));
    Doc.Contents.push_back(content);

    static_cast<TIEPDFDictionaryObject*>(Doc.Resources->Get("XObject"))->Set("lm" + n, Ref(img));

    auto page = std::make_unique<TIEPDFDictionaryObject>();
    page->Set("Type", Name("Page"));
    page->Set("Resources", Ref(Doc.Resources));
    auto* box = new TIEPDFArrayObject;
    box->Add(Num(0));
    box->Add(Num(0));
    box->Add(Num(Params.PDF_PAPERWIDTH));
    box->Add(Num(Params.PDF_PAPERHEIGHT));
    page->Set("MediaBox", box);
    page->Set("Contents", Ref(content));
    Doc.Pages.push_back(static_cast<TIEPDFDictionaryObject*>(IEPDFRegisterObject(Doc, std::move(page))));
  } catch (...) {
    Progress.Abort();
  }
}

void IEFinishPDF(std::unique_ptr<TIEPDFDocState>& Doc, TStream* Stream, TIOParamsVals& Params,
                 TIEProgressRec& Progress) {
  if (!Doc) return;
  std::unique_ptr<TIEPDFDocState> doc = std::move(Doc);
  try {
    auto pages = std::make_unique<TIEPDFDictionaryObject>();
    pages->Set("Type", Name("Pages"));
    auto* pagesObj = IEPDFRegisterObject(*doc, std::move(pages));
    auto* kids = new TIEPDFArrayObject;
    for (TIEPDFDictionaryObject* p : doc->Pages) {
      kids->Add(Ref(p));
      p->Set("Parent", Ref(pagesObj));
    }
    auto* pd = static_cast<TIEPDFDictionaryObject*>(pagesObj);
    pd->Set("Kids", kids);
    pd->Set("Count", Num(Double(doc->Pages.size())));
    doc->Catalog->Set("Pages", Ref(pagesObj));

    auto info = std::make_unique<TIEPDFDictionaryObject>();
    const std::pair<const char*, const AnsiString*> texts[] = {
        {"Title", &Params.PDF_TITLE},       {"Author", &Params.PDF_AUTHOR},     {"Subject", &Params.PDF_SUBJECT},
        {"Keywords", &Params.PDF_KEYWORDS}, {"Creator", &Params.PDF_CREATOR}, {"Producer", &Params.PDF_PRODUCER}};
    for (auto& t : texts)
      if (!t.second->empty()) info->Set(t.first, new TIEPDFStringObject(*t.second));
    std::tm tm{};
    LocalTime(tm);
    char date[80];
    std::snprintf(date, sizeof date, "D:%04d%02d%02d%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    info->Set("CreationDate", new TIEPDFStringObject(date));
    const Integer infoNumber = IEPDFRegisterObject(*doc, std::move(info))->ObjectNumber;

    // The file goes to memory first: offsets then count from its start, and
    // the caller's stream gets one write whose failure is reported.
    TMemoryStream out;
    IEPDFWriteText(&out, "%PDF-1.4\n\xC8\xD2\xF0\xFE\n");
    for (auto& o : doc->Objects) {
      o->Offset = out.Position();
      IEPDFWriteLine(&out, IntText(o->ObjectNumber) + " 0 obj");
      o->Write(&out);
      IEPDFWriteText(&out, "\nendobj\n");
    }
    const int64_t xref = out.Position();
    const AnsiString size = IntText(int64_t(doc->Objects.size()) + 1);
    IEPDFWriteLine(&out, "xref");
    IEPDFWriteLine(&out, "0 " + size);
    IEPDFWriteLine(&out, "0000000000 65535 f ");
    for (auto& o : doc->Objects) {
      char entry[48];
      std::snprintf(entry, sizeof entry, "%010lld 00000 n ", static_cast<long long>(o->Offset));
      IEPDFWriteLine(&out, entry);
    }
    IEPDFWriteLine(&out, "trailer");
    IEPDFWriteLine(&out, "<< /Size " + size);
    IEPDFWriteLine(&out, "/Root 1 0 R");
    IEPDFWriteLine(&out, "/Info " + IntText(infoNumber) + " 0 R");
    IEPDFWriteLine(&out, ">>");
    IEPDFWriteLine(&out, "startxref");
    IEPDFWriteLine(&out, IntText(xref));
    IEPDFWriteLine(&out, "%%EOF");
    bool failed = false;
    IESafeStreamWrite(Stream, failed, out.Memory(), out.Size());
    if (failed) Progress.Abort();
  } catch (...) {
    Progress.Abort();
  }
}

void IEWritePDF(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  std::unique_ptr<TIEPDFDocState> doc = IECreatePDFDocument();
  IEPDFAddImagePage(*doc, Bitmap, Params, Progress);
  IEFinishPDF(doc, Stream, Params, Progress);
}

void IEPDFWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  IEWritePDF(Stream, Bitmap, Params, Progress);
}
