// Test doubles of the I/O companion tests: a view implementing the view
// contract with a log of what the companion asked of it, a small plug-in
// format ("GTFK") registered under a plug-in id with a reader, writer and
// probe whose behaviour a test can steer, and an event log.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../io_test_util.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/base/components.h"
#include "platform/base/sysutils.h"
#include "platform/graphics/bitmap.h"
#include "tests/support/stream_bytes.h"

namespace dispatch_test {

using io_test::Bytes;

// ---------------------------------------------------------------------------
// The view

class TFakeView : public TComponent, public TIEViewContract {
 public:
  enum TKind { WithIEBitmap, WithTBitmapOnly };
  explicit TFakeView(TKind Kind, bool SingleImage = true) : TComponent(nullptr), FSingle(SingleImage) {
    if (Kind == WithIEBitmap) {
      FIE = std::make_unique<TIEBitmap>(4, 3, ie24RGB);
    } else {
      FTB = std::make_unique<TBitmap>();
      FTB->SetPixelFormat(pf24bit);
      FTB->SetSize(4, 3);
    }
  }
  // Like a real view: the handlers hear of the destruction first.
  ~TFakeView() override {
    if (!NotifyHandlersOnDestroy) return;
    auto handlers = FHandlers;
    FHandlers.clear();
    for (auto& h : handlers)
      if (h) h(this, true);
  }

  TComponent* ViewComponent() override { return this; }
  Integer AddBitmapChangeHandler(TIEBitmapChangeEvent Handler) override {
    FHandlers.push_back(std::move(Handler));
    return static_cast<Integer>(FHandlers.size()) - 1;
  }
  void RemoveBitmapChangeHandler(Integer Handle) override {
    if (Handle >= 0 && Handle < static_cast<Integer>(FHandlers.size())) FHandlers[Handle] = nullptr;
  }
  TBitmap* GetBitmap() override { return FTB.get(); }
  TIEBitmap* GetIEBitmap() override { return FIE.get(); }
  void SetDpiX(Integer Dpi) override {
    if (Dpi) FDpiX = Dpi;
  }
  void SetDpiY(Integer Dpi) override {
    if (Dpi) FDpiY = Dpi;
  }
  void SetDpi(Integer X, Integer Y) override {
    Log.push_back("SetDpi " + std::to_string(X) + " " + std::to_string(Y));
    SetDpiX(X);
    SetDpiY(Y);
  }
  Integer DpiX() const override { return FDpiX; }
  Integer DpiY() const override { return FDpiY; }
  void ImageChange() override { Log.push_back("ImageChange"); }
  TColor Background() const override { return FBackground; }
  void Update() override { Log.push_back("Update"); }
  bool IsSingleImageView() const override { return FSingle; }
  void LockUpdate() override { Log.push_back("LockUpdate"); }
  void UnlockUpdateQuiet() override { Log.emplace_back("UnlockUpdateQuiet"); }
  bool HasParentWindow() override { return ParentWindow; }
  void PostIOMessage(UINT Msg, WPARAM WParam, LPARAM) override {
    Posted.push_back({Msg, static_cast<Integer>(WParam)});
  }

  // The view shows a new picture (the old one is freed) and says so.
  void ReplacePicture(Integer Width, Integer Height) {
    if (FIE) FIE = std::make_unique<TIEBitmap>(Width, Height, ie24RGB);
    if (FTB) {
      FTB = std::make_unique<TBitmap>();
      FTB->SetPixelFormat(pf24bit);
      FTB->SetSize(Width, Height);
    }
    for (auto& h : FHandlers)
      if (h) h(this, false);
  }
  Integer LiveHandlers() const {
    Integer n = 0;
    for (auto& h : FHandlers) n += h ? 1 : 0;
    return n;
  }

  std::vector<std::string> Log;
  struct TPost {
    UINT Msg;
    Integer WParam;
  };
  std::vector<TPost> Posted;  // written from worker threads only while the main thread waits
  bool ParentWindow = false;
  bool NotifyHandlersOnDestroy = true;
  TColor FBackground = 0x00336699;
  Integer FDpiX = 96, FDpiY = 96;

 private:
  bool FSingle;
  std::unique_ptr<TIEBitmap> FIE;
  std::unique_ptr<TBitmap> FTB;
  std::vector<TIEBitmapChangeEvent> FHandlers;
};

// ---------------------------------------------------------------------------
// Event log

struct TEventLog {
  std::vector<std::string> Items;
  void Attach(TZiduzUvIO& IO) {
    IO.OnProgress = [this](TObject*, Integer per) { Items.push_back("progress " + std::to_string(per)); };
    IO.OnFinishWork = [this](TObject*) { Items.push_back("finish"); };
  }
  Integer Finishes() const {
    Integer n = 0;
    for (auto& s : Items) n += s == "finish" ? 1 : 0;
    return n;
  }
};

// ---------------------------------------------------------------------------
// The plug-in format: "GTFK", width and height (16-bit little-endian), a
// pixel-format byte (ie24RGB or ie8g), then the rows top down, packed.

struct TFakeCodecState {
  std::atomic<Integer> Reads{0}, Writes{0}, PreviewReads{0};
  TIEPixelFormat WrittenFormat = ieNone;
  bool FailWrite = false;     // writes part of the data, then sets the abort flag
  bool ThrowOnWrite = false;  // raises in the middle of the write
  Integer SleepMs = 0;        // each read sleeps this long
  std::atomic<Integer> Inside{0}, MaxInside{0};
  Integer ReadDpi = 0;  // DPIX and DPIY the reader reports
};
inline TFakeCodecState gFake;

inline Bytes MakeFake(Integer Width, Integer Height, TIEPixelFormat PF, Byte Seed = 1) {
  const Integer ch = PF == ie8g ? 1 : 3;
  Bytes b = io_test::Str("GTFK");
  b.push_back(Width & 0xFF);
  b.push_back(Width >> 8);
  b.push_back(Height & 0xFF);
  b.push_back(Height >> 8);
  b.push_back(PF);
  for (Integer i = 0; i < Width * Height * ch; ++i) b.push_back(static_cast<Byte>(Seed + i * 7));
  return b;
}

inline void FakeRead(TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& Rec, bool Preview) {
  Integer inside = ++gFake.Inside;
  Integer seen = gFake.MaxInside.load();
  while (inside > seen && !gFake.MaxInside.compare_exchange_weak(seen, inside)) {
  }
  if (gFake.SleepMs) std::this_thread::sleep_for(std::chrono::milliseconds(gFake.SleepMs));
  struct Leave {
    ~Leave() { --gFake.Inside; }
  } leave;
  (Preview ? gFake.PreviewReads : gFake.Reads)++;
  Byte h[9];
  if (S->Read(h, 9) != 9 || std::memcmp(h, "GTFK", 4) != 0 || (h[8] != ie24RGB && h[8] != ie8g)) {
    Rec.Abort();
    return;
  }
  const Integer w = h[4] | h[5] << 8, ht = h[6] | h[7] << 8;
  const auto pf = static_cast<TIEPixelFormat>(h[8]);
  const Integer ch = pf == ie8g ? 1 : 3;
  P.WIDTH = w;
  P.HEIGHT = ht;
  P.IMAGECOUNT = 1;
  if (gFake.ReadDpi) {
    P.SetDpiX(gFake.ReadDpi);
    P.SetDpiY(gFake.ReadDpi);
  }
  if (Preview) return;
  if (S->Size() - S->Position() < int64_t(w) * ht * ch || !B->Allocate(w, ht, pf)) {
    Rec.Abort();
    return;
  }
  Rec.SetUnits(ht);
  for (Integer y = 0; y < ht; ++y) {
    if (S->Read(B->GetScanline(y), int64_t(w) * ch) != int64_t(w) * ch) {
      Rec.Abort();
      return;
    }
    Rec.Report(y);
  }
}

inline void FakeWrite(TStream* S, TIEBitmap* B, TIOParamsVals&, TIEProgressRec& Rec) {
  ++gFake.Writes;
  gFake.WrittenFormat = B->PixelFormat();
  if (B->PixelFormat() != ie24RGB && B->PixelFormat() != ie8g) {
    Rec.Abort();
    return;
  }
  const Integer ch = B->PixelFormat() == ie8g ? 1 : 3;
  Bytes head = MakeFake(B->Width(), B->Height(), B->PixelFormat());
  head.resize(9);
  IESafeStreamWrite(S, Rec, head.data(), 9);
  for (Integer y = 0; y < B->Height(); ++y) {
    if (y == 1 && gFake.ThrowOnWrite) throw EWriteError("Stream write error");
    if (y == 1 && gFake.FailWrite) {
      Rec.Abort();
      return;
    }
    IESafeStreamWrite(S, Rec, B->GetScanline(y), int64_t(B->Width()) * ch);
  }
}

inline bool FakeProbe(TStream* S, Integer) {
  Byte h[4];
  const int64_t pos = S->Position();
  const bool ok = S->Read(h, 4) == 4 && std::memcmp(h, "GTFK", 4) == 0;
  S->SetPosition(pos);
  return ok;
}

// Registers the plug-in format for one test (and the registry itself).
class TFakePlugIn {
 public:
  explicit TFakePlugIn(TIEFileType Id = 4100, const char* Exts = "GTFK", bool CanWrite = true) : FId(Id) {
    gFake.Reads = gFake.Writes = gFake.PreviewReads = 0;
    gFake.WrittenFormat = ieNone;
    gFake.FailWrite = gFake.ThrowOnWrite = false;
    gFake.SleepMs = 0;
    gFake.MaxInside = 0;
    gFake.ReadDpi = 0;
    auto e = std::make_unique<TIEFileFormatInfo>();
    e->FileType = Id;
    e->FullName = u"Test format";
    e->Extensions = W(Exts);
    e->InternalFormat = false;
    e->ReadRoutine = FakeRead;
    if (CanWrite) e->WriteRoutine = FakeWrite;
    e->ProbeRoutine = FakeProbe;
    IERegisterFormat(std::move(e));
  }
  ~TFakePlugIn() { IEUnregisterFormat(FId); }

 private:
  TIEFileType FId;
};

// Puts a codec into a built-in row for one test and restores the row after.
class TCodecScope {
 public:
  TCodecScope(TIEFileType Id, TIEBuiltInCodec Codec) : FId(Id), FOld(IESetBuiltInCodec(Id, std::move(Codec))) {}
  ~TCodecScope() { IESetBuiltInCodec(FId, std::move(FOld)); }

 private:
  TIEFileType FId;
  TIEBuiltInCodec FOld;
};

// The registry, built for each test.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { IEBuildFormatRegistry(); }
  void TearDown() override { IEFreeFormatRegistry(); }
};

using gt_test::StreamBytes;

}  // namespace dispatch_test
