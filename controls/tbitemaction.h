// The binding of an item to an action: the action supplies the item's
// caption, check state, enabled and visible state, help context, hint,
// image, shortcut and click handler for as long as the item shows the same.
#pragma once

#include "controls/tbitem.h"
#include "platform/ui/actnlist.h"

class TTBCustomItemActionLink : public TActionLink {
 public:
  explicit TTBCustomItemActionLink(TTBCustomItem* AClient) : FClient(AClient) {}
  TTBCustomItem* Client() const { return FClient; }

  // Each property is linked while the item still shows the action's value.
  bool IsCaptionLinked() override;
  bool IsCheckedLinked() override;
  bool IsEnabledLinked() override;
  bool IsHelpContextLinked() override;
  bool IsHintLinked() override;
  bool IsImageIndexLinked() override;
  bool IsShortCutLinked() override;
  bool IsVisibleLinked() override;
  bool IsOnExecuteLinked() override;
  bool IsAutoCheckLinked();

  void SetAutoCheck(bool Value) override;
  void SetCaption(const WideString& Value) override;
  void SetChecked(bool Value) override;
  void SetEnabled(bool Value) override;
  void SetHelpContext(Integer Value) override;
  void SetHint(const WideString& Value) override;
  void SetImageIndex(Integer Value) override;
  void SetShortCut(TShortCut Value) override;
  void SetVisible(bool Value) override;
  void SetOnExecute(const TNotifyEvent& Value) override;

 private:
  TTBCustomItem* FClient;
};
