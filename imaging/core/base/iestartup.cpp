// Start-up step registry, use counter and the debug log.
#include "imaging/core/base/iestartup.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <exception>
#include <mutex>

#include "imaging/core/base/ieglobals.h"
#include "imaging/core/messages/iemessages.h"
#include "platform/base/fileutils.h"
#include "platform/base/sysutils.h"

Integer IEGrayWeightRed = 21;
Integer IEGrayWeightGreen = 71;
Integer IEGrayWeightBlue = 8;
Integer IEScreenDpiX = 0;
Integer IEScreenDpiY = 0;
WideString IEDebugLogFile;

void IESetDefaultGrayWeights() {
  IEGrayWeightRed = 21;
  IEGrayWeightGreen = 71;
  IEGrayWeightBlue = 8;
}

namespace {

struct State {
  std::recursive_mutex Lock;
  std::array<TIEStartupRoutines, iessStepCount> Steps;
  Integer Count = 0;
};

void ContainerGlobals() {
  IEMemoryThresholdOverride = -1;
  IEFileFallback = true;
  IEUseSegments = true;
}

// Constructed on first use, so registrars in other modules may run before or
// after this file's static initialisation.
State& S() {
  static State* state = [] {
    auto* s = new State;  // never destroyed: registrars and IEShutdown may run during exit
    s->Steps[iessGrayWeights] = {"IESetDefaultGrayWeights", IESetDefaultGrayWeights, nullptr};
    s->Steps[iessMessageTables] = {"IEFillMessageTables", IEFillMessageTables, IEFreeMessageTables};
    s->Steps[iessContainerGlobals] = {"container defaults", ContainerGlobals, nullptr};
    return s;
  }();
  return *state;
}

// Finalises steps Last..0 in reverse order; every finaliser runs even when one
// raises. Returns the first exception.
std::exception_ptr FinaliseDownFrom(State& s, int Last) {
  std::exception_ptr first;
  for (int i = Last; i >= 0; --i) {
    if (!s.Steps[i].Finalize) continue;
    try {
      s.Steps[i].Finalize();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  return first;
}

}  // namespace

bool IERegisterStartupStep(TIEStartupStep Step, const char* Name, std::function<void()> Initialize,
                           std::function<void()> Finalize) {
  if (Step < 0 || Step >= iessStepCount) return false;
  State& s = S();
  std::lock_guard<std::recursive_mutex> guard(s.Lock);
  TIEStartupRoutines& slot = s.Steps[Step];
  if (slot.Initialize || slot.Finalize) return false;
  if (s.Count > 0 && Initialize) Initialize();  // raises before the slot is taken
  slot = {Name, std::move(Initialize), std::move(Finalize)};
  return true;
}

TIEStartupRoutines IEGetStartupStep(TIEStartupStep Step) {
  if (Step < 0 || Step >= iessStepCount) return {};
  State& s = S();
  std::lock_guard<std::recursive_mutex> guard(s.Lock);
  return s.Steps[Step];
}

TIEStartupRoutines IESetStartupStep(TIEStartupStep Step, TIEStartupRoutines Routines) {
  if (Step < 0 || Step >= iessStepCount) return {};
  State& s = S();
  std::lock_guard<std::recursive_mutex> guard(s.Lock);
  if (s.Count > 0) throw EInvalidOperation("Start-up steps cannot be replaced while the library is started");
  TIEStartupRoutines old = std::move(s.Steps[Step]);
  s.Steps[Step] = std::move(Routines);
  return old;
}

void IEStartup() {
  State& s = S();
  std::lock_guard<std::recursive_mutex> guard(s.Lock);
  if (s.Count == 0) {
    int step = 0;
    try {
      for (; step < iessStepCount; ++step)
        if (s.Steps[step].Initialize) s.Steps[step].Initialize();
    } catch (...) {
      // Undo what did start, so that a later IEStartup neither runs those
      // initialisers twice nor leaves their state behind.
      FinaliseDownFrom(s, step - 1);
      throw;
    }
  }
  ++s.Count;
}

void IEShutdown() {
  State& s = S();
  std::lock_guard<std::recursive_mutex> guard(s.Lock);
  if (s.Count <= 0) return;
  if (--s.Count > 0) return;
  if (std::exception_ptr e = FinaliseDownFrom(s, iessStepCount - 1)) std::rethrow_exception(e);
}

Integer IEStartupCount() {
  State& s = S();
  std::lock_guard<std::recursive_mutex> guard(s.Lock);
  return s.Count;
}

void IEWriteDebugLog(const WideString& Message) {
  static std::mutex logLock;
  std::lock_guard<std::mutex> guard(logLock);
  if (IEDebugLogFile.empty()) return;
  try {
    // "a" creates a missing file and appends to an existing one.
    std::FILE* f = std::fopen(NativeFileName(IEDebugLogFile).c_str(), "a");
    if (f == nullptr) return;
    // An unambiguous date and time, whatever the locale.
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    std::fprintf(f, "%s : %s\n", stamp, WideToUtf8(Message).c_str());
    std::fclose(f);
  } catch (...) {
    // Logging never breaks the caller (it runs inside rendering and printing).
  }
}
