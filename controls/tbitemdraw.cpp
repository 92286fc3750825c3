// Measuring (and, later in this file, drawing) of toolbar buttons and menu items.
#include "controls/tbcommon.h"
#include "controls/tbimagelist.h"
#include "controls/tbview.h"

namespace {

// Extra width of a split button's arrow part and of a drop-down arrow in toolbar style.
constexpr Integer ComboArrowExtra = 11;
constexpr Integer DropdownArrowExtra = 8;

}  // namespace

void TTBItemViewer::MeasureSize(TCanvas* Canvas, Integer& AWidth, Integer& AHeight) {
  const bool ToolbarStyle = IsToolbarStyle();
  AWidth = AHeight = ToolbarStyle ? 6 : 0;
  HDC DC = Canvas->Handle();
  TEXTMETRICW TM;
  GetTextMetricsW(DC, &TM);
  if (!ToolbarStyle || CaptionShown()) {
    const WideString Text = CaptionText();
    if (!IsRotated()) {
      AHeight += TM.tmHeight;
      AWidth += MeasureTextWidth(DC, Text, true) + (ToolbarStyle ? 6 : 0);
    } else {
      HFONT Vertical = CreateVerticalFont(DC);
      HGDIOBJ Old = Vertical ? SelectObject(DC, Vertical) : nullptr;
      TEXTMETRICW VTM = TM;
      GetTextMetricsW(DC, &VTM);
      AWidth += VTM.tmHeight;
      AHeight += MeasureTextWidth(DC, Text, true) + (ToolbarStyle ? 6 : 0);
      if (Vertical) {
        SelectObject(DC, Old);
        DeleteObject(Vertical);
      }
    }
  }
  TCustomImageList* List = ImageList();
  if (ToolbarStyle && List && ImageShown()) {
    if (!IsRotated() && !FItem->EffectiveOptions().Contains(tboImageAboveCaption)) {
      AWidth += List->Width() + 1;
      AHeight = std::max(AHeight, List->Height() + 6);
    } else {
      AHeight += List->Height();
      AWidth = std::max(AWidth, List->Width() + 7);
    }
  }
  const TTBItemStyle Style = FItem->ItemStyle();
  if (ToolbarStyle && Style.Contains(tisSubmenu)) {
    if (Style.Contains(tisCombo))
      AWidth += ComboArrowExtra;
    else if (FItem->EffectiveOptions().Contains(tboDropdownArrow)) {
      if (FView->Orientation() == tbvoVertical)
        AHeight += DropdownArrowExtra;
      else
        AWidth += DropdownArrowExtra;
    }
  }
  if (!ToolbarStyle) {
    AHeight = TM.tmHeight + TM.tmExternalLeading + 4;
    Integer ImageColumn = AHeight;
    if (List) {
      AHeight = std::max(AHeight, List->Height() + 3);
      ImageColumn = MulDiv(List->Width() + 3, AHeight, List->Height() + 3);
    }
    AWidth += ImageColumn + 6;
    const WideString ShortCut = FItem->ShortCutText();
    if (!ShortCut.empty()) AWidth += TextExtentOf(DC, ShortCut).cx + AHeight + 6;
    AWidth += AHeight;  // room for the submenu arrow
  }
}

void TTBSeparatorItemViewer::MeasureSize(TCanvas*, Integer& AWidth, Integer& AHeight) {
  if (IsToolbarStyle()) {
    AWidth = 6;
    AHeight = 6;
  } else {
    AWidth = 0;
    AHeight = 10;
  }
}

// ---------------------------------------------------------------- drawing

namespace {

// Width of the image strip of the flat colour scheme.
Integer StripWidth(const TTBView* View) { return View->ScreenPixelsPerInch() == 120 ? 22 : 20; }

void FillWith(HDC DC, const TRect& R, TColor Color) {
  HBRUSH B = CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(Color)));
  FillRect(DC, &R, B);
  DeleteObject(B);
}

void FrameWith(HDC DC, const TRect& R, TColor Color) {
  HBRUSH B = CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(Color)));
  FrameRect(DC, &R, B);
  DeleteObject(B);
}

// The checked-button pattern: button face and highlight pixels alternating.
void FillChecker(HDC DC, const TRect& R) {
  const uint32_t Face = static_cast<uint32_t>(ColorToRGB(clBtnFace));
  const uint32_t Light = static_cast<uint32_t>(ColorToRGB(clBtnHighlight));
  auto Bgr = [](uint32_t C) { return ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF); };
  uint32_t Pixels[64];
  for (Integer Y = 0; Y < 8; ++Y)
    for (Integer X = 0; X < 8; ++X) Pixels[Y * 8 + X] = Bgr(((X + Y) & 1) ? Light : Face);
  HBITMAP Bitmap = CreateBitmap(8, 8, 1, 32, Pixels);
  HBRUSH Brush = CreatePatternBrush(Bitmap);
  FillRect(DC, &R, Brush);
  DeleteObject(Brush);
  DeleteObject(Bitmap);
}

void DrawPolyline(HDC DC, TColor Color, const std::vector<TPoint>& Points) {
  HPEN Pen = CreatePen(PS_SOLID, 1, static_cast<COLORREF>(ColorToRGB(Color)));
  HGDIOBJ Old = SelectObject(DC, Pen);
  Polyline(DC, Points.data(), static_cast<Integer>(Points.size()));
  SelectObject(DC, Old);
  DeleteObject(Pen);
}

// An item's image centred in Box; a toolbar image list picks the list for the state.
void DrawItemImage(TCanvas* Canvas, TCustomImageList* List, const TRect& Box, bool Selected, bool Enabled,
                   bool Checked, Integer Index) {
  const Integer X = Box.Left + (Box.Width() - List->Width()) / 2;
  const Integer Y = Box.Top + (Box.Height() - List->Height()) / 2;
  if (auto* TB = dynamic_cast<TTBCustomImageList*>(List))
    TB->DrawState(Canvas, X, Y, Index, Enabled, Selected, Checked);
  else
    List->Draw(Canvas, X, Y, Index, Enabled);
}

// The drop-down arrow, a small filled triangle.
void DrawDropdownArrow(HDC DC, const TRect& Area, bool Left, TColor Color) {
  const Integer CX = Area.Left + Area.Width() / 2, CY = Area.Top + Area.Height() / 2;
  TPoint P[3];
  if (Left) {
    P[0] = TPoint(CX - 1, CY + 2);
    P[1] = TPoint(CX - 1, CY - 2);
    P[2] = TPoint(CX - 3, CY);
  } else {
    P[0] = TPoint(CX - 2, CY - 1);
    P[1] = TPoint(CX + 2, CY - 1);
    P[2] = TPoint(CX, CY + 1);
  }
  const COLORREF C = static_cast<COLORREF>(ColorToRGB(Color));
  HPEN Pen = CreatePen(PS_SOLID, 1, C);
  HBRUSH Brush = CreateSolidBrush(C);
  HGDIOBJ OldPen = SelectObject(DC, Pen), OldBrush = SelectObject(DC, Brush);
  Polygon(DC, P, 3);
  SelectObject(DC, OldPen);
  SelectObject(DC, OldBrush);
  DeleteObject(Pen);
  DeleteObject(Brush);
}

// The system's submenu arrow, drawn as a mask in one colour (mask pixels
// take the brush, the rest keeps the destination).
void DrawMenuArrow(HDC DC, Integer X, Integer Y, TColor Color) {
  const Integer W = GetSystemMetrics(SM_CXMENUCHECK), H = GetSystemMetrics(SM_CYMENUCHECK);
  HDC Mono = CreateCompatibleDC(DC);
  HBITMAP Mask = CreateBitmap(W, H, 1, 1, nullptr);
  HGDIOBJ OldMask = SelectObject(Mono, Mask);
  TRect R(0, 0, W, H);
  DrawFrameControl(Mono, &R, DFC_MENU, DFCS_MENUARROW);
  HBRUSH Brush = CreateSolidBrush(static_cast<COLORREF>(ColorToRGB(Color)));
  HGDIOBJ OldBrush = SelectObject(DC, Brush);
  const COLORREF OldText = SetTextColor(DC, RGB(0, 0, 0));
  const COLORREF OldBk = SetBkColor(DC, RGB(255, 255, 255));
  BitBlt(DC, X, Y, W, H, Mono, 0, 0, 0x00E20746);
  SetTextColor(DC, OldText);
  SetBkColor(DC, OldBk);
  SelectObject(DC, OldBrush);
  DeleteObject(Brush);
  SelectObject(Mono, OldMask);
  DeleteObject(Mask);
  DeleteDC(Mono);
}

}  // namespace

void TTBItemViewer::DrawCaption(TCanvas* Canvas, const TRect& R, UINT Format, bool Emboss, const WideString& Text) {
  HDC DC = Canvas->Handle();
  auto Draw = [&](const TRect& Where) {
    TRect T = Where;
    if (IsRotated())
      DrawVerticalText(DC, Text, T, Format);
    else
      DrawTextString(DC, Text, T, Format);
  };
  if (Emboss) {
    const COLORREF Old = GetTextColor(DC);
    SetTextColor(DC, GetSysColor(COLOR_BTNHIGHLIGHT));
    TRect Moved = R;
    OffsetRect(Moved, 1, 1);
    Draw(Moved);
    SetTextColor(DC, GetSysColor(COLOR_BTNSHADOW));
    Draw(R);
    SetTextColor(DC, Old);
  } else {
    Draw(R);
  }
}

void TTBItemViewer::Paint(TCanvas* Canvas, const TRect& ClientRect, bool IsSelected, bool IsPushed, bool Emboss) {
  HDC DC = Canvas->Handle();
  TRect R = ClientRect;
  const TTBItemStyle Style = FItem->ItemStyle();
  const TTBItemOptions Options = FItem->EffectiveOptions();
  const bool ToolbarStyle = IsToolbarStyle();
  const bool Vertical = FView->Orientation() == tbvoVertical;
  const bool Enabled = FItem->Enabled() || FView->Customizing();
  const bool Combo = Style.Contains(tisSubmenu) && Style.Contains(tisCombo);
  const bool Dropdown = Style.Contains(tisSubmenu) && !Combo && Options.Contains(tboDropdownArrow);
  const bool HasArrow = Combo || Dropdown;
  const bool Checked = FItem->Checked();
  const bool Designing = FItem->ComponentState().Contains(csDesigning);
  const bool Xp = FItem->DisplayXP();
  const bool Tag99 = FItem->Tag() == 99;
  const Integer Strip = StripWidth(FView);
  TEXTMETRICW TM;
  GetTextMetricsW(DC, &TM);

  if (IsSelected && Tag99) {
    FillWith(DC, R, FItem->XPItemSelBkgrCol());
    FrameWith(DC, R, FItem->XPItemOutlineCol());
  }
  if (Xp) {
    Emboss = false;
    if (!Tag99) {
      FillWith(DC, R, FItem->XPItemBkgrCol());
      FillWith(DC, TRect(R.Left, R.Top, R.Left + Strip, R.Bottom), FItem->XPItemLeftCol());
    }
  }

  const TColor FontColor = static_cast<TColor>(GetTextColor(DC));
  TCustomImageList* List = ImageList();
  const bool ShowImage = List && ImageShown();
  const bool ImageBeside = !IsRotated() && !Options.Contains(tboImageAboveCaption);
  // Without an image list the column is square.
  const Integer ImageColumn = List ? MulDiv(List->Width() + 3, R.Height(), List->Height() + 3) : R.Height();
  if (ToolbarStyle) {
    TRect Arrow;
    if (Combo) {
      R.Right -= 2;
      Arrow = TRect(R.Right - 9, R.Top, R.Right, R.Bottom);
      R.Right -= 9;
    } else if (Dropdown) {
      Arrow = Vertical ? TRect(R.Left, R.Bottom - 11, R.Right, R.Bottom - 3)
                       : TRect(R.Right - 11, R.Top, R.Right - 3, R.Bottom);
    }
    if ((IsSelected && Enabled) || Checked || Designing) {
      const bool Sunken = Combo ? ((IsPushed && FView->Capture()) || Checked) : (IsPushed || Checked);
      TRect E = R;
      DrawEdge(DC, &E, Sunken ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
      if (Combo && ((IsSelected && Enabled) || Designing)) {
        TRect A = Arrow;
        DrawEdge(DC, &A, IsPushed && !FView->Capture() ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
      }
    }
    if (HasArrow) {
      TRect A = Arrow;
      if (IsPushed && !Combo) OffsetRect(A, 1, 1);
      const bool PointsLeft = Vertical && !Combo;
      if (Emboss) {
        TRect B = A;
        OffsetRect(B, 1, 1);
        DrawDropdownArrow(DC, B, PointsLeft, clBtnHighlight);
        DrawDropdownArrow(DC, A, PointsLeft, clBtnShadow);
      } else {
        DrawDropdownArrow(DC, A, PointsLeft, FontColor);
      }
    }
    InflateRect(R, -1, -1);
    if (Checked && !(IsSelected && Enabled)) FillChecker(DC, R);
    InflateRect(R, -1, -1);
    if (Checked || (IsSelected && IsPushed && (!Combo || FView->Capture()))) OffsetRect(R, 1, 1);
    if (Dropdown) {
      if (Vertical)
        R.Bottom -= 8;
      else
        R.Right -= 8;
    }
  } else if (IsSelected) {
    TRect H = R;
    if (Xp) H.Left += ImageColumn + 1;
    if (Combo && Enabled) H.Right -= GetSystemMetrics(SM_CXMENUCHECK);
    if (Enabled) {
      if (Xp) {
        FillWith(DC, H, FItem->XPItemSelBkgrCol());
        FrameWith(DC, H, FItem->XPItemOutlineCol());
      } else {
        Canvas->FillRect(H);
      }
    } else if (!Xp) {
      Canvas->FillRect(H);
    }
  }

  Canvas->Brush()->SetStyle(bsClear);
  if (Options.Contains(tboDefault)) Canvas->Font()->SetStyle(TFontStyles(Canvas->Font()->Style()).Include(fsBold));
  DC = Canvas->Handle();  // the canvas selects its changed objects into the DC

  UINT Prefix = 0;
  if (!KeyboardCuesShown() && FView->Style().Contains(vstHideAccelsUntilAlt) && !FView->State().Contains(vsShowAccels))
    Prefix = DT_HIDEPREFIX;
  if (CaptionShown()) {
    TRect C = R;
    if (ToolbarStyle) {
      if (ShowImage) {
        if (ImageBeside)
          C.Left += List->Width() + 1;
        else
          C.Top += List->Height() + 1;
      }
      DrawCaption(Canvas, C, DT_CENTER | DT_VCENTER | DT_SINGLELINE | Prefix, Emboss, CaptionText());
    } else {
      C.Left = ImageColumn + 5;
      if (C.Height() - (TM.tmHeight + TM.tmExternalLeading) == 4) --C.Bottom;
      C.Top += TM.tmExternalLeading;
      const COLORREF Old = GetTextColor(DC);
      if (Xp) {
        if (IsSelected && Enabled) SetTextColor(DC, static_cast<COLORREF>(ColorToRGB(FItem->XPItemSelTxtCol())));
        if (!Enabled) SetTextColor(DC, static_cast<COLORREF>(ColorToRGB(FItem->XPItemUnactTxtCol())));
      }
      DrawCaption(Canvas, C, DT_VCENTER | DT_SINGLELINE | Prefix, Emboss, CaptionText());
      SetTextColor(DC, Old);
    }
  }

  if (!ToolbarStyle) {
    const WideString ShortCut = FItem->ShortCutText();
    if (!ShortCut.empty()) {
      TRect S = R;
      S.Left = R.Right - TextExtentOf(DC, ShortCut).cx - 8;
      if (S.Height() - (TM.tmHeight + TM.tmExternalLeading) == 4) --S.Bottom;
      S.Top += TM.tmExternalLeading;
      DrawCaption(Canvas, S, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX, Emboss, ShortCut);
    }
    if (Style.Contains(tisSubmenu)) {
      const Integer CW = GetSystemMetrics(SM_CXMENUCHECK), CH = GetSystemMetrics(SM_CYMENUCHECK);
      if (Combo) {
        TRect A(R.Right - CW, R.Top, R.Right, R.Bottom);
        if (IsSelected && Enabled) {
          DrawEdge(DC, &A, BDR_SUNKENOUTER, BF_RECT | BF_MIDDLE);
        } else {
          --A.Left;
          DrawEdge(DC, &A, IsSelected ? BDR_SUNKENOUTER : EDGE_ETCHED, BF_LEFT);
        }
      }
      const Integer X = R.Right - CW, Y = R.Top + (R.Height() - CH) / 2;
      if (Emboss) {
        DrawMenuArrow(DC, X + 1, Y + 1, clBtnHighlight);
        DrawMenuArrow(DC, X, Y, clBtnShadow);
      } else if (Combo && IsSelected && Enabled) {
        DrawMenuArrow(DC, X + 1, Y + 1, clBtnText);
      } else {
        DrawMenuArrow(DC, X, Y, static_cast<TColor>(GetTextColor(DC)));
      }
    }
  }

  // The image, or the check mark of a menu item without image.
  if (ShowImage && ToolbarStyle) {
    TRect Box = R;
    if (ImageBeside)
      Box.Right = Box.Left + List->Width() + 2;
    else
      Box.Bottom = Box.Top + List->Height() + 2;
    DrawItemImage(Canvas, List, Box, IsSelected, Enabled, Checked, FItem->ImageIndex());
  } else if (!ToolbarStyle && (ShowImage || Checked)) {
    TRect Box(R.Left, R.Top, R.Left + ImageColumn, R.Bottom);
    if ((IsSelected && Enabled) || Checked) {
      TRect E = Box;
      DrawEdge(DC, &E, Checked ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT | BF_MIDDLE);
    }
    if (Checked && !IsSelected) {
      TRect Inner = Box;
      InflateRect(Inner, -1, -1);
      FillChecker(DC, Inner);
    }
    if (Checked) OffsetRect(Box, 1, 1);
    if (ShowImage) {
      DrawItemImage(Canvas, List, Box, IsSelected, Enabled, Checked, FItem->ImageIndex());
    } else {
      const Integer CX = Box.Left + Box.Width() / 2, CY = Box.Top + Box.Height() / 2;
      if (FItem->RadioItem()) {
        const COLORREF Text = static_cast<COLORREF>(ColorToRGB(clBtnText));
        HBRUSH Fill = CreateSolidBrush(Text);
        HPEN Pen = CreatePen(PS_SOLID, 1, Text);
        HGDIOBJ OB = SelectObject(DC, Fill), OP = SelectObject(DC, Pen);
        RoundRect(DC, CX - 3, CY - 3, CX + 2, CY + 2, 2, 2);
        HPEN Light = CreatePen(PS_SOLID, 1, static_cast<COLORREF>(ColorToRGB(clBtnHighlight)));
        SelectObject(DC, Light);
        SelectObject(DC, GetStockObject(NULL_BRUSH));
        RoundRect(DC, CX - 4, CY - 4, CX + 3, CY + 3, 6, 6);
        SelectObject(DC, OB);
        SelectObject(DC, OP);
        DeleteObject(Fill);
        DeleteObject(Pen);
        DeleteObject(Light);
      } else {
        const Integer X = CX - 2, Y = CY + 1;
        auto At = [&](std::initializer_list<TPoint> L) {
          std::vector<TPoint> P;
          for (const TPoint& Q : L) P.push_back(TPoint(X + Q.X, Y + Q.Y));
          return P;
        };
        DrawPolyline(DC, clBtnText, At({{-2, -2}, {0, 0}, {4, -4}, {4, -3}, {0, 1}, {-2, -1}, {-2, -2}}));
        DrawPolyline(DC, clBtnHighlight, At({{-3, -2}, {-3, -1}, {0, 2}, {5, -3}, {5, -5}}));
      }
    }
  }
  if (Options.Contains(tboDefault)) Canvas->Font()->SetStyle(TFontStyles(Canvas->Font()->Style()).Exclude(fsBold));
}

void TTBSeparatorItemViewer::Paint(TCanvas* Canvas, const TRect& R, bool, bool, bool) {
  auto* Sep = static_cast<TTBSeparatorItem*>(Item());
  if (Sep->Blank()) return;
  HDC DC = Canvas->Handle();
  const bool Xp = Sep->DisplayXP();
  const Integer Strip = StripWidth(View());
  Integer LineStart = R.Left;
  if (Xp) {
    FillWith(DC, R, Sep->XPItemBkgrCol());
    FillWith(DC, TRect(R.Left, R.Top, R.Left + Strip, R.Bottom), Sep->XPItemLeftCol());
    LineStart = R.Left + Strip;
  }
  const bool ToolbarStyle = IsToolbarStyle();
  const bool LineBreak = (State & tbvsLineBreak) != 0;
  bool Horizontal = !ToolbarStyle || View()->Orientation() == tbvoVertical;
  if (LineBreak) Horizontal = !Horizontal;
  if (Horizontal) {
    TRect L(LineStart, R.Height() / 2 - 1, R.Right, R.Bottom);
    if (LineBreak && ToolbarStyle) {
      const Integer Cut = View()->Orientation() == tbvoFloating ? 1 : 4;
      L.Left += Cut;
      L.Right -= Cut;
    }
    if (Xp) {
      DrawPolyline(DC, Canvas->Pen()->Color(), {TPoint(Strip, 1), TPoint(R.Right, 1)});
    } else {
      DrawEdge(DC, &L, EDGE_ETCHED, BF_TOP);
    }
  } else {
    TRect L(R.Width() / 2 - 1, R.Top, R.Right, R.Bottom);
    if (LineBreak) {
      L.Top += 4;
      L.Bottom -= 4;
    }
    DrawEdge(DC, &L, EDGE_ETCHED, BF_LEFT);
  }
}

// ---------------------------------------------------------------- painting a view

void TTBView::PaintViewer(TTBItemViewer* Viewer, TCanvas* Canvas, bool UseBitmap) {
  EnsureLayout();
  if (Viewer->State & tbvsNeedsFullRepaint) {
    UseBitmap = true;
    Viewer->State &= static_cast<Byte>(~tbvsNeedsFullRepaint);
  }
  const TRect VR = Viewer->BoundsRect;
  if (!Viewer->Show || IsRectEmpty(VR) || dynamic_cast<TTBControlItem*>(Viewer->Item())) return;
  const bool IsSelected = FSelected == Viewer;
  const bool IsPushed = IsSelected && (Viewer == FOpenViewer || (FMouseOverSelected && FCapture));
  HDC DC = Canvas->Handle();
  const Integer Saved = SaveDC(DC);
  IntersectClipRect(DC, VR.Left, VR.Top, VR.Right, VR.Bottom);
  TRect Clip;
  if (GetClipBox(DC, &Clip) == NULLREGION || IsRectEmpty(Clip)) {
    RestoreDC(DC, Saved);
    return;
  }
  const TRect Area(0, 0, VR.Width(), VR.Height());
  HDC MemDC = nullptr;
  HBITMAP Bitmap = nullptr;
  HGDIOBJ OldBitmap = nullptr;
  TCanvas BitmapCanvas;
  TCanvas* Target = Canvas;
  if (UseBitmap) {
    MemDC = CreateCompatibleDC(DC);
    Bitmap = CreateCompatibleBitmap(DC, VR.Width(), VR.Height());
    OldBitmap = SelectObject(MemDC, Bitmap);
    SetWindowOrgEx(MemDC, VR.Left, VR.Top, nullptr);
    if (FWindow && FWindow->HandleAllocated())
      SendMessage(FWindow->Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(MemDC), 0);
    SetWindowOrgEx(MemDC, 0, 0, nullptr);
    BitmapCanvas.SetHandle(MemDC);
    Target = &BitmapCanvas;
  } else {
    OffsetWindowOrgEx(DC, -VR.Left, -VR.Top, nullptr);
    SetBrushOrgEx(DC, VR.Left, VR.Top, nullptr);
  }
  if (IsSelected && !Viewer->IsToolbarStyle()) {
    Target->Brush()->SetColor(FlatMenusActive() ? clMenuHighlight : clHighlight);
    Target->Brush()->SetStyle(bsSolid);
  } else {
    Target->Brush()->SetStyle(bsClear);
  }
  Target->Font()->Assign(ViewFont());
  bool Emboss = false;
  TColor FontColor;
  if (Viewer->Item()->Enabled()) {
    FontColor = IsSelected && !Viewer->IsToolbarStyle() ? clHighlightText
                : Viewer->IsToolbarStyle()             ? clBtnText
                                                       : clMenuText;
  } else {
    FontColor = clGrayText;
    const Integer WindowColor = FWindow ? ColorToRGB(FWindow->Color()) : ColorToRGB(clMenu);
    Emboss = Viewer->IsToolbarStyle() || WindowColor == ColorToRGB(clGrayText) ||
             (!IsSelected && WindowColor == ColorToRGB(clBtnFace));
  }
  Target->Font()->SetColor(FontColor);
  HDC TargetDC = Target->Handle();
  SetTextColor(TargetDC, static_cast<COLORREF>(ColorToRGB(FontColor)));
  SetBkMode(TargetDC, TRANSPARENT);
  try {
    Viewer->Paint(Target, Area, IsSelected, IsPushed, Emboss);
  } catch (...) {
    if (MemDC) {
      BitmapCanvas.SetHandle(nullptr);
      SelectObject(MemDC, OldBitmap);
      DeleteObject(Bitmap);
      DeleteDC(MemDC);
    }
    RestoreDC(DC, Saved);
    throw;
  }
  if (MemDC) {
    BitBlt(DC, VR.Left, VR.Top, VR.Width(), VR.Height(), MemDC, 0, 0, SRCCOPY);
    BitmapCanvas.SetHandle(nullptr);
    SelectObject(MemDC, OldBitmap);
    DeleteObject(Bitmap);
    DeleteDC(MemDC);
  }
  RestoreDC(DC, Saved);
}

void TTBView::PaintViewers(TCanvas* Canvas) {
  EnsureLayout();
  TRect Clip;
  GetClipBox(Canvas->Handle(), &Clip);
  const bool InOrder = FState.Contains(vsDrawInOrder);
  auto Visible = [&](TTBItemViewer* V) {
    TRect Common;
    return V->Show && IntersectRect(Common, Clip, V->BoundsRect);
  };
  for (TTBItemViewer* V : std::vector<TTBItemViewer*>(FViewers)) {
    if (V == FSelected && !InOrder) continue;
    if (Visible(V))
      PaintViewer(V, Canvas, false);
    else
      V->State &= static_cast<Byte>(~tbvsNeedsFullRepaint);
  }
  // The selected viewer last, so that its frame lies over its neighbours.
  if (FSelected && !InOrder) {
    if (Visible(FSelected))
      PaintViewer(FSelected, Canvas, false);
    else
      FSelected->State &= static_cast<Byte>(~tbvsNeedsFullRepaint);
  }
  FState.Exclude(vsDrawInOrder);
}
