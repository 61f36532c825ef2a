"""What the constructor hands back: the name check, where the run file goes, run ids, the
exceptions of failed runs and of internal faults."""

import os
import re

import pytest

from conftest import run_python

RUN_ID = re.compile(r"^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$")


@pytest.mark.parametrize(
    "name",
    ["", "   ", "\t\n", "\u3000", "\u00a0", "\u0085\u2028\u2029", " \u2000\u200a\u202f\u205f ",
     "\x0b\x0c\r\u1680"],
)
def test_blank_names_are_rejected_before_anything_is_created(trovik, workdir, name):
    with pytest.raises(ValueError) as raised:
        trovik.Experiment(name)
    assert type(raised.value) is ValueError
    assert raised.value.args == ("experiment name cannot be empty",)
    assert os.listdir(workdir) == []


@pytest.mark.parametrize("name", ["\u200b", "\ufeff", " x ", "\u3000x\u3000", "_"])
def test_names_with_more_than_white_space_are_kept_untrimmed(trovik, root, name):
    run = trovik.Experiment(name)
    assert run.name == name


@pytest.mark.parametrize(
    "trovik_dir, runs",
    [
        (None, ".trovik/runs"),
        ("", "runs"),
        ("out", "out/runs"),
        ("out/", "out/runs"),
        ("a/b/c", "a/b/c/runs"),
        ("./x//", "./x//runs"),
        ("~", "~/runs"),
        ("$HOME", "$HOME/runs"),
        (".trovik", ".trovik/runs"),
    ],
)
def test_root_directory_from_the_environment(trovik, workdir, monkeypatch, trovik_dir, runs):
    if trovik_dir is not None:
        monkeypatch.setenv("TROVIK_DIR", trovik_dir)
    run = trovik.Experiment("demo")
    assert run.path == f"{runs}/{run.run_id}.jsonl"
    assert (workdir / runs).is_dir()
    assert (workdir / run.path).is_file()


def test_absolute_root_directory_stays_absolute(trovik, root):
    run = trovik.Experiment("demo")
    assert run.path == f"{root}/runs/{run.run_id}.jsonl"


def test_root_directory_that_is_not_utf8_falls_back(tmp_path):
    code = (
        "import os, trovik\n"
        "os.environb[b'TROVIK_DIR'] = b'bad\\xff'\n"
        "print(trovik.Experiment('demo').path)\n"
    )
    path = run_python(code, cwd=tmp_path).stdout.decode().strip()
    assert re.fullmatch(r"\.trovik/runs/[0-9a-f-]{36}\.jsonl", path)
    assert (tmp_path / path).is_file()
    assert not (tmp_path / os.fsdecode(b"bad\xff")).exists()


@pytest.mark.parametrize("below", ["", "/deeper"])
def test_root_directory_through_a_regular_file(trovik, workdir, monkeypatch, below):
    (workdir / "file").write_text("")
    monkeypatch.setenv("TROVIK_DIR", str(workdir / "file") + below)
    with pytest.raises(OSError) as raised:
        trovik.Experiment("demo")
    assert type(raised.value) is OSError
    assert raised.value.args == ("Not a directory (os error 20)",)
    assert raised.value.errno is None
    assert sorted(os.listdir(workdir)) == ["file"]


def test_run_ids_are_fresh_version_4_uuids(trovik, root):
    runs = [trovik.Experiment("same") for _ in range(32)]
    ids = [run.run_id for run in runs]
    for run_id in ids:
        assert len(run_id) == 36
        assert run_id[14] == "4" and run_id[19] in "89ab"
        assert RUN_ID.match(run_id)
    assert len(set(ids)) == len(ids)
    assert sorted(os.listdir(root / "runs")) == sorted(f"{run_id}.jsonl" for run_id in ids)


# A name larger than the memory left: the interpreter's UTF-8 copy fits, the module's own copy does
# not, so std::bad_alloc is thrown inside the constructor.
INTERNAL_FAULT = """
import os, resource, threading, trovik
big = "x" * (128 << 20)
soft, hard = resource.getrlimit(resource.RLIMIT_AS)
caught = []

def construct():
    with open("/proc/self/statm") as statm:
        in_use = int(statm.read().split()[0]) * resource.getpagesize()
    resource.setrlimit(resource.RLIMIT_AS, (in_use + (224 << 20), hard))
    try:
        trovik.Experiment(big)
    except BaseException as error:
        caught.append(error)
    finally:
        resource.setrlimit(resource.RLIMIT_AS, (soft, hard))

for attempt in range(2):
    if IN_THREAD:
        thread = threading.Thread(target=construct)
        thread.start()
        thread.join()
    else:
        construct()
first, second = caught
kind = type(first)
print(kind.__module__, kind.__qualname__, first.args, isinstance(first, Exception),
      kind.__bases__ == (BaseException,), type(second) is kind, "BaseException" in kind.__doc__)
print(sorted(vars(trovik)) == sorted(set(vars(trovik)) - {"PanicException"}), os.listdir("."))
print(trovik.Experiment("after the fault").name)
"""


@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="AddressSanitizer aborts on allocation failure instead of throwing")
@pytest.mark.parametrize("in_thread, thread_name", [(False, "main"), (True, "<unnamed>")])
def test_internal_fault_raises_panic_exception(tmp_path, in_thread, thread_name):
    result = run_python(f"IN_THREAD = {in_thread}\n" + INTERNAL_FAULT, cwd=tmp_path,
                        env={"TROVIK_DIR": None})
    assert result.stdout.decode().splitlines() == [
        "pyo3_runtime PanicException ('std::bad_alloc',) False True True True",
        "True []",
        "after the fault",
    ]
    diagnostic = re.escape(f"thread '{thread_name}' panicked at ") + \
        r"src/module/[a-z_]+\.cpp:\d+:\nstd::bad_alloc\n"
    assert re.fullmatch(f"({diagnostic}){{2}}", result.stderr.decode())
