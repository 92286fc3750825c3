// Components: objects with an owner that frees them, a name unique among the
// owner's components, and notifications when related components go away.
#pragma once

#include <initializer_list>
#include <vector>

#include "platform/base/classes.h"

enum TOperation { opInsert, opRemove };

enum TComponentStateItem {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance,
};

// A set of TComponentStateItem.
class TComponentState {
 public:
  TComponentState() = default;
  TComponentState(std::initializer_list<TComponentStateItem> Items) {
    for (auto i : Items) Include(i);
  }
  bool Contains(TComponentStateItem Item) const { return (FBits >> Item) & 1u; }
  void Include(TComponentStateItem Item) { FBits |= 1u << Item; }
  void Exclude(TComponentStateItem Item) { FBits &= ~(1u << Item); }
  bool Empty() const { return FBits == 0; }
  bool operator==(const TComponentState& Other) const { return FBits == Other.FBits; }

 private:
  uint32_t FBits = 0;
};

class TComponent : public TPersistent {
 public:
  // Joins AOwner's components (when given); the owner frees it.
  explicit TComponent(TComponent* AOwner);
  // Tells every component linked by FreeNotification, frees the owned
  // components (last first) and leaves the owner. A class whose Notification
  // must see its own components go calls DestroyComponents in its destructor:
  // by the time this one runs, overrides are no longer reached.
  ~TComponent() override;

  TComponent* Owner() const { return FOwner; }
  Integer ComponentCount() const { return static_cast<Integer>(FComponents.size()); }
  // EListError for an index outside 0..ComponentCount-1.
  TComponent* Components(Integer Index) const;
  // Position among the owner's components; -1 without owner.
  Integer ComponentIndex() const;
  // The owned component with that name (case ignored), or nullptr.
  TComponent* FindComponent(const WideString& AName) const;

  const WideString& Name() const { return FName; }
  // Raises EComponentError when the name is not an identifier (letters,
  // digits, "_", not starting with a digit; empty is allowed) or another
  // component of the same owner has it.
  virtual void SetName(const WideString& NewName);
  intptr_t Tag() const { return FTag; }
  void SetTag(intptr_t Value) { FTag = Value; }
  TComponentState ComponentState() const { return FComponentState; }

  // Takes AComponent from its current owner; every owned component (and this
  // one) gets Notification(AComponent, opInsert).
  void InsertComponent(TComponent* AComponent);
  // Releases AComponent without freeing it; notifies with opRemove.
  void RemoveComponent(TComponent* AComponent);
  // Frees every owned component, the last first.
  void DestroyComponents();
  // Marks this component and its owned components as being destroyed.
  void Destroying();

  // AComponent (of another owner) will call Notification(this-side) when it
  // goes, and this one tells AComponent when it goes; the link is mutual.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // AComponent joins (opInsert) or leaves (opRemove) this component's world:
  // an owned component, a sibling, or one linked by FreeNotification. The
  // base class forgets the free-notification link of a leaving component and
  // passes the news on to every owned component; overrides call it.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 protected:
  virtual void Loaded();
  void IncludeState(TComponentStateItem Item) { FComponentState.Include(Item); }
  void ExcludeState(TComponentStateItem Item) { FComponentState.Exclude(Item); }

 private:
  void RemoveNotification(TComponent* AComponent);
  void ValidateRename(TComponent* AComponent, const WideString& CurName, const WideString& NewName);

  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  WideString FName;
  intptr_t FTag = 0;
  TComponentState FComponentState;
};
