// The font and colour pickers of the common dialogs (ChooseFont, ChooseColor),
// modal over a window, the dialog components over them, and the printer
// set-up. Tests answer them through hooks instead of a person.
#pragma once

#include <functional>
#include <memory>

#include "platform/graphics/canvas.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/messages.h"

// Shows the font picker with Font's face, height, styles and colour; on OK
// writes the choice back into Font and answers true.
bool GtChooseFont(HWND Owner, TFont* Font);
// Shows the colour picker starting at Color; on OK stores the choice.
bool GtChooseColor(HWND Owner, TColor& Color);

// While set, the pickers call the hook instead of showing anything: Font is
// non-null for the font picker, otherwise Color is the colour to change. The
// hook answers whether the user confirmed. Null restores the real pickers.
using TGtChooseHook = std::function<bool(TFont* Font, TColor* Color)>;
void GtSetChooseDialogHook(const TGtChooseHook& Hook);

// The colour dialog: Execute shows the picker at Color and, on OK, stores the choice.
class TColorDialog : public TCommonDialog {
 public:
  explicit TColorDialog(TComponent* AOwner) : TCommonDialog(AOwner) {}
  bool Execute() override;
  TColor Color() const { return FColor; }
  void SetColor(TColor Value) { FColor = Value; }

 private:
  TColor FColor = clBlack;
};

// The font dialog over Font: face, size and styles come back on OK. The
// picker offers no colour; the font keeps its own.
class TFontDialog : public TCommonDialog {
 public:
  explicit TFontDialog(TComponent* AOwner);
  ~TFontDialog() override;
  bool Execute() override;
  TFont* Font() const { return FFont.get(); }
  void SetFont(TFont* Value) { FFont->Assign(Value); }

 private:
  std::unique_ptr<TFont> FFont;
};

// The printer set-up: the printer and the page orientation of the program's
// printer. A modal box of the layer (its controls "Printers" and
// "Orientation"; GtSetDialogFormHook answers it in tests); on OK the choice
// goes to Printer().
class TPrinterSetupDialog : public TCommonDialog {
 public:
  explicit TPrinterSetupDialog(TComponent* AOwner) : TCommonDialog(AOwner) {}
  bool Execute() override;
};
