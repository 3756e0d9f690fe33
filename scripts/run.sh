#!/usr/bin/env bash
# The main job: installs what is missing, builds the command-line reader and
# reads the sample frames in samples/, printing each symbol's text and
# writing annotated copies (outline and text drawn as the live window draws
# them) to out/annotated/.
#   scripts/run.sh            the samples
#   scripts/run.sh FILE...    your own images instead (paths as you give them)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

(
  cd "$root"
  scripts/install-deps.sh
  if [[ ! -f build/build.ninja ]]; then
    mkdir -p build
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -Wno-dev > build.configure.log 2>&1 || {
      cat build.configure.log
      exit 1
    }
  fi
  cmake --build build -j "${KELVRANE_JOBS:-$(nproc)}" --target kelvrane-read > build/run-build.log 2>&1 || {
    cat build/run-build.log
    exit 1
  }
)

out="$root/out/annotated"
status=0
if (($# == 0)); then
  cd "$root"
  set -- samples/*.png
fi
"$root/build/tools/kelvrane-read/kelvrane-read" --annotate "$out" "$@" || status=$?
echo "annotated copies: $out/"
exit "$status"
