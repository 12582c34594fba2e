#!/usr/bin/env bash
# Installs every Debian package Ovra needs to build, run, test and benchmark.
# Safe to run again: apt-get skips what is already there, and the package
# lists are refreshed only when a package is missing.
set -euo pipefail

packages=(
  # toolchain; the formatter the test run holds the code to, and clang, which
  # checks that our code builds without its warnings too and builds the fuzzing
  # programs, with its own OpenMP header (gcc's is in gcc's folder alone)
  build-essential cmake ninja-build pkg-config git clang-format clang libomp-14-dev
  # Qt 6
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-multimedia-dev qt6-pdf-dev
  qt6-image-formats-plugins
  # Qt Multimedia 6.4 plays through GStreamer: containers, WAV, FLAC, MP3, Ogg
  # (base, good) and AAC/M4A (libav)
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  libqt6opengl6-dev
  # tests (desktop-file-validate checks the installed desktop entry; the theme's
  # test plays the desktop's settings portal on a bus of its own; the Trash's
  # test makes a file system without birth times to mount, where it may)
  libgtest-dev libgmock-dev desktop-file-utils dbus-daemon e2fsprogs
  # file types, media, documents, text recognition
  shared-mime-info libpoppler-cpp-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libtesseract-dev tesseract-ocr-eng libleptonica-dev
  libssl-dev libsqlite3-dev libzip-dev zlib1g-dev
  # icons and fonts for the window, and a display server for GUI tests
  adwaita-icon-theme fonts-dejavu-core xvfb xauth
  # peers timed by the benchmarks; the recoll indexer's command-line tools
  # (without its GUI), with the helpers its PDF and office filters run
  fd-find findutils recollcmd poppler-utils python3
  # duplicate finders the duplicate benchmark times ours against
  jdupes rmlint
  # thumbnailer and text recognition peers, and the encoder that makes the test videos
  ffmpegthumbnailer ffmpeg tesseract-ocr
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
