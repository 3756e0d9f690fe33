#!/usr/bin/env bash
# The comparison benchmark: installs the peer readers (zxing-cpp, libdmtx)
# with everything else that is missing, builds peer-bench, makes its frames
# and prints the table: per frame set and reader, symbols decoded correctly,
# wrong texts, median and 90th-percentile milliseconds per frame, and the
# time relative to ours.
#   scripts/bench.sh [--runs N] [--warmup N]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --bench
mkdir -p build
# Configured anew so that peers installed just now are found.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVRANE_BENCHMARKS=ON -Wno-dev \
  > build.configure.log 2>&1 || {
  cat build.configure.log
  exit 1
}
cmake --build build -j "${KELVRANE_JOBS:-$(nproc)}" --target peer-bench > build/bench-build.log 2>&1 || {
  cat build/bench-build.log
  exit 1
}
python3 tools/peer-bench/make_bench_frames.py build/bench-frames > /dev/null
build/tools/peer-bench/peer-bench build/bench-frames/frames.txt "$@"
