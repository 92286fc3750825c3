// What the I/O companion needs of a view: the picture it shows, the
// notifications when that picture changes or the view goes away, its
// resolution, its refresh and the messages that carry a worker's news to the
// main thread. The views implement this interface; the companion knows a view
// only through it.
#pragma once

#include <functional>
#include <memory>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieutils.h"
#include "imaging/io/ieformats.h"
#include "platform/base/components.h"
#include "platform/graphics/windef.h"

class TBitmap;
class TIELayerList;

// A list of picture layers on their way from a reader to a view. Only the
// view module knows the layer class, so it frees the list.
struct TIELayerListDeleter {
  void operator()(TIELayerList* List) const;
};
using TIELayerListPtr = std::unique_ptr<TIELayerList, TIELayerListDeleter>;
TIELayerListPtr IENewLayerList();
Integer IELayerListCount(const TIELayerList* List);

// A layered stream (ieftIEV, ieftLYR, ieftALL) drawn into one picture by an
// off-screen vector view: the layers flattened, the objects drawn on them.
// False, Target unchanged, for a stream that does not read whole.
bool IERenderLayeredStream(TStream* Stream, TIEFileType Kind, TIEBitmap* Target);

// Called with Destroying false whenever the view's current picture changes,
// and with true while the view is being destroyed (the view drops the
// registration itself then).
using TIEBitmapChangeEvent = std::function<void(TObject* Sender, bool Destroying)>;

// Messages posted to a view's window by work running outside the main thread.
enum : UINT {
  IEM_UPDATE = 0x0400 + 7000,      // 8024: repaint from the picture
  IEM_PROGRESS = 0x0400 + 7003,    // 8027: WParam = percentage, fire OnProgress
  IEM_FINISHWORK = 0x0400 + 7004,  // 8028: fire OnFinishWork
};

class TIEViewContract {
 public:
  virtual ~TIEViewContract() = default;

  // The view as a component, for free notification; the same object for the
  // view's whole life.
  virtual TComponent* ViewComponent() = 0;

  // Returns the registration handle; Remove ignores unknown and negative handles.
  virtual Integer AddBitmapChangeHandler(TIEBitmapChangeEvent Handler) = 0;
  virtual void RemoveBitmapChangeHandler(Integer Handle) = 0;

  // The displayed picture as a platform bitmap (nil when the view keeps none)
  // and as a picture container (nil when it has none).
  virtual TBitmap* GetBitmap() = 0;
  virtual TIEBitmap* GetIEBitmap() = 0;

  // Resolution; 0 is ignored per axis.
  virtual void SetDpiX(Integer Dpi) = 0;
  virtual void SetDpiY(Integer Dpi) = 0;
  virtual void SetDpi(Integer DpiX, Integer DpiY) = 0;
  virtual Integer DpiX() const = 0;
  virtual Integer DpiY() const = 0;

  // Picture-changed notification.
  virtual void ImageChange() = 0;
  virtual TColor Background() const = 0;
  // Repaints from the picture; main thread only.
  virtual void Update() = 0;

  // Only the single-image view answers true; the lock calls below do
  // something only there: raise and lower the update lock without repainting.
  virtual bool IsSingleImageView() const = 0;
  virtual void LockUpdate() = 0;
  virtual void UnlockUpdateQuiet() = 0;

  // Whether the view sits in a parent window (only then can messages reach it).
  virtual bool HasParentWindow() = 0;
  // From any thread: makes sure the window exists (creating it on the main
  // thread) and posts the message to it.
  virtual void PostIOMessage(UINT Msg, WPARAM WParam, LPARAM LParam) = 0;

  // Layered content. Whether the view can hold the layers (ieftLYR), the
  // vector objects (ieftIEV) or both (ieftALL) of a layered stream, or the
  // picture layers of a layered document (ieftPSD).
  virtual bool CanHoldLayered(TIEFileType Kind) const {
    (void)Kind;
    return false;
  }
  // Replaces the view's layers, objects or both with those of the stream;
  // False, with the view as it was, when it cannot hold them or the stream
  // is not read whole. Main thread only.
  virtual bool LoadLayeredStream(TStream* Stream, TIEFileType Kind) {
    (void)Stream;
    (void)Kind;
    return false;
  }
  // After its objects were loaded from a file: the picture grows to hold
  // every object and is cleared to transparent white, so that only the
  // objects show.
  virtual void ShowObjectsOnly() {}
  // Takes the layers a document reader produced, bottom first: with Replace
  // the first goes into layer 0 and the others replace the rest, else all
  // are added above the current ones. A first layer away from the top left
  // gets a transparent Width x Height background layer below it. False,
  // nothing changed, for an empty list or a view without layers.
  virtual bool TakeLayers(TIELayerListPtr Layers, bool Replace, Integer Width, Integer Height) {
    (void)Layers;
    (void)Replace;
    (void)Width;
    (void)Height;
    return false;
  }

  // For a document writer: every layer rendered into Merged, in layer 0's
  // pixel format, and copies of the layers, bottom first. False for a view
  // without layers.
  virtual bool CopyLayeredDocument(TIEBitmap* Merged, TIELayerListPtr& Layers) {
    (void)Merged;
    (void)Layers;
    return false;
  }

  // A picture decoded on a worker becomes the current picture: its storage
  // moves into GetIEBitmap() (the same object, so whoever holds it keeps a
  // valid pointer) and the view refreshes and announces the change. The
  // companion calls it on the main thread only. This default, for views
  // without a hand-over of their own, swaps at once; a view that paints
  // from its own thread may park the picture and swap it in there. A view
  // without a picture container drops it.
  virtual void DeliverDecodedBitmap(std::unique_ptr<TIEBitmap> Decoded) {
    TIEBitmap* current = GetIEBitmap();
    if (!Decoded || !current) return;
    Decoded->MoveStorageTo(current);
    Update();
    ImageChange();
  }
};
