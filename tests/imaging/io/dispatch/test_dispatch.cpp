// Load and save dispatch: which writer a file name reaches, what every
// refusal reports, the plug-in paths by file, stream and buffer, parameter
// reads, saving through a temporary file, and that the document is never
// converted to suit a writer.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "dispatch_test_util.h"
#include "imaging/core/base/iestreams.h"

namespace test_dispatch_tests {

using namespace dispatch_test;
using io_test::Bytes;
using io_test::ReadFile;
using io_test::TempDir;
using io_test::WriteFile;

namespace {

WideString Wide(const std::string& S) { return Utf8ToWide(S); }

// Names in a folder that are not in Keep (leftover temporary files).
std::vector<std::string> Others(const std::string& Dir, const std::vector<std::string>& Keep) {
  std::vector<std::string> r;
  if (DIR* d = opendir(Dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n == "." || n == "..") continue;
      bool kept = false;
      for (auto& k : Keep) kept |= k == n;
      if (!kept) r.push_back(n);
    }
    closedir(d);
  }
  return r;
}

// A writer double for a built-in row: writes "ROW" and the row's id.
TIEBuiltInCodec RowWriter(TIEFileType Id, std::vector<TIEFileType>& Calls) {
  TIEBuiltInCodec c;
  c.Write = [Id, &Calls](TStream* S, TIEBitmap*, TIOParamsVals&, TIEProgressRec& Rec) {
    Calls.push_back(Id);
    const std::string text = "ROW" + std::to_string(Id);
    IESafeStreamWrite(S, Rec, text.data(), static_cast<int64_t>(text.size()));
  };
  return c;
}

// Which writer each file name reaches. The rows of the built-in formats hold
// writer doubles here, except JPEG, which is checked against the real codec.
TEST_F(RegistryTest, SaveToFileByExtension) {
  TFakePlugIn plugin(4100, "GTFK");
  std::vector<TIEFileType> calls;
  std::vector<std::unique_ptr<TCodecScope>> rows;
  for (TIEFileType id : {ieftTIFF, ieftGIF, ieftPCX, ieftBMP, ieftPNG, ieftTGA, ieftPXM, ieftDCX, ieftICO, ieftPS,
                        ieftPDF, ieftPSD})
    rows.push_back(std::make_unique<TCodecScope>(id, RowWriter(id, calls)));
  ASSERT_TRUE(static_cast<bool>(IEGetBuiltInCodec(ieftJPEG).Write)) << "the JPEG row holds the JPEG codec";

  enum TOutcome { Writes, RefusedWithEvent, RefusedQuietly };
  struct TCase {
    const char* Name;
    TOutcome Outcome;
    TIEFileType Row;  // the writer reached (Writes)
  };
  const TCase cases[] = {
      {"a.JPG", Writes, ieftJPEG},
      {"a.Jpeg", Writes, ieftJPEG},
      {"a.win", Writes, ieftTGA},  // TGA here, though the registry lists ".pix" for TGA instead
      {"a.TGA", Writes, ieftTGA},
      {"a.vst", Writes, ieftTGA},
      {"a.tiff", Writes, ieftTIFF},
      {"a.G3N", Writes, ieftTIFF},
      {"a.rle", Writes, ieftBMP},
      {"a.ppm", Writes, ieftPXM},
      {"a.pcx", Writes, ieftPCX},
      {"a.dcx", Writes, ieftDCX},
      {"a.gif", Writes, ieftGIF},
      {"a.png", Writes, ieftPNG},
      {"a.gtfk", Writes, 4100},
      {"a.pdf", Writes, ieftPDF},
      {"a.eps", Writes, ieftPS},
      {"a.ico", Writes, ieftICO},
      {"a.cur", RefusedQuietly, 0},  // cursors cannot be written
      {"a.dcm", RefusedQuietly, 0},
      {"noextension", RefusedQuietly, 0},
      {"a.unknown", RefusedQuietly, 0},
      // Built-in entries whose writer this path may not call: nothing is written.
      {"a.xif", RefusedQuietly, 0},
      {"a.pix", RefusedQuietly, 0},
      {"a.lyr", RefusedQuietly, 0},
      {"a.iev", RefusedQuietly, 0},
      {"a.psd", Writes, ieftPSD},
  };
  TempDir dir;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = dir.File(c.Name);
    WriteFile(path, io_test::Str("ORIGINAL"));
    TZiduzUvIO io(nullptr);
    io.IEBitmap()->Allocate(3, 2, ie24RGB);
    TEventLog log;
    log.Attach(io);
    calls.clear();
    io.SetAborting(false);
    io.SaveToFile(Wide(path));
    const Bytes written = ReadFile(path);
    switch (c.Outcome) {
      case Writes:
        EXPECT_FALSE(io.Aborting());
        EXPECT_EQ(log.Finishes(), 1);
        EXPECT_EQ(io.Params().FILENAME, Wide(path));
        EXPECT_EQ(io.Params().FILETYPE, c.Row);
        if (c.Row == ieftJPEG) {
          ASSERT_GE(written.size(), 2u);
          EXPECT_EQ(written[0], 0xFF);
          EXPECT_EQ(written[1], 0xD8);
        } else if (c.Row == 4100) {
          EXPECT_EQ(Bytes(written.begin(), written.begin() + 4), io_test::Str("GTFK"));
        } else {
          EXPECT_EQ(calls, std::vector<TIEFileType>{c.Row});
          EXPECT_EQ(written, io_test::Str("ROW" + std::to_string(c.Row)));
        }
        break;
      case RefusedWithEvent:
      case RefusedQuietly:
        EXPECT_TRUE(io.Aborting());
        EXPECT_EQ(log.Finishes(), c.Outcome == RefusedWithEvent ? 1 : 0);
        EXPECT_TRUE(calls.empty());
        EXPECT_EQ(written, io_test::Str("ORIGINAL"));
        break;
    }
  }
  for (const std::string& n : Others(dir.Path, {})) EXPECT_NE(n.rfind(".gt-save-", 0), 0u) << n;
}

// Dispatch by id: which ids reach a per-format method (the rows hold codec
// doubles here, JPEG excepted), which are refused with the finish event
// (no stream reader, or a module not built yet) and which saves are refused
// at once (no writer the registry path may call).
TEST_F(RegistryTest, DispatchById) {
  TFakePlugIn plugin(4100, "GTFK");
  const TIEFileType rowIds[] = {ieftTIFF, ieftGIF, ieftPCX, ieftBMP, ieftICO,  ieftCUR,
                                ieftPNG,  ieftTGA, ieftPXM, ieftDCX, ieftDICOM, ieftWBMP, ieftBMPRAW, ieftPSD};
  std::vector<std::unique_ptr<TCodecScope>> rows;
  for (TIEFileType id : rowIds) rows.push_back(std::make_unique<TCodecScope>(id, TIEBuiltInCodec(FakeRead, FakeWrite)));
  ASSERT_TRUE(static_cast<bool>(IEGetBuiltInCodec(ieftJPEG).Write)) << "the JPEG row holds the JPEG codec";
  TempDir dir;
  const std::string path = dir.File("pic.gtfk");
  const Bytes data = MakeFake(2, 2, ie24RGB);
  WriteFile(path, data);

  enum TOutcome { Runs, RefusedWithEvent, RefusedQuietly };
  struct TCase {
    TIEFileType Id;
    TOutcome StreamLoad, FileLoad, StreamSave;
  };
  const TCase cases[] = {
      {ieftTIFF, Runs, Runs, Runs},
      {ieftGIF, Runs, Runs, Runs},
      {ieftJPEG, RefusedWithEvent, RefusedWithEvent, Runs},  // the data is no JPEG
      {ieftPCX, Runs, Runs, Runs},
      {ieftBMP, Runs, Runs, Runs},
      {ieftICO, Runs, Runs, Runs},
      {ieftCUR, Runs, Runs, RefusedQuietly},
      {ieftPNG, Runs, Runs, Runs},
      {ieftWMF, RefusedWithEvent, RefusedWithEvent, RefusedQuietly},
      {ieftTGA, Runs, Runs, Runs},
      {ieftPXM, Runs, Runs, Runs},
      {ieftJP2, RefusedWithEvent, RefusedWithEvent, Runs},  // the data is no JPEG 2000
      {ieftAVI, RefusedWithEvent, RefusedWithEvent, RefusedQuietly},
      {ieftWBMP, Runs, Runs, Runs},
      // By id, PostScript and PDF loads go by the file's extension.
      {ieftPS, RefusedWithEvent, Runs, Runs},
      {ieftPDF, RefusedWithEvent, Runs, Runs},
      {ieftDCX, Runs, Runs, Runs},
      {ieftRAW, RefusedWithEvent, RefusedWithEvent, RefusedQuietly},
      {ieftBMPRAW, Runs, Runs, RefusedQuietly},
      {22, RefusedWithEvent, RefusedWithEvent, RefusedQuietly},
      {ieftPSD, Runs, Runs, Runs},
      // Layered files without a view that can hold them: a stream loads
      // nothing (and says so at once); a file is drawn by an off-screen view,
      // which cannot read this data.
      {ieftLYR, RefusedQuietly, RefusedWithEvent, RefusedQuietly},
      {ieftALL, RefusedQuietly, RefusedWithEvent, RefusedQuietly},
      {ieftDICOM, Runs, Runs, RefusedQuietly},
      {ieftHDP, RefusedWithEvent, RefusedWithEvent, Runs},  // the data is no HD Photo
      {4100, Runs, Runs, Runs},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Id);
    auto check = [](TZiduzUvIO& io, TEventLog& log, TOutcome want) {
      EXPECT_EQ(io.Aborting(), want != Runs);
      EXPECT_EQ(log.Finishes(), want == RefusedQuietly ? 0 : 1);
    };
    {
      SCOPED_TRACE("stream load");
      TZiduzUvIO io(nullptr);
      TEventLog log;
      log.Attach(io);
      TMemoryStream s;
      io_test::Fill(s, data);
      io.LoadFromStreamFormat(&s, c.Id);
      check(io, log, c.StreamLoad);
      if (c.StreamLoad == Runs) {
        EXPECT_EQ(io.IEBitmap()->Width(), 2);
      }
    }
    {
      SCOPED_TRACE("file load");
      TZiduzUvIO io(nullptr);
      TEventLog log;
      log.Attach(io);
      io.LoadFromFileFormat(Wide(path), c.Id);
      check(io, log, c.FileLoad);
    }
    {
      SCOPED_TRACE("stream save");
      TZiduzUvIO io(nullptr);
      io.IEBitmap()->Allocate(2, 2, ie24RGB);
      TEventLog log;
      log.Attach(io);
      TMemoryStream s;
      io.SaveToStream(&s, c.Id);
      check(io, log, c.StreamSave);
      EXPECT_EQ(s.Size() > 0, c.StreamSave == Runs);
    }
  }
}

// Every refusal and failure is reported: Aborting is set even after an
// earlier success, and the finish event fires exactly where the table says.
TEST_F(RegistryTest, FailureSemantics) {
  TFakePlugIn plugin(4100, "GTFK");
  TFakePlugIn readOnlyPlugin(4101, "GTRO", false);
  auto noReader = std::make_unique<TIEFileFormatInfo>();
  noReader->FileType = 4102;
  noReader->Extensions = u"GTNR";
  noReader->WriteRoutine = FakeWrite;
  IERegisterFormat(std::move(noReader));
  // No codec in these rows, whatever is wired elsewhere.
  TCodecScope noTGA(ieftTGA, {}), noTIFF(ieftTIFF, {});

  TempDir dir;
  const std::string good = dir.File("good.gtfk"), html = dir.File("page.jpg"), tga = dir.File("a.tga");
  WriteFile(good, MakeFake(3, 3, ie24RGB));
  WriteFile(html, io_test::Str("<html><body>404 Not Found</body></html>\n"));
  WriteFile(tga, io_test::Zeros(40));
  const Bytes wmf = [] {
    Bytes b = io_test::Zeros(40);
    b[0] = 1;  // type 1
    b[2] = 9;  // header size 9
    return b;
  }();
  {
    TMemoryStream s;
    io_test::Fill(s, wmf);
    ASSERT_EQ(IEFindStreamFormat(&s), ieftWMF);
  }

  struct TCase {
    const char* Name;
    std::function<void(TZiduzUvIO&)> Do;
    bool Aborting;
    Integer Finishes;
  };
  auto fromBytes = [](const Bytes& Data, std::function<void(TZiduzUvIO&, TStream*)> F) {
    return [Data, F](TZiduzUvIO& io) {
      TMemoryStream s;
      io_test::Fill(s, Data);
      F(io, &s);
    };
  };
  const TCase cases[] = {
      {"plug-in file load succeeds", [&](TZiduzUvIO& io) { io.LoadFromFile(Wide(good)); }, false, 1},
      {"load with an empty name", [](TZiduzUvIO& io) { io.LoadFromFile(u""); }, true, 1},
      {"load with an unknown extension", [&](TZiduzUvIO& io) { io.LoadFromFile(Wide(dir.File("a.zzz"))); }, true, 1},
      {"load from an address", [](TZiduzUvIO& io) { io.LoadFromFile(u"http://example.invalid/a.jpg"); }, true, 1},
      {"load of a video file", [&](TZiduzUvIO& io) { io.LoadFromFile(Wide(dir.File("a.AVI"))); }, true, 1},
      {"load by an unregistered id", [&](TZiduzUvIO& io) { io.LoadFromFileFormat(Wide(good), 4999); }, true, 1},
      {"load of a plug-in without reader", [&](TZiduzUvIO& io) { io.LoadFromFile(Wide(dir.File("a.gtnr"))); }, true, 1},
      {"load of an error page named as a picture", [&](TZiduzUvIO& io) { io.LoadFromFile(Wide(html)); }, true, 1},
      {"file load without a codec", [&](TZiduzUvIO& io) { io.LoadFromFile(Wide(tga)); }, true, 1},
      {"file load by id without a codec", [&](TZiduzUvIO& io) { io.LoadFromFileFormat(Wide(tga), ieftTGA); }, true, 1},
      {"load without a target",
       [&](TZiduzUvIO& io) {
         io.AttachIEBitmap(nullptr);
         io.LoadFromFile(Wide(good));
       },
       true, 1},
      {"stream: unrecognised content",
       fromBytes(io_test::Str("<html>404</html>"), [](TZiduzUvIO& io, TStream* s) { io.LoadFromStream(s); }), true, 1},
      {"stream: metafile content", fromBytes(wmf, [](TZiduzUvIO& io, TStream* s) { io.LoadFromStream(s); }), true, 1},
      {"stream: unregistered id",
       fromBytes(MakeFake(2, 2, ie24RGB), [](TZiduzUvIO& io, TStream* s) { io.LoadFromStreamFormat(s, 4999); }), true,
       1},
      {"stream: metafile by id",
       fromBytes(wmf, [](TZiduzUvIO& io, TStream* s) { io.LoadFromStreamFormat(s, ieftWMF); }), true, 1},
      {"stream: format without a codec",
       fromBytes(io_test::Zeros(30), [](TZiduzUvIO& io, TStream* s) { io.LoadFromStreamTGA(s); }), true, 1},
      {"stream: plug-in load succeeds",
       fromBytes(MakeFake(2, 2, ie24RGB), [](TZiduzUvIO& io, TStream* s) { io.LoadFromStream(s); }), false, 1},
      {"stream: damaged plug-in data",
       fromBytes(io_test::Str("GTFK\x05"), [](TZiduzUvIO& io, TStream* s) { io.LoadFromStream(s); }), true, 1},
      {"stream load without a target",
       fromBytes(MakeFake(2, 2, ie24RGB),
                 [](TZiduzUvIO& io, TStream* s) {
                   io.AttachIEBitmap(nullptr);
                   io.LoadFromStream(s);
                 }),
       true, 1},
      {"buffer: negative size", [](TZiduzUvIO& io) { io.LoadFromBuffer("x", -1, 0); }, true, 1},
      {"save with an empty name", [](TZiduzUvIO& io) { io.SaveToFile(u""); }, true, 0},
      {"save to a cursor file", [&](TZiduzUvIO& io) { io.SaveToFile(Wide(dir.File("a.cur"))); }, true, 0},
      {"save to a plug-in without writer", [&](TZiduzUvIO& io) { io.SaveToFile(Wide(dir.File("a.gtro"))); }, true, 0},
      {"save without a codec", [&](TZiduzUvIO& io) { io.SaveToFile(Wide(dir.File("b.tga"))); }, true, 1},
      {"failing plug-in writer",
       [&](TZiduzUvIO& io) {
         gFake.FailWrite = true;
         io.SaveToFile(Wide(dir.File("c.gtfk")));
         gFake.FailWrite = false;
       },
       true, 1},
      {"save without a target",
       [&](TZiduzUvIO& io) {
         io.AttachIEBitmap(nullptr);
         io.SaveToFile(Wide(dir.File("d.gtfk")));
       },
       true, 1},
      {"stream save: cursor", fromBytes({}, [](TZiduzUvIO& io, TStream* s) { io.SaveToStream(s, ieftCUR); }), true, 0},
      {"stream save: raw pixels", fromBytes({}, [](TZiduzUvIO& io, TStream* s) { io.SaveToStream(s, ieftBMPRAW); }),
       true, 0},
      {"stream save: layers", fromBytes({}, [](TZiduzUvIO& io, TStream* s) { io.SaveToStream(s, ieftLYR); }), true, 0},
      {"stream save: unregistered id", fromBytes({}, [](TZiduzUvIO& io, TStream* s) { io.SaveToStream(s, 4999); }),
       true, 0},
      {"stream save: no codec", fromBytes({}, [](TZiduzUvIO& io, TStream* s) { io.SaveToStream(s, ieftTIFF); }), true,
       1},
      {"stream save: plug-in succeeds", fromBytes({}, [](TZiduzUvIO& io, TStream* s) { io.SaveToStream(s, 4100); }),
       false, 1},
      {"stream save without a target",
       fromBytes({},
                 [](TZiduzUvIO& io, TStream* s) {
                   io.AttachIEBitmap(nullptr);
                   io.SaveToStream(s, 4100);
                 }),
       true, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TZiduzUvIO io(nullptr);
    io.IEBitmap()->Allocate(2, 2, ie24RGB);
    TEventLog log;
    log.Attach(io);
    io.SetAborting(false);  // as after an earlier success
    c.Do(io);
    EXPECT_EQ(io.Aborting(), c.Aborting);
    EXPECT_EQ(log.Finishes(), c.Finishes);
    if (c.Finishes) {
      EXPECT_EQ(log.Items[log.Items.size() - 2], "progress 100");
    }
  }
}

TEST_F(RegistryTest, PlugInLoadsByFileStreamAndBuffer) {
  TFakePlugIn plugin(4100, "GTFK;GTF2");
  TempDir dir;
  const Bytes data = MakeFake(5, 4, ie24RGB, 11);
  const std::string path = dir.File("pic.GTF2");
  const std::string misnamed = dir.File("pic.png");  // content decides for LoadFromFileAuto
  WriteFile(path, data);
  WriteFile(misnamed, data);

  auto check = [&](TZiduzUvIO& io, const WideString& Name) {
    ASSERT_FALSE(io.Aborting());
    EXPECT_EQ(io.Params().FILETYPE, 4100);
    EXPECT_EQ(io.Params().FILENAME, Name);
    EXPECT_EQ(io.IEBitmap()->Width(), 5);
    EXPECT_EQ(0, std::memcmp(io.IEBitmap()->GetScanline(3), data.data() + 9 + 45, 15));
  };
  {
    TZiduzUvIO io(nullptr);
    io.LoadFromFile(Wide(path));
    check(io, Wide(path));
  }
  {
    TZiduzUvIO io(nullptr);
    io.LoadFromFileAuto(Wide(misnamed));
    check(io, Wide(misnamed));
  }
  {
    TZiduzUvIO io(nullptr);
    io.LoadFromFileFormat(Wide(misnamed), 4100);
    check(io, Wide(misnamed));
  }
  {
    // A stream load leaves FILENAME empty, also after a file load.
    TZiduzUvIO io(nullptr);
    io.LoadFromFile(Wide(path));
    TMemoryStream s;
    io_test::Fill(s, io_test::Cat({io_test::Str("lead"), data}), 4);
    io.LoadFromStream(&s);
    check(io, u"");
  }
  {
    TZiduzUvIO io(nullptr);
    io.LoadFromBuffer(data.data(), static_cast<Integer>(data.size()), 0);
    check(io, u"");
    io.LoadFromBuffer(data.data(), static_cast<Integer>(data.size()), 4100);
    check(io, u"");
  }
  {
    // A file that cannot be opened: the error reaches the caller after the
    // finish event, with Aborting set.
    TZiduzUvIO io(nullptr);
    TEventLog log;
    log.Attach(io);
    EXPECT_THROW(io.LoadFromFile(Wide(dir.File("missing.gtfk"))), EFOpenError);
    EXPECT_TRUE(io.Aborting());
    EXPECT_EQ(log.Finishes(), 1);
  }
}

TEST_F(RegistryTest, ResolutionAfterAPlugInLoad) {
  TFakePlugIn plugin;
  gFake.ReadDpi = 150;
  TFakeView view(TFakeView::WithIEBitmap);
  TZiduzUvIO io(nullptr);
  io.SetAttachedZiduzUv(&view);
  view.Log.clear();
  TMemoryStream s;
  io_test::Fill(s, MakeFake(2, 2, ie24RGB));
  io.LoadFromStream(&s);
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(view.DpiX(), 150);
  const std::vector<std::string> want = {"LockUpdate", "SetDpi 150 150", "UnlockUpdateQuiet", "Update", "ImageChange"};
  EXPECT_EQ(view.Log, want);
}

// A save never destroys the user's file: the data goes to a temporary file
// that replaces the target only when the writer succeeded.
TEST_F(RegistryTest, SavingThroughATemporaryFile) {
  TFakePlugIn plugin;
  struct TCase {
    const char* Name;
    bool FailWrite, ThrowOnWrite;
  } failing[] = {{"writer sets the abort flag", true, false}, {"writer raises", false, true}};
  TempDir dir;
  const std::string path = dir.File("doc.gtfk");
  const Bytes original = MakeFake(7, 7, ie8g, 99);
  for (const TCase& c : failing) {
    SCOPED_TRACE(c.Name);
    WriteFile(path, original);
    TZiduzUvIO io(nullptr);
    io.IEBitmap()->Allocate(4, 4, ie24RGB);
    gFake.FailWrite = c.FailWrite;
    gFake.ThrowOnWrite = c.ThrowOnWrite;
    io.SaveToFile(Wide(path));
    gFake.FailWrite = gFake.ThrowOnWrite = false;
    EXPECT_TRUE(io.Aborting());
    EXPECT_EQ(ReadFile(path), original);
    EXPECT_TRUE(Others(dir.Path, {"doc.gtfk"}).empty());
    EXPECT_NE(io.Params().FILENAME, Wide(path));
  }

  // A successful save replaces the file and keeps its permissions.
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  TZiduzUvIO io(nullptr);
  io.IEBitmap()->Allocate(4, 4, ie24RGB);
  io.SaveToFile(Wide(path));
  ASSERT_FALSE(io.Aborting());
  const Bytes saved = ReadFile(path), want = MakeFake(4, 4, ie24RGB);
  ASSERT_EQ(saved.size(), want.size());
  EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 9), Bytes(want.begin(), want.begin() + 9));
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_TRUE(Others(dir.Path, {"doc.gtfk"}).empty());

  // A new file gets the usual permissions, not those of a private temporary file.
  const std::string fresh = dir.File("new.gtfk");
  io.SaveToFile(Wide(fresh));
  ASSERT_FALSE(io.Aborting());
  const mode_t mask = umask(022);
  umask(mask);
  ASSERT_EQ(stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0666u & ~mask);

  // Through a symbolic link: the file it points to is replaced, the link stays.
  const std::string link = dir.File("link.gtfk");
  ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
  io.IEBitmap()->Allocate(2, 1, ie24RGB);
  io.SaveToFile(Wide(link));
  ASSERT_FALSE(io.Aborting());
  struct stat lst;
  ASSERT_EQ(lstat(link.c_str(), &lst), 0);
  EXPECT_TRUE(S_ISLNK(lst.st_mode));
  EXPECT_EQ(ReadFile(path).size(), 9u + 6u);

  // Where nothing can be created the error reaches the caller, after the
  // finish event, and nothing is left behind.
  TEventLog log;
  log.Attach(io);
  EXPECT_THROW(io.SaveToFile(Wide(dir.File("no/such/folder/x.gtfk"))), EFCreateError);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(log.Finishes(), 1);

  // A file we may not write stays protected (unless we are the superuser,
  // for whom the system grants every write).
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    const Bytes before = ReadFile(path);
    EXPECT_THROW(io.SaveToFile(Wide(path)), EFCreateError);
    EXPECT_EQ(ReadFile(path), before);
    chmod(path.c_str(), 0644);
  }
}

// A writer that takes only 24-bit colour gets a converted copy; the open
// document keeps its pixel format and pixels.
TEST_F(RegistryTest, TheDocumentIsNeverConvertedToSuitAWriter) {
  TFakePlugIn plugin;
  TempDir dir;
  std::vector<TIEFileType> calls;
  TIEPixelFormat tgaGot = ieNone;
  TIEBuiltInCodec tga;
  tga.Write = [&](TStream*, TIEBitmap* B, TIOParamsVals&, TIEProgressRec&) { tgaGot = B->PixelFormat(); };
  TCodecScope tgaRow(ieftTGA, tga);

  struct TCase {
    const char* Name;
    std::function<void(TZiduzUvIO&)> Save;
    std::function<TIEPixelFormat()> Got;
  };
  const TCase cases[] = {
      {"plug-in file save", [&](TZiduzUvIO& io) { io.SaveToFile(Wide(dir.File("a.gtfk"))); },
       [] { return gFake.WrittenFormat; }},
      {"plug-in stream save",
       [](TZiduzUvIO& io) {
         TMemoryStream s;
         io.SaveToStream(&s, 4100);
       },
       [] { return gFake.WrittenFormat; }},
      {"24-bit writer of a built-in format", [&](TZiduzUvIO& io) { io.SaveToFile(Wide(dir.File("a.tga"))); },
       [&] { return tgaGot; }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TZiduzUvIO io(nullptr);
    TIEBitmap* doc = io.IEBitmap();
    ASSERT_TRUE(doc->Allocate(3, 2, ie8g));
    for (Integer y = 0; y < 2; ++y)
      for (Integer x = 0; x < 3; ++x) static_cast<Byte*>(doc->GetScanline(y))[x] = static_cast<Byte>(40 * y + x);
    gFake.WrittenFormat = ieNone;
    tgaGot = ieNone;
    c.Save(io);
    EXPECT_FALSE(io.Aborting());
    EXPECT_EQ(c.Got(), ie24RGB);
    EXPECT_EQ(io.IEBitmap(), doc);
    EXPECT_EQ(doc->PixelFormat(), ie8g);
    EXPECT_EQ(static_cast<Byte*>(doc->GetScanline(1))[2], 42);
  }
}

TEST_F(RegistryTest, ParameterReads) {
  TFakePlugIn plugin(4100, "GTFK");
  TempDir dir;
  const Bytes data = MakeFake(6, 5, ie24RGB);
  const std::string path = dir.File("p.gtfk"), wrongExt = dir.File("p.png"), junk = dir.File("junk.gtfk");
  WriteFile(path, data);
  WriteFile(wrongExt, data);
  WriteFile(junk, io_test::Str("nothing to see here"));

  TZiduzUvIO io(nullptr);
  TEventLog log;
  log.Attach(io);
  io.ReadParamsFromFile(Wide(path));
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(io.Params().FILETYPE, 4100);
  EXPECT_EQ(io.Params().FILENAME, Wide(path));
  EXPECT_EQ(io.Params().WIDTH, 6);
  EXPECT_EQ(io.Params().HEIGHT, 5);
  EXPECT_EQ(gFake.PreviewReads, 1);
  EXPECT_EQ(gFake.Reads, 0);
  EXPECT_TRUE(io.IEBitmap()->IsEmpty()) << "a parameter read decodes no pixels";
  EXPECT_EQ(log.Items, (std::vector<std::string>{"progress 100", "finish"}));

  // Content that contradicts the extension, and content nothing reads.
  for (const std::string& f : {wrongExt, junk}) {
    io.ReadParamsFromFile(Wide(f));
    EXPECT_TRUE(io.Aborting()) << f;
    EXPECT_EQ(io.Params().FILETYPE, 0) << f;
  }
  io.ReadParamsFromFile(Wide(dir.File("missing.gtfk")));  // errors never leave a parameter read
  EXPECT_EQ(io.Params().FILETYPE, 0);

  // From a stream: the position is where it was, so the picture can be loaded next.
  TMemoryStream s;
  io_test::Fill(s, io_test::Cat({io_test::Str("xyz"), data}), 3);
  io.ReadParamsFromStream(&s);
  EXPECT_EQ(io.Params().FILETYPE, 4100);
  EXPECT_EQ(io.Params().WIDTH, 6);
  EXPECT_EQ(s.Position(), 3);
  io.LoadFromStream(&s);
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(io.IEBitmap()->Width(), 6);

  // Built-in formats are read by their codecs; without one the read fails.
  TCodecScope noTGA(ieftTGA, {});
  io.ReadParamsFromFileFormat(Wide(path), ieftTGA);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(io.Params().FILETYPE, 0);
}

// The first plug-in ids read their parameters with their own reader, not with
// a camera reader of their own choosing.
TEST_F(RegistryTest, PlugInParameterReadsUseThePlugInsReader) {
  for (TIEFileType id : {4096, 4097}) {
    TFakePlugIn plugin(id, "GTFK");
    TempDir dir;
    const std::string path = dir.File("p.gtfk");
    WriteFile(path, MakeFake(4, 3, ie24RGB));
    TZiduzUvIO io(nullptr);
    io.ReadParamsFromFileFormat(Wide(path), id);
    EXPECT_FALSE(io.Aborting()) << id;
    EXPECT_EQ(io.Params().FILETYPE, id);
    EXPECT_EQ(io.Params().WIDTH, 4);
    EXPECT_EQ(gFake.PreviewReads, 1);
  }
}

}  // namespace

}  // namespace test_dispatch_tests
