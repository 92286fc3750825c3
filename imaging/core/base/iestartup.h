// One-time start-up and shut-down of the imaging library, its container-side
// defaults and the optional debug log.
//
// Each subsystem that keeps global state registers its initialiser and finaliser
// for a fixed step; IEStartup runs the steps in the order below on the first
// call, IEShutdown runs the finalisers in reverse order when the use count
// returns to 0 (so the GDI+ step, the first, is released last).
#pragma once

#include <functional>
#include <utility>

#include "platform/base/types.h"

enum TIEStartupStep {
  iessGDIPlus,           // IEGDIPlusInitialize / IEGDIPlusFinalize
  iessGrayWeights,       // IESetDefaultGrayWeights
  // The container's own defaults, in their order:
  iessWinVersion,        // the Windows version byte
  iessMessageTables,     // IEFillMessageTables / IEFreeMessageTables
  iessCenterHook,        // the window-centring hook
  iessContainerGlobals,  // IEMemoryThresholdOverride, IEFileFallback, IEUseSegments
  iessColorManagement,   // colour-management handle (unloaded at shut-down)
  iessCosineTable,       // blend cosine table
  // The other subsystems:
  iessJPEG2000,          // IEStartupJPEG2000 / IEShutdownJPEG2000
  iessVect,              // IEVectInitialize / IEVectFinalize
  iessZiduzUvIO,         // IEStartupZiduzUvIO / IEShutdownZiduzUvIO
  iessProc,              // IEProcInitialize / IEProcFinalize
  iessView,              // ZiduzUvViewInitialize / ZiduzUvViewFinalize
  iessCCITT,             // IEInitCCITT / IEFreeCCITT
  iessTextC,             // IETextCInitialize / IETextCFinalize
  iessPresetImages,      // IEStartupPresetImages / IEShutdownPresetImages
  iessStepCount
};

struct TIEStartupRoutines {
  const char* Name = nullptr;         // for diagnostics
  std::function<void()> Initialize;  // may be empty
  std::function<void()> Finalize;    // may be empty
};

// Registers the routines of Step. Returns false and changes nothing when the
// step already has routines. A registration that arrives while the library is
// started runs its initialiser at once (and raises what it raises, leaving the
// step unregistered), so that a module linked in late is still usable.
bool IERegisterStartupStep(TIEStartupStep Step, const char* Name, std::function<void()> Initialize,
                           std::function<void()> Finalize);
// Reads and replaces a step's routines (wrapping or stubbing a step); only while
// the library is not started. Returns the previous routines.
TIEStartupRoutines IEGetStartupStep(TIEStartupStep Step);
TIEStartupRoutines IESetStartupStep(TIEStartupStep Step, TIEStartupRoutines Routines);

// Registers from a module's static initialisation. Keep the registrar in the
// source file that uses the state it initialises, so that the linker keeps both
// together: a module that is not linked needs no initialisation.
struct TIEStartupRegistrar {
  TIEStartupRegistrar(TIEStartupStep Step, const char* Name, std::function<void()> Initialize,
                      std::function<void()> Finalize) {
    IERegisterStartupStep(Step, Name, std::move(Initialize), std::move(Finalize));
  }
};

// Call from main (after static initialisation) and balance every call with
// IEShutdown. The first call initialises; later ones only count. When an
// initialiser raises, the steps already done are finalised in reverse order,
// the use count stays 0 and the exception propagates, so the next IEStartup
// starts from a clean state.
void IEStartup();
// The last balancing call finalises every step in reverse order. A raising
// finaliser does not stop the others; the first exception propagates after
// all have run. Extra calls while not started do nothing.
void IEShutdown();
// How many IEStartup calls are not yet balanced.
Integer IEStartupCount();

// Gray weights in percent: gray = (R x wr + G x wg + B x wb) div 100.
extern Integer IEGrayWeightRed;
extern Integer IEGrayWeightGreen;
extern Integer IEGrayWeightBlue;
void IESetDefaultGrayWeights();  // 21, 71, 8

// The screen's resolution in dots per inch, recorded by the view's start-up;
// 0 until it has run (readers then assume 96).
extern Integer IEScreenDpiX;
extern Integer IEScreenDpiY;

// Debug log: one line per call, "date time : message", appended to
// IEDebugLogFile when it is set. A missing file is created; a log that cannot be
// written is skipped silently, since logging must never break the caller.
extern WideString IEDebugLogFile;
void IEWriteDebugLog(const WideString& Message);
