// What the list view and the tree view share inside the layer: rows drawn
// through the layer's device contexts into an image that the Qt view then
// shows, image-list pictures with their cut and overlay looks, bitmaps for
// header sections, and the mouse of a view's viewport shown to the control.
#pragma once

#include <QAbstractItemView>
#include <QImage>
#include <QPixmap>

#include <memory>

#include "platform/graphics/gdi_surface.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/imglist.h"
#include "platform/ui/private/window.h"

namespace gtui {

// A device context over an image of one row; client coordinates of the
// control map onto the image (the row's top-left corner is Origin).
class TRowCanvas {
 public:
  TRowCanvas(const QSize& Size, const QPoint& Origin);
  ~TRowCanvas();
  TRowCanvas(const TRowCanvas&) = delete;
  TRowCanvas& operator=(const TRowCanvas&) = delete;
  HDC DC() const { return FDC; }
  QImage& Image();
  // The image ready to show: the device context's drawing leaves the fourth
  // byte of a pixel undefined, which Qt would read as transparency.
  const QImage& Finished();
  QPoint Origin() const { return FOrigin; }

 private:
  class TSurface;
  std::unique_ptr<TSurface> FSurface;
  HDC FDC = nullptr;
  QPoint FOrigin;
};

// Fills a rectangle (client coordinates) of the row with a colour.
void FillRowRect(HDC DC, const TRect& R, COLORREF Color);
// Draws image Index of List at (X, Y), with image Overlay of the same list
// over it when that is 0 or more; a cut item's picture is blended half
// with Background (the cut look).
void DrawListImage(TRowCanvas& Row, HIMAGELIST List, Integer Index, Integer Overlay, Integer X, Integer Y, bool Cut,
                   COLORREF Background);
// The size of the images of a list (0 x 0 without one).
QSize ImageListSize(HIMAGELIST List);
// The pixels of a bitmap handle, for a header section's picture (null when it is none).
QPixmap PixmapOfBitmap(HBITMAP Bitmap);
// The width of a text in the font selected into DC.
Integer RowTextWidth(HDC DC, const WideString& Text);

// Mouse, wheel and context-menu events of a view's viewport reach the
// control's window procedure as they would on the view itself.
void ShowViewportInputToWindow(QAbstractItemView* View, HWND Wnd);

}  // namespace gtui
