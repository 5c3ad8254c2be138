# Build configurations shared by the test runner, the demo and the benchmarks (sourced).
# The loopback port the test and demo builds fetch their manifest from.
QUORVEL_TEST_HOST=${QUORVEL_TEST_HOST:-127.0.0.1}
QUORVEL_TEST_PORT=${QUORVEL_TEST_PORT:-47443}
export QUORVEL_TEST_HOST QUORVEL_TEST_PORT

configure_and_build() {  # configure_and_build CONFIG [targets...]
  local config=$1; shift
  local dir="$build/$config"
  local args=()
  case "$config" in
    native) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_SANITIZE=ON) ;;
    fuzz) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUORVEL_FUZZ=ON) ;;
    bench) args=(-DCMAKE_BUILD_TYPE=Release -DQUORVEL_BENCH=ON) ;;
    win) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
               -DQUORVEL_SERVER_HOST="$QUORVEL_TEST_HOST" -DQUORVEL_SERVER_PORT="$QUORVEL_TEST_PORT") ;;
    # The demo's launcher: the test build's server, pinning the demo's throwaway list keys
    # (demo_cache_args, set by tools/demo/run-demo.sh).
    demo-win) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
                    -DQUORVEL_SERVER_HOST="$QUORVEL_TEST_HOST" -DQUORVEL_SERVER_PORT="$QUORVEL_TEST_PORT"
                    ${demo_cache_args[@]+"${demo_cache_args[@]}"}) ;;
    # The vendor's tool for this machine, for the demo to sign its list with.
    vendor-tools) args=(-DCMAKE_BUILD_TYPE=Release) ;;
    win-default) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake") ;;
    # The vendor's bundle (tools/release/): stripped, with the settings release-env.sh collects.
    release-win) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
                       -DCMAKE_EXE_LINKER_FLAGS=-s ${release_cache_args[@]+"${release_cache_args[@]}"}) ;;
    release-native) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_EXE_LINKER_FLAGS=-s) ;;
    *) echo "unknown configuration $config" >&2; return 1 ;;
  esac
  echo "=== building $config"
  cmake -S "$root" -B "$dir" "${args[@]}" >"$build/cmake-$config.log" 2>&1 || { cat "$build/cmake-$config.log"; return 1; }
  if [ $# -gt 0 ]; then
    cmake --build "$dir" -j "$(nproc)" --target "$@"
  else
    cmake --build "$dir" -j "$(nproc)"
  fi
}
