"""How a run ends: the run_end record a `with` block or close() appends, written by child
interpreters that end each way, and what an object refuses once it has ended its run."""

import json
import multiprocessing
import os
import signal
import subprocess
import sys

import pytest

import trovik as trovik_module
from conftest import read_lines, read_records, run_python

ENVELOPE = ["created_at", "elapsed_ms", "experiment_name", "kind", "run_id", "schema_version",
            "trovik_version", "value"]
HAS_NOTES = sys.version_info >= (3, 11)

ENDING_CHILD = """
import os, signal, sys, trovik
class Diverged(Exception):
    pass
with trovik.Experiment("ending") as run:
    run.track(1)
    print(run.path, flush=True)
    {body}
"""


def end_child(body, tmp_path, send=None):
    """Runs a child that ends its `with` block by `body`; `send` is a signal sent once it has
    tracked. Returns the exit status and the child's records."""
    env = dict(os.environ, TROVIK_DIR=str(tmp_path / "root"),
               PYTHONPATH=os.path.dirname(trovik_module.__file__))
    child = subprocess.Popen([sys.executable, "-c", ENDING_CHILD.format(body=body)], env=env,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    path = child.stdout.readline().decode().strip()
    assert path, child.communicate(timeout=60)[1].decode()
    if send is not None:
        child.send_signal(send)
    child.communicate(timeout=60)
    return child.returncode, read_records(os.path.join(tmp_path, path))


@pytest.mark.parametrize(
    "body, send, exit_status, status, exception_type, message",
    [
        ("pass", None, 0, "completed", None, None),
        ("raise RuntimeError('boom')", None, 1, "failed", "RuntimeError", "boom"),
        ("raise Diverged('loss is nan')", None, 1, "failed", "__main__.Diverged", "loss is nan"),
        ("import json; json.loads('{')", None, 1, "failed", "json.decoder.JSONDecodeError",
         "Expecting property name enclosed in double quotes: line 1 column 2 (char 1)"),
        ("raise ValueError('\u20ac' * 2000)", None, 1, "failed", "ValueError", "\u20ac" * 1365),
        ("signal.pause()", signal.SIGINT, -signal.SIGINT, "interrupted", "KeyboardInterrupt", ""),
        ("sys.exit(0)", None, 0, "completed", None, None),
        ("sys.exit()", None, 0, "completed", None, None),
        ("sys.exit(3)", None, 3, "failed", "SystemExit", "3"),
        ("sys.exit('stopped early')", None, 1, "failed", "SystemExit", "stopped early"),
        ("os._exit(0)", None, 0, None, None, None),
        ("signal.pause()", signal.SIGKILL, -signal.SIGKILL, None, None, None),
        ("signal.pause()", signal.SIGTERM, -signal.SIGTERM, None, None, None),
    ],
    ids=["normal", "raise", "own class", "module class", "long message", "SIGINT", "exit 0",
         "exit None", "exit 3", "exit text", "os._exit", "SIGKILL", "SIGTERM"],
)
def test_each_ending(tmp_path, body, send, exit_status, status, exception_type, message):
    code, records = end_child(body, tmp_path, send)
    assert code == exit_status
    kinds = [record["kind"] for record in records]
    if status is None:
        assert kinds == ["run_start", "track"]  # the reader derives how such a run ended
        return
    assert kinds == ["run_start", "track", "run_end"]
    end = records[-1]
    assert list(end) == ENVELOPE and end["elapsed_ms"] >= records[1]["elapsed_ms"]
    assert list(end["value"]) == ["exception", "resources", "status"]
    assert end["value"]["status"] == status
    resources = end["value"]["resources"]
    assert list(resources) == ["cpu_system_s", "cpu_user_s", "max_rss_bytes"]
    assert resources["cpu_user_s"] > 0 and resources["max_rss_bytes"] > 4 * 1024 * 1024
    exception = end["value"]["exception"]
    if exception_type is None:
        assert exception is None
        return
    assert exception["type"] == exception_type and exception["message"] == message
    assert exception["traceback"].startswith("Traceback (most recent call last):\n")
    # The traceback keeps its end: the line naming the exception, as the interpreter prints it.
    last_line = exception["traceback"].splitlines()[-1]
    assert last_line.startswith(exception_type.replace("__main__.", ""))


def test_close_ends_once_and_the_object_then_refuses(trovik, root):
    run = trovik.Experiment("closing")
    with run:
        run.track(1)
        run.close()
    run.close()
    for call in (lambda: run.track(2), run.record_environment):
        with pytest.raises(ValueError) as caught:
            call()
        assert caught.value.args == (f"run {run.run_id} has ended",)
    records = read_records(run.path)
    assert [r["kind"] for r in records] == ["run_start", "track", "run_end"]
    assert records[-1]["value"]["status"] == "completed"
    assert records[-1]["value"]["exception"] is None


def track_after_the_end(run):
    run.track("from a copy")
    return run.run_id


def test_a_copy_in_a_worker_appends_after_the_parent_ended(trovik, root):
    run = trovik.Experiment("workers")
    run.close()
    with multiprocessing.get_context("spawn").Pool(1) as pool:
        assert pool.apply(track_after_the_end, (run,)) == run.run_id
    assert [r["kind"] for r in read_records(run.path)] == ["run_start", "run_end", "track"]


LIMITED_END_CHILD = r"""
import os, resource, sys, warnings, trovik
warnings.simplefilter("always")
run = trovik.Experiment("full")
soft, hard = resource.getrlimit(resource.RLIMIT_FSIZE)
resource.setrlimit(resource.RLIMIT_FSIZE, (os.path.getsize(run.path) + %d, hard))
try:
    with run:
        raise KeyError("original")
except KeyError as error:
    print(repr(error), getattr(error, "__notes__", None))
try:
    run.close()
except (OSError, ValueError) as error:
    print(repr(error))
resource.setrlimit(resource.RLIMIT_FSIZE, (soft, hard))
print(run.path)
"""


@pytest.mark.parametrize("cut", [0, 40])
def test_a_failed_end_append_never_hides_the_exception(root, cut):
    result = run_python(LIMITED_END_CHILD % cut)
    caught, closed, path = result.stdout.decode().splitlines()
    failure = "was not written: ValueError: File too large (os error 27)"
    if HAS_NOTES:
        assert caught.startswith("KeyError('original') ['trovik: the run_end record of run ")
        assert caught.endswith(failure + "']")
    else:
        assert caught == "KeyError('original') None"
        assert failure in result.stderr.decode() and "RuntimeWarning" in result.stderr.decode()
    assert closed == "ValueError('File too large (os error 27)')"
    # Whole lines, then at most the start of the end record that did not fit.
    *whole, torn = read_lines(path)
    assert [json.loads(line)["kind"] for line in whole] == ["run_start"]
    assert len(torn) == cut and b'{"created_at":'.startswith(torn[:14])


def test_a_failed_end_append_without_an_exception_is_raised(trovik, root):
    run = trovik.Experiment("full")
    saved = run.path + ".saved"
    os.rename(run.path, saved)
    os.symlink("/dev/full", run.path)
    with pytest.raises(ValueError) as caught:
        with run:
            pass
    assert caught.value.args == ("No space left on device (os error 28)",)
    os.remove(run.path)
    os.rename(saved, run.path)
    run.close()  # nothing was ended, so a later close records the end
    assert [r["kind"] for r in read_records(run.path)] == ["run_start", "run_end"]


NAN_NOTE = ("NaN and the infinities have no JSON form: record such a number as None or as a "
            "string, e.g. loss if math.isfinite(loss) else None")


@pytest.mark.parametrize("value, notes", [
    (float("nan"), [NAN_NOTE]),
    ({"loss": [1.0, -float("inf")], "tag": "NaN"}, [NAN_NOTE]),
    ({"NaN": "Infinity", "bad": "\udc00"}, None),
])
def test_non_finite_numbers_get_a_note_and_keep_their_message(trovik, root, value, notes):
    run = trovik.Experiment("nan")
    with pytest.raises(ValueError) as caught:
        run.track(value)
    assert type(caught.value) is ValueError and len(caught.value.args) == 1
    assert getattr(caught.value, "__notes__", None) == (notes if HAS_NOTES else None)
    assert len(read_records(run.path)) == 1
