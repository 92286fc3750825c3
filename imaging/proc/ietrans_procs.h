// The step procedures of the transition table, by family: block transfers
// (copies and stretches of rectangles), bands and grids, and shapes. Each
// draws what its Percent adds on the retained frame of Canvas.
#pragma once

#include "imaging/view/ietransitions.h"

class TCanvas;
struct HRGN__;
using HRGN = HRGN__*;

#define IE_TRANSITION_PROC(Name) \
  void Name(TCanvas* Canvas, TBitmap* FromBitmap, TBitmap* ToBitmap, const TRect& Rect, Integer Density, Integer Percent)

// Block transfers.
IE_TRANSITION_PROC(ExpandFromLeft);
IE_TRANSITION_PROC(ExpandFromRight);
IE_TRANSITION_PROC(ExpandFromTop);
IE_TRANSITION_PROC(ExpandFromBottom);
IE_TRANSITION_PROC(ExpandFromTopLeft);
IE_TRANSITION_PROC(ExpandFromTopRight);
IE_TRANSITION_PROC(ExpandFromBottomLeft);
IE_TRANSITION_PROC(ExpandFromBottomRight);
IE_TRANSITION_PROC(ExpandInFromLeft);
IE_TRANSITION_PROC(ExpandInFromRight);
IE_TRANSITION_PROC(ExpandInFromTop);
IE_TRANSITION_PROC(ExpandInFromBottom);
IE_TRANSITION_PROC(ExpandInToVerticalCenter);
IE_TRANSITION_PROC(ExpandInToHorizon);
IE_TRANSITION_PROC(ExpandInFromSides);
IE_TRANSITION_PROC(ExpandInFromTopAndBottom);
IE_TRANSITION_PROC(ExpandOutFromHorizon);
IE_TRANSITION_PROC(ExpandOutFromVerticalCenter);
IE_TRANSITION_PROC(WipeFromTopLeft);
IE_TRANSITION_PROC(WipeFromTopRight);
IE_TRANSITION_PROC(WipeFromBottomLeft);
IE_TRANSITION_PROC(WipeFromBottomRight);
IE_TRANSITION_PROC(WipeInFromTopAndBottom);
IE_TRANSITION_PROC(WipeFromHorizon);
IE_TRANSITION_PROC(WipeInFromSides);
IE_TRANSITION_PROC(WipeOutFromVerticalCenter);
IE_TRANSITION_PROC(BuildUpFromLeft);
IE_TRANSITION_PROC(BuildUpFromRight);
IE_TRANSITION_PROC(BuildUpFromTop);
IE_TRANSITION_PROC(BuildUpFromBottom);
IE_TRANSITION_PROC(UnrollFromLeft);
IE_TRANSITION_PROC(UnrollFromRight);
IE_TRANSITION_PROC(UnrollFromTop);
IE_TRANSITION_PROC(UnrollFromBottom);
IE_TRANSITION_PROC(SlideInFromLeft);
IE_TRANSITION_PROC(SlideInFromRight);
IE_TRANSITION_PROC(SlideInFromTop);
IE_TRANSITION_PROC(SlideInFromBottom);
IE_TRANSITION_PROC(ShrinkToTopLeft);
IE_TRANSITION_PROC(ShrinkToTopRight);
IE_TRANSITION_PROC(ShrinkToBottomLeft);
IE_TRANSITION_PROC(ShrinkToBottomRight);
IE_TRANSITION_PROC(ShrinkToCenter);
IE_TRANSITION_PROC(QuartersWipeInToCenter);
IE_TRANSITION_PROC(QuartersExpandToCenter);
IE_TRANSITION_PROC(QuartersSlideInToCenter);
IE_TRANSITION_PROC(PushLeftAndSlideOut);
IE_TRANSITION_PROC(PushRightAndSlideOut);
IE_TRANSITION_PROC(PushUpAndSlideOut);
IE_TRANSITION_PROC(PushDownAndSlideOut);
IE_TRANSITION_PROC(PushAndSqueezeLeft);
IE_TRANSITION_PROC(PushAndSqueezeRight);
IE_TRANSITION_PROC(PushAndSqueezeUp);
IE_TRANSITION_PROC(PushAndSqueezeDown);
IE_TRANSITION_PROC(PageFlipEffect);
IE_TRANSITION_PROC(PageFlipEffect2);

// Bands and grids through clipping regions.
IE_TRANSITION_PROC(BarsInFromLeft);
IE_TRANSITION_PROC(BarsInFromRight);
IE_TRANSITION_PROC(BarsFromTop);
IE_TRANSITION_PROC(BarsFromBottom);
IE_TRANSITION_PROC(BarsLeftThenRight);
IE_TRANSITION_PROC(BarsRightThenLeft);
IE_TRANSITION_PROC(BarsTopThenBottom);
IE_TRANSITION_PROC(BarsBottomThenTop);
IE_TRANSITION_PROC(BarsFrombothSides);
IE_TRANSITION_PROC(BarsFromTopAndBottom);
IE_TRANSITION_PROC(ShreddedFromLeft);
IE_TRANSITION_PROC(ShreddedFromRight);
IE_TRANSITION_PROC(ShreddedFromTop);
IE_TRANSITION_PROC(ShreddedFromBottom);
IE_TRANSITION_PROC(ShreddedFromTopAndLeft);
IE_TRANSITION_PROC(ShreddedFromTopAndRight);
IE_TRANSITION_PROC(ShreddedFromBottomAndLeft);
IE_TRANSITION_PROC(ShreddedFromBottomAndRight);
IE_TRANSITION_PROC(ShreddedFromHorizonAndLeft);
IE_TRANSITION_PROC(ShreddedFromHorizonAndRight);
IE_TRANSITION_PROC(ShreddedFromTopAndVerticalCenter);
IE_TRANSITION_PROC(ShreddedFromBottomAndVerticalCenter);
IE_TRANSITION_PROC(ShreddedFromCenter);
IE_TRANSITION_PROC(ShreddedToCenter);
IE_TRANSITION_PROC(ShreddedInToHorizon);
IE_TRANSITION_PROC(ShreddedInToVerticalCenter);
IE_TRANSITION_PROC(ShreddedOutFromHorizon);
IE_TRANSITION_PROC(ShreddedOutFromVerticalCenter);
IE_TRANSITION_PROC(CrisscrossWipeFromTopLeft);
IE_TRANSITION_PROC(CrisscrossWipeFromTopRight);
IE_TRANSITION_PROC(CrisscrossWipeFromBottomLeft);
IE_TRANSITION_PROC(CrisscrossWipeFromBottomRight);
IE_TRANSITION_PROC(CrisscrossWipeBounceFromTopLeft);
IE_TRANSITION_PROC(CrisscrossWipeBounceFromTopRight);
IE_TRANSITION_PROC(CrisscrossWipeBounceFromBottomLeft);
IE_TRANSITION_PROC(CrisscrossWipeBounceFromBottomRight);
IE_TRANSITION_PROC(CrisscrossWipeFromLeftRightAndTop);
IE_TRANSITION_PROC(CrisscrossWipeFromLeftRightAndBottom);
IE_TRANSITION_PROC(CrisscrossWipeFromLeftTopAndBottom);
IE_TRANSITION_PROC(CrisscrossWipeFromTopLeftRightAndBottom);
IE_TRANSITION_PROC(CrisscrossWipeFromRightTopAndBottom);
IE_TRANSITION_PROC(SpeckledWipeFromLeft);
IE_TRANSITION_PROC(SpeckledWipeFromRight);
IE_TRANSITION_PROC(SpeckledWipeFromTop);
IE_TRANSITION_PROC(SpeckledWipeFromBottom);
IE_TRANSITION_PROC(CrisscrossWipeFromBottomLeftTopRight);
IE_TRANSITION_PROC(HorizontalBlinds);
IE_TRANSITION_PROC(VerticalBlinds);
IE_TRANSITION_PROC(UnevenBlindsFromLeft);
IE_TRANSITION_PROC(UnevenBlindsFromRight);
IE_TRANSITION_PROC(UnevenBlindsFromTop);
IE_TRANSITION_PROC(UnevenBlindsFromBottom);
IE_TRANSITION_PROC(RectanglesFromTheLeft);
IE_TRANSITION_PROC(RectanglesFromTheRight);
IE_TRANSITION_PROC(RectanglesFromTheTop);
IE_TRANSITION_PROC(RectanglesFromTheBottom);
IE_TRANSITION_PROC(ExpandingRectangles);
IE_TRANSITION_PROC(ExpandingTriangles);
IE_TRANSITION_PROC(ExpandingCircles);
IE_TRANSITION_PROC(ExpandingDiamonds);
IE_TRANSITION_PROC(RandomBigBoxesEffect);

// Shapes through clipping regions.
IE_TRANSITION_PROC(CurvedWipeFromLeft);
IE_TRANSITION_PROC(CurvedWipeFromRight);
IE_TRANSITION_PROC(CurvedWipeFromTop);
IE_TRANSITION_PROC(CurvedWipeFromBottom);
IE_TRANSITION_PROC(CurvedWipeFromTopLeft);
IE_TRANSITION_PROC(CurvedWipeFromTopRight);
IE_TRANSITION_PROC(CurvedWipeFromBottomLeft);
IE_TRANSITION_PROC(CurvedWipeFromBottomRight);
IE_TRANSITION_PROC(CircularWipeFromCenter);
IE_TRANSITION_PROC(CircularWipeToCenter);
IE_TRANSITION_PROC(WipeDiagonalFromTopLeft);
IE_TRANSITION_PROC(WipeDiagonalFromTopRight);
IE_TRANSITION_PROC(WipeDiagonalFromBottomLeft);
IE_TRANSITION_PROC(WipeDiagonalFromBottomRight);
IE_TRANSITION_PROC(DiagonalSweepClockwise);
IE_TRANSITION_PROC(DiagonalSweepCounterClockwise);
IE_TRANSITION_PROC(SweepClockwise);
IE_TRANSITION_PROC(SweepCounterClockwise);
IE_TRANSITION_PROC(StarburstClockwiseFromCenter);
IE_TRANSITION_PROC(StarburstCounterClockwiseFromCenter);
IE_TRANSITION_PROC(RotationalRectangle);
IE_TRANSITION_PROC(RotationalRectangleCounterClockwise);
IE_TRANSITION_PROC(RotationalStar);
IE_TRANSITION_PROC(RotationalStarCounterClockwise);
IE_TRANSITION_PROC(SpirallingRectangleClockwise);
IE_TRANSITION_PROC(SpirallingRectangleCounterClockwise);
IE_TRANSITION_PROC(ArrowWipeFromLeft);
IE_TRANSITION_PROC(ArrowWipeFromRight);
IE_TRANSITION_PROC(ArrowWipeFromTop);
IE_TRANSITION_PROC(ArrowWipeFromBottom);
IE_TRANSITION_PROC(HorizontalBowTieWipe);
IE_TRANSITION_PROC(VerticalBowTieWipe);
IE_TRANSITION_PROC(DiagonalCrossFromCenter);
IE_TRANSITION_PROC(DiagonalCrossToCenter);
IE_TRANSITION_PROC(ZigzagWipeFromHorizon);
IE_TRANSITION_PROC(ZigzagWipeFromVerticalCenter);
IE_TRANSITION_PROC(DiamondWipeFromCenter);
IE_TRANSITION_PROC(DiamondWipeToCenter);
IE_TRANSITION_PROC(DiagonalBoxWipe);
IE_TRANSITION_PROC(TriangularWipeEffect);
// A fan from (CX, CY): Count points on the arc from StartAngle, one step
// short of EndAngle (angles clockwise on the screen); Count 0 covers nothing.
HRGN PieRegion(Integer CX, Integer CY, Integer Radius, long double StartAngle, long double EndAngle, Integer Count);

// Draws the Source area (left, top, right, bottom) of Bitmap, cut to the
// bitmap, scaled into Dest; a mirrored axis swaps the destination's edges
// (Left := Right + 1, Right := Left - 1), a negative extent.
void StretchDrawRect(TCanvas* Canvas, TRect Dest, TBitmap* Bitmap, TRect Source, bool MirrorH, bool MirrorV);
