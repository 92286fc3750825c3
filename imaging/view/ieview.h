// The base control of the single-image view and the thumbnail grid: border,
// background, resolution, and the list of bitmap-change handlers through
// which companion objects follow the view's current picture. Code that holds
// a view (the companions, the dialogs) talks to it only through the virtual
// operations declared here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "imaging/core/base/iedefs.h"
#include "imaging/core/base/ieprogress.h"
#include "imaging/io/ieviewcontract.h"
#include "platform/ui/controls.h"

class TBitmap;
class TIEBitmap;
class TIEView;
class TZiduzUvProc;

// What an undo copy was taken of; the processor reports it through the
// OnSaveUndo event the single-image view passes on.
enum TIEUndoSource : Byte {
  ieuUnknown,
  ieuImage,
  ieuSelection,
  ieuObject,
  ieuLayer,
  ieuFullLayer,
  ieuObjectsAndLayers,
};

using TIESaveUndoEvent = std::function<void(TObject* Sender, TIEUndoSource Source)>;

// What a view with vector objects offers the undo stacks. The loads answer
// False, changing nothing, for a stream they cannot read.
class TIEUndoObjectState {
 public:
  virtual ~TIEUndoObjectState() = default;
  virtual void SaveObjectsToStream(TStream* Stream) = 0;
  virtual bool LoadObjectsFromStream(TStream* Stream) = 0;
  virtual void SaveAllToStream(TStream* Stream, Integer Compression) = 0;
  virtual bool LoadAllFromStream(TStream* Stream) = 0;
};

// How a view makes, wires and frees its processing companion. The
// processor's module defines it, since it knows the class; a view holds the
// processor only through this link, so the processor depends on the views
// and never the other way round.
struct TIEViewProcLink {
  // A processor owned by View and attached to it.
  TZiduzUvProc* (*Create)(TIEView* View);
  void (*SetOnProgress)(TZiduzUvProc* Proc, const TIEProgressEvent& Event);
  void (*SetOnFinishWork)(TZiduzUvProc* Proc, const TNotifyEvent& Event);
  void (*SetOnSaveUndo)(TZiduzUvProc* Proc, const TIESaveUndoEvent& Event);
  void (*Free)(TZiduzUvProc* Proc);
  // An undo step of that source; the newest step of that source dropped.
  void (*SaveUndo)(TZiduzUvProc* Proc, TIEUndoSource Source);
  void (*DropNewestUndoOf)(TZiduzUvProc* Proc, TIEUndoSource Source);
};
extern const TIEViewProcLink IEViewProcLink;

// The processor operations the single-image view's layer fixes and layer
// merge run, on the view's own processor (following its current layer) or
// on a temporary one. Defined by the processor's module, for the same reason
// as the link above.
struct TIEViewLayerProcLink {
  void (*Resample)(TZiduzUvProc* Proc, Integer NewWidth, Integer NewHeight, TResampleFilter Filter);
  void (*Rotate)(TZiduzUvProc* Proc, double Angle, bool Antialias, Byte AntialiasMode, TColor Background);
  // Corners inclusive.
  void (*CropRect)(TZiduzUvProc* Proc, const TRect& Rect);
  // Source resampled into Target (alpha channel included) by a processor
  // without undo; Source is not changed.
  void (*ResampleTo)(TIEBitmap* Source, TIEBitmap* Target, Integer NewWidth, Integer NewHeight,
                     TResampleFilter Filter);
};
extern const TIEViewLayerProcLink IEViewLayerProcLink;

class TIEView : public TCustomControl, public TIEViewContract {
 public:
  explicit TIEView(TComponent* AOwner);
  // Calls every handler still registered with Destroying = true, in
  // registration order, then frees them.
  ~TIEView() override;

  // --- properties -------------------------------------------------------------
  TColor Background() const override { return FBackground; }
  virtual void SetBackground(TColor Value);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  // A new value recreates the window (its frame depends on it).
  void SetBorderStyle(TBorderStyle Value);
  // A new value recreates the window.
  void SetCtl3D(bool Value) override;
  Integer DpiX() const override { return FDpiX; }
  Integer DpiY() const override { return FDpiY; }

  // --- the operations both views implement -----------------------------------
  TBitmap* GetBitmap() override { return nullptr; }
  TIEBitmap* GetIEBitmap() override { return nullptr; }
  virtual TIEBitmap* GetAlphaChannel() = 0;
  virtual bool HasAlphaChannel() = 0;
  virtual void RemoveAlphaChannel(bool Merge) = 0;
  virtual void LockPaint() = 0;
  // Decrements the paint lock (never below 0); returns the new count.
  virtual Integer UnlockPaint() = 0;
  virtual Integer UnlockPaintQuiet() = 0;
  // 0 is ignored (the stored value stays); other values are stored as given.
  void SetDpiX(Integer Dpi) override;
  void SetDpiY(Integer Dpi) override;
  // SetDpiX then SetDpiY, both through the virtual table.
  void SetDpi(Integer DpiX, Integer DpiY) override;
  void ImageChange() override {}
  // Calls the handlers registered when the call starts, with Destroying = false.
  virtual void CallBitmapChangeHandlers();

  // --- bitmap-change handlers ---------------------------------------------------
  // Handles are opaque, positive and never reused while registered (they are
  // not addresses, so no bit pattern of a pointer can make them look
  // negative); -1 means none. Removal matches the handle exactly, and
  // unknown or negative handles are ignored.
  Integer AddBitmapChangeHandler(TIEBitmapChangeEvent Handler) override;
  void RemoveBitmapChangeHandler(Integer Handle) override;
  Integer BitmapChangeHandlerCount() const { return static_cast<Integer>(FHandlers.size()); }

  // The control's own canvas, for code outside that draws on it.
  TCanvas* GetCanvas() { return Canvas(); }

  // --- what the I/O companion needs ------------------------------------------------
  TComponent* ViewComponent() override { return this; }
  void Update() override { TCustomControl::Update(); }
  bool IsSingleImageView() const override { return false; }
  void LockUpdate() override {}
  void UnlockUpdateQuiet() override {}
  // A parent form or a parent window handle.
  bool HasParentWindow() override;
  // From any thread: the window is made on the main thread when it does not
  // exist yet, then the message is posted to it.
  void PostIOMessage(UINT Msg, WPARAM WParam, LPARAM LParam) override;

  // The news that this view leaves its owner is not passed on to the
  // components it owns: its companions stay attached (and registered) until
  // the view itself lets them go.
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // Test seam: the handle the next registration starts looking from.
  void SetNextBitmapChangeHandle(Integer Value) { FNextHandle = Value; }

 protected:
  void CreateParams(TCreateParams& Params) override;

  TColor FBackground = clBtnFace;
  Integer FDpiX = 0;
  Integer FDpiY = 0;

 private:
  struct THandlerRecord {
    Integer Handle;
    TIEBitmapChangeEvent Handler;
  };
  TBorderStyle FBorderStyle = bsSingle;
  std::vector<THandlerRecord> FHandlers;
  Integer FNextHandle = 1;
  bool FHandlersGone = false;  // set once the destructor has taken the list
  // Expires with the view; calls queued for the main thread check it.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};
