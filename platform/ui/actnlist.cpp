// Actions and their links.
#include "platform/ui/actnlist.h"

#include <algorithm>

TBasicAction::TBasicAction(TComponent* AOwner) : TComponent(AOwner) {}

TBasicAction::~TBasicAction() {
  if (FActionComponent) FActionComponent->RemoveFreeNotification(this);
  // The links stay with their clients; they only forget the action. The
  // clients hear of it through TComponent's free notification afterwards.
  for (TBasicActionLink* L : FClients) L->FAction = nullptr;
  FClients.clear();
}

bool TBasicAction::Execute() {
  if (!OnExecute) return false;
  // A handler may replace OnExecute while it runs; call a copy.
  TNotifyEvent Handler = OnExecute;
  Handler(this);
  return true;
}

bool TBasicAction::Update() {
  if (!OnUpdate) return false;
  TNotifyEvent Handler = OnUpdate;
  Handler(this);
  return true;
}

void TBasicAction::SetActionComponent(TComponent* Value) {
  if (FActionComponent == Value) return;
  if (FActionComponent) FActionComponent->RemoveFreeNotification(this);
  FActionComponent = Value;
  if (FActionComponent) FActionComponent->FreeNotification(this);
}

void TBasicAction::RegisterChanges(TBasicActionLink* Value) {
  if (std::find(FClients.begin(), FClients.end(), Value) == FClients.end()) FClients.push_back(Value);
  Value->FAction = this;
}

void TBasicAction::UnRegisterChanges(TBasicActionLink* Value) {
  auto It = std::find(FClients.begin(), FClients.end(), Value);
  if (It == FClients.end()) return;
  FClients.erase(It);
  Value->FAction = nullptr;
}

void TBasicAction::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FActionComponent) FActionComponent = nullptr;
}

void TBasicAction::Change() {
  if (OnChange) OnChange(this);
}

TBasicActionLink::~TBasicActionLink() {
  if (FAction) FAction->UnRegisterChanges(this);
}

void TBasicActionLink::SetAction(TBasicAction* Value) {
  if (Value == FAction) return;
  if (FAction) FAction->UnRegisterChanges(this);
  if (Value) Value->RegisterChanges(this);
}

bool TBasicActionLink::Execute(TComponent* AComponent) {
  if (!FAction) return false;
  TBasicAction* A = FAction;
  A->SetActionComponent(AComponent);
  struct TReset {
    TBasicActionLink* Link;
    TBasicAction* Action;
    // The action may have been freed by its own handler; the link then no
    // longer points at it and there is nothing to reset.
    ~TReset() {
      if (Link->FAction == Action) Action->SetActionComponent(nullptr);
    }
  } Reset{this, A};
  return A->Execute();
}

bool TBasicActionLink::Update() { return FAction && FAction->Update(); }

void TBasicActionLink::Change() {
  if (OnChange) OnChange(FAction);
}

TCustomAction::TCustomAction(TComponent* AOwner) : TBasicAction(AOwner) {}

// The links are visited over a copy: a client may drop its link while it is told.
template <class F>
void TCustomAction::ForEachLink(F Fn) {
  std::vector<TBasicActionLink*> Links = Clients();
  for (TBasicActionLink* L : Links) {
    const auto& Now = Clients();
    if (std::find(Now.begin(), Now.end(), L) == Now.end()) continue;
    if (auto* AL = dynamic_cast<TActionLink*>(L)) Fn(AL);
  }
}

void TCustomAction::SetCaption(const WideString& Value) {
  if (Value == FCaption) return;
  ForEachLink([&](TActionLink* L) { L->SetCaption(Value); });
  FCaption = Value;
  Change();
}

void TCustomAction::SetChecked(bool Value) {
  if (Value == FChecked) return;
  ForEachLink([&](TActionLink* L) { L->SetChecked(Value); });
  FChecked = Value;
  Change();
}

void TCustomAction::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  ForEachLink([&](TActionLink* L) { L->SetEnabled(Value); });
  FEnabled = Value;
  Change();
}

void TCustomAction::SetHelpContext(Integer Value) {
  if (Value == FHelpContext) return;
  ForEachLink([&](TActionLink* L) { L->SetHelpContext(Value); });
  FHelpContext = Value;
  Change();
}

void TCustomAction::SetHint(const WideString& Value) {
  if (Value == FHint) return;
  ForEachLink([&](TActionLink* L) { L->SetHint(Value); });
  FHint = Value;
  Change();
}

void TCustomAction::SetImageIndex(Integer Value) {
  if (Value == FImageIndex) return;
  ForEachLink([&](TActionLink* L) { L->SetImageIndex(Value); });
  FImageIndex = Value;
  Change();
}

void TCustomAction::SetShortCut(TShortCut Value) {
  if (Value == FShortCut) return;
  ForEachLink([&](TActionLink* L) { L->SetShortCut(Value); });
  FShortCut = Value;
  Change();
}

void TCustomAction::SetVisible(bool Value) {
  if (Value == FVisible) return;
  ForEachLink([&](TActionLink* L) { L->SetVisible(Value); });
  FVisible = Value;
  Change();
}

void TCustomAction::SetAutoCheck(bool Value) {
  if (Value == FAutoCheck) return;
  ForEachLink([&](TActionLink* L) { L->SetAutoCheck(Value); });
  FAutoCheck = Value;
  Change();
}

void TCustomAction::SetOnExecute(const TNotifyEvent& Value) {
  ForEachLink([&](TActionLink* L) { L->SetOnExecute(Value); });
  OnExecute = Value;
  Change();
}

bool TCustomAction::Execute() {
  Update();
  if (!FEnabled) return false;
  if (FAutoCheck) SetChecked(!FChecked);
  return TBasicAction::Execute();
}

bool TCustomAction::DoHint(WideString& HintStr) {
  bool CanShow = true;
  if (OnHint) OnHint(HintStr, CanShow);
  return CanShow;
}
