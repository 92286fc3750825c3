// The processing companion of a view: the component through which pictures
// are changed, with undo. This is its attachment frame: it follows the
// current picture of an attached view (or works on a picture handed to it)
// and carries the progress, finish and undo events the view passes on. The
// operations and the undo and redo stacks build on this frame.
#pragma once

#include <functional>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieprogress.h"
#include "imaging/view/ieview.h"
#include "platform/base/components.h"

class TZiduzUvProc : public TComponent {
 public:
  // AutoUndo is on only with an owner: a temporary processor keeps no undo.
  explicit TZiduzUvProc(TComponent* AOwner);
  // Unregisters from a live view.
  ~TZiduzUvProc() override;

  TIEView* AttachedZiduzUv() const { return FView; }
  // Follows View's current picture from now on (nil detaches; the processor
  // then works on a picture of its own).
  void SetAttachedZiduzUv(TIEView* View);
  // Works on Bitmap (not owned) and detaches any view; nil is ignored while a
  // view is attached.
  void SetAttachedIEBitmap(TIEBitmap* Bitmap);
  // The picture every operation changes; never nil.
  TIEBitmap* AttachedIEBitmap() const { return FIEBitmap; }

  bool AutoUndo() const { return FAutoUndo; }
  void SetAutoUndo(bool Value) { FAutoUndo = Value; }
  Integer UndoLimit() const { return FUndoLimit; }
  void SetUndoLimit(Integer Value) { FUndoLimit = Value; }
  // The registration with the attached view, -1 when none.
  Integer ChangeHandlerHandle() const { return FHandlerHandle; }

  TIEProgressEvent OnProgress;
  TNotifyEvent OnFinishWork;
  TIESaveUndoEvent OnSaveUndo;

  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void BitmapChanged(TObject* Sender, bool Destroying);
  // Drops the view without calling it when it is going away.
  void ForgetView(bool ViewAlive);
  void UseOwnBitmap();

  TIEView* FView = nullptr;
  Integer FHandlerHandle = -1;
  TIEBitmap* FIEBitmap = nullptr;
  std::unique_ptr<TIEBitmap> FOwnBitmap;
  bool FAutoUndo = false;
  Integer FUndoLimit = 1;
};
