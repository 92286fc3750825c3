// HTML help as a folder of pages opened by the desktop's browser, and text
// popups in the hint window.
#include "platform/devices/htmlhelp.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QPoint>
#include <QString>
#include <QToolTip>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

#include "platform/base/fileutils.h"
#include "platform/base/sysutils.h"
#include "platform/base/threads.h"

extern char** environ;

namespace {

// A program name as the shell would find it on PATH (or as a path itself).
bool ProgramExists(const std::string& Name) {
  if (Name.empty()) return false;
  if (Name.find('/') != std::string::npos) return ::access(Name.c_str(), X_OK) == 0;
  const char* Path = std::getenv("PATH");
  std::stringstream Dirs(Path ? Path : "");
  std::string Dir;
  while (std::getline(Dirs, Dir, ':')) {
    const std::string Candidate = (Dir.empty() ? "." : Dir) + "/" + Name;
    struct stat St;
    if (::stat(Candidate.c_str(), &St) == 0 && S_ISREG(St.st_mode) && ::access(Candidate.c_str(), X_OK) == 0)
      return true;
  }
  return false;
}

// The browser may stay in the foreground for as long as the user reads, so
// the opener runs in the background of a shell that ends at once and is
// waited for here: nothing is left to reap.
bool OpenInBrowser(const WideString& Page) {
  const char* Env = std::getenv("GT_HELP_BROWSER");
  const std::string Opener = Env && *Env ? Env : "xdg-open";
  if (!ProgramExists(Opener)) return false;
  const std::string PageUtf8 = WideToUtf8(Page);
  const char* Argv[] = {"/bin/sh", "-c", "\"$0\" \"$1\" </dev/null >/dev/null 2>&1 &", Opener.c_str(),
                        PageUtf8.c_str(), nullptr};
  pid_t Pid = 0;
  if (::posix_spawn(&Pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(Argv), environ) != 0) return false;
  int Status = 0;
  while (::waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
}

bool ShowInHintWindow(TPoint At, const WideString& Text) {
  if (!IsMainThread() || !qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
  QToolTip::showText(QPoint(At.X, At.Y), QString::fromStdU16String(Text));
  return true;
}

std::mutex PresenterLock;
THelpPresenter Presenter;

THelpPresenter CurrentPresenter() {
  std::lock_guard<std::mutex> Guard(PresenterLock);
  THelpPresenter P = Presenter;
  if (!P.OpenPage) P.OpenPage = OpenInBrowser;
  if (!P.ShowPopup) P.ShowPopup = ShowInHintWindow;
  return P;
}

bool ReadWhole(const WideString& FileName, std::string& Bytes) {
  std::ifstream In(WideToUtf8(FileName), std::ios::binary);
  if (!In) return false;
  // Topics files and maps are small; a huge one is not a help file.
  constexpr std::streamoff Limit = 16 << 20;
  In.seekg(0, std::ios::end);
  const std::streamoff Size = In.tellg();
  if (Size < 0 || Size > Limit) return false;
  In.seekg(0);
  Bytes.assign(static_cast<size_t>(Size), '\0');
  return static_cast<bool>(In.read(Bytes.data(), Size));
}

std::string Trimmed(const std::string& S) {
  const size_t B = S.find_first_not_of(" \t\r");
  if (B == std::string::npos) return {};
  return S.substr(B, S.find_last_not_of(" \t\r") - B + 1);
}

bool ParseNumber(const std::string& S, UINT& Value) {
  if (S.empty() || S.size() > 10) return false;
  uint64_t V = 0;
  for (char C : S) {
    if (C < '0' || C > '9') return false;
    V = V * 10 + static_cast<uint64_t>(C - '0');
  }
  if (V > 0xFFFFFFFFu) return false;
  Value = static_cast<UINT>(V);
  return true;
}

// The page of topic Id in the folder's context map.
bool PageOfContext(const WideString& Folder, UINT Id, WideString& Page) {
  std::string Map;
  if (!ReadWhole(Folder + u"/context.txt", Map)) return false;
  std::stringstream Lines(Map);
  std::string Line;
  while (std::getline(Lines, Line)) {
    Line = Trimmed(Line);
    const size_t Space = Line.find_first_of(" \t");
    if (Space == std::string::npos) continue;
    UINT N = 0;
    if (!ParseNumber(Line.substr(0, Space), N) || N != Id) continue;
    const std::string Name = Trimmed(Line.substr(Space));
    // Pages stay inside the help folder.
    if (Name.empty() || Name[0] == '/' || Name.find("..") != std::string::npos) return false;
    Page = Folder + u"/" + Utf8ToWide(Name);
    return FileExists(Page);
  }
  return false;
}

HWND Shown() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(1)); }

}  // namespace

bool GtFindPopupTopic(const std::string& Topics, UINT Id, WideString& Text) {
  std::stringstream Lines(Topics);
  std::string Line, Body;
  bool In = false, Found = false;
  while (std::getline(Lines, Line)) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    if (Line.rfind(".topic", 0) == 0) {
      if (In) break;
      UINT N = 0;
      In = ParseNumber(Trimmed(Line.substr(6)), N) && N == Id;
      Found = Found || In;
      continue;
    }
    if (In) Body += (Body.empty() ? "" : "\n") + Line;
  }
  if (!Found) return false;
  while (!Body.empty() && (Body.back() == '\n' || Body.back() == ' ')) Body.pop_back();
  Text = Utf8ToWide(Body);
  return true;
}

bool GtResolveHelpFile(const WideString& File, WideString& Folder, WideString& Inner) {
  WideString Name = File;
  Inner.clear();
  const size_t Sep = Name.find(u"::/");
  if (Sep != WideString::npos) {
    Inner = Name.substr(Sep + 3);
    Name.resize(Sep);
  }
  if (Name.empty()) return false;
  if (DirectoryExists(Name)) {
    Folder = Name;
    return true;
  }
  const WideString Bare = ChangeFileExt(Name, WideString());
  if (Bare != Name && DirectoryExists(Bare)) {
    Folder = Bare;
    return true;
  }
  return false;
}

HWND HtmlHelp(HWND Caller, const WideString& File, UINT Command, ULONG_PTR Data) {
  (void)Caller;
  const THelpPresenter P = CurrentPresenter();
  WideString Folder, Inner;
  switch (Command) {
    case HH_DISPLAY_TOPIC:
    case HH_DISPLAY_TOC:
    case HH_DISPLAY_INDEX: {
      if (!GtResolveHelpFile(File, Folder, Inner)) return nullptr;
      const bool Named = Command == HH_DISPLAY_TOPIC && !Inner.empty() && Inner.find(u"..") == WideString::npos;
      const WideString Page = Folder + u"/" + (Named ? Inner : WideString(u"index.html"));
      if (!FileExists(Page)) return nullptr;
      return P.OpenPage(Page) ? Shown() : nullptr;
    }
    case HH_HELP_CONTEXT: {
      WideString Page;
      if (!GtResolveHelpFile(File, Folder, Inner) || !PageOfContext(Folder, static_cast<UINT>(Data), Page))
        return nullptr;
      return P.OpenPage(Page) ? Shown() : nullptr;
    }
    case HH_DISPLAY_TEXT_POPUP: {
      const auto* Popup = reinterpret_cast<const HH_POPUP*>(Data);
      if (!Popup) return nullptr;
      WideString Text;
      if (Popup->idString == 0) {
        if (Popup->pszText) Text = Popup->pszText;
      } else {
        // A folder holds its topics file under the usual name.
        WideString TopicsFile;
        if (DirectoryExists(File)) TopicsFile = File + u"/CSHelp.txt";
        else if (GtResolveHelpFile(File, Folder, Inner) && !Inner.empty() && Inner.find(u"..") == WideString::npos)
          TopicsFile = Folder + u"/" + Inner;
        else if (FileExists(File)) TopicsFile = File;
        std::string Topics;
        if (TopicsFile.empty() || !ReadWhole(TopicsFile, Topics) || !GtFindPopupTopic(Topics, Popup->idString, Text))
          return nullptr;
      }
      if (Text.empty()) return nullptr;
      return P.ShowPopup(Popup->pt, Text) ? Shown() : nullptr;
    }
    default:
      return nullptr;
  }
}

BOOL WinHelpW(HWND Caller, const WideString& File, UINT Command, ULONG_PTR Data) {
  (void)Caller;
  (void)File;
  (void)Command;
  (void)Data;
  return FALSE;
}

void GtSetHelpPresenter(const THelpPresenter& NewPresenter) {
  std::lock_guard<std::mutex> Guard(PresenterLock);
  Presenter = NewPresenter;
}
