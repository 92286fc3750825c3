// Shared helpers of the codec tests: pictures, streams, outside tools and
// the progress record.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "../io_test_util.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"
#include "tests/support/pnm_bitmap.h"
#include "tests/support/process.h"
#include "tests/support/stream_bytes.h"

namespace codec_test {

using io_test::Bytes;

using gt_test::Capture;
using gt_test::HaveTool;

// An abort flag with a record around it.
struct Progress {
  std::atomic<bool> Aborting{false};
  TIEProgressRec Rec{Aborting};
};

// A photo-like ie24RGB picture: gradients, edges and noise, deterministic.
inline std::unique_ptr<TIEBitmap> MakePicture(Integer W, Integer H, uint32_t Seed = 1) {
  auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y) {
    Byte* p = static_cast<Byte*>(b->GetScanline(y));
    for (Integer x = 0; x < W; ++x, p += 3) {
      Seed = Seed * 1664525u + 1013904223u;
      Byte n = Byte(Seed >> 27);
      p[0] = Byte(x * 255 / (W > 1 ? W - 1 : 1) ^ n);
      p[1] = Byte(y * 255 / (H > 1 ? H - 1 : 1) + n);
      p[2] = Byte(((x / 7 + y / 5) & 1) ? 220 - n : 30 + n);
    }
  }
  return b;
}

// PNM files for the outside encoders and decoders.
using gt_test::Pnm;
using gt_test::ReadPnm;
using gt_test::WritePnm;

// A memory stream's bytes.
inline Bytes Contents(TCustomMemoryStream& S) { return gt_test::StreamBytes(S); }

}  // namespace codec_test
