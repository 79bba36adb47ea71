#!/usr/bin/env bash
# Runs a command with DISPLAY set to an X server of its own (Xvfb), which it
# ends afterwards: Wine draws the windows of a test's own desktop there.
set -u
source "$(dirname "$0")/../../scripts/lib/common.sh"
log="$(mktemp "${TMPDIR:-/tmp}/kysetup-xvfb.XXXXXX")"
ky_start_xvfb "$log" || exit 1
"$@"
code=$?
kill "$KY_XVFB_PID" 2>/dev/null
wait "$KY_XVFB_PID" 2>/dev/null
rm -f "$log"
exit "$code"
