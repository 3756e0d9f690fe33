#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test in
# three configurations: a normal build (with the benchmarks built), an
# address + undefined-behaviour sanitizer build, and a ThreadSanitizer build
# of the tests labelled "tsan". Then every libFuzzer target is built with
# clang and given a short smoke run over its committed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${KELVRANE_JOBS:-$(nproc)}
scripts/install-deps.sh

export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-dummy}
export GST_REGISTRY_UPDATE=${GST_REGISTRY_UPDATE:-yes}

configure() {  # configure DIR [cmake options...]
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -Wno-dev "$@" > "$dir.configure.log" 2>&1 || {
    cat "$dir.configure.log"
    return 1
  }
}

step() { printf '\n=== %s ===\n' "$*"; }

# Runs ctest and adds its count of tests to the total printed at the end.
passed=0
run_ctest() {
  local log
  log=$(mktemp)
  ctest "$@" 2>&1 | tee "$log"
  local n
  n=$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$log" | tail -n 1)
  passed=$((passed + ${n:-0}))
  rm -f "$log"
}

step "normal build"
mkdir -p build
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
step "tests (normal build)"
run_ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600

step "address + undefined-behaviour sanitizer build"
mkdir -p build-asan
configure build-asan -DCMAKE_BUILD_TYPE=Debug -DKELVRANE_SANITIZE=address,undefined \
  -DKELVRANE_BENCHMARKS=OFF
cmake --build build-asan -j "$jobs"
step "tests (address + undefined-behaviour sanitizers)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 900

step "thread sanitizer build"
mkdir -p build-tsan
configure build-tsan -DCMAKE_BUILD_TYPE=Debug -DKELVRANE_SANITIZE=thread -DKELVRANE_BENCHMARKS=OFF
cmake --build build-tsan -j "$jobs" --target tsan_tests
step "tests labelled tsan (thread sanitizer)"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  run_ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 900 -L tsan --no-tests=ignore

step "fuzzer build (clang, libFuzzer)"
mkdir -p build-fuzz
CC=clang CXX=clang++ configure build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVRANE_FUZZERS=ON \
  -DKELVRANE_TESTS=OFF -DKELVRANE_BENCHMARKS=OFF -DKELVRANE_APP=OFF
cmake --build build-fuzz -j "$jobs" --target fuzzers
step "fuzzer smoke runs"
for fuzzer in build-fuzz/fuzzers/*; do
  [[ -x "$fuzzer" ]] || continue
  name=$(basename "$fuzzer")
  corpus="tests/fuzz/$name"
  work=$(mktemp -d)
  [[ -d "$corpus" ]] && cp -r "$corpus/." "$work/"
  echo "$name: ${KELVRANE_FUZZ_SECONDS:-30} s"
  "$fuzzer" -max_total_time="${KELVRANE_FUZZ_SECONDS:-30}" -print_final_stats=1 "$work" 2>&1 | tail -n 12
  rm -rf "$work"
done

step "all tests passed"
echo "tests: $passed passed, 0 failed"
