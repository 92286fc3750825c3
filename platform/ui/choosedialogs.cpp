// Font and colour pickers over the toolkit's own dialogs.
#include "platform/ui/choosedialogs.h"

#include <QColorDialog>
#include <QFontDialog>
#include <QFontInfo>

#include "platform/ui/private/native.h"

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
