// Storage of the LZW codec hooks. They start out holding the library's own
// LZW codecs (constant initialisation, so that no parameter record made during
// start-up can copy a nil hook); a program may replace or clear them.
#include "imaging/io/ielzwhooks.h"

#include "imaging/io/ielzw.h"

TIETIFFLZWDecompressFunc IETIFFLZWDecompressProc = IETIFFLZWDecompress;
TIETIFFLZWCompressFunc IETIFFLZWCompressProc = IETIFFLZWCompress;
TIEGIFLZWDecompressFunc IEGIFLZWDecompressProc = IEGIFLZWDecompress;
TIEGIFLZWCompressFunc IEGIFLZWCompressProc = IEGIFLZWCompress;
