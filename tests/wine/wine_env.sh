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
