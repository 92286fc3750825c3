#include "platform/base/components.h"

#include <algorithm>
#include <string>

#include "platform/base/strutils.h"

namespace {

bool IsValidIdent(const WideString& S) {
  auto alpha = [](char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_'; };
  if (S.empty() || !alpha(S[0])) return false;
  return std::all_of(S.begin() + 1, S.end(), [&](char16_t c) { return alpha(c) || (c >= u'0' && c <= u'9'); });
}

void Erase(std::vector<TComponent*>& List, TComponent* C) {
  auto it = std::find(List.begin(), List.end(), C);
  if (it != List.end()) List.erase(it);
}

}  // namespace

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Each link is taken out before its call, so that an override that does not
  // call the base class cannot keep this loop going.
  while (!FFreeNotifies.empty()) {
    TComponent* c = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    c->RemoveNotification(this);
    c->Notification(this, opRemove);
  }
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

TComponent* TComponent::Components(Integer Index) const {
  if (Index < 0 || Index >= ComponentCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FComponents[static_cast<size_t>(Index)];
}

Integer TComponent::ComponentIndex() const {
  if (!FOwner) return -1;
  auto& list = FOwner->FComponents;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<Integer>(it - list.begin());
}

TComponent* TComponent::FindComponent(const WideString& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (SameText(c->FName, AName)) return c;
  return nullptr;
}

void TComponent::ValidateRename(TComponent* AComponent, const WideString& CurName, const WideString& NewName) {
  if (NewName.empty() || SameText(CurName, NewName)) return;
  TComponent* other = FindComponent(NewName);
  if (other && other != AComponent)
    throw EComponentError(u"A component named " + NewName + u" already exists");
}

void TComponent::SetName(const WideString& NewName) {
  if (NewName == FName) return;
  if (!NewName.empty() && !IsValidIdent(NewName))
    throw EComponentError(u"''" + NewName + u"'' is not a valid component name");
  if (FOwner) FOwner->ValidateRename(this, FName, NewName);
  FName = NewName;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner == this) return;
  ValidateRename(AComponent, WideString(), AComponent->FName);
  if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner != this) return;
  Notification(AComponent, opRemove);
  Erase(FComponents, AComponent);
  AComponent->FOwner = nullptr;
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    // Siblings hear of a component only when someone asked to.
    if (c->FComponentState.Contains(csFreeNotification)) {
      RemoveComponent(c);
    } else {
      FComponents.pop_back();
      c->FOwner = nullptr;
    }
    delete c;
  }
}

void TComponent::Destroying() {
  if (FComponentState.Contains(csDestroying)) return;
  FComponentState.Include(csDestroying);
  for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  // Components of one owner hear of each other through the owner already.
  if (!FOwner || AComponent->FOwner != FOwner) {
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end()) {
      FFreeNotifies.push_back(AComponent);
      AComponent->FreeNotification(this);
    }
  }
  FComponentState.Include(csFreeNotification);
}

void TComponent::RemoveNotification(TComponent* AComponent) { Erase(FFreeNotifies, AComponent); }

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  RemoveNotification(AComponent);
  AComponent->RemoveNotification(this);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent) RemoveFreeNotification(AComponent);
  // Backwards, and tolerant of components that go while being told.
  Integer i = ComponentCount() - 1;
  while (i >= 0) {
    FComponents[static_cast<size_t>(i)]->Notification(AComponent, Operation);
    --i;
    if (i >= ComponentCount()) i = ComponentCount() - 1;
  }
}

void TComponent::Loaded() { FComponentState.Exclude(csLoading); }
