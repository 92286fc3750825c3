// Library start-up and shut-down order, use counting, failure recovery and the debug log.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "imaging/core/base/ieglobals.h"
#include "imaging/core/messages/iemessages.h"
#include "imaging/core/base/iestartup.h"
#include "platform/base/sysutils.h"

namespace test_startup_tests {

namespace {

// A debug-log line is "YYYY-MM-DD hh:mm:ss : message": returns the message when
// the stamp has exactly that shape and the message holds no line break.
std::optional<std::string> StampedMessage(const std::string& line) {
  static constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd : ";
  if (line.size() < kShape.size()) return std::nullopt;
  for (size_t i = 0; i < kShape.size(); ++i) {
    const char c = line[i];
    const bool ok = kShape[i] == 'd' ? (c >= '0' && c <= '9') : c == kShape[i];
    if (!ok) return std::nullopt;
  }
  std::string message = line.substr(kShape.size());
  if (message.find_first_of("\r\n") != std::string::npos) return std::nullopt;
  return message;
}

struct StepNames {
  TIEStartupStep Step;
  const char* Init;
  const char* Final;
};

// What each step stands for; the order under test comes from the library.
const StepNames kSteps[] = {
    {iessGDIPlus, "IEGDIPlusInitialize", "IEGDIPlusFinalize"},
    {iessGrayWeights, "IESetDefaultGrayWeights", "gray weights done"},
    {iessWinVersion, "Windows version", "Windows version done"},
    {iessMessageTables, "IEFillMessageTables", "message tables freed"},
    {iessCenterHook, "centring hook", "centring hook done"},
    {iessContainerGlobals, "memory and storage globals", "memory and storage globals done"},
    {iessColorManagement, "colour-management handle", "colour-management library unloaded"},
    {iessCosineTable, "cosine table", "cosine table done"},
    {iessJPEG2000, "IEStartupJPEG2000", "IEShutdownJPEG2000"},
    {iessVect, "IEVectInitialize", "IEVectFinalize"},
    {iessZiduzUvIO, "IEStartupZiduzUvIO", "IEShutdownZiduzUvIO"},
    {iessProc, "IEProcInitialize", "IEProcFinalize"},
    {iessView, "ZiduzUvViewInitialize", "ZiduzUvViewFinalize"},
    {iessCCITT, "IEInitCCITT", "IEFreeCCITT"},
    {iessTextC, "IETextCInitialize", "IETextCFinalize"},
    {iessPresetImages, "IEStartupPresetImages", "IEShutdownPresetImages"},
};

// The order in which the library starts its parts, and shut-down in reverse with GDI+ last.
const std::vector<std::string> kStartupOrder = {
    "IEGDIPlusInitialize", "IESetDefaultGrayWeights", "Windows version", "IEFillMessageTables",
    "centring hook", "memory and storage globals", "colour-management handle", "cosine table",
    "IEStartupJPEG2000", "IEVectInitialize", "IEStartupZiduzUvIO", "IEProcInitialize",
    "ZiduzUvViewInitialize", "IEInitCCITT", "IETextCInitialize", "IEStartupPresetImages"};
const std::vector<std::string> kShutdownOrder = {
    "IEShutdownPresetImages", "IETextCFinalize", "IEFreeCCITT", "ZiduzUvViewFinalize",
    "IEProcFinalize", "IEShutdownZiduzUvIO", "IEVectFinalize", "IEShutdownJPEG2000",
    "cosine table done", "colour-management library unloaded", "memory and storage globals done",
    "centring hook done", "message tables freed", "Windows version done", "gray weights done",
    "IEGDIPlusFinalize"};

// Wraps every step with a recorder that logs its name and then calls the
// routine registered before (built-in steps keep working); restores on exit.
class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(IEStartupCount(), 0);
    for (const StepNames& s : kSteps) {
      TIEStartupRoutines old = IEGetStartupStep(s.Step);
      saved_.push_back(old);
      Wrap(s, old);
    }
  }
  void TearDown() override {
    while (IEStartupCount() > 0) IEShutdown();
    for (size_t i = 0; i < saved_.size(); ++i) IESetStartupStep(kSteps[i].Step, saved_[i]);
  }
  void Wrap(const StepNames& s, TIEStartupRoutines inner) {
    TIEStartupRoutines r;
    r.Name = s.Init;
    r.Initialize = [this, s, inner] {
      if (throwAt_ == s.Step) throw EInvalidOperation("initialiser failed");
      log_.push_back(s.Init);
      if (inner.Initialize) inner.Initialize();
    };
    r.Finalize = [this, s, inner] {
      log_.push_back(s.Final);
      if (inner.Finalize) inner.Finalize();
      if (throwInFinal_ == s.Step) throw EInvalidOperation("finaliser failed");
    };
    IESetStartupStep(s.Step, r);
  }
  std::vector<std::string> log_;
  std::vector<TIEStartupRoutines> saved_;
  int throwAt_ = -1;
  int throwInFinal_ = -1;
};

TEST_F(StartupTest, RunsStepsInOrderOnceAndShutsDownInReverseWhenBalanced) {
  IEGrayWeightRed = IEGrayWeightGreen = IEGrayWeightBlue = 0;
  IEFileFallback = IEUseSegments = false;
  IEMemoryThresholdOverride = 12345;

  IEStartup();
  EXPECT_EQ(log_, kStartupOrder);
  EXPECT_EQ(IEStartupCount(), 1);
  // The built-in steps did their work.
  EXPECT_EQ(IEGrayWeightRed, 21);
  EXPECT_EQ(IEGrayWeightGreen, 71);
  EXPECT_EQ(IEGrayWeightBlue, 8);
  EXPECT_TRUE(IEFileFallback);
  EXPECT_TRUE(IEUseSegments);
  EXPECT_EQ(IEMemoryThresholdOverride, -1);
  EXPECT_EQ(IEGetMessage(1, msEnglish), u"Preview");

  IEStartup();  // only counts
  EXPECT_EQ(log_.size(), kStartupOrder.size());
  EXPECT_EQ(IEStartupCount(), 2);

  log_.clear();
  IEShutdown();  // releases nothing yet
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(IEGetMessage(1, msEnglish), u"Preview");
  IEShutdown();
  EXPECT_EQ(log_, kShutdownOrder);
  EXPECT_EQ(IEStartupCount(), 0);
  EXPECT_EQ(IEGetMessage(1, msEnglish), u"");  // table released

  log_.clear();
  IEShutdown();  // unbalanced extra call does nothing
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(IEStartupCount(), 0);
}

TEST_F(StartupTest, FailingInitialiserUndoesDoneStepsAndLeavesCountZero) {
  throwAt_ = iessProc;
  EXPECT_THROW(IEStartup(), EInvalidOperation);
  EXPECT_EQ(IEStartupCount(), 0);
  const std::vector<std::string> expected = {
      "IEGDIPlusInitialize", "IESetDefaultGrayWeights", "Windows version", "IEFillMessageTables",
      "centring hook", "memory and storage globals", "colour-management handle", "cosine table",
      "IEStartupJPEG2000", "IEVectInitialize", "IEStartupZiduzUvIO",
      // rolled back in reverse
      "IEShutdownZiduzUvIO", "IEVectFinalize", "IEShutdownJPEG2000", "cosine table done",
      "colour-management library unloaded", "memory and storage globals done", "centring hook done",
      "message tables freed", "Windows version done", "gray weights done", "IEGDIPlusFinalize"};
  EXPECT_EQ(log_, expected);
  EXPECT_EQ(IEGetMessage(1, msEnglish), u"");

  // The next start-up starts from scratch and runs each step exactly once.
  throwAt_ = -1;
  log_.clear();
  IEStartup();
  EXPECT_EQ(log_, kStartupOrder);
  EXPECT_EQ(IEStartupCount(), 1);
  log_.clear();
  IEShutdown();
  EXPECT_EQ(log_, kShutdownOrder);
}

TEST_F(StartupTest, FailingFinaliserStillRunsTheOthers) {
  IEStartup();
  log_.clear();
  throwInFinal_ = iessView;
  EXPECT_THROW(IEShutdown(), EInvalidOperation);
  EXPECT_EQ(log_, kShutdownOrder);
  EXPECT_EQ(IEStartupCount(), 0);
}

TEST_F(StartupTest, ConcurrentStartupsInitialiseOnce) {
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) threads.emplace_back([] { IEStartup(); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(log_, kStartupOrder);
  EXPECT_EQ(IEStartupCount(), 8);
  threads.clear();
  log_.clear();
  for (int i = 0; i < 8; ++i) threads.emplace_back([] { IEShutdown(); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(log_, kShutdownOrder);
}

TEST_F(StartupTest, RegistrationTakesOnlyFreeSteps) {
  IESetStartupStep(iessCCITT, {});  // free the step while stopped
  std::vector<std::string> calls;
  EXPECT_TRUE(IERegisterStartupStep(iessCCITT, "ccitt", [&] { calls.push_back("init"); },
                                    [&] { calls.push_back("final"); }));
  EXPECT_FALSE(IERegisterStartupStep(iessCCITT, "again", [&] { calls.push_back("other"); }, nullptr));
  EXPECT_FALSE(IERegisterStartupStep(iessStepCount, "out of range", nullptr, nullptr));
  IEStartup();
  EXPECT_EQ(calls, (std::vector<std::string>{"init"}));
  EXPECT_THROW(IESetStartupStep(iessCCITT, {}), EInvalidOperation);
  IEShutdown();
  EXPECT_EQ(calls, (std::vector<std::string>{"init", "final"}));
}

TEST_F(StartupTest, LateRegistrationInitialisesAtOnce) {
  IESetStartupStep(iessTextC, {});
  IESetStartupStep(iessCCITT, {});
  IEStartup();
  std::vector<std::string> calls;
  // A late initialiser that raises leaves its step free.
  EXPECT_THROW(IERegisterStartupStep(iessCCITT, "raising", [] { throw EInvalidOperation("no"); }, nullptr),
               EInvalidOperation);
  EXPECT_TRUE(IERegisterStartupStep(iessTextC, "late", [&] { calls.push_back("late init"); },
                                    [&] { calls.push_back("late final"); }));
  EXPECT_EQ(calls, (std::vector<std::string>{"late init"}));
  EXPECT_TRUE(IERegisterStartupStep(iessCCITT, "ccitt", nullptr, [&] { calls.push_back("ccitt final"); }));
  IEShutdown();
  EXPECT_EQ(calls, (std::vector<std::string>{"late init", "late final", "ccitt final"}));
}

// --- debug log -------------------------------------------------------------

class DebugLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/gt-meta-log-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    IEDebugLogFile.clear();
    std::filesystem::remove_all(dir_);
  }
  static std::vector<std::string> Lines(const std::filesystem::path& p) {
    std::ifstream f(p);
    std::vector<std::string> r;
    for (std::string line; std::getline(f, line);) r.push_back(line);
    return r;
  }
  std::filesystem::path dir_;
};

TEST_F(DebugLogTest, CreatesMissingFileAndAppendsStampedLines) {
  const auto file = dir_ / "fresh.log";
  ASSERT_FALSE(std::filesystem::exists(file));
  IEDebugLogFile = Utf8ToWide(file.string());
  EXPECT_NO_THROW(IEWriteDebugLog(u"TIEBitmap.RenderToCanvas: begin"));
  IEWriteDebugLog(u"Gr\u00f6\u00dfe 3x4");
  IEDebugLogFile.clear();
  IEWriteDebugLog(u"not written");  // logging off again

  const auto lines = Lines(file);
  ASSERT_EQ(lines.size(), 2u);
  const auto first = StampedMessage(lines[0]);
  ASSERT_TRUE(first.has_value()) << lines[0];
  EXPECT_EQ(*first, "TIEBitmap.RenderToCanvas: begin");
  const auto second = StampedMessage(lines[1]);
  ASSERT_TRUE(second.has_value()) << lines[1];
  EXPECT_EQ(*second, "Gr\xc3\xb6\xc3\x9f" "e 3x4");
}

TEST_F(DebugLogTest, UnwritableLogNeverRaises) {
  const auto file = dir_ / "no-such-folder" / "x.log";
  IEDebugLogFile = Utf8ToWide(file.string());
  EXPECT_NO_THROW(IEWriteDebugLog(u"lost"));
  EXPECT_FALSE(std::filesystem::exists(file));
  IEDebugLogFile = Utf8ToWide(dir_.string());  // a folder, not a file
  EXPECT_NO_THROW(IEWriteDebugLog(u"lost"));
}

}  // namespace

}  // namespace test_startup_tests
