# Shared by the Wine tests: a private Wine prefix inside the build folder, debug output on
# standard error, and a virtual display when there is no display.
prefix=$1
export WINEPREFIX=$prefix
export WINEDEBUG=-all,warn+seh
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
WINE=$(command -v wine64 || command -v wine)

run_wine() {
  if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    xvfb-run -a "$WINE" "$@"
  else
    "$WINE" "$@"
  fi
}

# check DESCRIPTION COMMAND...: counts the check as passed or failed (naming it when it fails).
passed=0
failed=0
check() {
  local description=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $description"
  fi
}
