#!/bin/sh
# A Wine prefix (WINEPREFIX) for the Windows programs, as the tests' fixture
# and for scripts/run --windows.
#
#   wineprefix.sh start   makes the prefix when it is missing (with the font
#                         replacements of wine-fonts.reg and the
#                         application-data folders of wine-profile.reg), then
#                         starts one server and Wine's own services for the
#                         whole run
#   wineprefix.sh stop    ends them
#
# With KY_WINE_TEST_DRIVES=FOLDER (the tests' fixture), start also gives
# the prefix drives D:, E:, F:, Q:, R: and Y:, each a folder FOLDER/<letter>,
# and FOLDER/c leads to drive C:, so that tests find any drive path they
# hand the program below FOLDER.
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
  if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$WINEPREFIX/.kyoro-prefix" ]; then
    # Every write appends: Wine's services inherit the log from the program
    # that started them and write on long after it ended, over what came
    # later if their descriptor kept its own offset.
    : >"$log"
    # Without the 32-bit Wine, wineboot reports a failure for the 32-bit half
    # of the prefix, which the 64-bit programs do not need; the registry
    # written when the server ends tells whether the prefix is usable.
    # Once in a CI run, wineboot ended at once without a word and without
    # making the prefix's folder (its loader died before the first line it
    # writes); a wineboot that made nothing at all is run once more, with
    # its exit status in the log.
    for attempt in 1 2; do
      status=0
      wineboot -i </dev/null >>"$log" 2>&1 || status=$?
      [ -d "$WINEPREFIX/dosdevices" ] && break
      echo "wineboot -i (attempt $attempt) ended with status $status and made no prefix" >>"$log"
    done
    if [ ! -d "$WINEPREFIX/dosdevices" ]; then
      cat "$log" >&2
      echo "could not make the Wine prefix $WINEPREFIX" >&2
      exit 1
    fi
    # regedit reads a .reg file with Chinese names as UTF-16.
    for reg in wine-fonts wine-profile; do
      iconv -f UTF-8 -t UTF-16 "$here/$reg.reg" >"$WINEPREFIX/kyoro-$reg.reg"
      "$wine" regedit "$WINEPREFIX/kyoro-$reg.reg" </dev/null >>"$log" 2>&1
    done
    wineserver -w
    if [ ! -f "$WINEPREFIX/system.reg" ] || ! grep -q 'WenQuanYi' "$WINEPREFIX/user.reg" \
      || ! grep -q '"Local AppData"=str(2):"%LOCALAPPDATA%"' "$WINEPREFIX/user.reg"; then
      cat "$log" >&2
      echo "could not make the Wine prefix $WINEPREFIX" >&2
      exit 1
    fi
    touch "$WINEPREFIX/.kyoro-prefix"
  fi
  if [ -n "${KY_WINE_TEST_DRIVES:-}" ]; then
    mkdir -p "$KY_WINE_TEST_DRIVES"
    ln -sfn "$WINEPREFIX/drive_c" "$KY_WINE_TEST_DRIVES/c"
    for letter in d e f q r y; do
      mkdir -p "$KY_WINE_TEST_DRIVES/$letter"
      ln -sfn "$KY_WINE_TEST_DRIVES/$letter" "$WINEPREFIX/dosdevices/$letter:"
    done
  fi
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot </dev/null >>"$log" 2>&1 || true
  if [ -n "${KY_WINE_TEST_DRIVES:-}" ]; then
    # Wine's desktop process ("explorer.exe /desktop") is started by the
    # first program that needs the desktop's window, with that program's
    # standard streams, and ends a second after the last program on the
    # desktop has. Started by a test, it kept the test's output open, and
    # ctest waiting until the time-out, for as long as other tests kept the
    # desktop in use. It is started here instead, and a file browser window
    # (no display) stays on the desktop until the server ends, so that it
    # never ends in between.
    env -u DISPLAY "$wine" explorer.exe /desktop </dev/null >>"$log" 2>&1 &
    for _ in $(seq 100); do
      for pid in $(pgrep -f 'explorer.exe /desktop'); do
        tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && break 2
      done
      sleep 0.1
    done
    env -u DISPLAY "$wine" 'C:\windows\explorer.exe' 'C:\' </dev/null >>"$log" 2>&1 &
  fi
  ;;
stop)
  wineserver -k 2>/dev/null || true
  ;;
*)
  echo "usage: wineprefix.sh start|stop" >&2
  exit 2
  ;;
esac
