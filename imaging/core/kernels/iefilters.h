// Tables the kernels and the processing subsystem share, built once at
// start-up: the 1-bit expansion table and the predefined 3x3 filters.
#pragma once

#include <array>

#include "platform/base/types.h"

// Entry b: the eight pixels of byte b, most significant bit first, three bytes
// each: 255, 255, 255 for a set bit, 0, 0, 0 for a clear one. Filled at static
// initialisation already, so readers never see an empty table.
extern std::array<std::array<Byte, 24>, 256> IE1BitExpandTable;
void IEBuild1BitExpandTable();

// A 3x3 convolution filter: nine weights in row order (top-left first), then
// the divisor (0 is taken as 1). 40 bytes.
struct TIEFilter3x3 {
  int32_t Values[3][3];
  int32_t Divisor;
};
static_assert(sizeof(TIEFilter3x3) == 40);

constexpr Integer IEPredefinedFilterCount = 9;
constexpr Integer IEPredefinedFilterBlur = 1;

// Builds the nine predefined filters ("None", "Blur", "Edges", "Emboss",
// "High Pass 1".."3", "Low Pass 1", "Low Pass 2") and their names; a second
// call rebuilds them.
void IEBuildPredefinedFilters();
void IEFreePredefinedFilters();
// The record of predefined filter Index (0..8); nullptr when the filters are
// not built or Index is out of range.
const TIEFilter3x3* IEGetPredefinedFilter(Integer Index);
// Name of predefined filter Index, empty when there is none.
AnsiString IEGetPredefinedFilterName(Integer Index);
