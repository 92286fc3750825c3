// The last small controls of the class library: the speed button (a flat
// tool button with a glyph, grouped like radio buttons), the static text
// (a windowed label), the scroll box (children beyond its client area
// reached through its own scroll bars), the progress bar and the list of a
// folder's files matching a mask.
#pragma once

#include <memory>

#include "platform/graphics/bitmap.h"
#include "platform/ui/controls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

// ---------------------------------------------------------------- TSpeedButton

class TSpeedButton : public TGraphicControl {
 public:
  explicit TSpeedButton(TComponent* AOwner);
  ~TSpeedButton() override;
  bool Flat() const { return FFlat; }
  void SetFlat(bool Value);
  // Buttons of one parent with the same non-zero index are down one at a
  // time; AllowAllUp lets a click raise the one that is down.
  Integer GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(Integer Value) { FGroupIndex = Value; }
  bool AllowAllUp() const { return FAllowAllUp; }
  void SetAllowAllUp(bool Value) { FAllowAllUp = Value; }
  // Only a grouped button stays down; setting it raises the others of its group.
  bool Down() const { return FDown; }
  void SetDown(bool Value);
  // Drawn transparent where it has the colour of its bottom-left pixel.
  TBitmap* Glyph() const { return FGlyph.get(); }
  void SetGlyph(TBitmap* Value);
  void Click() override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void Dispatch(TMessage& Message) override;

 private:
  std::unique_ptr<TBitmap> FGlyph;
  bool FFlat = false;
  Integer FGroupIndex = 0;
  bool FAllowAllUp = false;
  bool FDown = false;
  bool FPressed = false;  // the left button went down on the button and is held
  bool FMouseInControl = false;
};

// ---------------------------------------------------------------- TStaticText

enum TStaticBorderStyle { sbsNone, sbsSingle, sbsSunken };

// A windowed label. CR, LF or both break lines; AutoSize makes the control
// as wide as the widest line and as high as the lines.
class TStaticText : public TCustomControl {
 public:
  explicit TStaticText(TComponent* AOwner);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  TStaticBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TStaticBorderStyle Value);

 protected:
  void Paint() override;
  void TextChanged() override;
  void FontChanged() override;
  void AdjustBounds();

 private:
  bool FAutoSize = true;
  TAlignment FAlignment = taLeftJustify;
  TStaticBorderStyle FBorderStyle = sbsNone;
};

// ---------------------------------------------------------------- TScrollBox

// A scrolling control for child controls, with the scroll bars of the
// scrolling base.
class TScrollBox : public TScrollingWinControl {
 public:
  explicit TScrollBox(TComponent* AOwner);
};

// ---------------------------------------------------------------- TProgressBar

enum TProgressBarOrientation { pbHorizontal, pbVertical };

class TProgressBar : public TCustomControl {
 public:
  explicit TProgressBar(TComponent* AOwner);
  Integer Min() const { return FMin; }
  Integer Max() const { return FMax; }
  void SetMin(Integer Value) { SetRange(Value, FMax); }
  void SetMax(Integer Value) { SetRange(FMin, Value); }
  // Max below Min is taken as Min; the position is kept inside the range.
  void SetRange(Integer AMin, Integer AMax);
  Integer Position() const { return FPosition; }
  void SetPosition(Integer Value);
  Integer Step() const { return FStep; }
  void SetStep(Integer Value) { FStep = Value; }
  void StepIt() { SetPosition(FPosition + FStep); }
  void StepBy(Integer Delta) { SetPosition(FPosition + Delta); }
  bool Smooth() const { return FSmooth; }
  void SetSmooth(bool Value);
  TProgressBarOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TProgressBarOrientation Value);

 protected:
  void Paint() override;

 private:
  Integer FMin = 0, FMax = 100, FPosition = 0, FStep = 10;
  bool FSmooth = false;
  TProgressBarOrientation FOrientation = pbHorizontal;
};

// ---------------------------------------------------------------- TFileListBox

// The files (not folders) of Directory whose names match Mask: ";"
// separated patterns of "*" and "?", case ignored. Sorted by name, case ignored.
class TFileListBox : public TListBox {
 public:
  explicit TFileListBox(TComponent* AOwner);
  const WideString& Directory() const { return FDirectory; }
  void SetDirectory(const WideString& Value);
  const WideString& Mask() const { return FMask; }
  void SetMask(const WideString& Value);
  // Directory and the selected name; empty without a selection.
  WideString FileName() const;
  // Reads the folder again (setting Directory or Mask does it too).
  void ReadFileNames();

 private:
  WideString FDirectory;
  WideString FMask = u"*.*";
};

// Whether Name matches one of Mask's ";"-separated patterns ("*", "?"),
// case ignored; "*.*" matches names without a dot too.
bool GtFileMaskMatches(const WideString& Name, const WideString& Mask);
