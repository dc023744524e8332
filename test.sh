#!/usr/bin/env bash
# Installs what is missing, builds the normal and the sanitizer build, and runs
# every test in both. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh

install_packages
build_tree build
build_tree build-asan -DSANITIZE=ON -DCMAKE_BUILD_TYPE=Debug

jobs="$(nproc)"
(cd build && ctest --output-on-failure -j "$jobs")
(cd build-asan && ctest --output-on-failure -j "$jobs")
