#!/usr/bin/env bash
# Fuzzes the decoders of outside input (tests/fuzz) with libFuzzer, ASan and UBSan:
#   ./fuzz.sh [target|all] [seconds]        (defaults: all, 60 seconds per target)
# Installs what is missing (clang too), builds the targets in build-fuzz/ and
# runs one target, or every target in turn, each in a folder of its own, with
# at most 1 GB of memory and 5 seconds per input. New inputs are kept in
# build-fuzz/corpus/<target>/, findings and the full log in
# build-fuzz/findings/<target>/. Exits non-zero when any target found something.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh

target="${1:-all}"
seconds="${2:-60}"
root="$(pwd)"

install_packages
PACKAGES="clang libclang-rt-dev" install_packages
CC=clang CXX=clang++ build_tree build-fuzz -DFUZZ=ON

# fuzz_target <name>: runs one target; fails on a finding.
fuzz_target() {
  local name="$1"
  local program="$root/build-fuzz/fuzz/fuzz_$name"
  local findings="$root/build-fuzz/findings/$name"
  if [ ! -x "$program" ]; then
    echo "No fuzz target '$name'" >&2
    return 1
  fi
  mkdir -p "$root/build-fuzz/corpus/$name" "$root/build-fuzz/run/$name" "$findings"
  echo "== $name: $seconds s"
  if (cd "$root/build-fuzz/run/$name" &&
      "$program" -max_total_time="$seconds" -rss_limit_mb=1024 -timeout=5 -close_fd_mask=1 \
        -artifact_prefix="$findings/" "$root/build-fuzz/corpus/$name" \
        "$root/tests/fuzz/corpus/$name" >"$findings/log.txt" 2>&1); then
    grep -E '^Done [0-9]+ runs' "$findings/log.txt" || true
  else
    tail -n 60 "$findings/log.txt"
    echo "FINDING in $name: see $findings/" >&2
    return 1
  fi
}

if [ "$target" != all ]; then
  fuzz_target "$target"
  exit
fi
failed=""
for program in build-fuzz/fuzz/fuzz_*; do
  name="${program##*/fuzz_}"
  fuzz_target "$name" || failed="$failed $name"
done
if [ -n "$failed" ]; then
  echo "Fuzz targets with findings:$failed" >&2
  exit 1
fi
echo "No findings."
