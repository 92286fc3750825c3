// Layout of a view: which viewers show, their sizes and their places, line
// wrapping, the chevron, and scrolling of tall popups.
#include <algorithm>
#include <memory>

#include "controls/tbcommon.h"
#include "controls/tbview.h"
#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

namespace {

bool IsSep(const TTBItemViewer* V) { return V->Item()->ItemStyle().Contains(tisSeparator); }

// One viewer's share of a layout pass.
struct TLayoutRec {
  TRect R;
  bool Show = false;
  bool OffEdge = false;
  bool LineSep = false;
  bool Clipped = false;
  bool SameWidth = false;
};

// The shared menu font, made from the desktop's menu font on first use.
TFont* SharedMenuFont() {
  static std::unique_ptr<TFont> Font;
  if (!Font) {
    (void)static_cast<TApplication*>(Application);  // fonts come after the window layer
    Font = std::make_unique<TFont>();
    NONCLIENTMETRICSW M;
    if (ReadNonClientMetrics(M)) Font->SetHandle(CreateFontIndirectW(&M.lfMenuFont));
  }
  return Font.get();
}

}  // namespace

TFont* TTBView::ViewFont() { return SharedMenuFont(); }

Integer TTBView::ScreenPixelsPerInch() const { return Screen->PixelsPerInch(); }

void TTBView::LayoutMargins(Integer AOrientation, TRect& Margins) {
  Margins = AOrientation == tbvoFloating ? TRect(4, 2, 4, 1) : TRect(0, 0, 0, 0);
}

void TTBView::Relayout(TPoint& Size) {
  Size = TPoint(0, 0);
  UpdateLayout(Size);
}

void TTBView::UpdateLayout(TPoint& Size) {
  // Size comes in as the least the content may take (a toolbar's row
  // thickness); the layout grows it.
  TPoint Base, Total = Size;
  Integer Lines = 1;
  ComputeLayout(true, FOrientation, FWrapOffset, FChevronOffset, FChevronSize, Base, Total, Lines);
  FBaseSize = Base;
  FValidated = true;
  const bool HasWindow = FWindow && FWindow->HandleAllocated();
  if (HasWindow) ValidateRect(FWindow->Handle(), nullptr);
  Size = Total;
  ApplyAutoSize(Total.X, Total.Y);
  if (HasWindow) RepaintBuffered(FWindow->Handle());
}

bool TTBView::ComputeLayout(bool UpdateViewers, Integer AOrientation, Integer AWrapOffset, Integer AChevronOffset,
                            Integer AChevronSize, TPoint& ABaseSize, TPoint& TotalSize, Integer& WrappedLines) {
  const Integer SavedOrientation = FOrientation;
  FOrientation = AOrientation;
  const bool Vertical = AOrientation == tbvoVertical;

  // 1. One measuring context for the whole pass.
  HDC DC = CreateCompatibleDC(nullptr);
  TCanvas Canvas;
  Canvas.SetHandle(DC);
  Canvas.Font()->Assign(ViewFont());
  const Integer N = ViewerCount();
  std::vector<TLayoutRec> Rec(static_cast<size_t>(N));
  TTBCustomItem* Chevron = ChevronItem();
  auto Len = [&](Integer I) { return Vertical ? Rec[I].R.Height() : Rec[I].R.Width(); };

  // 2. What shows.
  bool PrevSep = true;
  for (Integer I = 0; I < N; ++I) {
    TTBItemViewer* V = FViewers[I];
    TTBCustomItem* Item = V->Item();
    auto* Ctl = dynamic_cast<TTBControlItem*>(Item);
    if (Chevron && Item == Chevron) continue;  // placed at the end
    if (FChevronParentView) {
      // A chevron popup shows what its toolbar had to leave out.
      if (Ctl) continue;
      FChevronParentView->EnsureLayout();
      const Integer J = I + FChevronParentView->FInternalViewersAtFront;
      if (J >= FChevronParentView->ViewerCount() || !(FChevronParentView->FViewers[J]->OffEdge || IsSep(V))) continue;
    }
    if (Ctl) {
      TControl* C = Ctl->Control();
      Rec[I].Show = C && FWindow && C->Parent() == FWindow &&
                    (C->Visible() || C->ComponentState().Contains(csDesigning));
      if (Rec[I].Show) PrevSep = false;
      continue;
    }
    if (Item->ItemStyle().Contains(tisEmbeddedGroup) && !FCustomizing) continue;
    Rec[I].Show = Item->Visible();
    if (Rec[I].Show) {
      const bool Sep = IsSep(V);
      if (Sep && PrevSep) Rec[I].Show = false;
      PrevSep = Sep;
    }
  }
  auto HideTrailingSeparators = [&](Integer* Total) {
    for (Integer I = N - 1; I >= 0; --I) {
      if (!Rec[I].Show) continue;
      if (!IsSep(FViewers[I])) break;
      Rec[I].Show = false;
      if (Total) *Total -= Len(I);
    }
  };
  HideTrailingSeparators(nullptr);

  // 3. Measuring.
  Integer MaxSameWidth = 0;
  const Integer PPI = ScreenPixelsPerInch();
  for (Integer I = 0; I < N; ++I) {
    if (!Rec[I].Show) continue;
    TTBItemViewer* V = FViewers[I];
    TTBCustomItem* Item = V->Item();
    if (auto* Ctl = dynamic_cast<TTBControlItem*>(Item)) {
      Rec[I].R = TRect(0, 0, Ctl->Control()->Width(), Ctl->Control()->Height());
      continue;
    }
    bool Bold = false;
    if (Item->EffectiveOptions().Contains(tboDefault) && !Canvas.Font()->Style().Contains(fsBold)) {
      Canvas.Font()->SetStyle(TFontStyles(Canvas.Font()->Style()).Include(fsBold));
      Bold = true;
    }
    TTBItemViewer* Measurer = V;
    std::unique_ptr<TTBItemViewer> Temporary;
    if (Item->ViewerNeedsRecreate(V)) {
      if (UpdateViewers) {
        RecreateViewer(I);
        Measurer = FViewers[I];
      } else {
        Temporary.reset(Item->CreateViewer(this, V->GroupLevel()));
        Measurer = Temporary.get();
      }
    }
    Integer W = 0, H = 0;
    Measurer->MeasureSize(&Canvas, W, H);
    if (Measurer->UsesSameWidth()) {
      Rec[I].SameWidth = true;
      MaxSameWidth = std::max(MaxSameWidth, W);
    }
    if (Bold) Canvas.Font()->SetStyle(TFontStyles(Canvas.Font()->Style()).Exclude(fsBold));
    if (IsSep(Measurer))
      H = 3;
    else if (!Item->Caption().empty() && !Vertical)
      H = PPI == 120 ? 22 : 20;
    Rec[I].R = TRect(0, 0, W, H);
  }

  // 4. Same width, and the unwrapped length.
  Integer Total = 0;
  for (Integer I = 0; I < N; ++I) {
    if (Rec[I].SameWidth && Rec[I].R.Width() < MaxSameWidth) Rec[I].R.Right = Rec[I].R.Left + MaxSameWidth;
    Total += Len(I);
  }
  ABaseSize = Vertical ? TPoint(0, Total) : TPoint(Total, 0);

  // 5. Items that do not fit go behind the chevron, the least important first.
  bool ChevronUsed = false, HiddenCommand = false;
  Integer ReducedChevronOffset = AChevronOffset;
  if (Chevron && AChevronOffset > 0 && Total > AChevronOffset) {
    ChevronUsed = true;
    ReducedChevronOffset = AChevronOffset - AChevronSize;
    const std::vector<TTBItemViewer*>& Order = FUsePriorityList ? FPriorityList : FViewers;
    while (Total > ReducedChevronOffset) {
      Integer Commands = 0;
      for (Integer I = 0; I < N; ++I)
        if (Rec[I].Show && !IsSep(FViewers[I])) ++Commands;
      if (Commands <= 1) break;
      Integer Last = N - 1;
      while (Last >= 0 && !Rec[Last].Show) --Last;
      if (Last >= 0 && IsSep(FViewers[Last])) {
        Rec[Last].Show = false;
        Total -= Len(Last);
        continue;
      }
      Integer Victim = -1;
      for (auto It = Order.rbegin(); It != Order.rend() && Victim < 0; ++It) {
        const Integer I = IndexOfViewer(*It);
        if (I >= 0 && Rec[I].Show && !IsSep(*It)) Victim = I;
      }
      if (Victim < 0) break;
      Rec[Victim].Show = false;
      Rec[Victim].OffEdge = true;
      Total -= Len(Victim);
      if (!dynamic_cast<TTBControlItem*>(FViewers[Victim]->Item())) HiddenCommand = true;
      bool Prev = true;
      for (Integer I = 0; I < N; ++I) {
        if (!Rec[I].Show) continue;
        const bool Sep = IsSep(FViewers[I]);
        if (Sep && Prev) {
          Rec[I].Show = false;
          Total -= Len(I);
        } else {
          Prev = Sep;
        }
      }
    }
    HideTrailingSeparators(&Total);
  }

  // 6. Thickness across the orientation.
  for (Integer I = 0; I < N; ++I)
    if (Rec[I].Show) {
      if (Vertical)
        ABaseSize.X = std::max(ABaseSize.X, Rec[I].R.Width());
      else
        ABaseSize.Y = std::max(ABaseSize.Y, Rec[I].R.Height());
    }

  // 7. Margins and the starting point.
  TRect Margins;
  LayoutMargins(AOrientation, Margins);
  Integer Wrap = AWrapOffset;
  if (Wrap > 0) {
    Wrap -= Margins.Right;
    if (Wrap < 1) Wrap = 1;
  }
  // TotalSize comes in as a minimum (0, 0 when there is none).
  TotalSize.X = std::max<Integer>(TotalSize.X, 0);
  TotalSize.Y = std::max<Integer>(TotalSize.Y, 0);
  WrappedLines = 1;
  TPoint Cur(Margins.Left, Margins.Top);
  bool LineOpen = false, LineBroken = false, WrapPending = false;
  Integer LineFirst = 0, LineThick = 0, LineWidth = 0;
  bool PrevToolbarSize = FIsToolbar;

  auto PrevShown = [&](Integer I) {
    for (--I; I >= 0; --I)
      if (Rec[I].Show) return I;
    return -1;
  };
  auto FinishLine = [&](Integer First, Integer Last, bool Final) {
    if (LineBroken && !FChevronParentView) {
      if (AOrientation == tbvoHorizontal) TotalSize.X = std::max(TotalSize.X, Wrap);
      if (AOrientation == tbvoVertical) TotalSize.Y = std::max(TotalSize.Y, Wrap);
    }
    Integer Thick = LineThick, Width = LineWidth;
    if (FIsToolbar && Final && !LineBroken && AOrientation != tbvoFloating) {
      Thick = TotalSize.Y;
      Width = TotalSize.X;
    }
    Integer RightAligned = -1;
    for (Integer I = First; I <= Last; ++I) {
      if (!Rec[I].Show) continue;
      TRect& R = Rec[I].R;
      TTBItemViewer* V = FViewers[I];
      if (FIsToolbar) {
        if (IsSep(V)) {
          if (Vertical)
            R.Right = R.Left + Width;
          else
            R.Bottom = R.Top + Thick;
        } else if (Vertical) {
          OffsetRect(R, (Width - R.Width()) / 2, 0);
        } else {
          OffsetRect(R, 0, (Thick - R.Height()) / 2);
        }
      } else if (FIsPopup && !V->IsToolbarSize()) {
        R.Right = R.Left + LineWidth;  // menu items share the widest one's width
      }
      if (RightAligned < 0 && V->Item()->ItemStyle().Contains(tisRightAlign)) RightAligned = I;
    }
    if (RightAligned >= 0 && Last >= 0) {
      const Integer Along = Vertical ? TotalSize.Y : TotalSize.X;
      const Integer Far = Vertical ? Rec[Last].R.Bottom : Rec[Last].R.Right;
      const Integer Distance = std::min(Wrap, Along) - Far;
      if (Distance > 0)
        for (Integer I = RightAligned; I <= Last; ++I)
          if (Rec[I].Show) OffsetRect(Rec[I].R, Vertical ? 0 : Distance, Vertical ? Distance : 0);
    }
    LineOpen = false;
    LineThick = 0;
    LineWidth = 0;
  };

  // 8. Positioning.
  Integer LastShown = -1;
  for (Integer I = 0; I < N; ++I) {
    if (!Rec[I].Show) continue;
    LastShown = I;
    TTBItemViewer* V = FViewers[I];
    TRect& R = Rec[I].R;
    const bool ToolbarSize = FIsToolbar || V->Item()->EffectiveOptions().Contains(tboToolbarSize);
    if (PrevToolbarSize && !ToolbarSize) Cur = TPoint(Margins.Left, TotalSize.Y);
    PrevToolbarSize = ToolbarSize;

    if (!LineOpen) {
      LineOpen = true;
      LineFirst = I;
      LineThick = 0;
      LineWidth = 0;
    }
    bool BrokeAtSeparator = false;
    const Integer Pos = Vertical ? Cur.Y : Cur.X;
    if (Wrap > 0 && Pos > 0) {
      const Integer End = Pos + Len(I);
      if (IsSep(V)) {
        bool Break = WrapPending && !V->Item()->ItemStyle().Contains(tisNoLineBreak);
        if (!Break) {
          Integer Reach = End;
          for (Integer J = I + 1; J < N; ++J) {
            if (!Rec[J].Show) continue;
            if (IsSep(FViewers[J])) break;
            Reach += Len(J);
          }
          Break = Reach > Wrap;
        }
        if (Break) {
          LineBroken = true;
          ++WrappedLines;
          if (Vertical)
            Cur = TPoint(Cur.X + LineWidth, 0);
          else
            Cur = TPoint(0, Cur.Y + LineThick);
          FinishLine(LineFirst, PrevShown(I), false);
          R = Vertical ? TRect(0, 0, 6, 0) : TRect(0, 0, 0, 6);
          Rec[I].LineSep = true;
          BrokeAtSeparator = true;  // the next line opens after it
        }
      }
      if (!BrokeAtSeparator && End > Wrap) {
        LineBroken = true;
        ++WrappedLines;
        if (Vertical)
          Cur = TPoint(Cur.X + LineWidth, Margins.Top);
        else
          Cur = TPoint(Margins.Left, Cur.Y + LineThick);
        WrapPending = true;
        FinishLine(LineFirst, PrevShown(I), false);
        LineOpen = true;
        LineFirst = I;
      }
    }
    if (!BrokeAtSeparator) {
      LineThick = std::max(LineThick, R.Height());
      LineWidth = std::max(LineWidth, R.Width());
    }
    R = TRect(std::max(0, Cur.X), std::max(0, Cur.Y), std::max(0, Cur.X) + R.Width(),
              std::max(0, Cur.Y) + R.Height());
    if (BrokeAtSeparator) {
      Cur = Vertical ? TPoint(Cur.X + 6, Margins.Top) : TPoint(Margins.Left, Cur.Y + 6);
      WrapPending = false;
    }
    if (ToolbarSize && !Vertical)
      Cur.X += R.Width();
    else
      Cur.Y += R.Height();
    TotalSize.X = std::max(TotalSize.X, R.Right);
    TotalSize.Y = std::max(TotalSize.Y, R.Bottom);
  }
  if (LineOpen) FinishLine(LineFirst, LastShown, true);
  TotalSize.X += Margins.Right;
  TotalSize.Y += Margins.Bottom;

  // 9. A vertical toolbar's first column is at the right.
  if (Vertical)
    for (auto& X : Rec)
      if (X.Show) X.R = TRect(TotalSize.X - X.R.Right, X.R.Top, TotalSize.X - X.R.Left, X.R.Bottom);

  // 10. Scrolling of a popup taller than it may be.
  FShowUpArrow = false;
  FShowDownArrow = false;
  if (FMaxHeight > 0 && FMaxHeight < TotalSize.Y) {
    const Integer Range = TotalSize.Y - FMaxHeight;
    FScrollOffset = std::max(0, std::min(FScrollOffset, Range));
    FShowUpArrow = FScrollOffset > 0;
    FShowDownArrow = FScrollOffset < Range;
    const Integer TopLimit = FShowUpArrow ? 19 : 0;
    const Integer BottomLimit = FShowDownArrow ? FMaxHeight - 19 : FMaxHeight;
    for (auto& X : Rec) {
      if (IsRectEmpty(X.R)) continue;
      OffsetRect(X.R, 0, -FScrollOffset);
      if (X.Show && (X.R.Top < TopLimit || X.R.Bottom > BottomLimit)) {
        X.Show = false;
        X.Clipped = true;
      }
    }
    TotalSize.Y = FMaxHeight;
  } else {
    FScrollOffset = 0;
  }

  // 11. Controls follow their records; hidden ones move out of sight.
  if (UpdateViewers)
    for (Integer I = 0; I < N; ++I)
      if (auto* Ctl = dynamic_cast<TTBControlItem*>(FViewers[I]->Item()); Ctl && Ctl->Control()) {
        TControl* C = Ctl->Control();
        if (Rec[I].Show) {
          if (C->BoundsRect() != Rec[I].R) C->SetBoundsRect(Rec[I].R);
        } else if ((Rec[I].OffEdge || Rec[I].Clipped) && FWindow) {
          C->SetBounds(FWindow->ClientWidth(), FWindow->ClientHeight(), C->Width(), C->Height());
        }
      }

  // 12. Line dividers span the whole toolbar.
  if (FIsToolbar)
    for (auto& X : Rec)
      if (X.Show && X.LineSep) {
        if (Vertical)
          X.R.Bottom = TotalSize.Y;
        else
          X.R.Right = TotalSize.X;
      }

  // 13. The chevron after what still fits.
  if (ChevronUsed) {
    if (UpdateViewers) Chevron->SetEnabled(HiddenCommand);
    const Integer Start = std::max(ReducedChevronOffset, Vertical ? TotalSize.Y : TotalSize.X);
    TLayoutRec& C = Rec[N - 1];
    C.Show = true;
    C.R = Vertical ? TRect(0, Start, TotalSize.X, Start + AChevronSize)
                   : TRect(Start, 0, Start + AChevronSize, TotalSize.Y);
  }

  // 14. Results into the viewers.
  bool Changed = false;
  if (UpdateViewers)
    for (Integer I = 0; I < N; ++I) {
      TTBItemViewer* V = FViewers[I];
      const bool WasBreak = (V->State & tbvsLineBreak) != 0;
      if (V->BoundsRect != Rec[I].R || V->Show != Rec[I].Show || WasBreak != Rec[I].LineSep) Changed = true;
      V->BoundsRect = Rec[I].R;
      V->Show = Rec[I].Show;
      V->OffEdge = Rec[I].OffEdge;
      V->Clipped = Rec[I].Clipped;
      V->State = static_cast<Byte>(Rec[I].LineSep ? (V->State | tbvsLineBreak) : (V->State & ~tbvsLineBreak));
    }

  // 15. Restore; an empty view still has the size of one button.
  FOrientation = SavedOrientation;
  Canvas.SetHandle(nullptr);
  DeleteDC(DC);
  if (ABaseSize.X == 0 || ABaseSize.Y == 0) {
    ABaseSize = TPoint(23, 22);
    TotalSize.X = std::max(TotalSize.X, 23);
    TotalSize.Y = std::max(TotalSize.Y, 22);
  }
  return Changed;
}
