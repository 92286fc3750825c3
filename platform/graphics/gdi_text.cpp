// Fonts and text output. Logical fonts are realised as Qt fonts: the Windows
// faces the program asks for map to metric-compatible free faces, a negative
// height is the character (em) height and a positive one the cell height.
// Glyphs are rendered as coverage into a mask and blended in the text colour,
// so text never depends on the destination's pixel layout.
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QString>
#include <QTransform>
#include <algorithm>
#include <atomic>
#include <cmath>

#include "platform/base/strutils.h"
#include "platform/graphics/gdi_private.h"
#include "platform/graphics/guiapp.h"

namespace gdi {

struct TFontImpl {
  QFont Font;
  Integer PixelSize = 12;
  Integer Ascent = 0, Descent = 0, Height = 0, InternalLeading = 0, ExternalLeading = 0;
  Integer AveCharWidth = 0, MaxCharWidth = 0;
  bool FixedPitch = false;
};

namespace {

std::atomic<bool> gSmoothing{true};

struct TSubst {
  const char* From;
  const char* To;
};

// Windows faces and the free faces whose metrics match them.
const TSubst kSubstitutes[] = {
    {"Arial", "Liberation Sans"},
    {"MS Sans Serif", "Liberation Sans"},
    {"Microsoft Sans Serif", "Liberation Sans"},
    {"MS Shell Dlg", "Liberation Sans"},
    {"MS Shell Dlg 2", "Liberation Sans"},
    {"System", "Liberation Sans"},
    {"Helvetica", "Liberation Sans"},
    {"Tahoma", "Liberation Sans"},
    {"Verdana", "DejaVu Sans"},
    {"Segoe UI", "DejaVu Sans"},
    {"Times New Roman", "Liberation Serif"},
    {"Times", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
    {"Courier", "Liberation Mono"},
    {"Lucida Console", "Liberation Mono"},
};

void InstallSubstitutes() {
  static std::once_flag once;
  std::call_once(once, [] {
    GtEnsureGuiApplication();
    for (const TSubst& s : kSubstitutes)
      if (QFontDatabase::hasFamily(QString::fromLatin1(s.To)))
        QFont::insertSubstitution(QString::fromLatin1(s.From), QString::fromLatin1(s.To));
  });
}

QString FaceOf(const LOGFONTW& Lf) {
  Integer n = 0;
  while (n < LF_FACESIZE && Lf.lfFaceName[n]) ++n;
  QString f = QString::fromUtf16(reinterpret_cast<const char16_t*>(Lf.lfFaceName), n);
  return f.isEmpty() ? QStringLiteral("Arial") : f;
}

QFont BaseFont(const LOGFONTW& Lf) {
  QFont f(FaceOf(Lf));
  const LONG w = Lf.lfWeight == 0 ? FW_NORMAL : std::clamp<LONG>(Lf.lfWeight, 1, 1000);
  f.setWeight(static_cast<QFont::Weight>(std::clamp<LONG>(w, 100, 900)));
  f.setItalic(Lf.lfItalic != 0);
  f.setUnderline(Lf.lfUnderline != 0);
  f.setStrikeOut(Lf.lfStrikeOut != 0);
  // Windows output does not kern unless asked to.
  f.setKerning(false);
  if ((Lf.lfPitchAndFamily & 3) == FIXED_PITCH) f.setFixedPitch(true);
  return f;
}

std::shared_ptr<TFontImpl> Realise(const LOGFONTW& Lf) {
  InstallSubstitutes();
  auto impl = std::make_shared<TFontImpl>();
  QFont f = BaseFont(Lf);
  Integer px;
  if (Lf.lfHeight < 0) {
    px = Lf.lfHeight == INT32_MIN ? 4096 : -Lf.lfHeight;
  } else {
    // A cell height: find the em size whose ascent + descent fill it.
    QFont probe = f;
    probe.setPixelSize(1000);
    QFontMetricsF m(probe);
    const double ratio = (m.ascent() + m.descent()) / 1000.0;
    const double cell = Lf.lfHeight == 0 ? 16.0 : static_cast<double>(Lf.lfHeight);
    px = static_cast<Integer>(std::floor(cell / (ratio > 0 ? ratio : 1.0) + 0.5));
  }
  px = std::clamp<Integer>(px, 1, 4096);
  f.setPixelSize(px);
  if (Lf.lfWidth > 0) {
    QFontMetrics m(f);
    const Integer natural = std::max(1, m.averageCharWidth());
    f.setStretch(std::clamp<Integer>(static_cast<Integer>(std::lround(100.0 * Lf.lfWidth / natural)), 1, 4000));
  }
  QFontMetrics m(f);
  impl->Font = f;
  impl->PixelSize = px;
  impl->Ascent = m.ascent();
  impl->Descent = m.descent();
  impl->Height = impl->Ascent + impl->Descent;
  impl->InternalLeading = std::max(0, impl->Height - px);
  impl->ExternalLeading = std::max(0, m.leading());
  impl->AveCharWidth = m.averageCharWidth();
  impl->MaxCharWidth = m.maxWidth();
  impl->FixedPitch = QFontInfo(f).fixedPitch();
  return impl;
}

const TFontImpl& FontOf(const TDCObj* DC) {
  TFontObj* f = DC->S.Font.get();
  std::call_once(f->Once, [f] { f->Impl = Realise(f->Lf); });
  return *f->Impl;
}

bool Smooth(const TDCObj* DC) {
  switch (DC->S.Font->Lf.lfQuality) {
    case NONANTIALIASED_QUALITY: return false;
    case ANTIALIASED_QUALITY:
    case CLEARTYPE_QUALITY:
    case CLEARTYPE_NATURAL_QUALITY: return true;
  }
  return gSmoothing.load();
}

QString ToQ(const WCHAR* Text, Integer Count) {
  if (!Text || Count <= 0) return QString();
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(Text), Count);
}

Integer TextWidth(const TDCObj* DC, const QString& S) {
  if (S.isEmpty()) return 0;
  const TFontImpl& f = FontOf(DC);
  QFontMetrics m(f.Font);
  return m.horizontalAdvance(S) + DC->S.CharExtra * static_cast<Integer>(S.size());
}

// Fills the device polygon of a logical rectangle mapped by M with a colour.
void FillQuad(TTarget& Tg, const QTransform& M, const QRectF& R, COLORREF Color, const TRect* DevClip) {
  const QPolygonF q = M.map(QPolygonF(R));
  TPolyD p;
  for (const QPointF& pt : q) p.push_back({pt.x(), pt.y()});
  TRect limit = Tg.ClipBox();
  if (DevClip && !IntersectRect(limit, limit, *DevClip)) return;
  TPaintOp op;
  op.Rop2 = R2_COPYPEN;
  op.Fg = ColorToPixel(Tg.Px, Color, Tg.DC);
  PaintRegion(Tg, TRegion::FromSpans(FillPolygons({p}, false, limit)), op);
}

QTransform DeviceQ(const TDCObj* DC) {
  const TXform t = DeviceXform(DC);
  return QTransform(t.A, t.B, t.C, t.D, t.E, t.F);
}

}  // namespace

// Draws S with its reference point at (X, Y) in logical coordinates.
void DrawTextRun(TDCObj* DC, TTarget& Tg, Integer X, Integer Y, const QString& S, UINT Align, const TRect* Clip,
                 const TRect* Opaque) {
  const TFontImpl& f = FontOf(DC);
  const Integer w = TextWidth(DC, S);
  const QTransform dev = DeviceQ(DC);
  TRect devClip;
  const TRect* dclip = nullptr;
  if (Clip) {
    devClip = MapRect(DC, Clip->Left, Clip->Top, Clip->Right, Clip->Bottom);
    dclip = &devClip;
  }
  if (Opaque && Tg.Valid()) {
    const TRect o = MapRect(DC, Opaque->Left, Opaque->Top, Opaque->Right, Opaque->Bottom);
    FillQuad(Tg, QTransform(), QRectF(o.Left, o.Top, o.Width(), o.Height()), DC->S.BkColor, dclip);
  }
  if (S.isEmpty() || !Tg.Valid()) return;
  double ox = 0, oy = 0;
  switch (Align & (TA_LEFT | TA_RIGHT | TA_CENTER)) {
    case TA_RIGHT: ox = -w; break;
    case TA_CENTER: ox = -(w / 2); break;
  }
  switch (Align & (TA_TOP | TA_BOTTOM | TA_BASELINE)) {
    case TA_BOTTOM: oy = -f.Height; break;
    case TA_BASELINE: oy = -f.Ascent; break;
  }
  // Text space (cell top-left at 0, 0) -> logical (escapement turns the line
  // counter-clockwise about the reference point) -> device.
  const double esc = DC->S.Font->Lf.lfEscapement / 10.0;
  QTransform m;
  m.translate(X, Y);
  if (esc != 0) m.rotate(-esc);
  m.translate(ox, oy);
  m = m * dev;
  const QRectF cell(0, 0, w, f.Height);
  if (DC->S.BkMode == OPAQUE) FillQuad(Tg, m, cell, DC->S.BkColor, dclip);
  QRectF bb = m.mapRect(cell.adjusted(-2, -2, f.PixelSize, 2));
  TRect area(static_cast<Integer>(std::floor(bb.left())), static_cast<Integer>(std::floor(bb.top())),
             static_cast<Integer>(std::ceil(bb.right())), static_cast<Integer>(std::ceil(bb.bottom())));
  if (!IntersectRect(area, area, Tg.ClipBox())) return;
  if (dclip && !IntersectRect(area, area, *dclip)) return;
  QImage mask(area.Width(), area.Height(), QImage::Format_Alpha8);
  if (mask.isNull()) return;
  mask.fill(0);
  {
    QPainter p(&mask);
    QFont font = f.Font;
    const bool smooth = Smooth(DC);
    font.setStyleStrategy(smooth ? QFont::PreferAntialias : QFont::NoAntialias);
    p.setRenderHint(QPainter::TextAntialiasing, smooth);
    p.setRenderHint(QPainter::Antialiasing, smooth);
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 255));
    QTransform shift = QTransform::fromTranslate(-area.Left, -area.Top);
    p.setTransform(m * shift);
    if (DC->S.CharExtra == 0) {
      p.drawText(QPointF(0, f.Ascent), S);
    } else {
      // Extra spacing: place the characters one by one.
      QFontMetrics fm(f.Font);
      double x = 0;
      for (qsizetype i = 0; i < S.size(); ++i) {
        const QString ch = S.mid(i, 1);
        p.drawText(QPointF(x, f.Ascent), ch);
        x += fm.horizontalAdvance(ch) + DC->S.CharExtra;
      }
    }
  }
  std::vector<uint8_t> alpha(static_cast<size_t>(area.Width()) * area.Height());
  for (Integer y = 0; y < area.Height(); ++y)
    std::memcpy(alpha.data() + static_cast<size_t>(y) * area.Width(), mask.constScanLine(y), static_cast<size_t>(area.Width()));
  BlendMask(Tg, area.Left, area.Top, area.Width(), area.Height(), alpha.data(), DC->S.TextColor);
}

Integer TextHeightOf(const TDCObj* DC) { return FontOf(DC).Height; }
Integer TextAscentOf(const TDCObj* DC) { return FontOf(DC).Ascent; }

}  // namespace gdi

using namespace gdi;

bool GtSetFontSmoothing(bool On) { return gSmoothing.exchange(On); }
bool GtFontSmoothing() { return gSmoothing.load(); }

WideString GtResolvedFontFamily(const WideString& Family) {
  InstallSubstitutes();
  QFont f(QString::fromUtf16(Family.data(), static_cast<qsizetype>(Family.size())));
  const QString r = QFontInfo(f).family();
  return WideString(reinterpret_cast<const char16_t*>(r.utf16()), static_cast<size_t>(r.size()));
}

BOOL ExtTextOutW(HDC DC, Integer X, Integer Y, UINT Options, const TRect* R, const WCHAR* Text, UINT Count,
                 const Integer* Dx) {
  (void)Dx;
  TDCObj* dc = LookupDC(DC);
  if (!dc) return FALSE;
  TTarget tg(dc);
  const bool update = (dc->S.TextAlign & TA_UPDATECP) != 0;
  if (update) {
    X = dc->S.CurPos.X;
    Y = dc->S.CurPos.Y;
  }
  const QString s = ToQ(Text, static_cast<Integer>(Count));
  DrawTextRun(dc, tg, X, Y, s, dc->S.TextAlign, (Options & ETO_CLIPPED) ? R : nullptr,
              (Options & ETO_OPAQUE) ? R : nullptr);
  if (update) {
    const Integer w = TextWidth(dc, s);
    switch (dc->S.TextAlign & (TA_LEFT | TA_RIGHT | TA_CENTER)) {
      case TA_LEFT: dc->S.CurPos.X += w; break;
      case TA_RIGHT: dc->S.CurPos.X -= w; break;
    }
  }
  return TRUE;
}

BOOL TextOutW(HDC DC, Integer X, Integer Y, const WCHAR* Text, Integer Count) {
  if (Count < 0) return FALSE;
  return ExtTextOutW(DC, X, Y, 0, nullptr, Text, static_cast<UINT>(Count), nullptr);
}

namespace {
WideString AnsiText(const TDCObj* DC, const CHAR* Text, Integer Count) {
  if (!Text || Count <= 0) return WideString();
  const int cp = CharsetToCodePage(DC->S.Font ? DC->S.Font->Lf.lfCharSet : static_cast<BYTE>(DEFAULT_CHARSET));
  return AnsiToWide(AnsiString(Text, static_cast<size_t>(Count)), IsCodePageSupported(cp) ? cp : DefaultAnsiCodePage);
}
}  // namespace

BOOL TextOutA(HDC DC, Integer X, Integer Y, const CHAR* Text, Integer Count) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || Count < 0) return FALSE;
  const WideString w = AnsiText(dc, Text, Count);
  return TextOutW(DC, X, Y, w.data(), static_cast<Integer>(w.size()));
}

BOOL GetTextExtentPoint32W(HDC DC, const WCHAR* Text, Integer Count, TSize* Size) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Size || Count < 0) return FALSE;
  *Size = TSize(TextWidth(dc, ToQ(Text, Count)), FontOf(dc).Height);
  return TRUE;
}

BOOL GetTextExtentPoint32A(HDC DC, const CHAR* Text, Integer Count, TSize* Size) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || Count < 0) return FALSE;
  const WideString w = AnsiText(dc, Text, Count);
  return GetTextExtentPoint32W(DC, w.data(), static_cast<Integer>(w.size()), Size);
}

BOOL GetTextExtentExPointW(HDC DC, const WCHAR* Text, Integer Count, Integer MaxExtent, Integer* Fit, Integer* Dx,
                           TSize* Size) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || Count < 0) return FALSE;
  const QString s = ToQ(Text, Count);
  Integer fit = 0;
  for (Integer i = 1; i <= Count; ++i) {
    const Integer w = TextWidth(dc, s.left(i));
    if (Dx) Dx[i - 1] = w;
    if (w <= MaxExtent) fit = i;
  }
  if (Fit) *Fit = fit;
  if (Size) *Size = TSize(TextWidth(dc, s), FontOf(dc).Height);
  return TRUE;
}

BOOL GetCharWidth32W(HDC DC, UINT First, UINT Last, Integer* Widths) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Widths || Last < First) return FALSE;
  QFontMetrics m(FontOf(dc).Font);
  for (UINT c = First; c <= Last; ++c) Widths[c - First] = m.horizontalAdvance(QChar(static_cast<char16_t>(c)));
  return TRUE;
}

BOOL GetTextMetricsW(HDC DC, TEXTMETRICW* Metrics) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Metrics) return FALSE;
  const TFontImpl& f = FontOf(dc);
  const LOGFONTW& lf = dc->S.Font->Lf;
  TEXTMETRICW& t = *Metrics;
  t = TEXTMETRICW();
  t.tmHeight = f.Height;
  t.tmAscent = f.Ascent;
  t.tmDescent = f.Descent;
  t.tmInternalLeading = f.InternalLeading;
  t.tmExternalLeading = f.ExternalLeading;
  t.tmAveCharWidth = f.AveCharWidth;
  t.tmMaxCharWidth = f.MaxCharWidth;
  t.tmWeight = lf.lfWeight == 0 ? FW_NORMAL : lf.lfWeight;
  t.tmDigitizedAspectX = 96;
  t.tmDigitizedAspectY = 96;
  t.tmFirstChar = 0x20;
  t.tmLastChar = 0xFFFC;
  t.tmDefaultChar = 0x1F;
  t.tmBreakChar = 0x20;
  t.tmItalic = lf.lfItalic ? 1 : 0;
  t.tmUnderlined = lf.lfUnderline ? 1 : 0;
  t.tmStruckOut = lf.lfStrikeOut ? 1 : 0;
  // TMPF_FIXED_PITCH set means a variable-pitch font, as on Windows.
  t.tmPitchAndFamily = static_cast<BYTE>((f.FixedPitch ? 0 : static_cast<Integer>(TMPF_FIXED_PITCH)) | TMPF_VECTOR | TMPF_TRUETYPE |
                                         (lf.lfPitchAndFamily & 0xF0));
  t.tmCharSet = lf.lfCharSet == DEFAULT_CHARSET ? static_cast<BYTE>(ANSI_CHARSET) : lf.lfCharSet;
  return TRUE;
}

Integer GetTextFaceW(HDC DC, Integer Count, WCHAR* Face) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return 0;
  const LOGFONTW& lf = dc->S.Font->Lf;
  Integer n = 0;
  while (n < LF_FACESIZE && lf.lfFaceName[n]) ++n;
  if (!Face) return n + 1;
  const Integer c = std::min(n, Count - 1);
  if (c < 0) return 0;
  for (Integer i = 0; i < c; ++i) Face[i] = lf.lfFaceName[i];
  Face[c] = 0;
  return c;
}

DWORD GetGlyphOutlineW(HDC DC, UINT Char, UINT Format, GLYPHMETRICS* Metrics, DWORD BufferSize, void* Buffer,
                       const MAT2* Mat) {
  (void)BufferSize;
  (void)Buffer;
  (void)Mat;
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Metrics || (Format & ~GGO_GLYPH_INDEX) != GGO_METRICS) return GDI_ERROR;
  const TFontImpl& f = FontOf(dc);
  QRawFont raw = QRawFont::fromFont(f.Font);
  quint32 glyph = Char;
  if (!(Format & GGO_GLYPH_INDEX)) {
    const QChar ch(static_cast<char16_t>(Char));
    QList<quint32> g = raw.glyphIndexesForString(QString(ch));
    glyph = g.isEmpty() ? 0 : g.first();
  }
  const QRectF box = raw.boundingRect(glyph);
  QList<QPointF> adv = raw.advancesForGlyphIndexes(QList<quint32>{glyph});
  Metrics->gmBlackBoxX = static_cast<UINT>(std::max(1.0, std::ceil(box.width())));
  Metrics->gmBlackBoxY = static_cast<UINT>(std::max(1.0, std::ceil(box.height())));
  Metrics->gmptGlyphOrigin = TPoint(static_cast<Integer>(std::floor(box.left())), static_cast<Integer>(std::ceil(-box.top())));
  Metrics->gmCellIncX = static_cast<int16_t>(adv.isEmpty() ? 0 : std::lround(adv.first().x()));
  Metrics->gmCellIncY = 0;
  return 0;
}

Integer EnumFontsW(HDC DC, const WCHAR* Face, FONTENUMPROCW Proc, LPARAM Data) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Proc) return 0;
  InstallSubstitutes();
  QStringList faces;
  if (Face && Face[0]) {
    Integer n = 0;
    while (Face[n]) ++n;
    const QString f = QString::fromUtf16(reinterpret_cast<const char16_t*>(Face), n);
    bool known = QFontDatabase::hasFamily(f);
    for (const TSubst& s : kSubstitutes)
      if (f.compare(QString::fromLatin1(s.From), Qt::CaseInsensitive) == 0) known = true;
    if (known) faces << f;
  } else {
    faces = QFontDatabase::families();
  }
  Integer result = 1;
  for (const QString& f : faces) {
    LOGFONTW lf;
    lf.lfHeight = 16;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = ANSI_CHARSET;
    for (qsizetype i = 0; i < f.size() && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = f.at(i).unicode();
    TEXTMETRICW tm;
    tm.tmHeight = 16;
    tm.tmWeight = FW_NORMAL;
    result = Proc(&lf, &tm, TRUETYPE_FONTTYPE, Data);
    if (result == 0) break;
  }
  return result;
}

// ---------------------------------------------------------------- DrawText

namespace {

struct TTextLine {
  QString Text;
  std::vector<qsizetype> Under;  // characters underlined as accelerators
};

}  // namespace

Integer DrawTextW(HDC DC, const WCHAR* Text, Integer Count, TRect* R, UINT Format) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !R) return 0;
  if (Count < 0) {
    Count = 0;
    while (Text && Text[Count]) ++Count;
  }
  const TFontImpl& f = FontOf(dc);
  Integer tabChars = 8;
  if (Format & DT_TABSTOP) {
    // The tab size in characters then shares the flags' second byte.
    tabChars = static_cast<Integer>((Format >> 8) & 0xFF);
    if (tabChars == 0) tabChars = 8;
    Format &= ~0xFF00u;
  }
  const bool single = (Format & DT_SINGLELINE) != 0;
  const bool prefix = (Format & DT_NOPREFIX) == 0;
  const bool underline = prefix && (Format & DT_HIDEPREFIX) == 0;
  const bool tabs = (Format & DT_EXPANDTABS) != 0;
  const Integer tabW = std::max(1, tabChars * std::max(1, f.AveCharWidth));
  const Integer lineH = f.Height + ((Format & DT_EXTERNALLEADING) ? f.ExternalLeading : 0);
  const Integer boxW = R->Right - R->Left;

  // Width of a line, tabs expanded.
  auto width = [&](const QString& s) -> Integer {
    if (!tabs || !s.contains(u'\t')) return TextWidth(dc, s);
    Integer x = 0;
    const QStringList parts = s.split(u'\t');
    for (qsizetype i = 0; i < parts.size(); ++i) {
      x += TextWidth(dc, parts[i]);
      if (i + 1 < parts.size()) x = (x / tabW + 1) * tabW;
    }
    return x;
  };

  // 1. Logical lines with the accelerator marks taken out.
  const QString src = ToQ(Text, Count);
  std::vector<TTextLine> lines(1);
  for (qsizetype i = 0; i < src.size(); ++i) {
    const QChar c = src[i];
    if (!single && (c == u'\r' || c == u'\n')) {
      if (c == u'\r' && i + 1 < src.size() && src[i + 1] == u'\n') ++i;
      lines.emplace_back();
      continue;
    }
    if (single && (c == u'\r' || c == u'\n')) continue;
    if (prefix && c == u'&') {
      if (i + 1 < src.size() && src[i + 1] == u'&') {
        lines.back().Text += u'&';
        ++i;
      } else if (i + 1 < src.size()) {
        lines.back().Under.push_back(lines.back().Text.size());
      }
      continue;
    }
    lines.back().Text += c;
  }

  // 2. Word wrapping: break after whole words; a word wider than the box
  // stands alone on its line.
  if ((Format & DT_WORDBREAK) && !single) {
    std::vector<TTextLine> wrapped;
    for (const TTextLine& l : lines) {
      const QString& s = l.Text;
      qsizetype pos = 0;
      if (s.isEmpty()) wrapped.push_back(l);
      while (pos < s.size()) {
        qsizetype best = -1, j = pos;
        while (j < s.size()) {
          while (j < s.size() && s[j] == u' ') ++j;
          while (j < s.size() && s[j] != u' ') ++j;
          qsizetype end = j;
          while (end > pos && s[end - 1] == u' ') --end;
          if (best < 0 || width(s.mid(pos, end - pos)) <= boxW) best = j;
          else break;
          if (width(s.mid(pos, end - pos)) > boxW) break;
        }
        qsizetype end = best;
        while (end > pos && s[end - 1] == u' ') --end;
        TTextLine part;
        part.Text = s.mid(pos, end - pos);
        for (qsizetype u : l.Under)
          if (u >= pos && u < end) part.Under.push_back(u - pos);
        wrapped.push_back(part);
        pos = best;
        while (pos < s.size() && s[pos] == u' ') ++pos;
      }
    }
    lines.swap(wrapped);
  }

  // 3. Ellipsis for lines that do not fit.
  if (Format & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS | DT_PATH_ELLIPSIS)) {
    for (TTextLine& l : lines) {
      if (width(l.Text) <= boxW) continue;
      QString s = l.Text;
      while (!s.isEmpty() && width(s + QStringLiteral("...")) > boxW) s.chop(1);
      l.Text = s + QStringLiteral("...");
      l.Under.erase(std::remove_if(l.Under.begin(), l.Under.end(), [&](qsizetype u) { return u >= s.size(); }),
                    l.Under.end());
    }
  }

  const Integer total = lineH * static_cast<Integer>(lines.size());
  if (Format & DT_CALCRECT) {
    Integer maxW = 0;
    for (const TTextLine& l : lines) maxW = std::max(maxW, width(l.Text));
    R->Right = R->Left + maxW;
    R->Bottom = R->Top + total;
    return total;
  }

  Integer y = R->Top;
  if (single) {
    if (Format & DT_VCENTER) y = R->Top + (R->Bottom - R->Top - lineH) / 2;
    else if (Format & DT_BOTTOM) y = R->Bottom - lineH;
  }
  const Integer firstY = y;
  TTarget tg(dc);
  const TRect* clip = (Format & DT_NOCLIP) ? nullptr : R;
  for (const TTextLine& l : lines) {
    const Integer w = width(l.Text);
    Integer x = R->Left;
    if (Format & DT_RIGHT) x = R->Right - w;
    else if (Format & DT_CENTER) x = R->Left + (boxW - w) / 2;
    if (tabs && l.Text.contains(u'\t')) {
      Integer sx = 0;
      const QStringList parts = l.Text.split(u'\t');
      for (qsizetype i = 0; i < parts.size(); ++i) {
        DrawTextRun(dc, tg, x + sx, y, parts[i], TA_TOP | TA_LEFT, clip, nullptr);
        sx += TextWidth(dc, parts[i]);
        if (i + 1 < parts.size()) sx = (sx / tabW + 1) * tabW;
      }
    } else {
      DrawTextRun(dc, tg, x, y, l.Text, TA_TOP | TA_LEFT, clip, nullptr);
    }
    if (underline && tg.Valid()) {
      for (qsizetype u : l.Under) {
        if (u >= l.Text.size()) continue;
        const Integer ux = x + width(l.Text.left(u));
        const Integer uw = TextWidth(dc, l.Text.mid(u, 1));
        TRect ur = MapRect(dc, ux, y + f.Ascent + 1, ux + uw, y + f.Ascent + 2);
        if (clip) {
          const TRect dclip = MapRect(dc, clip->Left, clip->Top, clip->Right, clip->Bottom);
          if (!IntersectRect(ur, ur, dclip)) continue;
        }
        TPaintOp op;
        op.Fg = ColorToPixel(tg.Px, dc->S.TextColor, dc);
        PaintRegion(tg, TRegion::FromRect(ur), op);
      }
    }
    y += lineH;
  }
  if (single && (Format & (DT_VCENTER | DT_BOTTOM))) return firstY - R->Top + lineH;
  return total;
}
