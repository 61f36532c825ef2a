#!/usr/bin/env bash
# Builds the reader fuzz target with clang, libFuzzer and ASan/UBSan in build-fuzz, then runs it over
# a scratch copy of the committed seed corpus for a fixed time. Any crash, sanitizer report or
# failed round trip makes the script fail.
#
#   FUZZ_SECONDS  time budget (default 60)
#   FUZZ_JOBS     build parallelism (default 2)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$root"

if ! command -v clang++ >/dev/null || ! command -v clang >/dev/null; then
  echo "installing clang"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang
fi
# libFuzzer and the sanitizer runtimes ship separately from the compiler on Debian.
clang_major="$(clang++ -dumpversion | cut -d. -f1)"
if ! ls "$(clang++ -print-resource-dir)"/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  echo "installing the clang ${clang_major} runtime libraries"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "libclang-rt-${clang_major}-dev"
fi

cmake=cmake
if [ -x .venv/bin/cmake ]; then cmake=.venv/bin/cmake; fi
python=python3
if [ -x .venv/bin/python ]; then python="$root/.venv/bin/python"; fi

CC=clang CXX=clang++ "$cmake" -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTROVIK_FUZZ=ON -DTROVIK_WERROR=ON -DPython_EXECUTABLE="$python"
"$cmake" --build build-fuzz -j "${FUZZ_JOBS:-2}" --target reader_fuzz

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -R tests/fuzz/corpus/. "$work/"

ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  build-fuzz/tests/fuzz/reader_fuzz "$work" \
  -max_total_time="${FUZZ_SECONDS:-60}" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
  -dict=tests/fuzz/json.dict -artifact_prefix="$work/" -print_final_stats=1 || {
  status=$?
  echo "reader_fuzz failed (exit $status); reproducers:" >&2
  for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
    [ -e "$crash" ] || continue
    cp "$crash" "$root/build-fuzz/" && echo "  build-fuzz/$(basename "$crash")" >&2
  done
  exit "$status"
}
