#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/components.h"

namespace test_components_tests {

namespace {

struct TLog {
  std::vector<std::string> Frees;
  struct THeard {
    std::string Listener;
    TOperation Operation;
    TComponent* Subject;
  };
  std::vector<THeard> Heard;
  bool Has(const std::string& Listener, TOperation Operation, TComponent* Subject) const {
    for (const auto& h : Heard)
      if (h.Listener == Listener && h.Operation == Operation && h.Subject == Subject) return true;
    return false;
  }
};

// Logs its own end and every notification it hears; forgets Link when it goes.
class TProbe : public TComponent {
 public:
  TProbe(TComponent* AOwner, const char* Id, TLog& Log) : TComponent(AOwner), FId(Id), FLog(Log) {}
  ~TProbe() override { FLog.Frees.push_back(FId); }
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    FLog.Heard.push_back({FId, Operation, AComponent});
    if (Operation == opRemove && AComponent == Link) Link = nullptr;
  }
  void Watch(TComponent* Other) {
    Link = Other;
    Other->FreeNotification(this);
  }
  TComponent* Link = nullptr;

 private:
  std::string FId;
  TLog& FLog;
};

// Overrides Notification without calling the base class.
class TDeaf : public TComponent {
 public:
  using TComponent::TComponent;
  void Notification(TComponent*, TOperation) override { ++Heard; }
  int Heard = 0;
};

}  // namespace

TEST(Component, OwnerFreesWhatItOwnsLastFirst) {
  TLog log;
  auto* owner = new TProbe(nullptr, "owner", log);
  new TProbe(owner, "a", log);
  auto* b = new TProbe(owner, "b", log);
  new TProbe(b, "b1", log);
  new TProbe(owner, "c", log);
  EXPECT_EQ(owner->ComponentCount(), 3);
  EXPECT_EQ(b->Owner(), owner);
  EXPECT_EQ(b->ComponentIndex(), 1);
  EXPECT_THROW(owner->Components(3), EListError);
  log.Heard.clear();
  delete owner;
  EXPECT_EQ(log.Frees, (std::vector<std::string>{"owner", "c", "b", "b1", "a"}));
  EXPECT_TRUE(log.Heard.empty());  // nobody asked to hear of the children
}

TEST(Component, SiblingsHearOfInsertionsAndOfWatchedRemovals) {
  TLog log;
  TProbe owner(nullptr, "owner", log);
  auto* a = new TProbe(&owner, "a", log);
  auto* b = new TProbe(&owner, "b", log);
  EXPECT_TRUE(log.Has("a", opInsert, b));
  EXPECT_TRUE(log.Has("owner", opInsert, b));
  a->Watch(b);  // same owner: no mutual link, the owner carries the news
  delete b;
  EXPECT_TRUE(log.Has("a", opRemove, b));
  EXPECT_EQ(a->Link, nullptr);
  EXPECT_EQ(owner.ComponentCount(), 1);
  // A watched child freed with its owner is reported to its remaining siblings.
  auto* c = new TProbe(&owner, "c", log);
  auto* d = new TProbe(&owner, "d", log);
  c->Watch(d);
  owner.DestroyComponents();
  EXPECT_TRUE(log.Has("c", opRemove, d));
  EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST(Component, FreeNotificationAcrossOwnersIsMutualAndRemovable) {
  // The target goes first: the watcher forgets it.
  {
    TLog log;
    auto* watcher = new TProbe(nullptr, "watcher", log);
    auto* target = new TProbe(nullptr, "target", log);
    watcher->Watch(target);
    delete target;
    EXPECT_EQ(watcher->Link, nullptr);
    EXPECT_TRUE(log.Has("watcher", opRemove, target));
    delete watcher;
  }
  // The watcher goes first: the link is mutual, so the target hears of it and
  // never calls the freed watcher (the sanitizer build would see that).
  {
    TLog log;
    auto* watcher = new TProbe(nullptr, "watcher", log);
    auto* target = new TProbe(nullptr, "target", log);
    watcher->Watch(target);
    delete watcher;
    EXPECT_TRUE(log.Has("target", opRemove, watcher));
    delete target;
    EXPECT_FALSE(log.Has("watcher", opRemove, target));
  }
  // A removed link reports nothing.
  {
    TLog log;
    TProbe watcher(nullptr, "watcher", log);
    auto* target = new TProbe(nullptr, "target", log);
    watcher.Watch(target);
    target->RemoveFreeNotification(&watcher);
    delete target;
    EXPECT_EQ(watcher.Link, target);
    EXPECT_FALSE(log.Has("watcher", opRemove, target));
  }
}

TEST(Component, AnOverrideThatSkipsTheBaseClassCannotHangTheDestructor) {
  TDeaf deaf(nullptr);
  auto* target = new TComponent(nullptr);
  target->FreeNotification(&deaf);
  delete target;  // would loop for ever if the link stayed until the listener removed it
  EXPECT_EQ(deaf.Heard, 1);
}

TEST(Component, NamesAreUniqueAmongOneOwnersComponents) {
  TLog log;
  TProbe owner(nullptr, "owner", log), other(nullptr, "other", log);
  auto* a = new TProbe(&owner, "a", log);
  auto* b = new TProbe(&owner, "b", log);
  auto* c = new TProbe(&other, "c", log);
  a->SetName(u"Image1");
  EXPECT_THROW(b->SetName(u"IMAGE1"), EComponentError);
  EXPECT_NO_THROW(c->SetName(u"Image1"));  // another owner
  EXPECT_NO_THROW(a->SetName(u"image1"));  // renaming itself
  for (const char16_t* bad : {u"1abc", u"a b", u"a-b", u"\u00E4"}) EXPECT_THROW(b->SetName(bad), EComponentError);
  b->SetName(u"_ok2");
  EXPECT_EQ(owner.FindComponent(u"IMAGE1"), a);
  EXPECT_EQ(owner.FindComponent(u""), nullptr);
  EXPECT_THROW(owner.InsertComponent(c), EComponentError);  // its name is taken here
  EXPECT_EQ(c->Owner(), &other);
  c->SetName(u"Moved");
  owner.InsertComponent(c);
  EXPECT_EQ(c->Owner(), &owner);
  EXPECT_EQ(other.ComponentCount(), 0);
  owner.RemoveComponent(b);
  EXPECT_EQ(b->Owner(), nullptr);
  b->SetTag(42);
  EXPECT_EQ(b->Tag(), 42);
  delete b;  // no longer owned: ours to free
  EXPECT_EQ(owner.ComponentCount(), 2);
}

TEST(Component, DestroyingMarksTheWholeTree) {
  TComponent owner(nullptr);
  auto* child = new TComponent(&owner);
  auto* grandchild = new TComponent(child);
  owner.Destroying();
  EXPECT_TRUE(child->ComponentState().Contains(csDestroying));
  EXPECT_TRUE(grandchild->ComponentState().Contains(csDestroying));
  EXPECT_TRUE((TComponentState{csDestroying} == owner.ComponentState()));
}

}  // namespace test_components_tests
