# Sourced by scripts/test and scripts/run: the plain build's folder and flags, shared so that either script
# reuses what the other built (one flag set per folder; a flag that differed would rebuild the whole tree).
# CXX and CC choose the compilers; a compiler other than the default builds in folders of its own (the
# suffix, e.g. build-clang++), so the trees never mix compilers. Expects `root` to be set.
compiler_args=()
suffix=""
if [ -n "${CXX:-}" ]; then
  if ! command -v "$CXX" >/dev/null 2>&1 && [[ "$CXX" == clang* ]]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq clang
  fi
  compiler_args+=("-DCMAKE_CXX_COMPILER=$CXX")
  suffix="-$(basename "$CXX")"
fi
if [ -n "${CC:-}" ]; then
  compiler_args+=("-DCMAKE_C_COMPILER=$CC")
elif [[ "${CXX:-}" == *clang++* ]]; then
  compiler_args+=("-DCMAKE_C_COMPILER=${CXX/clang++/clang}")
fi
plain_build="$root/build$suffix"
plain_flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DSELK_WERROR=ON)
