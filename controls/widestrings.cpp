// Wide-string helpers and platform flags of the control set.
#include "controls/widestrings.h"

#include <algorithm>
#include <iterator>

#include "platform/base/strutils.h"

const bool WideApiAvailable = true;
const bool IsWindowsXPOrLater = true;
const bool IsWindows2003OrLater = true;
const bool IsWindowsVistaOrLater = true;

namespace {

struct TCharRange {
  WideChar First, Last;
};

// Space characters: the C0 blanks, NEL, the no-break spaces and the
// separators of the Unicode space class.
constexpr TCharRange SpaceRanges[] = {
    {0x0009, 0x000D}, {0x0020, 0x0020}, {0x0085, 0x0085}, {0x00A0, 0x00A0}, {0x1680, 0x1680},
    {0x2000, 0x200A}, {0x2028, 0x2029}, {0x202F, 0x202F}, {0x205F, 0x205F}, {0x3000, 0x3000},
};

// Punctuation and symbols (the class counts both), ordered by first unit.
// Letters that sit among Latin-1's symbols (ª, µ, º) are left out.
constexpr TCharRange PunctRanges[] = {
    {0x0021, 0x002F}, {0x003A, 0x0040}, {0x005B, 0x0060}, {0x007B, 0x007E}, {0x00A1, 0x00A9},
    {0x00AB, 0x00B4}, {0x00B6, 0x00B9}, {0x00BB, 0x00BF}, {0x00D7, 0x00D7}, {0x00F7, 0x00F7},
    {0x037E, 0x037E}, {0x0387, 0x0387}, {0x055A, 0x055F}, {0x0589, 0x058A}, {0x05BE, 0x05BE},
    {0x05C0, 0x05C0}, {0x05C3, 0x05C3}, {0x05F3, 0x05F4}, {0x060C, 0x060C}, {0x061B, 0x061B},
    {0x061F, 0x061F}, {0x066A, 0x066D}, {0x0964, 0x0965}, {0x0E3F, 0x0E3F}, {0x2010, 0x2027},
    {0x2030, 0x205E}, {0x207A, 0x207E}, {0x208A, 0x208E}, {0x20A0, 0x20CF}, {0x2190, 0x23FF},
    {0x2500, 0x27BF}, {0x2900, 0x2BFF}, {0x2E00, 0x2E7F}, {0x3001, 0x3003}, {0x3008, 0x3011},
    {0x3014, 0x301F}, {0xFE10, 0xFE19}, {0xFE30, 0xFE6F}, {0xFF01, 0xFF0F}, {0xFF1A, 0xFF20},
    {0xFF3B, 0xFF40}, {0xFF5B, 0xFF65}, {0xFFE0, 0xFFEE},
};

template <size_t N>
bool InRanges(const TCharRange (&Ranges)[N], WideChar Ch) {
  auto It = std::upper_bound(std::begin(Ranges), std::end(Ranges), Ch,
                             [](WideChar C, const TCharRange& R) { return C < R.First; });
  if (It == std::begin(Ranges)) return false;
  --It;
  return Ch <= It->Last;
}

// Upper case of one unit when it stays one unit; the unit itself otherwise.
WideChar SimpleUpper(WideChar Ch) {
  if (Ch < 0x80) return (Ch >= u'a' && Ch <= u'z') ? static_cast<WideChar>(Ch - 32) : Ch;
  if (Ch >= 0xD800 && Ch <= 0xDFFF) return Ch;
  WideString U = WideUpperCase(WideString(1, Ch));
  return U.size() == 1 ? U[0] : Ch;
}

}  // namespace

void WideUpperCaseCopy(const WideString& Text, WideString& Result) {
  WideString Out(Text);
  for (WideChar& C : Out) C = SimpleUpper(C);
  Result = std::move(Out);
}

void WideStringReplace(const WideString& Text, const WideString& OldPattern, const WideString& NewPattern,
                       WideString& Result, bool WholeWords, Integer Flags) {
  // An empty pattern is found at every position and would never advance.
  if (OldPattern.empty()) {
    Result = Text;
    return;
  }
  const bool IgnoreCase = (Flags & wrfIgnoreCase) != 0;
  const bool ReplaceAll = (Flags & wrfReplaceAll) != 0;
  WideString Search, Pattern;
  if (IgnoreCase) {
    WideUpperCaseCopy(Text, Search);
    WideUpperCaseCopy(OldPattern, Pattern);
  } else {
    Search = Text;
    Pattern = OldPattern;
  }
  // Search and Rest have the same length throughout (the case mapping keeps
  // lengths), so one offset addresses both; positions are 0-based here.
  WideString Rest = Text;
  WideString Out;
  const size_t Len = OldPattern.size();
  while (!Search.empty()) {
    const size_t At = Search.find(Pattern);
    if (At == WideString::npos) {
      Out += Rest;
      break;
    }
    if (WholeWords) {
      const WideChar Before = At == 0 ? WideLastChar(Out) : Rest[At - 1];
      const WideChar After = At + Len < Rest.size() ? Rest[At + Len] : WideChar(0);
      if (!IsWordBoundaryChar(Before) || !IsWordBoundaryChar(After)) {
        Out.append(Rest, 0, At + Len);
        Rest.erase(0, At + Len);
        Search.erase(0, At + Len);
        continue;
      }
    }
    Out.append(Rest, 0, At);
    Out += NewPattern;
    Rest.erase(0, At + Len);
    Search.erase(0, At + Len);
    if (!ReplaceAll) {
      Out += Rest;
      break;
    }
  }
  Result = std::move(Out);
}

Integer WidePosFrom(const WideString& Pattern, const WideString& Text, Integer Offset) {
  WideString Tail = Text;
  WideDelete(Tail, 1, Offset);
  const Integer P = Pos(Pattern, Tail);
  return P < 1 ? 0 : Offset + P;
}

void WideDelete(WideString& Text, Integer Index, Integer Count) {
  const int64_t Length = static_cast<int64_t>(Text.size());
  if (Length == 0 || Index < 1 || Index > Length || Count < 1) return;
  const int64_t N = std::min<int64_t>(Count, Length - Index + 1);
  Text.erase(static_cast<size_t>(Index - 1), static_cast<size_t>(N));
}

WideChar WideLastChar(const WideString& Text) { return Text.empty() ? WideChar(0) : Text.back(); }

void WideFromBuffer(const WideChar* Buffer, WideString& Text) {
  Text = Buffer ? WideString(Buffer) : WideString();
}

const WideChar* CharNextW(const WideChar* P) {
  if (!P || *P == 0) return P;
  if (P[0] >= 0xD800 && P[0] <= 0xDBFF && P[1] >= 0xDC00 && P[1] <= 0xDFFF) return P + 2;
  return P + 1;
}

Word CharTypeBits(WideChar Ch, Word InfoType) {
  if (InfoType != CT_CTYPE1) return 0;
  Word Bits = 0;
  if (InRanges(SpaceRanges, Ch)) Bits |= C1_SPACE;
  if (InRanges(PunctRanges, Ch)) Bits |= C1_PUNCT;
  return Bits;
}

bool IsSpaceChar(WideChar Ch) { return (CharTypeBits(Ch, CT_CTYPE1) & C1_SPACE) != 0; }
bool IsPunctChar(WideChar Ch) { return (CharTypeBits(Ch, CT_CTYPE1) & C1_PUNCT) != 0; }
bool IsWordBoundaryChar(WideChar Ch) { return Ch == 0 || IsSpaceChar(Ch) || IsPunctChar(Ch); }
