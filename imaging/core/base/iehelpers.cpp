// Text, number and memory helpers of the imaging library.
#include "imaging/core/base/iehelpers.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/base/pages.h"
#include "platform/base/strutils.h"
#include "platform/base/sysutils.h"

// ---------------------------------------------------------------------------
// Windows-1252: the project's code page for 8-bit texts, converted by the
// platform layer.

AnsiString IEWideToAnsi(const WideString& S) { return WideToAnsi(S, 1252); }

WideString IEAnsiToWide(const AnsiString& S) { return AnsiToWide(S, 1252); }

// ---------------------------------------------------------------------------
// Numbers as text

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Strict decimal number with "." as separator: blanks, sign, digits with an
// optional fraction, optional exponent, blanks. At least one mantissa digit.
bool ParseFloatDot(const AnsiString& s, Extended& out) {
  size_t i = 0, n = s.size();
  while (i < n && IsBlank(s[i])) ++i;
  while (n > i && IsBlank(s[n - 1])) --n;
  if (i == n) return false;
  AnsiString t;
  bool neg = false;
  if (s[i] == '+' || s[i] == '-') neg = s[i++] == '-';
  size_t digits = 0;
  while (i < n && s[i] >= '0' && s[i] <= '9') t.push_back(s[i++]), ++digits;
  if (i < n && s[i] == '.') {
    t.push_back(s[i++]);
    while (i < n && s[i] >= '0' && s[i] <= '9') t.push_back(s[i++]), ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    t.push_back('e');
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) t.push_back(s[i++]);
    size_t ed = 0;
    while (i < n && s[i] >= '0' && s[i] <= '9') t.push_back(s[i++]), ++ed;
    if (ed == 0) return false;
  }
  if (i != n) return false;
  Extended v = 0;
  auto r = std::from_chars(t.data(), t.data() + t.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    // from_chars refuses results below the normal range; those still read
    // (as subnormal numbers or 0), only overflow does not.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    if (!cLocale) return false;
    v = strtold_l(t.c_str(), nullptr, cLocale);
    if (std::isinf(v)) return false;
  } else if (r.ec != std::errc() || r.ptr != t.data() + t.size()) {
    return false;
  }
  out = neg ? -v : v;
  return true;
}

// Decimal digits and exponent of |v| rounded to prec significant digits:
// |v| = 0.d1d2d3... x 10^exp (exp = digits before the point). Trailing zeros
// are kept, so digits has exactly prec characters. v must be finite and non-zero.
void DecimalDigits(Extended v, int prec, std::string& digits, int& exp) {
  char buf[128];
  auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, prec - 1);
  std::string s(buf, r.ptr);
  size_t e = s.find('e');
  digits.clear();
  for (size_t i = 0; i < e; ++i)
    if (s[i] != '.') digits.push_back(s[i]);
  exp = std::atoi(s.c_str() + e + 1) + 1;
}

std::string StripTrailingZeros(std::string d) {
  while (d.size() > 1 && d.back() == '0') d.pop_back();
  return d;
}

std::string ExponentText(int exp, int minDigits, bool plus) {
  std::string s = exp < 0 ? "-" : (plus ? "+" : "");
  std::string n = std::to_string(exp < 0 ? -exp : exp);
  if (static_cast<int>(n.size()) < minDigits) n.insert(0, minDigits - n.size(), '0');
  return s + n;
}

std::string NonFinite(Extended v) {
  if (std::isnan(v)) return "NAN";
  return v < 0 ? "-INF" : "INF";
}

// The general form: fixed when the value has at most prec integer digits and is
// at least 1e-4, else scientific; trailing zeros dropped.
std::string FormatGeneral(Extended v, int prec, int expDigits, const std::string& dec) {
  if (!std::isfinite(v)) return NonFinite(v);
  if (v == 0) return "0";
  std::string d;
  int exp;
  DecimalDigits(v, prec, d, exp);
  d = StripTrailingZeros(d);
  std::string r = v < 0 ? "-" : "";
  if (exp > prec || exp < -3) {
    r += d[0];
    if (d.size() > 1) r += dec + d.substr(1);
    r += "E" + ExponentText(exp - 1, expDigits, false);
    return r;
  }
  if (exp <= 0) {
    r += "0" + dec + std::string(-exp, '0') + d;
  } else if (static_cast<int>(d.size()) <= exp) {
    r += d + std::string(exp - d.size(), '0');
  } else {
    r += d.substr(0, exp) + dec + d.substr(exp);
  }
  return r;
}

std::string FormatExponent(Extended v, int prec, int expDigits, const std::string& dec) {
  if (!std::isfinite(v)) return NonFinite(v);
  std::string d;
  int exp = 1;
  if (v == 0) {
    d.assign(prec, '0');
  } else {
    DecimalDigits(v, prec, d, exp);
  }
  std::string r = v < 0 ? "-" : "";
  r += d[0];
  if (d.size() > 1) r += dec + d.substr(1);
  r += "E" + ExponentText(v == 0 ? 0 : exp - 1, expDigits, true);
  return r;
}

std::string FormatFixed(Extended v, int prec, int decimals, const std::string& dec, const std::string& thousands) {
  if (!std::isfinite(v)) return NonFinite(v);
  int exp = 0;
  if (v != 0) {
    std::string d;
    DecimalDigits(v, prec, d, exp);
    if (exp > prec) return FormatGeneral(v, prec, 0, dec);
  }
  // Round the exact binary value to no more than prec significant digits.
  int keep = std::min(decimals, std::max(0, prec - exp));
  char buf[256];
  auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::fixed, keep);
  std::string s(buf, r.ptr);
  size_t point = s.find('.');
  std::string ip = point == std::string::npos ? s : s.substr(0, point);
  std::string fp = point == std::string::npos ? "" : s.substr(point + 1);
  fp.append(decimals - fp.size(), '0');
  if (!thousands.empty()) {
    std::string g;
    int cnt = 0;
    for (size_t i = ip.size(); i-- > 0;) {
      if (cnt && cnt % 3 == 0) g.insert(0, thousands);
      g.insert(g.begin(), ip[i]);
      ++cnt;
    }
    ip = g;
  }
  bool allZero = s.find_first_not_of("0.") == std::string::npos;
  std::string out = (v < 0 && !allZero) ? "-" : "";
  out += ip;
  if (decimals > 0) out += dec + fp;
  return out;
}

}  // namespace

Extended IEStrToFloatDefAnsi(const AnsiString& S, Extended Default) {
  Extended v;
  if (ParseFloatDot(S, v)) return v;
  // The second try takes the other separator: the first "," becomes ".".
  size_t comma = S.find(',');
  if (comma == AnsiString::npos) return Default;
  AnsiString t = S;
  t[comma] = '.';
  if (ParseFloatDot(t, v)) return v;
  return Default;
}

Extended IEStrToFloatDef(const WideString& S, Extended Default) {
  return IEStrToFloatDefAnsi(IEWideToAnsi(S), Default);
}

Extended IEWideStrToFloatDef(const WideString& S, Extended Default) {
  return IEStrToFloatDefAnsi(IEWideToAnsi(S), Default);
}

void IEFloatToAnsiStr(AnsiString& Text, Extended Value) { Text = FormatGeneral(Value, 15, 0, "."); }

void IEFloatToStr(WideString& Text, Extended Value) { Text = Utf8ToWide(FormatGeneral(Value, 15, 0, ".")); }

void IEFloatToWideStr(WideString& Text, Extended Value) { IEFloatToStr(Text, Value); }

void IEFloatToStrF(Integer Format, Integer Precision, Integer Digits, WideString& Text, Extended Value) {
  const lconv* lc = std::localeconv();
  std::string dec = lc && lc->decimal_point && *lc->decimal_point ? lc->decimal_point : ".";
  std::string thousands = lc && lc->thousands_sep ? lc->thousands_sep : "";
  int prec = std::clamp<Integer>(Precision, 1, 18);
  std::string s;
  switch (Format) {
    case ieffExponent:
      s = FormatExponent(Value, prec, std::clamp<Integer>(Digits, 0, 4), dec);
      break;
    case ieffFixed:
      s = FormatFixed(Value, prec, std::clamp<Integer>(Digits, 0, 18), dec, "");
      break;
    case ieffNumber:
    case ieffCurrency:
      s = FormatFixed(Value, prec, std::clamp<Integer>(Digits, 0, 18), dec, thousands);
      break;
    default:
      s = FormatGeneral(Value, prec, std::clamp<Integer>(Digits, 0, 4), dec);
      break;
  }
  Text = Utf8ToWide(s);
}

void IEFloatToFraction(Integer& Numerator, Integer& Denominator, double Value, double Tolerance) {
  const double s = Value >= 0 ? 1 : -1;
  const double f = std::fabs(Value);
  constexpr double kMax = 2147483647.0;
  if (std::isnan(Value)) {
    Numerator = 0;
    Denominator = 1;
    return;
  }
  if (f > 1e19) {
    Numerator = static_cast<Integer>(s * 999999999);
    Denominator = 1;
    return;
  }
  if (f >= kMax + 0.5) {
    // No 32-bit fraction comes closer than the largest numerator.
    Numerator = static_cast<Integer>(s * kMax);
    Denominator = 1;
    return;
  }
  if (f == std::trunc(f)) {
    Numerator = static_cast<Integer>(Trunc(Value));
    Denominator = 1;
    return;
  }
  if (f < 1e-19) {
    Numerator = static_cast<Integer>(s);
    Denominator = 999999999;
    return;
  }
  int64_t d = 1, prevD = 0;
  int64_t n = static_cast<int64_t>(f + 0.5);
  if (n > static_cast<int64_t>(kMax)) n = static_cast<int64_t>(kMax);
  double x = f;
  for (int step = 0; step < 64; ++step) {
    const double frac = x - std::trunc(x);
    if (frac == 0) break;
    x = 1 / frac;
    if (!(x < 4e18)) break;  // the next term alone would overflow the denominator
    const int64_t a = static_cast<int64_t>(x);
    const double newD = static_cast<double>(prevD) + static_cast<double>(a) * static_cast<double>(d);
    if (newD > kMax) break;
    const double newN = std::trunc(f * newD + 0.5);
    if (newN > kMax) break;
    prevD = d;
    d = static_cast<int64_t>(newD);
    n = static_cast<int64_t>(newN);
    if (std::fabs(f - static_cast<double>(n) / static_cast<double>(d)) < Tolerance) break;
  }
  Numerator = static_cast<Integer>(s * static_cast<double>(n));
  Denominator = static_cast<Integer>(d);
}

// ---------------------------------------------------------------------------
// Colours, booleans and control characters as text

void IERGBToText(WideString& Text, Integer Value) {
  const Cardinal v = static_cast<Cardinal>(Value);
  Text = Utf8ToWide(std::to_string((v >> 16) & 0xFF) + "," + std::to_string((v >> 8) & 0xFF) + "," +
                    std::to_string(v & 0xFF));
}

namespace {

// A trimmed decimal integer with optional sign; false when it does not read.
bool ParseDecimal(const AnsiString& text, int64_t& out) {
  AnsiString t = IETrimA(text);
  if (t.empty()) return false;
  const char* b = t.data();
  const char* e = b + t.size();
  if (*b == '+') ++b;
  auto r = std::from_chars(b, e, out);
  return r.ec == std::errc() && r.ptr == e;
}

}  // namespace

void IEStrToIntList(const WideString& Text, TRGB& Colour) {
  const AnsiString t = IEWideToAnsi(Text);
  Byte values[3] = {0, 0, 0};
  size_t start = 0;
  for (int i = 0; i < 3 && start <= t.size(); ++i) {
    size_t comma = t.find(',', start);
    AnsiString part = t.substr(start, comma == AnsiString::npos ? AnsiString::npos : comma - start);
    int64_t v = 0;
    if (ParseDecimal(part, v)) values[i] = static_cast<Byte>(std::clamp<int64_t>(v, 0, 255));
    if (comma == AnsiString::npos) break;
    start = comma + 1;
  }
  Colour.r = values[0];
  Colour.g = values[1];
  Colour.b = values[2];
}

void IEBoolToText(bool Value, WideString& Text) { Text = Value ? u"1" : u"0"; }

bool IEStrToBool(const WideString& Text) {
  const AnsiString u = IEUpperCaseA(IEWideToAnsi(Text));
  return u == "1" || u == "TRUE" || u == "T";
}

void IERemoveControlChars(const WideString& Text, WideString& Result) {
  WideString r;
  r.reserve(Text.size());
  for (char16_t c : Text)
    if (c >= 32 && c != 127) r.push_back(c);
  Result = r;
}

// ---------------------------------------------------------------------------
// GUIDs

void IEGUIDToStr(const TGUID& GUID, WideString& Text) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", GUID.D1, GUID.D2, GUID.D3,
                GUID.D4[0], GUID.D4[1], GUID.D4[2], GUID.D4[3], GUID.D4[4], GUID.D4[5], GUID.D4[6], GUID.D4[7]);
  Text = Utf8ToWide(buf);
}

bool IEStrToGUID(const WideString& Text, TGUID& GUID) {
  GUID = TGUID{};
  if (Text.size() < 38) return false;
  // Hex value of the digits at the 1-based places first..last.
  bool ok = true;
  auto hex = [&](int first, int last) {
    uint64_t v = 0;
    for (int i = first; i <= last; ++i) {
      char16_t c = Text[i - 1];
      int d;
      if (c >= u'0' && c <= u'9') d = c - u'0';
      else if (c >= u'A' && c <= u'F') d = c - u'A' + 10;
      else if (c >= u'a' && c <= u'f') d = c - u'a' + 10;
      else {
        ok = false;
        d = 0;
      }
      v = v * 16 + static_cast<uint64_t>(d);
    }
    return v;
  };
  TGUID g{};
  g.D1 = static_cast<Cardinal>(hex(2, 9));
  g.D2 = static_cast<Word>(hex(11, 14));
  g.D3 = static_cast<Word>(hex(16, 19));
  g.D4[0] = static_cast<Byte>(hex(21, 22));
  g.D4[1] = static_cast<Byte>(hex(23, 24));
  for (int i = 0; i < 6; ++i) g.D4[2 + i] = static_cast<Byte>(hex(26 + 2 * i, 27 + 2 * i));
  if (!ok) return false;
  GUID = g;
  return true;
}

bool IEEqualGUID(const TGUID& A, const TGUID& B) { return std::memcmp(&A, &B, sizeof(TGUID)) == 0; }

// ---------------------------------------------------------------------------
// C strings and 8-bit wrappers

WideChar* IEStrCopyW(WideChar* Dest, const WideChar* Source) {
  WideChar* d = Dest;
  while ((*d++ = *Source++) != 0) {
  }
  return Dest;
}

char* IEStrNewA(const char* Text) {
  if (!Text) return nullptr;
  const size_t n = std::strlen(Text) + 1;
  char* p = static_cast<char*>(std::malloc(n));
  if (p) std::memcpy(p, Text, n);
  return p;
}

AnsiString IETrimA(const AnsiString& Text) {
  size_t b = 0, e = Text.size();
  while (b < e && static_cast<unsigned char>(Text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(Text[e - 1]) <= ' ') --e;
  return Text.substr(b, e - b);
}

AnsiString IEUpperCaseA(const AnsiString& Text) {
  AnsiString r = Text;
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

AnsiString IELowerCaseA(const AnsiString& Text) {
  AnsiString r = Text;
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

AnsiString IEIntToStrA(int64_t Value) { return std::to_string(Value); }

AnsiString IEIntToHexA(Integer Value, Integer Digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%X", static_cast<Cardinal>(Value));
  AnsiString s = buf;
  if (Digits > static_cast<Integer>(s.size())) s.insert(0, std::min<Integer>(Digits, 64) - s.size(), '0');
  return s;
}

Integer IEStrToIntDefA(const AnsiString& Text, Integer Default) {
  size_t i = 0;
  while (i < Text.size() && Text[i] == ' ') ++i;
  bool neg = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) neg = Text[i++] == '-';
  int base = 10;
  if (i < Text.size() && Text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < Text.size() && Text[i] == '0' && (Text[i + 1] == 'x' || Text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= Text.size()) return Default;
  uint64_t v = 0;
  auto r = std::from_chars(Text.data() + i, Text.data() + Text.size(), v, base);
  if (r.ec != std::errc() || r.ptr != Text.data() + Text.size()) return Default;
  if (base == 16) {
    // Hexadecimal texts are 32-bit patterns: $FFFFFFFF is -1.
    if (v > 0xFFFFFFFFull) return Default;
    const auto pattern = static_cast<Integer>(static_cast<Cardinal>(v));
    return neg ? static_cast<Integer>(0u - static_cast<Cardinal>(pattern)) : pattern;
  }
  if (neg ? v > 2147483648ull : v > 2147483647ull) return Default;
  return neg ? static_cast<Integer>(-static_cast<int64_t>(v)) : static_cast<Integer>(v);
}

AnsiString IECopyA(const AnsiString& Text, Integer Index, Integer Count) {
  if (Index < 1) Index = 1;
  if (Count <= 0 || static_cast<size_t>(Index) > Text.size()) return AnsiString();
  return Text.substr(static_cast<size_t>(Index - 1), static_cast<size_t>(Count));
}

Integer IEPosA(const AnsiString& Sub, const AnsiString& Text) {
  if (Sub.empty()) return 0;
  const size_t p = Text.find(Sub);
  return p == AnsiString::npos ? 0 : static_cast<Integer>(p + 1);
}

void IECopyList(const TList* Source, TList* Dest) {
  Dest->SetCount(Source->Count());
  for (Integer i = 0; i < Source->Count(); ++i) Dest->SetItems(i, Source->Items(i));
}

// ---------------------------------------------------------------------------
// Memory

namespace {
// The header byte sits just before the returned address; the block starts
// this many bytes earlier so that the address stays aligned for any sample type.
constexpr int64_t kLargeHeader = 16;
constexpr int64_t kLargeThreshold = 0x100000;
}  // namespace

void* IEGlobalAlloc(int64_t Size) {
  if (Size < 0 || static_cast<uint64_t>(Size) >= SIZE_MAX) return nullptr;
  return std::calloc(1, static_cast<size_t>(std::max<int64_t>(Size, 1)));
}

void IEGlobalFree(void*& Block) {
  std::free(Block);
  Block = nullptr;
}

void* IELargeAlloc(int64_t Size) {
  if (Size < 0 || static_cast<uint64_t>(Size) > SIZE_MAX - kLargeHeader - 4) return nullptr;
  const size_t total = static_cast<size_t>(Size) + static_cast<size_t>(kLargeHeader + 4);
  // Both kinds are zero-filled: a block handed out uninitialised leaks heap
  // contents into saved files and makes output irreproducible.
  Byte kind = Size < kLargeThreshold ? 0 : 1;
  Byte* p = nullptr;
  if (total >= kLargePageBlock) {
    p = static_cast<Byte*>(AllocateZeroedPages(total));
    if (p) kind = 2;
  }
  if (!p) p = static_cast<Byte*>(std::calloc(1, total));
  if (!p && kind == 0) {
    kind = 1;
    p = static_cast<Byte*>(std::calloc(1, total));
  }
  if (!p) return nullptr;
  p[kLargeHeader - 1] = kind;
  return p + kLargeHeader;
}

void IELargeFree(void*& Block) {
  if (!Block) return;
  Byte* p = static_cast<Byte*>(Block) - kLargeHeader;
  if (p[kLargeHeader - 1] == 2) FreeZeroedPages(p);
  else std::free(p);
  Block = nullptr;
}

void IETryGetMem(void*& Block, int64_t Size) { Block = IEGlobalAlloc(Size); }
