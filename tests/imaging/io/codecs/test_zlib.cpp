// Deflate streams: cross-decoding with Python's zlib, position and seek rules,
// errors, the output cap and streams that must fail instead of hanging.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "codec_test_util.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/io/iezlib.h"

namespace test_zlib_tests {

using namespace codec_test;
using io_test::Shell;
using io_test::TempDir;

namespace {

// 200 KB of text-like data: compressible, and larger than the 64 KB buffer.
Bytes Sample(size_t N = 200000) {
  Bytes b(N);
  uint32_t s = 7;
  for (size_t i = 0; i < N; ++i) {
    s = s * 1103515245u + 12345u;
    b[i] = Byte("abcdefgh ijklmnop\n"[(s >> 16) % 18]);
  }
  return b;
}

Bytes Compress(const Bytes& Data, Integer Level) {
  TMemoryStream out;
  {
    TZCompressionStream z(&out, Level);
    z.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
    z.Finish();
  }
  return Contents(out);
}

Bytes InflateStream(const Bytes& Z) {
  TMemoryStream in;
  io_test::Fill(in, Z);
  TZDecompressionStream z(&in);
  Bytes out;
  Byte buf[10000];
  int64_t n;
  while ((n = z.Read(buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
  return out;
}

std::string Python(const std::string& Code) { return "/usr/bin/python3 -c '" + Code + "'"; }

template <class E>
void ExpectRaise(const std::function<void()>& F, const char* Message) {
  try {
    F();
    ADD_FAILURE() << "nothing raised, expected " << Message;
  } catch (const E& e) {
    EXPECT_EQ(std::string(e.what()), Message);
  }
}

}  // namespace

TEST(ZLib, LevelsMapToZlibLevels) {
  struct { Integer level; int zlib; } cases[] = {{0, 0}, {1, 1}, {2, -1}, {3, 9}, {7, -1}};
  for (auto c : cases) EXPECT_EQ(ZLevelOf(c.level), c.zlib) << c.level;
}

TEST(ZLib, CrossDecodesWithPythonZlibBothWays) {
  TempDir dir;
  const Bytes data = Sample();
  io_test::WriteFile(dir.File("plain"), data);
  struct { Integer ours; int python; } levels[] = {{0, 0}, {1, 1}, {2, 6}, {3, 9}};
  for (auto l : levels) {
    SCOPED_TRACE(l.python);
    // Ours -> Python.
    const std::string z = dir.File("ours" + std::to_string(l.ours));
    io_test::WriteFile(z, Compress(data, l.ours));
    ASSERT_EQ(Shell(Python("import zlib,sys; d=zlib.decompress(open(\"" + z + "\",\"rb\").read()); "
                           "sys.exit(0 if d==open(\"" + dir.File("plain") + "\",\"rb\").read() else 1)")),
              0);
    // Python -> ours, through the stream and through the whole-buffer routine.
    const std::string p = dir.File("py" + std::to_string(l.python));
    ASSERT_EQ(Shell(Python("import zlib; open(\"" + p + "\",\"wb\").write(zlib.compress(open(\"" +
                           dir.File("plain") + "\",\"rb\").read()," + std::to_string(l.python) + "))")),
              0);
    const Bytes pz = io_test::ReadFile(p);
    EXPECT_EQ(InflateStream(pz), data);
    void* out = nullptr;
    Integer outSize = 0;
    ZDecompressBuffer(pz.data(), static_cast<Integer>(pz.size()), out, outSize, 0);
    ASSERT_EQ(outSize, static_cast<Integer>(data.size()));
    EXPECT_EQ(std::memcmp(out, data.data(), data.size()), 0);
    std::free(out);
  }
}

TEST(ZLib, CompressionStreamCountsUncompressedBytesAndIgnoresSeeks) {
  TMemoryStream out;
  TZCompressionStream z(&out, zcDefault);
  const Bytes data = Sample(1000);
  z.WriteBuffer(data.data(), 1000);
  EXPECT_EQ(z.Position(), 1000);
  EXPECT_EQ(z.Size(), 1000);
  z.SetPosition(5);
  EXPECT_EQ(z.Position(), 1000);
  ExpectRaise<EZCompressionError>([&] { Byte b; z.Read(&b, 1); }, "Invalid ZStream operation!");
}

TEST(ZLib, EmptyCompressionStreamIsACompleteZlibStream) {
  TMemoryStream out;
  { TZCompressionStream z(&out, zcDefault); }  // the destructor finishes it
  const Bytes z = Contents(out);
  ASSERT_GE(z.size(), 8u);
  EXPECT_EQ(z[0], 0x78);
  EXPECT_TRUE(InflateStream(z).empty());
}

TEST(ZLib, CompressionStreamContinuesAtItsOwnPosition) {
  // Other code moving the destination between writes does not scatter the data.
  TMemoryStream out;
  const Bytes prefix = {1, 2, 3, 4};
  out.WriteBuffer(prefix.data(), 4);
  const Bytes data = Sample(150000);
  {
    TZCompressionStream z(&out, zcFastest);
    z.WriteBuffer(data.data(), 100000);
    out.SetPosition(0);
    z.WriteBuffer(data.data() + 100000, 50000);
    z.Finish();
  }
  Bytes all = Contents(out);
  EXPECT_EQ(Bytes(all.begin(), all.begin() + 4), prefix);
  EXPECT_EQ(InflateStream(Bytes(all.begin() + 4, all.end())), data);
}

TEST(ZLib, FinishReportsWriteErrorsAndTheDestructorSwallowsThem) {
  const Bytes data = Sample(100000);
  Byte fixed[16] = {};
  TIEMemStream readOnly(fixed, sizeof fixed);  // takes no bytes
  {
    TZCompressionStream z(&readOnly, zcNone);
    EXPECT_THROW(z.WriteBuffer(data.data(), static_cast<int64_t>(data.size())), EWriteError);
    EXPECT_ANY_THROW(z.Finish());
  }
  {
    // Everything still buffered: the first write to the destination is Finish's.
    TZCompressionStream z(&readOnly, zcDefault);
    z.WriteBuffer(data.data(), 100);
    EXPECT_THROW(z.Finish(), EWriteError);
  }
  // The destructor meets the same error: it raises nothing (a destructor
  // that raised would end the program) and the destination stays as it was.
  EXPECT_NO_THROW({
    TZCompressionStream z(&readOnly, zcDefault);
    z.WriteBuffer(data.data(), 100);
  });
  EXPECT_EQ(readOnly.Position(), 0);
  EXPECT_TRUE(std::all_of(fixed, fixed + sizeof fixed, [](Byte b) { return b == 0; }));
  // Over a destination that takes the bytes, the destructor alone completes
  // the stream: what it wrote inflates back to the data.
  TMemoryStream out;
  {
    TZCompressionStream z(&out, zcDefault);
    z.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  }
  EXPECT_EQ(InflateStream(Contents(out)), data);
}

TEST(ZLib, DecompressionLeavesSourceBehindTheDataAndRewindsToItsStart) {
  const Bytes data = Sample(70000);
  const Bytes z = Compress(data, zcDefault);
  // The compressed data sits at offset 100 of the source, with a tail after it.
  Bytes source(100, 0xAA);
  source.insert(source.end(), z.begin(), z.end());
  const Bytes tail = io_test::Str("TAIL");
  source.insert(source.end(), tail.begin(), tail.end());
  TMemoryStream in;
  io_test::Fill(in, source, 100);
  TZDecompressionStream d(&in);
  Bytes out(data.size() + 50);
  EXPECT_EQ(d.Read(out.data(), static_cast<int64_t>(out.size())), static_cast<int64_t>(data.size()));
  EXPECT_EQ(d.Read(out.data(), 10), 0);
  EXPECT_EQ(in.Position(), static_cast<int64_t>(100 + z.size()));
  Byte t[4];
  in.ReadBuffer(t, 4);
  EXPECT_EQ(Bytes(t, t + 4), tail);
  // Restarting goes back to offset 100, not to the start of the source.
  EXPECT_EQ(d.Seek(0, soBeginning), 0);
  Bytes again(data.size());
  EXPECT_EQ(d.Read(again.data(), static_cast<int64_t>(again.size())), static_cast<int64_t>(data.size()));
  EXPECT_EQ(again, data);
}

TEST(ZLib, DecompressionSeekRules) {
  const Bytes data = Sample(50000);
  const Bytes z = Compress(data, zcDefault);
  TMemoryStream in;
  io_test::Fill(in, z);
  TZDecompressionStream d(&in);
  // Forward from the beginning and from the current position skip data.
  EXPECT_EQ(d.Seek(1000, soBeginning), 1000);
  Byte b[4];
  d.ReadBuffer(b, 4);
  EXPECT_EQ(Bytes(b, b + 4), Bytes(data.begin() + 1000, data.begin() + 1004));
  EXPECT_EQ(d.Seek(20000, soCurrent), 21004);
  d.ReadBuffer(b, 1);
  EXPECT_EQ(b[0], data[21004]);
  // Backward, to the current position, negative, non-zero from the end: refused.
  ExpectRaise<EZDecompressionError>([&] { d.Seek(500, soBeginning); }, "Invalid ZStream operation!");
  ExpectRaise<EZDecompressionError>([&] { d.Seek(21005, soBeginning); }, "Invalid ZStream operation!");
  ExpectRaise<EZDecompressionError>([&] { d.Seek(-1, soCurrent); }, "Invalid ZStream operation!");
  ExpectRaise<EZDecompressionError>([&] { d.Seek(-1, soEnd); }, "Invalid ZStream operation!");
  ExpectRaise<EZDecompressionError>([&] { d.Write(b, 1); }, "Invalid ZStream operation!");
  // To the end: the uncompressed size; then only a restart reads again.
  EXPECT_EQ(d.Seek(0, soEnd), 50000);
  EXPECT_EQ(d.Seek(0, soBeginning), 0);
  d.ReadBuffer(b, 4);
  EXPECT_EQ(Bytes(b, b + 4), Bytes(data.begin(), data.begin() + 4));
  // Past the end of the data: the platform's read error.
  EXPECT_THROW(d.Seek(60000, soBeginning), EReadError);
}

TEST(ZLib, PresetDictionaryStreamIsAnErrorNotAHang) {
  TempDir dir;
  const std::string f = dir.File("dict.z");
  ASSERT_EQ(Shell(Python("import zlib; c=zlib.compressobj(6,zlib.DEFLATED,15,8,0,zdict=b\"abcdefgh\"*8); "
                         "open(\"" + f + "\",\"wb\").write(c.compress(b\"abcdefgh\"*1000)+c.flush())")),
            0);
  const Bytes z = io_test::ReadFile(f);
  ExpectRaise<EZDecompressionError>([&] { InflateStream(z); }, "data error");
  void* out = reinterpret_cast<void*>(1);
  Integer outSize = -1;
  ExpectRaise<EZDecompressionError>(
      [&] { ZDecompressBuffer(z.data(), static_cast<Integer>(z.size()), out, outSize, 0); }, "data error");
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(outSize, 0);
}

TEST(ZLib, TruncatedAndCorruptData) {
  const Bytes data = Sample(30000);
  const Bytes z = Compress(data, zcDefault);
  const Bytes cut(z.begin(), z.begin() + static_cast<std::ptrdiff_t>(z.size() / 2));
  void* out = nullptr;
  Integer outSize = 0;
  // The whole-buffer routine cannot make progress: "buffer error".
  ExpectRaise<EZDecompressionError>(
      [&] { ZDecompressBuffer(cut.data(), static_cast<Integer>(cut.size()), out, outSize, 0); }, "buffer error");
  // The stream simply returns what there was.
  Bytes partial = InflateStream(cut);
  EXPECT_GT(partial.size(), 0u);
  EXPECT_LT(partial.size(), data.size());
  EXPECT_TRUE(std::equal(partial.begin(), partial.end(), data.begin()));
  // A broken block type: "data error".
  Bytes bad = z;
  bad[2] = 0xFF;
  ExpectRaise<EZDecompressionError>(
      [&] { ZDecompressBuffer(bad.data(), static_cast<Integer>(bad.size()), out, outSize, 0); }, "data error");
  ExpectRaise<EZDecompressionError>([&] { InflateStream(bad); }, "data error");
}

TEST(ZLib, WholeBufferOutputIsCapped) {
  // 8 MB of zeros compress to a few KB; a cap of 1 MB stops the inflation.
  const Bytes zeros(8 << 20, 0);
  const Bytes z = Compress(zeros, zcMax);
  ASSERT_LT(z.size(), 20000u);
  void* out = nullptr;
  Integer outSize = 0;
  ExpectRaise<EZDecompressionError>(
      [&] { ZDecompressBuffer(z.data(), static_cast<Integer>(z.size()), out, outSize, 0, 1 << 20); },
      "insufficient memory");
  EXPECT_EQ(out, nullptr);
  // At the exact size, and with an estimate, it fits.
  for (Integer estimate : {0, 8 << 20, 1000}) {
    ZDecompressBuffer(z.data(), static_cast<Integer>(z.size()), out, outSize, estimate, 8 << 20);
    ASSERT_EQ(outSize, 8 << 20);
    EXPECT_EQ(std::memcmp(out, zeros.data(), zeros.size()), 0);
    std::free(out);
  }
}

TEST(ZLib, ProgressFiresPerExchangedBuffer) {
  TMemoryStream out;
  int fired = 0;
  {
    TZCompressionStream z(&out, zcNone);
    z.OnProgress = [&](TObject* s) {
      EXPECT_EQ(s, &z);
      ++fired;
    };
    const Bytes data = Sample(300000);
    z.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    z.Finish();
  }
  // Stored blocks: 300,000 bytes fill the 64 KB buffer four times.
  EXPECT_EQ(fired, 4);
}

}  // namespace test_zlib_tests
