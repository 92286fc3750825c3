// Actions of the class library: a command with caption, check and enabled
// state, hint, image and shortcut that several clients (menu items, toolbar
// items, buttons) show through action links. A change made on the action
// reaches every link, and each link passes it to its client only for the
// properties the client still shares with the action.
#pragma once

#include <functional>
#include <vector>

#include "platform/base/components.h"
#include "platform/ui/menus.h"

class TBasicActionLink;

class TBasicAction : public TComponent {
 public:
  explicit TBasicAction(TComponent* AOwner);
  // Links that still point here lose their action (their clients are told
  // through the free notification and drop the link).
  ~TBasicAction() override;

  // OnExecute with this action as sender; false when it is not assigned.
  virtual bool Execute();
  // OnUpdate with this action as sender; false when it is not assigned.
  virtual bool Update();
  // The component that runs the action during Execute through a link, else nullptr.
  TComponent* ActionComponent() const { return FActionComponent; }
  void SetActionComponent(TComponent* Value);

  void RegisterChanges(TBasicActionLink* Value);
  void UnRegisterChanges(TBasicActionLink* Value);
  const std::vector<TBasicActionLink*>& Clients() const { return FClients; }

  TNotifyEvent OnExecute;
  TNotifyEvent OnUpdate;
  // Fired after a property of the action changed.
  TNotifyEvent OnChange;

  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  virtual void Change();

 private:
  TComponent* FActionComponent = nullptr;
  std::vector<TBasicActionLink*> FClients;
};

// The binding of one client to an action. A derived link names its client
// in its own constructor and passes the action's changes to it by
// overriding the setters.
class TBasicActionLink : public TObject {
 public:
  TBasicActionLink() = default;
  ~TBasicActionLink() override;
  TBasicActionLink(const TBasicActionLink&) = delete;
  TBasicActionLink& operator=(const TBasicActionLink&) = delete;

  TBasicAction* Action() const { return FAction; }
  void SetAction(TBasicAction* Value);
  // Runs the action with AComponent as its ActionComponent; false without action.
  virtual bool Execute(TComponent* AComponent = nullptr);
  // The action's Update; false without action.
  virtual bool Update();
  // The client's value equals the action's for OnExecute (the base link cannot tell: true).
  virtual bool IsOnExecuteLinked() { return true; }
  virtual void SetOnExecute(const TNotifyEvent&) {}

  // Called by the owner of the action when the client should re-read the
  // whole action; fires OnChange with the action as sender.
  virtual void Change();
  TNotifyEvent OnChange;

 private:
  friend class TBasicAction;
  TBasicAction* FAction = nullptr;
};

using THintEvent = std::function<void(WideString& HintStr, bool& CanShow)>;

class TCustomAction : public TBasicAction {
 public:
  explicit TCustomAction(TComponent* AOwner);

  const WideString& Caption() const { return FCaption; }
  void SetCaption(const WideString& Value);
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  Integer HelpContext() const { return FHelpContext; }
  void SetHelpContext(Integer Value);
  const WideString& Hint() const { return FHint; }
  void SetHint(const WideString& Value);
  Integer ImageIndex() const { return FImageIndex; }
  void SetImageIndex(Integer Value);
  TShortCut ShortCut() const { return FShortCut; }
  void SetShortCut(TShortCut Value);
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  bool AutoCheck() const { return FAutoCheck; }
  void SetAutoCheck(bool Value);
  // Linked clients get the new handler too.
  void SetOnExecute(const TNotifyEvent& Value);

  // Update, then, when enabled: Checked toggles for AutoCheck and OnExecute runs.
  // False when disabled or without OnExecute.
  bool Execute() override;
  // OnHint may change the text or forbid the hint (answer false).
  virtual bool DoHint(WideString& HintStr);
  THintEvent OnHint;

 private:
  template <class F>
  void ForEachLink(F Fn);

  WideString FCaption;
  bool FChecked = false;
  bool FEnabled = true;
  Integer FHelpContext = 0;
  WideString FHint;
  Integer FImageIndex = -1;
  TShortCut FShortCut = 0;
  bool FVisible = true;
  bool FAutoCheck = false;
};

// A link to a TCustomAction. Each IsXLinked test is true while the action is
// a TCustomAction; derived links narrow it to "the client's value still
// equals the action's" and write the client in the setters.
class TActionLink : public TBasicActionLink {
 public:
  TCustomAction* CustomAction() const { return dynamic_cast<TCustomAction*>(Action()); }

  virtual bool IsCaptionLinked() { return CustomAction() != nullptr; }
  virtual bool IsCheckedLinked() { return CustomAction() != nullptr; }
  virtual bool IsEnabledLinked() { return CustomAction() != nullptr; }
  virtual bool IsHelpContextLinked() { return CustomAction() != nullptr; }
  virtual bool IsHintLinked() { return CustomAction() != nullptr; }
  virtual bool IsImageIndexLinked() { return CustomAction() != nullptr; }
  virtual bool IsShortCutLinked() { return CustomAction() != nullptr; }
  virtual bool IsVisibleLinked() { return CustomAction() != nullptr; }

  virtual void SetAutoCheck(bool) {}
  virtual void SetCaption(const WideString&) {}
  virtual void SetChecked(bool) {}
  virtual void SetEnabled(bool) {}
  virtual void SetHelpContext(Integer) {}
  virtual void SetHint(const WideString&) {}
  virtual void SetImageIndex(Integer) {}
  virtual void SetShortCut(TShortCut) {}
  virtual void SetVisible(bool) {}
};
