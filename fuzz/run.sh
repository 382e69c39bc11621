#!/usr/bin/env bash
# Runs one fuzz target: first every input of its seed corpus, then new inputs for SECONDS in all.
# New inputs that reach more code are kept in BUILD/corpus/<target>, crashes and time-outs land
# in BUILD/crashes/<target>/ (re-run one with: <target binary> <file>). Extra arguments go to
# libFuzzer (e.g. -jobs=2 -workers=2).
#   run.sh TARGET_BINARY SEED_DIR BUILD_DIR SECONDS [libFuzzer options...]
set -euo pipefail
binary=$1 seeds=$2 build=$3 seconds=$4
shift 4
name=$(basename "$binary" _fuzzer)
mkdir -p "$build/corpus/$name" "$build/crashes/$name"
exec "$binary" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -max_len=8192 -print_final_stats=1 \
  -artifact_prefix="$build/crashes/$name/" "$@" "$build/corpus/$name" "$seeds"
