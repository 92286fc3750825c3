// The built-in formats, one row each. Rows of formats whose module is not
// built yet keep their registry entry and route their loads and saves to a
// refusal, so that the system answers for them as it always has.
#include "imaging/io/ieformatdesc.h"

#include <algorithm>
#include <cstring>

#include "imaging/io/iejpeg.h"
#include "imaging/io/iejpeg2000.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/iepng.h"
#include "imaging/io/ieprobes.h"
#include "imaging/io/ietiffcodec.h"
#include "platform/base/strutils.h"

namespace {

bool Signature(TStream* S, int64_t Start, const char* Bytes, int64_t Count) {
  Byte h[8];
  return IEReadAt(S, Start, h, Count) == Count && std::memcmp(h, Bytes, Count) == 0;
}

// The 12-byte stream headers and the fixed signatures. The size thresholds
// are part of the behaviour: a stream of 12 bytes or fewer never matches a
// stream header.
bool SniffJFIFHeader(TStream* S, int64_t Start, int64_t Size) { return Size > 12 && Signature(S, Start, "JFIF\0", 5); }
bool SniffGIF(TStream* S, int64_t Start, int64_t Size) { return Size > 13 && Signature(S, Start, "GIF", 3); }
bool SniffPCX2Header(TStream* S, int64_t Start, int64_t Size) { return Size > 12 && Signature(S, Start, "PCX2\0", 5); }
bool SniffOldPCXHeader(TStream* S, int64_t Start, int64_t Size) { return Size > 4 && Signature(S, Start, "PCX\0", 4); }
bool SniffBM(TStream* S, int64_t Start, int64_t Size) { return Size > 14 && Signature(S, Start, "BM", 2); }
// A PCX file header: manufacturer 10, version up to 5, run-length encoding 1
// and 1, 2, 4 or 8 bits per plane. The last two keep a TGA whose image ID is
// 10 bytes long (its first byte is 10, its second 0 or 1) out.
bool SniffPCXFile(TStream* S, int64_t Start, int64_t Size) {
  Byte h[4];
  return Size > 128 && IEReadAt(S, Start, h, 4) == 4 && h[0] == 10 && h[1] <= 5 && h[2] == 1 &&
         (h[3] == 1 || h[3] == 2 || h[3] == 4 || h[3] == 8);
}
bool SniffTIFFHeader(TStream* S, int64_t Start, int64_t Size) { return Size > 12 && Signature(S, Start, "TIFF\0", 5); }

// The codecs' own probes, which read at the stream position.
bool SniffHDPhoto(TStream* S, int64_t, int64_t) { return IEProbeHDPhoto(S); }
// A TIFF that is not a camera raw.
bool SniffTIFF(TStream* S, int64_t, int64_t) { return IEProbeTIFF(S) && !IEProbeTIFFRaw(S); }
bool SniffPNG(TStream* S, int64_t, int64_t Size) { return Size > 8 && IEProbePNG(S); }
bool SniffDICOM(TStream* S, int64_t, int64_t) { return IEProbeDICOM(S); }
bool SniffICO(TStream* S, int64_t, int64_t) { return IEProbeICO(S); }
bool SniffCUR(TStream* S, int64_t, int64_t) { return IEProbeCUR(S); }
bool SniffTGA(TStream* S, int64_t, int64_t) { return IEProbeTGA(S); }
bool SniffPNM(TStream* S, int64_t, int64_t) { return IEProbePNM(S); }
bool SniffJP2(TStream* S, int64_t, int64_t) { return IEProbeJP2(S); }
bool SniffJ2K(TStream* S, int64_t, int64_t) { return IEProbeJ2K(S); }
bool SniffAVI(TStream* S, int64_t, int64_t) { return IEProbeAVI(S); }
bool SniffDCX(TStream* S, int64_t, int64_t) { return IEProbeDCX(S); }
bool SniffWMF(TStream* S, int64_t, int64_t) { return IEProbeWMF(S); }
bool SniffEMF(TStream* S, int64_t, int64_t) { return IEProbeEMF(S); }
bool SniffPSD(TStream* S, int64_t, int64_t) { return IEProbePSD(S); }
bool SniffIEV(TStream* S, int64_t, int64_t) { return IEIsVectorObjectsStream(S); }
bool SniffLYR(TStream* S, int64_t, int64_t) { return IEIsLayersStream(S); }
bool SniffALL(TStream* S, int64_t, int64_t) { return IEIsImageWithObjectsStream(S); }
// A JPEG start of image within the first bytes: the last built-in test,
// because many formats may hold one.
bool SniffJPEGStart(TStream* S, int64_t, int64_t) { return IEProbeJPEG(S, true) >= 0; }
bool SniffRAW(TStream* S, int64_t, int64_t) { return IEProbeRAW(S); }

// A row names only what differs from the defaults of TIEFormatDescriptor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
std::vector<TIEFormatDescriptor> BuildDescriptors() {
  // clang-format off
  return {
      {.FileType = ieftTIFF, .FullName = "TIFF", .Extensions = "TIF;TIFF;FAX;G3N;G3F;XIF", .DialogPages = 8,
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierMethod,
       .Magic = "TIFF", .SyncFile = true, .SyncStream = true, .Resolution = true, .NameAfterFinish = true,
       .Sniff = {{7, SniffTIFFHeader}, {9, SniffTIFF}},
       .Codec = {IETIFFReadRoutine, IETIFFWriteRoutine}},
      {.FileType = ieftGIF, .FullName = "CompuServe GIF", .Extensions = "GIF", .DialogPages = 16,
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierMethod,
       .Resolution = true, .NameAfterFinish = true, .GIFBackground = true,
       .Sniff = {{2, SniffGIF}},
       .Codec = {IEGIFReadRoutine, IEGIFWriteRoutine}},
      {.FileType = ieftJPEG, .FullName = "JPEG", .Extensions = "JPG;JPEG;JPE;JIF", .DialogPages = 4,
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierMethod,
       .Magic = "JFIF", .HeaderAlways = true, .SyncFile = true, .SyncStream = true, .Resolution = true,
       .SaveAs24 = true,
       .Sniff = {{1, SniffJFIFHeader}, {26, SniffJPEGStart}},
       // The markers (resolution, IPTC, EXIF, XMP) are rebuilt from the parameters before writing.
       .Codec = {IEJpegReadRoutine, IEJpegWriteRoutine, IEUpdateJPEGMarkers}},
      {.FileType = ieftPCX, .FullName = "PCX - PaintBrush", .Extensions = "PCX", .DialogPages = 64,
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierMethod,
       .Magic = "PCX2", .SyncFile = true, .SyncStream = true, .Resolution = true, .NameAfterFinish = true,
       .SaveAs24 = true, .HeaderOnlyWhenWritten = true,
       .Sniff = {{3, SniffPCX2Header}, {4, SniffOldPCXHeader}, {6, SniffPCXFile}},
       .Codec = {IEPCXReadRoutine, IEPCXWriteRoutine}},
      {.FileType = ieftBMP, .FullName = "BMP - Windows Bitmap", .Extensions = "BMP;DIB;RLE", .DialogPages = 32,
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierMethod,
       .SyncFile = true, .SyncStream = true, .Resolution = true, .NameAfterFinish = true,
       .Sniff = {{5, SniffBM}},
       .Codec = {IEBMPReadRoutine, IEBMPWriteRoutine}},
      {.FileType = ieftBMPRAW, .FullName = "Camera RAW", .Extensions = "",
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierGeneric,
       .Codec = {IEBMPRAWReadRoutine, nullptr}},
      {.FileType = ieftICO, .FullName = "ICO - Windows Icon", .Extensions = "ICO",
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierMethod,
       .SyncFile = true, .Resolution = true, .SaveAs24 = true,
       .Sniff = {{12, SniffICO}},
       .Codec = {IEICOReadRoutine, IEICOWriteRoutine}},
      {.FileType = ieftCUR, .FullName = "CUR - Windows Cursor", .Extensions = "CUR",
       .CanRead = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierGeneric,
       .SyncFile = true, .Resolution = true,
       .Sniff = {{13, SniffCUR}},
       .Codec = {IECURReadRoutine, nullptr}},
      {.FileType = ieftPNG, .FullName = "PNG - Portable Network Graphics", .Extensions = "PNG", .DialogPages = 128,
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierMethod,
       .SyncFile = true, .SyncStream = true, .Resolution = true, .PNGBackground = true,
       .Sniff = {{10, SniffPNG}},
       .Codec = {IEPngReadRoutine, IEPngWriteRoutine}},
      {.FileType = ieftDICOM, .FullName = "DICOM Bitmap", .Extensions = "DCM;DIC;DICOM",
       .CanRead = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierGeneric,
       .Sniff = {{11, SniffDICOM}},
       .Codec = {IEDICOMReadRoutine, nullptr}},
      {.FileType = ieftWMF, .FullName = "WMF - Windows Metafile", .Extensions = "WMF",
       .CanRead = true,
       .FileLoad = ierGeneric, .StreamLoad = ierGeneric, .Save = ierGeneric,
       .Sniff = {{20, SniffWMF}}},
      {.FileType = ieftEMF, .FullName = "EMF - Enhanced Windows Metafile", .Extensions = "EMF",
       .CanRead = true,
       .FileLoad = ierGeneric, .StreamLoad = ierGeneric, .Save = ierGeneric,
       .Sniff = {{21, SniffEMF}}},
      {.FileType = ieftTGA, .FullName = "Targa Bitmap", .Extensions = "TGA;TARGA;VDA;ICB;VST;PIX", .DialogPages = 256,
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierMethod,
       .SyncFile = true, .Resolution = true, .SaveAs24 = true,
       .Sniff = {{14, SniffTGA}},
       .Codec = {IETGAReadRoutine, IETGAWriteRoutine}},
      {.FileType = ieftPXM, .FullName = "Portable Pixmap, GrayMap, BitMap", .Extensions = "PXM;PPM;PGM;PBM",
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierMethod,
       .Resolution = true, .SaveAs24 = true,
       .Sniff = {{15, SniffPNM}},
       .Codec = {IEPNMReadRoutine, IEPNMWriteRoutine}},
      {.FileType = ieftWBMP, .FullName = "WBMP - Wireless Bitmap", .Extensions = "WBMP",
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierMethod,
       .Codec = {IEWBMPReadRoutine, IEWBMPWriteRoutine}},
      {.FileType = ieftJP2, .FullName = "JPEG2000", .Extensions = "JP2", .DialogPages = 512,
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierMethod,
       .SyncFile = true, .SyncStream = true, .Resolution = true, .SaveAs24 = true,
       .Sniff = {{16, SniffJP2}},
       .Codec = {IEJPEG2000ReadRoutine, IEJP2WriteRoutine}},
      {.FileType = ieftJ2K, .FullName = "JPEG2000 Code Stream", .Extensions = "J2K;JPC;J2C", .DialogPages = 512,
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierMethod,
       .SyncFile = true, .SyncStream = true, .Resolution = true, .SaveAs24 = true,
       .Sniff = {{17, SniffJ2K}},
       .Codec = {IEJPEG2000ReadRoutine, IEJ2KWriteRoutine}},
      // By id, a PostScript or PDF file load goes by the file's extension.
      {.FileType = ieftPS, .FullName = "PostScript Level 2", .Extensions = "PS;EPS",
       .CanWrite = true,
       .FileLoad = ierGeneric, .StreamLoad = ierGeneric, .Save = ierMethod,
       .SaveAs24 = true,
       .Codec = {nullptr, IEPostScriptWriteRoutine}},
      {.FileType = ieftPDF, .FullName = "Adobe PDF", .Extensions = "PDF",
       .CanWrite = true,
       .FileLoad = ierGeneric, .StreamLoad = ierGeneric, .Save = ierMethod,
       .SaveAs24 = true,
       .Codec = {nullptr, IEPDFWriteRoutine}},
      {.FileType = ieftDCX, .FullName = "Multipage PCX", .Extensions = "DCX",
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierMethod,
       .SyncFile = true, .SyncStream = true, .Resolution = true, .NameAfterFinish = true, .EmptyBeforeSave = true,
       .Sniff = {{19, SniffDCX}},
       .Codec = {IEDCXReadRoutine, IEDCXWriteRoutine}},
      {.FileType = ieftRAW, .FullName = "Camera RAW", .Extensions = "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2",
       .CanRead = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierGeneric,
       // Last of all, after the plug-ins' probes.
       .Sniff = {{28, SniffRAW}},
       .Codec = {IERAWReadRoutine, nullptr}},
      {.FileType = ieftPSD, .FullName = "Photoshop PSD", .Extensions = "PSD",
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierMethod,
       .SyncFile = true, .SyncStream = true, .Resolution = true,
       .Sniff = {{22, SniffPSD}},
       .Codec = {IEPSDReadRoutine, IEPSDWriteRoutine}},
      {.FileType = ieftIEV, .FullName = "Vectorial objects", .Extensions = "IEV",
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierLayered, .StreamLoad = ierLayered, .Save = ierGeneric,
       .Sniff = {{23, SniffIEV}}},
      {.FileType = ieftLYR, .FullName = "Layers", .Extensions = "LYR",
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierLayered, .StreamLoad = ierLayered, .Save = ierGeneric,
       .Sniff = {{24, SniffLYR}}},
      {.FileType = ieftALL, .FullName = "Layers and objects", .Extensions = "ALL",
       .CanRead = true, .CanWrite = true,
       .FileLoad = ierLayered, .StreamLoad = ierLayered, .Save = ierGeneric,
       .Sniff = {{25, SniffALL}}},
      // The probe recognises HD Photo content even where the registry has no entry for it.
      {.FileType = ieftHDP, .FullName = "Microsoft HD Photo", .Extensions = "WDP;HDP",
       .CanRead = true, .CanWrite = true, .NeedsWIC = true,
       .FileLoad = ierMethod, .StreamLoad = ierMethod, .Save = ierMethod,
       .SyncFile = true, .SyncStream = true, .Resolution = true,
       .Sniff = {{8, SniffHDPhoto}},
       .Codec = {IEHDPhotoReadRoutine, IEHDPhotoWriteRoutine}},
      // Video files: recognised by content, loaded by a loader of their own.
      {.FileType = ieftAVI, .Registered = false,
       .Sniff = {{18, SniffAVI}}},
  };
  // clang-format on
}
#pragma GCC diagnostic pop

struct TSniffEntry {
  Integer Order;
  bool (*Test)(TStream*, int64_t, int64_t);
  TIEFileType FileType;
};

const std::vector<TSniffEntry>& SniffCascade() {
  static const std::vector<TSniffEntry> cascade = [] {
    std::vector<TSniffEntry> c;
    for (const TIEFormatDescriptor& d : IEFormatDescriptors())
      for (const TIESniffStep& s : d.Sniff)
        if (s.Order > 0 && s.Test) c.push_back({s.Order, s.Test, d.FileType});
    std::stable_sort(c.begin(), c.end(), [](const TSniffEntry& a, const TSniffEntry& b) { return a.Order < b.Order; });
    return c;
  }();
  return cascade;
}

}  // namespace

const std::vector<TIEFormatDescriptor>& IEFormatDescriptors() {
  static const std::vector<TIEFormatDescriptor> table = BuildDescriptors();
  return table;
}

const TIEFormatDescriptor* IEFindFormatDescriptor(TIEFileType FileType) {
  for (const TIEFormatDescriptor& d : IEFormatDescriptors())
    if (d.FileType == FileType) return &d;
  return nullptr;
}

std::vector<std::unique_ptr<TIEFileFormatInfo>> IEBuiltInFormatEntries(bool WICAvailable) {
  std::vector<std::unique_ptr<TIEFileFormatInfo>> list;
  for (const TIEFormatDescriptor& d : IEFormatDescriptors()) {
    if (!d.Registered || (d.NeedsWIC && !WICAvailable)) continue;
    auto info = std::make_unique<TIEFileFormatInfo>();
    info->FileType = d.FileType;
    info->FullName = W(d.FullName);
    info->Extensions = W(d.Extensions);
    info->InternalFormat = true;
    info->DialogPages = d.DialogPages;
    if (d.CanRead) info->ReadRoutine = IEPlaceholderRead;
    if (d.CanWrite) info->WriteRoutine = IEPlaceholderWrite;
    info->ProbeRoutine = IEPlaceholderProbe;
    list.push_back(std::move(info));
  }
  return list;
}

TIEFileType IESniffBuiltIn(TStream* Stream, int64_t Start, int64_t Size, bool AfterPlugIns) {
  for (const TSniffEntry& e : SniffCascade()) {
    if ((e.Order > IEPlugInProbeOrder) != AfterPlugIns) continue;
    Stream->SetPosition(Start);
    const bool hit = e.Test(Stream, Start, Size);
    Stream->SetPosition(Start);
    if (hit) return e.FileType;
  }
  return ieftUnknown;
}

WideString IEFormatDisplayName(const TIEFormatDescriptor& Format) {
  return Format.FullName[0] ? W(Format.FullName) : W("format ") + IntToStr(Format.FileType);
}

WideString IENotBuiltText(const TIEFormatDescriptor& Format, const WideString* FileName, bool Write) {
  return (FileName ? W("\"") + *FileName + W("\"") : W("the stream")) + W(": ") + IEFormatDisplayName(Format) +
         (Write ? W(" cannot be written: its writer is not built") : W(" cannot be read: its reader is not built"));
}
