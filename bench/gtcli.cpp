// A command-line program over the imaging library, for whole-process
// comparisons with peer tools: it does what a user's script does (start, load
// a file, run one operation through the library's own calls, save, exit), so
// its time and peak memory can be set beside djpeg's, vips's or ImageMagick's
// on the same files.
//
//   gtcli decode IN [--scale N]            load (JPEG at 1/N, N = 1, 2, 4, 8)
//   gtcli convert IN OUT [--tiff-compression none|lzw|deflate|packbits]
//                                          load and save (format from OUT)
//   gtcli resize IN OUT FACTOR [FILTER]    resample by FACTOR (lanczos3 default)
//   gtcli rotate IN OUT ANGLE              rotate with antialiasing, black fill
//   gtcli steps IN OUT STEP...             several in one process, in order:
//                                          rotate=ANGLE, resize=FACTOR (lanczos3)
//   gtcli proc IN OUT OPERATION            one of the processor's edits:
//                                          blur5 (Gaussian, radius 5), sharpen (3x3
//                                          "High Pass 1"), contrast-hsl (contrast 20,
//                                          then hue 30, saturation 10, lightness 5),
//                                          rotate30 (bilinear antialiasing, black
//                                          fill), half-lanczos3 (resample to 50%)
//
// GT_THREADS=n sets the kernels' thread count (default 1, as the peers are run
// with one thread unless said otherwise); 0 uses every processor.
// Exit status 0 on success, 1 on a failed load, operation or save.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "imaging/core/base/iedefs.h"
#include "imaging/core/base/iestartup.h"
#include "imaging/core/base/ieparallel.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/geometry/ieresample.h"
#include "imaging/core/geometry/ierotate.h"
#include "imaging/io/ziduzuvio.h"
#include "imaging/proc/ziduzuvproc.h"
#include "imaging/core/base/ieutils.h"
#include "platform/base/sysutils.h"

namespace {

int Usage() {
  std::fputs(
      "usage: gtcli decode IN [--scale N]\n"
      "       gtcli convert IN OUT [--tiff-compression none|lzw|deflate|packbits]\n"
      "       gtcli resize IN OUT FACTOR [lanczos3|mitchell|bspline|triangle|hermite|bell|nearest]\n"
      "       gtcli rotate IN OUT ANGLE\n"
      "       gtcli steps IN OUT rotate=ANGLE|resize=FACTOR...\n"
      "       gtcli proc IN OUT blur5|sharpen|contrast-hsl|rotate30|half-lanczos3\n",
      stderr);
  return 2;
}

bool FilterByName(const std::string& Name, TResampleFilter& Filter) {
  static const struct {
    const char* name;
    TResampleFilter filter;
  } kFilters[] = {{"lanczos3", rfLanczos3}, {"mitchell", rfMitchell}, {"bspline", rfBSpline}, {"triangle", rfTriangle},
                  {"hermite", rfHermite},   {"bell", rfBell},         {"nearest", rfNone}};
  for (const auto& f : kFilters)
    if (Name == f.name) {
      Filter = f.filter;
      return true;
    }
  return false;
}

// Scale is the denominator (1, 2, 4 or 8); the parameter takes its code.
bool Load(TZiduzUvIO& io, const char* File, Integer Scale) {
  io.Params().JPEG_SCALE = Scale == 8 ? 4 : Scale == 4 ? 3 : Scale == 2 ? 2 : 1;
  io.LoadFromFile(Utf8ToWide(File));
  if (io.Aborting() || io.IEBitmap()->Width() <= 0) {
    std::fprintf(stderr, "gtcli: cannot load %s (%s)\n", File, io.Aborting() ? "read failed" : "empty picture");
    return false;
  }
  return true;
}

bool Save(TZiduzUvIO& io, const char* File) {
  io.SaveToFile(Utf8ToWide(File));
  if (io.Aborting()) {
    std::fprintf(stderr, "gtcli: cannot save %s\n", File);
    return false;
  }
  return true;
}

// The picture resampled by Factor with Filter, in place of the old one.
bool ResizeBy(TIEBitmap& Picture, double Factor, TResampleFilter Filter) {
  TIEBitmap result;
  const double w = Picture.Width() * Factor, h = Picture.Height() * Factor;
  if (!result.Allocate(Integer(w < 1 ? 1 : w + 0.5), Integer(h < 1 ? 1 : h + 0.5), Picture.PixelFormat())) {
    std::fputs("gtcli: out of memory\n", stderr);
    return false;
  }
  IEResample(&Picture, &result, Filter);
  result.MoveStorageTo(&Picture);
  return true;
}

bool RotateBy(TIEBitmap& Picture, double Angle) {
  if (IERotateBitmap(&Picture, true, nullptr, nullptr, TRGB{0, 0, 0}, Angle)) return true;
  std::fputs("gtcli: rotation failed\n", stderr);
  return false;
}

int Run(int argc, char** argv) {
  const char* threads = std::getenv("GT_THREADS");
  IESetParallelThreads(threads ? std::atoi(threads) : 1);
  // The library's start-up, as the program runs it before its first load.
  IEStartup();

  const std::string op = argv[1];
  TIEBitmap picture;
  std::unique_ptr<TZiduzUvIO> io = TZiduzUvIO::CreateForBitmap(&picture);

  if (op == "decode") {
    Integer scale = 1;
    if (argc == 5 && std::strcmp(argv[3], "--scale") == 0) scale = std::atoi(argv[4]);
    else if (argc != 3) return Usage();
    return Load(*io, argv[2], scale) ? 0 : 1;
  }
  if (op == "convert") {
    // The parameter codes of the TIFF writer's compressions.
    static const struct {
      const char* name;
      Byte code;
    } kCompressions[] = {{"none", 0}, {"lzw", 5}, {"packbits", 8}, {"deflate", 9}};
    int code = -1;
    if (argc == 6 && std::strcmp(argv[4], "--tiff-compression") == 0) {
      for (const auto& c : kCompressions)
        if (std::strcmp(argv[5], c.name) == 0) code = c.code;
      if (code < 0) return Usage();
    } else if (argc != 4) {
      return Usage();
    }
    if (!Load(*io, argv[2], 1)) return 1;
    // A loaded TIFF leaves its own compression in the parameters.
    if (code >= 0) io->Params().TIFF_COMPRESSION = Byte(code);
    return Save(*io, argv[3]) ? 0 : 1;
  }
  if (op == "resize") {
    if (argc != 5 && argc != 6) return Usage();
    TResampleFilter filter = rfLanczos3;
    if (argc == 6 && !FilterByName(argv[5], filter)) return Usage();
    const double factor = std::atof(argv[4]);
    if (!(factor > 0)) return Usage();
    if (!Load(*io, argv[2], 1) || !ResizeBy(picture, factor, filter)) return 1;
    return Save(*io, argv[3]) ? 0 : 1;
  }
  if (op == "rotate") {
    if (argc != 5) return Usage();
    if (!Load(*io, argv[2], 1) || !RotateBy(picture, std::atof(argv[4]))) return 1;
    return Save(*io, argv[3]) ? 0 : 1;
  }
  if (op == "steps") {
    if (argc < 5) return Usage();
    for (int i = 4; i < argc; ++i) {
      const std::string step = argv[i];
      if (step.rfind("rotate=", 0) != 0 && !(step.rfind("resize=", 0) == 0 && std::atof(argv[i] + 7) > 0))
        return Usage();
    }
    if (!Load(*io, argv[2], 1)) return 1;
    for (int i = 4; i < argc; ++i) {
      const double value = std::atof(argv[i] + 7);
      if (!(argv[i][1] == 'o' ? RotateBy(picture, value) : ResizeBy(picture, value, rfLanczos3))) return 1;
    }
    return Save(*io, argv[3]) ? 0 : 1;
  }
  if (op == "proc") {
    if (argc != 5) return Usage();
    const std::string what = argv[4];
    if (what != "blur5" && what != "sharpen" && what != "contrast-hsl" && what != "rotate30" &&
        what != "half-lanczos3")
      return Usage();
    if (!Load(*io, argv[2], 1)) return 1;
    const Integer w = picture.Width(), h = picture.Height();
    // The edits as the program's commands make them: through the processor
    // attached to the picture, without undo (a script keeps no history).
    auto proc = TZiduzUvProc::CreateFromBitmap(&picture);
    proc->SetAutoUndo(false);
    if (what == "blur5") {
      IEGaussianBlur(&picture, nullptr, nullptr, 5);
    } else if (what == "sharpen") {
      IEApplyFilter3x3(&picture, *IEGetPredefinedFilter(4), nullptr, nullptr, 0, 0, w, h);
    } else if (what == "contrast-hsl") {
      IEAdjustContrast(&picture, 128, 128, 128, 20, nullptr, nullptr, 0, 0, w, h);
      IEAdjustHSL(&picture, 30, 10, 5, nullptr, nullptr, 0, 0, w, h);
    } else if (what == "rotate30") {
      proc->Rotate(30, true, 1, 0);
    } else {
      proc->Resample(w / 2, h / 2, rfLanczos3);
    }
    proc.reset();
    return Save(*io, argv[3]) ? 0 : 1;
  }
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  // A file that cannot be opened or created raises its stream's error.
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gtcli: %s\n", e.what());
    return 1;
  }
}
