// The GIF codec: frames of hand-built files read with the indexes Pillow
// reads and the graphic control values giftext reports, comments, damaged
// and hostile files, the writer's palette and transparency read back by
// Pillow and gifsicle, frame removal, and animations composed through the
// I/O companion as Pillow composes them.
#include <gtest/gtest.h>

#include <set>

#include "formats_test_util.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/formats/gif.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/ielzw.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/base/strutils.h"

using namespace fmt_test;

namespace gif_tests {
namespace {

struct Frame {
  int X = 0, Y = 0, W = 0, H = 0;
  Bytes Indexes;     // W x H, rows top to bottom
  Bytes LocalTable;  // R, G, B triples; empty: none
  bool Interlaced = false;
  int CodeBits = 0;  // LZW code size; 0: from the table
  bool Gce = false;
  int Disposal = 0, Delay = 0, TranspIndex = 0;
  bool Transparent = false;
  std::vector<std::string> CommentsBefore;
};

struct GifSpec {
  int W = 0, H = 0;
  Bytes GlobalTable;
  std::vector<Frame> Frames;
  std::vector<std::string> CommentsAfter;
  bool Trailer = true;
};

GifSpec Spec(int W, int H, Bytes GlobalTable, std::vector<Frame> Frames) {
  GifSpec s;
  s.W = W;
  s.H = H;
  s.GlobalTable = std::move(GlobalTable);
  s.Frames = std::move(Frames);
  return s;
}

int TableBits(size_t Entries) {
  int b = 1;
  while ((size_t(1) << b) < Entries) ++b;
  return b;
}

void AddComment(Bytes& B, const std::string& Text) {
  B.insert(B.end(), {0x21, 0xFE});
  for (size_t at = 0; at < Text.size(); at += 255) {
    const size_t n = std::min<size_t>(255, Text.size() - at);
    B.push_back(Byte(n));
    B.insert(B.end(), Text.begin() + long(at), Text.begin() + long(at + n));
  }
  B.push_back(0);
}

Bytes MakeGif(const GifSpec& S) {
  Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
  Add16(b, uint32_t(S.W));
  Add16(b, uint32_t(S.H));
  const int gbits = S.GlobalTable.empty() ? 1 : TableBits(S.GlobalTable.size() / 3);
  b.push_back(S.GlobalTable.empty() ? 0 : Byte(0x80 | 0x70 | (gbits - 1)));
  b.insert(b.end(), {0, 0});
  AddBytes(b, S.GlobalTable);
  for (const Frame& f : S.Frames) {
    for (const std::string& c : f.CommentsBefore) AddComment(b, c);
    if (f.Gce) {
      b.insert(b.end(), {0x21, 0xF9, 4, Byte((f.Disposal << 2) | (f.Transparent ? 1 : 0))});
      Add16(b, uint32_t(f.Delay));
      b.insert(b.end(), {Byte(f.TranspIndex), 0});
    }
    b.push_back(0x2C);
    Add16(b, uint32_t(f.X));
    Add16(b, uint32_t(f.Y));
    Add16(b, uint32_t(f.W));
    Add16(b, uint32_t(f.H));
    const int lbits = f.LocalTable.empty() ? 0 : TableBits(f.LocalTable.size() / 3);
    b.push_back(Byte((f.LocalTable.empty() ? 0 : 0x80 | (lbits - 1)) | (f.Interlaced ? 0x40 : 0)));
    AddBytes(b, f.LocalTable);
    TMemoryStream data;
    const int codeBits = f.CodeBits ? f.CodeBits : (lbits ? lbits : gbits);
    IEGIFLZWCompress(&data, f.H, f.W, f.Interlaced, f.Indexes.data(), codeBits);
    AddBytes(b, Contents(data));
  }
  for (const std::string& c : S.CommentsAfter) AddComment(b, c);
  if (S.Trailer) b.push_back(0x3B);
  return b;
}

Bytes Ramp(int Entries) {
  Bytes t;
  for (int i = 0; i < Entries; ++i) t.insert(t.end(), {Byte(i * 37), Byte(255 - i * 11), Byte(i * 5 + 3)});
  return t;
}

Bytes Pattern(int W, int H, int Colors, int Seed = 1) {
  Bytes p;
  for (int i = 0; i < W * H; ++i) p.push_back(Byte((i * 7 + Seed * 3 + i / W) % Colors));
  return p;
}

struct Read {
  TIEBitmap B;
  TIOParamsVals P{nullptr};
  Progress Pr;
  Integer Count = -1;
  std::unique_ptr<TIEMask> Mask;
};

void ReadGif(Read& R, const Bytes& File, Integer Index = 0, bool Native = true) {
  TIEMemStream s(File.data(), int64_t(File.size()));
  R.P.ISNATIVEPIXELFORMAT = Native;
  R.P.GIF_IMAGEINDEX = Index;
  IEReadGIF(&s, &R.B, R.Count, R.P, R.Pr.Rec, false, R.Mask, false);
}

// The indexes of a decoded frame, whatever pixel format it came in.
Bytes IndexesOf(TIEBitmap& B) {
  Bytes out;
  for (Integer y = 0; y < B.Height(); ++y)
    for (Integer x = 0; x < B.Width(); ++x) {
      const Byte* row = static_cast<const Byte*>(B.GetScanline(y));
      out.push_back(B.PixelFormat() == ie1g ? Byte((row[x >> 3] >> (7 - (x & 7))) & 1) : row[x]);
    }
  return out;
}

// Pillow's palette indexes of one frame ("P" mode kept while the palette
// stays the same); empty when Pillow refuses or changes mode.
Bytes PillowIndexes(const std::string& Path, int Frame) {
  const std::string py =
      "import sys\n"
      "from PIL import Image, GifImagePlugin\n"
      "GifImagePlugin.LOADING_STRATEGY = GifImagePlugin.LoadingStrategy.RGB_AFTER_DIFFERENT_PALETTE_ONLY\n"
      "im=Image.open(sys.argv[1])\n"
      "im.seek(int(sys.argv[2]))\n"
      "im.load()\n"
      "if im.mode not in ('P','L','1'): sys.exit(3)\n"
      "sys.stdout.buffer.write(im.tobytes() if im.mode != '1' else im.convert('L').point(lambda v: 1 if v else 0).tobytes())\n";
  TempDir dir("pilp");
  const std::string script = dir.File("p.py");
  gt_test::WriteFileBytes(script, Bytes(py.begin(), py.end()));
  int status = -1;
  const std::string out = Capture("/usr/bin/python3 '" + script + "' '" + Path + "' " + std::to_string(Frame), &status);
  if (status != 0) return {};
  return Bytes(out.begin(), out.end());
}

// giftext's graphic control values of each frame: disposal, delay,
// transparency flag and index.
struct GceValues {
  int Disposal = 0, Delay = 0, Transparent = 0, Index = -1;
  bool operator==(const GceValues&) const = default;
};
std::vector<GceValues> GiftextGce(const std::string& Path) {
  const std::string out = Capture("giftext '" + Path + "' 2>/dev/null");
  std::vector<GceValues> v;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    auto value = [&](const char* Key, int& To) {
      const size_t at = line.find(Key);
      if (at != std::string::npos) To = std::atoi(line.c_str() + at + std::strlen(Key));
    };
    if (line.find("graphics control") != std::string::npos) v.emplace_back();
    if (v.empty()) continue;
    value("Disposal Mode: ", v.back().Disposal);
    value("DelayTime: ", v.back().Delay);
    value("Transparent Index: ", v.back().Index);
    if (line.find("Transparency on: yes") != std::string::npos) v.back().Transparent = 1;
  }
  return v;
}

TEST(GifReader, FramesAgreeWithPillowAndGiftext) {
  struct Case {
    const char* Name;
    GifSpec Spec;
    int Index;
    int Count;
  };
  auto frame = [](int W, int H, int Colors, int Seed) {
    Frame f;
    f.W = W;
    f.H = H;
    f.Indexes = Pattern(W, H, Colors, Seed);
    return f;
  };
  std::vector<Case> cases;
  {
    GifSpec s = Spec(13, 11, Ramp(16), {frame(13, 11, 16, 1)});
    s.Frames[0].Interlaced = true;
    cases.push_back({"interlaced", s, 0, 1});
  }
  {
    GifSpec s = Spec(9, 5, Ramp(4), {frame(9, 5, 4, 1), frame(9, 5, 8, 2)});
    s.Frames[1].LocalTable = Ramp(8);
    s.Frames[1].LocalTable[0] = 200;
    s.Frames[1].Gce = true;
    s.Frames[1].Delay = 33;
    s.Frames[1].Disposal = 1;
    cases.push_back({"local table of the second frame", s, 1, 2});
  }
  {
    GifSpec s = Spec(9, 3, {0, 0, 0, 255, 255, 255}, {frame(9, 3, 2, 1)});
    cases.push_back({"black and white", s, 0, 1});
  }
  {
    GifSpec s = Spec(6, 4, Ramp(8), {frame(6, 4, 7, 1)});
    s.Frames[0].Gce = true;
    s.Frames[0].Transparent = true;
    s.Frames[0].TranspIndex = 7;  // no pixel uses it
    s.Frames[0].Delay = 250;
    cases.push_back({"transparent index unused", s, 0, 1});
  }
  {
    GifSpec s = Spec(7, 7, Ramp(4), {frame(7, 7, 4, 1)});
    s.Trailer = false;
    cases.push_back({"no trailer", s, 0, 1});
  }
  {
    GifSpec s = Spec(8, 6, Ramp(32), {});
    for (int i = 0; i < 5; ++i) {
      s.Frames.push_back(frame(8, 6, 32, i + 1));
      s.Frames.back().Gce = true;
      s.Frames.back().Delay = 10 + i;
      s.Frames.back().Disposal = i % 3;
    }
    cases.push_back({"5 frames reading frame 2", s, 2, 5});
  }
  ASSERT_TRUE(HaveTool("giftext"));
  TempDir dir("gif");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const Bytes file = MakeGif(c.Spec);
    const std::string path = dir.File("a.gif");
    ASSERT_TRUE(gt_test::WriteFileBytes(path, file));
    Read r;
    ReadGif(r, file, c.Index);
    ASSERT_FALSE(r.Pr.Aborting);
    EXPECT_EQ(r.Count, c.Count);
    EXPECT_EQ(r.P.GIF_IMAGECOUNT, c.Count);
    const Frame& f = c.Spec.Frames[size_t(c.Index)];
    ASSERT_EQ(r.B.Width(), f.W);
    ASSERT_EQ(r.B.Height(), f.H);
    // Pillow keeps indexes while the palette stays; a local table makes it
    // give colours.
    const Bytes pil = PillowIndexes(path, c.Index);
    if (!f.LocalTable.empty()) {
      EXPECT_TRUE(pil.empty());
      Read rgb;
      ReadGif(rgb, file, c.Index, false);
      EXPECT_EQ(ToRgb(&rgb.B).Pixels, PillowRgb(path, std::to_string(c.Index)).Pixels);
    } else {
      EXPECT_EQ(IndexesOf(r.B), pil);
    }
    EXPECT_EQ(IndexesOf(r.B), f.Indexes);
    GceValues ours{r.P.GIF_DISPOSAL, r.P.GIF_DELAYTIME, r.P.GIF_TRANSPARENT ? 1 : 0, -1};
    if (f.Gce) {
      // giftext lists the extensions in file order; frames without one have none.
      int k = 0;
      for (int i = 0; i < c.Index; ++i) k += c.Spec.Frames[size_t(i)].Gce ? 1 : 0;
      const std::vector<GceValues> peer = GiftextGce(path);
      ASSERT_LT(size_t(k), peer.size());
      ours.Index = peer[size_t(k)].Index;
      EXPECT_EQ(ours, peer[size_t(k)]);
      if (ours.Transparent) {
        const Bytes& t = f.LocalTable.empty() ? c.Spec.GlobalTable : f.LocalTable;
        const size_t at = size_t(peer[size_t(k)].Index) * 3;
        EXPECT_EQ(r.P.GIF_TRANSPCOLOR, (TRGB{t[at + 2], t[at + 1], t[at]}));
      }
    } else {
      EXPECT_EQ(ours, (GceValues{0, 0, 0, -1}));
    }
    EXPECT_EQ(r.Mask, nullptr) << "no pixel is transparent";
  }
  // The black and white frame is bilevel; white then black is not.
  GifSpec bw = Spec(9, 1, {0, 0, 0, 255, 255, 255}, {frame(9, 1, 2, 1)});
  Read a;
  ReadGif(a, MakeGif(bw), 0, false);
  EXPECT_EQ(a.B.PixelFormat(), ie1g);
  bw.GlobalTable = {255, 255, 255, 0, 0, 0};
  Read b;
  ReadGif(b, MakeGif(bw), 0, false);
  EXPECT_EQ(b.B.PixelFormat(), ie24RGB);
  EXPECT_EQ(b.B.GetPixelTriple(0, 0), bw.Frames[0].Indexes[0] ? TRGB{} : (TRGB{255, 255, 255}));
}

TEST(GifReader, TransparencyCommentsAndParameters) {
  GifSpec s = Spec(10, 8, Ramp(4), {});
  Frame f0;
  f0.W = 10;
  f0.H = 8;
  f0.Indexes = Pattern(10, 8, 4);
  f0.CommentsBefore = {"first", std::string(300, 'x')};
  Frame f1;
  f1.X = 3;
  f1.Y = 2;
  f1.W = 4;
  f1.H = 3;
  f1.Indexes = {0, 1, 2, 3, 3, 3, 1, 0, 2, 2, 2, 2};
  f1.Gce = true;
  f1.Transparent = true;
  f1.TranspIndex = 3;
  f1.Disposal = 2;
  f1.Delay = 7;
  s.Frames = {f0, f1};
  s.CommentsAfter = {"after"};
  Bytes file = MakeGif(s);
  // An empty comment sub-block adds no line.
  Bytes empty = {0x21, 0xFE, 1, 0, 0};
  file.insert(file.end() - 1, empty.begin(), empty.end());
  Read r;
  ReadGif(r, file, 1, false);
  ASSERT_FALSE(r.Pr.Aborting);
  std::vector<std::string> comments;
  for (Integer i = 0; i < r.P.GIF_COMMENTS.Count(); ++i) comments.push_back(WideToAnsi(r.P.GIF_COMMENTS.Strings(i)));
  EXPECT_EQ(comments, (std::vector<std::string>{"first", std::string(255, 'x'), std::string(45, 'x'), "after"}));
  EXPECT_EQ(r.P.GIF_XPOS, 3);
  EXPECT_EQ(r.P.GIF_YPOS, 2);
  EXPECT_EQ(r.P.GIF_WINWIDTH, 10);
  EXPECT_EQ(r.P.GIF_DISPOSAL, 2);
  EXPECT_EQ(r.P.BITSPERSAMPLE, 2);
  EXPECT_EQ(r.P.COLORMAPCOUNT, 4);
  EXPECT_EQ(r.P.GIF_TRANSPCOLOR, (TRGB{Byte(3 * 5 + 3), Byte(255 - 33), Byte(3 * 37)}));
  ASSERT_NE(r.Mask, nullptr);
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(r.Mask->GetPixel(i % 4, i / 4), f1.Indexes[size_t(i)] == 3 ? 0 : 255) << i;
  // Preview fills the parameters and decodes nothing.
  Read p;
  TIEMemStream m(file.data(), int64_t(file.size()));
  p.P.GIF_IMAGEINDEX = 1;
  IEReadGIF(&m, &p.B, p.Count, p.P, p.Pr.Rec, true, p.Mask, true);
  EXPECT_FALSE(p.Pr.Aborting);
  EXPECT_EQ(p.Count, 2);
  EXPECT_EQ(p.P.WIDTH, 4);
  EXPECT_TRUE(p.B.IsEmpty());
  // An index past the frames decodes nothing and still counts them.
  Read q;
  ReadGif(q, file, 9);
  EXPECT_FALSE(q.Pr.Aborting);
  EXPECT_EQ(q.Count, 2);
  EXPECT_TRUE(q.B.IsEmpty());
}

TEST(GifReader, HostileFilesFailCleanly) {
  // Indexes past a two-entry table (code size 8) read as black, and a frame
  // without any table reads as grey levels.
  GifSpec s = Spec(4, 1, {10, 20, 30, 40, 50, 60}, {});
  Frame f;
  f.W = 4;
  f.H = 1;
  f.Indexes = {0, 1, 200, 255};
  f.CodeBits = 8;
  s.Frames = {f};
  Read r;
  ReadGif(r, MakeGif(s), 0, false);
  ASSERT_FALSE(r.Pr.Aborting);
  EXPECT_EQ(r.B.GetPixelTriple(1, 0), (TRGB{60, 50, 40}));
  EXPECT_EQ(r.B.GetPixelTriple(2, 0), (TRGB{0, 0, 0}));
  EXPECT_EQ(r.B.GetPixelTriple(3, 0), (TRGB{0, 0, 0}));
  s.GlobalTable.clear();
  Read g;
  ReadGif(g, MakeGif(s), 0, false);
  ASSERT_FALSE(g.Pr.Aborting);
  EXPECT_EQ(g.B.GetPixelTriple(2, 0), (TRGB{200, 200, 200}));

  // 65535 x 65535 with a few bytes of data: beyond the picture limit.
  GifSpec big = Spec(1, 1, Ramp(2), {});
  Frame h;
  h.W = 1;
  h.H = 1;
  h.Indexes = {1};
  big.Frames = {h};
  Bytes huge = MakeGif(big);
  gt_test::PutU16(huge, 13 + 6 + 5, 0xFFFF);
  gt_test::PutU16(huge, 13 + 6 + 7, 0xFFFF);
  Read x;
  ReadGif(x, huge);
  EXPECT_TRUE(x.Pr.Aborting);

  const Bytes bad[] = {Bytes{'G', 'I', 'F'}, Bytes{'P', 'N', 'G', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B},
                       Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}};
  for (const Bytes& b : bad) {
    Read y;
    ReadGif(y, b);
    EXPECT_TRUE(y.Pr.Aborting);
  }
  // A code size the decoder refuses consumes nothing: the frame fails.
  Bytes wrongCode = MakeGif(big);
  wrongCode[13 + 6 + 10] = 15;
  Read z;
  ReadGif(z, wrongCode);
  EXPECT_TRUE(z.Pr.Aborting);

  // Every cut of an ImageMagick animation either reads or fails, never more.
  ASSERT_TRUE(HaveTool("convert"));
  TempDir dir("gifcut");
  const std::string path = dir.File("m.gif");
  ASSERT_EQ(Shell("convert -size 20x12 gradient:red-blue -size 20x12 plasma:fractal -seed 3 -set delay 5 '" +
                  path + "' 2>/dev/null"),
            0);
  const Bytes whole = gt_test::ReadFileBytes(path);
  ASSERT_GT(whole.size(), 100u);
  for (size_t cut = 0; cut < whole.size(); cut += 7) {
    Bytes part(whole.begin(), whole.begin() + long(cut));
    for (Integer index : {0, 1}) {
      Read c;
      ReadGif(c, part, index, false);
      if (!c.Pr.Aborting && !c.B.IsEmpty()) {
        EXPECT_LE(c.B.Width(), 20);
      }
    }
  }
}

Bytes WriteGif(TIEBitmap* B, TIOParamsVals& P) {
  TMemoryStream s;
  Progress pr;
  IEWriteGIF(&s, B, P, pr.Rec);
  EXPECT_FALSE(pr.Aborting);
  return Contents(s);
}

TEST(GifWriter, AlphaReservesTheLastEntry) {
  auto b = ManyColors(40, 30);
  TIEBitmap* a = b->GetAlphaChannel();
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 40; ++x) a->SetPixelByte(x, y, (x + y) % 5 == 0 ? 0 : 255);
  TIOParamsVals p(nullptr);
  p.BITSPERSAMPLE = 8;
  const Bytes f = WriteGif(b.get(), p);
  EXPECT_TRUE(p.GIF_TRANSPARENT);
  ASSERT_GT(f.size(), 13u + 768u + 8u);
  EXPECT_EQ(f[10], 0xF7) << "global table of 256 entries";
  EXPECT_EQ(Bytes(f.begin() + 13 + 768, f.begin() + 13 + 768 + 8), (Bytes{0x21, 0xF9, 4, 9, 0, 0, 255, 0}))
      << "transparent, with the default disposal 2";
  Read r;
  ReadGif(r, f);
  ASSERT_FALSE(r.Pr.Aborting);
  Bytes idx = IndexesOf(r.B);
  std::set<Byte> used(idx.begin(), idx.end());
  EXPECT_EQ(used.count(255), 1u);
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 40; ++x) ASSERT_EQ(idx[size_t(y * 40 + x)] == 255, (x + y) % 5 == 0) << x << "," << y;
  TempDir dir("gifw");
  const std::string path = dir.File("a.gif");
  ASSERT_TRUE(gt_test::WriteFileBytes(path, f));
  const Rgb pil = PillowRgb(path);
  ASSERT_EQ(pil.W, 40);
  for (size_t i = 0; i < pil.Alpha.size(); ++i) EXPECT_EQ(pil.Alpha[i], (i % 40 + i / 40) % 5 == 0 ? 0 : 255);
}

TEST(GifWriter, SourcesAndDepthsReadBackInPeers) {
  ASSERT_TRUE(HaveTool("gifsicle"));
  struct Case {
    const char* Name;
    TIEPixelFormat Format;
    int Bits;
    int Colors;  // distinct colours of the source
  } cases[] = {
      {"24-bit, 8 bits, few colours exact", ie24RGB, 8, 50},
      {"palette of 40 into 4 bits", ie8p, 4, 40},
      {"grey into 8 bits", ie8g, 8, 0},
      {"two colours into 1 bit", ie24RGB, 1, 2},
      {"bilevel", ie1g, 1, 0},
  };
  TempDir dir("gifs");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto b = c.Colors ? FewColors(23, 9, c.Colors) : ManyColors(23, 9);
    if (c.Format != ie24RGB) {
      ASSERT_TRUE(b->ConvertToPixelFormat(c.Format));
    }
    const Rgb source = ToRgb(b.get());
    TIOParamsVals p(nullptr);
    p.BITSPERSAMPLE = c.Bits;
    p.GIF_INTERLACED = c.Format == ie8g;
    const Bytes f = WriteGif(b.get(), p);
    const std::string path = dir.File("w.gif");
    ASSERT_TRUE(gt_test::WriteFileBytes(path, f));
    EXPECT_EQ(Shell("gifsicle --info '" + path + "' >/dev/null 2>&1"), 0);
    const Rgb pil = PillowRgb(path);
    ASSERT_EQ(pil.W, 23);
    Read r;
    ReadGif(r, f);
    ASSERT_FALSE(r.Pr.Aborting);
    Rgb ours = ToRgb(&r.B);
    EXPECT_EQ(ours.Pixels, pil.Pixels);
    EXPECT_EQ(f[10] & 7, c.Bits - 1);
    for (Byte i : IndexesOf(r.B)) ASSERT_LT(i, 1 << c.Bits);
    // Exact where the colours fit the table.
    if (c.Format == ie24RGB || c.Format == ie1g) {
      EXPECT_EQ(ours.Pixels, source.Pixels);
    }
    if (c.Format == ie8g) {
      for (size_t i = 0; i < ours.Pixels.size(); ++i) ASSERT_NEAR(ours.Pixels[i], source.Pixels[i], 8) << i;
    }
  }
}

TEST(GifWriter, CommentsVersionAndLayout) {
  TIEBitmap b(3, 2, ie24RGB);
  b.Fill(0);
  TIOParamsVals p(nullptr);
  p.BITSPERSAMPLE = 2;
  p.GIF_VERSION = "GIF8";
  p.GIF_DELAYTIME = 0x1234;
  p.GIF_DISPOSAL = 3;
  p.GIF_XPOS = 5;
  p.GIF_COMMENTS.Add(u"one");
  p.GIF_COMMENTS.Add(u"");
  p.GIF_COMMENTS.Add(Utf8ToWide(std::string(300, 'c')));
  const Bytes f = WriteGif(&b, p);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 6), "GIF89a");
  const size_t gce = 13 + 12;
  EXPECT_EQ(Bytes(f.begin() + long(gce), f.begin() + long(gce) + 8), (Bytes{0x21, 0xF9, 4, 12, 0x34, 0x12, 0, 0}));
  EXPECT_EQ(f[gce + 8], 0x2C);
  EXPECT_EQ(f.back(), 0x3B);
  Read r;
  ReadGif(r, f);
  ASSERT_FALSE(r.Pr.Aborting);
  std::vector<std::string> comments;
  for (Integer i = 0; i < r.P.GIF_COMMENTS.Count(); ++i) comments.push_back(WideToAnsi(r.P.GIF_COMMENTS.Strings(i)));
  EXPECT_EQ(comments, (std::vector<std::string>{"one", std::string(255, 'c'), std::string(45, 'c')}));
  EXPECT_EQ(r.P.GIF_XPOS, 5);
  TempDir dir("gifc");
  const std::string path = dir.File("c.gif");
  ASSERT_TRUE(gt_test::WriteFileBytes(path, f));
  const std::string info = Capture("gifsicle --info '" + path + "' 2>&1");
  EXPECT_NE(info.find("comment one"), std::string::npos) << info;
  EXPECT_EQ(info.find("warning"), std::string::npos) << info;
}

TEST(GifRemoveFrame, KeepsCommentsAndApplicationBlocks) {
  ASSERT_TRUE(HaveTool("gifsicle") && HaveTool("convert"));
  TempDir dir("gifrm");
  const std::string path = dir.File("three.gif");
  ASSERT_EQ(Shell("convert -size 6x4 xc:red xc:lime xc:blue -set delay 9 -loop 0 '" + dir.File("m.gif") +
                  "' && gifsicle --comment kept '" + dir.File("m.gif") + "' -o '" + path + "'"),
            0);
  const Bytes before = gt_test::ReadFileBytes(path);
  EXPECT_EQ(IEGIFRemoveFrame(Wide(path), -1, false), 3);
  EXPECT_EQ(gt_test::ReadFileBytes(path), before);
  EXPECT_EQ(IEGIFRemoveFrame(Wide(path), 1, true), 2);
  const std::string info = Capture("gifsicle --info '" + path + "' 2>&1");
  EXPECT_NE(info.find("2 images"), std::string::npos) << info;
  EXPECT_NE(info.find("comment kept"), std::string::npos) << info;
  EXPECT_NE(info.find("loop forever"), std::string::npos) << info;
  EXPECT_EQ(GiftextGce(path).size(), 2u) << "the removed frame's graphic control went with it";
  const Bytes after = gt_test::ReadFileBytes(path);
  EXPECT_EQ(std::string(after.begin(), after.begin() + 6), "GIF89a");
  Read r;
  ReadGif(r, after, 1, false);
  ASSERT_FALSE(r.Pr.Aborting);
  EXPECT_EQ(r.B.GetPixelTriple(0, 0), (TRGB{255, 0, 0})) << "the blue frame is now the second";
  // Not a GIF: 0, and the file stays as it was.
  const std::string other = dir.File("x.gif");
  ASSERT_TRUE(gt_test::WriteFileBytes(other, Bytes(40, 'x')));
  EXPECT_EQ(IEGIFRemoveFrame(Wide(other), 0, true), 0);
  EXPECT_EQ(gt_test::ReadFileBytes(other), Bytes(40, 'x'));
}

TEST(GifThroughIO, AnimationComposesAsPillowShowsIt) {
  IEBuildFormatRegistry();
  ASSERT_TRUE(HaveTool("convert"));
  TempDir dir("gifio");
  const std::string path = dir.File("anim.gif");
  // A full first frame, a smaller opaque second frame at an offset, and a
  // third frame with transparency after a restore-to-background disposal.
  GifSpec s = Spec(12, 10, Ramp(8), {});
  Frame a;
  a.W = 12;
  a.H = 10;
  a.Indexes = Pattern(12, 10, 8);
  Frame b;
  b.X = 2;
  b.Y = 3;
  b.W = 5;
  b.H = 4;
  b.Indexes = Bytes(20, 6);
  b.Gce = true;
  b.Disposal = 1;
  Frame c;
  c.X = 4;
  c.Y = 1;
  c.W = 6;
  c.H = 5;
  c.Indexes = Pattern(6, 5, 4, 2);
  c.Gce = true;
  c.Transparent = true;
  c.TranspIndex = 0;
  s.Frames = {a, b, c};
  ASSERT_TRUE(gt_test::WriteFileBytes(path, MakeGif(s)));
  for (int index : {0, 1, 2}) {
    SCOPED_TRACE(index);
    TZiduzUvIO io(nullptr);
    io.Params().GIF_IMAGEINDEX = index;
    EXPECT_EQ(io.LoadFromFileGIF(Wide(path)), 3);
    ASSERT_FALSE(io.Aborting());
    const Rgb pil = PillowRgb(path, std::to_string(index));
    ASSERT_EQ(pil.W, 12);
    const Rgb ours = ToRgb(io.IEBitmap());
    ASSERT_EQ(ours.W, 12);
    for (size_t i = 0; i < pil.Alpha.size(); ++i)
      if (pil.Alpha[i] == 255) {
        ASSERT_EQ(ours.Alpha[i], 255) << i;
        ASSERT_EQ(Bytes(ours.Pixels.begin() + long(3 * i), ours.Pixels.begin() + long(3 * i + 3)),
                  Bytes(pil.Pixels.begin() + long(3 * i), pil.Pixels.begin() + long(3 * i + 3)))
            << i;
      }
    EXPECT_EQ(io.Params().GIF_XPOS, 0);
    // Without a view the load leaves a background to draw on: the frame's
    // transparent colour (entry 0 of the table, 0, 255, 3), else the
    // screen's background colour.
    EXPECT_EQ(io.Params().GIF_TRANSPARENT, index == 2);
    const TRGB bg = io.Params().GIF_BACKGROUND;
    EXPECT_EQ(io.Background(), index == 2 ? TColor(0x03FF00) : TColor(bg.r | bg.g << 8 | bg.b << 16));
  }
  // Stream and buffer loads, and a save that Pillow reads back.
  const Bytes file = gt_test::ReadFileBytes(path);
  TZiduzUvIO io(nullptr);
  TIEMemStream m(file.data(), int64_t(file.size()));
  EXPECT_EQ(io.LoadFromStreamGIF(&m), 3);
  EXPECT_EQ(io.IEBitmap()->Width(), 12);
  TZiduzUvIO buf(nullptr);
  buf.LoadFromBuffer(file.data(), Integer(file.size()), ieftGIF);
  ASSERT_FALSE(buf.Aborting());
  EXPECT_EQ(buf.IEBitmap()->Width(), 12);
  const std::string saved = dir.File("saved.gif");
  auto pic = FewColors(17, 6, 30);
  io.IEBitmap()->Assign(pic.get());
  io.Params().BITSPERSAMPLE = 8;
  io.SaveToFile(Wide(saved));
  ASSERT_FALSE(io.Aborting());
  const Rgb back = PillowRgb(saved);
  EXPECT_EQ(back.Pixels, ToRgb(pic.get()).Pixels);
  IEFreeFormatRegistry();
}

}  // namespace
}  // namespace gif_tests
