// Common controls: page controls with tab sheets, track bars and up-down buttons.
#pragma once

#include <vector>

#include "platform/ui/stdctrls.h"

class TPageControl;

// One page of a page control; its caption is the tab's text.
class TTabSheet : public TWinControl {
 public:
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return FPageControl; }
  // Moves the sheet to that page control (and makes it the sheet's parent).
  void SetPageControl(TPageControl* Value);
  Integer PageIndex() const;
  void SetPageIndex(Integer Value);
  bool TabVisible() const { return FTabVisible; }
  void SetTabVisible(bool Value);
  // The index among the visible tabs, -1 when the tab is hidden.
  Integer TabIndex() const;

 protected:
  void TextChanged() override;

 private:
  friend class TPageControl;
  TPageControl* FPageControl = nullptr;
  bool FTabVisible = true;
};

using TTabChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

class TPageControl : public TCustomControl {
 public:
  explicit TPageControl(TComponent* AOwner);
  ~TPageControl() override;
  Integer PageCount() const { return static_cast<Integer>(FPages.size()); }
  TTabSheet* Pages(Integer Index) const;
  TTabSheet* ActivePage() const { return FActivePage; }
  // Shows that sheet (its tab must be visible); no OnChanging or OnChange.
  void SetActivePage(TTabSheet* Page);
  Integer ActivePageIndex() const;
  void SetActivePageIndex(Integer Value);
  TTabSheet* FindNextPage(TTabSheet* CurPage, bool GoForward, bool CheckTabVisible);
  // Activates the next (or previous) page as a click on its tab would, with both events.
  void SelectNextPage(bool GoForward);
  // The area the sheets fill, in client coordinates.
  TRect DisplayRect();

  TNotifyEvent OnChange;
  TTabChangingEvent OnChanging;

 protected:
  void CreateWnd() override;
  void AdjustClientRect(TRect& Rect) override;
  void AlignControls(TControl* AControl, TRect& Rect) override;
  void Paint() override;
  void WMSize(TMessage& Message) override;
  bool CanChange();
  void Change();

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* Page);
  void RemovePage(TTabSheet* Page);
  void UpdateTabs();
  void ShowActive();
  void TabClicked(Integer TabIndex);
  std::vector<TTabSheet*> FPages;
  TTabSheet* FActivePage = nullptr;
  bool FSyncing = false;
};

enum TTrackBarOrientation { trHorizontal, trVertical };
enum TTickMark { tmBottomRight, tmTopLeft, tmBoth };
enum TTickStyle { tsNone, tsAuto, tsManual };

class TTrackBar : public TWinControl {
 public:
  explicit TTrackBar(TComponent* AOwner);
  Integer Min() const { return FMin; }
  void SetMin(Integer Value);
  Integer Max() const { return FMax; }
  void SetMax(Integer Value);
  Integer Position() const { return FPosition; }
  // Kept inside Min..Max; OnChange when it changes.
  void SetPosition(Integer Value);
  TTrackBarOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TTrackBarOrientation Value);
  Integer Frequency() const { return FFrequency; }
  void SetFrequency(Integer Value);
  Integer LineSize() const { return FLineSize; }
  void SetLineSize(Integer Value);
  Integer PageSize() const { return FPageSize; }
  void SetPageSize(Integer Value);
  TTickMark TickMarks() const { return FTickMarks; }
  void SetTickMarks(TTickMark Value);
  TTickStyle TickStyle() const { return FTickStyle; }
  void SetTickStyle(TTickStyle Value);

  TNotifyEvent OnChange;

 protected:
  void CreateWindowHandle(const TCreateParams& Params) override;
  void Dispatch(TMessage& Message) override;

 private:
  void SyncWidget();
  Integer FMin = 0, FMax = 10, FPosition = 0, FFrequency = 1, FLineSize = 1, FPageSize = 2;
  TTrackBarOrientation FOrientation = trHorizontal;
  TTickMark FTickMarks = tmBottomRight;
  TTickStyle FTickStyle = tsAuto;
  bool FSyncing = false;
};

enum TUDBtnType { btNext, btPrev };
enum TUDAlignButton { udLeft, udRight };
enum TUDOrientation { udHorizontal, udVertical };
enum TUpDownDirection { updNone, updUp, updDown };
using TUDClickEvent = std::function<void(TObject* Sender, TUDBtnType Button)>;
using TUDChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;
using TUDChangingEventEx =
    std::function<void(TObject* Sender, bool& AllowChange, int16_t NewValue, TUpDownDirection Direction)>;

// Two arrow buttons that step Position; with an Associate (an edit) it sits
// at the edit's side and shows the position in the edit.
class TUpDown : public TWinControl {
 public:
  explicit TUpDown(TComponent* AOwner);
  ~TUpDown() override;
  Integer Min() const { return FMin; }
  void SetMin(Integer Value);
  Integer Max() const { return FMax; }
  void SetMax(Integer Value);
  Integer Position() const { return FPosition; }
  void SetPosition(Integer Value);
  Integer Increment() const { return FIncrement; }
  void SetIncrement(Integer Value) { FIncrement = Value; }
  bool Wrap() const { return FWrap; }
  void SetWrap(bool Value) { FWrap = Value; }
  bool ArrowKeys() const { return FArrowKeys; }
  void SetArrowKeys(bool Value) { FArrowKeys = Value; }
  bool Thousands() const { return FThousands; }
  void SetThousands(bool Value);
  TUDOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TUDOrientation Value);
  TUDAlignButton AlignButton() const { return FAlignButton; }
  void SetAlignButton(TUDAlignButton Value);
  TWinControl* Associate() const { return FAssociate; }
  void SetAssociate(TWinControl* Value);
  // One step as a press of that button does: OnChanging, OnChangingEx, the move, OnClick.
  void Step(TUDBtnType Button);

  TUDClickEvent OnClick;
  TUDChangingEvent OnChanging;
  TUDChangingEventEx OnChangingEx;

 protected:
  void CreateWindowHandle(const TCreateParams& Params) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void UpdateAssociate();
  void PlaceBeside();
  WideString PositionText() const;
  Integer FMin = 0, FMax = 100, FPosition = 0, FIncrement = 1;
  bool FWrap = false, FArrowKeys = true, FThousands = true;
  TUDOrientation FOrientation = udVertical;
  TUDAlignButton FAlignButton = udRight;
  TWinControl* FAssociate = nullptr;
  TWndMethod FAssociateProc;  // the associate's own procedure, around which the arrow keys are caught
};
