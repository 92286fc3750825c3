// Reader and writer of the registry file. The reader accepts exactly the shape
// the writer produces (any member order, any white space) and rejects the rest:
// bad UTF-8 or escapes, unknown members, duplicate names, nesting past the
// registry's own limits, numbers out of range and trailing bytes.
#include "platform/registry/registry_file.h"

#include <cstdint>
#include <limits>

namespace gt::reg {
namespace {

constexpr char kFormatName[] = "gimro-tal registry";
constexpr int64_t kFormatVersion = 1;

WideString Ascii(const char* S) { return WideString(S, S + std::char_traits<char>::length(S)); }

class Parser {
 public:
  explicit Parser(std::string_view Bytes)
      : FBegin(Bytes.data()), FPos(Bytes.data()), FEnd(Bytes.data() + Bytes.size()) {}

  bool File(RegTree& Tree);
  const std::string& Error() const { return FError; }

 private:
  bool Fail(const char* What) {
    if (FError.empty())
      FError = std::string(What) + " at byte " + std::to_string(FPos - FBegin);
    return false;
  }
  void Ws() {
    while (FPos < FEnd && (*FPos == ' ' || *FPos == '\t' || *FPos == '\n' || *FPos == '\r')) ++FPos;
  }
  bool Expect(char C, const char* What) {
    Ws();
    if (FPos < FEnd && *FPos == C) {
      ++FPos;
      return true;
    }
    return Fail(What);
  }

  bool String(WideString& Out);
  bool Integer(int64_t& Out);
  // Calls Member(name) for every member of an object; Member parses the value.
  template <class F>
  bool Object(F&& Member);
  bool KeyNode(RegKey& Key, size_t Depth);
  bool Value(RegValue& V);

  const char* FBegin;
  const char* FPos;
  const char* FEnd;
  std::string FError;
};

int HexDigit(uint32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

bool Parser::String(WideString& Out) {
  Ws();
  if (FPos >= FEnd || *FPos != '"') return Fail("expected a string");
  ++FPos;
  Out.clear();
  for (;;) {
    if (FPos >= FEnd) return Fail("unterminated string");
    const auto c = static_cast<unsigned char>(*FPos);
    if (c == '"') {
      ++FPos;
      return true;
    }
    if (c == '\\') {
      if (FEnd - FPos < 2) return Fail("unterminated escape");
      char e = FPos[1];
      FPos += 2;
      switch (e) {
        case '"': Out.push_back(u'"'); break;
        case '\\': Out.push_back(u'\\'); break;
        case '/': Out.push_back(u'/'); break;
        case 'b': Out.push_back(u'\b'); break;
        case 'f': Out.push_back(u'\f'); break;
        case 'n': Out.push_back(u'\n'); break;
        case 'r': Out.push_back(u'\r'); break;
        case 't': Out.push_back(u'\t'); break;
        case 'u': {
          if (FEnd - FPos < 4) return Fail("truncated \\u escape");
          uint32_t unit = 0;
          for (int k = 0; k < 4; ++k) {
            int d = HexDigit(static_cast<unsigned char>(FPos[k]));
            if (d < 0) return Fail("bad \\u escape");
            unit = (unit << 4) | static_cast<uint32_t>(d);
          }
          FPos += 4;
          // Units go in as they stand: a lone surrogate that the writer escaped
          // comes back unchanged.
          Out.push_back(static_cast<char16_t>(unit));
          break;
        }
        default:
          FPos -= 2;
          return Fail("bad escape");
      }
      continue;
    }
    if (c < 0x20) return Fail("control character in string");
    if (c < 0x80) {
      Out.push_back(static_cast<char16_t>(c));
      ++FPos;
      continue;
    }
    int len;
    uint32_t cp;
    if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; }
    else return Fail("invalid UTF-8");
    if (FEnd - FPos < len) return Fail("truncated UTF-8");
    for (int k = 1; k < len; ++k) {
      const auto t = static_cast<unsigned char>(FPos[k]);
      if ((t & 0xC0) != 0x80) return Fail("invalid UTF-8");
      cp = (cp << 6) | (t & 0x3F);
    }
    static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return Fail("invalid UTF-8");
    FPos += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      Out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      Out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      Out.push_back(static_cast<char16_t>(cp));
    }
  }
}

bool Parser::Integer(int64_t& Out) {
  Ws();
  bool negative = false;
  if (FPos < FEnd && *FPos == '-') {
    negative = true;
    ++FPos;
  }
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  if (FPos >= FEnd || !isDigit(*FPos)) return Fail("expected an integer");
  if (*FPos == '0' && FPos + 1 < FEnd && isDigit(FPos[1])) return Fail("leading zero");
  int64_t v = 0;
  int digits = 0;
  while (FPos < FEnd && isDigit(*FPos)) {
    if (++digits > 10) return Fail("integer out of range");
    v = v * 10 + (*FPos - '0');
    ++FPos;
  }
  if (FPos < FEnd && (*FPos == '.' || *FPos == 'e' || *FPos == 'E'))
    return Fail("expected an integer");
  Out = negative ? -v : v;
  return true;
}

template <class F>
bool Parser::Object(F&& Member) {
  if (!Expect('{', "expected '{'")) return false;
  Ws();
  if (FPos < FEnd && *FPos == '}') {
    ++FPos;
    return true;
  }
  for (;;) {
    WideString name;
    if (!String(name)) return false;
    if (!Expect(':', "expected ':'")) return false;
    if (!Member(name)) return false;
    Ws();
    if (FPos < FEnd && *FPos == ',') {
      ++FPos;
      continue;
    }
    if (FPos < FEnd && *FPos == '}') {
      ++FPos;
      return true;
    }
    return Fail("expected ',' or '}'");
  }
}

bool Parser::Value(RegValue& V) {
  bool typed = false;
  bool ok = Object([&](const WideString& type) {
    if (typed) return Fail("a value has exactly one type");
    typed = true;
    if (type == u"string" || type == u"expand_string") {
      V.Type = type == u"string" ? rdString : rdExpandString;
      return String(V.Text);
    }
    if (type == u"integer") {
      int64_t n = 0;
      if (!Integer(n)) return false;
      if (n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<uint32_t>::max())
        return Fail("integer out of range");
      V.Type = rdInteger;
      V.Number = static_cast<uint32_t>(n);
      return true;
    }
    if (type == u"binary") {
      WideString hex;
      if (!String(hex)) return false;
      if (hex.size() % 2 != 0) return Fail("odd number of hex digits");
      V.Type = rdBinary;
      V.Bytes.resize(hex.size() / 2);
      for (size_t i = 0; i < V.Bytes.size(); ++i) {
        int hi = HexDigit(hex[2 * i]), lo = HexDigit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return Fail("bad hex digit");
        V.Bytes[i] = static_cast<Byte>(hi * 16 + lo);
      }
      return true;
    }
    return Fail("unknown value type");
  });
  if (!ok) return false;
  if (!typed) return Fail("value without a type");
  return true;
}

bool Parser::KeyNode(RegKey& Key, size_t Depth) {
  bool haveValues = false, haveKeys = false;
  return Object([&](const WideString& member) {
    if (member == u"values") {
      if (haveValues) return Fail("duplicate \"values\"");
      haveValues = true;
      return Object([&](const WideString& name) {
        if (name.size() > kMaxValueNameLength) return Fail("value name too long");
        if (Key.FindValue(name)) return Fail("duplicate value name");
        RegValue v;
        v.Name = name;
        if (!Value(v)) return false;
        Key.SetValue(std::move(v));
        return true;
      });
    }
    if (member == u"keys") {
      if (haveKeys) return Fail("duplicate \"keys\"");
      haveKeys = true;
      return Object([&](const WideString& name) {
        if (name.empty() || name.size() > kMaxKeyNameLength || name.find(u'\\') != WideString::npos)
          return Fail("invalid key name");
        if (Depth + 1 > kMaxKeyDepth) return Fail("keys nested too deeply");
        if (Key.FindSubKey(name)) return Fail("duplicate key name");
        return KeyNode(Key.AddSubKey(name), Depth + 1);
      });
    }
    return Fail("unknown member of a key");
  });
}

bool Parser::File(RegTree& Tree) {
  if (static_cast<size_t>(FEnd - FBegin) > kMaxFileSize) return Fail("file too large");
  if (FEnd - FPos >= 3 && static_cast<unsigned char>(FPos[0]) == 0xEF &&
      static_cast<unsigned char>(FPos[1]) == 0xBB && static_cast<unsigned char>(FPos[2]) == 0xBF)
    FPos += 3;
  bool haveFormat = false, haveVersion = false, haveRoots = false;
  bool ok = Object([&](const WideString& member) {
    if (member == u"format") {
      if (haveFormat) return Fail("duplicate \"format\"");
      haveFormat = true;
      WideString name;
      if (!String(name)) return false;
      if (name != Ascii(kFormatName)) return Fail("not a registry file");
      return true;
    }
    if (member == u"version") {
      if (haveVersion) return Fail("duplicate \"version\"");
      haveVersion = true;
      int64_t version = 0;
      if (!Integer(version)) return false;
      if (version != kFormatVersion) return Fail("unsupported version");
      return true;
    }
    if (member == u"roots") {
      if (haveRoots) return Fail("duplicate \"roots\"");
      haveRoots = true;
      bool seen[rrCount] = {};
      return Object([&](const WideString& name) {
        for (int r = 0; r < rrCount; ++r) {
          if (name != Ascii(kRootNames[r])) continue;
          if (seen[r]) return Fail("duplicate root");
          seen[r] = true;
          return KeyNode(Tree.Roots[r], 0);
        }
        return Fail("unknown root");
      });
    }
    return Fail("unknown member");
  });
  if (!ok) return false;
  Ws();
  if (FPos != FEnd) return Fail("trailing data");
  if (!haveFormat || !haveVersion) return Fail("missing \"format\" or \"version\"");
  return true;
}

void AppendUtf8(std::string& Out, uint32_t Cp) {
  if (Cp < 0x80) {
    Out.push_back(static_cast<char>(Cp));
  } else if (Cp < 0x800) {
    Out.push_back(static_cast<char>(0xC0 | (Cp >> 6)));
    Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
  } else if (Cp < 0x10000) {
    Out.push_back(static_cast<char>(0xE0 | (Cp >> 12)));
    Out.push_back(static_cast<char>(0x80 | ((Cp >> 6) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
  } else {
    Out.push_back(static_cast<char>(0xF0 | (Cp >> 18)));
    Out.push_back(static_cast<char>(0x80 | ((Cp >> 12) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | ((Cp >> 6) & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
  }
}

// JSON string of UTF-16 text. Valid pairs become UTF-8; lone surrogates are
// escaped so that any WideString survives the trip through the file.
void AppendString(std::string& Out, const WideString& S) {
  static const char kHex[] = "0123456789abcdef";
  auto escapeUnit = [&](uint32_t u) {
    Out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) Out.push_back(kHex[(u >> shift) & 0xF]);
  };
  Out.push_back('"');
  for (size_t i = 0; i < S.size(); ++i) {
    uint32_t c = S[i];
    switch (c) {
      case '"': Out += "\\\""; continue;
      case '\\': Out += "\\\\"; continue;
      case '\n': Out += "\\n"; continue;
      case '\r': Out += "\\r"; continue;
      case '\t': Out += "\\t"; continue;
      default: break;
    }
    if (c < 0x20 || c == 0x7F) {
      escapeUnit(c);
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < S.size() && S[i + 1] >= 0xDC00 && S[i + 1] <= 0xDFFF) {
      AppendUtf8(Out, 0x10000 + ((c - 0xD800) << 10) + (S[i + 1] - 0xDC00u));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      escapeUnit(c);
    } else {
      AppendUtf8(Out, c);
    }
  }
  Out.push_back('"');
}

void Indent(std::string& Out, size_t Level) { Out.append(Level * 2, ' '); }

void AppendValue(std::string& Out, const RegValue& V) {
  static const char kHex[] = "0123456789abcdef";
  AppendString(Out, V.Name);
  switch (V.Type) {
    case rdString:
    case rdExpandString:
      Out += V.Type == rdString ? ": {\"string\": " : ": {\"expand_string\": ";
      AppendString(Out, V.Text);
      break;
    case rdInteger:
      Out += ": {\"integer\": ";
      Out += std::to_string(static_cast<int32_t>(V.Number));
      break;
    default:
      Out += ": {\"binary\": \"";
      for (Byte b : V.Bytes) {
        Out.push_back(kHex[b >> 4]);
        Out.push_back(kHex[b & 0xF]);
      }
      Out.push_back('"');
      break;
  }
  Out.push_back('}');
}

void AppendKey(std::string& Out, const RegKey& Key, size_t Level) {
  Out.push_back('{');
  bool any = false;
  if (!Key.Values().empty()) {
    Out.push_back('\n');
    Indent(Out, Level + 1);
    Out += "\"values\": {";
    bool first = true;
    for (const auto& v : Key.Values()) {
      Out += first ? "\n" : ",\n";
      first = false;
      Indent(Out, Level + 2);
      AppendValue(Out, v);
    }
    Out.push_back('\n');
    Indent(Out, Level + 1);
    Out.push_back('}');
    any = true;
  }
  if (!Key.SubKeys().empty()) {
    Out += any ? ",\n" : "\n";
    Indent(Out, Level + 1);
    Out += "\"keys\": {";
    bool first = true;
    for (const auto& entry : Key.SubKeys()) {
      Out += first ? "\n" : ",\n";
      first = false;
      Indent(Out, Level + 2);
      AppendString(Out, entry.second->Name);
      Out += ": ";
      AppendKey(Out, *entry.second, Level + 2);
    }
    Out.push_back('\n');
    Indent(Out, Level + 1);
    Out.push_back('}');
    any = true;
  }
  if (any) {
    Out.push_back('\n');
    Indent(Out, Level);
  }
  Out.push_back('}');
}

}  // namespace

bool ParseRegistryFile(std::string_view Bytes, RegTree& Tree, std::string& Error) {
  Tree.Clear();
  Parser parser(Bytes);
  if (parser.File(Tree)) {
    Error.clear();
    return true;
  }
  Tree.Clear();
  Error = parser.Error();
  return false;
}

std::string FormatRegistryFile(const RegTree& Tree) {
  std::string out = "{\n  \"format\": \"";
  out += kFormatName;
  out += "\",\n  \"version\": " + std::to_string(kFormatVersion) + ",\n  \"roots\": {";
  bool first = true;
  for (int r = 0; r < rrCount; ++r) {
    if (Tree.Roots[r].Empty()) continue;
    out += first ? "\n" : ",\n";
    first = false;
    Indent(out, 2);
    out += '"';
    out += kRootNames[r];
    out += "\": ";
    AppendKey(out, Tree.Roots[r], 2);
  }
  out += first ? "}\n}\n" : "\n  }\n}\n";
  return out;
}

}  // namespace gt::reg
