// Named mutexes as locked files and posts to windows of the program's other
// processes over one local socket per process, all in the user's private
// folder. A window handle is 32 bits: the process's slot (bits 21..30, one
// locked slot file per running process), the slot's generation (bits
// 18..20, counted up each time a process takes the slot) and a counter.
// A post to another process's handle goes to the socket of the slot; the
// peer must greet as this program, and queues the message only for a live
// window of its own, so a handle left over by an ended process never
// reaches a window that now has the same number.
#include "platform/ui/crossprocess.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "platform/base/sysutils.h"

namespace {

thread_local DWORD t_LastError = ERROR_SUCCESS;

constexpr unsigned SlotShift = 21, SlotCount = 1024, EpochShift = 18, EpochMask = 7;
constexpr char Greeting[16] = {'G', 'i', 'm', 'r', 'o', '-', 'T', 'a', 'l', ' ', 'p', 'o', 's', 't', ' ', '1'};
constexpr int TimeoutMs = 400;

// The user's private folder, made 0700 on first use; empty when it cannot
// be trusted (someone else's, a link, open to others).
const std::string& Folder() {
  static const std::string Path = [] {
    const char* Run = std::getenv("XDG_RUNTIME_DIR");
    std::string P = Run && *Run ? std::string(Run) + "/gimro-tal" : "/tmp/gimro-tal-" + std::to_string(getuid());
    mkdir(P.c_str(), 0700);
    struct stat St;
    if (lstat(P.c_str(), &St) != 0 || !S_ISDIR(St.st_mode) || St.st_uid != getuid()) return std::string();
    if ((St.st_mode & 077) != 0 && chmod(P.c_str(), 0700) != 0) return std::string();
    return P;
  }();
  return Path;
}

// Bytes outside a small safe set become %XX, so any name makes one file name.
std::string FileNameOf(const WideString& Name) {
  std::string U = WideToUtf8(Name), Out;
  for (unsigned char Ch : U) {
    if (std::isalnum(Ch) || Ch == '.' || Ch == '-' || Ch == '_') {
      Out += static_cast<char>(Ch);
    } else {
      char Buf[4];
      std::snprintf(Buf, sizeof Buf, "%%%02X", Ch);
      Out += Buf;
    }
  }
  return Out;
}

struct TMutexHandle {
  int Fd;
};
std::mutex g_HandlesLock;
auto& g_Handles = *new std::set<TMutexHandle*>;

HANDLE Keep(int Fd) {
  auto* H = new TMutexHandle{Fd};
  std::lock_guard<std::mutex> L(g_HandlesLock);
  g_Handles.insert(H);
  return H;
}

void SetTimeouts(int Fd) {
  timeval T{0, TimeoutMs * 1000};
  setsockopt(Fd, SOL_SOCKET, SO_RCVTIMEO, &T, sizeof T);
  setsockopt(Fd, SOL_SOCKET, SO_SNDTIMEO, &T, sizeof T);
}

bool SameUser(int Fd) {
  ucred C{};
  socklen_t N = sizeof C;
  return getsockopt(Fd, SOL_SOCKET, SO_PEERCRED, &C, &N) == 0 && C.uid == getuid();
}

bool ReadAll(int Fd, void* Buf, size_t N) {
  auto* P = static_cast<char*>(Buf);
  while (N > 0) {
    ssize_t R = read(Fd, P, N);
    if (R < 0 && errno == EINTR) continue;
    if (R <= 0) return false;
    P += R;
    N -= static_cast<size_t>(R);
  }
  return true;
}

bool WriteAll(int Fd, const void* Buf, size_t N) {
  auto* P = static_cast<const char*>(Buf);
  while (N > 0) {
    ssize_t R = send(Fd, P, N, MSG_NOSIGNAL);
    if (R < 0 && errno == EINTR) continue;
    if (R <= 0) return false;
    P += R;
    N -= static_cast<size_t>(R);
  }
  return true;
}

std::string SocketPath(unsigned Slot) { return Folder() + "/w" + std::to_string(Slot) + ".sock"; }

bool FillAddress(sockaddr_un& A, const std::string& Path) {
  std::memset(&A, 0, sizeof A);
  A.sun_family = AF_UNIX;
  if (Path.size() >= sizeof A.sun_path) return false;
  std::memcpy(A.sun_path, Path.c_str(), Path.size());
  return true;
}

// A post request: handle, message, wParam, lParam (little-endian as the host).
struct TRequest {
  uint32_t Handle;
  uint32_t Msg;
  uint64_t WParam;
  uint64_t LParam;
};
static_assert(sizeof(TRequest) == 24);

bool Acceptable(UINT Msg) { return Msg >= WM_USER && Msg <= 0x7FFF; }

void Serve(int Listener) {
  for (;;) {
    int C = accept4(Listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (C < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    SetTimeouts(C);
    TRequest R{};
    if (SameUser(C) && WriteAll(C, Greeting, sizeof Greeting) && ReadAll(C, &R, sizeof R)) {
      const char Answer = gtui::AnswerPostRequest(&R, sizeof R) ? 1 : 0;
      WriteAll(C, &Answer, 1);
    }
    close(C);
  }
}

// Takes a free slot (its file locked for the process's life), counts its
// generation up and starts listening on its socket.
uintptr_t TakeSlot() {
  unsigned First = static_cast<unsigned>(getpid()) % (SlotCount - 1) + 1;
  // Tests choose the slot to try first, to make one process follow another in it.
  if (const char* S = std::getenv("GT_HANDLE_SLOT")) {
    unsigned long V = std::strtoul(S, nullptr, 10);
    if (V >= 1 && V < SlotCount) First = static_cast<unsigned>(V);
  }
  if (Folder().empty()) return uintptr_t(First) << SlotShift;
  for (unsigned i = 0; i < SlotCount - 1; ++i) {
    unsigned Slot = (First - 1 + i) % (SlotCount - 1) + 1;
    std::string Lock = Folder() + "/w" + std::to_string(Slot) + ".lock";
    int Fd = open(Lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (Fd < 0) continue;
    if (flock(Fd, LOCK_EX | LOCK_NB) != 0) {
      close(Fd);
      continue;
    }
    // The lock stays with the process (the descriptor is never closed).
    unsigned char Epoch = 0;
    if (pread(Fd, &Epoch, 1, 0) != 1) Epoch = 0;
    Epoch = static_cast<unsigned char>((Epoch + 1) & EpochMask);
    if (pwrite(Fd, &Epoch, 1, 0) != 1) {
      // An unwritable generation still gives a working slot.
    }
    const uintptr_t Base = (uintptr_t(Slot) << SlotShift) | (uintptr_t(Epoch) << EpochShift);
    // What is left at the socket's path belongs to an ended holder of the slot.
    std::string Path = SocketPath(Slot);
    unlink(Path.c_str());
    sockaddr_un A;
    int L = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (L >= 0 && FillAddress(A, Path) && bind(L, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0 && listen(L, 16) == 0) {
      std::thread(Serve, L).detach();
    } else if (L >= 0) {
      close(L);
    }
    return Base;
  }
  return uintptr_t(First) << SlotShift;
}

}  // namespace

namespace gtui {

uintptr_t ProcessHandleBase() {
  static const uintptr_t Base = TakeSlot();
  return Base;
}

bool IsOwnHandle(uintptr_t Handle) {
  constexpr uintptr_t Mask = (uintptr_t(SlotCount - 1) << SlotShift) | (uintptr_t(EpochMask) << EpochShift);
  return Handle <= 0xFFFFFFFFu && (Handle & Mask) == ProcessHandleBase();
}

bool AnswerPostRequest(const void* Data, size_t Size) {
  TRequest R;
  if (!Data || Size != sizeof R) return false;
  std::memcpy(&R, Data, sizeof R);
  if (!IsOwnHandle(R.Handle) || !Acceptable(R.Msg)) return false;
  return PostMessage(reinterpret_cast<HWND>(static_cast<uintptr_t>(R.Handle)), R.Msg, static_cast<WPARAM>(R.WParam),
                     static_cast<LPARAM>(R.LParam)) != FALSE;
}

BOOL PostToOtherProcess(uintptr_t Handle, UINT Msg, WPARAM WParam, LPARAM LParam) {
  const unsigned Slot = static_cast<unsigned>(Handle >> SlotShift) & (SlotCount - 1);
  if (Handle > 0xFFFFFFFFu || Slot == 0 || !Acceptable(Msg) || Folder().empty()) return FALSE;
  if (Slot == (ProcessHandleBase() >> SlotShift)) return FALSE;  // a window of ours that is gone
  sockaddr_un A;
  if (!FillAddress(A, SocketPath(Slot))) return FALSE;
  int Fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (Fd < 0) return FALSE;
  SetTimeouts(Fd);
  BOOL Result = FALSE;
  char Hello[sizeof Greeting];
  TRequest R{static_cast<uint32_t>(Handle), Msg, static_cast<uint64_t>(WParam), static_cast<uint64_t>(LParam)};
  char Answer = 0;
  if (connect(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0 && SameUser(Fd) && ReadAll(Fd, Hello, sizeof Hello) &&
      std::memcmp(Hello, Greeting, sizeof Greeting) == 0 && WriteAll(Fd, &R, sizeof R) && ReadAll(Fd, &Answer, 1))
    Result = Answer == 1 ? TRUE : FALSE;
  close(Fd);
  return Result;
}

}  // namespace gtui

HANDLE CreateMutex(const void*, BOOL, const WideString& Name) {
  if (Folder().empty() || Name.empty()) {
    t_LastError = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  std::string Path = Folder() + "/mutex-" + FileNameOf(Name);
  int Fd = open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (Fd < 0) {
    t_LastError = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  // Nobody holds it when an exclusive lock can be had; every holder keeps a shared one.
  const bool Existed = flock(Fd, LOCK_EX | LOCK_NB) != 0;
  while (flock(Fd, LOCK_SH) != 0 && errno == EINTR) {
  }
  t_LastError = Existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
  return Keep(Fd);
}

HANDLE OpenMutex(DWORD, BOOL, const WideString& Name) {
  t_LastError = ERROR_FILE_NOT_FOUND;
  if (Folder().empty() || Name.empty()) return nullptr;
  std::string Path = Folder() + "/mutex-" + FileNameOf(Name);
  int Fd = open(Path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (Fd < 0) return nullptr;
  if (flock(Fd, LOCK_EX | LOCK_NB) == 0) {
    // No live process holds it: the file is what an ended one left.
    close(Fd);
    return nullptr;
  }
  while (flock(Fd, LOCK_SH) != 0 && errno == EINTR) {
  }
  t_LastError = ERROR_SUCCESS;
  return Keep(Fd);
}

BOOL CloseHandle(HANDLE Object) {
  auto* H = static_cast<TMutexHandle*>(Object);
  {
    std::lock_guard<std::mutex> L(g_HandlesLock);
    if (!g_Handles.erase(H)) return FALSE;
  }
  close(H->Fd);
  delete H;
  return TRUE;
}

DWORD GetLastError() { return t_LastError; }
