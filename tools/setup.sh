# Shared by run.sh and test.sh: installs the Debian packages the build needs
# when they are missing, and configures and builds one build tree.

PACKAGES="g++ cmake make libgtest-dev pkg-config libmozjs-102-dev libtirpc-dev sox"

install_packages() {
  local missing=""
  for package in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
      || missing="$missing $package"
  done
  [ -z "$missing" ] && return 0
  echo "Installing:$missing"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
}

# build_tree <folder> [cmake options...]
build_tree() {
  local folder="$1"
  shift
  cmake -S . -B "$folder" "$@" >/dev/null
  cmake --build "$folder" -j "$(nproc)"
}
