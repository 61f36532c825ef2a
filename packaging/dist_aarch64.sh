#!/usr/bin/env bash
# The aarch64 wheel, cross-built from the sdist with Zig's toolchain for glibc 2.17, tagged
# manylinux2014 by auditwheel, then imported under qemu-user by Debian's arm64 python3.
#
#   packaging/dist_aarch64.sh TOOLS_PYTHON OUT_DIR
#
# Needs qemu-user (installed through apt-get when missing). Debian's arm64 python3 packages are
# downloaded into OUT_DIR/sysroot: the arm64 architecture is added to dpkg only for the download and
# removed again, and nothing arm64 is installed on the machine.
set -euo pipefail

tools_python=$(realpath --no-symlinks "$1")
out=$2
repo=$(realpath "$(dirname "$0")/..")
policy=manylinux_2_17_aarch64

rm -rf "$out"
mkdir -p "$out/logs"
out=$(realpath --no-symlinks "$out")

step() {
  local name=$1
  shift
  if ! "$@" >"$out/logs/$name.log" 2>&1; then
    echo "dist-aarch64: $name failed:" >&2
    cat "$out/logs/$name.log" >&2
    exit 1
  fi
}

step sdist "$tools_python" -m build --sdist --outdir "$out" "$repo"
# scikit-build-core names the wheel after _PYTHON_HOST_PLATFORM; CMake is told it cross-compiles.
ZIG_PYTHON=$tools_python TROVIK_ZIG_TARGET=aarch64-linux-gnu.2.17 \
  CC=$repo/packaging/zig-cc CXX=$repo/packaging/zig-c++ _PYTHON_HOST_PLATFORM=linux-aarch64 \
  CMAKE_ARGS="-DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=aarch64" \
  step wheel "$tools_python" -m build --wheel --outdir "$out/unrepaired" "$out"/trovik-*.tar.gz
# auditwheel offers the host's policies by name only; "auto" takes the best the wheel meets, which
# `show` then checks.
PATH=$(dirname "$tools_python"):$PATH step repair "$tools_python" -m auditwheel repair \
  --plat auto --wheel-dir "$out" "$out"/unrepaired/trovik-*.whl
wheel=$(ls "$out"/trovik-*.whl)
step show "$tools_python" -m auditwheel show "$wheel"
grep -q "\"$policy\"" "$out/logs/show.log" || { cat "$out/logs/show.log" >&2; exit 1; }

command -v qemu-aarch64 >/dev/null ||
  step qemu sh -c 'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq qemu-user'
mkdir "$out/debs" "$out/sysroot" "$out/site"
python_packages=(libc6 python3.11-minimal libpython3.11-minimal libpython3.11-stdlib libexpat1 zlib1g
  libssl3 libffi8)
fetch_arm64_python() {
  dpkg --add-architecture arm64
  trap 'trap - RETURN; dpkg --remove-architecture arm64; apt-get update -qq' RETURN
  apt-get update -qq
  (cd "$out/debs" && apt-get download -qq "${python_packages[@]/%/:arm64}")
}
step python-arm64 fetch_arm64_python
for deb in "$out"/debs/*.deb; do dpkg -x "$deb" "$out/sysroot"; done
step site "$tools_python" -m zipfile -e "$wheel" "$out/site"

(cd /tmp && TROVIK_DIR=$out/runs PYTHONPATH=$out/site \
  qemu-aarch64 -L "$out/sysroot" "$out/sysroot/usr/bin/python3.11" -c '
import json, platform, trovik
run = trovik.Experiment("aarch64", metadata={"seed": 2**64})
run.track({"loss": 0.055364750824420376}, note="qemu")
records = [json.loads(line) for line in open(run.path)]
assert [r["kind"] for r in records] == ["run_start", "track"], records
assert records[0]["value"]["host"]["arch"] == "aarch64", records[0]
assert records[1]["value"]["loss"] == 0.055364750824420376
print("imported by CPython", platform.python_version(), "on", platform.machine())
') >"$out/logs/smoke.log" 2>&1 || { cat "$out/logs/smoke.log" >&2; exit 1; }
echo "dist-aarch64: $(basename "$wheel") ($policy), $(cat "$out/logs/smoke.log")"
