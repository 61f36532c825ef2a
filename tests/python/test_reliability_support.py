"""Helpers shared by the reliability tests (this module holds no tests of its own).

The reliability tests run twice over: small sizes in the ordinary suite, and large ones when
TROVIK_STRESS is set (`make stress`, which selects them by the word "stress" in their names)."""

import errno
import json
import os
import subprocess

STRESS = os.environ.get("TROVIK_STRESS", "") not in ("", "0")


def scaled(short, long):
    """The short size in the ordinary suite, the long one under `make stress`."""
    return long if STRESS else short


def os_error_text(number):
    """The text trovik reports for an operating-system error number."""
    return f"{os.strerror(number)} (os error {number})"


ERROR_TEXT = {name: os_error_text(getattr(errno, name)) for name in (
    "ENOENT", "ENOTDIR", "EISDIR", "ENOSPC", "EFBIG", "EMFILE")}


def assert_plain_error(error, kind, message):
    """trovik's own errors are plain built-in classes with the text as their only argument."""
    assert type(error) is kind, f"{type(error).__name__}: {error}"
    assert error.args == (message,)
    if kind is OSError:
        assert error.errno is None and error.strerror is None


def open_descriptors():
    return len(os.listdir("/proc/self/fd"))


def rss_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def padding(tag, size):
    """`size` characters whose content depends on `tag`, with a line feed and a non-ASCII
    character among them, so a torn, interleaved or misplaced record cannot pass for another."""
    unit = f"{tag}\n\u00e9;"
    return (unit * (size // len(unit) + 1))[:size]


def read_run_file(path):
    """Reads a run file that ends in a line feed: the run_start record and the track records."""
    with open(path, "rb") as f:
        data = f.read()
    assert data.endswith(b"\n"), "run file does not end in a line feed"
    records = [json.loads(line) for line in data[:-1].split(b"\n")]
    assert records[0]["kind"] == "run_start"
    assert all(record["kind"] == "track" for record in records[1:])
    return records


def isolated_git_environment(directory):
    """Variables that keep git away from the machine's and the user's configuration and give it a
    fixed identity, so commits succeed and are reproducible."""
    config = os.path.join(directory, "empty-gitconfig")
    open(config, "w").close()
    return {
        "GIT_CONFIG_GLOBAL": config,
        "GIT_CONFIG_NOSYSTEM": "1",
        "GIT_AUTHOR_NAME": "Reliability Test",
        "GIT_AUTHOR_EMAIL": "reliability@example.invalid",
        "GIT_AUTHOR_DATE": "2024-03-05T07:08:09+00:00",
        "GIT_COMMITTER_NAME": "Reliability Test",
        "GIT_COMMITTER_EMAIL": "reliability@example.invalid",
        "GIT_COMMITTER_DATE": "2024-03-05T07:08:09+00:00",
        "GIT_TERMINAL_PROMPT": "0",
    }


def git(repository, *arguments, env=None, binary=False):
    """Runs git in `repository` and returns its standard output (trailing white space removed)."""
    result = subprocess.run(
        ["git", *arguments], cwd=repository, env=env, capture_output=True, check=False)
    if result.returncode != 0:
        raise AssertionError(f"git {' '.join(arguments)} failed: {result.stderr.decode()}")
    return result.stdout if binary else result.stdout.decode().rstrip()


def make_repository(path, files, env=None):
    """A repository with one commit holding `files` (relative path -> text) on branch main."""
    os.makedirs(path, exist_ok=True)
    git(path, "init", "-q", "-b", "main", env=env)
    for name, text in files.items():
        full = os.path.join(path, name)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w") as f:
            f.write(text)
    git(path, "add", "-A", env=env)
    git(path, "commit", "-q", "-m", "initial", env=env)
    return path
