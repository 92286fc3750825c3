// Menu items, menus and the popup menu of the class library, over the menu
// handles of the window layer.
#include <algorithm>

#include "platform/ui/actnlist.h"
#include "platform/ui/menus.h"

// The link of a menu item to its action: the action calls a setter before it
// takes the new value, so a property the item still shares with the action
// (equal to the action's old value) follows the change.
class TMenuActionLink : public TActionLink {
 public:
  explicit TMenuActionLink(TMenuItem* Client) : FClient(Client) {}
  bool IsCaptionLinked() override { return CA() && FClient->FCaption == CA()->Caption(); }
  bool IsCheckedLinked() override { return CA() && FClient->FChecked == CA()->Checked(); }
  bool IsEnabledLinked() override { return CA() && FClient->FEnabled == CA()->Enabled(); }
  bool IsHelpContextLinked() override { return CA() && FClient->FHelpContext == CA()->HelpContext(); }
  bool IsHintLinked() override { return CA() && FClient->FHint == CA()->Hint(); }
  bool IsImageIndexLinked() override { return CA() && FClient->FImageIndex == CA()->ImageIndex(); }
  bool IsShortCutLinked() override { return CA() && FClient->FShortCut == CA()->ShortCut(); }
  bool IsVisibleLinked() override { return CA() && FClient->FVisible == CA()->Visible(); }
  void SetCaption(const WideString& V) override {
    if (IsCaptionLinked()) FClient->FCaption = V;
  }
  void SetChecked(bool V) override {
    if (IsCheckedLinked()) FClient->FChecked = V;
  }
  void SetEnabled(bool V) override {
    if (IsEnabledLinked()) FClient->FEnabled = V;
  }
  void SetHelpContext(Integer V) override {
    if (IsHelpContextLinked()) FClient->FHelpContext = V;
  }
  void SetHint(const WideString& V) override {
    if (IsHintLinked()) FClient->FHint = V;
  }
  void SetImageIndex(Integer V) override {
    if (IsImageIndexLinked()) FClient->FImageIndex = V;
  }
  void SetShortCut(TShortCut V) override {
    if (IsShortCutLinked()) FClient->FShortCut = V;
  }
  void SetVisible(bool V) override {
    if (IsVisibleLinked()) FClient->FVisible = V;
  }

 private:
  TCustomAction* CA() { return CustomAction(); }
  TMenuItem* FClient;
};

namespace {
UINT g_NextCommand = 1;
UINT NewCommand() {
  // Below the system commands (0xF000 and up) so that both can share a menu's ids.
  UINT C = g_NextCommand++;
  if (g_NextCommand >= 0xF000) g_NextCommand = 1;
  return C;
}
}  // namespace

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner), FCommand(NewCommand()) {}

TMenuItem::~TMenuItem() {
  if (FHandle) DestroyMenu(FHandle);
  Clear();
  if (FParent) FParent->Remove(this);
  FActionLink.reset();
}

// The link compares the item's old value with the action's before the item
// takes the new one; the setters below only store.
void TMenuItem::SetCaption(const WideString& Value) { FCaption = Value; }
void TMenuItem::SetShortCut(TShortCut Value) { FShortCut = Value; }
void TMenuItem::SetChecked(bool Value) {
  if (FChecked == Value) return;
  FChecked = Value;
  // A checked radio item unchecks the others of its group.
  if (Value && FRadioItem && FParent)
    for (TMenuItem* I : FParent->FItems)
      if (I != this && I->FRadioItem && I->FGroupIndex == FGroupIndex) I->FChecked = false;
}
void TMenuItem::SetEnabled(bool Value) { FEnabled = Value; }
void TMenuItem::SetHelpContext(Integer Value) { FHelpContext = Value; }
void TMenuItem::SetVisible(bool Value) { FVisible = Value; }
void TMenuItem::SetImageIndex(Integer Value) { FImageIndex = Value; }
void TMenuItem::SetHint(const WideString& Value) { FHint = Value; }

TBasicAction* TMenuItem::Action() const { return FActionLink ? FActionLink->Action() : nullptr; }

void TMenuItem::SetAction(TBasicAction* Value) {
  if (!Value) {
    FActionLink.reset();
    return;
  }
  if (!FActionLink) FActionLink = std::make_unique<TMenuActionLink>(this);
  FActionLink->SetAction(Value);
  Value->FreeNotification(this);
  if (auto* A = dynamic_cast<TCustomAction*>(Value)) {
    // Taking an action copies all it supplies.
    FCaption = A->Caption();
    FChecked = A->Checked();
    FEnabled = A->Enabled();
    FHelpContext = A->HelpContext();
    FHint = A->Hint();
    FImageIndex = A->ImageIndex();
    FShortCut = A->ShortCut();
    FVisible = A->Visible();
  }
}

void TMenuItem::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && FActionLink && AComponent == FActionLink->Action()) FActionLink.reset();
}

TMenuItem* TMenuItem::Items(Integer Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(u"List index out of bounds");
  return FItems[static_cast<size_t>(Index)];
}

Integer TMenuItem::MenuIndex() const { return FParent ? FParent->IndexOf(this) : -1; }

void TMenuItem::Add(TMenuItem* Item) { Insert(Count(), Item); }

void TMenuItem::Insert(Integer Index, TMenuItem* Item) {
  if (!Item || Item == this) return;
  for (TMenuItem* P = this; P; P = P->FParent)
    if (P == Item) return;  // an item cannot go inside itself
  if (Item->FParent) Item->FParent->Remove(Item);
  Index = std::clamp(Index, 0, Count());
  FItems.insert(FItems.begin() + Index, Item);
  Item->FParent = this;
}

void TMenuItem::Remove(TMenuItem* Item) {
  auto It = std::find(FItems.begin(), FItems.end(), Item);
  if (It == FItems.end()) return;
  FItems.erase(It);
  Item->FParent = nullptr;
}

void TMenuItem::Delete(Integer Index) { Remove(Items(Index)); }

void TMenuItem::Clear() {
  while (!FItems.empty()) {
    TMenuItem* I = FItems.back();
    Remove(I);
    delete I;
  }
}

Integer TMenuItem::IndexOf(const TMenuItem* Item) const {
  auto It = std::find(FItems.begin(), FItems.end(), Item);
  return It == FItems.end() ? -1 : static_cast<Integer>(It - FItems.begin());
}

void TMenuItem::Click() {
  if (FActionLink && FActionLink->Action()) {
    TBasicAction* A = FActionLink->Action();
    if (!A->OnExecute && OnClick) {
      OnClick(this);
      return;
    }
    FActionLink->Execute(this);
    return;
  }
  if (OnClick) OnClick(this);
}

// ---------------------------------------------------------------- menus

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner), FItems(new TMenuItem(nullptr)) {}

TMenu::~TMenu() { delete FItems; }

void TMenu::SetImages(TCustomImageList* Value) { FImages = Value; }

void TMenu::Notification(TComponent* AComponent, TOperation Operation) { TComponent::Notification(AComponent, Operation); }

static void Fill(HMENU Menu, const TMenuItem* Parent) {
  for (Integer i = 0; i < Parent->Count(); ++i) {
    const TMenuItem* I = Parent->Items(i);
    if (!I->Visible()) continue;
    MENUITEMINFOW Info;
    Info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_DATA;
    WideString Text = I->Caption();
    if (I->IsLine()) {
      Info.fType = MFT_SEPARATOR;
    } else {
      if (I->RadioItem()) Info.fType |= MFT_RADIOCHECK;
      if (I->Break() == mbBreak) Info.fType |= MFT_MENUBREAK;
      if (I->Break() == mbBarBreak) Info.fType |= MFT_MENUBARBREAK;
      if (I->ShortCut()) Text += u"\t" + ShortCutToText(I->ShortCut());
    }
    if (!I->Enabled()) Info.fState |= MFS_GRAYED;
    if (I->Checked()) Info.fState |= MFS_CHECKED;
    if (I->Default()) Info.fState |= MFS_DEFAULT;
    Info.wID = I->Command();
    Info.dwItemData = reinterpret_cast<ULONG_PTR>(I);
    Info.dwTypeData = Text.data();
    if (I->Count() > 0) {
      Info.fMask |= MIIM_SUBMENU;
      Info.hSubMenu = CreatePopupMenu();
      Fill(Info.hSubMenu, I);
    }
    InsertMenuItemW(Menu, 0xFFFFFFFF, TRUE, &Info);
  }
}

HMENU TMenuItem::Handle() {
  if (!IsMenu(FHandle)) {
    FHandle = CreatePopupMenu();
    Fill(FHandle, this);
  }
  return FHandle;
}

HMENU TMenu::CreateMenuHandle() const {
  HMENU M = CreatePopupMenu();
  Fill(M, FItems);
  return M;
}

static TMenuItem* FindIn(TMenuItem* Parent, UINT Command) {
  for (Integer i = 0; i < Parent->Count(); ++i) {
    TMenuItem* I = Parent->Items(i);
    if (I->Command() == Command) return I;
    if (TMenuItem* In = FindIn(I, Command)) return In;
  }
  return nullptr;
}

TMenuItem* TMenu::FindItem(UINT Command) const { return FindIn(FItems, Command); }

static TMenuItem* FindShortCut(TMenuItem* Parent, TShortCut S) {
  for (Integer i = 0; i < Parent->Count(); ++i) {
    TMenuItem* I = Parent->Items(i);
    if (!I->Visible() || !I->Enabled()) continue;
    if (I->ShortCut() == S && I->Count() == 0) return I;
    if (TMenuItem* In = FindShortCut(I, S)) return In;
  }
  return nullptr;
}

bool TMenu::IsShortCut(TMessage& Message) {
  TShortCut S = ShortCutFromMessage(Message);
  if (S == 0) return false;
  TMenuItem* I = FindShortCut(FItems, S);
  if (!I) return false;
  // The action's own update decides whether it may run now.
  if (TBasicAction* A = I->Action()) A->Update();
  if (!I->Enabled()) return false;
  I->Click();
  return true;
}

TPopupMenu::TPopupMenu(TComponent* AOwner) : TMenu(AOwner) {}

TPopupMenu::~TPopupMenu() = default;

void TPopupMenu::SetPopupComponent(TComponent* Value) {
  FPopupComponent = Value;
  if (Value) Value->FreeNotification(this);
}

void TPopupMenu::Notification(TComponent* AComponent, TOperation Operation) {
  TMenu::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FPopupComponent) FPopupComponent = nullptr;
}

void TPopupMenu::DoPopup(TObject* Sender) {
  if (OnPopup) OnPopup(Sender);
}

void TPopupMenu::Popup(Integer X, Integer Y) {
  SetPopupPoint(TPoint(X, Y));
  DoPopup(this);
  static const UINT Align[] = {TPM_LEFTALIGN, TPM_RIGHTALIGN, TPM_CENTERALIGN};
  UINT Flags = TPM_RETURNCMD | Align[FAlignment] | (FTrackButton == tbRightButton ? TPM_RIGHTBUTTON : TPM_LEFTBUTTON);
  HMENU M = CreateMenuHandle();
  // A window of its own takes the menu's notifications.
  HWND Owner = AllocateHWnd([](TMessage& Msg) { Msg.Result = 0; });
  UINT Command = static_cast<UINT>(TrackPopupMenu(M, Flags, X, Y, 0, Owner, nullptr));
  DeallocateHWnd(Owner);
  DestroyMenu(M);
  // The click runs after the menu has gone.
  if (Command)
    if (TMenuItem* I = FindItem(Command)) I->Click();
}
