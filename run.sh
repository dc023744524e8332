#!/usr/bin/env bash
# Installs what is missing, builds, and plays a call through all three
# programs: Quorvane (the dialog manager), Tressig (the hub bridge) and the
# terminal caller (build/bin/terminal_caller, a test tool standing in for the
# hub and its speech services), started in order by build/bin/call_launcher.
#
#   ./run.sh                   the sample application in examples/, answered
#                              from examples/shop.caller; shows the conversation
#   ./run.sh path/to/app.vxml  any application, answered by you at the terminal
#   ./run.sh path/to/app.vxml answers.caller
#                              any application, answered from the file (as
#                              examples/pizza.caller answers examples/pizza.vxml)
#
# The application's folder is copied into build/call/, where the call runs:
# the logs and recordings stay there (see README.md). The exit status is 0
# when all three programs ended with status 0.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh

install_packages
build_tree build >/dev/null

top="$(pwd)"
document="${1:-examples/welcome.vxml}"
if [ ! -f "$document" ]; then
  echo "run.sh: no document $document" >&2
  exit 2
fi
work="$top/build/call"
rm -rf "$work"
mkdir -p "$work"
cp -r "$(dirname "$document")"/. "$work"/

answers=()
if [ $# -eq 0 ]; then
  answers=(-script shop.caller)
  echo "--- The sample application, answered from examples/shop.caller ---"
elif [ $# -ge 2 ]; then
  if [ ! -f "$2" ]; then
    echo "run.sh: no answers file $2" >&2
    exit 2
  fi
  answers=(-script "$(realpath "$2")")
  echo "--- $(basename "$document"), answered from $2 ---"
else
  echo "--- $(basename "$document"): answer each question (/hangup hangs up) ---"
fi
cd "$work"
status=0
"$top/build/bin/call_launcher" "${answers[@]}" "$(basename "$document")" || status=$?
echo
echo "--- Logs and recordings in build/call/ ---"
echo "log_data/:   $(ls log_data 2>/dev/null | tr '\n' ' ')"
echo "Recordings/: $(ls Recordings 2>/dev/null | tr '\n' ' ')"
echo "Consoles: quorvane_console.txt, tressig_console.txt; frames: caller_frames.txt;"
echo "messages: Quorvane/socket_log.txt"
exit "$status"
