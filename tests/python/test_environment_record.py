"""record_environment() in a virtual environment of known packages, run by a child interpreter with
a chosen environment and a stand-in for nvidia-smi: the record agrees with what the interpreter
itself says, importlib.metadata included."""

import glob
import json
import os
import shutil
import subprocess
import sys
import time

import pytest

import trovik as trovik_module
from conftest import read_records

CHILD = r"""
import importlib.metadata, json, os, platform, sys, time, trovik
run = trovik.Experiment("environment")
started = time.monotonic()
run.record_environment()
seconds = time.monotonic() - started
try:
    distribution = platform.freedesktop_os_release().get("PRETTY_NAME")
except OSError:
    distribution = None
except AttributeError:  # before 3.10: not compared
    distribution = "unknown"
seen = {}
for found in importlib.metadata.distributions():
    seen.setdefault(found.metadata["Name"].lower(), (found.metadata["Name"], found.version))
print(json.dumps({
    "path": run.path, "seconds": seconds, "packages": dict(seen.values()),
    "python": {"executable": sys.executable, "implementation": sys.implementation.name,
               "version": platform.python_version()},
    "platform": {"distribution": distribution, "kernel": os.uname().release,
                 "libc": os.confstr("CS_GNU_LIBC_VERSION")},
}))
"""

FAKE_SMI = {
    "answers": "echo 'NVIDIA A100-SXM4-40GB, 535.104.05, 40960'\necho 'Tesla T4, 535.104.05, 15360'",
    "fails": "echo 'NVIDIA-SMI has failed because it could not communicate with the driver'; exit 9",
    "hangs": "sleep 60",
}
SANITIZER_VARIABLES = ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")
GPUS = {"answers": [{"driver": "535.104.05", "memory_mib": 40960, "name": "NVIDIA A100-SXM4-40GB"},
                    {"driver": "535.104.05", "memory_mib": 15360, "name": "Tesla T4"}]}


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


@pytest.fixture(scope="module")
def environment(tmp_path_factory):
    """A virtual environment without pip holding four packages, one of them editable, and a
    directory holding nothing but the module."""
    base = tmp_path_factory.mktemp("venv")
    venv = base / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--without-pip", str(venv)], check=True)
    (site,) = glob.glob(str(venv / "lib" / "python3*" / "site-packages"))
    write(os.path.join(site, "alpha-1.0.dist-info/METADATA"), "Name: alpha\nVersion: 1.0\n")
    write(os.path.join(site, "Beta_Pkg-2.0rc1.dist-info/METADATA"),
          "Metadata-Version: 2.1\nName: Beta_Pkg\nVersion: 2.0rc1\n\nBeta.\n")
    write(os.path.join(site, "gamma-0.3-py3.egg-info/PKG-INFO"), "Name: gamma\nVersion: 0.3\n")
    source = base / "my source"
    write(os.path.join(site, "mine-0.1.dist-info/METADATA"), "Name: mine\nVersion: 0.1\n")
    write(os.path.join(site, "mine-0.1.dist-info/direct_url.json"), json.dumps(
        {"url": "file://" + str(source).replace(" ", "%20"), "dir_info": {"editable": True}}))
    module_dir = base / "module"
    module_dir.mkdir()
    os.symlink(trovik_module.__file__, module_dir / os.path.basename(trovik_module.__file__))
    return {"python": str(venv / "bin" / "python"), "module": str(module_dir),
            "source": str(source), "base": base}


def record(environment, tmp_path, smi=None, variables=()):
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    if smi is not None:
        write(str(bin_dir / "nvidia-smi"), "#!/bin/sh\n" + FAKE_SMI[smi] + "\n")
        os.chmod(bin_dir / "nvidia-smi", 0o755)
    # A chosen environment, not the inherited one: only these variables exist (and the sanitizer
    # runtimes when the suite runs under them).
    env = {"PATH": f"{bin_dir}:{os.environ['PATH']}", "PYTHONPATH": environment["module"],
           "TROVIK_DIR": str(tmp_path / "root"), **dict(variables)}
    env.update({name: os.environ[name] for name in SANITIZER_VARIABLES if name in os.environ})
    result = subprocess.run([environment["python"], "-c", CHILD], env=env, cwd=tmp_path,
                            capture_output=True, timeout=120)
    assert result.returncode == 0, result.stderr.decode()
    expected = json.loads(result.stdout)
    records = read_records(os.path.join(tmp_path, expected["path"]))
    assert [r["kind"] for r in records] == ["run_start", "environment"]
    assert "note" not in records[1]
    return records[1]["value"], expected


def test_what_the_interpreter_and_importlib_say(environment, tmp_path):
    value, expected = record(environment, tmp_path, smi="answers")
    assert list(value) == ["editable_packages", "gpus", "packages", "platform", "python",
                           "variables"]
    assert value["packages"] == {"Beta_Pkg": "2.0rc1", "alpha": "1.0", "gamma": "0.3",
                                 "mine": "0.1"} == expected["packages"]
    assert value["editable_packages"] == {"mine": environment["source"]}
    assert value["python"] == expected["python"]
    if expected["platform"]["distribution"] == "unknown":
        del value["platform"]["distribution"], expected["platform"]["distribution"]
    assert value["platform"] == expected["platform"]
    assert value["gpus"] == GPUS["answers"]
    assert value["variables"] == {}


@pytest.mark.parametrize("smi", ["missing", "fails", "hangs"])
def test_gpus_are_an_empty_list_without_an_answer(environment, tmp_path, smi):
    if smi == "missing" and shutil.which("nvidia-smi"):
        pytest.skip("this machine has an nvidia-smi of its own")
    started = time.monotonic()
    value, expected = record(environment, tmp_path, smi=None if smi == "missing" else smi)
    assert value["gpus"] == []
    # The query's own limit is a few seconds; the stand-in would hang for a minute.
    assert expected["seconds"] < 30 and time.monotonic() - started < 50


def test_only_the_listed_variables_are_recorded(environment, tmp_path):
    variables = {"CUDA_VISIBLE_DEVICES": "1,3", "OMP_NUM_THREADS": "4", "SLURM_JOB_ID": "4242",
                 "PYTHONHASHSEED": "0", "WANDB_API_KEY": "secret", "AWS_SECRET_ACCESS_KEY": "x",
                 "HOME": "/home/someone"}
    value, _ = record(environment, tmp_path, variables=variables)
    assert value["variables"] == {"CUDA_VISIBLE_DEVICES": "1,3", "OMP_NUM_THREADS": "4",
                                  "PYTHONHASHSEED": "0", "SLURM_JOB_ID": "4242"}
