// The I/O companion: the component through which every picture enters and
// leaves the system. It owns one parameter record and works on one target
// picture: a bitmap of its own, the current picture of an attached view, an
// outside picture container, an outside platform bitmap or the bitmap of a
// picture control. Loads and saves report failure through Aborting and always
// end with OnFinishWork (progress 100 first). In asynchronous mode the
// loads and saves run on worker threads (ziduzuvio_async.cpp).
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/messages/iemessages.h"
#include "imaging/io/ieformats.h"
#include "imaging/core/base/ieprogress.h"
#include "imaging/io/ieviewcontract.h"
#include "imaging/io/ioparams.h"
#include "platform/base/components.h"

class TBitmap;
class TCanvas;
class GtVideoFile;
class TIEMediaFilePlayer;
class TMetafile;
class TPrinter;
class TFont;
class TForm;
class TImage;
struct TIEFormatDescriptor;

using TIEDoPreviewsEvent = std::function<void(TObject* Sender, bool& Handled)>;
using TIEIOPreviewEvent = std::function<void(TObject* Sender, TForm* PreviewForm)>;
using TIEAcquireBitmapEvent = std::function<void(TObject* Sender, TIEBitmap* ABitmap, bool& Handled)>;

enum TIEDialogsMeasureUnit : Byte { ieduInches, ieduCm, ieduSelectableDefInches, ieduSelectableDefCm };
enum TIOPreviewsParamsItems : Byte { ioppDefaultLockPreview, ioppApplyButton };
// A set of TIOPreviewsParamsItems, one bit per item.
using TIOPreviewsParams = Byte;

// The 12-byte header that may precede JPEG, TIFF and PCX data in a stream:
// four magic characters, four bytes of which the first must be 0, and the
// length of the data that follows, 32-bit little-endian.
constexpr int64_t IEStreamHeaderSize = 12;
// The older PCX form: "PCX" and a 0 byte, the data running to the stream's end.
constexpr int64_t IEOldPCXHeaderSize = 4;

enum TIEStreamHeaderResult {
  iehNone,     // no header of that magic at the position
  iehValid,    // DataStart and DataLength describe the announced data
  iehInvalid,  // the magic is there but the length is impossible for this stream
};

// Reads a header of Magic (4 characters, "PCX" accepted in its old 4-byte form
// when Magic is "PCX2") at the stream position. A length is valid only when it
// is not negative and the stream holds that many bytes after the header. On
// iehValid DataStart is where the data begins; the stream is positioned
// there. On the other answers the position is restored. Never raises.
TIEStreamHeaderResult IEReadStreamHeader(TStream* Stream, const char* Magic, int64_t& DataStart, int64_t& DataLength);
// Writes a complete header with that magic and length at the stream position.
// False when the length does not fit the 32-bit field or the write fell short.
bool IEWriteStreamHeader(TStream* Stream, const char* Magic, int64_t Length);

class TZiduzUvIO : public TComponent {
 public:
  explicit TZiduzUvIO(TComponent* AOwner);
  // A component without owner working on Bitmap (not owned).
  static std::unique_ptr<TZiduzUvIO> CreateForBitmap(TIEBitmap* Bitmap);
  ~TZiduzUvIO() override;

  // --- target -------------------------------------------------------------
  // The picture every reader fills and every writer reads; nil only after
  // AttachIEBitmap(nil) with nothing attached. On a worker that decodes an
  // asynchronous load for a view, the worker's private picture instead.
  TIEBitmap* IEBitmap() const;
  bool OwnsBitmap() const { return FOwnedBitmap != nullptr; }
  // The outside platform bitmap being worked on (not owned), or nil.
  TBitmap* TBitmapReference() const { return FTBitmap; }

  TIEViewContract* AttachedZiduzUv() const { return FView; }
  void SetAttachedZiduzUv(TIEViewContract* View);
  TImage* AttachedTImage() const { return FTImage; }
  void SetAttachedTImage(TImage* Image);
  void AttachIEBitmap(TIEBitmap* Bitmap);
  void AttachTBitmap(TBitmap* Bitmap);
  // Frees an owned target and works on Bitmap (not owned); attachments stay.
  void ReplaceIEBitmap(TIEBitmap* Bitmap);

  // The platform bitmap behind the picture: the one the picture wraps, else
  // the attached one, or nil.
  virtual TBitmap* GetTBitmap();

  // --- parameters and results --------------------------------------------
  TIOParamsVals& Params() { return *FParams; }
  const TIOParamsVals& Params() const { return *FParams; }
  // True after a load or save that failed, was refused or was cancelled.
  bool Aborting() const { return FAborting.load(std::memory_order_acquire); }
  void SetAborting(bool Value) { FAborting.store(Value, std::memory_order_release); }

  // --- properties -----------------------------------------------------------
  // The attached view's background, else the component's own.
  TColor Background() const;
  // Ignored while a view is attached.
  void SetBackground(TColor Value);
  bool NativePixelFormat() const;
  void SetNativePixelFormat(bool Value);
  bool StreamHeaders() const { return FStreamHeaders; }
  void SetStreamHeaders(bool Value) { FStreamHeaders = Value; }
  bool AutoAdjustDPI() const { return FAutoAdjustDPI; }
  void SetAutoAdjustDPI(bool Value) { FAutoAdjustDPI = Value; }
  // Loads and saves of a component that works on a view's or an outside
  // picture run on a worker thread of their own and return at once (loads
  // with a result return -1); the picture arrives with OnFinishWork. The
  // caller keeps streams and buffers alive until then. A component working
  // on a bitmap of its own always runs synchronously.
  bool Asynchronous() const { return FAsynchronous.load(std::memory_order_relaxed); }
  void SetAsynchronous(bool Value) { FAsynchronous.store(Value, std::memory_order_relaxed); }
  bool FilteredAdjustDPI() const { return FFilteredAdjustDPI; }
  void SetFilteredAdjustDPI(bool Value) { FFilteredAdjustDPI = Value; }
  TMsgLanguage MsgLanguage() const { return FMsgLanguage; }
  void SetMsgLanguage(TMsgLanguage Value) { FMsgLanguage = Value; }
  TIOPreviewsParams PreviewsParams() const { return FPreviewsParams; }
  void SetPreviewsParams(TIOPreviewsParams Value) { FPreviewsParams = Value; }
  bool SimplifiedParamsDialogs() const { return FSimplifiedParamsDialogs; }
  void SetSimplifiedParamsDialogs(bool Value) { FSimplifiedParamsDialogs = Value; }
  TIEDialogsMeasureUnit DialogsMeasureUnit() const { return FDialogsMeasureUnit; }
  void SetDialogsMeasureUnit(TIEDialogsMeasureUnit Value) { FDialogsMeasureUnit = Value; }
  TFont* PreviewFont() const { return FPreviewFont.get(); }
  // Copies the font's attributes.
  void SetPreviewFont(TFont* Value);

  TIEProgressEvent OnProgress;
  TNotifyEvent OnFinishWork;
  TIEDoPreviewsEvent OnDoPreviews;
  TIEIOPreviewEvent OnIOPreview;
  TIEAcquireBitmapEvent OnAcquireBitmap;

  // --- component ------------------------------------------------------------
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // --- frame helpers -----------------------------------------------------------
  // False without a target, or when Allowed is not empty and the target's
  // pixel format is not in it. A platform bitmap is wrapped again first so
  // that changes made to it behind the component's back are seen.
  bool PrepareBitmap(std::initializer_list<TIEPixelFormat> Allowed = {});
  // After a picture changed: a platform bitmap receives the picture; the view
  // repaints (or is told to, from another thread) and hears of the change.
  void UpdateAttachedView();
  virtual void DoProgress(TObject* Sender, Integer per);
  // Reports 100, then OnFinishWork.
  virtual void DoFinishWork();
  // The single-image view takes DPIX and DPIY of Params without repainting.
  virtual void SyncViewDPI();
  // DPIX or DPIY below 2 become the library's default resolution.
  void FixDefaultDPI();
  // Makes DPIX and DPIY equal by resampling the picture's shorter side (its
  // own size, not WIDTH and HEIGHT), filtered or nearest by
  // FilteredAdjustDPI; the alpha channel is stretched nearest. WIDTH and
  // HEIGHT take the new size.
  void AdjustDPI();
  // Records why an operation failed where the failure is reported through
  // Aborting alone: a line in the imaging library's debug log, when one is set.
  static void LogFailure(const WideString& Why);

  // --- workers ----------------------------------------------------------------
  // A worker thread lists itself while it runs an operation of this component.
  void AddWorker(std::thread::id Worker);
  void RemoveWorker(std::thread::id Worker);
  bool InWorkerThread();
  // Returns once no worker is listed (other than the calling one); with Abort
  // the running one is told to stop and the waiting ones give up unstarted.
  // Sleeps while it waits and needs nothing of the main thread.
  void WaitThreads(bool Abort);
  // True on a worker thread that decodes an asynchronous load for the
  // attached view into a private picture: the view must not be called here.
  bool DecodesPrivately() const { return ActivePrivateDecode() != nullptr; }

  // --- addresses (ziduzuvio_url.cpp) -------------------------------------------
  // Downloads the whole picture, then loads it by content. A failed download
  // sets Aborting and reports the finish.
  void LoadFromURL(const WideString& URL);
  // Proxy server address and its credentials, which go to the proxy only.
  const WideString& URLProxy() const { return FURLProxy; }
  void SetURLProxy(const WideString& Value) { FURLProxy = Value; }
  const WideString& URLProxyUser() const { return FURLProxyUser; }
  void SetURLProxyUser(const WideString& Value) { FURLProxyUser = Value; }
  const WideString& URLProxyPassword() const { return FURLProxyPassword; }
  void SetURLProxyPassword(const WideString& Value) { FURLProxyPassword = Value; }

  // --- printing (ieprint.cpp) ----------------------------------------------------
  // Margins, sizes and positions in inches; the codes of ieprint.h. A nil
  // Canvas is the printer's. Nothing is drawn without a picture or without
  // room for it.
  void PrintImage(TCanvas* Canvas, double LeftMargin, double TopMargin, double RightMargin, double BottomMargin,
                  Byte VerticalPosition, Byte HorizontalPosition, Byte SizeMode, double SpecWidth,
                  double SpecHeight, double Gamma);
  void PrintImageEx(TCanvas* Canvas, Integer DeviceDpiX, Integer DeviceDpiY, double PageWidth, double PageHeight,
                    double LeftMargin, double TopMargin, double RightMargin, double BottomMargin,
                    Byte VerticalPosition, Byte HorizontalPosition, Byte SizeMode, double SpecWidth,
                    double SpecHeight, double Gamma);
  void PrintImagePosEx(TCanvas* Canvas, Integer DeviceDpiX, Integer DeviceDpiY, double X, double Y, double Width,
                       double Height, double Gamma);
  // The page in miniature within MaxWidth x MaxHeight (5 pixels kept free),
  // the picture on it and the margins outlined; a nil Printer is the program's.
  void RenderPrintPreview(TBitmap* Bitmap, Integer MaxWidth, Integer MaxHeight, TPrinter* Printer,
                          double LeftMargin, double TopMargin, double RightMargin, double BottomMargin,
                          Byte VerticalPosition, Byte HorizontalPosition, Byte SizeMode, double SpecWidth,
                          double SpecHeight, double Gamma);
  // The filter used where the picture is printed smaller than its pixels.
  TResampleFilter PrintFilter() const { return FPrintFilter; }
  void SetPrintFilter(TResampleFilter Value) { FPrintFilter = Value; }

  // --- video and media files (ziduzuvio_media.cpp) --------------------------------
  // Opens an AVI file for reading frames; the frame count, 0 (with Aborting)
  // when it cannot be read. Another open AVI is closed first.
  Integer OpenAVIFile(const WideString& FileName);
  // Decodes frame Index of the open AVI into the picture; an index outside
  // the file changes nothing. Asynchronous rule; ends with OnFinishWork.
  void LoadAVIFrame(Integer Index);
  void CloseAVIFile();
  // Opens any video file the platform can play; the frame count, 0 with
  // Aborting when it is no playable media file.
  Integer OpenMediaFile(const WideString& FileName);
  // Seeks to the frame and copies it into the picture, on the calling
  // thread, without progress or finish event.
  void LoadMediaFileFrame(Integer FrameIndex);
  void CloseMediaFile();
  bool IsMediaFileOpen() const { return FMediaFile != nullptr; }

  // --- metafiles (ziduzuvio_metafile.cpp) ------------------------------------------
  // Loads the metafile and renders it (ImportMetafile). Asynchronous rule;
  // ends with OnFinishWork, also when the file cannot be read.
  void LoadFromFileMetafile(const WideString& FileName, Integer Width, Integer Height, bool WithAlpha);
  // Renders Metafile into the picture on the background colour: Width x
  // Height when both are positive, a negative one following the other with
  // the metafile's aspect, both negative its own size; no side beyond the
  // metafile size limit. WithAlpha makes what it leaves unpainted
  // transparent. A metafile without a size sets Aborting; a zero Width or
  // Height does nothing. No finish event (the caller's).
  void ImportMetafile(TMetafile* Metafile, Integer Width, Integer Height, bool WithAlpha);
  // The parameters of the metafile in the stream, without rendering it.
  void ReadMetafileParams(TStream* Stream);

  // --- load and save dispatch ------------------------------------------------------
  virtual void LoadFromFile(const WideString& FileName);
  virtual void LoadFromFileAuto(const WideString& FileName);
  virtual void SaveToFile(const WideString& FileName);
  // Writes the picture as source text: 0 a Pascal constant, 1 a C array, 2
  // Base64, 3 a character picture of an ie24RGB target.
  virtual void ExportSourceArray(const WideString& FileName, TIEFileType FileType, Integer Language);
  virtual void LoadFromFileFormat(const WideString& FileName, TIEFileType FileType);
  // The block is read in place, never copied.
  virtual void LoadFromBuffer(const void* Buffer, Integer Size, TIEFileType FileType);
  virtual void ReadParamsFromFile(const WideString& FileName);
  virtual void ReadParamsFromFileFormat(const WideString& FileName, TIEFileType FileType);
  virtual void ReadParamsFromStream(TStream* Stream);
  virtual void ReadParamsFromStreamFormat(TStream* Stream, TIEFileType FileType);
  virtual void LoadFromStream(TStream* Stream);
  virtual void LoadFromStreamFormat(TStream* Stream, TIEFileType FileType);
  virtual void SaveToStream(TStream* Stream, TIEFileType FileType);

  // --- per-format methods -----------------------------------------------------------
  // TIFF and GIF loads return the number of images the source holds, 0 when
  // nothing could be read.
  Integer LoadFromFileTIFF(const WideString& FileName);
  Integer LoadFromStreamTIFF(TStream* Stream);
  void SaveToFileTIFF(const WideString& FileName);
  void SaveToStreamTIFF(TStream* Stream);
  Integer LoadFromFileGIF(const WideString& FileName);
  Integer LoadFromStreamGIF(TStream* Stream);
  void SaveToFileGIF(const WideString& FileName);
  void SaveToStreamGIF(TStream* Stream);
  void LoadFromFileJPEG(const WideString& FileName);
  void LoadFromStreamJPEG(TStream* Stream);
  void SaveToFileJPEG(const WideString& FileName);
  void SaveToStreamJPEG(TStream* Stream);
  void LoadFromFilePCX(const WideString& FileName);
  void LoadFromStreamPCX(TStream* Stream);
  void SaveToFilePCX(const WideString& FileName);
  void SaveToStreamPCX(TStream* Stream);
  void LoadFromFileBMP(const WideString& FileName);
  void LoadFromStreamBMP(TStream* Stream);
  void SaveToFileBMP(const WideString& FileName);
  void SaveToStreamBMP(TStream* Stream);
  void LoadFromFileICO(const WideString& FileName);
  void LoadFromStreamICO(TStream* Stream);
  void LoadFromFileCUR(const WideString& FileName);
  void LoadFromStreamCUR(TStream* Stream);
  // Headerless pixels into the picture as the caller sized it, laid out as
  // the BMPRAW_ parameters say; an empty file name does nothing.
  void LoadFromFileBMPRAW(const WideString& FileName);
  void LoadFromStreamBMPRAW(TStream* Stream);
  void LoadFromFilePNG(const WideString& FileName);
  void LoadFromStreamPNG(TStream* Stream);
  void SaveToFilePNG(const WideString& FileName);
  void SaveToStreamPNG(TStream* Stream);
  void LoadFromFileJP2(const WideString& FileName);
  void LoadFromStreamJP2(TStream* Stream);
  void SaveToFileJP2(const WideString& FileName);
  void SaveToStreamJP2(TStream* Stream);
  void LoadFromFileJ2K(const WideString& FileName);
  void LoadFromStreamJ2K(TStream* Stream);
  void SaveToFileJ2K(const WideString& FileName);
  void SaveToStreamJ2K(TStream* Stream);
  void LoadFromFileTGA(const WideString& FileName);
  void LoadFromStreamTGA(TStream* Stream);
  void SaveToFileTGA(const WideString& FileName);
  void SaveToStreamTGA(TStream* Stream);
  void LoadFromFilePXM(const WideString& FileName);
  void LoadFromStreamPXM(TStream* Stream);
  void SaveToFilePXM(const WideString& FileName);
  void SaveToStreamPXM(TStream* Stream);
  void LoadFromFileDCX(const WideString& FileName);
  void LoadFromStreamDCX(TStream* Stream);
  void SaveToFileDCX(const WideString& FileName);
  void SaveToStreamDCX(TStream* Stream);
  void LoadFromFileDICOM(const WideString& FileName);
  void LoadFromStreamDICOM(TStream* Stream);
  void LoadFromFileHDP(const WideString& FileName);
  void LoadFromStreamHDP(TStream* Stream);
  void SaveToFileHDP(const WideString& FileName);
  void SaveToStreamHDP(TStream* Stream);
  // Icons: one picture per leading entry of ICO_SIZES wider than 0 (at most
  // 16), each with the ICO_BITDEPTHS entry at the same place.
  void SaveToFileICO(const WideString& FileName);
  void SaveToStreamICO(TStream* Stream);
  void LoadFromFileWBMP(const WideString& FileName);
  void LoadFromStreamWBMP(TStream* Stream);
  void SaveToFileWBMP(const WideString& FileName);
  void SaveToStreamWBMP(TStream* Stream);
  // One-page PostScript and PDF documents.
  void SaveToFilePS(const WideString& FileName);
  void SaveToStreamPS(TStream* Stream);
  void SaveToFilePDF(const WideString& FileName);
  void SaveToStreamPDF(TStream* Stream);
  // Camera RAW: when a plug-in has taken the extension "RAW" over from the
  // built-in reader, the data is read through the plug-in's format.
  void LoadFromFileRAW(const WideString& FileName);
  void LoadFromStreamRAW(TStream* Stream);
  // How pictures are reduced to black and white: the picture's
  // BlackWhiteMethod, also kept for the save-parameters dialog.
  void SetMonoConversionMode(Byte Mode);
  Byte MonoConversionMode() const { return FMonoConversionMode; }
  // PSD documents. With PSD_LOADLAYERS and a view that holds layers
  // attached, the document's layers go to the view (PSD_REPLACELAYERS:
  // in place of its layers) and the view's picture is not overwritten;
  // otherwise the merged picture is loaded, taking the alpha of a document of
  // one layer. A save with such a view writes the view's layers and their
  // rendering; otherwise the picture as the only layer.
  void LoadFromFilePSD(const WideString& FileName);
  void LoadFromStreamPSD(TStream* Stream);
  void SaveToFilePSD(const WideString& FileName);
  void SaveToStreamPSD(TStream* Stream);
  // Layered files (ieftIEV objects, ieftLYR layers, ieftALL both). A view
  // attached that can hold the content receives it, without parameter reset
  // or finish event; otherwise an off-screen view draws it into the picture
  // (asynchronous rule, OnFinishWork). Aborting tells whether it was read.
  void LoadFromFileLayered(const WideString& FileName, TIEFileType FileType);
  // Only into an attached view that can hold the content; no event.
  void LoadFromStreamLayered(TStream* Stream, TIEFileType FileType);
  // Writes the IPTC records of Params into the JPEG file without decoding it.
  // False, with Aborting set and the file untouched, when the file is no
  // well-formed JPEG or cannot be replaced. Ends with OnFinishWork.
  bool InjectJPEGIPTC(const WideString& FileName);

 private:
  friend struct TZiduzUvIOFrame;
  friend class TIEIOThread;

  // What a worker hands to the attached view through the main thread. View
  // mirrors FView; a picture waiting here is always for that view and is
  // dropped when the view goes. IO is the component until its destruction.
  struct TIEViewHandover {
    std::mutex Lock;
    TIEViewContract* View = nullptr;
    TZiduzUvIO* IO = nullptr;
    std::unique_ptr<TIEBitmap> Picture;
    Integer DpiX = 0, DpiY = 0;
  };
  // Calls of this component that pass a stream of their own to another
  // operation keep that operation on the calling thread.
  struct TSyncScope {
    TSyncScope();
    ~TSyncScope();
    TSyncScope(const TSyncScope&) = delete;
    TSyncScope& operator=(const TSyncScope&) = delete;
  };

  // --- asynchronous mode (ziduzuvio_async.cpp) -----------------------------
  // The asynchronous rule: when it applies, Work is started on a new worker
  // thread and the answer is true; otherwise the caller runs the operation.
  bool HandOver(std::function<void()> Work);
  // A worker lists its thread id and leaves the starting count in one step,
  // then waits for its turn: workers run one at a time, in the order their
  // operations were handed over. False when WaitThreads(true) cancelled it.
  bool WorkerStarted(std::thread::id Worker, uint64_t Ticket);
  // The worker's turn is over: the next one may run.
  void WorkerDone(uint64_t Ticket);
  // Under FWorkerLock: moves the turn past cancelled tickets and tickets
  // whose thread never started.
  void AdvanceTurn();
  // Events of an operation running on a worker go to the main thread, in
  // the order they were raised, and find the component there if it still exists.
  void QueueEvent(UINT Msg, WPARAM WParam);
  // DoFinishWork calls that reached their event on this thread.
  static thread_local uint64_t tFinishes;
  // While alive on a worker running an asynchronous load for an attached
  // view, the load decodes into a private picture (IEBitmap() answers it on
  // that thread), the view is never called from the worker, and the picture
  // with its resolution is handed to the view on the main thread by
  // UpdateAttachedView; a failed load hands over nothing.
  class TPrivateDecode {
   public:
    explicit TPrivateDecode(TZiduzUvIO& IO);
    ~TPrivateDecode();
    TPrivateDecode(const TPrivateDecode&) = delete;
    TPrivateDecode& operator=(const TPrivateDecode&) = delete;

   private:
    friend class TZiduzUvIO;
    TZiduzUvIO* FIO = nullptr;  // nil when the load decodes in place
    std::unique_ptr<TIEBitmap> FTarget;
    // False when the load delivered its result to the view another way.
    bool FPublish = true;
    TPrivateDecode* FOuter = nullptr;
  };
  // The private decodes running on the calling thread (innermost first), and
  // the depth of TSyncScope on it.
  static thread_local TPrivateDecode* tPrivateDecode;
  static thread_local Integer tSyncDepth;
  // On a worker: the view's background as it was when the operation was
  // handed over (a worker never asks the view).
  static thread_local const TZiduzUvIO* tHandedBackgroundOf;
  static thread_local TColor tHandedBackground;
  // The private decode of this component running on the calling thread, or nil.
  TPrivateDecode* ActivePrivateDecode() const;
  // From a private decode: the progress or finish event Msg reaches the main
  // thread in order with the picture. There a view that is still attached
  // and sits in a parent window hears it as a message; one without a parent
  // window leaves it to the component's own event.
  void QueueViewMessage(UINT Msg, WPARAM WParam);
  // Fires the event IEM_PROGRESS or IEM_FINISHWORK stands for.
  void FireViewMessageEvent(UINT Msg, WPARAM WParam);
  // From a private decode: queues the picture and resolution for the view.
  void PublishDecoded(TPrivateDecode& D);
  // Keeps the hand-over's view in step with FView (nil drops a picture not
  // yet delivered).
  void SetHandoverView(TIEViewContract* View);

  void BitmapChanged(TObject* Sender, bool Destroying);
  // Takes the view's picture as the target: its picture container (not
  // owned) or an owned wrapper of its platform bitmap.
  void TakeViewBitmap();
  // Stops following the attached view; a live view also loses our handler
  // and free-notification link.
  void ForgetView(bool ViewAlive);
  // With a picture control attached, the platform bitmap is its current one.
  void FollowTImage();
  // Drops the platform bitmap and gives the component a fresh bitmap of its own.
  void ResetToOwnBitmap();
  // Frees the target when owned; the component then works on nothing.
  void ReleaseOwnedBitmap();
  // Wraps a platform bitmap in a new owned target.
  void WrapTBitmap(TBitmap* Bitmap);
  // Whether the picture should be posted to the view instead of called.
  bool ViaViewMessages();
  // Refuses an operation: the reason goes to the debug log, then Aborting
  // and the finish event.
  void Refuse(const WideString& Why);
  // The same without the finish event (the refusals that are immediate answers).
  void RefuseQuietly(const WideString& Why);
  void ClearTypeAndName();
  // Picture data the registry path hands to a plug-in writer, and the copy
  // it may need (the document is never converted).
  TIEBitmap* WriterSource(std::unique_ptr<TIEBitmap>& Copy, bool To24);

  // The registry paths (plug-in formats).
  void RegistryLoadFile(const TIEFileFormatInfoRef& Entry, const WideString& FileName);
  void RegistryLoadStream(const TIEFileFormatInfoRef& Entry, TStream* Stream);
  void RegistryRead(const TIEFileFormatInfoRef& Entry, TStream* Stream);
  void RegistrySaveFile(const TIEFileFormatInfoRef& Entry, const WideString& FileName);
  void RegistrySaveStream(const TIEFileFormatInfoRef& Entry, TStream* Stream);
  // The frame around a built-in format's codec (ziduzuvio_frame.cpp), as the
  // per-format methods and the dispatch call it.
  Integer FormatLoadFile(const TIEFormatDescriptor& Format, const WideString& FileName);
  Integer FormatLoadStream(const TIEFormatDescriptor& Format, TStream* Stream);
  void FormatSaveFile(const TIEFormatDescriptor& Format, const WideString& FileName);
  void FormatSaveStream(const TIEFormatDescriptor& Format, TStream* Stream);
  // Dispatch of the built-in formats by id, through their descriptors.
  void LoadFileByType(TIEFileType FileType, const WideString& FileName, bool ByExtension);
  void LoadStreamByType(TIEFileType FileType, TStream* Stream, bool ByContent);
  void SaveStreamByType(TIEFileType FileType, TStream* Stream);
  void ReadParams(TStream* Buffered, TStream* Raw, TIEFileType FileType);

  TBitmap* FTBitmap = nullptr;  // not owned
  TIEBitmap* FIEBitmap = nullptr;
  std::unique_ptr<TIEBitmap> FOwnedBitmap;  // set exactly when FIEBitmap is owned
  TIEViewContract* FView = nullptr;
  TComponent* FViewComponent = nullptr;  // FView as a component, kept for notifications
  Integer FHandlerHandle = -1;
  TImage* FTImage = nullptr;
  // A load on a worker sets it while the main thread may read it.
  std::atomic<TColor> FBackground{0};
  TMsgLanguage FMsgLanguage = msSystem;
  TIOPreviewsParams FPreviewsParams = 0;
  bool FSimplifiedParamsDialogs = false;
  bool FStreamHeaders = false;
  std::unique_ptr<TFont> FPreviewFont;
  TIEDialogsMeasureUnit FDialogsMeasureUnit = ieduInches;
  bool FAutoAdjustDPI = true;
  bool FFilteredAdjustDPI = false;
  Byte FMonoConversionMode = 1;
  WideString FURLProxy, FURLProxyUser, FURLProxyPassword;
  TResampleFilter FPrintFilter = rfFastLinear;
  std::mutex FWorkerLock;
  std::vector<std::thread::id> FWorkers;
  // Workers handed an operation that have not listed themselves yet.
  Integer FStartingWorkers = 0;
  // Signalled whenever a worker leaves the list or its turn.
  std::condition_variable FWorkersChanged;
  // Turns: the ticket handed out next, the one whose turn it is, and the
  // first ticket not cancelled by WaitThreads(true).
  uint64_t FNextTicket = 0, FServing = 0, FCancelBelow = 0;
  std::vector<uint64_t> FSkippedTickets;
  std::atomic<bool> FAsynchronous{false};
  // Shared with the calls queued for the main thread, which may run after
  // this component is gone.
  std::shared_ptr<TIEViewHandover> FHandover;
  // One operation at a time: a second thread waits until the first is done,
  // so that two loads never share the picture and the parameters.
  std::recursive_mutex FOperationLock;
  std::unique_ptr<TIOParamsVals> FParams;
  std::atomic<bool> FAborting{false};
  // The open AVI file and media file (nil when none), the media file's
  // frame delay in ms and its seek step (1, or the average frame time).
  std::unique_ptr<GtVideoFile> FAVIFile;
  std::unique_ptr<TIEMediaFilePlayer> FMediaFile;
  double FMediaFrameDelay = 0;
  int64_t FMediaFrameStep = 1;
  // What a PSD save with a layered view writes: the view's layers rendered
  // into one picture, and copies of the layers, taken on the view's thread.
  struct TIELayeredDocument {
    TIEBitmap Merged;
    TIELayerListPtr Layers;
  };
  std::shared_ptr<TIELayeredDocument> LayeredDocumentOfView();
  // The PSD read of a load: true when the layers went to the attached view
  // (the picture then stays as it was).
  bool ReadPSD(TStream* Src, TIEProgressRec& Rec);
  // Hands read layers to the attached view on the main thread.
  void DeliverLayers(TIELayerListPtr Layers, bool Replace, Integer Width, Integer Height);
  // The off-screen path of LoadFromFileLayered.
  void LoadLayeredFlattened(const WideString& FileName, TIEFileType FileType);
  // The body of a load by name of an ".avi" file: open, frame, close.
  void LoadAVIFile(const WideString& FileName);
};

// Inside a catch block: the message of the exception being handled, for the
// failures the operations record instead of raising.
WideString IECurrentExceptionText();

// A codec called the way every load and save calls it: an exception it lets
// out is logged with its message and ends the work as aborted.
void IERunReader(const TIEReadRoutine& Read, TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& Rec,
                 bool Preview);
void IERunWriter(const TIEWriteRoutine& Write, TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& Rec);

// Resamples the picture when its horizontal and vertical resolution differ
// (TZiduzUvIO::AdjustDPI; a test may swap it).
extern void (*IEAdjustDPIProc)(TZiduzUvIO* IO);
