"""Operating-system faults while a run is recorded: each one raises its exact error, leaves no
descriptor or reference behind, keeps the lines already written, and the module goes on working
once the fault is gone."""

import os
import signal
import socket
import sys

import pytest

import trovik as trovik_module
from conftest import run_python
from test_reliability_support import (
    ERROR_TEXT,
    assert_plain_error,
    git,
    isolated_git_environment,
    make_repository,
    open_descriptors,
    padding,
    read_run_file,
    scaled,
)

HERE = os.path.dirname(os.path.abspath(__file__))

# Failing calls made in a row: a leak of one descriptor or one reference per call shows as this
# many.
REPEATS = scaled(50, 2_000)


def child_environment(**changes):
    """For run_python: the child imports both trovik and the helpers of these tests."""
    module_dir = os.path.dirname(trovik_module.__file__)
    return {"PYTHONPATH": os.pathsep.join([module_dir, HERE]), **changes}


def fresh_text(prefix):
    """A string built at run time, so no other reference to it exists."""
    return "".join([prefix, "-", str(os.getpid())])


# --- faults of an append: (break the run file, exception class, message key) ---------------------


def full_device(path):
    """The run file becomes /dev/full: the open succeeds, the write finds no space."""
    os.rename(path, path + ".saved")
    os.symlink("/dev/full", path)

    def restore():
        os.unlink(path)
        os.rename(path + ".saved", path)

    return restore


def runs_directory_gone(path):
    runs = os.path.dirname(path)
    os.rename(runs, runs + ".saved")
    return lambda: os.rename(runs + ".saved", runs)


def directory_in_place(path):
    os.rename(path, path + ".saved")
    os.mkdir(path)

    def restore():
        os.rmdir(path)
        os.rename(path + ".saved", path)

    return restore


APPEND_FAULTS = {
    "ENOSPC": (full_device, ValueError),
    "ENOENT": (runs_directory_gone, OSError),
    "EISDIR": (directory_in_place, OSError),
}


@pytest.mark.parametrize("fault", APPEND_FAULTS)
def test_stress_fault_during_track(trovik, root, fault):
    inject, kind = APPEND_FAULTS[fault]
    run = trovik.Experiment("faults")
    value = {"loss": [0.25, 1.5], "text": fresh_text("value")}
    note = fresh_text("note")
    for _ in range(3):
        run.track(value, note=note)
    with open(run.path, "rb") as f:
        written = f.read()
    descriptors = open_descriptors()
    value_refs, note_refs = sys.getrefcount(value), sys.getrefcount(note)

    restore = inject(run.path)
    try:
        for _ in range(REPEATS):
            with pytest.raises(Exception) as caught:
                run.track(value, note=note)
            assert_plain_error(caught.value, kind, ERROR_TEXT[fault])
        del caught
    finally:
        restore()

    assert open_descriptors() == descriptors
    assert (sys.getrefcount(value), sys.getrefcount(note)) == (value_refs, note_refs)
    run.track(value, note=note)
    with open(run.path, "rb") as f:
        after = f.read()
    assert after.startswith(written), "lines written before the fault changed"
    records = read_run_file(run.path)
    assert len(records) == 5
    assert records[-1]["value"] == value and records[-1]["note"] == note
    assert len(read_run_file(trovik.Experiment("after").path)) == 1


@pytest.mark.parametrize("root_directory", ["a-file", "a-file/below"])
def test_stress_fault_root_is_a_file(trovik, workdir, monkeypatch, root_directory):
    (workdir / "a-file").write_text("not a directory\n")
    monkeypatch.setenv("TROVIK_DIR", root_directory)
    name = fresh_text("name")
    metadata = {"seed": 7, "text": fresh_text("metadata")}
    # Once before counting: the first failure may build lasting interpreter state.
    with pytest.raises(OSError):
        trovik.Experiment(name, metadata)
    descriptors = open_descriptors()
    name_refs, metadata_refs = sys.getrefcount(name), sys.getrefcount(metadata)

    for _ in range(REPEATS):
        with pytest.raises(Exception) as caught:
            trovik.Experiment(name, metadata)
        assert_plain_error(caught.value, OSError, ERROR_TEXT["ENOTDIR"])
    del caught

    assert open_descriptors() == descriptors
    assert (sys.getrefcount(name), sys.getrefcount(metadata)) == (name_refs, metadata_refs)
    assert (workdir / "a-file").read_text() == "not a directory\n"
    monkeypatch.setenv("TROVIK_DIR", "elsewhere")
    records = read_run_file(trovik.Experiment(name, metadata).path)
    assert records[0]["value"]["metadata"] == metadata


# --- the file size limit: a record cut short, then the next one on a fresh line -----------------

FILE_SIZE_CHILD = r"""
import json, os, resource, sys
import trovik
from test_reliability_support import ERROR_TEXT, assert_plain_error, open_descriptors

REPEATS = %(repeats)d
soft, hard = resource.getrlimit(resource.RLIMIT_FSIZE)

def attempt(limit, call):
    # The interpreter ignores SIGXFSZ, so crossing the limit is an EFBIG error, not a signal.
    resource.setrlimit(resource.RLIMIT_FSIZE, (limit, hard))
    try:
        call()
    except BaseException as error:
        return error
    finally:
        resource.setrlimit(resource.RLIMIT_FSIZE, (soft, hard))
    return None

def contents(path):
    with open(path, "rb") as f:
        return f.read()

def parses(text):
    try:
        json.loads(text)
    except ValueError:
        return False
    return True

# Construction: not one byte of the run_start record fits.
runs = os.path.join(os.environ["TROVIK_DIR"], "runs")
error = attempt(0, lambda: trovik.Experiment("efbig"))
assert_plain_error(error, ValueError, ERROR_TEXT["EFBIG"])
assert [contents(os.path.join(runs, name)) for name in os.listdir(runs)] == [b""]

run = trovik.Experiment("efbig")
value = {"pad": "y" * 5000}
note = "".join(["note-", str(os.getpid())])
run.track(value, note=note)
before = contents(run.path)
descriptors = open_descriptors()
refs = sys.getrefcount(value), sys.getrefcount(note)

# A limit 100 bytes into the next record: the first call writes those 100 bytes, later ones none.
cut = len(before) + 100
for _ in range(REPEATS):
    error = attempt(cut, lambda: run.track(value, note=note))
    assert_plain_error(error, ValueError, ERROR_TEXT["EFBIG"])
del error
torn = contents(run.path)
assert torn[: len(before)] == before and len(torn) == cut
assert torn[len(before):].startswith(b'{"created_at":"')
assert open_descriptors() == descriptors
assert (sys.getrefcount(value), sys.getrefcount(note)) == refs

# The next append ends the torn line and starts a line of its own.
run.track(value, note=note)
after = contents(run.path)
assert after[:cut] == torn and after[cut:cut + 1] == b"\n" and after.endswith(b"\n")
continued = json.loads(after[cut + 1:])
assert continued["note"] == note and continued["value"] == value

# A limit that leaves out only the line feed. The length of a record can change by a digit
# between calls (the clock fields), so the outcome is judged by what actually landed.
for _ in range(20):
    start = len(contents(run.path))
    run.track(value, note=note)
    length = len(contents(run.path)) - start
    start += length
    error = attempt(start + length - 1, lambda: run.track(value, note=note))
    landed = contents(run.path)[start:]
    if landed.endswith(b"\n"):
        assert error is None and parses(landed)
    elif parses(landed):
        assert_plain_error(error, OSError, ERROR_TEXT["EFBIG"])
        break
    else:
        assert_plain_error(error, ValueError, ERROR_TEXT["EFBIG"])
        run.track(value, note=note)
else:
    raise AssertionError("no attempt stopped exactly before the line feed")

# The record that lacked only its line feed gets it before the next record.
run.track(value, note=note)
tail = contents(run.path)[start:]
assert tail.startswith(landed + b"\n") and tail.endswith(b"\n")
assert json.loads(tail[len(landed) + 1:])["note"] == note
assert open_descriptors() == descriptors
assert (sys.getrefcount(value), sys.getrefcount(note)) == refs
"""


def test_stress_fault_file_size_limit(tmp_path):
    run_python(
        FILE_SIZE_CHILD % {"repeats": REPEATS},
        env=child_environment(TROVIK_DIR=str(tmp_path / "root")),
        cwd=tmp_path,
    )


# --- descriptor exhaustion -----------------------------------------------------------------------

DESCRIPTOR_CHILD = r"""
import errno, json, os, resource, socket, sys
import trovik
from test_reliability_support import ERROR_TEXT, assert_plain_error, open_descriptors

def start_value(path):
    with open(path, "rb") as f:
        return json.loads(f.readline())["value"]

run = trovik.Experiment("emfile")
git_value = start_value(run.path)["git"]
assert git_value == {"branch": "main", "commit": "%(head)s", "dirty": False}, git_value
value = {"step": 1}
note = "".join(["note-", str(os.getpid())])
run.track(value, note=note)
descriptors = open_descriptors()
refs = sys.getrefcount(value), sys.getrefcount(note)
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (descriptors + 32, hard))

fillers = []
outcomes = {}
for free in range(%(most_free)d + 1):
    while True:
        try:
            fillers.append(os.open("/dev/null", os.O_RDONLY))
        except OSError as error:
            assert error.errno == errno.EMFILE
            break
    for _ in range(free):
        os.close(fillers.pop())
    outcome = []
    for call in (lambda: trovik.Experiment("emfile"), lambda: run.track(value, note=note)):
        try:
            outcome.append(call())
        except BaseException as error:
            outcome.append(error)
    outcomes[free] = outcome
for fd in fillers:
    os.close(fd)
resource.setrlimit(resource.RLIMIT_NOFILE, (soft, hard))
del fillers, outcome

assert open_descriptors() == descriptors
assert (sys.getrefcount(value), sys.getrefcount(note)) == refs

hostname = socket.gethostname()
for free, (started, tracked) in outcomes.items():
    if free == 0:
        assert_plain_error(started, OSError, ERROR_TEXT["EMFILE"])
        assert_plain_error(tracked, OSError, ERROR_TEXT["EMFILE"])
        continue
    assert isinstance(started, trovik.Experiment), (free, started)
    assert tracked is None, (free, tracked)
    host = start_value(started.path)
    # A child needs four descriptors for its two pipes: with fewer, every child fails to start
    # and its facts are null.
    if free <= 3:
        assert (host["git"], host["host"]["hostname"]) == (None, None), (free, host)
    if free >= 8:
        assert (host["git"], host["host"]["hostname"]) == (git_value, hostname), (free, host)

records = [json.loads(line) for line in open(run.path, "rb")]
assert len(records) == 2 + %(most_free)d
assert all(record["note"] == note for record in records[1:])
runs = os.path.dirname(run.path)
assert len(os.listdir(runs)) == 1 + %(most_free)d
assert start_value(trovik.Experiment("emfile").path)["git"] == git_value
"""


def test_stress_fault_descriptor_exhaustion(tmp_path):
    environment = isolated_git_environment(str(tmp_path))
    repository = make_repository(str(tmp_path / "repo"), {"train.py": "print(1)\n"}, environment)
    head = git(repository, "rev-parse", "HEAD", env={**os.environ, **environment})
    run_python(
        DESCRIPTOR_CHILD % {"head": head, "most_free": 8},
        env=child_environment(TROVIK_DIR=str(tmp_path / "root"), HOSTNAME=None, **environment),
        cwd=repository,
    )


# --- a storm of signals --------------------------------------------------------------------------


class SignalStorm:
    """SIGALRM every 100 microseconds, caught by a Python handler that counts: every system call
    the module makes meanwhile is liable to fail with EINTR."""

    def __enter__(self):
        self.count = 0
        self.previous = signal.signal(signal.SIGALRM, self.handle)
        signal.setitimer(signal.ITIMER_REAL, 1e-4, 1e-4)
        return self

    def handle(self, signum, frame):
        self.count += 1

    def __exit__(self, *exc_info):
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, self.previous)


def test_stress_signal_storm_during_track(trovik, root):
    count = scaled(3_000, 100_000)
    run = trovik.Experiment("storm")
    descriptors = open_descriptors()
    with SignalStorm() as storm:
        for index in range(count):
            run.track({"i": index, "pad": padding(index, index % 4096)}, note=str(index))
    assert storm.count > 0
    assert open_descriptors() == descriptors
    records = read_run_file(run.path)
    assert [record["value"]["i"] for record in records[1:]] == list(range(count))
    for index, record in enumerate(records[1:]):
        assert record["value"]["pad"] == padding(index, index % 4096)
        assert record["note"] == str(index)


def test_stress_signal_storm_during_construction(trovik, tmp_path, monkeypatch):
    environment = isolated_git_environment(str(tmp_path))
    for key, text in environment.items():
        monkeypatch.setenv(key, text)
    repository = make_repository(str(tmp_path / "repo"), {"train.py": "print(1)\n"})
    (tmp_path / "repo" / "train.py").write_text("print(2)\n")
    head = git(repository, "rev-parse", "HEAD")
    temporary = tmp_path / "tmp"
    temporary.mkdir()
    monkeypatch.setenv("TMPDIR", str(temporary))
    monkeypatch.setenv("TROVIK_DIR", str(tmp_path / "root"))
    monkeypatch.delenv("HOSTNAME", raising=False)
    monkeypatch.chdir(repository)
    count = scaled(4, 60)

    descriptors = open_descriptors()
    with SignalStorm() as storm:
        runs = [trovik.Experiment("storm") for _ in range(count)]
    assert storm.count > 0
    assert open_descriptors() == descriptors

    snapshot_refs = {}
    for line in git(repository, "for-each-ref", "--format=%(refname) %(objectname)",
                    "refs/heads/run").splitlines():
        ref, commit = line.split()
        snapshot_refs[ref] = commit
    assert set(snapshot_refs) == {f"refs/heads/run/{run.run_id}" for run in runs}
    hostname = socket.gethostname()
    for run in runs:
        (record,) = read_run_file(run.path)
        branch = f"run/{run.run_id}"
        assert record["value"]["git"] == {
            "branch": branch, "commit": snapshot_refs[f"refs/heads/{branch}"], "dirty": True}
        assert git(repository, "rev-parse", branch + "^") == head
        assert record["value"]["host"]["hostname"] == hostname
    assert list(temporary.iterdir()) == []
    assert git(repository, "rev-parse", "HEAD") == head


# --- failing git commands ------------------------------------------------------------------------


def no_commits(repository, environment):
    git(repository, "init", "-q", "-b", "main", env=environment)
    (repository / "train.py").write_text("print(1)\n")


def dirty_without_identity(repository, environment):
    make_repository(str(repository), {"train.py": "print(1)\n"}, environment)
    git(repository, "config", "user.useConfigOnly", "true", env=environment)
    (repository / "train.py").write_text("print(2)\n")
    return {key: None for key in environment if key.endswith(("_NAME", "_EMAIL"))}


def dirty_with_run_branch(repository, environment):
    make_repository(str(repository), {"train.py": "print(1)\n"}, environment)
    git(repository, "branch", "run", env=environment)
    (repository / "train.py").write_text("print(2)\n")


@pytest.mark.parametrize(
    "prepare", [None, no_commits, dirty_without_identity, dirty_with_run_branch],
    ids=["outside-a-repository", "no-commits", "commit-refused", "ref-refused"])
def test_failing_git_commands_print_nothing(tmp_path, prepare):
    environment = isolated_git_environment(str(tmp_path))
    repository = tmp_path / "repo"
    repository.mkdir()
    changes = prepare(repository, {**os.environ, **environment}) if prepare else None
    temporary = tmp_path / "tmp"
    temporary.mkdir()
    result = run_python(
        "import trovik\ntrovik.Experiment('quiet').track(1)\n",
        env=child_environment(TROVIK_DIR=str(tmp_path / "root"), TMPDIR=str(temporary),
                              HOSTNAME=None, **{**environment, **(changes or {})}),
        cwd=repository,
    )
    # git explains each of these failures on its standard error; none of it may show.
    assert (result.stdout, result.stderr) == (b"", b"")
    (name,) = os.listdir(tmp_path / "root" / "runs")
    records = read_run_file(str(tmp_path / "root" / "runs" / name))
    assert [record["kind"] for record in records] == ["run_start", "track"]
    assert list(temporary.iterdir()) == []
