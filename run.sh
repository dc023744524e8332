#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: the dialog manager
# server plays the sample VoiceXML application in examples/ (welcome.vxml and
# the documents it leads to) against the scripted peer, which stands in for
# the hub bridge and answers every request. The dialogue is shown as the
# server prints it, with the messages on the peer link and the archived
# dialog log.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup.sh

install_packages
build_tree build

top="$(pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp examples/*.vxml examples/shop.peer "$work/"
mkdir -p "$work/Quorvane"
port="${PORT:-12500}"

cd "$work"
"$top/build/bin/Quorvane" -F welcome.vxml -PORT "$port" > server.out 2>&1 &
server=$!
"$top/build/bin/scripted_peer" -port "$port" -script shop.peer -timeout 30 > peer.out 2>&1 || true
wait "$server" || true

echo "--- The dialog manager's console ---"
cat server.out
echo
echo "--- The peer link, as the scripted bridge saw it (<< request, >> reply) ---"
cat peer.out
echo
echo "--- Dialog log, archived in log_data/ ---"
cat log_data/DiaLOG__*.txt
echo
