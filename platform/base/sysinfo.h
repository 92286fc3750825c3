// System information: the process-wide pseudo-random generator, physical
// memory, processor count and processor features.
#pragma once

#include <string>

#include "platform/base/types.h"

// The process-wide generator (thread-safe). Every draw advances the seed:
// seed := seed * 134775813 + 1 (mod 2^32). Random(Range) is the high 32 bits
// of the new seed times Range (taken as unsigned 32-bit), so it lies in
// 0..Range-1, and Random(0) is 0 yet still draws. Random() is seed / 2^32.
Integer Random(Integer Range);
double Random();
// Seeds the generator from the clock.
void Randomize();
// The seed itself, for code that saves and restores it around its own draws.
Cardinal RandSeed();
void SetRandSeed(Cardinal Seed);

struct TMemoryStatusEx {
  Cardinal dwMemoryLoad = 0;  // percent of ullTotalPhys in use
  uint64_t ullTotalPhys = 0;  // bytes
  uint64_t ullAvailPhys = 0;  // bytes
};
// Physical memory of the machine, capped by the cgroup v2 limits of the
// process (memory.max along its cgroup path; memory.current gives what is
// left under a limit). False when nothing could be measured.
bool GlobalMemoryStatusEx(TMemoryStatusEx& Status);
// The same from other roots (for tests): ProcRoot holds "meminfo" and
// "self/cgroup"; CgroupRoot is where the cgroup2 tree is mounted.
bool ReadMemoryStatus(const std::string& ProcRoot, const std::string& CgroupRoot, TMemoryStatusEx& Status);

// Processors this process may run on (at least 1).
Integer GetProcessorCount();

enum TCpuFeature { cfMMX, cfSSE, cfSSE2, cfSSE3, cfSSSE3, cfSSE41, cfSSE42, cfAVX, cfAVX2 };
// False for every feature on processors other than x86.
bool CpuHasFeature(TCpuFeature Feature);
// The registers of CPUID for Leaf (subleaf 0); false when the processor has
// no such leaf or is not an x86.
bool CpuId(Cardinal Leaf, Cardinal& EAX, Cardinal& EBX, Cardinal& ECX, Cardinal& EDX);

// The primary language identifier of the user's locale (LC_ALL, else
// LC_CTYPE, else LANG: "el" gives 8, "ru" 25, "en" 9, ...); 0 when unknown.
Word GetUserDefaultPrimaryLangID();
