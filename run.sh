#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: the list-file
# generator on a sample phrase file, showing the list file it wrote.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh

install_packages
build_tree build

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
build/bin/Pantrel examples/phrases.txt "$work/phrases.lis" auto
echo
echo "--- $work/phrases.lis (Windows-1250, shown in UTF-8) ---"
iconv -f WINDOWS-1250 -t UTF-8 "$work/phrases.lis"
