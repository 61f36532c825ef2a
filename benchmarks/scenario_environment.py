"""record_environment() with 300 installed distributions, against the 150 ms promised for it and
beside importlib.metadata listing the same distributions.

The distributions are fakes laid out as pip leaves them (METADATA with a long description, RECORD,
WHEEL, INSTALLER, top_level.txt, the package's own directory; one in thirty installed editable). The
measurements run in an interpreter of their own started with -S, whose search path holds only the
standard library, a directory with nothing but the module, and the fake site-packages.
"""

from __future__ import annotations

import json
import os
import subprocess
import sys

import fixtures
import harness

PACKAGES = 300
TRIALS = 15
CALLS_PER_TRIAL = 3
BUDGET_S = 0.150
BENCHMARKS = os.path.dirname(os.path.abspath(__file__))

WORKER = r"""
import importlib.metadata, json, os, sys
import harness, trovik

def listing():
    return {d.metadata["Name"]: d.version for d in importlib.metadata.distributions()}

run = trovik.Experiment("environment bench")
run.record_environment()
listing()
samples = {}
for trial in range(%(trials)d):
    figures = harness.alternating({"record_environment()": run.record_environment,
                                   "importlib.metadata": listing}, %(calls)d, first=trial)
    for name, seconds in figures.items():
        samples.setdefault(name, []).append(seconds)
with open(run.path) as records:
    last = json.loads(records.readlines()[-1])["value"]
print(json.dumps({"samples": samples, "packages": len(last["packages"]),
                  "editable": len(last["editable_packages"]), "listed": len(listing())}))
"""

DESCRIPTION = "A package that does one thing well.\n\n" + "Usage and examples. " * 120


def write(path: str, text: str) -> None:
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def fake_site(site: str) -> None:
    for index in range(PACKAGES):
        name, version = f"package_{index:03d}", f"{index % 7}.{index % 13}.{index}"
        info = os.path.join(site, f"{name}-{version}.dist-info")
        write(os.path.join(info, "METADATA"),
              f"Metadata-Version: 2.1\nName: {name}\nVersion: {version}\nSummary: fake\n"
              f"Requires-Dist: numpy>=1.20\nRequires-Python: >=3.8\n\n{DESCRIPTION}")
        write(os.path.join(info, "RECORD"),
              "".join(f"{name}/module_{m}.py,sha256=x,100\n" for m in range(20)))
        write(os.path.join(info, "WHEEL"), "Wheel-Version: 1.0\nRoot-Is-Purelib: true\n")
        write(os.path.join(info, "INSTALLER"), "pip\n")
        write(os.path.join(info, "top_level.txt"), name + "\n")
        if index % 30 == 0:
            write(os.path.join(info, "direct_url.json"), json.dumps(
                {"url": f"file:///src/{name}", "dir_info": {"editable": True}}))
        write(os.path.join(site, name, "__init__.py"), "")


def run(trovik) -> harness.ScenarioResult:
    result = harness.ScenarioResult("environment", "record_environment() with 300 packages", "s")
    with fixtures.scratch("environment") as scratch:
        site = os.path.join(scratch, "site-packages")
        fake_site(site)
        module = os.path.join(scratch, "module")
        os.mkdir(module)
        os.symlink(trovik.__file__, os.path.join(module, os.path.basename(trovik.__file__)))
        env = dict(os.environ, PYTHONPATH=os.pathsep.join([module, site, BENCHMARKS]),
                   TROVIK_DIR=os.path.join(scratch, "root"))
        completed = subprocess.run(
            [sys.executable, "-S", "-c", WORKER % {"trials": TRIALS, "calls": CALLS_PER_TRIAL}],
            env=env, cwd=scratch, capture_output=True, text=True, check=True)
    figures = json.loads(completed.stdout)
    if not figures["packages"] == figures["listed"] == PACKAGES:
        raise RuntimeError(f"expected {PACKAGES} packages: {figures}")
    result.samples = figures["samples"]
    result.samples["budget 150 ms"] = [BUDGET_S] * TRIALS
    result.compare("record_environment()", "budget 150 ms", "<=", 1.0)
    result.compare("record_environment()", "importlib.metadata")
    result.notes.append(f"{figures['packages']} packages recorded, {figures['editable']} editable; "
                        f"{CALLS_PER_TRIAL} calls per trial, {TRIALS} trials; no nvidia-smi unless "
                        "the machine has one")
    return result
