// Storage of the LZW codec hooks; the LZW codecs fill them at start-up.
#include "imaging/io/ielzwhooks.h"

TIETIFFLZWDecompressFunc IETIFFLZWDecompressProc = nullptr;
TIETIFFLZWCompressFunc IETIFFLZWCompressProc = nullptr;
TIEGIFLZWDecompressFunc IEGIFLZWDecompressProc = nullptr;
TIEGIFLZWCompressFunc IEGIFLZWCompressProc = nullptr;
