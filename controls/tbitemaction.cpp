// Items driven by actions, the click decision, and the shortcut search and
// execution of item trees.
#include "controls/tbitemaction.h"

#include "platform/ui/forms.h"
#include "platform/ui/menus.h"

namespace {

// The handler an item takes over from an action.
TNotifyEvent ExecuteHandlerOf(const TBasicAction* Action) {
  if (!Action || !Action->OnExecute) return TNotifyEvent();
  return TTBActionExecute{Action, Action->OnExecute};
}

// Restarts of the shortcut walk when handlers keep changing the tree.
constexpr Integer MaxShortCutRestarts = 8;
// Steps through LinkSubitems along one path of the shortcut search.
constexpr Integer MaxLinkSteps = 25;

}  // namespace

bool IsActionExecuteHandler(const TNotifyEvent& Handler, const TBasicAction* Action) {
  if (!Handler) return !Action || !Action->OnExecute;
  const TTBActionExecute* Own = Handler.target<TTBActionExecute>();
  return Own && Action && Own->Action == Action && Action->OnExecute;
}

// ---------------------------------------------------------------- the link

bool TTBCustomItemActionLink::IsCaptionLinked() {
  return TActionLink::IsCaptionLinked() && FClient->Caption() == CustomAction()->Caption();
}
bool TTBCustomItemActionLink::IsCheckedLinked() {
  return TActionLink::IsCheckedLinked() && FClient->Checked() == CustomAction()->Checked();
}
bool TTBCustomItemActionLink::IsEnabledLinked() {
  return TActionLink::IsEnabledLinked() && FClient->Enabled() == CustomAction()->Enabled();
}
bool TTBCustomItemActionLink::IsHelpContextLinked() {
  return TActionLink::IsHelpContextLinked() && FClient->HelpContext() == CustomAction()->HelpContext();
}
bool TTBCustomItemActionLink::IsHintLinked() {
  return TActionLink::IsHintLinked() && FClient->Hint() == CustomAction()->Hint();
}
bool TTBCustomItemActionLink::IsImageIndexLinked() {
  return TActionLink::IsImageIndexLinked() && FClient->ImageIndex() == CustomAction()->ImageIndex();
}
bool TTBCustomItemActionLink::IsShortCutLinked() {
  return TActionLink::IsShortCutLinked() && FClient->ShortCut() == CustomAction()->ShortCut();
}
bool TTBCustomItemActionLink::IsVisibleLinked() {
  return TActionLink::IsVisibleLinked() && FClient->Visible() == CustomAction()->Visible();
}
bool TTBCustomItemActionLink::IsOnExecuteLinked() {
  return TActionLink::IsOnExecuteLinked() && IsActionExecuteHandler(FClient->OnClick, Action());
}
bool TTBCustomItemActionLink::IsAutoCheckLinked() {
  return CustomAction() && CustomAction()->AutoCheck() == FClient->AutoCheck();
}

void TTBCustomItemActionLink::SetAutoCheck(bool Value) {
  if (IsAutoCheckLinked()) FClient->FAutoCheck = Value;
}
void TTBCustomItemActionLink::SetCaption(const WideString& Value) {
  if (IsCaptionLinked()) FClient->SetCaption(Value);
}
void TTBCustomItemActionLink::SetChecked(bool Value) {
  if (IsCheckedLinked()) FClient->SetChecked(Value);
}
void TTBCustomItemActionLink::SetEnabled(bool Value) {
  if (IsEnabledLinked()) FClient->SetEnabled(Value);
}
void TTBCustomItemActionLink::SetHelpContext(Integer Value) {
  if (IsHelpContextLinked()) FClient->FHelpContext = Value;
}
void TTBCustomItemActionLink::SetHint(const WideString& Value) {
  if (IsHintLinked()) FClient->FHint = Value;
}
void TTBCustomItemActionLink::SetImageIndex(Integer Value) {
  if (IsImageIndexLinked()) FClient->SetImageIndex(Value);
}
void TTBCustomItemActionLink::SetShortCut(TShortCut Value) {
  if (IsShortCutLinked()) FClient->FShortCut = Value;
}
void TTBCustomItemActionLink::SetVisible(bool Value) {
  if (IsVisibleLinked()) FClient->SetVisible(Value);
}
void TTBCustomItemActionLink::SetOnExecute(const TNotifyEvent& Value) {
  if (!IsOnExecuteLinked()) return;
  FClient->OnClick = Value ? TNotifyEvent(TTBActionExecute{Action(), Value}) : TNotifyEvent();
}

// ---------------------------------------------------------------- the item's side

TBasicAction* TTBCustomItem::Action() const { return FActionLink ? FActionLink->Action() : nullptr; }

TTBCustomItemActionLink* TTBCustomItem::CreateActionLink() { return new TTBCustomItemActionLink(this); }

void TTBCustomItem::SetAction(TBasicAction* Value) {
  if (!Value) {
    FreeActionLink();
    return;
  }
  if (!FActionLink) FActionLink = CreateActionLink();
  FActionLink->SetAction(Value);
  FActionLink->OnChange = [this](TObject* Sender) { ActionChanged(Sender); };
  ApplyAction(Value, Value->ComponentState().Contains(csLoading) || ComponentState().Contains(csLoading));
  Value->FreeNotification(this);
}

void TTBCustomItem::FreeActionLink() {
  delete FActionLink;
  FActionLink = nullptr;
}

void TTBCustomItem::ActionNotification(TComponent* AComponent) {
  // The action may already have let go of the link when it tells us.
  if (FActionLink && (FActionLink->Action() == AComponent || !FActionLink->Action())) FreeActionLink();
}

void TTBCustomItem::ActionChanged(TObject* Sender) {
  if (Sender && Sender == Action()) ApplyAction(Action(), false);
}

void TTBCustomItem::ApplyAction(TBasicAction* AAction, bool CheckDefaults) {
  auto* A = dynamic_cast<TCustomAction*>(AAction);
  if (!A) return;
  if (!CheckDefaults || !FAutoCheck) FAutoCheck = A->AutoCheck();
  if (!CheckDefaults || FCaption.empty()) SetCaption(A->Caption());
  if (!CheckDefaults || !FChecked) SetChecked(A->Checked());
  if (!CheckDefaults || FEnabled) SetEnabled(A->Enabled());
  if (!CheckDefaults || FHelpContext == 0) FHelpContext = A->HelpContext();
  if (!CheckDefaults || FHint.empty()) FHint = A->Hint();
  if (!CheckDefaults || FImageIndex == -1) SetImageIndex(A->ImageIndex());
  if (!CheckDefaults || FShortCut == 0) FShortCut = A->ShortCut();
  if (!CheckDefaults || FVisible) SetVisible(A->Visible());
  if (!CheckDefaults || !OnClick) OnClick = ExecuteHandlerOf(A);
}

void TTBCustomItem::Loaded() {
  TComponent::Loaded();
  if (TBasicAction* A = Action()) ApplyAction(A, true);
}

void TTBCustomItem::RefreshFromAction() {
  if (FActionLink) FActionLink->Update();
}

bool TTBCustomItem::IsCaptionStored() const { return !FActionLink || !FActionLink->IsCaptionLinked(); }
bool TTBCustomItem::IsCheckedStored() const { return !FActionLink || !FActionLink->IsCheckedLinked(); }
bool TTBCustomItem::IsEnabledStored() const { return !FActionLink || !FActionLink->IsEnabledLinked(); }
bool TTBCustomItem::IsHelpContextStored() const { return !FActionLink || !FActionLink->IsHelpContextLinked(); }
bool TTBCustomItem::IsHintStored() const { return !FActionLink || !FActionLink->IsHintLinked(); }
bool TTBCustomItem::IsImageIndexStored() const { return !FActionLink || !FActionLink->IsImageIndexLinked(); }
bool TTBCustomItem::IsShortCutStored() const { return !FActionLink || !FActionLink->IsShortCutLinked(); }
bool TTBCustomItem::IsVisibleStored() const { return !FActionLink || !FActionLink->IsVisibleLinked(); }
bool TTBCustomItem::IsAutoCheckStored() const { return !FActionLink || !FActionLink->IsAutoCheckLinked(); }
bool TTBCustomItem::IsOnClickStored() const { return !FActionLink || !FActionLink->IsOnExecuteLinked(); }

void TTBCustomItem::Click() {
  if (!FEnabled) return;
  // An action whose AutoCheck is linked toggles the check itself.
  if (FAutoCheck && (!FActionLink || !FActionLink->IsAutoCheckLinked())) SetChecked(!FChecked);
  TBasicAction* A = Action();
  if (OnClick && A && !IsActionExecuteHandler(OnClick, A)) {
    const TNotifyEvent Handler = OnClick;  // the handler may free the item
    Handler(this);
    return;
  }
  if (!ComponentState().Contains(csDesigning) && FActionLink) {
    FActionLink->Execute(this);
    return;
  }
  if (OnClick) {
    const TNotifyEvent Handler = OnClick;
    Handler(this);
  }
}

// ---------------------------------------------------------------- shortcuts

WideString TTBCustomItem::ShortCutText() const {
  const size_t Tab = FCaption.find(u'\t');
  if (Tab != WideString::npos) return FCaption.substr(Tab + 1);
  return FShortCut ? ShortCutToText(FShortCut) : WideString();
}

TTBCustomItem* TTBCustomItem::FindByShortCut(TShortCut AShortCut, TTBCustomItem*& TopParent) {
  TopParent = nullptr;
  if (AShortCut == 0) return nullptr;  // items without a shortcut are not a match for "no key"
  return FindShortCutIn(AShortCut, TopParent, 0);
}

TTBCustomItem* TTBCustomItem::FindShortCutIn(TShortCut AShortCut, TTBCustomItem*& TopParent, Integer LinkDepth) {
  TTBCustomItem* Source = SubitemSource();
  if (Source != this && ++LinkDepth > MaxLinkSteps) return nullptr;
  for (TTBCustomItem* Sub : Source->FItems) {
    if (Sub->FShortCut == AShortCut) return Sub;
    TTBCustomItem* Inner = nullptr;
    if (TTBCustomItem* Found = Sub->FindShortCutIn(AShortCut, Inner, LinkDepth)) {
      TopParent = Sub;
      return Found;
    }
  }
  return nullptr;
}

bool TTBCustomItem::ExecuteShortCut(const TMessage& Message) {
  const TShortCut Key = ShortCutFromMessage(Message);
  const std::shared_ptr<TListeners> RootAlive = FListeners;
  auto Guarded = [&](const std::function<void()>& Fn) {
    try {
      Fn();
    } catch (...) {
      Application->HandleException(this, std::current_exception());
    }
  };
  for (Integer Restart = 0; Restart <= MaxShortCutRestarts; ++Restart) {
    TTBCustomItem* TopParent = nullptr;
    if (!FindByShortCut(Key, TopParent)) return false;
    TTBCustomItem* Current = this;
    bool StartOver = false;
    while (!StartOver) {
      if (!Current->FEnabled) return false;
      const std::shared_ptr<TListeners> CurrentAlive = Current->FListeners;
      TTBCustomItem* Source = Current->SubitemSource();
      if (!ComponentState().Contains(csDesigning)) {
        const std::vector<TTBCustomItem*> Subs = Source->FItems;
        for (TTBCustomItem* Sub : Subs) Sub->RefreshFromAction();
      }
      if (!Current->FItemStyle.Contains(tisEmbeddedGroup)) {
        // The same steps as opening the menu by hand: a handler may fill it now.
        if (Source != Current) Guarded([&] { Source->PopupOpening(Current, true); });
        if (!Gone(CurrentAlive)) Guarded([&] { Current->PopupOpening(Current, false); });
      }
      if (Gone(RootAlive)) return false;
      if (Gone(CurrentAlive)) {
        StartOver = true;
        break;
      }
      TTBCustomItem* Found = Current->FindByShortCut(Key, TopParent);
      if (!Found) {
        StartOver = true;  // the handlers changed the tree
        break;
      }
      if (TopParent) {
        Current = TopParent;
        continue;
      }
      if (!Found->FEnabled) return false;
      Guarded([&] { Found->Click(); });
      return true;
    }
  }
  return false;
}
