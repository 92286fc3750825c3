// Row drawing and viewport input shared by the list view and the tree view.
#include "platform/ui/private/itemviews.h"

#include <QEvent>
#include <QMouseEvent>

#include <vector>

namespace gtui {

// The row image as a drawing surface of the layer's device contexts.
class TRowCanvas::TSurface : public TGdiSurface {
 public:
  explicit TSurface(const QSize& Size) : Image(Size.expandedTo(QSize(1, 1)), QImage::Format_RGB32) {}
  bool LockPixels(TGdiPixels& P) override {
    P.Row0 = Image.bits();
    P.Stride = Image.bytesPerLine();
    P.Width = Image.width();
    P.Height = Image.height();
    P.BitCount = 32;
    return true;
  }
  void UnlockPixels(const TRect&) override {}
  QImage Image;
};

TRowCanvas::TRowCanvas(const QSize& Size, const QPoint& Origin)
    : FSurface(std::make_unique<TSurface>(Size)), FOrigin(Origin) {
  FSurface->Image.fill(Qt::white);
  FDC = GtCreateSurfaceDC(FSurface.get());
  SetViewportOrgEx(FDC, -Origin.x(), -Origin.y(), nullptr);
}

TRowCanvas::~TRowCanvas() { DeleteDC(FDC); }

QImage& TRowCanvas::Image() { return FSurface->Image; }

const QImage& TRowCanvas::Finished() {
  QImage& Img = FSurface->Image;
  for (int y = 0; y < Img.height(); ++y) {
    auto* Line = reinterpret_cast<uint32_t*>(Img.scanLine(y));
    for (int x = 0; x < Img.width(); ++x) Line[x] |= 0xFF000000u;
  }
  return Img;
}

void FillRowRect(HDC DC, const TRect& R, COLORREF Color) {
  HBRUSH B = CreateSolidBrush(Color);
  FillRect(DC, &R, B);
  DeleteObject(B);
}

QSize ImageListSize(HIMAGELIST List) {
  Integer W = 0, H = 0;
  if (!List || !ImageList_GetIconSize(List, &W, &H)) return QSize(0, 0);
  return QSize(W, H);
}

void DrawListImage(TRowCanvas& Row, HIMAGELIST List, Integer Index, Integer Overlay, Integer X, Integer Y, bool Cut,
                   COLORREF Background) {
  if (!List || Index < 0 || Index >= ImageList_GetImageCount(List)) return;
  ImageList_DrawEx(List, Index, Row.DC(), X, Y, 0, 0, CLR_NONE, CLR_DEFAULT, ILD_TRANSPARENT);
  if (Overlay >= 0 && Overlay < ImageList_GetImageCount(List))
    ImageList_DrawEx(List, Overlay, Row.DC(), X, Y, 0, 0, CLR_NONE, CLR_DEFAULT, ILD_TRANSPARENT);
  if (!Cut) return;
  // The cut look: the picture shows through half of the background.
  const QSize S = ImageListSize(List);
  QImage& Img = Row.Image();
  const QRect R = QRect(QPoint(X, Y) - Row.Origin(), S).intersected(Img.rect());
  const uint32_t Bg = (uint32_t{GetRValue(Background)} << 16) | (uint32_t{GetGValue(Background)} << 8) | GetBValue(Background);
  for (int y = R.top(); y <= R.bottom(); ++y) {
    auto* Line = reinterpret_cast<uint32_t*>(Img.scanLine(y));
    for (int x = R.left(); x <= R.right(); ++x) {
      const uint32_t P = Line[x];
      Line[x] = 0xFF000000u | ((((P & 0xFEFEFEu) >> 1) + ((Bg & 0xFEFEFEu) >> 1)) & 0xFFFFFFu);
    }
  }
}

QPixmap PixmapOfBitmap(HBITMAP Bitmap) {
  BITMAP B;
  if (!Bitmap || GetObjectW(Bitmap, sizeof(B), &B) == 0 || B.bmWidth <= 0 || B.bmHeight <= 0 || B.bmWidth > 4096 ||
      B.bmHeight > 4096)
    return QPixmap();
  BITMAPINFO Info;
  Info.bmiHeader.biWidth = B.bmWidth;
  Info.bmiHeader.biHeight = -B.bmHeight;  // top-down rows
  Info.bmiHeader.biBitCount = 32;
  QImage Img(B.bmWidth, B.bmHeight, QImage::Format_RGB32);
  std::vector<uint32_t> Bits(static_cast<size_t>(B.bmWidth) * static_cast<size_t>(B.bmHeight));
  HDC DC = CreateCompatibleDC(nullptr);
  const Integer Lines = GetDIBits(DC, Bitmap, 0, static_cast<UINT>(B.bmHeight), Bits.data(), &Info, DIB_RGB_COLORS);
  DeleteDC(DC);
  if (Lines <= 0) return QPixmap();
  for (int y = 0; y < B.bmHeight; ++y)
    for (int x = 0; x < B.bmWidth; ++x)
      Img.setPixel(x, y, 0xFF000000u | Bits[static_cast<size_t>(y) * static_cast<size_t>(B.bmWidth) + static_cast<size_t>(x)]);
  return QPixmap::fromImage(Img);
}

Integer RowTextWidth(HDC DC, const WideString& Text) {
  TSize S;
  if (Text.empty() || !GetTextExtentPoint32W(DC, Text.c_str(), static_cast<Integer>(Text.size()), &S)) return 0;
  return S.cx;
}

namespace {
// Mouse input arrives at the viewport, keys and focus at the view (the
// focus proxy of the window's widget); both go to the window procedure first.
class TViewFilter : public QObject {
 public:
  TViewFilter(QObject* Parent, HWND AWnd, bool AMouse) : QObject(Parent), Wnd(AWnd), Mouse(AMouse) {}
  bool eventFilter(QObject* Obj, QEvent* E) override {
    bool Take = false;
    switch (E->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel: Take = Mouse; break;
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::FocusIn:
      case QEvent::FocusOut: Take = !Mouse; break;
      case QEvent::ContextMenu: Take = true; break;
      default: break;
    }
    if (!Take) return false;
    TWindow* W = Lookup(Wnd);
    if (!W || W->Dead) return false;
    return TranslateInput(W, E, static_cast<QWidget*>(Obj));
  }
  HWND Wnd;
  bool Mouse;
};
}  // namespace

void ShowViewportInputToWindow(QAbstractItemView* View, HWND Wnd) {
  View->viewport()->installEventFilter(new TViewFilter(View->viewport(), Wnd, true));
  View->installEventFilter(new TViewFilter(View, Wnd, false));
}

}  // namespace gtui
