#!/usr/bin/env bash
# What the end-to-end cases of corvelcmd.exe share. A case sources it with its name and arguments,
#
#   source cli_lib.sh NAME CORVELCMD PROGRAM LABDIR NATIVE_BUILD_DIR
#
# which skips the case when the native preset's printer-server or fwimage is missing and loads the
# printer lab (tools/lab/lab_lib.sh); after lab_start the case calls cli_start DIR.
LAB_CLI=$(realpath -- "$2")
LAB_PROGRAM=$3
LAB_DRIVER=""
LAB_DIR=$(realpath -m -- "$4")
LAB_SERVER=$5/printer/printer-server
LAB_FWIMAGE=$5/tools/fwimage
for file in "$LAB_SERVER" "$LAB_FWIMAGE"; do
  [ -x "$file" ] || { echo "wine.e2e.$1 skipped: no $file (build the native preset)"; exit 0; }
done
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/lab/lab_lib.sh"

# cli_start DIR: DIR (made anew) takes the runs' output; corvelcmd goes beside the lab's program.
cli_start() {
  work=$1
  rm -rf "$work"
  mkdir -p "$work"
  cp "$LAB_CLI" "$lab_folder/corvelcmd.exe"
}

# cli NAME ARGS...: runs corvelcmd in the lab's folder; standard output to NAME.out, standard
# error (with the trace as Wine's debug output) to NAME.err, the exit code to NAME.code and the
# seconds it took to NAME.seconds. Shows the output and the time.
cli() {
  local name=$1 status=0 start=$SECONDS
  shift
  (cd "$lab_folder" && timeout 400 "$WINE" corvelcmd.exe "$@" </dev/null >"$work/$name.raw" 2>"$work/$name.err") ||
    status=$?
  tr -d '\r' <"$work/$name.raw" >"$work/$name.out"
  echo "$status" >"$work/$name.code"
  echo $((SECONDS - start)) >"$work/$name.seconds"
  sed "s/^/  $name: /" "$work/$name.out"
  echo "corvelcmd $name: $(cat "$work/$name.seconds") s"
}
exit_code() { check "corvelcmd $1 exits $2 (saw $(cat "$work/$1.code"))" test "$(cat "$work/$1.code")" = "$2"; }
# json NAME EXPRESSION: the Python expression over the document d that NAME printed.
json() { python3 -c "import json,sys; d=json.load(open(sys.argv[1])); print($2)" "$work/$1.out"; }
