#include "platform/base/strutils.h"

#include <iconv.h>

#include <QChar>
#include <QString>
#include <QStringView>
#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

// ---------------------------------------------------------------------------
// Case and comparison

namespace {

QStringView View(const WideString& S) { return QStringView(S.data(), static_cast<qsizetype>(S.size())); }

WideString FromQString(const QString& Q) {
  return WideString(reinterpret_cast<const char16_t*>(Q.constData()), static_cast<size_t>(Q.size()));
}

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }
char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

int Sign(int64_t v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

// Code units reordered so that surrogates (supplementary characters) sort
// after every other BMP character, which gives code point order.
uint32_t CodePointKey(char16_t c) {
  if (c >= 0xE000) return c - 0x800u;
  if (c >= 0xD800) return c + 0x2000u;
  return c;
}

}  // namespace

WideString UpperCase(const WideString& S) {
  WideString r(S);
  for (auto& c : r) c = AsciiUpper(c);
  return r;
}

WideString LowerCase(const WideString& S) {
  WideString r(S);
  for (auto& c : r) c = AsciiLower(c);
  return r;
}

WideString WideUpperCase(const WideString& S) { return FromQString(View(S).toString().toUpper()); }
WideString WideLowerCase(const WideString& S) { return FromQString(View(S).toString().toLower()); }

int CompareStr(const WideString& A, const WideString& B) { return Sign(A.compare(B)); }

int CompareText(const WideString& A, const WideString& B) {
  size_t n = std::min(A.size(), B.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t a = AsciiUpper(A[i]), b = AsciiUpper(B[i]);
    if (a != b) return a < b ? -1 : 1;
  }
  return Sign(static_cast<int64_t>(A.size()) - static_cast<int64_t>(B.size()));
}

bool SameText(const WideString& A, const WideString& B) { return A.size() == B.size() && CompareText(A, B) == 0; }

int WideCompareStr(const WideString& A, const WideString& B) {
  size_t n = std::min(A.size(), B.size());
  for (size_t i = 0; i < n; ++i) {
    if (A[i] != B[i]) return CodePointKey(A[i]) < CodePointKey(B[i]) ? -1 : 1;
  }
  return Sign(static_cast<int64_t>(A.size()) - static_cast<int64_t>(B.size()));
}

namespace {
// The code point at i (a surrogate pair counts as one), advancing i.
char32_t NextCodePoint(const WideString& S, size_t& i) {
  char32_t c = S[i++];
  if (c >= 0xD800 && c <= 0xDBFF && i < S.size() && S[i] >= 0xDC00 && S[i] <= 0xDFFF)
    c = 0x10000 + ((c - 0xD800) << 10) + (S[i++] - 0xDC00);
  return c;
}
}  // namespace

int WideCompareText(const WideString& A, const WideString& B) {
  size_t i = 0, j = 0;
  while (i < A.size() && j < B.size()) {
    char32_t a = QChar::toCaseFolded(NextCodePoint(A, i)), b = QChar::toCaseFolded(NextCodePoint(B, j));
    if (a != b) return a < b ? -1 : 1;
  }
  return i < A.size() ? 1 : j < B.size() ? -1 : 0;
}

bool WideSameText(const WideString& A, const WideString& B) { return WideCompareText(A, B) == 0; }

// ---------------------------------------------------------------------------
// Positions and trimming

int Pos(const WideString& Sub, const WideString& S, int Offset) {
  if (Sub.empty() || Offset < 1 || static_cast<size_t>(Offset) > S.size()) return 0;
  size_t p = S.find(Sub, static_cast<size_t>(Offset - 1));
  return p == WideString::npos ? 0 : static_cast<int>(p) + 1;
}

WideString Copy(const WideString& S, int Index, int Count) {
  int64_t start = std::max<int64_t>(Index, 1) - 1;
  if (Count <= 0 || start >= static_cast<int64_t>(S.size())) return WideString();
  return S.substr(static_cast<size_t>(start), static_cast<size_t>(Count));
}

WideString TrimLeft(const WideString& S) {
  size_t i = 0;
  while (i < S.size() && S[i] <= u' ') ++i;
  return S.substr(i);
}

WideString TrimRight(const WideString& S) {
  size_t n = S.size();
  while (n > 0 && S[n - 1] <= u' ') --n;
  return S.substr(0, n);
}

WideString Trim(const WideString& S) { return TrimLeft(TrimRight(S)); }

// ---------------------------------------------------------------------------
// Integer text

namespace {

WideString Ascii(const char* s, size_t n) { return WideString(s, s + n); }
WideString Ascii(const std::string& s) { return Ascii(s.data(), s.size()); }

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Parses into a magnitude; Bits limits hexadecimal numbers, which wrap into
// the signed range as two's complement ("$FFFFFFFF" is -1 as an Integer).
bool ParseInteger(const WideString& S, int Bits, int64_t Max, int64_t& Value) {
  size_t i = 0, n = S.size();
  while (i < n && S[i] <= u' ') ++i;
  bool neg = false;
  if (i < n && (S[i] == u'+' || S[i] == u'-')) neg = S[i++] == u'-';
  bool hex = false;
  if (i < n && S[i] == u'$') {
    hex = true;
    ++i;
  } else if (i + 1 < n && S[i] == u'0' && (S[i + 1] == u'x' || S[i + 1] == u'X')) {
    hex = true;
    i += 2;
  }
  if (i >= n) return false;
  uint64_t mag = 0;
  if (hex) {
    const uint64_t limit = Bits == 64 ? UINT64_MAX : (uint64_t(1) << Bits) - 1;
    for (; i < n; ++i) {
      int d = HexValue(S[i]);
      if (d < 0 || mag > (limit >> 4)) return false;
      mag = mag * 16 + static_cast<uint64_t>(d);
    }
    int64_t v = Bits == 64 ? static_cast<int64_t>(mag)
                           : static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(mag)));
    Value = neg ? static_cast<int64_t>(0 - static_cast<uint64_t>(v)) : v;
    if (Bits == 32) Value = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(Value)));
    return true;
  }
  const uint64_t limit = neg ? static_cast<uint64_t>(Max) + 1 : static_cast<uint64_t>(Max);
  for (; i < n; ++i) {
    if (S[i] < u'0' || S[i] > u'9') return false;
    uint64_t d = S[i] - u'0';
    if (mag > (limit - d) / 10) return false;
    mag = mag * 10 + d;
  }
  Value = neg ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag);
  return true;
}

}  // namespace

WideString IntToStr(int64_t Value) { return Ascii(std::to_string(Value)); }

namespace {
WideString HexText(uint64_t v, int Digits) {
  char buf[17];
  int n = 0;
  do {
    buf[n++] = "0123456789ABCDEF"[v & 15];
    v >>= 4;
  } while (v != 0);
  WideString r;
  for (int k = n; k < Digits; ++k) r += u'0';
  while (n > 0) r += static_cast<char16_t>(buf[--n]);
  return r;
}
}  // namespace

WideString IntToHex(int32_t Value, int Digits) { return HexText(static_cast<uint32_t>(Value), Digits); }
WideString IntToHex(int64_t Value, int Digits) { return HexText(static_cast<uint64_t>(Value), Digits); }

bool TryStrToInt(const WideString& S, int32_t& Value) {
  int64_t v;
  if (!ParseInteger(S, 32, INT32_MAX, v)) return false;
  Value = static_cast<int32_t>(v);
  return true;
}

bool TryStrToInt64(const WideString& S, int64_t& Value) { return ParseInteger(S, 64, INT64_MAX, Value); }

int32_t StrToInt(const WideString& S) {
  int32_t v;
  if (!TryStrToInt(S, v)) throw EConvertError(u"'" + S + u"' is not a valid integer value");
  return v;
}

int32_t StrToIntDef(const WideString& S, int32_t Default) {
  int32_t v;
  return TryStrToInt(S, v) ? v : Default;
}

int64_t StrToInt64(const WideString& S) {
  int64_t v;
  if (!TryStrToInt64(S, v)) throw EConvertError(u"'" + S + u"' is not a valid integer value");
  return v;
}

int64_t StrToInt64Def(const WideString& S, int64_t Default) {
  int64_t v;
  return TryStrToInt64(S, v) ? v : Default;
}

// ---------------------------------------------------------------------------
// Float text

namespace {

// A finite value as decimal digits: |v| = 0.D[0]D[1]... x 10^Exp.
struct TDecimal {
  bool Negative = false;
  std::string Digits;  // no leading zeros; empty for zero
  int Exp = 0;
};

TDecimal Decompose(double v) {
  TDecimal d;
  d.Negative = std::signbit(v);
  if (v == 0) return d;
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, 16);
  std::string s(buf, res.ptr);  // d.dddddddddddddddde[+-]xx
  size_t e = s.find('e');
  d.Digits = s.substr(0, 1) + s.substr(2, e - 2);
  d.Exp = std::atoi(s.c_str() + e + 1) + 1;
  return d;
}

// Keeps N significant digits, rounding half up; trailing zeros are dropped.
void RoundDigits(TDecimal& d, int N) {
  if (static_cast<int>(d.Digits.size()) > std::max(N, 0)) {
    bool up = N >= 0 && d.Digits[static_cast<size_t>(N)] >= '5';
    d.Digits.resize(static_cast<size_t>(std::max(N, 0)));
    if (up) {
      int i = N - 1;
      while (i >= 0 && d.Digits[static_cast<size_t>(i)] == '9') d.Digits[static_cast<size_t>(i--)] = '0';
      if (i >= 0) {
        ++d.Digits[static_cast<size_t>(i)];
      } else {
        d.Digits.insert(d.Digits.begin(), '1');
        ++d.Exp;
      }
    }
  }
  while (!d.Digits.empty() && d.Digits.back() == '0') d.Digits.pop_back();
}

char DigitAt(const TDecimal& d, int i) {
  return i >= 0 && i < static_cast<int>(d.Digits.size()) ? d.Digits[static_cast<size_t>(i)] : '0';
}

std::string ExponentText(int e, int MinDigits, bool PlusSign) {
  std::string r = "E";
  if (e < 0) r += '-';
  else if (PlusSign) r += '+';
  std::string n = std::to_string(std::abs(e));
  if (static_cast<int>(n.size()) < MinDigits) n.insert(0, static_cast<size_t>(MinDigits) - n.size(), '0');
  return r + n;
}

std::string FormatGeneral(TDecimal d, int Precision, int Digits, char Sep) {
  RoundDigits(d, Precision);
  if (d.Digits.empty()) return "0";
  std::string r = d.Negative ? "-" : "";
  int k = static_cast<int>(d.Digits.size());
  if (d.Exp > Precision || d.Exp < -3) {
    r += d.Digits[0];
    if (k > 1) r += Sep + d.Digits.substr(1);
    return r + ExponentText(d.Exp - 1, Digits, false);
  }
  if (d.Exp <= 0) return r + "0" + Sep + std::string(static_cast<size_t>(-d.Exp), '0') + d.Digits;
  for (int i = 0; i < d.Exp; ++i) r += DigitAt(d, i);
  if (k > d.Exp) r += Sep + d.Digits.substr(static_cast<size_t>(d.Exp));
  return r;
}

std::string FormatExponent(TDecimal d, int Precision, int Digits, char Sep) {
  RoundDigits(d, Precision);
  bool zero = d.Digits.empty();
  std::string r = d.Negative && !zero ? "-" : "";
  r += DigitAt(d, 0);
  if (Precision > 1) {
    r += Sep;
    for (int i = 1; i < Precision; ++i) r += DigitAt(d, i);
  }
  return r + ExponentText(zero ? 0 : d.Exp - 1, Digits, true);
}

std::string FormatFixed(TDecimal d, int Precision, int Digits, char Sep) {
  if (d.Exp > Precision) return FormatGeneral(d, Precision, 0, Sep);
  RoundDigits(d, std::min(Precision, d.Exp + Digits));
  std::string r = d.Negative && !d.Digits.empty() ? "-" : "";
  if (d.Exp <= 0 || d.Digits.empty()) r += '0';
  else
    for (int i = 0; i < d.Exp; ++i) r += DigitAt(d, i);
  if (Digits > 0) {
    r += Sep;
    int start = d.Digits.empty() ? 0 : d.Exp;
    for (int i = 0; i < Digits; ++i) r += d.Digits.empty() ? '0' : DigitAt(d, start + i);
  }
  return r;
}

}  // namespace

WideString FloatToStr(double Value, WideChar DecimalSep) { return FloatToStrF(Value, ffGeneral, 15, 0, DecimalSep); }

WideString FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits, WideChar DecimalSep) {
  if (std::isnan(Value)) return u"NAN";
  if (std::isinf(Value)) return Value < 0 ? u"-INF" : u"INF";
  Precision = std::clamp(Precision, 1, 17);
  TDecimal d = Decompose(Value);
  const char sep = '\x01';  // placeholder, replaced by the wide separator below
  std::string s;
  switch (Format) {
    case ffExponent: s = FormatExponent(d, Precision, std::clamp(Digits, 0, 4), sep); break;
    case ffFixed: s = FormatFixed(d, Precision, std::clamp(Digits, 0, 18), sep); break;
    default: s = FormatGeneral(d, Precision, std::clamp(Digits, 0, 4), sep); break;
  }
  WideString r;
  r.reserve(s.size());
  for (char c : s) r += c == sep ? DecimalSep : static_cast<char16_t>(c);
  return r;
}

bool TryStrToFloat(const WideString& S, double& Value, WideChar DecimalSep) {
  WideString t = Trim(S);
  std::string a;
  size_t i = 0, n = t.size();
  if (i < n && (t[i] == u'+' || t[i] == u'-')) {
    if (t[i] == u'-') a += '-';
    ++i;
  }
  int mantissaDigits = 0;
  while (i < n && t[i] >= u'0' && t[i] <= u'9') a += static_cast<char>(t[i++]), ++mantissaDigits;
  if (i < n && t[i] == DecimalSep) {
    a += '.';
    ++i;
    while (i < n && t[i] >= u'0' && t[i] <= u'9') a += static_cast<char>(t[i++]), ++mantissaDigits;
  }
  if (mantissaDigits == 0) return false;
  if (i < n && (t[i] == u'e' || t[i] == u'E')) {
    a += 'e';
    ++i;
    if (i < n && (t[i] == u'+' || t[i] == u'-')) a += static_cast<char>(t[i++]);
    int expDigits = 0;
    while (i < n && t[i] >= u'0' && t[i] <= u'9') a += static_cast<char>(t[i++]), ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != n) return false;
  double v = 0;
  auto res = std::from_chars(a.data(), a.data() + a.size(), v, std::chars_format::general);
  if (res.ec != std::errc() || res.ptr != a.data() + a.size()) return false;
  Value = v;
  return true;
}

double StrToFloat(const WideString& S, WideChar DecimalSep) {
  double v;
  if (!TryStrToFloat(S, v, DecimalSep)) throw EConvertError(u"'" + S + u"' is not a valid floating point value");
  return v;
}

double StrToFloatDef(const WideString& S, double Default, WideChar DecimalSep) {
  double v;
  return TryStrToFloat(S, v, DecimalSep) ? v : Default;
}

WideChar LocaleDecimalSeparator() {
  const lconv* lc = std::localeconv();
  if (lc && lc->decimal_point && static_cast<unsigned char>(lc->decimal_point[0]) < 0x80 && lc->decimal_point[0])
    return static_cast<WideChar>(lc->decimal_point[0]);
  return u'.';
}

// ---------------------------------------------------------------------------
// Code pages

namespace {

struct TCodePageTable {
  char16_t ToWide[256];
  std::unordered_map<char16_t, uint8_t> ToAnsi;
};

// Built once per code page from iconv, then used as plain tables.
const TCodePageTable& CodePageTable(int CodePage) {
  static std::mutex lock;
  static std::map<int, std::unique_ptr<TCodePageTable>> tables;
  if (!IsCodePageSupported(CodePage))
    throw EConvertError(std::string("Unsupported code page ") + std::to_string(CodePage));
  std::lock_guard<std::mutex> guard(lock);
  auto& slot = tables[CodePage];
  if (slot) return *slot;
  auto t = std::make_unique<TCodePageTable>();
  std::string name = "CP" + std::to_string(CodePage);
  iconv_t cd = iconv_open("UTF-16LE", name.c_str());
  bool defined[256] = {};
  for (int b = 0; b < 256; ++b) {
    char16_t w = static_cast<char16_t>(b);
    defined[b] = b < 0x80;
    if (cd != reinterpret_cast<iconv_t>(-1) && b >= 0x80) {
      char in = static_cast<char>(b);
      unsigned char out[8];
      char* ip = &in;
      char* op = reinterpret_cast<char*>(out);
      size_t il = 1, ol = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1) && sizeof out - ol == 2) {
        w = static_cast<char16_t>(out[0] | (out[1] << 8));
        defined[b] = true;
      }
    }
    t->ToWide[b] = w;
  }
  for (int b = 0; b < 256; ++b)
    if (defined[b]) t->ToAnsi.emplace(t->ToWide[b], static_cast<uint8_t>(b));
  // A byte the code page leaves undefined keeps its value as code point, unless
  // a defined byte maps there; then it takes a private-use code point. Either
  // way every byte comes back unchanged.
  for (int b = 0x80; b < 256; ++b) {
    if (defined[b]) continue;
    char16_t w = static_cast<char16_t>(b);
    if (t->ToAnsi.count(w)) w = static_cast<char16_t>(0xF700 + b);
    t->ToWide[b] = w;
    t->ToAnsi.emplace(w, static_cast<uint8_t>(b));
  }
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  slot = std::move(t);
  return *slot;
}

}  // namespace

bool IsCodePageSupported(int CodePage) { return CodePage >= 1250 && CodePage <= 1258; }

WideString AnsiToWide(const AnsiString& S, int CodePage) {
  const TCodePageTable& t = CodePageTable(CodePage);
  WideString r;
  r.resize(S.size());
  for (size_t i = 0; i < S.size(); ++i) r[i] = t.ToWide[static_cast<unsigned char>(S[i])];
  return r;
}

AnsiString WideToAnsi(const WideString& S, int CodePage) {
  const TCodePageTable& t = CodePageTable(CodePage);
  AnsiString r;
  r.reserve(S.size());
  for (size_t i = 0; i < S.size(); ++i) {
    char16_t c = S[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < S.size() && S[i + 1] >= 0xDC00 && S[i + 1] <= 0xDFFF) {
      r += '?';  // one character outside the BMP is one replacement
      ++i;
      continue;
    }
    auto it = t.ToAnsi.find(c);
    r += it == t.ToAnsi.end() ? '?' : static_cast<char>(it->second);
  }
  return r;
}

int CharsetToCodePage(int Charset) {
  switch (Charset) {
    case 238: return 1250;  // Central European
    case 204: return 1251;  // Cyrillic
    case 161: return 1253;  // Greek
    case 162: return 1254;  // Turkish
    case 177: return 1255;  // Hebrew
    case 178: return 1256;  // Arabic
    case 186: return 1257;  // Baltic
    case 163: return 1258;  // Vietnamese
    default: return 1252;
  }
}

int GetSystemAnsiCodePage() {
  const char* vars[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  std::string lang;
  for (const char* v : vars) {
    const char* e = std::getenv(v);
    if (e && *e) {
      lang = e;
      break;
    }
  }
  lang = lang.substr(0, lang.find_first_of("_.@"));
  static const std::pair<const char*, int> kMap[] = {
      {"ru", 1251}, {"uk", 1251}, {"be", 1251}, {"bg", 1251}, {"sr", 1251}, {"mk", 1251},
      {"el", 1253}, {"pl", 1250}, {"cs", 1250}, {"sk", 1250}, {"hu", 1250}, {"hr", 1250},
      {"sl", 1250}, {"ro", 1250}, {"tr", 1254}, {"he", 1255}, {"ar", 1256}, {"fa", 1256},
      {"lt", 1257}, {"lv", 1257}, {"et", 1257}, {"vi", 1258},
  };
  for (const auto& [code, cp] : kMap)
    if (lang == code) return cp;
  return 1252;
}
