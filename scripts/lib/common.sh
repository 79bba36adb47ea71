# Shared by the scripts in scripts/, bench/run and tests/setup/withxvfb.sh.
# Sourced, not run.
KY_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# The build tools and the mingw-w64 cross compilers: the project's builds and
# scripts/build-qt-windows both need them.
KY_BUILD_TOOL_PACKAGES=(cmake ninja-build python3)
KY_CROSS_PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev)

# Debian packages the build, the tests and the demo run need.
KY_PACKAGES=(
  "${KY_BUILD_TOOL_PACKAGES[@]}" g++ pkg-config
  qtbase5-dev qtbase5-dev-tools libfontconfig-dev
  libquazip1-qt5-dev
  libssl-dev openssl
  tzdata locales
  fonts-wqy-microhei
  xvfb xauth x11-utils imagemagick xdotool
  at-spi2-core python3-pyatspi dbus-daemon
  googletest libgtest-dev
  clang libfuzzer-14-dev
  wine wine64 "${KY_CROSS_PACKAGES[@]}"
  obs-studio nginx libnginx-mod-rtmp
  nsis
)

# What scripts/build-qt-windows needs to build Qt for Windows from Debian's
# source packages.
KY_QT_BUILD_PACKAGES=(
  "${KY_BUILD_TOOL_PACKAGES[@]}" "${KY_CROSS_PACKAGES[@]}"
  make perl dpkg-dev xz-utils
)

# What bench/run needs beyond KY_PACKAGES (whose nginx also serves it): a
# client to set the downloader against, Google Benchmark, and X headers for
# the first-paint watcher.
KY_BENCH_PACKAGES=(
  curl
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

# Generates a locale when the system lacks it: ky_ensure_locale zh_CN UTF-8.
# Wine takes a Windows program's code page from the locale's name, but can
# name files in Chinese only when the locale itself exists.
ky_ensure_locale() {
  local name="$1.$2"
  locale -a 2>/dev/null | grep -qix "$1.$(echo "$2" | tr -d '-')" && return 0
  ky_log "generating the locale $name"
  ky_as_root localedef -i "$1" -f "$2" "$name"
}

# Configures and builds one build folder: ky_build DIR [cmake options...].
# With KY_BUILD_TARGETS set (blank-separated), builds only those targets.
# A compiler cache is used when the machine has one (ccache); nothing needs it.
ky_build() {
  local dir="$1"; shift
  local launcher=()
  if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$KY_ROOT" -B "$dir" -G Ninja -DKY_WERROR=ON "${launcher[@]}" "$@" >/dev/null
  local targets=()
  for target in ${KY_BUILD_TARGETS:-}; do targets+=(--target "$target"); done
  cmake --build "$dir" -j"${KY_JOBS:-2}" "${targets[@]}"
}

# Polls a command for up to $1 tenths of a second: ky_wait_for 100 CMD [ARGS...]
ky_wait_for() {
  local tenths="$1"; shift
  for _ in $(seq "$tenths"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

# Starts the sandbox platform in the background: ky_start_sandbox BUILD-DIR
# STATE-DIR EVENTS-FILE. Its output goes to STATE-DIR/server.{out,log}; sets
# KY_SANDBOX_PID and exports KYORO_PLATFORM_URL.
ky_start_sandbox() {
  python3 "$KY_ROOT/sandbox/platform_server.py" --root "$1/sandbox/www" --events "$3" \
    >"$2/server.out" 2>"$2/server.log" &
  KY_SANDBOX_PID=$!
  if ! ky_wait_for 100 grep -q '^port ' "$2/server.out"; then
    cat "$2/server.log" >&2
    echo "the sandbox platform did not start" >&2
    return 1
  fi
  export KYORO_PLATFORM_URL="http://127.0.0.1:$(awk '/^port /{print $2; exit}' "$2/server.out")"
}

# Starts Xvfb on a display number it picks itself: ky_start_xvfb LOG-FILE
# [Xvfb options...]; its screen is KY_XVFB_SCREEN (default 1280x800x24).
# Sets KY_XVFB_PID and exports DISPLAY.
#
# Other runs on the machine start X servers too, some in PID namespaces of
# their own (scripts/test), where the process named in another server's
# /tmp/.X<n>-lock looks gone: each takes the other's lock for stale, removes
# it and its socket file, or stops with "Server is already active". So the
# server gets a /tmp of its own (a mount namespace; as a user, inside a user
# namespace) for its lock and socket files, and the machine's abstract socket
# "@/tmp/.X11-unix/X<n>", which the X libraries try first, is its one name
# outside: -displayfd passes over every number whose abstract socket is
# taken, and no other server can take ours. Without namespaces it runs as
# before, sharing /tmp.
ky_start_xvfb() {
  local log="$1" fifo isolate=()
  shift
  if unshare --mount --propagation private true 2>/dev/null; then
    isolate=(unshare --mount --propagation private)
  elif unshare --user --map-root-user --mount --propagation private true 2>/dev/null; then
    isolate=(unshare --user --map-root-user --mount --propagation private)
  else
    ky_log "no mount namespace here: Xvfb shares /tmp with the machine's other X servers"
  fi
  fifo="$(mktemp -u "${TMPDIR:-/tmp}/kyxvfb.XXXXXX")"
  mkfifo "$fifo"
  local xvfb=(Xvfb -displayfd 3 -screen 0 "${KY_XVFB_SCREEN:-1280x800x24}" -nolisten tcp "$@")
  if [ "${#isolate[@]}" -gt 0 ]; then
    # unshare and sh exec, so the pid is the server's.
    "${isolate[@]}" sh -c 'mount -t tmpfs -o mode=1777 tmpfs /tmp && mkdir -m 1777 /tmp/.X11-unix && exec "$@"' \
      ky-xvfb "${xvfb[@]}" 3>"$fifo" >"$log" 2>&1 &
  else
    "${xvfb[@]}" 3>"$fifo" >"$log" 2>&1 &
  fi
  KY_XVFB_PID=$!
  local number=""
  read -r -t 20 number <"$fifo" || true
  rm -f "$fifo"
  [ -n "$number" ] || { echo "Xvfb did not start; see $log" >&2; return 1; }
  export DISPLAY=":$number"
  ky_wait_for 100 xdpyinfo || { echo "Xvfb on $DISPLAY does not answer; see $log" >&2; return 1; }
}

# Finds or makes the Qt for Windows prefix and prints its folder:
# ky_qt_windows_prefix BUILD-DIR. In order: KY_QT_WINDOWS (a prefix folder or
# a tarball of one), the cached tarball in ../shared/qt5-mingw/ beside the
# checkout, else the project's own recipe (scripts/build-qt-windows, about an
# hour). A tarball is unpacked into BUILD-DIR once and reused while it is
# unchanged.
ky_qt_windows_prefix() {
  local build="$1" tarball="" stamp
  if [ -n "${KY_QT_WINDOWS:-}" ]; then
    if [ -d "$KY_QT_WINDOWS" ]; then
      realpath "$KY_QT_WINDOWS"
      return 0
    fi
    [ -f "$KY_QT_WINDOWS" ] || { echo "KY_QT_WINDOWS=$KY_QT_WINDOWS is neither a folder nor a file" >&2; return 1; }
    tarball="$(realpath "$KY_QT_WINDOWS")"
  elif [ -f "$KY_ROOT/../shared/qt5-mingw/qt5.15.8-mingw64.tar.xz" ]; then
    tarball="$(realpath "$KY_ROOT/../shared/qt5-mingw/qt5.15.8-mingw64.tar.xz")"
  fi
  if [ -z "$tarball" ]; then
    local own="$KY_ROOT/build-qt-windows/prefix"
    if [ ! -f "$own/.complete" ]; then
      ky_log "no Qt for Windows at hand (no ../shared/qt5-mingw/ tarball, no KY_QT_WINDOWS):"
      ky_log "building Qt for Windows from Debian's sources into $own; this takes about an hour"
      "$KY_ROOT/scripts/build-qt-windows" "$own" >&2 || return 1
    fi
    echo "$own"
    return 0
  fi
  # The tarball holds one top folder; unpacked beside a stamp naming the
  # tarball, its size and its time.
  stamp="$(stat -c '%n %s %Y' "$tarball")"
  if [ ! -f "$build/qt-windows/.stamp" ] || [ "$(cat "$build/qt-windows/.stamp")" != "$stamp" ]; then
    ky_log "unpacking $tarball into $build/qt-windows"
    rm -rf "$build/qt-windows"
    mkdir -p "$build/qt-windows"
    tar -xJf "$tarball" -C "$build/qt-windows" || return 1
    echo "$stamp" >"$build/qt-windows/.stamp"
  fi
  local top
  top="$(find "$build/qt-windows" -mindepth 1 -maxdepth 1 -type d | head -1)"
  [ -n "$top" ] && [ -d "$top/lib/cmake/Qt5" ] || { echo "$tarball holds no Qt prefix" >&2; return 1; }
  echo "$top"
}

# Configures and builds the Windows program, its stand-ins and (unless
# -DKY_BUILD_TESTS=OFF is given) its tests: ky_build_windows BUILD-DIR
# [cmake options...]. The program folder is BUILD-DIR/deploy.
ky_build_windows() {
  local dir="$1" prefix; shift
  prefix="$(ky_qt_windows_prefix "$dir")" || return 1
  ky_build "$dir" -DCMAKE_TOOLCHAIN_FILE="$KY_ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DKY_QT_WINDOWS_PREFIX="$prefix" "$@"
}
