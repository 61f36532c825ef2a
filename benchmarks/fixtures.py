"""Scratch directories, environment scopes and git repositories for the scenarios."""

from __future__ import annotations

import contextlib
import json
import os
import shutil
import subprocess
import tempfile
from typing import Dict, Iterator, Optional

# A fixed identity, so commits work on a machine without a configured one; passed through the
# environment so that the module's git children and the compared commands see the same.
GIT_IDENTITY = {
    "GIT_AUTHOR_NAME": "bench",
    "GIT_AUTHOR_EMAIL": "bench@example.invalid",
    "GIT_COMMITTER_NAME": "bench",
    "GIT_COMMITTER_EMAIL": "bench@example.invalid",
}

# The probe's four queries, in the order the module runs them.
PROBE_COMMANDS = (
    ("rev-parse", "--is-inside-work-tree"),
    ("rev-parse", "HEAD"),
    ("rev-parse", "--abbrev-ref", "HEAD"),
    ("status", "--porcelain", "--ignore-submodules"),
)


@contextlib.contextmanager
def scratch(prefix: str) -> Iterator[str]:
    path = tempfile.mkdtemp(prefix=f"trovik-bench-{prefix}-")
    try:
        yield path
    finally:
        shutil.rmtree(path, ignore_errors=True)


@contextlib.contextmanager
def environment(cwd: Optional[str] = None, **changes: Optional[str]) -> Iterator[None]:
    """Sets (or, for None, removes) environment variables and the working directory for a scope."""
    saved_env = {name: os.environ.get(name) for name in changes}
    saved_cwd = os.getcwd()
    try:
        for name, value in changes.items():
            if value is None:
                os.environ.pop(name, None)
            else:
                os.environ[name] = value
        if cwd is not None:
            os.chdir(cwd)
        yield
    finally:
        os.chdir(saved_cwd)
        for name, value in saved_env.items():
            if value is None:
                os.environ.pop(name, None)
            else:
                os.environ[name] = value


def git(repo: str, *args: str, env: Optional[Dict[str, str]] = None) -> str:
    full_env = dict(os.environ, **GIT_IDENTITY, **(env or {}))
    done = subprocess.run(("git", *args), cwd=repo, env=full_env, check=True,
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return done.stdout.decode().strip()


def write_files(root: str, files: Dict[str, str]) -> None:
    for relative, text in files.items():
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as handle:
            handle.write(text)


def init_repository(path: str, files: Dict[str, str]) -> None:
    """A repository on branch main with `files` in its one commit, its objects in one pack."""
    os.makedirs(path, exist_ok=True)
    git(path, "init", "-q", "--initial-branch=main")
    write_files(path, files)
    git(path, "add", "--all")
    git(path, "commit", "-q", "-m", "initial")
    git(path, "repack", "-q", "-a", "-d")


def read_records(path: str) -> list:
    with open(path) as handle:
        return [json.loads(line) for line in handle]
