// The palette picker window.
#include "imaging/core/color/iepalettepicker.h"

#include <algorithm>

#include "platform/graphics/canvas.h"
#include "platform/ui/stdctrls.h"

TZiduzUvPaletteDialog::TZiduzUvPaletteDialog(TComponent* AOwner) : TForm(AOwner) {
  SetBorderStyle(bsDialog);
  SetBorderIcons(TBorderIcons{biSystemMenu});
  SetCaption(u"Palette");
  SetWidth(520);
  SetHeight(199);
  SetPosition(poScreenCenter);
  FCancelButton = new TButton(this);
  FCancelButton->SetParent(this);
  FCancelButton->SetCaption(u"&Cancel");
  FCancelButton->SetLeft(4);
  FCancelButton->SetTop(136);
  FCancelButton->SetModalResult(mrCancel);
  FCancelButton->SetCancel(true);
  OnPaint = [this](TObject* Sender) { PaintCells(Sender); };
  OnMouseMove = [this](TObject* Sender, TShiftState Shift, Integer X, Integer Y) { TrackMouse(Sender, Shift, X, Y); };
  OnClick = [this](TObject* Sender) { SelectCell(Sender); };
}

void TZiduzUvPaletteDialog::SetPalette(TRGB* Colors, Integer NumColors) {
  FColors = Colors;
  FNumColors = Colors ? std::max(NumColors, 0) : 0;
  if (FCurrentCell >= FNumColors) FCurrentCell = -1;
}

bool TZiduzUvPaletteDialog::Execute() { return ShowModal() == mrOk; }

void TZiduzUvPaletteDialog::PaintCells(TObject*) {
  TCanvas* c = Canvas();
  for (Integer i = 0; i < FNumColors; ++i) {
    const Integer col = i % 32, row = i / 32;
    const TRect r(col * 16 + 1, row * 16 + 1, col * 16 + 16, row * 16 + 16);
    const TRGB& rgb = FColors[i];
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(TColor(RGB(rgb.r, rgb.g, rgb.b)));
    c->FillRect(r);
    c->Pen()->SetStyle(psSolid);
    c->Pen()->SetMode(pmCopy);
    c->Pen()->SetColor(i == FCurrentCell ? clBlack : clWhite);
    c->Brush()->SetStyle(bsClear);
    c->Rectangle(r);
  }
}

void TZiduzUvPaletteDialog::TrackMouse(TObject*, TShiftState, Integer X, Integer Y) {
  const Integer cell = (X - 1) / 16 + ((Y - 1) / 16) * 32;
  if (cell >= 0 && cell < FNumColors && cell != FCurrentCell) {
    FCurrentCell = cell;
    Repaint();
  }
}

void TZiduzUvPaletteDialog::SelectCell(TObject*) {
  if (FCurrentCell < 0 || FCurrentCell >= FNumColors) return;
  const TRGB& rgb = FColors[FCurrentCell];
  SelectedColor = TColor(RGB(rgb.r, rgb.g, rgb.b));
  SetModalResult(mrOk);
}
