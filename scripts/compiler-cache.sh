# Sourced by the build scripts: compile through ccache when it is there, so a
# rebuild of an unchanged file (another build tree, a fresh clone on the same
# machine) costs a cache look-up instead of a compilation.
if command -v ccache >/dev/null 2>&1 && [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
  # Paths relative to the checkout, so that clones in other folders share the cache.
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
