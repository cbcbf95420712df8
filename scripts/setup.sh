#!/usr/bin/env bash
# Installs the Debian packages the build needs when they are missing, configures one build folder
# and builds it.
#
#   scripts/setup.sh BUILD_DIR [CMAKE_OPTION...] [-- TARGET...]
#
# Without TARGETs everything the configuration enables is built. ORU_JOBS sets the number of
# parallel compile jobs (default: the processor count from nproc); ORU_EXTRA_PACKAGES names more
# Debian packages to install.
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

# The Debian 12 packages of the build, one group per line; add a package where its group is.
packages=(
  g++ cmake ninja-build pkg-config                  # compiler and build tools
  zlib1g-dev libisal-dev libdeflate-dev libicu-dev  # the engine: compression, code page 950, collation
  qt6-base-dev libgl-dev                            # the window
  qt6-tools-dev qt6-l10n-tools                      # the window's translations: lupdate, lrelease
  # The window's Traditional Chinese labels and names need a CJK font; Qt's own dialogs take their
  # Traditional Chinese texts from qt6-translations-l10n.
  fonts-noto-cjk qt6-translations-l10n
  libgtest-dev libgmock-dev                         # tests
  # packaging/check (a test) validates the installed tree and builds and checks the .deb.
  desktop-file-utils shared-mime-info libglib2.0-bin appstream man-db file dpkg-dev lintian
  libbenchmark-dev                                  # benchmarks
)
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

# ccache, when installed, makes rebuilds in fresh checkouts cheap.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja "${launcher[@]}" "${cmake_options[@]}" >/dev/null

target_options=()
[ ${#targets[@]} -gt 0 ] && target_options=(--target "${targets[@]}")
cmake --build "$build" -j "$jobs" "${target_options[@]}"
