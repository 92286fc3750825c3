// One descriptor per built-in format: its registry entry, how the dispatch
// routes its loads and saves, what its load and save methods do around the
// codec, its tests in the content-sniffing cascade and the codec itself. A
// new codec is its module, one row of this table and its fuzz target; the
// dispatch, the registry and the sniffing read the rows and keep no list of
// formats of their own.
#pragma once

#include <cstdint>

#include "imaging/io/ieformats.h"

// Where the dispatch sends one kind of operation for a format.
enum TIEFormatRoute : Byte {
  ierGeneric,  // no method of its own: the dispatch's rule for other ids applies
  ierMethod,   // the format's load or save method, the frame around its codec
  ierRefuse,   // a method of a module not built yet: Aborting and the finish event
  ierLayered,  // into the attached view's layers or objects, else drawn by an off-screen view
};

// One test of the content-sniffing cascade. Test runs with the stream at
// Start (Size = the stream's total size) and may move the position; the
// cascade puts it back. Tests run by Order, ascending; the plug-in probes run
// between the tests below IEPlugInProbeOrder and those above it.
struct TIESniffStep {
  Integer Order = 0;  // 0: no step
  bool (*Test)(TStream* Stream, int64_t Start, int64_t Size) = nullptr;
};
constexpr Integer IEPlugInProbeOrder = 27;

struct TIEFormatDescriptor {
  TIEFileType FileType = ieftUnknown;

  // The registry entry (Registered false: the format is known by content only).
  bool Registered = true;
  const char* FullName = "";
  const char* Extensions = "";  // upper case, ";" between them
  TIEParamsDialogPages DialogPages = 0;
  bool CanRead = false, CanWrite = false;  // the entry's placeholder routines
  bool NeedsWIC = false;                   // registered only when IEWICAvailable()

  // Dispatch by id: LoadFromFile by extension and LoadFromFileFormat; the
  // stream loads (LoadFromStream, LoadFromStreamFormat, LoadFromBuffer); the
  // saves (SaveToStream, and SaveToFile once its extension table chose the id).
  TIEFormatRoute FileLoad = ierGeneric, StreamLoad = ierGeneric, Save = ierGeneric;

  // What the format's load and save methods do around the codec.
  const char* Magic = nullptr;   // its 12-byte stream header, or nil
  bool HeaderAlways = false;     // the stream load takes the header whatever StreamHeaders holds
  bool SyncFile = false;         // the view takes the resolution after a file load
  bool SyncStream = false;       // ... after a stream load
  bool Resolution = false;       // default resolution fixed, unequal resolutions adjusted
  bool NameAfterFinish = false;  // FILENAME set after OnFinishWork (formats sharing a worker)
  bool SaveAs24 = false;         // the writer takes ie24RGB or ie1g only
  bool PNGBackground = false;    // background in and out through PNG_BACKGROUND
  bool GIFBackground = false;    // background from the transparent colour, else GIF_BACKGROUND
  bool EmptyBeforeSave = false;  // the stream save starts from an empty stream (a one-page DCX)
  bool HeaderOnlyWhenWritten = false;  // the stream header is filled in only after a complete write

  // Its tests in the sniffing cascade (a format may be recognised several ways).
  TIESniffStep Sniff[3] = {};

  // The codec wired at start-up; empty routines until the format's module is
  // built. IESetBuiltInCodec replaces it at run time.
  TIEBuiltInCodec Codec;
};

// Every built-in descriptor, registered formats first in registration order
// (extension lookups and plug-in probing take the first match in this order),
// then the formats known by content only.
const std::vector<TIEFormatDescriptor>& IEFormatDescriptors();
// The descriptor of a built-in id, or nil.
const TIEFormatDescriptor* IEFindFormatDescriptor(TIEFileType FileType);
// The registry entries of the built-in formats, in registration order, for a
// platform with or without the HD Photo component.
std::vector<std::unique_ptr<TIEFileFormatInfo>> IEBuiltInFormatEntries(bool WICAvailable);
// The built-in part of the sniffing cascade: the tests of every descriptor
// below (AfterPlugIns false) or above (true) IEPlugInProbeOrder, in order.
// The first that succeeds gives its format; 0 when none does. The stream
// position is left where it was.
TIEFileType IESniffBuiltIn(TStream* Stream, int64_t Start, int64_t Size, bool AfterPlugIns);

// What a refusal logs for a format whose reader (Write false) or writer is
// not built yet: about the file named by FileName, or a stream when nil.
WideString IENotBuiltText(const TIEFormatDescriptor& Format, const WideString* FileName, bool Write);
// The format's full name, or "format N" for a row without one.
WideString IEFormatDisplayName(const TIEFormatDescriptor& Format);
