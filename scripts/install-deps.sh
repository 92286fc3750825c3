#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the program need.
# Idempotent: does nothing (and prints nothing) when all packages are present.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build ccache pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang lld
  qt6-base-dev qt6-base-dev-tools libgl-dev
  zlib1g-dev libjpeg62-turbo-dev libpng-dev libopenjp2-7-dev libraw-dev liblcms2-dev
  # tests, oracles and headless runs
  xvfb xauth fonts-liberation2 fonts-dejavu-core fontconfig
  imagemagick libtiff-tools netpbm ghostscript python3-pil python3-numpy
  exiv2 libimage-exiftool-perl liblcms2-utils exiftran python3-skimage libvips-tools
  libjpeg-turbo-progs pngcheck fp-compiler python3-scipy ffmpeg
  python3-tifffile giflib-tools gifsicle xdotool
  # benchmarks against peer tools (bench/compare.sh)
  hyperfine time
  # the processor's clipboard checks under Xvfb (another program's side of the clipboard)
  xclip
  # X checks of the window layer: xprop and xwininfo read window properties
  x11-utils
  # the toolbar library's end-to-end check drives its demo under a real window manager
  openbox
  # the file dialog's X check types into the dialog under a window manager
  openbox
  # X checks of floating toolbars under a real window manager: close requests by wmctrl
  wmctrl
  # X window properties the window layer sets itself
  libxcb1-dev
  # PDF and PostScript writer checks: the document checker, the image lister, page selection
  qpdf poppler-utils psutils
  # DICOM reader checks: peer tools and pydicom make and decode fixtures
  dcmtk python3-pydicom libgdcm-tools
  # JPEG 2000 oracles: opj_compress, opj_decompress and opj_dump
  libopenjp2-tools
  # loading pictures from addresses (libcurl with OpenSSL), and the FTP server of its tests
  libcurl4-openssl-dev python3-pyftpdlib
  # the private certificate authority of the HTTPS download tests
  openssl
  # video and media files frame by frame (AVI and others), FFmpeg's decoding libraries
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  # metafiles: WMF and EMF records to SVG, drawn by Qt's SVG renderer; wmf2gd renders the test oracle
  libwmf-dev libemf2svg-dev qt6-svg-dev libwmf-bin
  # PSD checks: psd-tools reads our layered files and writes layered fixtures
  python3-psd-tools
  # camera RAW checks: LibRaw's own tools (raw-identify, dcraw_emu)
  libraw-bin
  # HD Photo codec and its reference tools (JxrEncApp, JxrDecApp)
  libjxr-dev libjxr-tools
  # the screen-reader check of the toolbars: a private session bus, the
  # accessibility bus it starts, and a pyatspi client
  dbus dbus-daemon at-spi2-core python3-pyatspi
  # run time: the CMYK colour profile, printing to a CUPS queue
  libgs-common cups-client
  locales coreutils
)

install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  local SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

install_missing "${PACKAGES[@]}"
# The sanitizer and libFuzzer runtimes of whatever clang the distribution's
# clang package brought (the fuzz preset links them).
clang_major=$(clang -dumpversion | cut -d. -f1)
install_missing "libclang-rt-${clang_major}-dev"

# Locale tests need a German locale with a comma decimal separator.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
