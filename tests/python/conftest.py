"""Shared fixtures: every test runs in its own empty directory outside any git repository, with
TROVIK_DIR pointing into it, so nothing leaks between tests or into the checkout."""

import json
import os
import subprocess
import sys

import pytest

import trovik as _trovik


@pytest.fixture(autouse=True)
def private_cache(tmp_path_factory, monkeypatch):
    """The command's summary cache in a directory of the test's own, never in the user's
    ~/.cache; a test that sets XDG_CACHE_HOME itself overrides it."""
    path = tmp_path_factory.mktemp("cache")
    monkeypatch.setenv("XDG_CACHE_HOME", str(path))
    return path


@pytest.fixture
def trovik():
    return _trovik


@pytest.fixture
def workdir(tmp_path, monkeypatch):
    """An empty working directory, with TROVIK_DIR unset."""
    path = tmp_path / "work"
    path.mkdir()
    monkeypatch.chdir(path)
    monkeypatch.delenv("TROVIK_DIR", raising=False)
    return path


@pytest.fixture
def root(workdir, monkeypatch):
    """An absolute TROVIK_DIR inside the working directory."""
    path = workdir / "trovik-root"
    monkeypatch.setenv("TROVIK_DIR", str(path))
    return path


def read_lines(path):
    with open(path, "rb") as f:
        return f.read().split(b"\n")


def read_records(path):
    """The records of a run file; the file must end in a line feed."""
    lines = read_lines(path)
    assert lines[-1] == b"", "run file does not end in a line feed"
    return [json.loads(line) for line in lines[:-1]]


def run_python(code, env=None, cwd=None, executable=None, check=True):
    """Runs code in a fresh interpreter that imports the same trovik as the tests."""
    full_env = dict(os.environ)
    module_dir = os.path.dirname(_trovik.__file__)
    full_env["PYTHONPATH"] = module_dir + os.pathsep + full_env.get("PYTHONPATH", "")
    if env:
        for key, value in env.items():
            if value is None:
                full_env.pop(key, None)
            else:
                full_env[key] = value
    result = subprocess.run(
        [executable or sys.executable, "-c", code],
        env=full_env,
        cwd=cwd,
        capture_output=True,
    )
    if check and result.returncode != 0:
        raise AssertionError(
            f"child failed ({result.returncode}):\n{result.stdout.decode(errors='replace')}"
            f"\n{result.stderr.decode(errors='replace')}"
        )
    return result


@pytest.fixture(scope="module")
def browser():
    """Headless Chromium with the network cut off (report_browser.py), one per test module."""
    import report_browser

    assert report_browser.browser_available(), (
        "chromium and chromedriver are missing: `make system-deps` installs them")
    driver = report_browser.start_browser()
    yield driver
    driver.quit()
