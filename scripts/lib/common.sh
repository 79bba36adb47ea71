# Shared by scripts/run and scripts/test. Sourced, not run.
KY_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# Debian packages the build, the tests and the demo run need.
KY_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qtbase5-dev qtbase5-dev-tools
  libquazip1-qt5-dev
  python3 tzdata
  fonts-wqy-microhei
  xvfb xauth x11-utils imagemagick xdotool
  googletest libgtest-dev
  wine wine64 g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
)

# What bench/run needs beyond KY_PACKAGES: a web server and a client to set
# the downloader against, Google Benchmark, and X headers for the first-paint
# watcher.
KY_BENCH_PACKAGES=(
  nginx curl
  libbenchmark-dev
  libx11-dev libxdamage-dev
)

ky_log() { printf '==> %s\n' "$*" >&2; }

ky_as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs whatever of the given packages is missing; nothing when all are there.
ky_ensure_packages() {
  local missing=()
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  ky_log "installing missing packages: ${missing[*]}"
  ky_as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  ky_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures and builds one build folder: ky_build DIR [cmake options...]
ky_build() {
  local dir="$1"; shift
  cmake -S "$KY_ROOT" -B "$dir" -G Ninja -DKY_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j"${KY_JOBS:-2}"
}
