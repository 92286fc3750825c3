// The JPEG and PNG codecs behind the companion's load and save methods: file,
// stream and buffer paths with every pixel (and the alpha channel) kept by
// PNG, ImageMagick as the outside oracle in both directions, failed saves
// that leave the user's file as it was, the in-place IPTC update of a JPEG
// and the colour profile a JPEG brings along.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "dispatch_test_util.h"
#include "imaging/core/color/ieicc.h"
#include "platform/devices/colorengine.h"

namespace test_codec_wiring_tests {

using namespace dispatch_test;
using io_test::Bytes;
using io_test::ReadFile;
using io_test::Shell;
using io_test::TempDir;
using io_test::WriteFile;

namespace {

constexpr Integer kW = 61, kH = 43;

WideString Wide(const std::string& S) { return Utf8ToWide(S); }

// Many colours (so PNG keeps true colour), smooth enough for JPEG to stay
// close, with a little deterministic noise.
void Paint(TIEBitmap& B, bool Alpha) {
  ASSERT_TRUE(B.Allocate(kW, kH, ie24RGB));
  uint32_t seed = 7;
  for (Integer y = 0; y < kH; ++y) {
    TRGB* row = static_cast<TRGB*>(B.GetScanline(y));
    for (Integer x = 0; x < kW; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const Byte n = Byte(seed >> 30);
      row[x] = TRGB{Byte(4 * x + n), Byte(5 * y + n), Byte(2 * (x + y))};
    }
  }
  if (!Alpha) return;
  TIEBitmap* a = B.GetAlphaChannel();
  ASSERT_NE(a, nullptr);
  for (Integer y = 0; y < kH; ++y) {
    Byte* row = static_cast<Byte*>(a->GetScanline(y));
    for (Integer x = 0; x < kW; ++x) row[x] = Byte((x * 37 + y * 11) % 256);
  }
  a->SyncFull();  // written through scan lines: no longer fully opaque
}

// Rows as bytes in memory order (blue, green, red for ie24RGB).
Bytes Samples(TIEBitmap* B) {
  Bytes r;
  const Integer rowBytes = B->PixelFormat() == ie8g ? B->Width() : B->Width() * 3;
  for (Integer y = 0; y < B->Height(); ++y) {
    const Byte* p = static_cast<const Byte*>(B->GetScanline(y));
    r.insert(r.end(), p, p + rowBytes);
  }
  return r;
}

// Red, green, blue per pixel: what ImageMagick's "rgb:" gives.
Bytes RGBOrder(TIEBitmap* B) {
  Bytes r;
  for (Integer y = 0; y < B->Height(); ++y) {
    const TRGB* p = static_cast<const TRGB*>(B->GetScanline(y));
    for (Integer x = 0; x < B->Width(); ++x) {
      r.push_back(p[x].r);
      r.push_back(p[x].g);
      r.push_back(p[x].b);
    }
  }
  return r;
}

void ExpectSamePicture(TIEBitmap* Want, TIEBitmap* Got) {
  ASSERT_EQ(Got->Width(), Want->Width());
  ASSERT_EQ(Got->Height(), Want->Height());
  ASSERT_EQ(Got->PixelFormat(), ie24RGB);
  EXPECT_EQ(Samples(Got), Samples(Want));
  ASSERT_EQ(Got->HasAlphaChannel(), Want->HasAlphaChannel());
  if (Want->HasAlphaChannel()) {
    EXPECT_EQ(Samples(Got->GetAlphaChannel()), Samples(Want->GetAlphaChannel()));
  }
}

// Mean absolute difference per sample of two equally long sample runs.
double MeanDiff(const Bytes& A, const Bytes& B) {
  if (A.size() != B.size() || A.empty()) return 1e9;
  int64_t d = 0;
  for (size_t i = 0; i < A.size(); ++i) d += std::abs(int(A[i]) - int(B[i]));
  return double(d) / double(A.size());
}

using gt_test::Capture;

std::vector<std::string> FolderNames(const std::string& Dir) { return gt_test::FolderEntries(Dir); }

Bytes SRGBProfile() {
  std::vector<Byte> v;
  HCEPROFILE p = CECreateSRGBProfile();
  CESaveProfileToMemory(p, v);
  CECloseProfile(p);
  return v;
}

using CodecWiring = RegistryTest;

// PNG through every path of the companion keeps every sample, and the alpha
// channel when there is one.
TEST_F(CodecWiring, PngFileStreamAndBufferKeepEverySample) {
  for (bool alpha : {false, true}) {
    SCOPED_TRACE(alpha ? "with alpha" : "without alpha");
    TIEBitmap source;
    Paint(source, alpha);
    TempDir dir;
    const std::string path = dir.File("pic.PNG");
    TZiduzUvIO io(nullptr);
    io.AttachIEBitmap(&source);
    io.SaveToFile(Wide(path));
    ASSERT_FALSE(io.Aborting());
    EXPECT_EQ(io.Params().FILETYPE, ieftPNG);
    EXPECT_EQ(io.Params().FILENAME, Wide(path));

    TZiduzUvIO in(nullptr);
    in.LoadFromFile(Wide(path));
    ASSERT_FALSE(in.Aborting());
    EXPECT_EQ(in.Params().FILETYPE, ieftPNG);
    EXPECT_EQ(in.Params().FILENAME, Wide(path));
    ExpectSamePicture(&source, in.IEBitmap());

    // PNG has no stream header: the setting changes nothing in the data.
    for (bool headers : {false, true}) {
      SCOPED_TRACE(headers ? "stream headers on" : "stream headers off");
      TMemoryStream s;
      io_test::Fill(s, io_test::Str("lead"), 4);
      io.SetStreamHeaders(headers);
      io.SaveToStream(&s, ieftPNG);
      ASSERT_FALSE(io.Aborting());
      const Bytes all = StreamBytes(s);
      ASSERT_GT(all.size(), 12u);
      EXPECT_EQ(Bytes(all.begin() + 4, all.begin() + 8), (Bytes{0x89, 'P', 'N', 'G'}));
      EXPECT_EQ(Bytes(all.begin() + 4, all.end()), ReadFile(path));

      TZiduzUvIO back(nullptr);
      back.SetStreamHeaders(headers);
      s.SetPosition(4);
      back.LoadFromStream(&s);
      ASSERT_FALSE(back.Aborting());
      EXPECT_EQ(back.Params().FILETYPE, ieftPNG);
      EXPECT_EQ(back.Params().FILENAME, u"");
      ExpectSamePicture(&source, back.IEBitmap());

      TZiduzUvIO fromBuffer(nullptr);
      fromBuffer.LoadFromBuffer(all.data() + 4, static_cast<Integer>(all.size() - 4), ieftUnknown);
      ASSERT_FALSE(fromBuffer.Aborting());
      ExpectSamePicture(&source, fromBuffer.IEBitmap());
    }

    TZiduzUvIO params(nullptr);
    params.ReadParamsFromFile(Wide(path));
    EXPECT_FALSE(params.Aborting());
    EXPECT_EQ(params.Params().FILETYPE, ieftPNG);
    EXPECT_EQ(params.Params().WIDTH, kW);
    EXPECT_EQ(params.Params().HEIGHT, kH);
  }
}

// What we write ImageMagick reads, and what it writes we read: PNG to the
// sample, JPEG within the loss of the coding.
TEST_F(CodecWiring, ImageMagickReadsOurFilesAndWeReadItsFiles) {
  ASSERT_EQ(Shell("command -v convert >/dev/null && command -v identify >/dev/null"), 0)
      << "ImageMagick is needed (scripts/install-deps.sh)";
  TIEBitmap source;
  Paint(source, false);
  const Bytes rgb = RGBOrder(&source);
  TempDir dir;
  const std::string size = std::to_string(kW) + "x" + std::to_string(kH);
  struct TCase {
    const char* Name;
    const char* Magick;  // identify's format name
    double MaxMeanDiff;  // 0: identical samples
  } cases[] = {{"ours.png", "PNG", 0.0}, {"ours.jpg", "JPEG", 4.0}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = dir.File(c.Name);
    TZiduzUvIO io(nullptr);
    io.AttachIEBitmap(&source);
    io.SaveToFile(Wide(path));
    ASSERT_FALSE(io.Aborting());
    EXPECT_EQ(Capture("identify -format '%m %w %h' '" + path + "'"),
              std::string(c.Magick) + " " + std::to_string(kW) + " " + std::to_string(kH));
    const std::string raw = path + ".rgb";
    ASSERT_EQ(Shell("convert '" + path + "' -depth 8 'rgb:" + raw + "'"), 0);
    const Bytes decoded = ReadFile(raw);
    if (c.MaxMeanDiff == 0.0)
      EXPECT_EQ(decoded, rgb);
    else
      EXPECT_LT(MeanDiff(decoded, rgb), c.MaxMeanDiff);
  }

  const std::string raw = dir.File("src.rgb");
  WriteFile(raw, rgb);
  struct TTheirs {
    const char* Name;
    const char* Options;
    double MaxMeanDiff;
  } theirs[] = {{"theirs.png", "", 0.0}, {"theirs.jpg", "-quality 95", 3.0}};
  for (const TTheirs& c : theirs) {
    SCOPED_TRACE(c.Name);
    const std::string path = dir.File(c.Name);
    ASSERT_EQ(Shell("convert -size " + size + " -depth 8 'rgb:" + raw + "' " + c.Options + " '" + path + "'"), 0);
    TZiduzUvIO io(nullptr);
    io.LoadFromFile(Wide(path));
    ASSERT_FALSE(io.Aborting());
    ASSERT_EQ(io.IEBitmap()->Width(), kW);
    ASSERT_EQ(io.IEBitmap()->Height(), kH);
    ASSERT_EQ(io.IEBitmap()->PixelFormat(), ie24RGB);
    if (c.MaxMeanDiff == 0.0)
      EXPECT_EQ(RGBOrder(io.IEBitmap()), rgb);
    else
      EXPECT_LT(MeanDiff(RGBOrder(io.IEBitmap()), rgb), c.MaxMeanDiff);
  }
}

// A save whose writer fails, or that is cancelled while the writer runs,
// leaves an existing file exactly as it was and no temporary file behind.
TEST_F(CodecWiring, FailedSaveLeavesTheTargetUntouched) {
  enum TFailure { EmptyPicture, CancelledMidWrite };
  struct TCase {
    const char* Name;
    TFailure Failure;
  } cases[] = {
      {"a.png", EmptyPicture},
      {"a.png", CancelledMidWrite},
      {"a.jpg", EmptyPicture},
      {"a.jpg", CancelledMidWrite},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Name) + (c.Failure == EmptyPicture ? " empty picture" : " cancelled"));
    TempDir dir;
    const std::string path = dir.File(c.Name);
    const Bytes original = io_test::Str("ORIGINAL CONTENT");
    WriteFile(path, original);

    TIEBitmap source;  // without pixels the writers refuse
    if (c.Failure == CancelledMidWrite) Paint(source, false);
    TZiduzUvIO io(nullptr);
    io.AttachIEBitmap(&source);
    TEventLog log;
    log.Attach(io);
    bool cancelled = false;
    if (c.Failure == CancelledMidWrite) {
      // The user cancels at the first progress report from inside the writer.
      io.OnProgress = [&](TObject*, Integer per) {
        log.Items.push_back("progress " + std::to_string(per));
        if (!cancelled && per > 0 && per < 100) {
          cancelled = true;
          io.SetAborting(true);
        }
      };
    }
    io.SaveToFile(Wide(path));
    EXPECT_TRUE(io.Aborting());
    EXPECT_EQ(log.Finishes(), 1);
    if (c.Failure == CancelledMidWrite) {
      EXPECT_TRUE(cancelled) << "the writer reported no progress";
    }
    EXPECT_EQ(ReadFile(path), original);
    EXPECT_EQ(FolderNames(dir.Path), std::vector<std::string>{c.Name});
    EXPECT_NE(io.Params().FILENAME, Wide(path));
  }
}

// The IPTC records of the parameters go into an existing JPEG without a new
// encoding; a file that is no JPEG stays as it was.
TEST_F(CodecWiring, InjectJPEGIPTC) {
  TIEBitmap source;
  Paint(source, false);
  TempDir dir;
  const std::string jpg = dir.File("photo.jpg");
  TZiduzUvIO io(nullptr);
  io.AttachIEBitmap(&source);
  io.SaveToFile(Wide(jpg));
  ASSERT_FALSE(io.Aborting());

  TZiduzUvIO before(nullptr);
  before.LoadFromFile(Wide(jpg));
  ASSERT_FALSE(before.Aborting());
  EXPECT_EQ(before.Params().IPTC_LIST.GetCount(), 0);

  TZiduzUvIO editor(nullptr);
  TEventLog log;
  log.Attach(editor);
  editor.Params().IPTC_LIST.AddStringItem(2, 120, "A caption");
  editor.Params().IPTC_LIST.AddStringItem(2, 25, "keyword");
  EXPECT_TRUE(editor.InjectJPEGIPTC(Wide(jpg)));
  EXPECT_FALSE(editor.Aborting());
  EXPECT_EQ(log.Finishes(), 1);

  TZiduzUvIO after(nullptr);
  after.LoadFromFile(Wide(jpg));
  ASSERT_FALSE(after.Aborting());
  const TIEIPTCInfoList& iptc = after.Params().IPTC_LIST;
  ASSERT_GE(iptc.IndexOf(2, 120), 0);
  EXPECT_EQ(iptc.GetStringItem(iptc.IndexOf(2, 120)), u"A caption");
  ASSERT_GE(iptc.IndexOf(2, 25), 0);
  EXPECT_EQ(iptc.GetStringItem(iptc.IndexOf(2, 25)), u"keyword");
  // The coded picture is the same: it decodes to the same samples.
  EXPECT_EQ(Samples(after.IEBitmap()), Samples(before.IEBitmap()));

  struct TBad {
    const char* Name;
    bool Exists;
  } bad[] = {{"picture.png", true}, {"missing.jpg", false}};
  for (const TBad& b : bad) {
    SCOPED_TRACE(b.Name);
    const std::string path = dir.File(b.Name);
    Bytes original;
    if (b.Exists) {
      io.SaveToFile(Wide(path));
      ASSERT_FALSE(io.Aborting());
      original = ReadFile(path);
    }
    log.Items.clear();
    EXPECT_FALSE(editor.InjectJPEGIPTC(Wide(path)));
    EXPECT_TRUE(editor.Aborting());
    EXPECT_EQ(log.Finishes(), 1);
    if (b.Exists) {
      EXPECT_EQ(ReadFile(path), original);
    }
  }

  // Through a symbolic link the linked file changes and the link stays.
  const std::string link = dir.File("link.jpg");
  ASSERT_EQ(::symlink("photo.jpg", link.c_str()), 0);
  editor.Params().IPTC_LIST.Clear();
  editor.Params().IPTC_LIST.AddStringItem(2, 120, "Through the link");
  EXPECT_TRUE(editor.InjectJPEGIPTC(Wide(link)));
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  TZiduzUvIO linked(nullptr);
  linked.LoadFromFile(Wide(jpg));
  ASSERT_FALSE(linked.Aborting());
  EXPECT_EQ(linked.Params().IPTC_LIST.GetStringItem(linked.Params().IPTC_LIST.IndexOf(2, 120)), u"Through the link");

  const std::vector<std::string> names = FolderNames(dir.Path);
  EXPECT_EQ(names.size(), 3u) << "a temporary file was left behind";
}

// The colour profile a JPEG carries arrives as the input profile; the next
// load, of a picture without one, does not keep it, while the output and
// default profiles of the parameters stay.
TEST_F(CodecWiring, JpegProfileBecomesTheInputProfileForOneLoadOnly) {
  const Bytes profile = SRGBProfile();
  ASSERT_FALSE(profile.empty());
  ASSERT_LT(profile.size(), 65000u);  // one APP2 chunk
  TIEBitmap source;
  Paint(source, false);
  TempDir dir;
  const std::string jpg = dir.File("icc.jpg"), png = dir.File("plain.png");
  {
    TZiduzUvIO io(nullptr);
    io.AttachIEBitmap(&source);
    Bytes chunk = io_test::Str(std::string("ICC_PROFILE") + '\0');
    chunk.push_back(1);
    chunk.push_back(1);
    chunk.insert(chunk.end(), profile.begin(), profile.end());
    io.Params().JPEG_MARKERS.AddMarker(0xE2, chunk.data(), static_cast<Word>(chunk.size()));
    io.SaveToFile(Wide(jpg));
    ASSERT_FALSE(io.Aborting());
    io.Params().JPEG_MARKERS.Clear();
    io.SaveToFile(Wide(png));
    ASSERT_FALSE(io.Aborting());
  }
  // ImageMagick finds the profile where we put it.
  EXPECT_NE(Capture("identify -format '%[profiles]' '" + jpg + "'").find("icc"), std::string::npos);

  TZiduzUvIO io(nullptr);
  TIEICC* output = io.Params().GetOutputICCProfile();
  TIEICC* fallback = io.Params().GetDefaultICCProfile();
  io.LoadFromFile(Wide(jpg));
  ASSERT_FALSE(io.Aborting());
  ASSERT_NE(io.Params().INPUTICCPROFILE, nullptr);
  const TIEICC* in = io.Params().INPUTICCPROFILE.get();
  ASSERT_EQ(in->RawLength(), static_cast<Integer>(profile.size()));
  EXPECT_EQ(Bytes(in->Raw(), in->Raw() + in->RawLength()), profile);
  EXPECT_TRUE(in->IsValid());

  io.LoadFromFile(Wide(png));
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(io.Params().INPUTICCPROFILE, nullptr);
  EXPECT_EQ(io.Params().OUTPUTICCPROFILE.get(), output);
  EXPECT_EQ(io.Params().DEFAULTICCPROFILE.get(), fallback);
}

}  // namespace

}  // namespace test_codec_wiring_tests
