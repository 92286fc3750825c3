#include "imaging/core/kernels/iefilters.h"

#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr std::array<std::array<Byte, 24>, 256> MakeExpandTable() {
  std::array<std::array<Byte, 24>, 256> t{};
  for (int b = 0; b < 256; ++b)
    for (int i = 0; i < 8; ++i) {
      const Byte v = (b & (0x80 >> i)) ? 255 : 0;
      t[b][3 * i] = t[b][3 * i + 1] = t[b][3 * i + 2] = v;
    }
  return t;
}

struct TPredefined {
  const char* Name;
  TIEFilter3x3 Filter;
};

constexpr TPredefined PredefinedFilters[IEPredefinedFilterCount] = {
    {"None", {{{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}, 0}},
    {"Blur", {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9}},
    {"Edges", {{{1, 1, 1}, {1, -8, 1}, {1, 1, 1}}, 1}},
    {"Emboss", {{{-1, 0, 1}, {-1, 1, 1}, {-1, 0, 1}}, 1}},
    {"High Pass 1", {{{0, -1, 0}, {-1, 5, -1}, {0, -1, 0}}, 1}},
    {"High Pass 2", {{{-1, -1, -1}, {-1, 9, -1}, {-1, -1, -1}}, 1}},
    {"High Pass 3", {{{1, -2, 1}, {-2, 5, -2}, {1, -2, 1}}, 1}},
    {"Low Pass 1", {{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 10}},
    {"Low Pass 2", {{{1, 2, 1}, {2, 4, 2}, {1, 2, 1}}, 16}},
};

// The records live in their own allocations so that their addresses stay
// valid for as long as the filters are built, whatever else is added.
struct TFilterLists {
  std::mutex Lock;
  std::vector<std::unique_ptr<TIEFilter3x3>> Records;
  std::vector<AnsiString> Names;
};

void Fill(TFilterLists& l) {
  l.Records.clear();
  l.Names.clear();
  for (const TPredefined& p : PredefinedFilters) {
    l.Records.push_back(std::make_unique<TIEFilter3x3>(p.Filter));
    l.Names.emplace_back(p.Name);
  }
}

// Built on first use as well as at start-up, so that a kernel that runs
// before the library's start-up still finds its filter.
TFilterLists& Lists() {
  static TFilterLists l;
  static std::once_flag built;
  std::call_once(built, [] { Fill(l); });
  return l;
}

}  // namespace

constinit std::array<std::array<Byte, 24>, 256> IE1BitExpandTable = MakeExpandTable();

void IEBuild1BitExpandTable() { IE1BitExpandTable = MakeExpandTable(); }

void IEBuildPredefinedFilters() {
  TFilterLists& l = Lists();
  std::lock_guard<std::mutex> g(l.Lock);
  Fill(l);
}

void IEFreePredefinedFilters() {
  TFilterLists& l = Lists();
  std::lock_guard<std::mutex> g(l.Lock);
  l.Records.clear();
  l.Names.clear();
}

const TIEFilter3x3* IEGetPredefinedFilter(Integer Index) {
  TFilterLists& l = Lists();
  std::lock_guard<std::mutex> g(l.Lock);
  if (Index < 0 || Index >= static_cast<Integer>(l.Records.size())) return nullptr;
  return l.Records[Index].get();
}

AnsiString IEGetPredefinedFilterName(Integer Index) {
  TFilterLists& l = Lists();
  std::lock_guard<std::mutex> g(l.Lock);
  if (Index < 0 || Index >= static_cast<Integer>(l.Names.size())) return {};
  return l.Names[Index];
}
