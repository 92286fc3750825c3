// Menu handles and the popup menu loop. A tracked menu is a popup window that
// never takes the focus; its loop holds the capture and takes the input from
// the queue, so the window under the pointer never sees what the menu used.
#include <algorithm>
#include <map>
#include <memory>

#include "platform/ui/forms.h"
#include "platform/ui/menus.h"

namespace {

struct TMenuEntry {
  UINT Type = MFT_STRING;
  UINT State = MFS_ENABLED;
  UINT Id = 0;
  HMENU SubMenu = nullptr;
  ULONG_PTR Data = 0;
  WideString Text;
};

struct TMenuRec {
  std::vector<TMenuEntry> Entries;
};

// Menus live until DestroyMenu; the table itself lives for the whole run.
auto& g_Menus = *new std::map<HMENU, std::unique_ptr<TMenuRec>>;
uintptr_t g_NextMenu = 0x7E0000;
auto& g_SystemMenus = *new std::map<HWND, HMENU>;

TMenuRec* Rec(HMENU Menu) {
  auto It = g_Menus.find(Menu);
  return It == g_Menus.end() ? nullptr : It->second.get();
}

// The entry by position, or by command searched through the submenus too.
TMenuEntry* Find(HMENU Menu, UINT Item, bool ByPosition, HMENU* Owner = nullptr) {
  TMenuRec* R = Rec(Menu);
  if (!R) return nullptr;
  if (ByPosition) {
    if (Item >= R->Entries.size()) return nullptr;
    if (Owner) *Owner = Menu;
    return &R->Entries[Item];
  }
  for (TMenuEntry& E : R->Entries) {
    if (!E.SubMenu && E.Id == Item && !(E.Type & MFT_SEPARATOR)) {
      if (Owner) *Owner = Menu;
      return &E;
    }
  }
  for (TMenuEntry& E : R->Entries)
    if (E.SubMenu)
      if (TMenuEntry* In = Find(E.SubMenu, Item, false, Owner)) return In;
  return nullptr;
}

// Copies Text into a caller's buffer of Size characters with a terminating
// zero; answers the characters copied.
Integer CopyOut(const WideString& Text, WideChar* Buffer, Integer Size) {
  if (!Buffer || Size <= 0) return 0;
  Integer N = std::min<Integer>(static_cast<Integer>(Text.size()), Size - 1);
  std::copy(Text.begin(), Text.begin() + N, Buffer);
  Buffer[N] = 0;
  return N;
}

WideString FromZ(const WideChar* S) {
  WideString Out;
  if (S)
    while (*S) Out += *S++;
  return Out;
}

// ---------------------------------------------------------------- tracking

// The caption without its accelerator marks ("&&" is one ampersand) and the
// accelerator's character (0 for none).
WideString StripAccel(const WideString& S, WideChar* Accel) {
  WideString Out;
  if (Accel) *Accel = 0;
  for (size_t i = 0; i < S.size(); ++i) {
    if (S[i] == '&' && i + 1 < S.size()) {
      ++i;
      if (S[i] != '&' && Accel && !*Accel) *Accel = S[i];
    }
    Out += S[i];
  }
  return Out;
}

// An entry's text as drawn: the caption without accelerator marks, and the
// shortcut text after a tab.
void SplitEntryText(const WideString& Text, WideString& Label, WideString& Shortcut) {
  Label = StripAccel(Text, nullptr);
  Shortcut.clear();
  const size_t Tab = Label.find(u'\t');
  if (Tab != WideString::npos) {
    Shortcut = Label.substr(Tab + 1);
    Label.resize(Tab);
  }
}

WideChar Upper(WideChar C) { return C >= 'a' && C <= 'z' ? static_cast<WideChar>(C - 32) : C; }

constexpr Integer kFrame = 3, kSeparatorHeight = 8, kTextLeft = 24, kGap = 24;

HMENU g_Tracked = nullptr;
HWND g_TrackedWindow = nullptr;
Integer g_TrackedSelection = -1;
Integer g_TrackedDepth = 0;

class TMenuWindow : public TCustomControl {
 public:
  TMenuWindow(HMENU Menu) : TCustomControl(nullptr), FMenu(Menu) {
    SetVisible(false);
    Canvas()->Font()->Assign(Font());
  }
  Integer Selected = -1;

  // Lays the entries out and answers the window's size.
  TSize Measure() {
    TMenuRec* R = Rec(FMenu);
    FTops.clear();
    Integer Y = kFrame, Width = 60;
    Integer TextH = std::max<Integer>(Canvas()->TextHeight(u"Ag") + 6, 19);
    for (const TMenuEntry& E : R->Entries) {
      FTops.push_back(Y);
      if (E.Type & MFT_SEPARATOR) {
        Y += kSeparatorHeight;
        continue;
      }
      WideString Label, Shortcut;
      SplitEntryText(E.Text, Label, Shortcut);
      Integer W = kTextLeft + Canvas()->TextWidth(Label) + kGap;
      if (!Shortcut.empty()) W += Canvas()->TextWidth(Shortcut) + kGap;
      Width = std::max(Width, W);
      Y += TextH;
    }
    FTops.push_back(Y);
    return TSize{Width + 2 * kFrame, Y + kFrame};
  }

  // The top of an entry's row in client coordinates.
  Integer TopOf(Integer Index) const {
    return Index >= 0 && static_cast<size_t>(Index) < FTops.size() ? FTops[static_cast<size_t>(Index)] : kFrame;
  }

  // The entry under a client point, or -1.
  Integer EntryAt(TPoint P) const {
    if (P.X < 0 || P.X >= Width()) return -1;
    for (size_t i = 0; i + 1 < FTops.size(); ++i)
      if (P.Y >= FTops[i] && P.Y < FTops[i + 1]) return static_cast<Integer>(i);
    return -1;
  }

 protected:
  void CreateParams(TCreateParams& Params) override {
    TCustomControl::CreateParams(Params);
    Params.Style = WS_POPUP | WS_CLIPCHILDREN;
    Params.ExStyle |= WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
  }
  void Paint() override {
    TMenuRec* R = Rec(FMenu);
    if (!R) return;
    TCanvas* C = Canvas();
    C->Brush()->SetColor(clMenu);
    C->FillRect(ClientRect());
    C->Brush()->SetColor(clBtnShadow);
    C->FrameRect(ClientRect());
    for (size_t i = 0; i < R->Entries.size() && i + 1 < FTops.size(); ++i) {
      const TMenuEntry& E = R->Entries[i];
      TRect Row(kFrame, FTops[i], Width() - kFrame, FTops[i + 1]);
      if (E.Type & MFT_SEPARATOR) {
        Integer Mid = (Row.Top + Row.Bottom) / 2;
        C->Pen()->SetColor(clBtnShadow);
        C->MoveTo(Row.Left + 2, Mid - 1);
        C->LineTo(Row.Right - 2, Mid - 1);
        C->Pen()->SetColor(clBtnHighlight);
        C->MoveTo(Row.Left + 2, Mid);
        C->LineTo(Row.Right - 2, Mid);
        continue;
      }
      bool Lit = static_cast<Integer>(i) == Selected;
      bool Grey = (E.State & MFS_GRAYED) != 0;
      C->Brush()->SetColor(Lit ? clHighlight : clMenu);
      C->FillRect(Row);
      C->Font()->SetColor(Grey ? clGrayText : Lit ? clHighlightText : clMenuText);
      TFontStyles Style = C->Font()->Style();
      if (E.State & MFS_DEFAULT)
        Style.Include(fsBold);
      else
        Style.Exclude(fsBold);
      C->Font()->SetStyle(Style);
      C->Brush()->SetStyle(bsClear);
      WideString Label, Shortcut;
      SplitEntryText(E.Text, Label, Shortcut);
      Integer TY = Row.Top + (Row.Height() - C->TextHeight(u"Ag")) / 2;
      if (E.State & MFS_CHECKED) C->TextOut(Row.Left + 6, TY, (E.Type & MFT_RADIOCHECK) ? u"\u2022" : u"\u2713");
      C->TextOut(Row.Left + kTextLeft, TY, Label);
      if (!Shortcut.empty()) C->TextOut(Row.Right - kGap / 2 - C->TextWidth(Shortcut), TY, Shortcut);
      if (E.SubMenu) C->TextOut(Row.Right - 12, TY, u"\u25B8");
      C->Brush()->SetStyle(bsSolid);
    }
  }

 private:
  HMENU FMenu;
  std::vector<Integer> FTops;
};

bool Selectable(const TMenuEntry& E) { return !(E.Type & MFT_SEPARATOR); }

}  // namespace

HMENU CreatePopupMenu() {
  HMENU M = reinterpret_cast<HMENU>(g_NextMenu++);
  g_Menus[M] = std::make_unique<TMenuRec>();
  return M;
}

BOOL IsMenu(HMENU Menu) { return Rec(Menu) != nullptr; }

BOOL DestroyMenu(HMENU Menu) {
  auto It = g_Menus.find(Menu);
  if (It == g_Menus.end()) return FALSE;
  std::unique_ptr<TMenuRec> R = std::move(It->second);
  g_Menus.erase(It);
  for (const TMenuEntry& E : R->Entries)
    if (E.SubMenu) DestroyMenu(E.SubMenu);
  for (auto S = g_SystemMenus.begin(); S != g_SystemMenus.end(); ++S)
    if (S->second == Menu) {
      g_SystemMenus.erase(S);
      break;
    }
  return TRUE;
}

BOOL InsertMenuItemW(HMENU Menu, UINT Item, BOOL ByPosition, const MENUITEMINFOW* Info) {
  TMenuRec* R = Rec(Menu);
  if (!R || !Info) return FALSE;
  size_t At = R->Entries.size();
  if (ByPosition) {
    At = std::min<size_t>(Item, R->Entries.size());
  } else {
    for (size_t i = 0; i < R->Entries.size(); ++i)
      if (R->Entries[i].Id == Item) {
        At = i;
        break;
      }
  }
  TMenuEntry E;
  if (Info->fMask & (MIIM_FTYPE | MIIM_TYPE)) E.Type = Info->fType;
  if (Info->fMask & MIIM_STATE) E.State = Info->fState;
  if (Info->fMask & MIIM_ID) E.Id = Info->wID;
  if (Info->fMask & MIIM_SUBMENU) {
    if (Info->hSubMenu && !Rec(Info->hSubMenu)) return FALSE;
    E.SubMenu = Info->hSubMenu;
  }
  if (Info->fMask & MIIM_DATA) E.Data = Info->dwItemData;
  if ((Info->fMask & MIIM_STRING) || ((Info->fMask & MIIM_TYPE) && !(E.Type & MFT_SEPARATOR)))
    E.Text = FromZ(Info->dwTypeData);
  R->Entries.insert(R->Entries.begin() + static_cast<std::ptrdiff_t>(At), E);
  return TRUE;
}

BOOL AppendMenuW(HMENU Menu, UINT Flags, UINT_PTR IdNewItem, const WideChar* NewItem) {
  MENUITEMINFOW I;
  I.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
  I.fType = Flags & (MFT_SEPARATOR | MFT_RADIOCHECK | MFT_MENUBREAK | MFT_MENUBARBREAK);
  I.fState = Flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_DEFAULT);
  if (I.fState & (MF_GRAYED | MF_DISABLED)) I.fState |= MFS_GRAYED;
  if (Flags & MF_POPUP) {
    I.fMask |= MIIM_SUBMENU;
    I.hSubMenu = reinterpret_cast<HMENU>(IdNewItem);
  } else {
    I.wID = static_cast<UINT>(IdNewItem);
  }
  I.dwTypeData = const_cast<WideChar*>(NewItem);
  return InsertMenuItemW(Menu, 0xFFFFFFFF, TRUE, &I);
}

static BOOL TakeOut(HMENU Menu, UINT Position, UINT Flags, bool Destroy) {
  HMENU Owner = nullptr;
  TMenuEntry* E = Find(Menu, Position, (Flags & MF_BYPOSITION) != 0, &Owner);
  if (!E) return FALSE;
  TMenuRec* R = Rec(Owner);
  HMENU Sub = E->SubMenu;
  R->Entries.erase(R->Entries.begin() + (E - R->Entries.data()));
  if (Destroy && Sub) DestroyMenu(Sub);
  return TRUE;
}

BOOL DeleteMenu(HMENU Menu, UINT Position, UINT Flags) { return TakeOut(Menu, Position, Flags, true); }
BOOL RemoveMenu(HMENU Menu, UINT Position, UINT Flags) { return TakeOut(Menu, Position, Flags, false); }

Integer GetMenuItemCount(HMENU Menu) {
  TMenuRec* R = Rec(Menu);
  return R ? static_cast<Integer>(R->Entries.size()) : -1;
}

UINT GetMenuItemID(HMENU Menu, Integer Pos) {
  TMenuEntry* E = Pos < 0 ? nullptr : Find(Menu, static_cast<UINT>(Pos), true);
  if (!E || E->SubMenu) return 0xFFFFFFFF;
  return E->Id;
}

HMENU GetSubMenu(HMENU Menu, Integer Pos) {
  TMenuEntry* E = Pos < 0 ? nullptr : Find(Menu, static_cast<UINT>(Pos), true);
  return E ? E->SubMenu : nullptr;
}

BOOL GetMenuItemInfoW(HMENU Menu, UINT Item, BOOL ByPosition, MENUITEMINFOW* Info) {
  TMenuEntry* E = Find(Menu, Item, ByPosition != FALSE);
  if (!E || !Info) return FALSE;
  if (Info->fMask & (MIIM_FTYPE | MIIM_TYPE)) Info->fType = E->Type;
  if (Info->fMask & MIIM_STATE) Info->fState = E->State;
  if (Info->fMask & MIIM_ID) Info->wID = E->Id;
  if (Info->fMask & MIIM_SUBMENU) Info->hSubMenu = E->SubMenu;
  if (Info->fMask & MIIM_DATA) Info->dwItemData = E->Data;
  if (Info->fMask & (MIIM_STRING | MIIM_TYPE)) {
    if (!Info->dwTypeData || Info->cch == 0) {
      Info->cch = static_cast<UINT>(E->Text.size());
    } else {
      Info->cch = static_cast<UINT>(CopyOut(E->Text, Info->dwTypeData, static_cast<Integer>(Info->cch)));
    }
  }
  return TRUE;
}

BOOL SetMenuItemInfoW(HMENU Menu, UINT Item, BOOL ByPosition, const MENUITEMINFOW* Info) {
  TMenuEntry* E = Find(Menu, Item, ByPosition != FALSE);
  if (!E || !Info) return FALSE;
  if (Info->fMask & (MIIM_FTYPE | MIIM_TYPE)) E->Type = Info->fType;
  if (Info->fMask & MIIM_STATE) E->State = Info->fState;
  if (Info->fMask & MIIM_ID) E->Id = Info->wID;
  if (Info->fMask & MIIM_SUBMENU) {
    if (Info->hSubMenu && !Rec(Info->hSubMenu)) return FALSE;
    E->SubMenu = Info->hSubMenu;
  }
  if (Info->fMask & MIIM_DATA) E->Data = Info->dwItemData;
  if (Info->fMask & (MIIM_STRING | MIIM_TYPE)) E->Text = FromZ(Info->dwTypeData);
  return TRUE;
}

UINT GetMenuState(HMENU Menu, UINT Id, UINT Flags) {
  TMenuEntry* E = Find(Menu, Id, (Flags & MF_BYPOSITION) != 0);
  if (!E) return 0xFFFFFFFF;
  UINT S = E->State | E->Type;
  if (E->SubMenu) S = (S & 0xFF) | MF_POPUP | (static_cast<UINT>(std::max(GetMenuItemCount(E->SubMenu), 0)) << 8);
  return S;
}

Integer GetMenuStringW(HMENU Menu, UINT Item, WideChar* String, Integer MaxCount, UINT Flags) {
  TMenuEntry* E = Find(Menu, Item, (Flags & MF_BYPOSITION) != 0);
  if (!E) return 0;
  if (!String) return static_cast<Integer>(E->Text.size());
  return CopyOut(E->Text, String, MaxCount);
}

UINT EnableMenuItem(HMENU Menu, UINT IdEnableItem, UINT Enable) {
  TMenuEntry* E = Find(Menu, IdEnableItem, (Enable & MF_BYPOSITION) != 0);
  if (!E) return 0xFFFFFFFF;
  UINT Old = E->State & MFS_GRAYED;
  E->State = (E->State & ~static_cast<UINT>(MFS_GRAYED)) | (Enable & (MF_GRAYED | MF_DISABLED));
  return Old;
}

UINT CheckMenuItem(HMENU Menu, UINT IdCheckItem, UINT Check) {
  TMenuEntry* E = Find(Menu, IdCheckItem, (Check & MF_BYPOSITION) != 0);
  if (!E) return 0xFFFFFFFF;
  UINT Old = E->State & MFS_CHECKED;
  E->State = (E->State & ~static_cast<UINT>(MFS_CHECKED)) | (Check & MF_CHECKED);
  return Old;
}

BOOL SetMenuDefaultItem(HMENU Menu, UINT Item, UINT ByPos) {
  TMenuRec* R = Rec(Menu);
  if (!R) return FALSE;
  TMenuEntry* New = Item == 0xFFFFFFFF ? nullptr : Find(Menu, Item, ByPos != 0);
  if (Item != 0xFFFFFFFF && (!New || std::none_of(R->Entries.begin(), R->Entries.end(),
                                                  [&](const TMenuEntry& E) { return &E == New; })))
    return FALSE;
  for (TMenuEntry& E : R->Entries) E.State &= ~static_cast<UINT>(MFS_DEFAULT);
  if (New) New->State |= MFS_DEFAULT;
  return TRUE;
}

UINT GetMenuDefaultItem(HMENU Menu, UINT ByPos, UINT Flags) {
  TMenuRec* R = Rec(Menu);
  if (!R) return 0xFFFFFFFF;
  for (size_t i = 0; i < R->Entries.size(); ++i) {
    const TMenuEntry& E = R->Entries[i];
    if (!(E.State & MFS_DEFAULT)) continue;
    if ((E.State & MFS_GRAYED) && !(Flags & GMDI_USEDISABLED)) return 0xFFFFFFFF;
    if (E.SubMenu && (Flags & GMDI_GOINTOPOPUPS)) {
      UINT In = GetMenuDefaultItem(E.SubMenu, ByPos, Flags);
      if (In != 0xFFFFFFFF) return In;
    }
    return ByPos ? static_cast<UINT>(i) : E.Id;
  }
  return 0xFFFFFFFF;
}

HMENU GtTrackedMenu() { return g_Tracked; }
HWND GtTrackedMenuWindow() { return g_TrackedWindow; }
Integer GtTrackedMenuSelection() { return g_TrackedSelection; }
Integer GtTrackedMenuDepth() { return g_TrackedDepth; }

namespace {

// One open menu of a tracked chain: the root menu, then each submenu opened
// from the highlighted entry of the one before.
struct TMenuLevel {
  HMENU Menu = nullptr;
  std::unique_ptr<TMenuWindow> Window;
  HWND Wnd = nullptr;
};

// Places a menu of Size at the point, kept on the work area: a menu that
// does not fit right of or below the point opens on its other side (for a
// submenu, AltX is the other side: left of its parent).
TPoint PlaceOnWorkArea(Integer X, Integer Y, TSize Size, Integer AltX, Integer AltY) {
  TRect Work = Screen->MonitorFromPoint(TPoint(X, Y)).WorkareaRect;
  if (X + Size.cx > Work.Right) X = AltX >= Work.Left ? AltX : Work.Right - Size.cx;
  if (Y + Size.cy > Work.Bottom) Y = AltY >= Work.Top ? AltY : Work.Bottom - Size.cy;
  return TPoint(std::max(X, Work.Left), std::max(Y, Work.Top));
}

// The loop of one tracked menu chain. The capture stays on the root window
// for the whole run; each mouse message goes to the innermost open menu
// under its point, each key to the innermost open menu.
class TMenuTracker {
 public:
  TMenuTracker(HWND Owner, bool Notify) : FOwner(Owner), FNotify(Notify) {}
  ~TMenuTracker() { CloseAbove(-1); }

  std::vector<TMenuLevel> Levels;
  UINT Chosen = 0;
  bool Done = false;

  bool Open(HMENU Menu, TPoint At, Integer AltX, Integer AltY) {
    if (!Rec(Menu) || Rec(Menu)->Entries.empty()) return false;
    TMenuLevel L;
    L.Menu = Menu;
    L.Window.reset(new TMenuWindow(Menu));
    TSize Size = L.Window->Measure();
    TPoint P = PlaceOnWorkArea(At.X, At.Y, Size, AltX - Size.cx, AltY - Size.cy);
    L.Window->SetBounds(P.X, P.Y, Size.cx, Size.cy);
    L.Window->Measure();
    L.Wnd = L.Window->Handle();
    // Shown without taking the activation from the window that asked for the menu.
    SetWindowPos(L.Wnd, HWND_TOPMOST, P.X, P.Y, Size.cx, Size.cy, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    Levels.push_back(std::move(L));
    Publish();
    return true;
  }

  // Closes every menu deeper than Level (-1: all of them).
  void CloseAbove(Integer Level) {
    while (static_cast<Integer>(Levels.size()) > Level + 1) Levels.pop_back();
    Publish();
  }

  const TMenuEntry* Entry(Integer Level, Integer Index) const {
    if (Level < 0 || Level >= static_cast<Integer>(Levels.size())) return nullptr;
    TMenuRec* R = Rec(Levels[static_cast<size_t>(Level)].Menu);
    if (!R || Index < 0 || Index >= static_cast<Integer>(R->Entries.size())) return nullptr;
    return &R->Entries[static_cast<size_t>(Index)];
  }

  void Select(Integer Level, Integer Index) {
    TMenuWindow* W = Levels[static_cast<size_t>(Level)].Window.get();
    if (Index == W->Selected) return;
    W->Selected = Index;
    W->Invalidate();
    Publish();
    const TMenuEntry* E = Entry(Level, Index);
    if (!FNotify || !E) return;
    UINT Item = E->SubMenu ? static_cast<UINT>(Index) : E->Id;
    UINT State = (E->State | E->Type | MF_HILITE | (E->SubMenu ? static_cast<UINT>(MF_POPUP) : 0u)) & 0xFFFF;
    SendMessage(FOwner, WM_MENUSELECT, MAKEWPARAM(static_cast<Integer>(Item), static_cast<Integer>(State)),
                reinterpret_cast<LPARAM>(Levels[static_cast<size_t>(Level)].Menu));
  }

  void Step(Integer Level, Integer Dir) {
    TMenuRec* R = Rec(Levels[static_cast<size_t>(Level)].Menu);
    if (!R) return;
    Integer N = static_cast<Integer>(R->Entries.size());
    Integer I = Levels[static_cast<size_t>(Level)].Window->Selected;
    for (Integer Tries = 0; Tries < N; ++Tries) {
      I = I < 0 ? (Dir > 0 ? 0 : N - 1) : (I + Dir + N) % N;
      if (Selectable(R->Entries[static_cast<size_t>(I)])) {
        Select(Level, I);
        return;
      }
    }
  }

  // Opens the submenu of the highlighted entry of Level, unless it is open
  // already or greyed; from the keyboard its first entry is highlighted.
  void OpenSub(Integer Level, bool FromKeyboard) {
    TMenuWindow* W = Levels[static_cast<size_t>(Level)].Window.get();
    const Integer Index = W->Selected;
    const TMenuEntry* E = Entry(Level, Index);
    if (!E || !E->SubMenu || (E->State & MFS_GRAYED)) return;
    if (Level + 1 < static_cast<Integer>(Levels.size())) {
      if (Levels[static_cast<size_t>(Level) + 1].Menu != E->SubMenu) CloseAbove(Level);
    }
    if (Level + 1 == static_cast<Integer>(Levels.size())) {
      HMENU Sub = E->SubMenu;
      // The owner fills or changes the submenu before it is measured.
      if (FNotify) SendMessage(FOwner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(Sub), MAKELPARAM(Index, 0));
      TRect PR;
      GetWindowRect(Levels[static_cast<size_t>(Level)].Wnd, &PR);
      const Integer Top = PR.Top + W->TopOf(Index) - kFrame;
      if (!Open(Sub, TPoint(PR.Right - kFrame, Top), PR.Left + kFrame, PR.Bottom)) return;
    }
    if (FromKeyboard && Levels.back().Window->Selected < 0) Step(static_cast<Integer>(Levels.size()) - 1, 1);
  }

  void Choose(Integer Level, Integer Index) {
    const TMenuEntry* E = Entry(Level, Index);
    if (!E || !Selectable(*E) || (E->State & MFS_GRAYED)) return;
    if (E->SubMenu) {
      OpenSub(Level, true);
      return;
    }
    Chosen = E->Id;
    Done = true;
  }

  // The innermost open menu whose window holds the screen point, or -1; the
  // point in its client coordinates.
  Integer LevelAt(TPoint Screen, TPoint& Client) const {
    for (Integer L = static_cast<Integer>(Levels.size()) - 1; L >= 0; --L) {
      const TMenuLevel& M = Levels[static_cast<size_t>(L)];
      Client = Screen;
      ScreenToClient(M.Wnd, &Client);
      if (Client.X >= 0 && Client.Y >= 0 && Client.X < M.Window->Width() && Client.Y < M.Window->Height()) return L;
    }
    return -1;
  }

  void Publish() const {
    g_TrackedDepth = static_cast<Integer>(Levels.size());
    g_TrackedWindow = Levels.empty() ? nullptr : Levels.back().Wnd;
    g_TrackedSelection = Levels.empty() ? -1 : Levels.back().Window->Selected;
  }

 private:
  HWND FOwner;
  bool FNotify;
};

}  // namespace

BOOL TrackPopupMenu(HMENU Menu, UINT Flags, Integer X, Integer Y, Integer, HWND Owner, const TRect*) {
  if (!Rec(Menu) || g_Tracked) return FALSE;
  const bool Notify = Owner && !(Flags & TPM_NONOTIFY);
  if (Notify) SendMessage(Owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(Menu), MAKELPARAM(0, 0));
  TMenuRec* R = Rec(Menu);  // the owner may have changed the menu, never freed it while it is tracked
  if (!R || R->Entries.empty()) return FALSE;

  TMenuTracker T(Owner, Notify);
  {
    TMenuWindow Probe(Menu);
    TSize Size = Probe.Measure();
    // Horizontal and vertical alignment to the point.
    if (Flags & TPM_RIGHTALIGN)
      X -= Size.cx;
    else if (Flags & TPM_CENTERALIGN)
      X -= Size.cx / 2;
    if (Flags & TPM_BOTTOMALIGN)
      Y -= Size.cy;
    else if (Flags & TPM_VCENTERALIGN)
      Y -= Size.cy / 2;
  }
  if (!T.Open(Menu, TPoint(X, Y), X, Y)) return FALSE;
  const HWND MW = T.Levels[0].Wnd;
  g_Tracked = Menu;

  // The release of a button held when the menu opened (the right-click that
  // asked for a context menu) is not a choice.
  bool HeldLeft = GetKeyState(VK_LBUTTON) < 0, HeldRight = GetKeyState(VK_RBUTTON) < 0;
  const UINT ChooseUp = (Flags & TPM_RIGHTBUTTON) ? WM_RBUTTONUP : WM_LBUTTONUP;

  SetCapture(MW);
  while (!T.Done && IsWindow(MW) && GetCapture() == MW && Rec(Menu)) {
    MSG M;
    if (!PeekMessage(&M, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
      continue;
    }
    // A submenu freed by its owner while open closes with everything after it.
    for (Integer L = 1; L < static_cast<Integer>(T.Levels.size()); ++L)
      if (!Rec(T.Levels[static_cast<size_t>(L)].Menu)) {
        T.CloseAbove(L - 1);
        break;
      }
    const Integer Inner = static_cast<Integer>(T.Levels.size()) - 1;
    if (M.message >= WM_MOUSEFIRST && M.message <= WM_MOUSELAST) {
      TPoint P;
      const Integer L = T.LevelAt(M.pt, P);
      const Integer At = L >= 0 ? T.Levels[static_cast<size_t>(L)].Window->EntryAt(P) : -1;
      const TMenuEntry* E = T.Entry(L, At);
      switch (M.message) {
        case WM_MOUSEMOVE:
          if (L < 0) break;
          if (At != T.Levels[static_cast<size_t>(L)].Window->Selected) {
            T.CloseAbove(L);
            T.Select(L, E && Selectable(*E) ? At : -1);
          }
          T.OpenSub(L, false);
          break;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
          // A press outside every open menu closes them all and is used up.
          if (L < 0) T.Done = true;
          HeldLeft = HeldRight = false;
          break;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP: {
          bool& Held = M.message == WM_LBUTTONUP ? HeldLeft : HeldRight;
          if (Held) {
            Held = false;
            break;
          }
          // Releasing on a submenu's entry leaves it open.
          if (E && !E->SubMenu && (M.message == WM_LBUTTONUP || M.message == ChooseUp)) T.Choose(L, At);
          break;
        }
        default: break;
      }
      continue;
    }
    switch (M.message) {
      case WM_KEYDOWN:
      case WM_SYSKEYDOWN:
        switch (M.wParam) {
          case VK_DOWN: T.Step(Inner, 1); break;
          case VK_UP: T.Step(Inner, -1); break;
          case VK_HOME:
            T.Levels.back().Window->Selected = -1;
            T.Step(Inner, 1);
            break;
          case VK_END:
            T.Levels.back().Window->Selected = -1;
            T.Step(Inner, -1);
            break;
          case VK_RIGHT: T.OpenSub(Inner, true); break;
          case VK_LEFT:
            if (Inner > 0) T.CloseAbove(Inner - 1);
            break;
          case VK_RETURN: T.Choose(Inner, T.Levels.back().Window->Selected); break;
          // Escape closes one level; Alt and F10 close the whole chain.
          case VK_ESCAPE:
            if (Inner > 0)
              T.CloseAbove(Inner - 1);
            else
              T.Done = true;
            break;
          case VK_MENU:
          case VK_F10: T.Done = true; break;
          default: break;
        }
        break;
      case WM_CHAR:
      case WM_SYSCHAR: {
        // The entry whose accelerator is the character; the only entry
        // starting with it is chosen, several are stepped through.
        TMenuRec* Now = Rec(T.Levels.back().Menu);
        if (!Now) break;
        std::vector<Integer> Hits;
        for (size_t i = 0; i < Now->Entries.size(); ++i) {
          WideChar A = 0;
          StripAccel(Now->Entries[i].Text, &A);
          if (A && Upper(A) == Upper(static_cast<WideChar>(M.wParam)) && Selectable(Now->Entries[i]))
            Hits.push_back(static_cast<Integer>(i));
        }
        const Integer Sel = T.Levels.back().Window->Selected;
        if (Hits.size() == 1) {
          T.Select(Inner, Hits[0]);
          T.Choose(Inner, Hits[0]);
        } else if (!Hits.empty()) {
          auto Next = std::find_if(Hits.begin(), Hits.end(), [&](Integer I) { return I > Sel; });
          T.Select(Inner, Next == Hits.end() ? Hits[0] : *Next);
        }
        break;
      }
      case WM_KEYUP:
      case WM_SYSKEYUP: break;
      case WM_CANCELMODE: T.Done = true; break;
      case WM_QUIT:
        PostQuitMessage(static_cast<Integer>(M.wParam));
        T.Done = true;
        break;
      default: DispatchMessage(&M); break;
    }
  }
  if (IsWindow(MW) && GetCapture() == MW) ReleaseCapture();
  const UINT Chosen = T.Chosen;
  T.CloseAbove(-1);
  g_Tracked = nullptr;
  if (Notify) SendMessage(Owner, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
  if (Flags & TPM_RETURNCMD) return static_cast<BOOL>(Chosen);
  if (Chosen && Owner) PostMessage(Owner, WM_COMMAND, Chosen, 0);
  return Chosen != 0;
}

HMENU GetSystemMenu(HWND Wnd, BOOL Revert) {
  if (!IsWindow(Wnd)) return nullptr;
  auto It = g_SystemMenus.find(Wnd);
  if (Revert) {
    if (It != g_SystemMenus.end()) DestroyMenu(It->second);
    return nullptr;
  }
  HMENU M;
  if (It != g_SystemMenus.end()) {
    M = It->second;
  } else {
    M = CreatePopupMenu();
    g_SystemMenus[Wnd] = M;
    AppendMenuW(M, MF_STRING, SC_RESTORE, u"&Restore");
    AppendMenuW(M, MF_STRING, SC_MOVE, u"&Move");
    AppendMenuW(M, MF_STRING, SC_SIZE, u"&Size");
    AppendMenuW(M, MF_STRING, SC_MINIMIZE, u"Mi&nimize");
    AppendMenuW(M, MF_STRING, SC_MAXIMIZE, u"Ma&ximize");
    AppendMenuW(M, MF_SEPARATOR, 0, nullptr);
    // An MDI child closes with Ctrl+F4 and passes on to the next child.
    if (GetWindowLong(Wnd, GWL_EXSTYLE) & WS_EX_MDICHILD) {
      AppendMenuW(M, MF_STRING | MF_DEFAULT, SC_CLOSE, u"&Close\tCtrl+F4");
      AppendMenuW(M, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(M, MF_STRING, SC_NEXTWINDOW, u"Nex&t\tCtrl+F6");
    } else {
      AppendMenuW(M, MF_STRING | MF_DEFAULT, SC_CLOSE, u"&Close\tAlt+F4");
    }
  }
  // Greyed by the window's state and box styles now.
  const LONG Style = GetWindowLong(Wnd, GWL_STYLE);
  const bool Min = IsIconic(Wnd), Max = IsZoomed(Wnd);
  auto Grey = [&](UINT Id, bool Off) { EnableMenuItem(M, Id, MF_BYCOMMAND | (Off ? MF_GRAYED : MF_ENABLED)); };
  Grey(SC_RESTORE, !Min && !Max);
  Grey(SC_MOVE, Max);
  Grey(SC_SIZE, Min || Max || !(Style & WS_THICKFRAME));
  Grey(SC_MINIMIZE, Min || !(Style & WS_MINIMIZEBOX));
  Grey(SC_MAXIMIZE, Max || !(Style & WS_MAXIMIZEBOX));
  return M;
}
