// The colour engine's display table: a four-colour profile into an RGB
// matrix-shaper profile, precalculated from the exact transform and
// interpolated, for drawing pictures on screen. Internal to the engine.
#pragma once

#include <lcms2.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/devices/colorengine.h"

class TCEDisplayTable {
 public:
  // nodes per input channel: 24 steps nest the grids of 3, 4, 5, 7, 9, 13
  // and 25 points that four-colour profiles usually carry
  static constexpr int kGrid = 25;
  static constexpr int kCurveSteps = 4096;  // steps of the input and output curve tables

  // nullptr when Input is not a CMYK profile, Output not an RGB
  // matrix-shaper, or the engine cannot evaluate the pair.
  static std::unique_ptr<TCEDisplayTable> Build(cmsHPROFILE Input, cmsHPROFILE Output, cmsUInt32Number Intent);

  // Count pixels of InputFormat (four channels) into OutputFormat (three);
  // the output's extra channels are left alone.
  void Run(const Byte* Source, const TCEFormat& InputFormat, Byte* Target, const TCEFormat& OutputFormat,
           size_t Count) const;

 private:
  TCEDisplayTable() = default;
  bool BuildInputCurves(cmsHPROFILE Input, cmsUInt32Number Intent);
  bool BuildNodes(cmsHPROFILE Input, cmsHPROFILE Linear, cmsUInt32Number Intent);
  bool BuildOutputCurves(cmsHPROFILE Linear, cmsHPROFILE Output, cmsUInt32Number Intent);
  float InputCoordinate(int Channel, float Value) const;
  template <bool InWords, bool OutWords>
  void RunAs(const Byte* Source, const TCEFormat& InputFormat, Byte* Target, const TCEFormat& OutputFormat,
             size_t Count) const;

  // Where an input byte falls: the offset of its cell's first node (in
  // floats) and the fraction within the cell, per input channel.
  struct TStep {
    uint32_t Offset;
    float Fraction;
  };

  // Input value 0..1 (kCurveSteps + 1 samples) -> grid coordinate
  // 0..kGrid-1: the profile's own input curves, so that the grid is even in
  // the space where the profile interpolates.
  std::vector<float> FIn[4];
  // Linear light 0..1 (kCurveSteps + 1 samples) -> output word 0..65535.
  std::vector<float> FOut[3];
  TStep FByteSteps[4][256];
  // Linear-light RGB of every node, unclipped, channel 0 slowest; four
  // floats a node (the last unused) so that a node is one vector.
  std::vector<float> FNodes;
};
