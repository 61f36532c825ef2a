"""The snapshot built from a copy of the user's index, and from what git status listed, against the
one built from HEAD alone, over random index states: the same tree in every state, the seeded path
actually taken (and the listing of status trusted wherever it sees every change), and the user's
.git left as it was apart from new objects and the run's own ref."""

import hashlib
import os
import random
import shutil
import subprocess

import pytest

import trovik
from conftest import read_records
from git_fixtures import REAL_GIT, Repository, git, git_environment, git_log  # noqa: F401

STATES = 200
FILES = ["a.txt", "b.txt", "src/c.py", "src/d.py", "docs/e.md", "crlf.txt"]
# Names git quotes, or that a reader of its output could split wrongly; \udce9 is the byte 0xe9.
ODD = ["-top dash", "odd/-dash", "odd/a -> b", 'odd/q"uo\\te', "odd/tab\there", "odd/new\nline",
       "odd/nbsp\u00a0", "odd/lat\udce9n"]
NEW = ["new.txt", "src/new.py", "docs/n e w.md", "odd/new -> file", "odd/fresh\n"]
# The default root directory, and its files: committed, edited, staged, earlier run files.
ROOT = ".trovik"
ROOT_FILES = [f"{ROOT}/kept.txt", f"{ROOT}/runs/earlier.jsonl", f"{ROOT}/staged.txt"]

# A file-system monitor that claims nothing ever changes: git must not believe it.
LYING_MONITOR = "#!/bin/sh\nprintf 'token\\0'\n"


def edit(repo, rng, path, same_size=False):
    """Changes a file's content; with same_size, keeps its size and puts its old times back, so
    only the change time and the content tell."""
    full = repo.path / path
    info = os.stat(full)
    data = full.read_bytes()
    if same_size and data:
        data = bytes([data[0] ^ 1]) + data[1:]
    else:
        data += f"edit {rng.random()}\n".encode()
    full.write_bytes(data)
    if same_size:
        os.utime(full, ns=(info.st_atime_ns, info.st_mtime_ns))


def unmerge(repo, path):
    """Replaces the stage-0 entry of `path` with three conflicting stages."""
    ours = repo.git("rev-parse", f"HEAD:{path}")
    theirs = subprocess.run([REAL_GIT, "hash-object", "-w", "--stdin"], cwd=repo.path, check=True,
                            input=b"theirs\n", capture_output=True).stdout.decode().strip()
    # NUL-terminated: a path may hold a line feed.
    lines = (f"0 {'0' * 40}\t{path}\0100644 {ours} 1\t{path}\0100644 {ours} 2\t{path}\0"
             f"100644 {theirs} 3\t{path}\0")
    subprocess.run([REAL_GIT, "update-index", "-z", "--index-info"], cwd=repo.path, check=True,
                   input=lines.encode(errors="surrogateescape"))


def nested_repository(repo, path):
    """A repository of its own inside the work tree, with one commit."""
    nested = repo.path / path
    nested.mkdir(parents=True)
    git("init", "-q", "-b", "main", cwd=nested)
    (nested / "lib.py").write_text("lib\n")
    git("add", "-A", cwd=nested)
    git("commit", "-q", "-m", "lib", cwd=nested)


def random_state(rng, repo, tmp_path, tracked):
    """Index features, settings and work-tree changes of the kinds that change what an index copy
    holds or what git status lists; returns whether the index is sparse, and whether the checkout
    is. Half the states have nothing that hides a change from status, so that its listing is used
    in them."""
    sparse_index = sparse = False
    hiding = rng.random() < 0.5

    def chance(probability, hides=True):
        return rng.random() < (probability if hiding or not hides else 0)

    if rng.random() < 0.2:
        repo.git("config", "core.autocrlf", "true")
    for key, value, probability in [
            ("core.quotePath", "false", 0.2), ("status.renames", "false", 0.1),
            ("status.showUntrackedFiles", rng.choice(["no", "all"]), 0.15),
            ("core.ignoreCase", "true", 0.05)]:
        if chance(probability, hides=key == "core.ignoreCase" or value == "no"):
            repo.git("config", key, value)
    if rng.random() < 0.15:
        repo.git("update-index", "--index-version", "4")
    split = rng.random() < 0.15
    if split:
        repo.git("config", "core.splitIndex", "true")
        repo.git("update-index", "--split-index")
    if rng.random() < 0.15:
        repo.git("config", "core.untrackedCache", "true")
        repo.git("update-index", "--untracked-cache")
        repo.git("status", "--porcelain")
    if chance(0.1):
        # git refuses a split index that is also sparse.
        sparse = True
        sparse_index = not split and rng.random() < 0.5
        repo.git("sparse-checkout", "init", "--cone", *(["--sparse-index"] if sparse_index else []))
        repo.git("sparse-checkout", "set", "src")
        tracked = [p for p in tracked if p.startswith("src/") or "/" not in p]
    if chance(0.2):
        repo.git("config", "core.trustctime", "false")
    if chance(0.2):
        repo.git("config", "core.checkStat", "minimal")
    kinds = ["edit", "same-size", "stage", "stage-and-edit", "delete", "new", "intent-to-add",
             "racy", "rename", "remove", "remove-cached", "force-ignored", "root", "nested"]
    if hiding:
        kinds += ["assume-unchanged", "skip-worktree", "unmerged", "file-to-dir"]
    for _ in range(rng.randint(1, 5)):
        kind = rng.choice(kinds)
        path = rng.choice(tracked)
        if not (repo.path / path).is_file():
            continue
        if kind == "rename":
            target = rng.choice(NEW)
            if not (repo.path / target).exists():
                (repo.path / target).parent.mkdir(parents=True, exist_ok=True)
                repo.git("mv", "--", path, target, check=False)
        elif kind in ("remove", "remove-cached"):
            repo.git("rm", "-q", *(["--cached"] if kind == "remove-cached" else []), "--", path,
                     check=False)
        elif kind == "file-to-dir":
            (repo.path / path).unlink()
            repo.write(f"{path}/inner.txt", "inner\n")
        elif kind == "force-ignored":
            repo.write("forced.log", f"forced {rng.random()}\n")
            repo.git("add", "-f", "--", "forced.log")
        elif kind == "root":
            name = rng.choice(ROOT_FILES)
            repo.write(name, f"root {rng.random()}\n")
            if name.endswith("staged.txt"):
                repo.git("add", "-f", "--", name)
        elif kind == "nested":
            if (repo.path / "vendor/lib/.git").exists():
                # The submodule's own HEAD moves: status does not say so.
                git("commit", "-q", "--allow-empty", "-m", "moved", cwd=repo.path / "vendor/lib")
                if rng.random() < 0.3:
                    repo.git("rm", "-q", "--cached", "vendor/lib", check=False)
            elif not (repo.path / "nested").exists():
                nested_repository(repo, "nested")
                if rng.random() < 0.5:
                    repo.git("add", "nested", check=False)
        if kind == "edit":
            edit(repo, rng, path)
        elif kind == "same-size":
            edit(repo, rng, path, same_size=True)
        elif kind in ("stage", "stage-and-edit"):
            edit(repo, rng, path)
            # Refused for a skip-worktree entry, as it is for the user.
            repo.git("add", "--", path, check=False)
            if kind == "stage-and-edit":
                edit(repo, rng, path)
        elif kind == "delete":
            (repo.path / path).unlink()
        elif kind == "new":
            repo.write(rng.choice(NEW), f"new {rng.random()}\n")
        elif kind == "intent-to-add":
            name = rng.choice(NEW)
            repo.write(name, f"intent {rng.random()}\n")
            # Refused outside a sparse checkout's cone, as it is for the user.
            repo.git("add", "-N", "--", name, check=False)
        elif kind in ("assume-unchanged", "skip-worktree"):
            # Refused for an unmerged entry.
            repo.git("update-index", f"--{kind}", "--", path, check=False)
            edit(repo, rng, path, same_size=rng.random() < 0.5)
        elif kind == "unmerged":
            unmerge(repo, path)
        elif kind == "racy":
            # Index written in the same second as an edit that keeps the size.
            repo.git("update-index", "-q", "--refresh", check=False)
            edit(repo, rng, path, same_size=True)
    directories = [p.split("/")[0] for p in tracked if "/" in p and (repo.path / p).is_file()]
    if directories and rng.random() < 0.1:
        # The files below a directory that became a link are gone to git: it does not look past.
        name = rng.choice(directories)
        directory = repo.path / name
        shutil.rmtree(directory)
        # A root directory that leads nowhere cannot hold the run's file.
        directory.symlink_to("docs" if name == ROOT else rng.choice(["docs", "nowhere"]))
    if chance(0.15):
        monitor = tmp_path / "monitor.sh"
        monitor.write_text(LYING_MONITOR)
        monitor.chmod(0o755)
        repo.git("config", "core.fsmonitor", str(monitor))
        repo.git("config", "core.fsmonitorHookVersion", "2")
        repo.git("update-index", "--fsmonitor")
        edit(repo, rng, rng.choice([p for p in tracked if (repo.path / p).is_file()]
                                   or [".gitignore"]))
    return sparse_index, sparse


def status_sees_everything(repo):
    """No setting or index bit that hides a change or an untracked file from git status, and no
    tracked file that became a directory (status does not look inside)."""
    hiding = ("core.fsmonitor=", "core.trustctime=false", "core.checkstat=minimal",
              "core.ignorecase=true", "status.showuntrackedfiles=no")
    if any(line.startswith(hiding) for line in repo.git("config", "--list").splitlines()):
        return False
    listing = subprocess.run([REAL_GIT, "ls-files", "-s", "-v", "-z"], cwd=repo.path, check=True,
                             capture_output=True).stdout.split(b"\0")[:-1]
    return all(entry[:2] == b"H " and (entry[2:8] == b"160000" or not os.path.isdir(
        repo.path / os.fsdecode(entry.split(b"\t", 1)[1]))) for entry in listing)


def git_directory_files(top):
    """Every file under .git with a digest of its content (and the index with its mtime)."""
    files = {}
    git_directory = top / ".git"
    for directory, _, names in os.walk(git_directory):
        for name in names:
            path = os.path.join(directory, name)
            relative = os.path.relpath(path, git_directory)
            with open(path, "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest()
            # Any read of a split index (the user's own `git status` too) refreshes the time of
            # its shared part, so only the index's own time must stay.
            mtime = os.stat(path).st_mtime_ns if relative == "index" else None
            files[relative] = (digest, mtime)
    return files


def resolved_root(repo, root):
    """The root directory from the top level where it really lies, through links, as the run
    keeps it out: None for none or for one that leads out of the work tree."""
    if root is None:
        return None
    top = os.path.realpath(repo.path)
    real = os.path.realpath(repo.path / root)
    return os.path.relpath(real, top) if os.path.commonpath([top, real]) == top else None


def tree_from_head_alone(repo, root):
    """The tree of the sequence that starts from HEAD's tree in an empty index, or None where
    that sequence fails (as `add` does for untracked files outside a sparse checkout). The root
    directory is put back as HEAD has it where it really lies: its run files are reached through
    a link too, and the link itself is the user's."""
    root = resolved_root(repo, root)
    index = repo.path.parent / "reference.index"
    environment = dict(os.environ, GIT_INDEX_FILE=str(index))
    no_split = ["-c", "core.splitIndex=false", "-c", "core.fsmonitor=false"]
    steps = [["read-tree", "HEAD"], ["add", "--all"]]
    if root is not None:
        steps.append(["reset", "--quiet", "--", root])
    for step in steps:
        if subprocess.run([REAL_GIT, *no_split, *step], cwd=repo.path, env=environment,
                          capture_output=True).returncode != 0:
            index.unlink(missing_ok=True)
            return None
    tree = git(*no_split, "write-tree", cwd=repo.path, env=environment)
    index.unlink()
    return tree


@pytest.mark.parametrize("seed", range(STATES))
def test_seeded_snapshot_equals_the_one_from_head(tmp_path, git_environment, git_log,
                                                  monkeypatch, seed):
    rng = random.Random(seed)
    top = tmp_path / "repo"
    top.mkdir()
    git("init", "-q", "-b", "main", cwd=top)
    repo = Repository(top)
    tracked = FILES + rng.sample(ODD, rng.randint(0, 3))
    if rng.random() < 0.2:
        tracked.append(ROOT_FILES[0])
    for index, name in enumerate(tracked):
        repo.write(name, f"line {index}\r\n" if name == "crlf.txt" else f"line {index}\n")
    repo.write(".gitignore", "*.log\n")
    if rng.random() < 0.3:
        # Tracked although ignored: edits to it count.
        tracked.append("kept.log")
        repo.write("kept.log", "kept\n")
        repo.git("add", "-f", "--", "kept.log")
    if rng.random() < 0.15:
        nested_repository(repo, "vendor/lib")
    repo.commit_all("base")
    sparse_index, sparse = random_state(rng, repo, tmp_path, tracked)
    inside = rng.random() < 0.5
    if inside:
        monkeypatch.delenv("TROVIK_DIR", raising=False)
    else:
        monkeypatch.setenv("TROVIK_DIR", str(tmp_path / "runs-root"))
    monkeypatch.chdir(top)
    head = repo.head()
    status = git("status", "--porcelain", "--ignore-submodules", cwd=top,
                 env=dict(os.environ, GIT_OPTIONAL_LOCKS="0"))
    before = git_directory_files(top)

    run = trovik.Experiment("seeded")

    after = git_directory_files(top)
    value = read_records(run.path)[0]["value"]["git"]
    reference = tree_from_head_alone(repo, ROOT if inside else None)
    arguments = git_log.arguments()
    # git cannot unmark files in a sparse index one by one: the snapshot starts from HEAD alone.
    if status.strip() and not sparse_index:
        assert not any(a[-2:-1] == ["read-tree"] for a in arguments), arguments
        # The walk through the work tree (`add --all`) is left out wherever status saw it all.
        assert any("add" in a for a in arguments) != status_sees_everything(repo), arguments
    ref = f"refs/heads/run/{run.run_id}"
    if value["branch"] == f"run/{run.run_id}":
        # Where HEAD's sequence itself fails (a file edited outside a sparse checkout), only the
        # snapshot's own path can tell.
        assert reference is None and sparse or repo.tree_of(value["commit"]) == reference
        assert after.pop(ref)[0] == hashlib.sha256(f"{value['commit']}\n".encode()).hexdigest()
        after.pop(f"logs/{ref}")
    else:
        assert value == {"commit": head, "branch": "main", "dirty": bool(status.strip())}
        assert not status.strip() or reference in (None, repo.tree_of(head))
    assert {k: v for k, v in after.items() if not k.startswith("objects")} == {
        k: v for k, v in before.items() if not k.startswith("objects")}
    assert all(after.get(k) == v for k, v in before.items())
