// Hostile TIFF structures: loops, cycles, deep nesting, lying sizes and
// overlapping pieces end quickly in a sound model that can be written again.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "imaging/core/meta/ietifftags.h"
#include "tifftags_util.h"

namespace test_tiffhostile_tests {

using namespace tifftags_test;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Reads, writes and reads again; returns the first model.
std::unique_ptr<TIETIFFHandler> ReadWriteRead(const Bytes& File, double* Elapsed) {
  const auto t0 = Clock::now();
  TMemoryStream s;
  s.WriteBuffer(File.data(), int64_t(File.size()));
  s.SetPosition(0);
  auto h = TIETIFFHandler::CreateFromStream(&s);
  TMemoryStream out;
  h->WriteStream(&out, -1);
  out.SetPosition(0);
  TIETIFFHandler back(&out);
  EXPECT_EQ(back.IFDCount(), h->IFDCount());
  *Elapsed = Seconds(t0);
  return h;
}

bool Has(const TIETIFFHandler& h, int Ifd, int Tag) { return h.FindTag(Ifd, Tag) >= 0; }

}  // namespace

TEST(TIFFHandlerHostile, RegressionFixtures) {
  struct Case {
    const char* File;
    int Dirs;
    std::function<void(const TIETIFFHandler&)> Check;
  } cases[] = {
      // Directory A -> B -> A: the chain ends when it returns.
      {"tiff_ifd_loop.tif", 2, [](const TIETIFFHandler& h) { EXPECT_TRUE(Has(h, 1, 259)); }},
      // The EXIF pointer of IFD0 leads to IFD0: the pointer goes, the rest stays.
      {"tiff_exif_self_reference.tif", 1,
       [](const TIETIFFHandler& h) {
         EXPECT_FALSE(Has(h, 0, 34665));
         EXPECT_TRUE(Has(h, 0, 256));
       }},
      // EXIF -> GPS -> the same EXIF: the inner pointer back is cut.
      {"tiff_subifd_cycle.tif", 1,
       [](const TIETIFFHandler& h) {
         const int e = h.FindTag(0, 34665);
         ASSERT_GE(e, 0);
         const auto& exif = *(*h.IFD(0))[e].SubIFD;
         ASSERT_EQ(exif.size(), 2u);
         EXPECT_EQ(exif[0].Tag, 33434);
         ASSERT_EQ(exif[1].Tag, 34853);
         const auto& gps = *exif[1].SubIFD;
         ASSERT_EQ(gps.size(), 1u);
         EXPECT_EQ(gps[0].Tag, 0);
       }},
      // Three offsets, two byte counts: the pair cannot be trusted.
      {"tiff_strip_count_mismatch.tif", 1,
       [](const TIETIFFHandler& h) {
         EXPECT_FALSE(Has(h, 0, 273));
         EXPECT_FALSE(Has(h, 0, 279));
         EXPECT_TRUE(Has(h, 0, 257));
       }},
      // A strip of almost 4 GB in a 70-byte file is not allocated.
      {"tiff_oversize_piece.tif", 1,
       [](const TIETIFFHandler& h) {
         EXPECT_FALSE(Has(h, 0, 273));
         EXPECT_FALSE(Has(h, 0, 279));
       }},
      // Values shorter than the file but running past its end, and a count
      // whose length needs 64 bits.
      {"tiff_value_past_end.tif", 1,
       [](const TIETIFFHandler& h) {
         EXPECT_FALSE(Has(h, 0, 270));
         EXPECT_FALSE(Has(h, 0, 339));
         EXPECT_TRUE(Has(h, 0, 256));
       }},
      // A pair without items is kept and written without pieces.
      {"tiff_zero_strips.tif", 1,
       [](const TIETIFFHandler& h) {
         const int k = h.FindTag(0, 273);
         ASSERT_GE(k, 0);
         EXPECT_TRUE((*h.IFD(0))[k].HasPieces);
         EXPECT_TRUE((*h.IFD(0))[k].Pieces.empty());
         EXPECT_TRUE(Has(h, 0, 279));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.File);
    const Bytes f = ReadFileBytes(DataDir() / c.File);
    ASSERT_FALSE(f.empty());
    double t = 0;
    auto h = ReadWriteRead(f, &t);
    EXPECT_LT(t, 1.0);
    ASSERT_EQ(h->IFDCount(), c.Dirs);
    c.Check(*h);
  }
}

// Twenty directories, each the sub-directory of the one before: nesting
// stops at a fixed depth.
TEST(TIFFHandlerHostile, DeepSubdirectoriesStopAtTheDepthLimit) {
  ByteWriter w(false);
  w.Str("II");
  w.U16(42);
  w.U32(8);
  const int levels = 20;
  const Word tags[] = {34665, 34853, 40965};
  for (int i = 0; i < levels; ++i) {
    const uint32_t at = uint32_t(w.Size());
    w.U16(2);
    w.U16(256), w.U16(IETIFFTYPE_SHORT), w.U32(1), w.U32(uint32_t(i));
    w.U16(tags[i % 3]), w.U16(IETIFFTYPE_LONG), w.U32(1), w.U32(at + 30);
    w.U32(0);
  }
  double t = 0;
  auto h = ReadWriteRead(w.Data(), &t);
  EXPECT_LT(t, 1.0);
  ASSERT_EQ(h->IFDCount(), 1);
  int depth = 0;
  const TIETIFFEntryList* l = h->IFD(0);
  while (l) {
    const TIETIFFEntryList* next = nullptr;
    for (const auto& e : *l)
      if (e.SubIFD) next = e.SubIFD.get();
    if (!next) break;
    l = next;
    ++depth;
  }
  EXPECT_GE(depth, 3);  // IFD0 -> EXIF -> GPS -> interoperability and then some
  EXPECT_LT(depth, levels - 1);
}

// Thousands of strips that all cover the whole file would take gigabytes;
// the model stays within a few times the file. A few strips sharing the same
// bytes, as some writers store blank tiles, are kept.
TEST(TIFFHandlerHostile, OverlappingPiecesStayWithinBudget) {
  for (uint32_t strips : {20000u, 4u}) {
    ByteWriter w(false);
    w.Str("II");
    w.U16(42);
    w.U32(8);
    const uint32_t dirLen = 2 + 4 * 12 + 4;
    const uint32_t offsAt = 8 + dirLen;
    const uint32_t cntsAt = offsAt + 4 * strips;
    const uint32_t fileLen = cntsAt + 4 * strips;
    const uint32_t pieceLen = strips > 4 ? fileLen - 8 : 16;
    w.U16(4);
    w.U16(256), w.U16(IETIFFTYPE_SHORT), w.U32(1), w.U32(1);
    w.U16(257), w.U16(IETIFFTYPE_SHORT), w.U32(1), w.U32(strips);
    w.U16(273), w.U16(IETIFFTYPE_LONG), w.U32(strips), w.U32(offsAt);
    w.U16(279), w.U16(IETIFFTYPE_LONG), w.U32(strips), w.U32(cntsAt);
    w.U32(0);
    for (uint32_t i = 0; i < strips; ++i) w.U32(8);
    for (uint32_t i = 0; i < strips; ++i) w.U32(pieceLen);
    ASSERT_EQ(w.Size(), fileLen);
    double t = 0;
    auto h = ReadWriteRead(w.Data(), &t);
    EXPECT_LT(t, 1.0);
    ASSERT_EQ(h->IFDCount(), 1);
    const int k = h->FindTag(0, 273);
    if (strips > 4) {
      EXPECT_EQ(k, -1);
      EXPECT_FALSE(Has(*h, 0, 279));
    } else {
      ASSERT_GE(k, 0);
      const auto& pieces = (*h->IFD(0))[k].Pieces;
      ASSERT_EQ(pieces.size(), 4u);
      EXPECT_EQ(pieces[3], Bytes(w.Data().begin() + 8, w.Data().begin() + 8 + 16));
    }
  }
}

}  // namespace test_tiffhostile_tests
