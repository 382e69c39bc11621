# Shared by the Wine tests: a private Wine prefix inside the build folder, debug output on
# standard error, and a virtual display when there is no display.
prefix=$1
export WINEPREFIX=$prefix
export WINEDEBUG=-all,warn+seh
export WINEDLLOVERRIDES="mscoree,mshtml="
# The native helpers these tests start (printer-server, fwimage) are the native preset's, built
# with AddressSanitizer. Its leak check at their exit stops every thread of the process, which now
# and then never ends and leaves a stopped printer hanging (seen under load); their leaks are the
# native tests' business, not these.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
WINE=$(command -v wine64 || command -v wine)
# A new prefix is a copy of a template prefix when the test runner names one (WINE_PREFIX_TEMPLATE,
# tests/wine/own_case.sh): Wine sets up a prefix in several times the time a copy takes. The first
# test to need the template makes it, under a lock; the copy leaves out the file where Debian's Wine
# names the prefix's server folder in /tmp, so that each copy gets a server of its own.
if [ -n "${WINE_PREFIX_TEMPLATE:-}" ] && [ ! -e "$WINEPREFIX/system.reg" ]; then
  (
    flock 9
    if [ ! -e "$WINE_PREFIX_TEMPLATE/system.reg" ]; then
      rm -rf "$WINE_PREFIX_TEMPLATE.new"
      WINEPREFIX=$WINE_PREFIX_TEMPLATE.new DISPLAY='' "$WINE" wineboot -u >/dev/null 2>&1
      WINEPREFIX=$WINE_PREFIX_TEMPLATE.new timeout 120 wineserver -w
      rm -f "$WINE_PREFIX_TEMPLATE.new/wineserver"
      mv "$WINE_PREFIX_TEMPLATE.new" "$WINE_PREFIX_TEMPLATE"
    fi
  ) 9>"$WINE_PREFIX_TEMPLATE.lock"
  mkdir -p "$WINEPREFIX"
  # The prefix's libraries and programs (about 650 MB) are hard links to the template's, which no
  # test writes; every other file (the registry, the .ini files) is a copy of the case's own.
  if cp -al "$WINE_PREFIX_TEMPLATE/." "$WINEPREFIX/" 2>/dev/null; then
    find "$WINEPREFIX" -type f -links +1 ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' -o -iname '*.sys' \
      -o -iname '*.ocx' -o -iname '*.cpl' -o -iname '*.acm' -o -iname '*.tlb' -o -iname '*.nls' \) \
      -exec sh -c 'for f; do cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f"; done' _ {} +
  else
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    cp -a "$WINE_PREFIX_TEMPLATE/." "$WINEPREFIX/"
  fi
fi
mkdir -p "$WINEPREFIX"

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
