#!/usr/bin/env bash
# Builds the Debian package: a plain build (no sanitizer; -O2, as Debian
# builds its packages) configured for /usr, then CPack. Prints nothing but
# the compiler's and CPack's progress; the package is BUILD_DIR/brivos_*.deb.
# Usage: build-deb.sh [BUILD_DIR [CXX_COMPILER [WERROR]]]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$source_dir/build-deb} compiler=${2:-c++} werror=${3:-OFF}
cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_COMPILER="$compiler" -DBRIVOS_WERROR="$werror" \
  -DBRIVOS_BUILD_TESTS=OFF -DBRIVOS_BUILD_BENCH=OFF -DBRIVOS_BUILD_PYTHON=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
cd "$build"
rm -f brivos_*.deb
cpack -G DEB
