// How much memory the machine, or the container the program runs in, offers.
// The picture container sizes its memory threshold from it.
#pragma once

#include <cstdint>
#include <string>

// Total (Available false) or currently available (Available true) physical
// memory in bytes, capped by the memory limit of the process's control group,
// so that inside a container big pictures go to a temporary file instead of
// getting the process killed. 0 when it cannot be found out.
int64_t IEGetPhysicalMemory(bool Available);

// Memory limit and current use of a control group, -1 where not known.
struct TIECgroupMemory {
  int64_t Limit = -1;
  int64_t Usage = -1;
};

// The tightest memory limit that applies to the process, read from the
// control-group mount SysFsCgroup (normally "/sys/fs/cgroup") and the
// membership list ProcSelfCgroup (normally "/proc/self/cgroup"): the unified
// hierarchy's memory.max (a number, "max" means none) on the group and every
// ancestor, else the memory controller's memory.limit_in_bytes of the older
// hierarchy. Usage is that of the process's own group.
TIECgroupMemory IEReadCgroupMemory(const std::string& SysFsCgroup, const std::string& ProcSelfCgroup);

// Bytes the process can still take for a new block: the available physical
// memory (its control group's limit included) or what is left under its
// address-space limit (RLIMIT_AS), whichever is smaller; -1 when neither can
// be found out. IEMemoryLeftOverride, when not -1, is returned instead
// (tests).
int64_t IEMemoryLeft();
extern int64_t IEMemoryLeftOverride;
