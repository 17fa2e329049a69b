#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address + undefined sanitizers) and
# runs each for N seconds (default 30). No crash, no hang, bounded memory.
set -euo pipefail
cd "$(dirname "$0")/.."
duree=${1:-30}
command -v clang++ >/dev/null || { echo "clang absent : fuzzers ignorés"; exit 0; }
# -fno-sanitize=function: clang 14's function check cannot compile some coroutine
# lambdas ("Cannot represent a difference across sections").
san="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=function -fno-sanitize-recover=undefined"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVD_FUZZ=ON -DVD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$san" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cibles=$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
cmake --build build-fuzz -j2 --target $cibles
for c in $cibles; do
  mkdir -p build-fuzz/corpus-$c
  cp -n tests/fuzz/corpus/$c/* build-fuzz/corpus-$c/ 2>/dev/null || true
  echo "== $c ($duree s)"
  ./build-fuzz/tests/fuzz/$c -max_total_time="$duree" -rss_limit_mb=2048 -timeout=10 -max_len=65536 \
    build-fuzz/corpus-$c 2>&1 | tail -n 2
done
