#!/usr/bin/env bash
# Runs one fuzz target: first every input of its seed corpus, then new inputs for SECONDS in all.
# New inputs that reach more code are kept in WORK/corpus/<target> (--fresh empties it first),
# crashes and time-outs land in WORK/crashes/<target>/ (re-run one with: <target binary> <file>).
# Extra arguments go to libFuzzer (e.g. -jobs=2 -workers=2).
#   run.sh [--fresh] TARGET_BINARY SEED_DIR WORK_DIR SECONDS [libFuzzer options...]
set -euo pipefail
fresh=0
if [ "${1:-}" = --fresh ]; then
  fresh=1
  shift
fi
binary=$1 seeds=$2 work=$3 seconds=$4
shift 4
name=$(basename "$binary" _fuzzer)
[ $fresh -eq 0 ] || rm -rf "$work/corpus/$name"
mkdir -p "$work/corpus/$name" "$work/crashes/$name"
exec "$binary" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -max_len=8192 -print_final_stats=1 \
  -artifact_prefix="$work/crashes/$name/" "$@" "$work/corpus/$name" "$seeds"
