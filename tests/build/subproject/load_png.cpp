// Loads the PNG named on the command line through the imaging library and
// prints its size and first pixel; fails when the load aborts.
#include <cstdio>

#include "imaging/core/base/iestartup.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/base/sysutils.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  IEStartup();
  int rc = 1;
  {
    TIEBitmap bitmap;
    TZiduzUvIO io(nullptr);
    io.AttachIEBitmap(&bitmap);
    io.LoadFromFile(Utf8ToWide(argv[1]));
    if (!io.Aborting() && bitmap.PixelFormat() == ie24RGB && bitmap.Width() > 0) {
      const auto* p = static_cast<const unsigned char*>(bitmap.GetScanline(0));
      // Rows are stored blue, green, red.
      std::printf("%dx%d %u,%u,%u\n", bitmap.Width(), bitmap.Height(), p[2], p[1], p[0]);
      rc = 0;
    }
  }
  IEShutdown();
  return rc;
}
