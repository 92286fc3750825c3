// The platform's HD Photo (JPEG XR) codec: decoding one frame of a container
// held in memory, with its size, resolution and pixel format, at full size or
// as its reduced-resolution thumbnail, and encoding a picture as one frame
// with the encoder options of a property bag. Every call of the underlying
// codec is checked: a failure is reported, never a half-decoded picture. The
// file's bytes are parsed and decoded in a child process, so that a file on
// which the codec fails an assertion or crashes is only a file that cannot
// be read.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The pixel formats this layer names. Every format a container may hold that
// is not one of the first eight is Other and is delivered as 24-bit BGR.
enum THDPhotoPixelFormat : uint8_t {
  hdpf1bppIndexed,  // never found in a container; kept for callers' tables
  hdpf8bppIndexed,  // likewise
  hdpfBlackWhite,   // 1 bit, leftmost pixel in the most significant bit, 1 = white
  hdpf8bppGray,
  hdpf16bppGray,    // host-order words
  hdpf24bppBGR,
  hdpf48bppRGB,     // host-order words red, green, blue
  hdpf32bppCMYK,    // bytes C, M, Y, K, 255 = full ink
  hdpfOther,
};

// Bytes of one row of Width pixels in Format (Other: as 24-bit BGR).
int64_t HDPhotoRowBytes(THDPhotoPixelFormat Format, int64_t Width);

// Makes every text entry (ASCII) of the first directory of the
// little-endian container in File end in a NUL, moving a text that has no
// room for one to the end of File. The codec stops the whole process on an
// unterminated text, and TIFF writers store texts of up to four characters
// without one. False when File is not such a container (File unchanged).
bool HDPhotoTerminateTexts(std::vector<uint8_t>& File);

// Whether the codec can be used on this platform; decided once per run.
bool HDPhotoCodecAvailable();

class THDPhotoDecoder {
 public:
  THDPhotoDecoder();
  ~THDPhotoDecoder();
  THDPhotoDecoder(const THDPhotoDecoder&) = delete;
  THDPhotoDecoder& operator=(const THDPhotoDecoder&) = delete;

  // Takes the bytes of a container; false when they are not one the codec
  // accepts (nothing is open then).
  bool Open(std::vector<uint8_t> Data);
  bool IsOpen() const;
  // Frames of the open container (0 when none is open).
  uint32_t FrameCount() const;
  // Makes Index the current frame; false for an index the container lacks.
  bool SelectFrame(uint32_t Index);

  // The current frame.
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  double ResolutionX() const { return FResX; }
  double ResolutionY() const { return FResY; }
  THDPhotoPixelFormat PixelFormat() const { return FFormat; }
  // Bits per pixel of the frame's own format, as the codec decodes it before
  // any conversion (at least 24 for Other).
  int32_t DecodeBitsPerPixel() const { return FDecodeBits; }

  // The reduced-resolution picture of the frame (one sixteenth of each side,
  // rounded up), which frames of at least 16 x 16 pixels have.
  bool HasThumbnail() const;
  int32_t ThumbnailWidth() const;
  int32_t ThumbnailHeight() const;

  // Decodes the frame (or its thumbnail) in PixelFormat() and hands the rows
  // top-down to Row, each HDPhotoRowBytes(PixelFormat(), width) bytes; Other
  // arrives as 24-bit BGR. False when the codec fails; Row may have been
  // called for no row or for all of them, but a false result means the
  // picture is not whole.
  bool Decode(bool Thumbnail, const std::function<void(int32_t Row, const uint8_t* Data)>& Row);

 private:
  struct TState;
  std::unique_ptr<TState> F;
  int32_t FWidth = 0, FHeight = 0;
  double FResX = 0, FResY = 0;
  THDPhotoPixelFormat FFormat = hdpfOther;
  int32_t FDecodeBits = 0;
  bool ReadFrameInfo();
};

// One encoder option: a name with a typed value, as a property bag holds it.
struct THDPhotoOption {
  enum TType : uint8_t { Float, Boolean, UInt8, UInt16 };
  std::string Name;
  TType Type = Float;
  double Value = 0;
  bool operator==(const THDPhotoOption&) const = default;
};

// Encodes Height rows of Width pixels in Format (not Other or indexed) as a
// container with one frame. Row(y) gives the bytes of row y, top-down, laid
// out as for the decoder. Options are read in order; a name the codec does
// not know is ignored, a known one with a value out of its range fails the
// encode. False (and Out untouched) on any failure.
bool HDPhotoEncode(int32_t Width, int32_t Height, THDPhotoPixelFormat Format, double ResolutionX, double ResolutionY,
                   const std::vector<THDPhotoOption>& Options, const std::function<const uint8_t*(int32_t Row)>& Row,
                   std::vector<uint8_t>& Out);
