#!/bin/sh
# A Wine prefix (WINEPREFIX) for the Windows programs, as the tests' fixture
# and for scripts/run --windows.
#
#   wineprefix.sh start   makes the prefix when it is missing (with the font
#                         replacements of wine-fonts.reg), then starts one
#                         server and Wine's own services for the whole run
#   wineprefix.sh stop    ends them
#
# Started here with their standard streams away from ctest: services that a
# test's process started would hold that test's output open (and ctest
# waiting) for as long as they live, and tests starting together could race
# to start them.
set -u
: "${WINEPREFIX:?}"
here="$(cd "$(dirname "$0")" && pwd)"
wine="$(command -v /usr/lib/wine/wine64 || command -v wine64 || command -v wine)"
log="$WINEPREFIX.log"
case "${1:-}" in
start)
  if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$WINEPREFIX/.kyoro-fonts" ]; then
    # Without the 32-bit Wine, wineboot reports a failure for the 32-bit half
    # of the prefix, which the 64-bit programs do not need; the registry
    # written when the server ends tells whether the prefix is usable.
    wineboot -i </dev/null >"$log" 2>&1
    # regedit reads a .reg file with Chinese names as UTF-16.
    iconv -f UTF-8 -t UTF-16 "$here/wine-fonts.reg" >"$WINEPREFIX/kyoro-fonts.reg"
    "$wine" regedit "$WINEPREFIX/kyoro-fonts.reg" </dev/null >>"$log" 2>&1
    wineserver -w
    if [ ! -f "$WINEPREFIX/system.reg" ] || ! grep -q 'WenQuanYi' "$WINEPREFIX/user.reg"; then
      cat "$log" >&2
      echo "could not make the Wine prefix $WINEPREFIX" >&2
      exit 1
    fi
    touch "$WINEPREFIX/.kyoro-fonts"
  fi
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot </dev/null >>"$log" 2>&1 || true
  ;;
stop)
  wineserver -k 2>/dev/null || true
  ;;
*)
  echo "usage: wineprefix.sh start|stop" >&2
  exit 2
  ;;
esac
