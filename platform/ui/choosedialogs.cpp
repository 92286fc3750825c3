// Font and colour pickers over the toolkit's own dialogs.
#include "platform/ui/choosedialogs.h"

#include <QColorDialog>
#include <QFontDialog>
#include <QFontInfo>

#include "platform/ui/printers.h"
#include "platform/ui/private/native.h"
#include "platform/ui/stdctrls.h"

namespace choosedialogs {
namespace {
TGtChooseHook g_Hook;
}  // namespace
}  // namespace choosedialogs

using namespace choosedialogs;

void GtSetChooseDialogHook(const TGtChooseHook& Hook) { g_Hook = Hook; }

bool GtChooseFont(HWND Owner, TFont* Font) {
  if (!Font) return false;
  if (g_Hook) return g_Hook(Font, nullptr);
  bool Ok = false;
  const QFont Chosen = QFontDialog::getFont(&Ok, gtui::ToQFont(Font), gtui::ClientWidgetOf(Owner));
  if (!Ok) return false;
  Font->SetName(gtui::FromQString(Chosen.family()));
  // The picker speaks points; the font keeps its pixel convention (negative
  // height = character height).
  const int Px = Chosen.pixelSize() > 0 ? Chosen.pixelSize() : QFontInfo(Chosen).pixelSize();
  if (Px > 0) Font->SetHeight(-Px);
  TFontStyles S;
  if (Chosen.bold()) S.Include(fsBold);
  if (Chosen.italic()) S.Include(fsItalic);
  if (Chosen.underline()) S.Include(fsUnderline);
  if (Chosen.strikeOut()) S.Include(fsStrikeOut);
  Font->SetStyle(S);
  return true;
}

bool GtChooseColor(HWND Owner, TColor& Color) {
  if (g_Hook) return g_Hook(nullptr, &Color);
  const Integer Rgb = ColorToRGB(Color);
  const QColor Start(GetRValue(static_cast<COLORREF>(Rgb)), GetGValue(static_cast<COLORREF>(Rgb)),
                     GetBValue(static_cast<COLORREF>(Rgb)));
  const QColor Chosen = QColorDialog::getColor(Start, gtui::ClientWidgetOf(Owner));
  if (!Chosen.isValid()) return false;
  Color = static_cast<TColor>(RGB(static_cast<Byte>(Chosen.red()), static_cast<Byte>(Chosen.green()),
                                  static_cast<Byte>(Chosen.blue())));
  return true;
}

namespace choosedialogs {
namespace {
// The window a picker stays above: the active form's, else the main form's.
HWND OwnerHandle() {
  if (HWND Active = GetActiveWindow()) return Active;
  if (!Application) return nullptr;
  if (TCustomForm* F = Application->MainForm(); F && F->HandleAllocated()) return F->Handle();
  return nullptr;
}
}  // namespace
}  // namespace choosedialogs

bool TColorDialog::Execute() {
  DoShow();
  TColor C = FColor;
  const bool Ok = GtChooseColor(OwnerHandle(), C);
  if (Ok) FColor = C;
  DoClose();
  return Ok;
}

TFontDialog::TFontDialog(TComponent* AOwner) : TCommonDialog(AOwner), FFont(std::make_unique<TFont>()) {}

TFontDialog::~TFontDialog() = default;

bool TFontDialog::Execute() {
  DoShow();
  // The picker works on a copy, so that a cancelled choice leaves the font untouched.
  TFont Chosen;
  Chosen.Assign(FFont.get());
  const bool Ok = GtChooseFont(OwnerHandle(), &Chosen);
  if (Ok) FFont->Assign(&Chosen);
  DoClose();
  return Ok;
}

bool TPrinterSetupDialog::Execute() {
  constexpr Integer Margin = 8, Width = 300, ButtonWidth = 75, ButtonHeight = 25;
  std::unique_ptr<TForm> Form(new TForm(nullptr));
  Form->SetBorderStyle(bsDialog);
  Form->SetCaption(u"Print Setup");
  Form->SetPosition(poScreenCenter);
  auto* Label = new TLabel(Form.get());
  Label->SetParent(Form.get());
  Label->SetBounds(Margin, Margin + 3, 60, 13);
  Label->SetCaption(u"&Name:");
  auto* Names = new TComboBox(Form.get());
  Names->SetName(u"Printers");
  Names->SetParent(Form.get());
  Names->SetStyle(csDropDownList);
  Names->SetBounds(Margin + 64, Margin, Width - 2 * Margin - 64, 21);
  TStrings* List = Printer()->Printers();
  Names->Items()->Assign(List);
  if (List->Count() > 0) Names->SetItemIndex(Printer()->PrinterIndex() < 0 ? 0 : Printer()->PrinterIndex());
  auto* Orientation = new TRadioGroup(Form.get());
  Orientation->SetName(u"Orientation");
  Orientation->SetParent(Form.get());
  Orientation->SetCaption(u"Orientation");
  Orientation->SetBounds(Margin, Margin + 30, Width - 2 * Margin, 64);
  Orientation->Items()->Add(u"P&ortrait");
  Orientation->Items()->Add(u"L&andscape");
  Orientation->SetItemIndex(Printer()->Orientation() == poLandscape ? 1 : 0);
  const Integer ButtonTop = Orientation->Top() + Orientation->Height() + 12;
  auto* Ok = new TButton(Form.get());
  Ok->SetParent(Form.get());
  Ok->SetCaption(u"OK");
  Ok->SetModalResult(mrOk);
  Ok->SetDefault(true);
  Ok->SetBounds(Width - Margin - 2 * ButtonWidth - 6, ButtonTop, ButtonWidth, ButtonHeight);
  auto* Cancel = new TButton(Form.get());
  Cancel->SetParent(Form.get());
  Cancel->SetCaption(u"Cancel");
  Cancel->SetModalResult(mrCancel);
  Cancel->SetCancel(true);
  Cancel->SetBounds(Width - Margin - ButtonWidth, ButtonTop, ButtonWidth, ButtonHeight);
  Form->SetClientWidth(Width);
  Form->SetClientHeight(ButtonTop + ButtonHeight + Margin);
  FHandle = Form->Handle();
  DoShow();
  const bool Confirmed = GtShowDialogForm(Form.get()) == mrOk;
  FHandle = nullptr;
  if (Confirmed) {
    const Integer Index = Names->ItemIndex();
    if (Index >= 0 && Index < List->Count() && !Printer()->Printing()) Printer()->SetPrinterIndex(Index);
    if (!Printer()->Printing()) Printer()->SetOrientation(Orientation->ItemIndex() == 1 ? poLandscape : poPortrait);
  }
  Form.reset();
  DoClose();
  return Confirmed;
}
