// Saving without ever losing the user's file: the data goes to a new file in
// the target's folder, which replaces the target only once the writer
// succeeded. Until then, and after any failure, the target is exactly as it
// was. The replaced file keeps what the user set on it: permission bits,
// owner and group (where the process may set them), the symbolic links that
// lead to it and the hard links that share it.
#pragma once

#include <memory>

#include "platform/base/classes.h"
#include "platform/base/types.h"

class TIESafeFileSave {
 public:
  // Resolves symbolic links to the file they lead to, removes the temporary
  // files that killed saves left in that folder (those whose writer is
  // gone), and creates this save's temporary file there. Raises
  // EFCreateError "Cannot create file "<FileName expanded>". <reason>" when
  // that is impossible (missing folder, no right to write, a folder named
  // like the target, a loop of links).
  explicit TIESafeFileSave(const WideString& FileName);
  // Removes the temporary file unless it was committed; an abandoned save
  // whose writes the system refused leaves its reason in the debug log.
  ~TIESafeFileSave();
  TIESafeFileSave(const TIESafeFileSave&) = delete;
  TIESafeFileSave& operator=(const TIESafeFileSave&) = delete;

  // Where the writer writes.
  TStream* Stream() { return FStream.get(); }
  // Puts the new content in place. False, with the target untouched, when a
  // write to the stream failed (even one the writer did not notice) or any
  // step of the replacement fails; ErrorCode and ErrorMessage then say why.
  bool Commit();

  // The system's error code of the first failure (a write the stream
  // refused, or a step of Commit); 0 while nothing failed.
  int ErrorCode() const;
  // "Cannot create file "<FileName expanded>". <the system's text>", for
  // example "... No space left on device"; empty while nothing failed.
  WideString ErrorMessage() const;
  // Raises EFCreateError with ErrorMessage when something failed.
  void RaiseError() const;

  // The file the save replaces: FileName, or the end of its chain of links.
  const WideString& Target() const { return FTarget; }
  // The name of the temporary file (empty after commit); for tests.
  const WideString& TempName() const { return FTempName; }

 private:
  bool Fail(int Err);
  bool CommitByRename();
  bool CommitInPlace();
  void LogFailure();

  WideString FFileName;  // as the caller named it, for messages
  WideString FTarget;
  WideString FTempName;
  int FHandle = -1;
  int FError = 0;
  bool FLogged = false;
  std::unique_ptr<THandleStream> FStream;
};
