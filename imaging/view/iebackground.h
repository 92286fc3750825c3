// The background painter shared by the image views and the thumbnail grid:
// plain, hatched, chessboard, gradient, framed and shadowed backgrounds with
// an optional wallpaper, plus the small overlays the view draws on top (the
// version text and the selection grid).
#pragma once

#include "platform/base/components.h"
#include "platform/base/types.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/graphic.h"

enum TIEBackgroundStyle : Byte {
  iebsSolid,
  iebsHorizontal,
  iebsVertical,
  iebsFDiagonal,
  iebsBDiagonal,
  iebsCross,
  iebsDiagCross,
  iebsChessboard,
  iebsDiagonals,
  iebsCropped,
  iebsCropShadow,
  iebsGradient,
  iebsSoftShadow,
  iebsPhotoLike,
};

enum TIEWallPaperStyle : Byte { iewoNormal, iewoStretch, iewoTile };

// Paints Style over the area (Left, Top, Width, Height) and then the
// wallpaper. The image rectangle (ImgX1, ImgY1)-(ImgX2, ImgY2), right and
// bottom exclusive, is where the picture will lie; all zero when there is
// none. Bitmap, when given, is the target the canvas draws into (the view's
// back buffer): a 24-bit one lets the solid chessboard be written straight
// into its rows and carries the shadows. With a null Canvas the bitmap's
// own canvas is used. The canvas's pen, brush and font are left as found.
//
// Between hatch lines lies white, and between the lines of a hatched
// chessboard the complement of Color, never what the target held before.
// The complement of a colour is its bitwise complement taken as a plain RGB
// value (so clBtnFace, 0xFF00000F, gives 0x00FFFFF0, and black gives white).
// A chessboard size below 1 counts as 1.
void IEDrawBackground(const TComponentState& State, TCanvas* Canvas, TBitmap* Bitmap, TIEBackgroundStyle Style,
                      TColor Color, Integer Left, Integer Top, Integer Width, Integer Height, Integer ImgX1,
                      Integer ImgY1, Integer ImgX2, Integer ImgY2, Integer ChessboardSize,
                      TBrushStyle ChessboardBrushStyle, TColor GradientEndColor, TPicture* WallPaper,
                      TIEWallPaperStyle WallPaperStyle);

// The version string of the view component.
inline constexpr const char16_t* IEZiduzUvVersion = u"3.0.4";
// "ZiduzUv Version <Version> - 26/9/2009".
WideString IEVersionText(const WideString& Version = IEZiduzUvVersion);
// Writes the version text in Arial of height 13, black on white, with its
// right edge at ViewWidth and its bottom at ViewHeight.
void IEDrawVersionText(TCanvas* Canvas, Integer ViewWidth, Integer ViewHeight,
                       const WideString& Version = IEZiduzUvVersion);

// With GridDivisions above 1, divides the rectangle (corners in any order)
// by GridDivisions - 1 horizontal and as many vertical lines in 0xA0A0A0.
void IEDrawGrid(TCanvas* Canvas, Integer GridDivisions, Integer X1, Integer Y1, Integer X2, Integer Y2);
