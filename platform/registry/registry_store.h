// The registry file of the user, shared by every TRegistry of the process and by
// every process of the user. Reads see the latest file; each change is applied
// under an advisory lock to the file as it is on disk and written atomically,
// so that concurrent writers keep each other's values and a killed writer
// leaves the previous complete file behind.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/registry/registry_tree.h"

namespace gt::reg {

enum class RegChange { Unchanged, Changed, Failed };

class RegStore {
 public:
  // The registry file path: GT_REGISTRY_FILE, else
  // $XDG_CONFIG_HOME/gimro-tal/registry.json, else ~/.config/gimro-tal/registry.json.
  static std::string DefaultPath();
  // The one store of the file at Path in this process.
  static std::shared_ptr<RegStore> ForPath(const std::string& Path);

  explicit RegStore(std::string Path);
  const std::string& Path() const { return FPath; }

  // Runs Fn on the latest content of the file (an empty tree when there is none).
  void Read(const std::function<void(const RegTree&)>& Fn);
  // Runs Fn on the content of the file under the file lock and writes the file
  // when Fn reports a change. Returns false when Fn fails or the file cannot be
  // written; a change that could not be written is not kept.
  bool Modify(const std::function<RegChange(RegTree&)>& Fn);

 private:
  struct FileSig {
    dev_t Dev = 0;
    ino_t Ino = 0;
    off_t Size = 0;
    timespec MTime{};
    bool operator==(const FileSig& O) const {
      return Dev == O.Dev && Ino == O.Ino && Size == O.Size && MTime.tv_sec == O.MTime.tv_sec &&
             MTime.tv_nsec == O.MTime.tv_nsec;
    }
  };
  enum class State { Unknown, NoFile, Loaded, Damaged };

  void Refresh();
  bool LoadLocked();
  bool TakeBytes(std::string Bytes, const FileSig& Sig, std::string& Error);
  void UseEmpty(State S);
  std::string SetAside();
  bool WriteFile(const std::string& Bytes);
  void RemoveStaleTemporaries();
  void Report(const std::string& Message);

  std::string FPath, FDir, FLockPath, FTempPrefix;
  std::mutex FMutex;
  RegTree FTree;
  State FState = State::Unknown;
  std::string FBytes;  // the file content FTree was read from or written as
  FileSig FSig;        // of the file FTree stands for (Loaded or Damaged)
  timespec FVerifiedAt{};
  bool FTemporariesChecked = false;
};

}  // namespace gt::reg
