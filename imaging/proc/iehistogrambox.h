// A control showing the red, green, blue and gray histogram of the picture
// of an attached image processor, as bars or lines, with optional value
// labels, axes and a colour ramp, composed into an off-screen bitmap.
#pragma once

#include <memory>

#include "platform/ui/controls.h"

class TBitmap;
class TZiduzUvProc;

enum THistogramKindItem { hkRed, hkGreen, hkBlue, hkGray };
using THistogramKind = TEnumSet<THistogramKindItem>;
enum THistogramLabel { hlVertical, hlHorizontal };
using THistogramLabels = TEnumSet<THistogramLabel>;
enum THistogramStyle { hsBars, hsLines };

class THistogramBox : public TCustomControl {
 public:
  explicit THistogramBox(TComponent* AOwner);
  ~THistogramBox() override;

  TZiduzUvProc* AttachedZiduzUvProc() const { return FProc; }
  // Not recomposed until the next Update.
  void SetAttachedZiduzUvProc(TZiduzUvProc* Value);
  TColor Background() const { return FBackground; }
  void SetBackground(TColor Value);
  THistogramKind HistogramKind() const { return FKind; }
  void SetHistogramKind(THistogramKind Value);
  THistogramLabels Labels() const { return FLabels; }
  void SetLabels(THistogramLabels Value);
  bool CompBar() const { return FCompBar; }
  void SetCompBar(bool Value);
  THistogramStyle HistogramStyle() const { return FStyle; }
  void SetHistogramStyle(THistogramStyle Value);
  TColor GrayColor() const { return FGrayColor; }
  // Shows with the next Update.
  void SetGrayColor(TColor Value) { FGrayColor = Value; }
  // Recomposes the off-screen picture and invalidates the control.
  void Update() override;
  TBitmap* Bitmap() const { return FBitmap.get(); }
  void SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) override;

 protected:
  void Paint() override;
  void WMEraseBkgnd(TMessage& Message) override;
  void Resize() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void FollowSize();
  std::unique_ptr<TBitmap> FBitmap;
  TZiduzUvProc* FProc = nullptr;
  TColor FBackground;
  THistogramKind FKind{hkGray};
  THistogramLabels FLabels{hlVertical, hlHorizontal};
  bool FCompBar = true;
  THistogramStyle FStyle = hsBars;
  TColor FGrayColor;
};
