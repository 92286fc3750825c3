#include "platform/base/sysinfo.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

// ---------------------------------------------------------------------------
// Random numbers

namespace {
std::atomic<uint32_t> gRandSeed{0};

uint32_t NextSeed() {
  uint32_t old = gRandSeed.load(std::memory_order_relaxed), next;
  do next = old * 134775813u + 1u;
  while (!gRandSeed.compare_exchange_weak(old, next, std::memory_order_relaxed));
  return next;
}
}  // namespace

Integer Random(Integer Range) {
  uint64_t seed = NextSeed();
  return static_cast<Integer>(static_cast<uint32_t>((seed * static_cast<uint32_t>(Range)) >> 32));
}

double Random() { return NextSeed() / 4294967296.0; }

void Randomize() {
  timespec mono{}, real{};
  clock_gettime(CLOCK_MONOTONIC, &mono);
  clock_gettime(CLOCK_REALTIME, &real);
  gRandSeed = static_cast<uint32_t>(real.tv_sec) * 1000003u ^ static_cast<uint32_t>(real.tv_nsec) ^
              static_cast<uint32_t>(mono.tv_nsec) * 2654435761u;
}

Cardinal RandSeed() { return gRandSeed; }
void SetRandSeed(Cardinal Seed) { gRandSeed = Seed; }

// ---------------------------------------------------------------------------
// Memory

namespace {

// A number of bytes in a cgroup file; false for "max", a missing file or junk.
bool ReadCgroupBytes(const std::string& File, uint64_t& Value) {
  std::ifstream f(File);
  std::string text;
  if (!f || !(f >> text) || text.empty() || text == "max") return false;
  char* end = nullptr;
  unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (*end != '\0' || text[0] == '-') return false;
  Value = v;
  return true;
}

}  // namespace

bool ReadMemoryStatus(const std::string& ProcRoot, const std::string& CgroupRoot, TMemoryStatusEx& Status) {
  uint64_t total = 0, avail = 0, memFree = 0, buffers = 0, cached = 0;
  bool haveAvail = false;
  {
    std::ifstream f(ProcRoot + "/meminfo");
    std::string line;
    while (std::getline(f, line)) {
      std::istringstream ls(line);
      std::string key;
      unsigned long long kb = 0;
      if (!(ls >> key >> kb)) continue;
      uint64_t bytes = static_cast<uint64_t>(kb) * 1024u;
      if (key == "MemTotal:") total = bytes;
      else if (key == "MemAvailable:") avail = bytes, haveAvail = true;
      else if (key == "MemFree:") memFree = bytes;
      else if (key == "Buffers:") buffers = bytes;
      else if (key == "Cached:") cached = bytes;
    }
  }
  if (!haveAvail) avail = memFree + buffers + cached;
  if (total != 0) avail = std::min(avail, total);

  // The unified hierarchy's line is "0::/path"; every level of the path may
  // hold a limit, and the smallest one wins.
  std::string path;
  {
    std::ifstream f(ProcRoot + "/self/cgroup");
    std::string line;
    while (std::getline(f, line))
      if (line.rfind("0::", 0) == 0) path = line.substr(3);
  }
  if (!path.empty() && path[0] == '/' && path.find("..") == std::string::npos) {
    while (true) {
      std::string dir = CgroupRoot + (path == "/" ? std::string() : path);
      uint64_t limit = 0;
      if (ReadCgroupBytes(dir + "/memory.max", limit)) {
        total = total == 0 ? limit : std::min(total, limit);
        uint64_t current = 0;
        uint64_t left = ReadCgroupBytes(dir + "/memory.current", current) ? limit - std::min(current, limit) : limit;
        avail = haveAvail || avail != 0 ? std::min(avail, left) : left;
        haveAvail = true;
      }
      if (path == "/") break;
      size_t slash = path.rfind('/');
      path = slash == 0 ? std::string("/") : path.substr(0, slash);
    }
  }
  if (total == 0) return false;
  avail = std::min(avail, total);
  Status.ullTotalPhys = total;
  Status.ullAvailPhys = avail;
  Status.dwMemoryLoad = static_cast<Cardinal>(100 - avail * 100 / total);
  return true;
}

bool GlobalMemoryStatusEx(TMemoryStatusEx& Status) { return ReadMemoryStatus("/proc", "/sys/fs/cgroup", Status); }

// ---------------------------------------------------------------------------
// Processors

Integer GetProcessorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<Integer>(n) : 1;
}

bool CpuHasFeature(TCpuFeature Feature) {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  switch (Feature) {
    case cfMMX: return __builtin_cpu_supports("mmx");
    case cfSSE: return __builtin_cpu_supports("sse");
    case cfSSE2: return __builtin_cpu_supports("sse2");
    case cfSSE3: return __builtin_cpu_supports("sse3");
    case cfSSSE3: return __builtin_cpu_supports("ssse3");
    case cfSSE41: return __builtin_cpu_supports("sse4.1");
    case cfSSE42: return __builtin_cpu_supports("sse4.2");
    case cfAVX: return __builtin_cpu_supports("avx");
    case cfAVX2: return __builtin_cpu_supports("avx2");
  }
  return false;
#else
  (void)Feature;
  return false;
#endif
}

bool CpuId(Cardinal Leaf, Cardinal& EAX, Cardinal& EBX, Cardinal& ECX, Cardinal& EDX) {
#if defined(__x86_64__) || defined(__i386__)
  unsigned a, b, c, d;
  if (!__get_cpuid_count(Leaf, 0, &a, &b, &c, &d)) return false;
  EAX = a;
  EBX = b;
  ECX = c;
  EDX = d;
  return true;
#else
  (void)Leaf;
  EAX = EBX = ECX = EDX = 0;
  return false;
#endif
}

Word GetUserDefaultPrimaryLangID() {
  const char* v = nullptr;
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    v = std::getenv(name);
    if (v && *v) break;
    v = nullptr;
  }
  if (!v) return 0;
  const std::string lang(v, std::find_if(v, v + std::char_traits<char>::length(v),
                                         [](char c) { return c == '_' || c == '.' || c == '@'; }));
  // The primary language identifiers of the languages whose texts need a
  // charset of their own, and a few common others.
  static const std::pair<const char*, Word> kIds[] = {{"ar", 0x01}, {"bg", 0x02}, {"cs", 0x05}, {"de", 0x07},
                                                      {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fr", 0x0C},
                                                      {"he", 0x0D}, {"hu", 0x0E}, {"it", 0x10}, {"ja", 0x11},
                                                      {"ko", 0x12}, {"nl", 0x13}, {"pl", 0x15}, {"pt", 0x16},
                                                      {"ru", 0x19}, {"tr", 0x1F}, {"uk", 0x22}, {"zh", 0x04}};
  for (const auto& [code, id] : kIds)
    if (lang == code) return id;
  return 0;
}
