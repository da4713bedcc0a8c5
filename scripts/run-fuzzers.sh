#!/usr/bin/env bash
# run-fuzzers.sh BUILD_DIR SECONDS: runs every fuzz_* program for SECONDS seconds each.
set -uo pipefail
dir=$1; secs=$2
status=0; ran=0; failed=0
for f in "$dir"/fuzz_*; do
  [ -x "$f" ] || continue
  ran=$((ran + 1))
  corpus=$(mktemp -d)
  if "$f" -max_total_time="$secs" -rss_limit_mb=2048 "$corpus" >"$corpus.log" 2>&1; then
    echo "$(basename "$f"): ok"
  else
    echo "$(basename "$f"): FAILED"; tail -n 40 "$corpus.log"; status=1; failed=$((failed + 1))
  fi
  rm -rf "$corpus" "$corpus.log"
done
echo "fuzz: $((ran - failed)) passed, $failed failed"
exit $status
