# Shared by the release tests (sourced after setting root, the source tree): the packages' time,
# one for every run of a test whatever is committed meanwhile, and a compiler cache of their own.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}
export SOURCE_DATE_EPOCH

# release_cache DIR: the builds compile through ccache, with the cache in DIR/ccache (empty when
# DIR is new) and the paths taken relative to the source tree, so that a copy of the tree built at
# the same depth below itself finds the objects compiled from the same sources. Without ccache,
# every build compiles everything.
release_cache() {
  unset CCACHE_DISABLE CCACHE_CONFIGPATH CCACHE_RECACHE CCACHE_READONLY
  if command -v ccache >/dev/null; then
    export CCACHE_DIR=$1/ccache CCACHE_BASEDIR=$root
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  else
    echo "note: no ccache here: each release build compiles every object"
    export CCACHE_DISABLE=1
    unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER
  fi
}
