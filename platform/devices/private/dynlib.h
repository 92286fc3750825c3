// Function tables of libraries opened on first use. A service that only
// some sessions need (video files, downloads) must not make every start of
// the program map and relocate its library and the hundred libraries behind
// it; the table is filled once, the first time the service is asked for.
// Internal to the device services.
#pragma once

#include <dlfcn.h>

#include <initializer_list>

// Opens each of Names (sonames) for the process's lifetime and binds the
// functions Fill asks for. Ok() is false when a library or a function is
// missing: the service then reports that it is unavailable.
class GtDynTable {
 public:
  bool Ok() const { return FOk; }

  // Binds Fn to the function Name of the libraries opened so far.
  template <class F>
  void Bind(F*& Fn, const char* Name) {
    Fn = nullptr;
    for (void* lib : FLibs)
      if (lib && (Fn = reinterpret_cast<F*>(dlsym(lib, Name)))) return;
    FOk = false;
  }

 protected:
  // Each library brings its own dependencies; nothing is closed again, as
  // the libraries keep process-wide state of their own.
  void Open(std::initializer_list<const char*> Names) {
    for (const char* n : Names) {
      void* lib = dlopen(n, RTLD_NOW | RTLD_LOCAL);
      if (!lib) FOk = false;
      if (FCount < kMaxLibs) FLibs[FCount++] = lib;
    }
  }

 private:
  static constexpr int kMaxLibs = 8;
  void* FLibs[kMaxLibs] = {};
  int FCount = 0;
  bool FOk = true;
};
