// A small modal window that shows up to 256 palette colours as a grid of
// 16 x 16 cells (32 per row) and returns the colour the user clicks.
#pragma once

#include "imaging/core/base/ieutils.h"
#include "platform/ui/forms.h"

class TButton;

class TZiduzUvPaletteDialog : public TForm {
 public:
  explicit TZiduzUvPaletteDialog(TComponent* AOwner);

  // Keeps a reference to the caller's colours (blue, green, red triples),
  // which must stay alive while the window is shown.
  void SetPalette(TRGB* Colors, Integer NumColors);
  // Shows the window modally; true when a colour was chosen (SelectedColor).
  bool Execute();

  void PaintCells(TObject* Sender);
  // Makes the cell under client point (X, Y) current when it holds a colour.
  void TrackMouse(TObject* Sender, TShiftState Shift, Integer X, Integer Y);
  // Chooses the current cell's colour and closes with mrOk; without a current
  // cell there is nothing to choose and the click is ignored.
  void SelectCell(TObject* Sender);

  // The current cell, -1 when none.
  Integer CurrentCell() const { return FCurrentCell; }
  TButton* CancelButton() const { return FCancelButton; }

  TColor SelectedColor = 0;

 private:
  Integer FCurrentCell = -1;
  TRGB* FColors = nullptr;
  Integer FNumColors = 0;
  TButton* FCancelButton = nullptr;
};
