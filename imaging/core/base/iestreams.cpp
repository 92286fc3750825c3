// Imaging streams, codec write helpers, temporary names, file-name helpers and
// the text encoders of the PostScript, PDF and source-array writers.
#include "imaging/core/base/iestreams.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

#include "imaging/core/base/ieglobals.h"
#include "imaging/core/base/iehelpers.h"
#include "platform/base/fileutils.h"
#include "platform/base/sysutils.h"

namespace {

// The platform stream refuses a bad mode word with its own reason and rejects
// bits outside the access and sharing fields; this stream fails like a missing
// file for access above 2 or sharing above 4 and ignores the other bits.
Word CheckedMode(const WideString& FileName, Word Mode) {
  if (Mode == fmCreate) return Mode;
  if ((Mode & 3) > 2 || ((Mode >> 4) & 0xF) > 4)
    throw EFOpenError(W("Cannot open file \"") + ExpandFileName(FileName) + W("\". ") + SysErrorMessage(ENOENT));
  return Mode & 0xF3;
}

}  // namespace

// ---------------------------------------------------------------------------
// TIEWideFileStream

TIEWideFileStream::TIEWideFileStream(const WideString& FileName, Word Mode)
    : TFileStream(FileName, CheckedMode(FileName, Mode)) {}

// ---------------------------------------------------------------------------
// TIEMemStream

TIEMemStream::TIEMemStream(const void* Buffer, int64_t Size) {
  // The memory is only ever read: Write and SetSize below refuse to change it.
  SetPointer(const_cast<void*>(Buffer), std::max<int64_t>(Size, 0));
}

int64_t TIEMemStream::Write(const void*, int64_t) { return 0; }

void TIEMemStream::SetSize(int64_t) {}

// ---------------------------------------------------------------------------
// TIEBufferedReadStream

TIEBufferedReadStream::TIEBufferedReadStream(TStream* Source, Integer BufferSize, bool Relative)
    : FSource(Source), FBufferSize(std::max<Integer>(BufferSize, 1)) {
  FSourceSize = std::max<int64_t>(Source->Size(), 0);
  FPosition = std::max<int64_t>(Source->Position(), 0);
  FOrigin = Relative ? FPosition : 0;
  FBuffer = new Byte[static_cast<size_t>(FBufferSize)];
  Refill();
}

TIEBufferedReadStream::~TIEBufferedReadStream() { delete[] FBuffer; }

void TIEBufferedReadStream::Refill() {
  FBufferIndex = 0;
  FBufferValid = 0;
  if (FSource->Seek(FPosition, soBeginning) != FPosition) return;
  const int64_t got = FSource->Read(FBuffer, FBufferSize);
  FBufferValid = static_cast<Integer>(std::clamp<int64_t>(got, 0, FBufferSize));
}

int64_t TIEBufferedReadStream::Read(void* Buffer, int64_t Count) {
  FAtEnd = false;
  if (Count <= 0) return 0;
  const int64_t left = FSourceSize - FPosition;
  if (left < Count) {
    Count = std::max<int64_t>(left, 0);
    FAtEnd = true;
  }
  auto* out = static_cast<Byte*>(Buffer);
  int64_t done = 0;
  while (done < Count) {
    if (FBufferIndex >= FBufferValid) {
      Refill();
      if (FBufferValid == 0) {
        // Source delivered less than its size promised.
        FAtEnd = true;
        break;
      }
    }
    const int64_t n = std::min<int64_t>(FBufferValid - FBufferIndex, Count - done);
    if (n == 1) {
      out[done] = FBuffer[FBufferIndex];
    } else {
      std::memcpy(out + done, FBuffer + FBufferIndex, static_cast<size_t>(n));
    }
    FBufferIndex += static_cast<Integer>(n);
    FPosition += n;
    done += n;
  }
  return done;
}

int64_t TIEBufferedReadStream::Write(const void*, int64_t) {
  throw Exception("TIEBufferedReadStream cannot write!");
}

int64_t TIEBufferedReadStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  FAtEnd = false;
  int64_t target;
  switch (Origin) {
    case soBeginning: target = FOrigin + Offset; break;
    case soCurrent: target = FPosition + Offset; break;
    case soEnd: target = FSourceSize + Offset; break;
    default: target = FPosition; break;
  }
  if (target < FOrigin) target = FOrigin;
  if (target >= FSourceSize) {
    target = FSourceSize;
    FAtEnd = true;
  }
  const int64_t index = FBufferIndex + (target - FPosition);
  if (index >= 0 && index < FBufferValid) {
    FBufferIndex = static_cast<Integer>(index);
    FPosition = target;
  } else {
    FPosition = target;
    Refill();
  }
  return FPosition - FOrigin;
}

// ---------------------------------------------------------------------------
// Write and copy helpers

void IESafeStreamWrite(TStream* Stream, bool& Aborting, const void* Buffer, int64_t Count) {
  if (Count <= 0) return;
  try {
    if (Stream->Write(Buffer, Count) < Count) Aborting = true;
  } catch (...) {
    Aborting = true;
  }
}

int64_t IECopyFromStream(TStream* Dest, TStream* Source, int64_t Count) {
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->Size();
  }
  Count = std::max<int64_t>(0, std::min<int64_t>(Count, Source->Size() - Source->Position()));
  if (Count == 0) return 0;
  std::vector<Byte> buffer(static_cast<size_t>(std::min<int64_t>(Count, 0x2FFFF)));
  int64_t left = Count;
  while (left > 0) {
    const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buffer.size()));
    Source->ReadBuffer(buffer.data(), n);
    Dest->WriteBuffer(buffer.data(), n);
    left -= n;
  }
  return Count;
}

void IEWriteLineToStream(TStream* Stream, const AnsiString& Text) {
  AnsiString line = Text + "\r\n";
  Stream->WriteBuffer(line.data(), static_cast<int64_t>(line.size()));
}

// ---------------------------------------------------------------------------
// Temporary names

namespace {

// Codecs run in thumbnail threads, so the generator is shared under a lock.
uint32_t NextTempNumber() {
  static std::mutex lock;
  static std::mt19937 gen{std::random_device{}()};
  static std::uniform_int_distribution<uint32_t> dist(0, 2147483646u);
  std::lock_guard<std::mutex> guard(lock);
  return dist(gen);
}

bool NameTaken(const WideString& Name) {
  struct stat st;
  // lstat: a dangling link counts as taken, so the name never leads elsewhere.
  return ::lstat(WideToUtf8(Name).c_str(), &st) == 0;
}

}  // namespace

void IEMakeTempFileName(const WideString& Prefix, const WideString& Folder, WideString& Name) {
  do {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", NextTempNumber());
    Name = Folder + Prefix + u"-" + Utf8ToWide(hex) + u".tmp";
  } while (NameTaken(Name));
}

void IEGetTempFileName(WideString& Name) {
  WideString folder = IETempFolder;
  if (folder.empty()) {
    const char* env = std::getenv("TMPDIR");
    struct stat st;
    if (env && *env && ::stat(env, &st) == 0 && S_ISDIR(st.st_mode))
      folder = Utf8ToWide(env);
    else
      folder = u"/tmp";
  }
  if (folder.back() != u'/') folder += u'/';
  IEMakeTempFileName(u"ietemp", folder, Name);
}

// ---------------------------------------------------------------------------
// File names and URLs

bool IEFileExists(const WideChar* FileName) {
  return FileName && IEFileExistsW(WideString(FileName));
}

bool IEFileExistsW(const WideString& FileName) {
  struct stat st;
  return !FileName.empty() && ::stat(WideToUtf8(FileName).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void IEExtractFileExt(const WideString& FileName, bool KeepDot, WideString& Ext) {
  Ext.clear();
  const size_t slash = FileName.rfind(u'/');
  const size_t dot = FileName.rfind(u'.');
  if (dot == WideString::npos || (slash != WideString::npos && dot < slash)) return;
  Ext = FileName.substr(KeepDot ? dot : dot + 1);
  for (char16_t& c : Ext)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
}

void IEExtractFileExtA(const AnsiString& FileName, bool KeepDot, AnsiString& Ext) {
  WideString e;
  IEExtractFileExt(IEAnsiToWide(FileName), KeepDot, e);
  Ext = IEWideToAnsi(e);
}

void IEExtractFileExtW(const WideString& FileName, bool KeepDot, WideString& Ext) {
  IEExtractFileExt(FileName, KeepDot, Ext);
}

void IEExtractFilePathW(const WideString& FileName, WideString& Path) {
  const size_t slash = FileName.rfind(u'/');
  Path = slash == WideString::npos ? WideString() : FileName.substr(0, slash + 1);
}

void IEExtractFileNameW(const WideString& FileName, WideString& Name) {
  const size_t slash = FileName.rfind(u'/');
  Name = slash == WideString::npos ? FileName : FileName.substr(slash + 1);
}

Integer IEGetURLType(const WideString& Text) {
  const AnsiString t = IELowerCaseA(IEWideToAnsi(Text.substr(0, 8)));
  if (t.rfind("http://", 0) == 0) return 1;
  if (t.rfind("https://", 0) == 0) return 2;
  if (t.rfind("ftp://", 0) == 0) return 3;
  return 0;
}

// ---------------------------------------------------------------------------
// Encoders

int64_t IEASCII85Encode(const Byte*& Src, int64_t Count, Byte*& Dest, int64_t& OutCount) {
  Byte* const start = Dest;
  int64_t line = 0;
  while (Count > 0) {
    const int k = static_cast<int>(std::min<int64_t>(Count, 4));
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | (i < k ? Src[i] : 0);
    Src += k;
    Count -= k;
    int chars;
    if (k == 4 && v == 0) {
      *Dest++ = 'z';
      chars = 1;
    } else {
      Byte digits[5];
      for (int i = 4; i >= 0; --i) {
        digits[i] = static_cast<Byte>(v % 85 + 33);
        v /= 85;
      }
      chars = k + 1;
      std::memcpy(Dest, digits, static_cast<size_t>(chars));
      Dest += chars;
    }
    OutCount += chars;
    line += chars;
    if (line > 74) {
      *Dest++ = '\r';
      *Dest++ = '\n';
      line = 0;
    }
  }
  static const Byte kEnd[4] = {'~', '>', '\r', '\n'};
  std::memcpy(Dest, kEnd, 4);
  Dest += 4;
  return Dest - start;
}

int64_t IERunLengthEncode(const Byte* Src, int64_t Count, Byte* Dest) {
  Byte* out = Dest;
  int64_t i = 0;
  while (i < Count) {
    int64_t run = 1;
    while (i + run < Count && run < 128 && Src[i + run] == Src[i]) ++run;
    if (run >= 2) {
      *out++ = static_cast<Byte>(257 - run);
      *out++ = Src[i];
      i += run;
      continue;
    }
    int64_t lit = 1;
    while (i + lit < Count && lit < 128 && Src[i + lit] != Src[i + lit - 1]) ++lit;
    *out++ = static_cast<Byte>(lit - 1);
    std::memcpy(out, Src + i, static_cast<size_t>(lit));
    out += lit;
    i += lit;
  }
  *out++ = 128;
  return out - Dest;
}

void IEWriteBase64Text(TStream* Stream, TStream* TextFile, Integer LineLength) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const int64_t groupsPerLine = std::max<int64_t>(1, (static_cast<int64_t>(LineLength) + 3) / 4);
  auto put = [TextFile](const std::string& s) {
    if (s.empty()) return;
    if (TextFile->Write(s.data(), static_cast<int64_t>(s.size())) != static_cast<int64_t>(s.size()))
      throw EInOutError("Disk write error");
  };
  std::vector<Byte> in(3 * 21845);
  size_t have = 0;  // bytes waiting in `in`
  bool end = false;
  int64_t groups = 0;  // groups on the current line
  std::string out;
  while (!end || have > 0) {
    if (!end) {
      const int64_t r = Stream->Read(in.data() + have, static_cast<int64_t>(in.size() - have));
      if (r <= 0) end = true;
      else have += static_cast<size_t>(r);
    }
    // Whole groups now; a last one of 1 or 2 bytes only at the end.
    const size_t usable = end ? have : have / 3 * 3;
    size_t i = 0;
    for (; i < usable; i += 3) {
      const size_t n = std::min<size_t>(3, usable - i);
      const uint32_t v = (static_cast<uint32_t>(in[i]) << 16) | (n > 1 ? static_cast<uint32_t>(in[i + 1]) << 8 : 0) |
                         (n > 2 ? in[i + 2] : 0);
      out.push_back(kAlphabet[(v >> 18) & 63]);
      out.push_back(kAlphabet[(v >> 12) & 63]);
      out.push_back(n > 1 ? kAlphabet[(v >> 6) & 63] : '=');
      out.push_back(n > 2 ? kAlphabet[v & 63] : '=');
      if (++groups == groupsPerLine) {
        out.push_back('\n');
        groups = 0;
      }
    }
    std::memmove(in.data(), in.data() + usable, have - usable);
    have -= usable;
    put(out);
    out.clear();
    if (end) break;
  }
  if (groups > 0) put("\n");
}
