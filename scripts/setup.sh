#!/usr/bin/env bash
# Installs the Debian packages the build needs when they are missing, then configures and builds
# one configuration. Usage: scripts/setup.sh BUILD_DIR [cmake options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?build directory}
shift

packages=(g++ cmake ninja-build pkg-config zlib1g-dev libisal-dev libdeflate-dev libicu-dev libgtest-dev libgmock-dev
          libbenchmark-dev qt6-base-dev libgl-dev)
# The window's Traditional Chinese labels and names need a CJK font; Qt's own dialogs take their
# Traditional Chinese texts from qt6-translations-l10n.
packages+=(fonts-noto-cjk qt6-translations-l10n)
# packaging/check (a test) validates the installed tree and builds and checks the .deb.
packages+=(desktop-file-utils shared-mime-info libglib2.0-bin appstream man-db file dpkg-dev lintian)
[ -n "${ORU_EXTRA_PACKAGES:-}" ] && read -r -a extra <<<"$ORU_EXTRA_PACKAGES" && packages+=("${extra[@]}")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# ccache, when installed, makes rebuilds in fresh checkouts cheap.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$build" -j2
