// Vector objects that are composed through a work bitmap: translucent text
// against an outside compositing oracle, shadows and the area they claim,
// text along a curve, memos laid out by the text editor, and burning
// objects into pictures that are not 24-bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/kernels/ieblur.h"
#include "imaging/view/ievect.h"
#include "imaging/view/ietextcontrol.h"
#include "tests/imaging/view/view_test_util.h"
#include "tests/support/pnm.h"
#include "tests/support/pnm_bitmap.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace vect_compose_tests {

class VectCompose : public view_test::ViewTest {
 protected:
  TZiduzUvVect* MakeVect() {
    auto* v = MakeView<TZiduzUvVect>(200, 150);
    v->SetObjAntialias(false);
    return v;
  }
  // A picture whose pixels all differ from their neighbours.
  static void Pattern(TIEBitmap& B, Integer W, Integer H) {
    ASSERT_TRUE(B.Allocate(W, H, ie24RGB));
    for (Integer y = 0; y < H; ++y) {
      Byte* r = static_cast<Byte*>(B.GetScanline(y));
      for (Integer x = 0; x < W; ++x) {
        r[x * 3] = Byte(40 + x * 3);
        r[x * 3 + 1] = Byte(200 - y * 2);
        r[x * 3 + 2] = Byte((x * y) & 0xFF);
      }
    }
  }
  static void Fill(TIEBitmap& B, Integer W, Integer H, Byte V) {
    ASSERT_TRUE(B.Allocate(W, H, ie24RGB));
    for (Integer y = 0; y < H; ++y) std::memset(B.GetScanline(y), V, size_t(W) * 3);
  }
  static bool SameRows(TIEBitmap& A, TIEBitmap& B) {
    if (A.Width() != B.Width() || A.Height() != B.Height()) return false;
    for (Integer y = 0; y < A.Height(); ++y)
      if (std::memcmp(A.GetScanline(y), B.GetScanline(y), size_t(A.Width()) * 3) != 0) return false;
    return true;
  }
  // A text object of the template's font (a real face at a size that shows
  // antialiased edges).
  static TIEVectObject TextObject(TZiduzUvVect* V, const AnsiString& Text) {
    TIEVectObject o(*V->GetObj(IEV_TEMPLATE));
    o.Kind = vkText;
    o.X1 = 4, o.Y1 = 4, o.X2 = 76, o.Y2 = 40;
    o.Text = Text;
    o.PenStyle = psClear;
    o.BrushStyle = bsClear;
    o.Font->lfHeight = -24;
    return o;
  }
};

TEST_F(VectCompose, TranslucentTextMatchesAlphaCompositingOfTheOpaqueText) {
  ASSERT_EQ(gt_test::Shell("/usr/bin/python3 -c 'import PIL' 2>/dev/null"), 0) << "/usr/bin/python3 with PIL";
  TZiduzUvVect* v = MakeVect();
  v->SetObjAntialias(true);
  TIEVectObject o = TextObject(v, "Ag&W");
  o.PenColor = 0x2050C0;
  const Integer h = v->AddObject(o);

  // The text's coverage: drawn opaque, white on black.
  TIEBitmap cover;
  Fill(cover, 80, 44, 0);
  v->GetObj(h)->PenColor = 0xFFFFFF;
  v->DrawObjects(&cover, true, true, h, false);
  Integer partial = 0, full = 0;
  for (Integer y = 0; y < 44; ++y)
    for (Integer x = 0; x < 80; ++x) {
      const Byte c = static_cast<const Byte*>(cover.GetScanline(y))[x * 3];
      partial += c > 0 && c < 255;
      full += c == 255;
    }
  ASSERT_GT(full, 50);
  ASSERT_GT(partial, 10) << "the text should have soft edges for this check to mean much";

  // Ours: the same text at transparency 128 over the picture.
  TIEBitmap ours, picture;
  Pattern(picture, 80, 44);
  ours.AssignImage(&picture);
  v->GetObj(h)->PenColor = 0x2050C0;
  v->GetObj(h)->Transparency = 128;
  v->DrawObjects(&ours, true, true, h, false);

  // The oracle: a layer of the text colour whose alpha is the coverage at
  // half strength, composited over the picture.
  gt_test::TempDir dir("vectalpha");
  ASSERT_TRUE(gt_test::WritePnm(dir.File("pic.ppm"), picture));
  ASSERT_TRUE(gt_test::WritePnm(dir.File("cover.ppm"), cover));
  const std::string script =
      "from PIL import Image\n"
      "import sys\n"
      "d = sys.argv[1]\n"
      "pic = Image.open(d + '/pic.ppm').convert('RGBA')\n"
      "cov = Image.open(d + '/cover.ppm').convert('RGB').split()[0]\n"
      "layer = Image.new('RGBA', pic.size, (0xC0, 0x50, 0x20, 0))\n"
      "layer.putalpha(cov.point(lambda c: c * 128 // 255))\n"
      "Image.alpha_composite(pic, layer).convert('RGB').save(d + '/ref.ppm')\n";
  ASSERT_TRUE(gt_test::WriteFileBytes(dir.File("c.py"), std::vector<uint8_t>(script.begin(), script.end())));
  ASSERT_EQ(gt_test::Shell("/usr/bin/python3 " + dir.File("c.py") + " " + dir.Path), 0);
  gt_test::Pnm ref;
  ASSERT_TRUE(gt_test::ReadPnm(dir.File("ref.ppm"), ref));
  ASSERT_EQ(ref.Width, 80);
  Integer touched = 0;
  for (Integer y = 0; y < 44; ++y)
    for (Integer x = 0; x < 80; ++x) {
      const Byte* p = static_cast<const Byte*>(ours.GetScanline(y)) + x * 3;
      const Byte* q = static_cast<const Byte*>(picture.GetScanline(y)) + x * 3;
      touched += std::memcmp(p, q, 3) != 0;
      for (int k = 0; k < 3; ++k)
        ASSERT_NEAR(p[2 - k], ref.At(x, y, k), 2) << x << "," << y << " channel " << k;
    }
  EXPECT_GT(touched, full);

  // During a drag the same text is drawn straight and opaque.
  v->SetFastDrawing(true);
  TIEBitmap fast;
  fast.AssignImage(&picture);
  v->DrawObjects(&fast, true, true, h, false);
  bool solid = false;
  for (Integer y = 0; y < 44 && !solid; ++y)
    for (Integer x = 0; x < 80 && !solid; ++x) {
      const Byte* p = static_cast<const Byte*>(fast.GetScanline(y)) + x * 3;
      solid = p[0] == 0x20 && p[1] == 0x50 && p[2] == 0xC0;
    }
  EXPECT_TRUE(solid);
}

TEST_F(VectCompose, ShadowsExtendTheDrawnExtentByTheirMargin) {
  TZiduzUvVect* v = MakeVect();
  TIEVectObject o;
  o.Kind = vkBox;
  o.X1 = 40, o.Y1 = 30, o.X2 = 70, o.Y2 = 50;
  o.PenColor = 0;
  o.BrushColor = 0x00FFFF;
  o.BrushStyle = bsSolid;
  const Integer h = v->AddObject(o);
  TIEBitmap plain;
  Fill(plain, 140, 110, 255);
  v->DrawObjects(&plain, true, false, h, false);
  const TRect bare = v->GetObj(h)->DrawnExtent;
  ASSERT_EQ(bare, TRect(40, 30, 71, 51));

  struct Case {
    Integer OffsetX, OffsetY;
    double Radius;
  };
  for (const Case& c : {Case{4, 4, 3}, Case{0, 0, 0}, Case{-6, 2, 5}}) {
    SCOPED_TRACE(std::to_string(c.OffsetX) + "," + std::to_string(c.OffsetY) + " r" + std::to_string(c.Radius));
    TIEVSoftShadow s;
    s.Enabled = true;
    s.OffsetX = c.OffsetX, s.OffsetY = c.OffsetY;
    s.Radius = c.Radius;
    v->GetObj(h)->Shadow = s;
    TIEBitmap target;
    Fill(target, 140, 110, 255);
    v->DrawObjects(&target, true, false, h, false);
    // The margin the shadow routine reports for this object.
    TIEBitmap probe;
    Fill(probe, 4, 4, 0);
    const Integer m = IEAddSoftShadowRect(&probe, c.OffsetX, c.OffsetY, c.Radius, 100, TRGB{0, 0, 0}, 0, 0, 1, 1);
    const TRect ext = v->GetObj(h)->DrawnExtent;
    EXPECT_EQ(ext, TRect(bare.Left - m, bare.Top - m, bare.Right + m, bare.Bottom + m));
    // The object itself is drawn as before, and the shadow darkens
    // something outside it but nothing outside the extent.
    const Byte* mid = static_cast<const Byte*>(target.GetScanline(40)) + 55 * 3;
    EXPECT_TRUE(mid[0] == 0 && mid[1] == 0xFF && mid[2] == 0xFF);
    Integer shaded = 0;
    for (Integer y = 0; y < 110; ++y)
      for (Integer x = 0; x < 140; ++x) {
        const Byte* p = static_cast<const Byte*>(target.GetScanline(y)) + x * 3;
        const bool inside = x >= bare.Left && x <= bare.Right - 1 && y >= bare.Top && y <= bare.Bottom - 1;
        if (inside || (p[0] == 255 && p[1] == 255 && p[2] == 255)) continue;
        ++shaded;
        ASSERT_TRUE(x >= ext.Left && x <= ext.Right && y >= ext.Top && y <= ext.Bottom) << x << "," << y;
      }
    EXPECT_GT(shaded, 0);
  }
}

TEST(VectCurveText, CharactersSitAtMultiplesOfTheStep) {
  struct Case {
    std::vector<TIEVectDPoint> Points;
    Integer Chars, CharAngle;
    std::vector<TIECurveCharPlace> Expected;
  };
  const Case cases[] = {
      // 100 long, 4 characters: step 25, along x; the direction is 0 degrees.
      {{{0, 0}, {100, 0}}, 4, -10, {{0, 0, 0}, {25, 0, 0}, {50, 0, 0}, {75, 0, 0}}},
      // Two segments, the second going down: 60 + 40 = 100, step 33; the
      // third character lies 6 px down the second segment (270 degrees).
      {{{0, 0}, {60, 0}, {60, 40}}, 3, -10, {{0, 0, 0}, {33, 0, 0}, {60, 6, 2700}}},
      // Leftwards: 180 degrees; a fixed CharAngle wins over the direction.
      {{{50, 10}, {0, 10}}, 2, -10, {{50, 10, 1800}, {25, 10, 1800}}},
      {{{50, 10}, {0, 10}}, 2, 450, {{50, 10, 450}, {25, 10, 450}}},
      // Up and right at 45 degrees (screen y grows downwards): length 10
      // sqrt 2 = 14.14, step 7 for 2 characters.
      {{{0, 10}, {10, 0}}, 2, -10, {{0, 10, 450}, {7 / std::sqrt(2.0), 10 - 7 / std::sqrt(2.0), 450}}},
      // A curve too short for its characters puts them all at its start.
      {{{0, 0}, {3, 0}}, 5, -10, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
      // A curve that ends first places only what fits: 10 long, step 3, the
      // fourth at 9, and no more characters asked for.
      {{{0, 0}, {10, 0}}, 3, -10, {{0, 0, 0}, {3, 0, 0}, {6, 0, 0}}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const std::vector<TIECurveCharPlace> got = IEVectCurveTextPlaces(c.Points, c.Chars, c.CharAngle);
    ASSERT_EQ(got.size(), c.Expected.size()) << "case " << i;
    for (size_t k = 0; k < got.size(); ++k) {
      EXPECT_NEAR(got[k].X, c.Expected[k].X, 1e-9) << "case " << i << " char " << k;
      EXPECT_NEAR(got[k].Y, c.Expected[k].Y, 1e-9) << "case " << i << " char " << k;
      EXPECT_EQ(got[k].Escapement, c.Expected[k].Escapement) << "case " << i << " char " << k;
    }
  }
  EXPECT_TRUE(IEVectCurveTextPlaces({{0, 0}, {10, 0}}, 0, -10).empty());
  EXPECT_TRUE(IEVectCurveTextPlaces({}, 3, -10).empty());
}

TEST_F(VectCompose, CurvedTextIsDrawnAlongTheCurve) {
  TZiduzUvVect* v = MakeVect();
  TIEVectObject o = TextObject(v, "IIII");
  o.X1 = 10, o.Y1 = 10, o.X2 = 110, o.Y2 = 70;
  o.Font->lfHeight = -14;
  // A vertical curve down the box's middle: every character lands on x = 60.
  o.CurvePoints = {{0.5, 0.2}, {0.5, 1.0}};
  o.CharAngle = 0;
  const Integer h = v->AddObject(o);
  TIEBitmap target;
  Fill(target, 130, 90, 255);
  v->DrawObjects(&target, true, false, h, false);
  Integer left = 1000, right = -1, top = 1000, bottom = -1;
  for (Integer y = 0; y < 90; ++y)
    for (Integer x = 0; x < 130; ++x)
      if (static_cast<const Byte*>(target.GetScanline(y))[x * 3] < 128) {
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
  // Ink in a narrow column round x = 60, from above the first base line
  // (y = 22) to the last one (y = 22 + 3 x 12).
  ASSERT_GE(right, 0);
  EXPECT_GE(left, 54);
  EXPECT_LE(right, 66);
  EXPECT_LT(top, 22);
  EXPECT_GT(bottom, 50);
  EXPECT_LE(bottom, 60);
  const TRect ext = v->GetObj(h)->DrawnExtent;
  EXPECT_LE(ext.Left, left);
  EXPECT_GE(ext.Right, right);
  EXPECT_LE(ext.Top, top);
  EXPECT_GE(ext.Bottom, bottom);
}

TEST_F(VectCompose, MemosDrawLikeTheTextEditorWithTheSameSettings) {
  TZiduzUvVect* v = MakeVect();
  TIEVectObject o(*v->GetObj(IEV_TEMPLATE));
  o.Kind = vkMemo;
  o.X1 = 6, o.Y1 = 5, o.X2 = 105, o.Y2 = 64;
  o.Text = "one two three four five six seven";
  o.PenColor = 0x103070;
  o.BrushColor = 0xE0F0FF;
  o.BrushStyle = bsSolid;
  o.MemoBackStyle = bsClear;
  o.TextAlign = 2;
  o.MemoBorderColor = 0x0000FF;
  o.MemoBorderStyle = psSolid;
  o.MemoMargins[0] = 3, o.MemoMargins[1] = 2;
  o.Font->lfHeight = -13;
  // Two formats: the second bold and green, on the word "two".
  TIETextFormat f1, f2;
  f1.SetFontName("DejaVu Sans");
  f1.Height = -13;
  f1.Color = 0x103070;
  f1.RefCount = Integer(o.Text.size()) - 3;
  f2 = f1;
  f2.Style = ietfBold;
  f2.Color = 0x008000;
  f2.RefCount = 3;
  o.MemoFormats = {f1, f2};
  o.MemoCharFormats.assign(o.Text.size(), 0);
  for (size_t i = 4; i < 7; ++i) o.MemoCharFormats[i] = 1;
  o.MemoSingleFormat = false;
  const Integer h = v->AddObject(o);
  const TIEVectObject before = *v->GetObj(h);
  SetPicture(v, 120, 80);

  for (Integer zoom : {100, 200}) {
    SCOPED_TRACE(zoom);
    TIEBitmap ours, theirs;
    Fill(ours, 240, 160, 255);
    Fill(theirs, 240, 160, 255);
    v->SetZoom(zoom);
    TIEVectObject* m = v->GetObj(h);
    // Drawn on the view's terms at its zoom (image origin at the client's
    // corner is not assumed: the editor gets the same mapped corner).
    v->DrawObjects(&ours, zoom == 100, false, h, false);
    const double z = zoom / 100.0;
    const Integer cx = zoom == 100 ? m->X1 : v->ImageToClientX(m->X1);
    const Integer cy = zoom == 100 ? m->Y1 : v->ImageToClientY(m->Y1);

    AnsiString text = before.Text;
    TIETextFormatList formats = before.MemoFormats;
    std::vector<Integer> charFormats = before.MemoCharFormats;
    TIETextControl tc(nullptr);
    tc.Text = &text;
    tc.Formats = &formats;
    tc.CharFormats = &charFormats;
    tc.Zoom = z;
    tc.MarginLeft = 3, tc.MarginTop = 2;
    tc.Font()->SetName(u"Arial");
    tc.Font()->SetHeight(-13);
    tc.Font()->SetColor(0x103070);
    tc.TextBrush()->SetColor(0xE0F0FF);
    tc.TextBrush()->SetStyle(bsClear);
    tc.Alignment = 2;
    tc.BackgroundBrush()->SetColor(0xE0F0FF);
    tc.BackgroundBrush()->SetStyle(bsSolid);
    tc.SetSingleFormat(false);
    tc.BorderPen()->SetColor(0x0000FF);
    tc.BorderPen()->SetStyle(psSolid);
    tc.Init();
    {
      TIECanvas c(theirs.GetCanvas(), false, false);
      tc.DrawTo(&c, cx, cy, 100, 60);
    }
    tc.Text = nullptr, tc.Formats = nullptr, tc.CharFormats = nullptr;
    EXPECT_TRUE(SameRows(ours, theirs));
    // Something was drawn: the background, the border and two text colours.
    bool bg = false, green = false;
    for (Integer y = 0; y < 160; ++y)
      for (Integer x = 0; x < 240; ++x) {
        const Byte* p = static_cast<const Byte*>(ours.GetScanline(y)) + x * 3;
        bg |= p[0] == 0xE0 && p[1] == 0xF0 && p[2] == 0xFF;
        green |= p[0] < 0x40 && p[1] > 0x60 && p[2] < 0x40;
      }
    EXPECT_TRUE(bg);
    EXPECT_TRUE(green);
    // Drawing changed nothing of the object.
    EXPECT_EQ(m->Text, before.Text);
    EXPECT_EQ(m->MemoCharFormats, before.MemoCharFormats);
    ASSERT_EQ(m->MemoFormats.size(), 2u);
    EXPECT_TRUE(m->MemoFormats[1].SameFormat(before.MemoFormats[1]));
  }
}

TEST_F(VectCompose, BurningIntoAPalettedPictureKeepsEverythingOutsideTheObjects) {
  TZiduzUvVect* v = MakeVect();
  TIEVectObject line;
  line.Kind = vkLine;
  line.X1 = 3, line.Y1 = 20, line.X2 = 40, line.Y2 = 4;
  line.PenColor = 0x0000FF;  // red: not in the palette below
  line.PenWidth = 2;
  v->AddObject(line);
  TIEVectObject box;
  box.Kind = vkBox;
  box.X1 = 30, box.Y1 = 14, box.X2 = 46, box.Y2 = 27;
  box.PenColor = 0xFF0000;  // blue: in the palette
  v->AddObject(box);

  TIEBitmap pal;
  ASSERT_TRUE(pal.Allocate(50, 30, ie8p));
  for (Integer i = 0; i < 6; ++i) pal.SetPaletteColor(i, TRGB{Byte(i * 40), Byte(250 - i * 40), Byte(i * 11)});
  pal.SetPaletteColor(6, TRGB{255, 0, 0});
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 50; ++x) static_cast<Byte*>(pal.GetScanline(y))[x] = Byte((x * 3 + y) % 6);
  TIEBitmap original;
  original.AssignImage(&pal);
  v->DrawObjectsOnBitmap(&pal, false, IEV_ALL);
  ASSERT_EQ(pal.PixelFormat(), ie8p);
  TRect any(1000, 1000, -1000, -1000);
  for (Integer h : {0, 1}) {
    const TRect& e = v->GetObj(h)->DrawnExtent;
    const Integer g = v->GetObj(h)->DrawnPenWidth;
    any = TRect(std::min(any.Left, e.Left - g), std::min(any.Top, e.Top - g), std::max(any.Right, e.Right + g),
                std::max(any.Bottom, e.Bottom + g));
  }
  Integer changed = 0;
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 50; ++x) {
      const Byte a = static_cast<const Byte*>(pal.GetScanline(y))[x];
      const Byte b = static_cast<const Byte*>(original.GetScanline(y))[x];
      if (a == b) continue;
      ++changed;
      EXPECT_TRUE(x >= any.Left && x <= any.Right && y >= any.Top && y <= any.Bottom) << x << "," << y;
    }
  EXPECT_GT(changed, 20);
  // Red was not in the palette: it took a free entry of the black tail,
  // exactly, and the entries the picture defines are as they were.
  TRGB red;
  pal.GetPaletteColor(static_cast<const Byte*>(pal.GetScanline(20))[3], red);
  EXPECT_TRUE(red.r == 255 && red.g == 0 && red.b == 0) << int(red.r) << "," << int(red.g) << "," << int(red.b);
  for (Integer i = 0; i < 7; ++i) {
    TRGB a, b;
    pal.GetPaletteColor(i, a);
    original.GetPaletteColor(i, b);
    EXPECT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b) << i;
  }
  // The box's corner is the palette's blue entry.
  TRGB c;
  pal.GetPaletteColor(static_cast<const Byte*>(pal.GetScanline(14))[46], c);
  EXPECT_EQ(static_cast<const Byte*>(pal.GetScanline(14))[46], 6) << int(c.r) << "," << int(c.g) << "," << int(c.b);
}

}  // namespace vect_compose_tests
