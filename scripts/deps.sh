# Sourced by the other scripts: the Debian packages the project needs, and a function that
# installs the missing ones (as root) or prints the exact command (otherwise).
ORN_PACKAGES=(
  cmake ninja-build g++ pkg-config clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev libgif-dev
  clang libclang-rt-14-dev
  libgtk-3-dev
  xvfb xauth openbox x11-utils xdotool xclip python3
  imagemagick gifsicle
  g++-mingw-w64-x86-64-posix googletest wine wine64
)

orn_install_deps() {
  local missing=()
  for p in "${ORN_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" = 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "Missing Debian packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    return 1
  fi
}
