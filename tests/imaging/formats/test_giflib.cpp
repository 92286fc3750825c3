// The GIF object model: files with odd but readable layouts load and save
// back with the block structure giflib's dump shows, our LZW and run-code
// streams decode in Pillow to the same indexes, colour-table edits change
// exactly the entries edited, and damaged data fails with the library's texts.
#include <gtest/gtest.h>

#include <cstring>

#include "formats_test_util.h"
#include "imaging/formats/giflib.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ziduzuvio.h"

using namespace fmt_test;

namespace giflib_tests {
namespace {

// ----------------------------------------------------------------- helpers

struct Loaded {
  std::unique_ptr<TGIFImage> Image = std::make_unique<TGIFImage>();
  std::vector<std::string> Warnings;
};

std::unique_ptr<Loaded> Load(const Bytes& Data) {
  auto l = std::make_unique<Loaded>();
  Loaded* raw = l.get();
  l->Image->OnGIFWarning = [raw](TObject*, Byte, const WideString& M) { raw->Warnings.push_back(WideToUtf8(M)); };
  TMemoryStream s;
  Fill(s, Data);
  l->Image->LoadFromStream(&s);
  return l;
}

Bytes Save(TGIFImage* Image) {
  TMemoryStream s;
  Image->SaveToStream(&s);
  return Contents(s);
}

// Message of the GIFException that Fn raises ("" when none).
template <class F>
std::string GifErrorOf(F&& Fn) {
  try {
    Fn();
  } catch (const GIFException& e) {
    return e.what();
  }
  return "";
}

// The blocks of a well-formed GIF: header with its global table, then each
// extension, image (descriptor, table, data) and the trailer as they stand.
std::vector<Bytes> SplitBlocks(const Bytes& G) {
  std::vector<Bytes> out;
  size_t at = 13;
  if (G[10] & 0x80) at += 3u * (2u << (G[10] & 7));
  out.emplace_back(G.begin(), G.begin() + long(at));
  auto subBlocks = [&](size_t p) {
    while (G[p] != 0) p += G[p] + 1u;
    return p + 1;
  };
  while (at < G.size()) {
    size_t end;
    if (G[at] == '!') {
      end = subBlocks(at + 2);
    } else if (G[at] == ',') {
      size_t p = at + 10;
      if (G[at + 9] & 0x80) p += 3u * (2u << (G[at + 9] & 7));
      end = subBlocks(p + 1);
    } else {
      end = at + 1;
    }
    out.emplace_back(G.begin() + long(at), G.begin() + long(end));
    at = end;
  }
  return out;
}

Bytes Join(const std::vector<Bytes>& Blocks, size_t ZerosBetween = 0) {
  Bytes b;
  for (size_t i = 0; i < Blocks.size(); ++i) {
    if (i > 0) b.insert(b.end(), ZerosBetween, 0);
    AddBytes(b, Blocks[i]);
  }
  return b;
}

Bytes AppExtension(const std::string& Ident, const std::vector<Bytes>& SubBlocks) {
  Bytes b = {0x21, 0xFF, 11};
  b.insert(b.end(), Ident.begin(), Ident.end());
  for (const Bytes& s : SubBlocks) {
    b.push_back(Byte(s.size()));
    AddBytes(b, s);
  }
  b.push_back(0);
  return b;
}

Bytes Comment(const std::vector<std::string>& SubBlocks) {
  Bytes b = {0x21, 0xFE};
  for (const std::string& s : SubBlocks) {
    b.push_back(Byte(s.size()));
    b.insert(b.end(), s.begin(), s.end());
  }
  b.push_back(0);
  return b;
}

// giflib's dump without its comment lines and without the colour count of
// the screen, which follows the colour resolution field that our writer
// recomputes from the tables.
std::string Dump(const Bytes& G) {
  TempDir dir("gifdump");
  const std::string f = dir.File("a.gif");
  gt_test::WriteFileBytes(f, G);
  int status = -1;
  const std::string raw = Capture("gifbuild -d '" + f + "' 2>&1", &status);
  std::string out;
  std::istringstream in(raw);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("#", 0) != 0 && line.rfind("screen colors", 0) != 0) out += line + "\n";
  return status == 0 ? out : "gifbuild failed: " + raw;
}

// A two-frame animation made by ImageMagick: a global table, a loop
// extension, graphic control blocks, an offset frame with its own table.
Bytes MagickAnimation(const TempDir& Dir) {
  const std::string f = Dir.File("anim.gif");
  Shell("convert -size 7x5 xc:red -fill blue -draw 'point 1,1' -fill white -draw 'point 6,4' "
        "\\( -size 3x2 xc:green -fill yellow -draw 'point 0,0' -repage +2+1 \\) "
        "-set dispose background -loop 0 '" + f + "' 2>/dev/null");
  return gt_test::ReadFileBytes(f);
}

// Image data as the bytes of codes of the given widths, least significant bit first.
Bytes PackCodes(int CodeSize, const std::vector<std::pair<int, int>>& Codes) {
  Bytes data;
  uint32_t acc = 0;
  int bits = 0;
  for (auto [code, width] : Codes) {
    acc |= uint32_t(code) << bits;
    bits += width;
    while (bits >= 8) {
      data.push_back(Byte(acc));
      acc >>= 8;
      bits -= 8;
    }
  }
  if (bits > 0) data.push_back(Byte(acc));
  Bytes b = {Byte(CodeSize)};
  for (size_t at = 0; at < data.size(); at += 255) {
    const size_t n = std::min<size_t>(255, data.size() - at);
    b.push_back(Byte(n));
    b.insert(b.end(), data.begin() + long(at), data.begin() + long(at + n));
  }
  b.push_back(0);
  return b;
}

// A W x H GIF with a global table of 4 colours around one image data block.
Bytes OneFrame(int W, int H, const Bytes& ImageData) {
  Bytes b = {'G', 'I', 'F', '8', '7', 'a'};
  Add16(b, uint32_t(W));
  Add16(b, uint32_t(H));
  AddBytes(b, {0x81, 0, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255});
  b.push_back(',');
  Add16(b, 0);
  Add16(b, 0);
  Add16(b, uint32_t(W));
  Add16(b, uint32_t(H));
  b.push_back(0);
  AddBytes(b, ImageData);
  b.push_back(';');
  return b;
}

// An image of one frame holding Pixels, with a global table of Colors grey levels.
std::unique_ptr<TGIFImage> MakeImage(int W, int H, int Colors, const Bytes& Pixels, bool Interlaced = false) {
  auto img = std::make_unique<TGIFImage>();
  for (int i = 0; i < Colors; ++i) img->GetGlobalColorMap()->Add(TGIFColorMap::RGBToColor(Byte(i), Byte(i), Byte(255 - i)));
  auto* f = new TGIFSubImage(img.get());
  img->Add(f);
  f->SetBoundsRect(0, 0, W, H);
  f->SetInterlaced(Interlaced);
  std::memcpy(f->PixelData.data(), Pixels.data(), Pixels.size());
  return img;
}

// Palette indexes of frame 0 as Pillow decodes them.
Bytes PillowIndexes(const std::string& Path) {
  const std::string py =
      "import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1])\n"
      "sys.stdout.buffer.write(im.tobytes() if im.mode=='P' else b'mode '+im.mode.encode())\n";
  TempDir dir("pil");
  gt_test::WriteFileBytes(dir.File("i.py"), Bytes(py.begin(), py.end()));
  const std::string out = Capture("/usr/bin/python3 '" + dir.File("i.py") + "' '" + Path + "' 2>&1");
  return Bytes(out.begin(), out.end());
}

// ----------------------------------------------------------------- tests

TEST(GifLibRoundTrip, OddLayoutsSaveWithTheBlockStructureOfTheCleanFile) {
  ASSERT_TRUE(HaveTool("gifbuild") && HaveTool("convert")) << "gifbuild or convert missing";
  TempDir dir("giflib");
  const Bytes base = MagickAnimation(dir);
  ASSERT_GT(base.size(), 30u);
  const std::vector<Bytes> blocks = SplitBlocks(base);
  ASSERT_EQ(blocks.back(), Bytes{';'});
  std::vector<Bytes> noTrailer(blocks.begin(), blocks.end() - 1);
  auto with = [&](size_t At, const Bytes& Block) {
    std::vector<Bytes> b = blocks;
    b.insert(b.begin() + long(At), Block);
    return b;
  };
  const std::string longText(300, 'c');
  const std::vector<Bytes> animexts = with(1, AppExtension("ANIMEXTS1.0", {{1, 3, 0}}));
  const std::vector<Bytes> unknownApp = with(1, AppExtension("XYZAPPLE1.0", {{9, 8, 7}, Bytes(200, 5)}));
  const std::vector<Bytes> longComment = with(1, Comment({longText.substr(0, 255), longText.substr(255)}));
  const std::vector<Bytes> trailingExt = with(blocks.size() - 1, Comment({"after the last image"}));
  Bytes prefixed = {'J', 'U', 'N', 'K'};
  AddBytes(prefixed, base);
  Bytes lower = base;
  lower[0] = 'g', lower[1] = 'i', lower[2] = 'f';
  std::vector<Bytes> noSeparator = blocks;
  ASSERT_EQ(noSeparator[3][0], ',');
  noSeparator[3][0] = 0x0A;
  std::vector<Bytes> unknownBlock = noTrailer;
  unknownBlock.push_back({0xFF, 0x3B});
  struct Case {
    const char* Name;
    Bytes Input;
    Bytes Clean;  // what the output's structure must equal
    std::vector<std::string> Warnings;
  } cases[] = {
      {"four bytes before the signature", prefixed, base, {}},
      {"lower-case signature", lower, base, {}},
      {"no trailer", Join(noTrailer), base, {}},
      // Zeros where a frame may start are skipped; zeros inside a frame's run
      // of extensions end that run (the extensions then stand as a frame of
      // their own, written back in the same place).
      {"zero bytes between blocks", Join(blocks, 3), base, std::vector<std::string>(3, "Invalid extension introducer")},
      {"unknown block after the frames", Join(unknownBlock), base, {"Unknown GIF block type", "Invalid Image trailer"}},
      {"an image descriptor with another separator byte", Join(noSeparator), base, {"Invalid extension introducer"}},
      {"ANIMEXTS1.0 loop block", Join(animexts), Join(animexts), {}},
      {"unknown application block", Join(unknownApp), Join(unknownApp), {}},
      {"300-character comment", Join(longComment), Join(longComment), {}},
      {"extensions after the last image", Join(trailingExt), Join(trailingExt), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto l = Load(c.Input);
    EXPECT_EQ(l->Warnings, c.Warnings);
    const Bytes out = Save(l->Image.get());
    EXPECT_EQ(Dump(out), Dump(c.Clean));
    // Loading our output and saving it again changes nothing at all.
    EXPECT_EQ(Save(Load(out)->Image.get()), out);
  }
}

TEST(GifLibRoundTrip, KeepsWhatTheBlocksHold) {
  const std::string longText(300, 'c');
  std::vector<Bytes> blocks = SplitBlocks(OneFrame(2, 1, PackCodes(2, {{4, 3}, {1, 3}, {2, 3}, {5, 3}})));
  blocks.insert(blocks.begin() + 1, AppExtension("ANIMEXTS1.0", {{1, 7, 1}, {2, 0, 16, 0, 0}}));
  blocks.insert(blocks.begin() + 1, Comment({longText.substr(0, 255), longText.substr(255)}));
  blocks.insert(blocks.end() - 1, AppExtension("ODDAPPLE1.0", {Bytes(255, 1), {7}}));
  auto l = Load(Join(blocks));
  TGIFSubImage* f = l->Image->Images()->GetFrame(0);
  ASSERT_EQ(f->Extensions()->GetCount(), 2);
  auto* comment = dynamic_cast<TGIFCommentExtension*>(f->Extensions()->GetExtension(0));
  ASSERT_TRUE(comment);
  EXPECT_EQ(comment->CommentLines, (std::vector<AnsiString>{longText.substr(0, 255), longText.substr(255)}));
  auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(f->Extensions()->GetExtension(1));
  ASSERT_TRUE(loop);
  EXPECT_EQ(loop->LoopCount, 263);
  EXPECT_EQ(loop->BufferBytes, 4096u);
  EXPECT_EQ(std::string(loop->AppBlock.begin(), loop->AppBlock.end()), "ANIMEXTS1.0");
  EXPECT_EQ(f->PixelData, (Bytes{1, 2}));
  ASSERT_EQ(l->Image->Images()->GetCount(), 2);
  auto* odd = dynamic_cast<TGIFUnknownAppExtension*>(l->Image->Images()->GetFrame(1)->Extensions()->GetExtension(0));
  ASSERT_TRUE(odd);
  ASSERT_EQ(odd->Blocks.size(), 2u);
  EXPECT_EQ(odd->Blocks[1].BlockData, Bytes{7});
  // A comment line of 300 characters goes out as 255 and 45 bytes.
  comment->CommentLines = {longText};
  const Bytes out = Save(l->Image.get());
  const Bytes expected = Comment({longText.substr(0, 255), longText.substr(255)});
  EXPECT_NE(std::search(out.begin(), out.end(), expected.begin(), expected.end()), out.end());
}

TEST(GifLibRoundTrip, GlobalColourEditsChangeExactlyThoseEntries) {
  ASSERT_TRUE(HaveTool("convert")) << "convert missing";
  TempDir dir("giflib");
  const Bytes base = MagickAnimation(dir);
  auto l = Load(base);
  TGIFGlobalColorMap* map = l->Image->GetGlobalColorMap();
  ASSERT_GE(map->Count(), 3);
  const Bytes before = Save(l->Image.get());
  map->SetColor(1, TGIFColorMap::RGBToColor(0x12, 0x34, 0x56));
  map->SetColor(2, TGIFColorMap::RGBToColor(0xAB, 0xCD, 0xEF));
  const Bytes after = Save(l->Image.get());
  ASSERT_EQ(before.size(), after.size());
  Bytes expected = before;
  const Bytes edit = {0x12, 0x34, 0x56, 0xAB, 0xCD, 0xEF};
  std::copy(edit.begin(), edit.end(), expected.begin() + 13 + 3);
  EXPECT_EQ(after, expected);
  EXPECT_EQ(GifErrorOf([&] { map->SetColor(map->Count(), 0); }), "Invalid color index");
  // What ImageMagick reads back is the edited table.
  gt_test::WriteFileBytes(dir.File("edited.gif"), after);
  const Rgb seen = MagickRgb(dir.File("edited.gif"));
  ASSERT_EQ(seen.W, 7);
  const Bytes& px = l->Image->Images()->GetFrame(0)->PixelData;
  bool edited = false;
  for (size_t i = 0; i < px.size(); ++i) {
    const Byte* e = map->Entry(px[i]);
    EXPECT_EQ(Bytes(seen.Pixels.begin() + long(3 * i), seen.Pixels.begin() + long(3 * i + 3)), Bytes(e, e + 3)) << i;
    edited |= px[i] == 1 || px[i] == 2;
  }
  EXPECT_TRUE(edited);

  // The same road through a picture container, by the file's extension.
  gt_test::WriteFileBytes(dir.File("nav.gif"), base);
  TPicture pic;
  pic.LoadFromFile(Wide(dir.File("nav.gif")));
  auto* gif = dynamic_cast<TGIFImage*>(pic.Graphic());
  ASSERT_TRUE(gif);
  gif->GetGlobalColorMap()->SetColor(1, TGIFColorMap::RGBToColor(0x12, 0x34, 0x56));
  gif->GetGlobalColorMap()->SetColor(2, TGIFColorMap::RGBToColor(0xAB, 0xCD, 0xEF));
  pic.SaveToFile(Wide(dir.File("nav2.gif")));
  EXPECT_EQ(gt_test::ReadFileBytes(dir.File("nav2.gif")), after);
}

TEST(GifLibCoders, OurStreamsDecodeInPillowToTheSameIndexes) {
  gt_test::Lcg g(11);
  auto random = [&](size_t N, int Colors) {
    Bytes b(N);
    for (Byte& v : b) v = Byte(g.Next() % uint32_t(Colors));
    return b;
  };
  auto runs = [&](size_t N, int Colors) {
    Bytes b(N);
    for (size_t i = 0; i < N;) {
      const size_t n = std::min<size_t>(N - i, 1 + g.Next() % 700);
      std::fill_n(b.begin() + long(i), n, Byte(g.Next() % uint32_t(Colors)));
      i += n;
    }
    return b;
  };
  auto alternating = [](size_t N) {
    Bytes b(N);
    for (size_t i = 0; i < N; ++i) b[i] = Byte(i & 1);
    return b;
  };
  struct Case {
    const char* Name;
    int W, H, Colors;
    Bytes Pixels;
    bool Interlaced;
  } cases[] = {
      {"random 256 colours", 200, 150, 256, random(30000, 256), false},
      {"random 4 colours (many codes between clears)", 300, 100, 4, random(30000, 4), false},
      {"random 32 colours interlaced", 37, 29, 32, random(37 * 29, 32), true},
      {"flat", 640, 480, 2, Bytes(640 * 480, 1), false},
      {"runs of 16 colours", 500, 300, 16, runs(150000, 16), false},
      {"alternating 2 colours", 101, 7, 2, alternating(707), false},
      {"one colour", 9, 9, 1, Bytes(81, 0), false},
      {"interlaced height 1", 5, 1, 4, random(5, 4), true},
      {"interlaced height 2", 5, 2, 4, random(10, 4), true},
      {"interlaced height 3", 5, 3, 4, random(15, 4), true},
      {"interlaced height 4", 5, 4, 4, random(20, 4), true},
      {"interlaced height 5", 5, 5, 4, random(25, 4), true},
  };
  const bool pillow = Shell("/usr/bin/python3 -c 'import PIL' 2>/dev/null") == 0;
  TempDir dir("giflib");
  for (const Case& c : cases)
    for (Byte kind : {gcmLZW, gcmRLE}) {
      SCOPED_TRACE(std::string(c.Name) + (kind == gcmRLE ? " / run codes" : " / LZW"));
      auto img = MakeImage(c.W, c.H, c.Colors, c.Pixels, c.Interlaced);
      img->CompressionKind = kind;
      const Bytes out = Save(img.get());
      auto back = Load(out);
      EXPECT_TRUE(back->Warnings.empty());
      EXPECT_EQ(back->Image->Images()->GetFrame(0)->PixelData, c.Pixels);
      if (!pillow) continue;
      gt_test::WriteFileBytes(dir.File("o.gif"), out);
      EXPECT_EQ(PillowIndexes(dir.File("o.gif")), c.Pixels);
    }
  // A single colour writes code size 2, and a flat picture in run codes
  // stays far smaller than one code per pixel.
  auto one = MakeImage(9, 9, 1, Bytes(81, 0));
  EXPECT_EQ(Save(one.get())[13 + 6 + 10], 2);
  auto flat = MakeImage(640, 480, 2, Bytes(640 * 480, 1));
  flat->CompressionKind = gcmRLE;
  EXPECT_LT(Save(flat.get()).size(), 20000u);
}

TEST(GifLibCoders, PixelsBeyondTheTableAreRefused) {
  for (Byte kind : {gcmLZW, gcmRLE}) {
    auto img = MakeImage(4, 1, 3, {0, 1, 2, 3});
    img->Images()->GetFrame(0)->LocalColorMap()->Assign(img->GetGlobalColorMap());
    img->CompressionKind = kind;
    EXPECT_EQ(GifErrorOf([&] { Save(img.get()); }), "Color not in color table");
  }
}

TEST(GifLibDecoder, LenientAndHostileData) {
  struct Case {
    const char* Name;
    Bytes File;
    Bytes Pixels;  // expected frame pixels when it loads
    std::string Error;
    std::vector<std::string> Warnings;
  } cases[] = {
      {"no clear code at the start", OneFrame(3, 1, PackCodes(2, {{1, 3}, {2, 3}, {3, 3}, {5, 3}})), {1, 2, 3}, "", {}},
      {"several clear codes in a row", OneFrame(2, 1, PackCodes(2, {{4, 3}, {4, 3}, {4, 3}, {3, 3}, {1, 3}, {5, 3}})),
       {3, 1}, "", {}},
      {"code size 9 read as 8", OneFrame(2, 1, PackCodes(9, {{256, 9}, {7, 9}, {3, 9}, {257, 9}})), {7, 3}, "", {}},
      {"data stops early", OneFrame(4, 1, PackCodes(2, {{4, 3}, {1, 3}, {2, 3}, {5, 3}})), {1, 2, 0, 0}, "", {}},
      {"2-entry prefix cycle", OneFrame(4, 4, PackCodes(2, {{4, 3}, {7, 3}, {6, 3}, {7, 3}, {6, 4}, {6, 4}})), {},
       "Circular decoder table entry", {}},
      {"sub-block cut short", [] {
         Bytes b = OneFrame(4, 1, {2, 9, 0x0C, 0x05});
         b.resize(b.size() - 1);
         return b;
       }(),
       {}, "", {"Premature end of data"}},
      {"a frame larger than its data could ever fill", OneFrame(60000, 60000, PackCodes(2, {{4, 3}, {1, 3}, {5, 3}})),
       {}, "Image is too large", {}},
      {"no signature", Bytes{'P', 'N', 'G', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}, {}, "Invalid GIF signature", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::unique_ptr<Loaded> l;
    EXPECT_EQ(GifErrorOf([&] { l = Load(c.File); }), c.Error);
    if (!c.Error.empty()) continue;
    ASSERT_TRUE(l);
    EXPECT_EQ(l->Warnings, c.Warnings);
    if (!c.Pixels.empty()) {
      EXPECT_EQ(l->Image->Images()->GetFrame(0)->PixelData, c.Pixels);
    }
  }
  // More than 4096 codes between clears: the width stays at 12 bits.
  Bytes pixels(70000);
  gt_test::Lcg g(5);
  for (Byte& p : pixels) p = Byte(g.Next() & 3);
  std::vector<std::pair<int, int>> codes = {{4, 3}};
  int width = 3, next = 6;
  for (size_t i = 0; i < 5000; ++i) {
    codes.push_back({pixels[i], width});
    if (i > 0 && next < 4096 && ++next >= (1 << width) && width < 12) ++width;
  }
  codes.push_back({5, width});
  auto l = Load(OneFrame(5000, 1, PackCodes(2, codes)));
  EXPECT_EQ(l->Image->Images()->GetFrame(0)->PixelData, Bytes(pixels.begin(), pixels.begin() + 5000));
}

TEST(GifLibExtensions, BlocksOfEveryKind) {
  auto frameWith = [](const Bytes& Ext) {
    std::vector<Bytes> b = SplitBlocks(OneFrame(2, 1, PackCodes(2, {{4, 3}, {1, 3}, {2, 3}, {5, 3}})));
    b.insert(b.begin() + 1, Ext);
    return Join(b);
  };
  Bytes big = {0x21, 0xFF, 14};
  for (char c : std::string("BIGAPPLE1.0xyz")) big.push_back(Byte(c));
  AddBytes(big, {2, 1, 2, 0});
  struct Case {
    const char* Name;
    Bytes File;
    std::string Error;
    const char* Class;  // of the first extension
  } cases[] = {
      {"block size 9", frameWith({0x21, 0xFF, 9, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 0}),
       "Unsupported Application Extension block size", nullptr},
      {"block size 14 kept as an unknown block", frameWith(big), "", "TGIFUnknownAppExtension"},
      {"loop sub-block of 2 bytes", frameWith(AppExtension("NETSCAPE2.0", {{1, 0}})), "Invalid GIF data", nullptr},
      {"unknown label", frameWith({0x21, 0x77, 0}), "Unknown extension type", nullptr},
      {"plain text", frameWith({0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 8, 8, 1, 0, 2, 'h', 'i', 0}), "",
       "TGIFTextExtension"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::unique_ptr<Loaded> l;
    EXPECT_EQ(GifErrorOf([&] { l = Load(c.File); }), c.Error);
    if (!c.Class) continue;
    ASSERT_TRUE(l);
    TGIFExtension* e = l->Image->Images()->GetFrame(0)->Extensions()->GetExtension(0);
    EXPECT_STREQ(e->ClassType()->Name, c.Class);
  }
  // A larger block is written back as an 11-byte one with its sub-blocks.
  auto l = Load(frameWith(big));
  const Bytes out = Save(l->Image.get());
  const Bytes expected = AppExtension("BIGAPPLE1.0", {{1, 2}});
  EXPECT_NE(std::search(out.begin(), out.end(), expected.begin(), expected.end()), out.end());

  // Graphic control: transparency follows the flag, a short block only warns.
  auto t = Load(frameWith({0x21, 0xF9, 4, 0x09, 10, 0, 2, 0}));
  TGIFSubImage* f = t->Image->Images()->GetFrame(0);
  ASSERT_TRUE(f->ControlExtension);
  EXPECT_TRUE(f->HasTransparency);
  EXPECT_EQ(f->ControlExtension->GetDisposal(), 2);
  EXPECT_EQ(f->ControlExtension->GetDelay(), 10);
  f->ControlExtension->SetTransparentColorIndex(200);
  EXPECT_EQ(f->ControlExtension->GetTransparentColorIndex(), 0);
  EXPECT_EQ(t->Warnings, std::vector<std::string>{"Invalid color index"});
  f->Extensions()->Delete(0);
  EXPECT_FALSE(f->HasTransparency);
  EXPECT_EQ(f->ControlExtension, nullptr);
  auto s = Load(Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x21, 0xF9, 4, 1});
  EXPECT_EQ(s->Warnings, std::vector<std::string>{"Premature end of data"});
}

TEST(GifLibModel, ColourTables) {
  TGIFImage img;
  TGIFGlobalColorMap* m = img.GetGlobalColorMap();
  const std::pair<int, int> growth[] = {{1, 16}, {16, 16}, {17, 32}, {33, 64}, {200, 224}, {256, 256}};
  int added = 0;
  for (auto [count, capacity] : growth) {
    while (added < count) m->Add(TColor(added++));
    EXPECT_EQ(m->Capacity(), capacity) << count;
  }
  EXPECT_EQ(GifErrorOf([&] { m->Add(0); }), "Color table overflow");

  m->Clear();
  for (TColor c : {10, 20, 30, 40, 50, 20}) m->Add(c);
  EXPECT_EQ(m->IndexOf(20), 5);
  std::vector<std::string> warnings;
  img.OnGIFWarning = [&](TObject*, Byte, const WideString& M) { warnings.push_back(WideToUtf8(M)); };
  EXPECT_EQ(m->GetColor(300), 10);
  EXPECT_EQ(warnings, std::vector<std::string>{"Invalid color index"});
  TGIFColorMap* local = nullptr;
  {
    auto* f = new TGIFSubImage(&img);
    img.Add(f);
    local = f->LocalColorMap();
    EXPECT_EQ(GifErrorOf([&] { local->GetColor(0); }), "Color table is empty");
  }

  // Sorting by use: entry 3 is the most used, entry 1 unused; pixels and the
  // transparent index follow, and the unused entry is dropped.
  TGIFSubImage* f = img.Images()->GetFrame(0);
  f->SetBoundsRect(0, 0, 8, 1);
  for (TColor c : {0x10, 0x11, 0x12, 0x13}) local->Add(c);
  const Bytes px = {3, 3, 3, 3, 0, 0, 2, 3};
  std::memcpy(f->PixelData.data(), px.data(), 8);
  auto* gce = new TGIFGraphicControlExtension(f);
  f->Extensions()->Add(gce);
  gce->SetTransparent(true);
  gce->SetTransparentColorIndex(2);
  EXPECT_TRUE(local->Optimize());
  EXPECT_EQ(f->PixelData, (Bytes{0, 0, 0, 0, 1, 1, 2, 0}));
  EXPECT_EQ(gce->GetTransparentColorIndex(), 2);
  ASSERT_EQ(local->Count(), 3);
  EXPECT_EQ(local->GetColor(0), 0x13);
  EXPECT_EQ(local->GetColor(1), 0x10);
  EXPECT_EQ(local->GetColor(2), 0x12);
  EXPECT_TRUE(local->Optimized());
  // Already in order: nothing moves, unused entries at the end go.
  local->Add(0x99);
  const Bytes again = f->PixelData;
  EXPECT_TRUE(local->Optimize());
  EXPECT_EQ(f->PixelData, again);
  EXPECT_EQ(local->Count(), 3);
}

TEST(GifLibModel, VersionsAndPackedFields) {
  auto img = MakeImage(2, 2, 3, {0, 1, 2, 0});
  img->Header()->Descriptor.AspectRatio = 49;
  EXPECT_EQ(img->Header()->GetVersion(), 2);
  Bytes out = Save(img.get());
  EXPECT_EQ(std::string(out.begin(), out.begin() + 6), "GIF87a");
  EXPECT_EQ(out[10], 0x80 | 0x10 | 0x01);  // table, resolution 2 bits, 4 entries
  auto* gce = new TGIFGraphicControlExtension(img->Images()->GetFrame(0));
  img->Images()->GetFrame(0)->Extensions()->Add(gce);
  out = Save(img.get());
  EXPECT_EQ(std::string(out.begin(), out.begin() + 6), "GIF89a");

  TGIFImage empty;
  EXPECT_TRUE(empty.Empty());
  EXPECT_EQ(GifErrorOf([&] { Save(&empty); }), "Unsupported GIF version");
  // Without any table both size fields are 7 and the table bit is clear.
  empty.Header()->UpdatePackedFields();
  EXPECT_EQ(empty.Header()->Descriptor.PackedFields, 0x77);

  // A frame with its own table is written without interlacing.
  auto li = MakeImage(3, 3, 2, Bytes(9, 1), true);
  TGIFSubImage* f = li->Images()->GetFrame(0);
  f->LocalColorMap()->Assign(li->GetGlobalColorMap());
  out = Save(li.get());
  auto back = Load(out);
  EXPECT_FALSE(back->Image->Images()->GetFrame(0)->Interlaced());
  EXPECT_EQ(back->Image->Images()->GetFrame(0)->PixelData, Bytes(9, 1));

  // A local table larger than the global one leaves the global table's
  // size field describing the global table.
  auto mixed = MakeImage(2, 1, 4, {0, 3});
  for (TColor c = 0; c < 8; ++c) mixed->Images()->GetFrame(0)->LocalColorMap()->Add(c);
  out = Save(mixed.get());
  EXPECT_EQ(out[10] & 7, 1);
  EXPECT_EQ(out[10] & 0x70, 0x20);
  EXPECT_EQ(Load(out)->Image->Images()->GetFrame(0)->PixelData, (Bytes{0, 3}));

  // Frames beyond the screen grow it; narrowing below a frame fails.
  f->SetBoundsRect(4, 0, 3, 3);
  EXPECT_EQ(li->Width(), 7);
  EXPECT_EQ(GifErrorOf([&] { li->SetWidth(6); }), "Image width too small for contained frames");
}

// A frame at (X, Y) of W x H with its own table of Colors entries (none: 0),
// its pixels from Fn(x, y), and a graphic control block.
TGIFSubImage* AddFrame(TGIFImage* Img, int X, int Y, int W, int H, std::vector<TColor> Colors, Byte Disposal,
                       int Transparent, const std::function<Byte(int, int)>& Fn) {
  auto* f = new TGIFSubImage(Img);
  Img->Add(f);
  f->SetBoundsRect(X, Y, W, H);
  for (TColor c : Colors) f->LocalColorMap()->Add(c);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) f->GetScanline(y)[x] = Fn(x, y);
  auto* gce = new TGIFGraphicControlExtension(f);
  f->Extensions()->Add(gce);
  gce->SetDisposal(Disposal);
  gce->SetDelay(5);
  if (Transparent >= 0) {
    gce->SetTransparent(true);
    gce->SetTransparentColorIndex(Byte(Transparent));
  }
  return f;
}

// ImageMagick's coalesced frames as RGBA, all of the size it reports.
std::vector<Rgb> Coalesced(const std::string& Path) {
  int status = -1;
  std::istringstream size(Capture("convert '" + Path + "' -coalesce -format '%w %h\\n' info: 2>/dev/null", &status));
  int w = 0, h = 0;
  size >> w >> h;
  const std::string raw = Capture("convert '" + Path + "' -coalesce -depth 8 rgba:- 2>/dev/null", &status);
  std::vector<Rgb> frames;
  const size_t n = size_t(w) * h;
  for (size_t at = 0; w > 0 && at + 4 * n <= raw.size(); at += 4 * n) {
    Rgb r;
    r.W = w;
    r.H = h;
    for (size_t i = 0; i < n; ++i) {
      const char* p = raw.data() + at + 4 * i;
      r.Pixels.insert(r.Pixels.end(), {Byte(p[0]), Byte(p[1]), Byte(p[2])});
      r.Alpha.push_back(Byte(p[3]));
    }
    frames.push_back(r);
  }
  return frames;
}

TEST(GifLibComposedLoads, EveryFrameComposesAsImageMagickCoalescesIt) {
  ASSERT_TRUE(HaveTool("convert")) << "convert missing";
  IEBuildFormatRegistry();
  TempDir dir("gifcompose");
  // A full first frame in black and white; a frame with its own colours and a transparent
  // colour, restored to background; one restored to what was there before,
  // then covered by the next; and a last frame that reaches past the screen.
  TGIFImage img;
  for (TColor c : {0x000000, 0x0000FF, 0x00FF00, 0xFF0000}) img.GetGlobalColorMap()->Add(c);
  // Frame 0 alone is black and white, which a one-frame load keeps as 1 bit.
  AddFrame(&img, 0, 0, 10, 8, {0x000000, 0xFFFFFF}, 1, -1, [](int x, int y) { return Byte((x + 2 * y) % 3 == 0); });
  AddFrame(&img, 2, 1, 4, 3, {0x1020F0, 0x30C050, 0x8090A0}, 2, 2, [](int x, int y) { return Byte((x * y) % 3); });
  AddFrame(&img, 5, 4, 3, 3, {0xABCDEF, 0x123456}, 3, -1, [](int x, int) { return Byte(x & 1); });
  AddFrame(&img, 5, 4, 3, 3, {0x777777, 0x0A0B0C}, 0, -1, [](int, int y) { return Byte(y & 1); });
  AddFrame(&img, 8, 6, 4, 3, {0x445566, 0xFFEEDD, 0x010203, 0xF0F0F0}, 1, 0, [](int x, int y) { return Byte((x + y) % 4); });
  img.Header()->Descriptor.ScreenWidth = 10;
  img.Header()->Descriptor.ScreenHeight = 8;
  const std::string path = dir.File("anim.gif");
  TMemoryStream s;
  img.SaveToStream(&s);
  gt_test::WriteFileBytes(path, Contents(s));
  const std::vector<Rgb> theirs = Coalesced(path);
  ASSERT_EQ(theirs.size(), 5u);
  for (int index = 0; index < 5; ++index) {
    SCOPED_TRACE(index);
    TZiduzUvIO io(nullptr);
    io.Params().GIF_IMAGEINDEX = index;
    EXPECT_EQ(io.LoadFromFileGIF(Wide(path)), 5);
    ASSERT_FALSE(io.Aborting());
    const Rgb ours = ToRgb(io.IEBitmap());
    // The canvas grows to hold the frame that reaches past the screen.
    EXPECT_EQ(ours.W, index == 4 ? 12 : 10);
    EXPECT_EQ(ours.H, index == 4 ? 9 : 8);
    EXPECT_EQ(io.IEBitmap()->PixelFormat(), ie24RGB);
    const Rgb& im = theirs[size_t(index)];
    int compared = 0;
    for (int y = 0; y < std::min(ours.H, im.H); ++y)
      for (int x = 0; x < std::min(ours.W, im.W); ++x) {
        const size_t o = size_t(y) * ours.W + x, t = size_t(y) * im.W + x;
        ASSERT_EQ(ours.Alpha[o] == 255, im.Alpha[t] == 255) << x << "," << y;
        if (im.Alpha[t] != 255) continue;
        ++compared;
        ASSERT_EQ(Bytes(ours.Pixels.begin() + long(3 * o), ours.Pixels.begin() + long(3 * o + 3)),
                  Bytes(im.Pixels.begin() + long(3 * t), im.Pixels.begin() + long(3 * t + 3)))
            << x << "," << y;
      }
    EXPECT_GT(compared, 40);
  }
  // An index beyond the last frame gives the last composed frame.
  TZiduzUvIO io(nullptr);
  io.Params().GIF_IMAGEINDEX = 9;
  EXPECT_EQ(io.LoadFromFileGIF(Wide(path)), 5);
  EXPECT_EQ(io.IEBitmap()->Width(), 12);
}

TGIFImage* FourGlobalColours(TGIFImage* Img) {
  for (TColor c : {0x000000, 0xFF0000, 0x00FF00, 0x0000FF}) Img->GetGlobalColorMap()->Add(c);
  return Img;
}

TEST(GifLibOptimize, CropAndMerge) {
  TGIFImage img;
  FourGlobalColours(&img);
  // Transparent but for one pixel: a 1 x 1 frame at its place.
  TGIFSubImage* f = AddFrame(&img, 2, 1, 10, 10, {}, 0, 3, [](int x, int y) { return Byte(x == 3 && y == 4 ? 1 : 3); });
  f->Crop();
  EXPECT_EQ(f->BoundsRect().Left, 5);
  EXPECT_EQ(f->BoundsRect().Top, 5);
  EXPECT_EQ(f->Width(), 1);
  EXPECT_EQ(f->Height(), 1);
  EXPECT_EQ(f->PixelData, Bytes{1});
  TGIFSubImage* clear = AddFrame(&img, 0, 0, 4, 4, {}, 0, 2, [](int, int) { return Byte(2); });
  clear->Crop();
  EXPECT_TRUE(clear->IsEmpty());
  EXPECT_EQ(clear->Extensions()->GetCount(), 0);

  // Merging over a frame restored to the background changes nothing; over
  // one that stays, repeated pixels take the transparent colour the frames
  // on the global table share (3, of the first frame above).
  const auto pattern = [](int x, int y) { return Byte((x + y) % 3); };
  TGIFSubImage* under = AddFrame(&img, 0, 0, 6, 4, {}, 2, -1, pattern);
  TGIFSubImage* over = AddFrame(&img, 2, 0, 4, 4, {}, 0, -1, [](int x, int y) { return Byte(y == 2 ? 0 : (x + 2 + y) % 3); });
  const Bytes before = over->PixelData;
  over->Merge(under);
  EXPECT_EQ(over->PixelData, before);
  under->ControlExtension->SetDisposal(1);
  over->Merge(under);
  ASSERT_TRUE(over->HasTransparency);
  EXPECT_EQ(over->TransparentIndex(), 3);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      const bool same = pattern(x + 2, y) == before[size_t(4 * y + x)];
      EXPECT_EQ(over->PixelData[size_t(4 * y + x)], same ? 3 : before[size_t(4 * y + x)]) << x << "," << y;
    }
}

TEST(GifLibOptimize, OptimizeOptions) {
  TGIFImage empty;
  EXPECT_NO_THROW(empty.Optimize(0x1F, 0, 0, 8));
  EXPECT_TRUE(empty.Empty());

  // A fully transparent frame goes and its wait joins the frame before,
  // up to the longest delay a block can hold.
  TGIFImage anim;
  FourGlobalColours(&anim);
  AddFrame(&anim, 0, 0, 4, 4, {}, 1, 0, [](int x, int) { return Byte(x % 2 + 1); })->ControlExtension->SetDelay(30000);
  AddFrame(&anim, 0, 0, 4, 4, {}, 1, 0, [](int, int) { return Byte(0); })->ControlExtension->SetDelay(40000);
  anim.Optimize(goptCrop, 0, 0, 8);
  ASSERT_EQ(anim.Images()->GetCount(), 1);
  EXPECT_EQ(anim.Images()->GetFrame(0)->ControlExtension->GetDelay(), 65535);

  // Clean-up of a single frame: loop, comment and a control block without
  // transparency go; so does the transparency of a frame that never uses
  // its transparent colour, and then its control block.
  TGIFImage one;
  FourGlobalColours(&one);
  TGIFSubImage* f = AddFrame(&one, 0, 0, 3, 3, {}, 2, 3, [](int x, int) { return Byte(x); });
  f->Extensions()->Add(new TGIFAppExtNSLoop(f));
  auto* c = new TGIFCommentExtension(f);
  c->CommentLines = {"note"};
  f->Extensions()->Add(c);
  one.Optimize(goptCleanup, 0, 0, 8);
  EXPECT_FALSE(f->HasTransparency);
  EXPECT_EQ(f->Extensions()->GetCount(), 0);
  const Bytes out = Save(&one);
  EXPECT_EQ(std::string(out.begin(), out.begin() + 6), "GIF87a");
  EXPECT_EQ(GifErrorOf([&] { one.Optimize(goptReduceColors, 9, 0, 8); }), "Invalid reduction method");
  EXPECT_EQ(GifErrorOf([&] { one.Optimize(goptReduceColors | goptCleanup, 9, 0, 8); }), "");
}

TEST(GifLibOptimize, TheAnimationStillShowsTheSame) {
  ASSERT_TRUE(HaveTool("convert")) << "convert missing";
  TGIFImage img;
  FourGlobalColours(&img);
  const auto base = [](int x, int y) { return Byte((x + y) % 4); };
  AddFrame(&img, 0, 0, 12, 10, {}, 1, -1, base);
  // The same picture but for a small block: merging and cropping leave the block.
  AddFrame(&img, 0, 0, 12, 10, {}, 1, -1, [&](int x, int y) { return x >= 4 && x < 7 && y >= 4 && y < 6 ? Byte(x % 3) : base(x, y); });
  // A ring of transparency around a square, restored to the background,
  // then covered entirely by an opaque frame.
  AddFrame(&img, 2, 2, 5, 5, {}, 2, 3, [](int x, int y) { return Byte(x == 0 || y == 0 || x == 4 || y == 4 ? 3 : 1); });
  AddFrame(&img, 1, 1, 8, 8, {}, 1, -1, [](int x, int y) { return Byte((x * y) % 3); });
  AddFrame(&img, 6, 0, 6, 4, {0x102030, 0x405060}, 0, -1, [](int x, int y) { return Byte((x + y) & 1); });
  TempDir dir("gifopt");
  TMemoryStream s;
  img.SaveToStream(&s);
  gt_test::WriteFileBytes(dir.File("before.gif"), Contents(s));
  img.Optimize(goptCrop | goptMerge | goptCleanup | goptColorMaps, 0, 0, 8);
  ASSERT_EQ(img.Images()->GetCount(), 5);
  EXPECT_LT(img.Images()->GetFrame(1)->Width(), 12);
  EXPECT_EQ(img.Images()->GetFrame(2)->ControlExtension->GetDisposal(), 0);
  TMemoryStream t;
  img.SaveToStream(&t);
  gt_test::WriteFileBytes(dir.File("after.gif"), Contents(t));
  EXPECT_LT(t.Size(), s.Size());
  const std::vector<Rgb> a = Coalesced(dir.File("before.gif")), b = Coalesced(dir.File("after.gif"));
  ASSERT_EQ(a.size(), 5u);
  ASSERT_EQ(b.size(), 5u);
  for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i], b[i]) << "frame " << i;
}

}  // namespace
}  // namespace giflib_tests
