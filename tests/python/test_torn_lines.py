"""A record cut short by the file size limit or a full disk is followed by a fresh line, so every
complete record stays readable."""

import json
import os
import subprocess
import sys

import trovik as trovik_module
from conftest import run_python

CUTS = range(1, 400, 3)
CUTS_CHILD = r"""
import os, resource, trovik
soft, hard = resource.getrlimit(resource.RLIMIT_FSIZE)
run = trovik.Experiment("cuts")
for cut in %r:
    resource.setrlimit(resource.RLIMIT_FSIZE, (os.path.getsize(run.path) + cut, hard))
    try:
        run.track("z" * 300)
    except ValueError as error:
        assert error.args == ("File too large (os error 27)",)
    resource.setrlimit(resource.RLIMIT_FSIZE, (soft, hard))
    run.track("whole")
print(run.path)
""" % (CUTS,)

FULL_DISK_CHILD = r"""
import os, subprocess, sys
subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", sys.argv[1]], check=True)
os.environ["TROVIK_DIR"] = os.path.join(sys.argv[1], "root")
import trovik
run = trovik.Experiment("full disk")
spares = [os.path.join(sys.argv[1], "spare%d" % i) for i in range(4)]
for spare in spares:
    with open(spare, "wb") as f:
        f.write(b"s" * 4096)
while True:
    size = os.path.getsize(run.path)
    try:
        run.track("p" * 6000)
        continue
    except ValueError as error:
        assert error.args == ("No space left on device (os error 28)",)
    if os.path.getsize(run.path) > size:
        break
    os.remove(spares.pop())  # the file ended where the space did: free a page so the next is cut
for spare in spares:
    os.remove(spare)
run.track("after")
sys.stdout.buffer.write(open(run.path, "rb").read())
"""


def split_records(text):
    assert text.endswith(b"\n")
    whole, torn = [], []
    for line in text.split(b"\n")[:-1]:
        try:
            whole.append(json.loads(line))
        except ValueError:
            torn.append(line)
    return whole, torn


def test_file_size_limit_at_every_offset(root):
    with open(run_python(CUTS_CHILD).stdout.decode().strip(), "rb") as f:
        whole, torn = split_records(f.read())
    assert [len(line) for line in torn] == list(CUTS)
    assert [r["value"] for r in whole[1:]] == ["whole"] * len(CUTS)


def test_full_disk_leaves_one_torn_line(tmp_path):
    # A private mount namespace: the small file system goes away with the child.
    namespace = ["unshare", "--mount"] + ([] if os.geteuid() == 0 else ["--map-root-user"])
    result = subprocess.run(
        namespace + [sys.executable, "-c", FULL_DISK_CHILD, str(tmp_path)], capture_output=True,
        env=dict(os.environ, PYTHONPATH=os.path.dirname(trovik_module.__file__)),
    )
    assert result.returncode == 0, result.stderr.decode(errors="replace")
    whole, torn = split_records(result.stdout)
    assert len(torn) == 1 and torn[0].startswith(b'{"created_at":"')
    assert whole[0]["kind"] == "run_start" and whole[-1]["value"] == "after"
    assert all(r["value"] == "p" * 6000 for r in whole[1:-1])
