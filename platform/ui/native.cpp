// Windows whose pixels a Qt widget paints.
#include "platform/ui/private/native.h"

namespace gtui {

QFont ToQFont(TFont* Font) {
  QFont Q(ToQString(Font->Name()));
  Integer H = Font->Height();
  // Negative heights are character heights; positive ones include the internal leading.
  if (H < 0)
    Q.setPixelSize(-H);
  else if (H > 0)
    Q.setPixelSize(std::max(1, H - H / 5));
  TFontStyles S = Font->Style();
  Q.setBold(S.Contains(fsBold));
  Q.setItalic(S.Contains(fsItalic));
  Q.setUnderline(S.Contains(fsUnderline));
  Q.setStrikeOut(S.Contains(fsStrikeOut));
  return Q;
}

void CreateNativeWindow(const TCreateParams& Params, QWidget* Widget, const TWndMethod& Proc, HWND* Handle,
                        TFont* Font) {
  if (Font) Widget->setFont(ToQFont(Font));
  Widget->setFocusPolicy((Params.Style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
  TCreateWindow C;
  C.Kind = wkNative;
  C.Parent = Params.WndParent;
  C.Style = Params.Style;
  C.ExStyle = Params.ExStyle;
  C.ClassStyle = Params.WindowClass.style;
  C.Rect = Bounds(Params.X, Params.Y, Params.Width, Params.Height);
  C.Text = Params.Caption;
  C.Proc = Proc;
  C.Native = Widget;
  C.HandleOut = Handle;
  CreateWindowRecord(C);
}

}  // namespace gtui
