// The imaging library's own streams (file by wide name, read-only memory,
// read-ahead buffer), the write and copy helpers of the codecs, temporary file
// names, file-name and URL helpers, and the ASCII85, run-length and Base64
// encoders of the PostScript, PDF and source-array writers.
#pragma once

#include <cstdint>

#include "platform/base/classes.h"
#include "platform/base/types.h"

// A file opened by its wide name: the platform's file stream (sharing held
// with advisory locks, a create that empties a file only once it holds it)
// with two differences. A Mode whose access exceeds 2 or whose sharing
// exceeds 4 fails like a missing file, EFOpenError "Cannot open file
// "<full name>". <no such file reason>"; bits outside those two fields are
// ignored.
class TIEWideFileStream : public TFileStream {
 public:
  // Mode 0xFFFF (fmCreate) creates or empties the file for reading and writing.
  TIEWideFileStream(const WideString& FileName, Word Mode);
};

// A read-only stream over memory the caller owns and keeps alive; it is never
// copied, grown or freed. Write writes nothing and returns 0; SetSize does nothing.
class TIEMemStream : public TCustomMemoryStream {
 public:
  TIEMemStream(const void* Buffer, int64_t Size);
  int64_t Write(const void* Buffer, int64_t Count) override;
  void SetSize(int64_t NewSize) override;
};

// A read-ahead buffer in front of Source (not owned). Source's size is taken
// once at creation. In relative mode positions count from where Source stood
// at creation, and a seek never goes before that place; otherwise they are
// Source's own positions. Seeks are clamped to 0..size and set AtEnd when they
// reach the end; a Read cut short at the end sets AtEnd. Write raises.
class TIEBufferedReadStream : public TStream {
 public:
  TIEBufferedReadStream(TStream* Source, Integer BufferSize, bool Relative);
  ~TIEBufferedReadStream() override;
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  // From the end the target is the source size plus Offset.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  // The size without moving the buffer: source size minus the origin.
  int64_t Size() override { return FSourceSize - FOrigin; }
  bool AtEnd() const { return FAtEnd; }

 private:
  void Refill();
  TStream* FSource;
  Integer FBufferSize;
  Byte* FBuffer = nullptr;
  int64_t FPosition = 0;   // absolute position in Source of the next byte
  Integer FBufferIndex = 0;
  Integer FBufferValid = 0;  // bytes the last refill really delivered
  int64_t FSourceSize = 0;
  int64_t FOrigin = 0;
  bool FAtEnd = false;
};

// Writes Count bytes; a short write, or one that raises, sets Aborting (it is
// never set back to false). Never raises.
void IESafeStreamWrite(TStream* Stream, bool& Aborting, const void* Buffer, int64_t Count);
// Copies up to Count bytes from Source's position (Count 0: all of Source from
// its start), never more than Source has left; 64-bit throughout. Raises
// EReadError/EWriteError when Source ends early or Dest takes fewer bytes.
// Returns the count copied.
int64_t IECopyFromStream(TStream* Dest, TStream* Source, int64_t Count);
// Writes Text and CR LF; raises EWriteError on a short write.
void IEWriteLineToStream(TStream* Stream, const AnsiString& Text);

// Name = Folder + Prefix + "-" + 8 upper-case hex digits + ".tmp", drawn again
// while anything (a file, folder or link, even a dangling one) has that name.
// Folder is used unchanged. Safe to call from several threads. The name is
// only a proposal: create the file exclusively (O_EXCL) and retry on EEXIST.
void IEMakeTempFileName(const WideString& Prefix, const WideString& Folder, WideString& Name);
// IEMakeTempFileName("ietemp", folder): IETempFolder when set, else $TMPDIR
// when that is a folder, else /tmp; a "/" is added to the folder when missing.
void IEGetTempFileName(WideString& Name);

// True when the name exists and is not a folder (links are followed).
bool IEFileExists(const WideChar* FileName);
bool IEFileExistsW(const WideString& FileName);

// The extension of the lower-cased name after the last "." of the last path
// element ("/" separated), with the dot when KeepDot; empty when there is none.
// Only for comparing: never open a file by a lower-cased name.
void IEExtractFileExt(const WideString& FileName, bool KeepDot, WideString& Ext);
void IEExtractFileExtA(const AnsiString& FileName, bool KeepDot, AnsiString& Ext);
void IEExtractFileExtW(const WideString& FileName, bool KeepDot, WideString& Ext);
// The text up to and including the last "/" (empty when there is none).
void IEExtractFilePathW(const WideString& FileName, WideString& Path);
// The text after the last "/" (all of it when there is none).
void IEExtractFileNameW(const WideString& FileName, WideString& Name);
// 1 "http://", 2 "https://", 3 "ftp://" at the start (any case), else 0.
Integer IEGetURLType(const WideString& Text);

// ASCII85 of Count bytes at Src into Dest, "~>" CR LF at the end, CR LF after
// a group that takes the line above 74 characters. Dest must hold
// Count / 4 * 5 + 5 characters plus 2 per 75 of them plus 4. Src and Dest
// advance; OutCount grows by the characters of the groups (line breaks and
// terminator not included). Returns all bytes written.
int64_t IEASCII85Encode(const Byte*& Src, int64_t Count, Byte*& Dest, int64_t& OutCount);
// Run-length encoding of the PostScript RunLengthDecode filter, ending with
// 128. A literal run stops at the first byte equal to the one before it, so
// alternating pairs cost 3 bytes per 2: Dest must hold Count + Count / 2 + 3
// bytes. Returns the bytes written.
int64_t IERunLengthEncode(const Byte* Src, int64_t Count, Byte* Dest);
// Base64 (RFC 4648, "=" padding) of Stream from its position to its end into
// TextFile, ceil(LineLength / 4) groups of 4 characters per line, each line
// ending with a line feed. A failing write raises EInOutError.
void IEWriteBase64Text(TStream* Stream, TStream* TextFile, Integer LineLength);
