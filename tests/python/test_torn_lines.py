"""A record cut short by a full disk or the file size limit never takes the next record with it:
the next append starts on a fresh line, so every complete record stays readable."""

import json
import os
import subprocess
import sys

import trovik as trovik_module
from conftest import run_python

CUTS_CHILD = r"""
import json, os, resource, sys
import trovik

soft, hard = resource.getrlimit(resource.RLIMIT_FSIZE)
run = trovik.Experiment("cuts")
value = {"pad": "z" * 300}
errors = set()
cuts = range(1, 400, 3)
for cut in cuts:
    resource.setrlimit(resource.RLIMIT_FSIZE, (os.path.getsize(run.path) + cut, hard))
    try:
        run.track(value, note="cut")
    except ValueError as error:
        errors.add(error.args)
    finally:
        resource.setrlimit(resource.RLIMIT_FSIZE, (soft, hard))
    run.track(value, note="whole")
print(json.dumps({"path": run.path, "cuts": len(cuts), "errors": sorted(errors)}))
"""


def split_records(text):
    """Whole records and the lines that are not JSON."""
    assert text.endswith(b"\n")
    whole, torn = [], []
    for line in text.split(b"\n")[:-1]:
        try:
            whole.append(json.loads(line))
        except ValueError:
            torn.append(line)
    return whole, torn


def test_file_size_limit_at_every_offset(root):
    report = json.loads(run_python(CUTS_CHILD).stdout)
    assert report["errors"] == [["File too large (os error 27)"]]
    with open(report["path"], "rb") as f:
        whole, torn = split_records(f.read())
    # Each cut leaves exactly its own torn line; nothing after it was glued on.
    assert [len(line) for line in torn] == list(range(1, 400, 3))
    assert all(line.startswith(b'{"created_at":"'[: len(line)]) for line in torn)
    assert [r["note"] for r in whole[1:]] == ["whole"] * report["cuts"]
    assert all(r["value"] == {"pad": "z" * 300} for r in whole[1:])


FULL_DISK_CHILD = r"""
import json, os, subprocess, sys
mount_point = sys.argv[1]
subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", mount_point], check=True)
os.environ["TROVIK_DIR"] = os.path.join(mount_point, "root")
import trovik

run = trovik.Experiment("full disk")
spares = []
for i in range(4):
    spares.append(os.path.join(mount_point, "spare%d" % i))
    with open(spares[-1], "wb") as f:
        f.write(b"s" * 4096)
errors = []
while True:
    size = os.path.getsize(run.path)
    try:
        run.track({"pad": "p" * 6000})
        continue
    except ValueError as error:
        errors.append(error.args)
    if os.path.getsize(run.path) > size:
        break
    # The file ended exactly where the space did: free a page, so the next record is cut.
    os.remove(spares.pop())
for spare in spares:
    os.remove(spare)
run.track("after")
with open(run.path, "rb") as f:
    sys.stdout.buffer.write(f.read())
sys.stderr.write(json.dumps(errors))
"""


def test_full_disk_leaves_one_torn_line(tmp_path):
    mount_point = tmp_path / "small"
    mount_point.mkdir()
    # A private mount namespace: the small file system goes away with the child.
    namespace = ["unshare", "--mount"] + ([] if os.geteuid() == 0 else ["--map-root-user"])
    env = dict(os.environ, PYTHONPATH=os.path.dirname(trovik_module.__file__))
    result = subprocess.run(
        namespace + [sys.executable, "-c", FULL_DISK_CHILD, str(mount_point)],
        env=env, capture_output=True, check=False,
    )
    assert result.returncode == 0, result.stderr.decode(errors="replace")
    errors = json.loads(result.stderr)
    assert {tuple(e) for e in errors} == {("No space left on device (os error 28)",)}
    whole, torn = split_records(result.stdout)
    assert len(torn) == 1 and torn[0].startswith(b'{"created_at":"')
    assert [r["kind"] for r in whole][0] == "run_start"
    assert whole[-1]["value"] == "after"
    assert all(r["value"] == {"pad": "p" * 6000} for r in whole[1:-1])
