// The format registry (one ordered list of the formats the system knows:
// built-in ones and those of plug-ins) and content sniffing, which decides a
// stream's format from its first bytes.
#pragma once

#include <memory>
#include <vector>

#include "imaging/core/base/ieprogress.h"
#include "platform/base/classes.h"
#include "platform/base/types.h"

// File-type ids shared by the registry, FILETYPE of the parameter record and
// the load and save dispatch.
using TIEFileType = Integer;
enum : TIEFileType {
  ieftUnknown = 0,
  ieftTIFF = 1,
  ieftGIF = 2,
  ieftJPEG = 3,
  ieftPCX = 4,
  ieftBMP = 5,
  ieftICO = 6,
  ieftCUR = 7,
  ieftPNG = 8,
  ieftWMF = 9,
  ieftEMF = 10,
  ieftTGA = 11,
  ieftPXM = 12,
  ieftJP2 = 13,
  ieftJ2K = 14,
  ieftAVI = 15,
  ieftWBMP = 16,
  ieftPS = 17,
  ieftPDF = 18,
  ieftDCX = 19,
  ieftRAW = 20,
  ieftBMPRAW = 21,
  ieftPSD = 24,
  ieftIEV = 25,
  ieftLYR = 26,
  ieftALL = 27,
  ieftDICOM = 28,
  ieftHDP = 29,
  ieftUSER = 4096,  // first plug-in id
};

// Pages of the save-parameters dialog a format uses, one bit each: 2 the page
// of the current file type, 4 JPEG, 8 TIFF, 16 GIF, 32 BMP, 64 PCX, 128 PNG,
// 256 TGA, 512 JPEG 2000.
using TIEParamsDialogPages = Word;

class TIEFileFormatInfo : public TObject {
 public:
  TIEFileType FileType = 0;  // unique in the registry
  WideString FullName;
  WideString Extensions;      // upper case, no dots, ";" between them; may be empty
  bool InternalFormat = false;  // built in: the dispatch never calls its read routine
  TIEParamsDialogPages DialogPages = 0;
  TIEReadRoutine ReadRoutine;    // empty: the format cannot be read
  TIEWriteRoutine WriteRoutine;  // empty: the format cannot be written
  TIEProbeRoutine ProbeRoutine;  // empty: no probe

  // A new entry with the same fields (the registry replaces entries instead of
  // changing them, so that an entry a reader holds never changes under it).
  std::unique_ptr<TIEFileFormatInfo> Clone() const;
};

using TIEFileFormatInfoRef = std::shared_ptr<const TIEFileFormatInfo>;

// Capability markers of the built-in entries: the dispatch routes built-in
// formats to its own methods, so these only say "can read" / "can write".
// The placeholder read and write do nothing; the placeholder probe answers
// false (built-in formats are probed inside IEFindStreamFormat).
void IEPlaceholderRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                       bool Preview);
void IEPlaceholderWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
bool IEPlaceholderProbe(TStream* Stream, Integer FileType);

// Built by the I/O start-up, freed at shut-down. Every operation takes the
// registry's lock: lookups share it, changes hold it alone. Lookups return a
// reference that stays valid even when the entry is unregistered meanwhile.
void IEBuildFormatRegistry();
void IEFreeFormatRegistry();
// The I/O unit's step of the library start-up (IEStartup) and shut-down
// (IEShutdown), registered for iessZiduzUvIO: the format registry is built
// at start-up and freed at shut-down.
void IEStartupZiduzUvIO();
void IEShutdownZiduzUvIO();
// Appends Info; the registry owns it. Nothing when Info is nil.
void IERegisterFormat(std::unique_ptr<TIEFileFormatInfo> Info);
// Removes the entry with that id; nothing when there is none.
void IEUnregisterFormat(TIEFileType FileType);
// First entry with that id, or nil.
TIEFileFormatInfoRef IEFindFormatInfo(TIEFileType FileType);
// Case-insensitive; one leading "." is ignored. Nil for the empty text.
TIEFileFormatInfoRef IEFindFormatInfoByExtension(const WideString& Ext);
// Number of extensions of the entry; 0 for an unknown id.
Integer IEGetFormatExtensionCount(TIEFileType FileType);
// The Index-th extension (from 0) as stored; empty past the end or for an unknown id.
void IEGetFormatExtension(TIEFileType FileType, Integer Index, WideString& Ext);
WideString IEGetFormatExtension(TIEFileType FileType, Integer Index);
// True when the file name's extension belongs to an entry with a read routine.
bool IECanReadFileExtension(const WideString& FileName);
// Offers GIF reading and writing exactly while the GIF LZW hooks are set.
void IEUpdateGIFFormatInfo();
// All entries in list order (a snapshot).
std::vector<TIEFileFormatInfoRef> IEFormatRegistrySnapshot();

// The stream's format by content, or 0. The stream position is the same
// afterwards; nothing is raised.
TIEFileType IEFindStreamFormat(TStream* Stream);
// The file's format by content, reconciled with its extension (Verify: a
// content that disagrees with the extension gives 0). Nothing is raised.
TIEFileType IEFindFileFormat(const WideString& FileName, bool Verify);
// "RIFF" at the position and "AVI " eight bytes further; position restored.
bool IEProbeAVI(TStream* Stream);

// The codec of a built-in format, as the I/O companion's per-format methods
// and parameter reads call it, with the shapes of the registry's routines:
// a reader reads at the stream position (offsets count from there), fills
// Params and, unless Preview, the picture; it puts transparency into the
// picture's alpha channel and reports the number of images or frames the
// source holds in IMAGECOUNT. A writer writes at the stream position and
// stores the picture's alpha channel where its format can. Both report
// failure through the progress record and never raise. An empty routine
// means the codec is not built: the methods of that format refuse.
struct TIEBuiltInCodec {
  using TBeforeWrite = std::function<void(TIOParamsVals& Params)>;
  TIEBuiltInCodec() = default;
  TIEBuiltInCodec(TIEReadRoutine ARead, TIEWriteRoutine AWrite, TBeforeWrite ABeforeWrite = nullptr)
      : Read(std::move(ARead)), Write(std::move(AWrite)), BeforeWrite(std::move(ABeforeWrite)) {}
  TIEReadRoutine Read;
  TIEWriteRoutine Write;
  // Run by the save methods once the picture is prepared, before Write (the
  // JPEG row rebuilds its markers from the metadata here). May be empty.
  TBeforeWrite BeforeWrite;
};
// The codec wired for a built-in format (empty routines for any other id).
TIEBuiltInCodec IEGetBuiltInCodec(TIEFileType FileType);
// Replaces the codec of a built-in format and returns the previous one; an
// id without a codec row is ignored (the result is then empty).
TIEBuiltInCodec IESetBuiltInCodec(TIEFileType FileType, TIEBuiltInCodec Codec);
