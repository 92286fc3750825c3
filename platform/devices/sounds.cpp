// Event sounds through the desktop's sound library, loaded at run time so
// that the program runs (silently) where it is missing.
#include "platform/devices/sounds.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>

namespace {

struct TPlayer {
  using TCreate = int (*)(void** Context);
  using TPlay = int (*)(void* Context, uint32_t Id, ...);
  void* Library = nullptr;
  void* Context = nullptr;
  TPlay Play = nullptr;
};

// Loaded once; a failed load is not retried.
TPlayer& Player() {
  static TPlayer P;
  static std::once_flag Once;
  std::call_once(Once, [] {
    P.Library = dlopen("libcanberra.so.0", RTLD_LAZY | RTLD_LOCAL);
    if (!P.Library) return;
    auto Create = reinterpret_cast<TPlayer::TCreate>(dlsym(P.Library, "ca_context_create"));
    P.Play = reinterpret_cast<TPlayer::TPlay>(dlsym(P.Library, "ca_context_play"));
    if (!Create || !P.Play || Create(&P.Context) != 0) {
      P.Play = nullptr;
      P.Context = nullptr;
    }
  });
  return P;
}

bool IsFile(const std::string& Path) {
  struct stat S;
  return stat(Path.c_str(), &S) == 0 && S_ISREG(S.st_mode);
}

// Event names are plain words; anything else is not looked up as a path.
bool ValidEventId(const std::string& Id) {
  if (Id.empty()) return false;
  for (char C : Id)
    if (!((C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '-' || C == '_'))
      return false;
  return true;
}

}  // namespace

std::vector<std::string> GtDesktopDataDirs() {
  std::vector<std::string> Dirs;
  const char* Home = std::getenv("XDG_DATA_HOME");
  if (Home && *Home) {
    Dirs.push_back(Home);
  } else if (const char* H = std::getenv("HOME"); H && *H) {
    Dirs.push_back(std::string(H) + "/.local/share");
  }
  const char* List = std::getenv("XDG_DATA_DIRS");
  std::string All = List && *List ? List : "/usr/local/share:/usr/share";
  size_t Start = 0;
  while (Start <= All.size()) {
    const size_t End = All.find(':', Start);
    const std::string D = All.substr(Start, End == std::string::npos ? std::string::npos : End - Start);
    if (!D.empty()) Dirs.push_back(D);
    if (End == std::string::npos) break;
    Start = End + 1;
  }
  return Dirs;
}

bool GtSoundThemeHasEvent(const std::string& EventId, const std::vector<std::string>& DataDirs) {
  if (!ValidEventId(EventId)) return false;
  for (const std::string& Dir : DataDirs)
    for (const char* Sub : {"/sounds/freedesktop/stereo/", "/sounds/freedesktop/"})
      for (const char* Ext : {".oga", ".ogg", ".wav"})
        if (IsFile(Dir + Sub + EventId + Ext)) return true;
  return false;
}

bool GtSoundEventConfigured(const std::string& EventId) {
  return Player().Play && GtSoundThemeHasEvent(EventId, GtDesktopDataDirs());
}

void GtPlaySoundEvent(const std::string& EventId) {
  TPlayer& P = Player();
  if (!P.Play || !ValidEventId(EventId)) return;
  P.Play(P.Context, 0, "event.id", EventId.c_str(), static_cast<const char*>(nullptr));
}
