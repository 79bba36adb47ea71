#!/usr/bin/env bash
# Runs one fuzz target for a bounded time from the seeds in the tree (and the
# saved findings, when there are any): runfuzz.sh TARGET SEEDS WORKDIR SECONDS
# [libFuzzer options]. New inputs go to WORKDIR/corpus, a crashing input to
# WORKDIR/artifacts; the exit code is libFuzzer's (0: nothing found).
set -euo pipefail
target="$1" seeds="$2" work="$3" seconds="$4"
shift 4
mkdir -p "$work/corpus" "$work/artifacts"
dirs=("$work/corpus" "$seeds")
findings="$(dirname "$seeds")/../findings/$(basename "$seeds")"
[ -d "$findings" ] && dirs+=("$findings")
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$@" "${dirs[@]}"
