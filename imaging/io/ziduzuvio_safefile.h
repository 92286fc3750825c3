// Saving without ever losing the user's file: the data goes to a new file in
// the target's folder, which replaces the target in one step only once the
// writer succeeded. Until then, and after any failure, the target is exactly
// as it was.
#pragma once

#include <memory>

#include "platform/base/classes.h"
#include "platform/base/types.h"

class TIESafeFileSave {
 public:
  // Creates the temporary file; raises EFCreateError "Cannot create file
  // "<target>". <reason>" when that is impossible (missing folder, no right
  // to write there). A target that is a symbolic link is saved through it.
  explicit TIESafeFileSave(const WideString& FileName);
  // Removes the temporary file unless it was committed.
  ~TIESafeFileSave();
  TIESafeFileSave(const TIESafeFileSave&) = delete;
  TIESafeFileSave& operator=(const TIESafeFileSave&) = delete;

  // Where the writer writes.
  TStream* Stream() { return FStream.get(); }
  // Flushes the data, gives it the target's permissions (or the usual ones
  // for a new file) and renames it over the target. False, with the target
  // untouched, when any step fails.
  bool Commit();
  // The name of the temporary file (empty after commit); for tests.
  const WideString& TempName() const { return FTempName; }

 private:
  WideString FTarget;
  WideString FTempName;
  int FHandle = -1;
  std::unique_ptr<TStream> FStream;
};
