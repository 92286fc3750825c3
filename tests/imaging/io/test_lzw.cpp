// The LZW codecs against the outside tools: TIFF strips made by libtiff's
// tiffcp (both fill orders) and read back by libtiff through Pillow, GIF
// frames made by ImageMagick, giflib and gifsicle and read back by Pillow and
// giflib's gif2rgb; and the corrupt streams each decoder must refuse.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/io/ielzw.h"
#include "io_test_util.h"
#include "tests/support/lcg.h"
#include "tests/support/process.h"
#include "tests/support/stream_bytes.h"

namespace test_lzw_tests {

using io_test::Bytes;
using gt_test::Capture;
using gt_test::HaveTool;
using gt_test::Shell;

namespace {

const std::string kPy = "/usr/bin/python3";

// Pictures whose LZW streams differ in kind: noise fills the table and forces
// clears, flat areas make strings far longer than a row, gradients sit between.
enum TContent { cNoise, cFlat, cRamp };

Bytes MakeSamples(Integer W, Integer H, Integer S, TContent Kind, Integer Levels = 256, uint32_t Seed = 3) {
  Bytes b(size_t(W) * H * S);
  gt_test::Lcg r(Seed);
  for (size_t i = 0; i < b.size(); ++i) {
    const size_t px = i / S, x = px % W, y = px / W;
    uint32_t v = 0;
    switch (Kind) {
      case cNoise: v = r.Next(); break;
      case cFlat: v = (x < size_t(W) / 2 ? 7 : 200) + (y / 50); break;
      case cRamp: v = uint32_t(x + 3 * y + (i % S) * 40); break;
    }
    b[i] = Byte(v % uint32_t(Levels));
  }
  return b;
}

std::string Arg(const std::string& S) { return "'" + S + "'"; }

// ---------------------------------------------------------------- TIFF

struct TLZWStrip {
  Bytes Data;
  bool Ok = false;
};

// One LZW strip written by tiffcp from an uncompressed TIFF of Raw.
TLZWStrip TiffcpStrip(const io_test::TempDir& Dir, const Bytes& Raw, Integer W, Integer H, Integer S,
                      bool FillOrder2) {
  TLZWStrip out;
  const std::string raw = Dir.File("raw.bin"), none = Dir.File("none.tif"), lzw = Dir.File("lzw.tif");
  io_test::WriteFile(raw, Raw);
  const std::string shape = std::to_string(H) + "," + std::to_string(W) + "," + std::to_string(S);
  if (Shell(kPy + " -c \"import numpy, tifffile; a = numpy.fromfile('" + raw + "', dtype=numpy.uint8).reshape(" +
            shape + "); tifffile.imwrite('" + none + "', a, photometric='" + (S == 3 ? "rgb" : "minisblack") +
            "', rowsperstrip=" + std::to_string(H) + ")\"") != 0)
    return out;
  if (Shell("tiffcp -c lzw -r " + std::to_string(H) + (FillOrder2 ? " -f lsb2msb " : " ") + Arg(none) + " " +
            Arg(lzw)) != 0)
    return out;
  int status = -1;
  const std::string strip =
      Capture(kPy + " -c \"import sys, tifffile; p = tifffile.TiffFile('" + lzw +
                  "').pages[0]; assert len(p.dataoffsets) == 1 and p.compression == 5; f = open('" + lzw +
                  "', 'rb'); f.seek(p.dataoffsets[0]); sys.stdout.buffer.write(f.read(p.databytecounts[0]))\"",
              &status);
  out.Data.assign(strip.begin(), strip.end());
  out.Ok = status == 0 && !strip.empty();
  return out;
}

// Decodes a whole strip in chunks of Chunk bytes; empty when a call fails.
Bytes DecodeStrip(const Bytes& Strip, size_t Total, Integer Chunk, Integer FillOrder = 1) {
  Bytes out;
  void* state = nullptr;
  while (out.size() < Total) {
    const Byte* p = IETIFFLZWDecompress(Strip.data(), Integer(Strip.size()), Chunk, state, FillOrder);
    if (!p) {
      out.clear();
      break;
    }
    out.insert(out.end(), p, p + Chunk);
  }
  IETIFFLZWDecompress(nullptr, 0, 0, state, FillOrder);
  EXPECT_EQ(state, nullptr);
  if (out.size() > Total) out.resize(Total);
  return out;
}

// Encodes Raw one row per call, as the TIFF and PDF writers do.
Bytes EncodeRows(const Bytes& Raw, size_t RowLen) {
  TMemoryStream s;
  void* state = nullptr;
  for (size_t at = 0; at < Raw.size(); at += RowLen)
    IETIFFLZWCompress(Raw.data() + at, Integer(std::min(RowLen, Raw.size() - at)), &s, state);
  IETIFFLZWCompress(nullptr, 0, &s, state);
  EXPECT_EQ(state, nullptr);
  return gt_test::StreamBytes(s);
}

// A one-strip, 8-bit TIFF around an LZW strip, as small as libtiff accepts.
Bytes WrapTiff(const Bytes& Strip, Integer W, Integer H, Integer S) {
  const uint32_t dataAt = 8 + 2 + 10 * 12 + 4;
  Bytes f = io_test::MakeTiff({{256, 4, 1, uint32_t(W)},
                               {257, 4, 1, uint32_t(H)},
                               {258, 3, 1, 8},
                               {259, 3, 1, 5},
                               {262, 3, 1, S == 3 ? 2u : 1u},
                               {273, 4, 1, dataAt},
                               {277, 3, 1, uint32_t(S)},
                               {278, 4, 1, uint32_t(H)},
                               {279, 4, 1, uint32_t(Strip.size())},
                               {284, 3, 1, 1}},
                              false, 0);
  EXPECT_EQ(f.size(), dataAt);
  f.insert(f.end(), Strip.begin(), Strip.end());
  return f;
}

struct TTiffCase {
  const char* Name;
  Integer W, H, S;
  TContent Kind;
};
const TTiffCase kTiffCases[] = {
    {"noise RGB, many clears", 300, 200, 3, cNoise},
    {"flat grey, strings longer than a row", 1000, 120, 1, cFlat},
    {"ramp RGB", 257, 61, 3, cRamp},
    {"one pixel", 1, 1, 1, cNoise},
};

TEST(TiffLZW, StripsOfTiffcpDecodeInBothFillOrdersWholeAndByRows) {
  ASSERT_TRUE(HaveTool("tiffcp")) << "tiffcp missing (scripts/install-deps.sh installs it)";
  io_test::TempDir dir;
  for (const TTiffCase& c : kTiffCases) {
    SCOPED_TRACE(c.Name);
    const Bytes raw = MakeSamples(c.W, c.H, c.S, c.Kind);
    const TLZWStrip msb = TiffcpStrip(dir, raw, c.W, c.H, c.S, false);
    const TLZWStrip lsb = TiffcpStrip(dir, raw, c.W, c.H, c.S, true);
    ASSERT_TRUE(msb.Ok && lsb.Ok) << "fixture not made";
    // The second fill order holds the same stream, each byte bit-reversed.
    ASSERT_EQ(msb.Data.size(), lsb.Data.size());
    EXPECT_NE(msb.Data, lsb.Data);
    const Integer row = c.W * c.S;
    EXPECT_EQ(DecodeStrip(msb.Data, raw.size(), Integer(raw.size())), raw);
    EXPECT_EQ(DecodeStrip(msb.Data, raw.size(), row), raw);
    EXPECT_EQ(DecodeStrip(lsb.Data, raw.size(), row, 2), raw);
    EXPECT_EQ(DecodeStrip(lsb.Data, raw.size(), 7, 2), raw);
  }
}

TEST(TiffLZW, EncodedStripsReadBackThroughLibtiff) {
  io_test::TempDir dir;
  for (const TTiffCase& c : kTiffCases) {
    SCOPED_TRACE(c.Name);
    const Bytes raw = MakeSamples(c.W, c.H, c.S, c.Kind, 256, 11);
    const Bytes strip = EncodeRows(raw, size_t(c.W) * c.S);
    // Every stream opens with Clear: the first nine bits are 256.
    ASSERT_GE(strip.size(), 2u);
    EXPECT_EQ((strip[0] << 1) | (strip[1] >> 7), 256);
    EXPECT_EQ(DecodeStrip(strip, raw.size(), c.W * c.S), raw);
    const std::string f = dir.File("ours.tif");
    io_test::WriteFile(f, WrapTiff(strip, c.W, c.H, c.S));
    int status = -1;
    const std::string back = Capture(
        kPy + " -c \"import sys; from PIL import Image; sys.stdout.buffer.write(Image.open('" + f + "').tobytes())\"",
        &status);
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(back.size() == raw.size() && std::memcmp(back.data(), raw.data(), raw.size()) == 0);
  }
}

// A hand-made stream: codes written most significant bit first, 9 bits wide.
Bytes Codes9(const std::vector<Integer>& Codes) {
  Bytes b;
  uint32_t acc = 0;
  Integer bits = 0;
  for (Integer c : Codes) {
    acc = (acc << 9) | uint32_t(c);
    bits += 9;
    while (bits >= 8) b.push_back(Byte(acc >> (bits -= 8)));
  }
  if (bits) b.push_back(Byte(acc << (8 - bits)));
  return b;
}

TEST(TiffLZW, CutAndCorruptStrips) {
  struct TCase {
    const char* Name;
    std::vector<Integer> Codes;
    Integer Count;
    bool Fails;
    Bytes Expect;  // the chunk when it does not fail
  };
  const TCase cases[] = {
      // Running out of input ends the strip: what was decoded stays, the rest is zero.
      {"no End code", {256, 65, 66, 258}, 8, false, {65, 66, 65, 66, 0, 0, 0, 0}},
      {"End before the chunk is full", {256, 1, 257, 2}, 3, false, {1, 0, 0}},
      {"first code without Clear", {65, 65, 257}, 2, false, {65, 65}},
      {"first code is no byte", {300, 257}, 2, true, {}},
      {"code after Clear is no byte", {256, 258, 257}, 2, true, {}},
      {"repeated Clears", {256, 256, 256, 9, 257}, 1, false, {9}},
      {"code beyond the table ends the strip", {256, 5, 400, 6}, 3, false, {5, 0, 0}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    // The exact size matters: reading past it is what the sanitizer build catches.
    const Bytes in = Codes9(c.Codes);
    std::vector<Byte> exact(in.begin(), in.end());
    void* state = nullptr;
    const Byte* p = IETIFFLZWDecompress(exact.data(), Integer(exact.size()), c.Count, state, 1);
    if (c.Fails) {
      EXPECT_EQ(p, nullptr);
    } else {
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(Bytes(p, p + c.Count), c.Expect);
    }
    IETIFFLZWDecompress(nullptr, 0, 0, state, 1);
  }
  // A strip cut anywhere never reads outside its bytes and keeps its decoded prefix.
  const Bytes raw = MakeSamples(64, 64, 1, cRamp);
  const Bytes strip = EncodeRows(raw, 64);
  for (size_t cut : {size_t(1), size_t(2), strip.size() / 3, strip.size() - 3}) {
    SCOPED_TRACE(cut);
    std::vector<Byte> part(strip.begin(), strip.begin() + long(cut));
    void* state = nullptr;
    const Byte* p = IETIFFLZWDecompress(part.data(), Integer(part.size()), Integer(raw.size()), state, 1);
    ASSERT_NE(p, nullptr);
    size_t same = 0;
    while (same < raw.size() && p[same] == raw[same]) ++same;
    EXPECT_LT(same, raw.size());
    EXPECT_GE(int64_t(same), (int64_t(cut) * 8 - 24) / 12);  // at least one byte per whole code
    IETIFFLZWDecompress(nullptr, 0, 0, state, 1);
  }
}

// ---------------------------------------------------------------- GIF

// Where the first image's LZW data (its code-size byte) start; 0 when not found.
size_t FirstImageData(const Bytes& G, bool* Interlaced = nullptr) {
  if (G.size() < 13) return 0;
  size_t p = 13;
  if (G[10] & 0x80) p += 3u << ((G[10] & 7) + 1);
  while (p < G.size()) {
    if (G[p] == 0x21) {
      p += 2;
      while (p < G.size() && G[p]) p += G[p] + 1u;
      ++p;
    } else if (G[p] == 0x2C && p + 10 <= G.size()) {
      const Byte flags = G[p + 9];
      if (Interlaced) *Interlaced = flags & 0x40;
      p += 10;
      if (flags & 0x80) p += 3u << ((flags & 7) + 1);
      return p < G.size() ? p : 0;
    } else {
      return 0;
    }
  }
  return 0;
}

struct TGifFrame {
  Bytes File;
  Integer W = 0, H = 0;
};

// Decodes the first frame of a GIF file; false when the decoder refused it.
bool DecodeGifFrame(const Bytes& G, Integer W, Integer H, Bytes& Pixels, int64_t* EndPos = nullptr) {
  bool interlaced = false;
  const size_t at = FirstImageData(G, &interlaced);
  EXPECT_NE(at, 0u);
  TMemoryStream s;
  io_test::Fill(s, G, int64_t(at));
  Pixels.assign(size_t(W) * H, 0xEE);
  IEGIFLZWDecompress(&s, H, W, interlaced, Pixels.data());
  if (EndPos) *EndPos = s.Position();
  return s.Position() != int64_t(at);
}

std::string PillowIndexes(const std::string& File, int* Status) {
  return Capture(kPy + " -c \"import sys; from PIL import Image; im = Image.open('" + File +
                     "'); assert im.mode == 'P'; sys.stdout.buffer.write(im.tobytes())\"",
                 Status);
}

TEST(GifLZW, FramesOfOtherEncodersDecodeAsPillowReadsThem) {
  ASSERT_TRUE(HaveTool("convert") && HaveTool("gifsicle") && HaveTool("giffix")) << "GIF tools missing (scripts/install-deps.sh installs it)";
  io_test::TempDir dir;
  struct TCase {
    const char* Name;
    Integer W, H, Levels;
    TContent Kind;
    const char* Tool;  // how the frame is made from ImageMagick's
  };
  const TCase cases[] = {
      {"2 colours, ImageMagick", 37, 21, 2, cNoise, ""},
      {"4 colours, giflib", 64, 40, 4, cRamp, "giffix"},
      {"16 colours, gifsicle interlaced", 50, 33, 16, cNoise, "gifsicle --interlace"},
      {"64 colours, giflib", 120, 90, 64, cFlat, "giffix"},
      {"256 colours noise, ImageMagick", 200, 150, 256, cNoise, ""},
      {"256 colours, gifsicle interlaced", 90, 77, 256, cRamp, "gifsicle --interlace"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    // A picture of Levels distinct colours: ImageMagick keeps them as the palette.
    const Bytes index = MakeSamples(c.W, c.H, 1, c.Kind, c.Levels);
    Bytes ppm = io_test::Str("P6\n" + std::to_string(c.W) + " " + std::to_string(c.H) + "\n255\n");
    for (Byte v : index) ppm.insert(ppm.end(), {v, Byte(255 - v), Byte(v * 7)});
    const std::string src = dir.File("src.ppm"), im = dir.File("im.gif"), out = dir.File("out.gif");
    io_test::WriteFile(src, ppm);
    ASSERT_EQ(Shell("convert " + Arg(src) + " " + Arg(im)), 0);
    const std::string made = *c.Tool ? out : im;
    if (*c.Tool) {
      ASSERT_EQ(Shell(std::string(c.Tool) + " " + Arg(im) + " > " + Arg(out)), 0);
    }
    const Bytes g = io_test::ReadFile(made);
    int status = -1;
    const std::string expect = PillowIndexes(made, &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(expect.size(), size_t(c.W) * c.H);
    Bytes pixels;
    int64_t endPos = 0;
    ASSERT_TRUE(DecodeGifFrame(g, c.W, c.H, pixels, &endPos));
    EXPECT_EQ(std::string(pixels.begin(), pixels.end()), expect);
    // The stream is left after the block terminator: the trailer follows.
    ASSERT_LT(size_t(endPos), g.size());
    EXPECT_EQ(g[size_t(endPos)], 0x3B);
  }
}

// A GIF file around one frame of our encoder, with a palette of distinct colours.
Bytes WrapGif(const Bytes& Lzw, Integer W, Integer H, Integer Bits, bool Interlaced) {
  Bytes g = io_test::Str("GIF89a");
  auto u16 = [&](Integer v) {
    g.push_back(Byte(v));
    g.push_back(Byte(v >> 8));
  };
  u16(W);
  u16(H);
  g.push_back(Byte(0x80 | 0x70 | (Bits - 1)));
  g.push_back(0);
  g.push_back(0);
  for (Integer i = 0; i < (1 << Bits); ++i) {
    g.push_back(Byte(i));
    g.push_back(Byte(255 - i));
    g.push_back(Byte(i * 7));
  }
  g.push_back(0x2C);
  u16(0);
  u16(0);
  u16(W);
  u16(H);
  g.push_back(Interlaced ? 0x40 : 0);
  g.insert(g.end(), Lzw.begin(), Lzw.end());
  g.push_back(0x3B);
  return g;
}

TEST(GifLZW, EncodedFramesReadBackThroughPillowAndGiflib) {
  io_test::TempDir dir;
  const bool giflib = HaveTool("gif2rgb");
  struct TCase {
    const char* Name;
    Integer W, H, Bits;
    bool Interlaced;
    TContent Kind;
  };
  const TCase cases[] = {
      {"one pixel", 1, 1, 8, false, cNoise},
      {"one bit per pixel written with code size 2", 33, 17, 1, false, cNoise},
      {"interlaced, 9 rows", 13, 9, 4, true, cRamp},
      {"256 colours noise, many clears", 211, 160, 8, false, cNoise},
      {"flat, long strings", 600, 50, 3, true, cFlat},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const Bytes px = MakeSamples(c.W, c.H, 1, c.Kind, 1 << c.Bits, 5);
    TMemoryStream s;
    IEGIFLZWCompress(&s, c.H, c.W, c.Interlaced, px.data(), c.Bits);
    const Bytes lzw = gt_test::StreamBytes(s);
    ASSERT_GE(lzw.size(), 4u);
    const Integer codeSize = c.Bits < 2 ? 2 : c.Bits;
    EXPECT_EQ(lzw[0], codeSize);
    // The first code is Clear, least significant bit first.
    const uint32_t first = (lzw[2] | lzw[3] << 8) & ((1u << (codeSize + 1)) - 1);
    EXPECT_EQ(first, 1u << codeSize);
    EXPECT_EQ(lzw.back(), 0);

    const Integer paletteBits = c.Bits < 2 ? 2 : c.Bits;
    const Bytes file = WrapGif(lzw, c.W, c.H, paletteBits, c.Interlaced);
    const std::string f = dir.File("ours.gif");
    io_test::WriteFile(f, file);
    Bytes back;
    ASSERT_TRUE(DecodeGifFrame(file, c.W, c.H, back));
    EXPECT_EQ(back, px);
    int status = -1;
    const std::string pil = PillowIndexes(f, &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(Bytes(pil.begin(), pil.end()), px);
    if (giflib) {
      const std::string rgb = dir.File("ours.rgb");
      ASSERT_EQ(Shell("gif2rgb -1 -o " + Arg(rgb) + " " + Arg(f)), 0);
      const Bytes colours = io_test::ReadFile(rgb);
      ASSERT_EQ(colours.size(), px.size() * 3);
      size_t wrong = 0;
      for (size_t i = 0; i < px.size(); ++i)
        wrong += colours[3 * i] != px[i] || colours[3 * i + 1] != Byte(255 - px[i]) ||
                 colours[3 * i + 2] != Byte(px[i] * 7);
      EXPECT_EQ(wrong, 0u);
    }
  }
}

// GIF codes written least significant bit first with the GIF width rule:
// the width grows once the next free code reaches 2^width, up to 12 bits.
struct TGifCodeWriter {
  Bytes Data;
  uint32_t Acc = 0;
  Integer Bits = 0, Width, Next, Root;
  explicit TGifCodeWriter(Integer RootBits) : Width(RootBits + 1), Next((1 << RootBits) + 2), Root(RootBits) {}
  void Put(Integer Code, bool AddsEntry) {
    Acc |= uint32_t(Code) << Bits;
    Bits += Width;
    while (Bits >= 8) {
      Data.push_back(Byte(Acc));
      Acc >>= 8;
      Bits -= 8;
    }
    if (AddsEntry && Next < 4096 && ++Next == (1 << Width) && Width < 12) ++Width;
  }
  void Clear() {
    Put(1 << Root, false);
    Width = Root + 1;
    Next = (1 << Root) + 2;
  }
  Bytes Frame() {
    Bytes d = Data;
    if (Bits) d.push_back(Byte(Acc));
    Bytes f{Byte(Root)};
    for (size_t at = 0; at < d.size(); at += 255) {
      const size_t n = std::min<size_t>(255, d.size() - at);
      f.push_back(Byte(n));
      f.insert(f.end(), d.begin() + long(at), d.begin() + long(at + n));
    }
    f.push_back(0);
    return f;
  }
};

TEST(GifLZW, HandMadeStreams) {
  struct TCase {
    const char* Name;
    Bytes Frame;
    Integer W, H;
    bool Accepted;
    Bytes Expect;
  };
  std::vector<TCase> cases;
  {
    // The table fills at 12 bits and the encoder goes on without Clear: every
    // code after that adds nothing (deferred clear, allowed by GIF89a).
    TGifCodeWriter w(8);
    w.Clear();
    Bytes expect;
    for (Integer i = 0; i < 4200; ++i) {
      const Integer v = (i * 37) & 0xFF;
      w.Put(v, i > 0);
      expect.push_back(Byte(v));
    }
    w.Put(257, false);
    cases.push_back({"deferred clear", w.Frame(), 4200, 1, true, expect});
  }
  {
    TGifCodeWriter w(2);
    w.Clear();
    w.Put(5, false);
    cases.push_back({"Clear then End, nothing after", w.Frame(), 2, 1, true, {0xEE, 0xEE}});
    w.Put(1, false);
    w.Put(2, false);
    w.Put(3, false);
    cases.push_back({"Clear then End, then more data", w.Frame(), 2, 1, false, {}});
  }
  {
    TGifCodeWriter w(2);
    w.Clear();
    w.Put(1, false);
    w.Put(7, true);  // next free is 6: a code beyond it
    cases.push_back({"code beyond the next free code", w.Frame(), 4, 1, false, {}});
  }
  {
    TGifCodeWriter w(2);
    w.Clear();
    w.Put(1, false);
    w.Put(6, true);  // the code being defined: previous string + its own first byte
    w.Put(2, true);
    w.Put(5, false);
    cases.push_back({"code equal to the next free code, pixels past the last row dropped", w.Frame(), 3, 1, true,
                     {1, 1, 1}});
  }
  cases.push_back({"code size 1", Bytes{1, 1, 0x04, 0}, 1, 1, false, {}});
  cases.push_back({"code size 10", Bytes{10, 2, 0x00, 0x04, 0}, 1, 1, false, {}});

  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const Bytes file = io_test::Cat({Bytes{0xAA, 0xBB}, c.Frame, Bytes{0x3B}});
    TMemoryStream s;
    io_test::Fill(s, file, 2);
    Bytes px(size_t(c.W) * c.H, 0xEE);
    IEGIFLZWDecompress(&s, c.H, c.W, false, px.data());
    if (!c.Accepted) {
      EXPECT_EQ(s.Position(), 2);
      continue;
    }
    EXPECT_EQ(s.Position(), int64_t(file.size()) - 1);
    EXPECT_EQ(px, c.Expect);
  }
}

}  // namespace

}  // namespace test_lzw_tests
