#include "imaging/core/base/iesysinfo.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

bool PathExists(const std::string& Path) {
  struct stat st;
  return ::stat(Path.c_str(), &st) == 0;
}

// The first line of a control file as a non-negative number; -1 for "max",
// an empty or missing file, or anything that is not a plain number.
int64_t ReadNumberFile(const std::string& Path) {
  std::ifstream f(Path);
  std::string s;
  if (!f || !std::getline(f, s)) return -1;
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\r')) s.pop_back();
  if (s.empty() || s.size() > 19) return -1;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

// Joins a mount folder and a group path such as "/a/b".
std::string GroupDir(const std::string& Mount, const std::string& Group) {
  if (Group.empty() || Group == "/") return Mount;
  return Mount + (Group.front() == '/' ? "" : "/") + Group;
}

std::string ParentGroup(const std::string& Group) {
  auto p = Group.find_last_of('/');
  if (p == std::string::npos || p == 0) return "/";
  return Group.substr(0, p);
}

// Smallest number found in File on Group and every ancestor below Mount. A
// group path the namespace does not show (a container sees "/" as its own
// group, or a path that is not mounted here) falls back to the mount's root.
int64_t TightestLimit(const std::string& Mount, const std::string& OwnGroup, const char* File) {
  std::string Group = PathExists(GroupDir(Mount, OwnGroup)) ? OwnGroup : std::string(1, '/');
  int64_t best = -1;
  for (;;) {
    int64_t v = ReadNumberFile(GroupDir(Mount, Group) + "/" + File);
    if (v >= 0 && (best < 0 || v < best)) best = v;
    if (Group == "/" || Group.empty()) break;
    Group = ParentGroup(Group);
  }
  return best;
}

}  // namespace

TIECgroupMemory IEReadCgroupMemory(const std::string& SysFsCgroup, const std::string& ProcSelfCgroup) {
  TIECgroupMemory r;
  std::string unifiedGroup, memoryGroup;
  bool haveUnified = false, haveMemory = false;
  {
    std::ifstream f(ProcSelfCgroup);
    std::string line;
    while (f && std::getline(f, line)) {
      // "id:controllers:path"; the unified hierarchy is "0::path".
      auto a = line.find(':');
      if (a == std::string::npos) continue;
      auto b = line.find(':', a + 1);
      if (b == std::string::npos) continue;
      std::string id = line.substr(0, a), ctl = line.substr(a + 1, b - a - 1), path = line.substr(b + 1);
      if (id == "0" && ctl.empty()) {
        unifiedGroup = path;
        haveUnified = true;
      } else {
        std::stringstream ss(ctl);
        std::string c;
        while (std::getline(ss, c, ','))
          if (c == "memory") {
            memoryGroup = path;
            haveMemory = true;
          }
      }
    }
  }
  if (haveUnified) {
    // Pure unified mount, or the hybrid layout with it under "unified".
    std::string mount;
    if (PathExists(SysFsCgroup + "/cgroup.controllers")) mount = SysFsCgroup;
    else if (PathExists(SysFsCgroup + "/unified/cgroup.controllers")) mount = SysFsCgroup + "/unified";
    if (!mount.empty()) {
      r.Limit = TightestLimit(mount, unifiedGroup, "memory.max");
      std::string own = GroupDir(mount, PathExists(GroupDir(mount, unifiedGroup)) ? unifiedGroup : "/");
      r.Usage = ReadNumberFile(own + "/memory.current");
    }
  }
  if (r.Limit < 0 && haveMemory) {
    std::string mount = SysFsCgroup + "/memory";
    if (PathExists(mount)) {
      r.Limit = TightestLimit(mount, memoryGroup, "memory.limit_in_bytes");
      std::string own = GroupDir(mount, PathExists(GroupDir(mount, memoryGroup)) ? memoryGroup : "/");
      r.Usage = ReadNumberFile(own + "/memory.usage_in_bytes");
    }
  }
  return r;
}

namespace {

// MemAvailable of /proc/meminfo in bytes, -1 when missing.
int64_t MemAvailable() {
  std::ifstream f("/proc/meminfo");
  std::string key;
  int64_t kb;
  std::string unit;
  while (f >> key >> kb) {
    std::getline(f, unit);
    if (key == "MemAvailable:") return kb * 1024;
  }
  return -1;
}

}  // namespace

int64_t IEGetPhysicalMemory(bool Available) {
  long pages = ::sysconf(_SC_PHYS_PAGES);
  long pageSize = ::sysconf(_SC_PAGE_SIZE);
  int64_t total = (pages > 0 && pageSize > 0) ? int64_t(pages) * pageSize : 0;
  TIECgroupMemory cg = IEReadCgroupMemory("/sys/fs/cgroup", "/proc/self/cgroup");
  if (cg.Limit >= 0 && (total == 0 || cg.Limit < total)) total = cg.Limit;
  if (!Available) return total;
  int64_t avail = MemAvailable();
  if (avail < 0) avail = total;
  if (cg.Limit >= 0 && cg.Usage >= 0) avail = std::min(avail, std::max<int64_t>(0, cg.Limit - cg.Usage));
  return std::min(avail, total);
}

int64_t IEMemoryLeftOverride = -1;

int64_t IEMemoryLeft() {
  if (IEMemoryLeftOverride != -1) return IEMemoryLeftOverride;
  int64_t left = IEGetPhysicalMemory(true);
  if (left <= 0) left = -1;
  struct rlimit limit;
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    // The process's current size: the first field of statm, in pages.
    std::ifstream statm("/proc/self/statm");
    int64_t pages = 0;
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (statm >> pages && pageSize > 0) {
      const int64_t used = pages * pageSize;
      const int64_t room = int64_t(limit.rlim_cur) > used ? int64_t(limit.rlim_cur) - used : 0;
      left = left < 0 ? room : std::min(left, room);
    }
  }
  return left;
}
