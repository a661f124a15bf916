#!/usr/bin/env bash
# Builds the Debian package of Parlune: scripts/make-package.sh [BUILD_DIR], by default build/.
# The package lands in BUILD_DIR as parlune_VERSION_ARCH.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
scripts/install-deps.sh
export CCACHE_DIR=${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/parlune-ccache}
export CCACHE_BASEDIR=$PWD
if [[ ! -f "$dir/build.ninja" ]]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
else
    # Picks up install rules changed since the folder was configured.
    cmake "$dir" > /dev/null
fi
cmake --build "$dir" --target parlune_package_contents
rm -f "$dir"/parlune_*.deb
(cd "$dir" && cpack -G DEB)
ls "$dir"/parlune_*.deb
