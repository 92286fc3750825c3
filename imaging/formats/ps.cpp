// PostScript writer. Lines end in CR LF. The "%%BeginData:" count covers every
// byte that follows its line up to "%%EndData" (the operator line and the whole
// encoded data, line breaks and end markers included), so that a reader that
// skips by the count lands on "%%EndData".
#include "imaging/formats/ps.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "imaging/core/base/iestreams.h"
#include "imaging/core/render/iegeom.h"
#include "imaging/formats/ccitt.h"
#include "imaging/formats/pagesource.h"
#include "imaging/io/iejpeg.h"

namespace {

AnsiString IntText(int64_t V) { return std::to_string(V); }

void Line(TStream* S, const AnsiString& Text) { IEWriteLineToStream(S, Text); }

// Count (at least 1) bytes as one ASCII85 string with its own "~>".
int64_t A85(const Byte* Src, int64_t Count, TMemoryStream& Out) {
  std::vector<Byte> buf(size_t(Count / 4 * 5 + 5 + (Count / 4 * 5 + 5) / 75 * 2 + 16));
  Byte* dst = buf.data();
  int64_t chars = 0;
  const int64_t n = IEASCII85Encode(Src, Count, dst, chars);
  Out.WriteBuffer(buf.data(), n);
  return chars;
}

int64_t RLEA85(const Byte* Src, int64_t Count, TMemoryStream& Out, std::vector<Byte>& Tmp) {
  Tmp.resize(size_t(Count + Count / 2 + 3));
  const int64_t n = IERunLengthEncode(Src, Count, Tmp.data());
  return A85(Tmp.data(), n, Out);
}

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

AnsiString PadRight(const AnsiString& S, size_t N) { return S.size() >= N ? S : S + AnsiString(N - S.size(), ' '); }

AnsiString PagesLine(Integer Count) { return "%%Pages: " + PadRight(IntText(Count), 6); }

}  // namespace

int64_t IEPostScriptImageData(TMemoryStream& Data, AnsiString& SourceLines, TIEBitmap* Bitmap,
                              TIOParamsVals& Params, TIEProgressRec& Progress) {
  const Integer w = Bitmap->Width(), h = Bitmap->Height();
  int64_t chars = 0;
  std::vector<Byte> tmp;
  Progress.SetUnits(h);
  if (Bitmap->PixelFormat() == ie1g) {
    const Integer rowBytes = (w + 7) / 8;
    Integer compression = Params.PS_COMPRESSION;
    if (compression == 1 || compression == 2 || compression == 3) {
      const bool g4 = compression == 1;
      SourceLines = "currentfile /ASCII85Decode filter << /K " + AnsiString(g4 ? "-1" : "1") +
                    " /BlackIs1 true /Columns " + IntText(w) + " /Rows " + IntText(h) +
                    " /EndOfLine false /Uncompressed true /EncodedByteAlign false /EndOfBlock false >>"
                    " /CCITTFaxDecode filter";
      TMemoryStream coded;
      TIECCITTState state;
      for (Integer y = 0; y < h; ++y) {
        const Byte* row = static_cast<const Byte*>(Bitmap->GetScanline(y));
        if (g4)
          IECCITTEncodeG4Row(row, w, &coded, state, Progress.Aborting, 1);
        else
          IECCITTEncodeG3Row2D(row, w, &coded, state, Progress.Aborting, 1);
      }
      if (g4)
        IECCITTEncodeG4Row(nullptr, w, &coded, state, Progress.Aborting, 1);
      else
        IECCITTEncodeG3Row2D(nullptr, w, &coded, state, Progress.Aborting, 1);
      if (coded.Size() > 0) chars = A85(static_cast<const Byte*>(coded.Memory()), coded.Size(), Data);
    } else {
      // Run length for 0 and for any value without a coding of its own.
      SourceLines = "currentfile /ASCII85Decode filter /RunLengthDecode filter";
      std::vector<Byte> rows(size_t(rowBytes) * size_t(h));
      for (Integer y = 0; y < h; ++y) {
        std::memcpy(rows.data() + size_t(y) * size_t(rowBytes), Bitmap->GetScanline(y), size_t(rowBytes));
        Progress.Report(y);
      }
      chars = RLEA85(rows.data(), int64_t(rows.size()), Data, tmp);
    }
  } else if (Params.PS_COMPRESSION == 3) {
    SourceLines = "currentfile /ASCII85Decode filter << >> /DCTDecode filter\r\nfalse 3";
    // colorimage is told 3 components: the JPEG data must hold three,
    // whatever colour space the JPEG settings ask for.
    TIOParamsVals jp(nullptr);
    jp.Assign(&Params);
    if (jp.JPEG_COLORSPACE != 0) jp.JPEG_COLORSPACE = 2;
    TMemoryStream coded;
    IEWriteJPEG(&coded, Bitmap, jp, Progress);
    if (coded.Size() > 0) chars = A85(static_cast<const Byte*>(coded.Memory()), coded.Size(), Data);
  } else {
    const AnsiString ws = IntText(w);
    SourceLines = "/rstr " + ws + " string def\r\n/gstr " + ws + " string def\r\n/bstr " + ws +
                  " string def\r\n"
                  "{currentfile /ASCII85Decode filter /RunLengthDecode filter rstr readstring pop}\r\n"
                  "{currentfile /ASCII85Decode filter /RunLengthDecode filter gstr readstring pop}\r\n"
                  "{currentfile /ASCII85Decode filter /RunLengthDecode filter bstr readstring pop}\r\n"
                  "true 3";
    std::vector<Byte> plane(static_cast<size_t>(w));
    for (Integer y = 0; y < h; ++y) {
      const Byte* src = static_cast<const Byte*>(Bitmap->GetScanline(y));
      for (int c = 2; c >= 0; --c) {  // red, green, blue from blue, green, red
        for (Integer x = 0; x < w; ++x) plane[size_t(x)] = src[x * 3 + c];
        chars += RLEA85(plane.data(), w, Data, tmp);
      }
      Progress.Report(y);
    }
  }
  return chars;
}

std::unique_ptr<TIEPSDocState> IEStartPostScript(TStream* Stream, TIOParamsVals& Params) {
  try {
    auto st = std::make_unique<TIEPSDocState>();
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char date[96];
    std::snprintf(date, sizeof date, "%s %s %02d %02d:%02d:%02d %04d", kDays[tm.tm_wday % 7], kMonths[tm.tm_mon % 12],
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_year + 1900);
    Line(Stream, "%!PS-Adobe-3.0");
    Line(Stream, "%%Creator: Gimro-Tal imaging library");
    Line(Stream, "%%Title: " + Params.PS_TITLE);
    Line(Stream, AnsiString("%%CreationDate: ") + date);
    Line(Stream, "%%DocumentData: Clean7Bit");
    Line(Stream, "%%LanguageLevel: 2");
    st->PagesPos = Stream->Position();
    Line(Stream, PagesLine(0));
    // The box covers the whole page: the picture reaches its far edges.
    Line(Stream, "%%BoundingBox: 0 0 " + IntText(Params.PS_PAPERWIDTH) + " " + IntText(Params.PS_PAPERHEIGHT));
    Line(Stream, "%%EndComments");
    st->NextPos = Stream->Position();
    return st;
  } catch (...) {
    return nullptr;
  }
}

void IEPostScriptAddPage(TIEPSDocState& State, TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                         TIEProgressRec& Progress) {
  try {
    std::unique_ptr<TIEBitmap> copy;
    Bitmap = IEPageSource(Bitmap, copy);
    if (!Bitmap) {
      Progress.Abort();
      return;
    }
    // The count as the file holds it, so that a document written earlier
    // with its pages goes on from there.
    Integer count = State.Pages;
    char head[16] = {};
    Stream->SetPosition(State.PagesPos);
    if (Stream->Read(head, 15) == 15 && std::memcmp(head, "%%Pages: ", 9) == 0) {
      Integer v = 0;
      bool digits = false;
      for (int i = 9; i < 14 && head[i] != ' '; ++i) {
        if (head[i] < '0' || head[i] > '9') {
          digits = false;
          break;
        }
        v = v * 10 + (head[i] - '0');
        digits = true;
      }
      count = digits ? v : 1;
    }
    const Integer page = count + 1;
    Stream->SetPosition(State.PagesPos);
    Line(Stream, PagesLine(page));
    State.Pages = page;

    const bool bilevel = Bitmap->PixelFormat() == ie1g;
    Params.BITSPERSAMPLE = bilevel ? 1 : 8;
    Params.SAMPLESPERPIXEL = bilevel ? 1 : 3;
    const Integer w = Bitmap->Width(), h = Bitmap->Height();
    Integer nw = 0, nh = 0;
    IEFitSizeInBox(w, h, Params.PS_PAPERWIDTH, Params.PS_PAPERHEIGHT, nw, nh);

    TMemoryStream data;
    AnsiString sources;
    IEPostScriptImageData(data, sources, Bitmap, Params, Progress);
    const AnsiString op = bilevel ? "image" : "colorimage";

    TMemoryStream page_;
    Line(&page_, "%%Page: " + IntText(page) + " " + IntText(page));
    Line(&page_, "0 " + IntText(Params.PS_PAPERHEIGHT) + " translate");
    Line(&page_, IntText(nw) + " -" + IntText(nh) + " scale");
    Line(&page_, IntText(w) + " " + IntText(h) + " " + IntText(bilevel ? 1 : 8));
    Line(&page_, "[ " + IntText(w) + " 0 0 " + IntText(h) + " 0 0 ]");
    Line(&page_, sources);
    Line(&page_, "%%BeginData:      " + IntText(int64_t(op.size()) + 2 + data.Size()) + " ASCII Bytes");
    Line(&page_, op);
    if (data.Size() > 0) page_.WriteBuffer(data.Memory(), data.Size());
    Line(&page_, "%%EndData");
    Line(&page_, "showpage");

    Stream->SetPosition(State.NextPos);
    Stream->WriteBuffer(page_.Memory(), page_.Size());
    State.NextPos = Stream->Position();
  } catch (...) {
    Progress.Abort();
  }
}

void IEFinishPostScript(std::unique_ptr<TIEPSDocState>& State, TStream* Stream, TIEProgressRec& Progress) {
  if (!State) return;
  std::unique_ptr<TIEPSDocState> st = std::move(State);
  try {
    Stream->SetPosition(st->NextPos);
    Line(Stream, "%%Trailer");
    Line(Stream, "%%EOF");
  } catch (...) {
    Progress.Abort();
  }
}

void IEWritePostScript(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  std::unique_ptr<TIEPSDocState> st = IEStartPostScript(Stream, Params);
  if (!st) {
    Progress.Abort();
    return;
  }
  IEPostScriptAddPage(*st, Stream, Bitmap, Params, Progress);
  IEFinishPostScript(st, Stream, Progress);
}

void IEPostScriptWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  IEWritePostScript(Stream, Bitmap, Params, Progress);
}
