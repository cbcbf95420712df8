#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build needs when they are missing, configures one build folder
# and builds it.
#
#   scripts/setup.sh BUILD_DIR [CMAKE_OPTION...] [-- TARGET...]
#
# Without TARGETs everything the configuration enables is built. ORU_JOBS sets the number of
# parallel compile jobs (default: the processor count from nproc); ORU_TEST_TOOLS=1 also installs
# the tools of the tests and the packaging check; ORU_EXTRA_PACKAGES names more Debian packages to
# install.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: scripts/setup.sh BUILD_DIR [CMAKE_OPTION...] [-- TARGET...]}
shift

cmake_options=()
targets=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--" ]; then
    shift
    targets=("$@")
    break
  fi
  cmake_options+=("$1")
  shift
done

jobs=${ORU_JOBS:-$(nproc)}
if ! [[ $jobs =~ ^[1-9][0-9]*$ ]]; then
  echo "scripts/setup.sh: ORU_JOBS must be a positive number, not '$jobs'" >&2
  exit 2
fi

# The Debian 12 packages, one group per line; add a package where its group is. The build and
# the window need the first groups; ORU_TEST_TOOLS=1 (run-tests sets it) adds the tools of the
# tests and of the packaging check, and -DORU_BUILD_BENCH=ON the benchmark library.
packages=(
  g++ cmake ninja-build pkg-config                  # compiler and build tools
  zlib1g-dev libisal-dev libdeflate-dev libicu-dev  # the engine: compression, code page 950, collation
  gettext locales                                   # msgfmt for the engine's catalog; locales to run in
  qt6-base-dev libgl-dev                            # the window
  qt6-tools-dev qt6-l10n-tools                      # the window's translations: lupdate, lrelease
  # The window's Traditional Chinese labels and names need a CJK font; Qt's own dialogs take their
  # Traditional Chinese texts from qt6-translations-l10n.
  fonts-noto-cjk qt6-translations-l10n
  xdg-utils                                         # the window opens entries with xdg-open
)
if [ "${ORU_TEST_TOOLS:-0}" = 1 ]; then
  packages+=(
    libgtest-dev libgmock-dev                       # tests
    # packaging/check validates the installed tree, builds the Debian packages from a clean copy
    # with debhelper and lintian, and installs them into a fresh root made by debootstrap.
    desktop-file-utils shared-mime-info libglib2.0-bin appstream man-db file
    dpkg-dev debhelper lintian git debootstrap
  )
fi
for option in "${cmake_options[@]}"; do
  if [[ $option =~ ^-DORU_BUILD_BENCH(:BOOL)?=(ON|on|1|TRUE|true|YES|yes)$ ]]; then
    packages+=(libbenchmark-dev)                    # benchmarks
  fi
done
if [ -n "${ORU_EXTRA_PACKAGES:-}" ]; then
  read -r -a extra <<<"$ORU_EXTRA_PACKAGES"
  packages+=("${extra[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "scripts/setup.sh: these packages are missing and sudo is not installed: ${missing[*]}" >&2
      exit 1
    fi
    sudo=(sudo)
  fi
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The locales the tests run in, generated when missing.
locales=(en_US.UTF-8 zh_TW.UTF-8)
missing_locales=()
for l in "${locales[@]}"; do
  locale -a 2>/dev/null | grep -ix "${l/UTF-8/utf8}" >/dev/null || missing_locales+=("$l")
done
if [ ${#missing_locales[@]} -gt 0 ] && [ -f /etc/locale.gen ]; then
  echo "Generating locales: ${missing_locales[*]}" >&2
  sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  for l in "${missing_locales[@]}"; do
    grep -qx "$l UTF-8" /etc/locale.gen || echo "$l UTF-8" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  done
  "${sudo[@]}" locale-gen >/dev/null
fi

# ccache, when installed, makes rebuilds in fresh checkouts cheap.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja "${launcher[@]}" "${cmake_options[@]}" >/dev/null

target_options=()
[ ${#targets[@]} -gt 0 ] && target_options=(--target "${targets[@]}")
cmake --build "$build" -j "$jobs" "${target_options[@]}"
