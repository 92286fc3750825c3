// Geometry shared by the views, the vector objects and the processing unit
// (angles, polygons, hit distances, Bezier sampling, size fitting) and small
// drawing routines (3-D frames, shading outside a rectangle, grey colour tables).
// Coordinates are pixels with y growing downwards.
#pragma once

#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/windef.h"

class TIECanvas;
class TIEBitmap;

// Angle between the directions P1->P2 and P2->P3, 0..pi; 0 for a zero-length
// segment or a non-finite cosine.
double IEAngleBetweenSegments(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3);
// Direction P1->P2 counter-clockwise on screen (up is pi/2), 0..2 pi.
double IELineAngle(Integer X1, Integer Y1, Integer X2, Integer Y2);
// Angle at P1 by the law of cosines; 2 pi minus it when the turn P0, P1, P2 is -1.
double IEVertexAngle(Integer X0, Integer Y0, Integer X1, Integer Y1, Integer X2, Integer Y2);
// 1 / -1 by the sign of the cross product; for collinear points -1 when P1 and
// P2 lie on opposite sides of P0, 1 when P1 is nearer P0 than P2, else 0.
Integer IETurnDirection(Integer X0, Integer Y0, Integer X1, Integer Y1, Integer X2, Integer Y2);
double IEArcCos(double X);
// Arc tangent of Y / X in the proper quadrant.
double IEArcTan2(double X, double Y);
// Rotates points 0..LastIndex in place around (CX, CY) by Angle degrees.
void IERotatePoints(TPoint* Points, Integer LastIndex, Integer CX, Integer CY, double Angle);
// Even-odd rule; edge from the last point back to the first included.
bool IEPointInPolygon(Integer X, Integer Y, const TPoint* Points, Integer LastIndex);
bool IEPointInZoomedPolygon(Integer X, Integer Y, const TPoint* Points, Integer Count, Integer SrcX, Integer SrcY,
                            Integer DstX, Integer DstY, double ZoomX, double ZoomY);
// Distances to a rectangle or ellipse outline (or area when Filled) for pens
// of the given width; 2147483647 for a negative width.
double IEDistanceToRectangle(Integer X, Integer Y, Integer Left, Integer Top, Integer Right, Integer Bottom,
                             bool Filled, Integer PenWidth);
double IEDistanceToEllipse(Integer X, Integer Y, Integer Left, Integer Top, Integer Right, Integer Bottom,
                           bool Filled, Integer PenWidth);
// Count points of the cubic curve for t = 1/Count .. 1 (P0 itself excluded).
void IECubicBezier(const TPoint& P0, const TPoint& P1, const TPoint& P2, const TPoint& P3, std::vector<TPoint>& Points,
                   Integer Count);
// Scales (Width, Height) to fit the box keeping the ratio (may enlarge).
void IEFitSizeInBox(Integer Width, Integer Height, Integer MaxWidth, Integer MaxHeight, Integer& NewWidth,
                    Integer& NewHeight);
void IEIncludePointInRect(TRect& Rect, Integer X, Integer Y);

void IEDraw3DRect(TCanvas* Canvas, Integer X1, Integer Y1, Integer X2, Integer Y2, TColor Color1, TColor Color2);
void IEDraw3DRectGdiPlus(TIECanvas* Canvas, Integer X1, Integer Y1, Integer X2, Integer Y2, TColor Color1,
                         TColor Color2);
// Darkens everything of (X, Y, Width, Height) outside the inner rectangle.
void IEShadeOutsideRect(TCanvas* Canvas, Integer X, Integer Y, Integer Width, Integer Height, Integer InnerLeft,
                        Integer InnerTop, Integer InnerRight, Integer InnerBottom);

void IESetGrayColorTable(TBitmap* Bitmap);
bool IEIsGrayColorTable(TBitmap* Bitmap);
void IECopyDIBColorTable(TBitmap* Bitmap, TIEBitmap* Dest);

// Entry i = Round(64 - cos(i x pi / 255) x 64): 0 at 0 rising to 128 at 255,
// the curve of blend operation 29. Filled by IEBuildCosineTable, which the
// library's start-up runs once.
extern Byte IECosineTable[256];
void IEBuildCosineTable();
