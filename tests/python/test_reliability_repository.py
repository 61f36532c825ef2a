"""The user's repository across random dirty work trees: starting a run changes nothing the user
works with (index, HEAD, current branch, work tree, refs, the rest of .git), adds at most the one
snapshot branch, leaves no file in the temporary directory, and the snapshot holds exactly the
work tree's non-ignored content with the root directory as HEAD has it."""

import hashlib
import os
import random
import stat
import subprocess
from dataclasses import dataclass, field

import pytest

from test_reliability_support import git, isolated_git_environment, read_run_file, scaled

IDENTITY = ("GIT_AUTHOR_NAME", "GIT_AUTHOR_EMAIL", "GIT_COMMITTER_NAME", "GIT_COMMITTER_EMAIL")

# Files a base commit picks from: nested, non-ASCII, with spaces, executable.
FILE_POOL = [
    "README.md", "train.py", "src/model/layers.py", "src/data.py", "données/été.csv",
    "docs/日本語/メモ.md", "with space/a b.txt", "deep/a/b/c/d.txt", "config.yaml",
    "scripts/run.sh",
]
NEW_NAMES = ["nouveau/ñame.txt", "new.py", "src/extra/π.txt", "ünïcödé dir/ß.md", "z/y/x.bin"]


@dataclass
class State:
    top: str
    cwd: str
    root: str  # the TROVIK_DIR value, or None for the default
    has_commit: bool = True
    no_identity: bool = False
    run_branch: bool = False
    submodule: str = None
    tracked: list = field(default_factory=list)


def write(path, text, mode=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    if mode is not None:
        os.chmod(path, mode)


def random_text(rng):
    return "".join(rng.choice("abcdé\n ") for _ in range(rng.randint(0, 200)))


def make_submodule(rng, base, state, env):
    library = os.path.join(base, "library")
    os.makedirs(library)
    git(library, "init", "-q", "-b", "main", env=env)
    write(os.path.join(library, "lib.py"), random_text(rng))
    git(library, "add", "-A", env=env)
    git(library, "commit", "-q", "-m", "library", env=env)
    state.submodule = "libs/sub"
    git(state.top, "-c", "protocol.file.allow=always", "submodule", "add", "-q", library,
        state.submodule, env=env)
    if rng.random() < 0.5:
        git(state.top, "commit", "-q", "-m", "add submodule", env=env)
    if rng.random() < 0.5:
        # Changes inside a submodule do not make the superproject dirty.
        write(os.path.join(state.top, state.submodule, "lib.py"), "changed in the submodule\n")


def dirty_operations(rng, state, env):
    """Random edits of the work tree, some of them staged."""
    top = state.top

    def pick():
        existing = [p for p in state.tracked if os.path.isfile(os.path.join(top, p))
                    and not os.path.islink(os.path.join(top, p))]
        return rng.choice(existing) if existing else None

    operations = ["edit", "delete", "rename", "git mv", "chmod", "symlink", "file to symlink",
                  "untracked", "ignored", "empty dir", "stage", "file to dir"]
    for _ in range(rng.randint(0, 6)):
        operation = rng.choice(operations)
        path = pick()
        if path is None:
            operation = "untracked"
        full = os.path.join(top, path) if path else None
        if operation == "edit":
            with open(full, "a", encoding="utf-8") as f:
                f.write(random_text(rng) + "edited\n")
        elif operation == "delete":
            os.unlink(full)
        elif operation == "rename":
            target = os.path.join(top, rng.choice(NEW_NAMES))
            if not os.path.lexists(target):
                os.makedirs(os.path.dirname(target), exist_ok=True)
                os.rename(full, target)
        elif operation == "git mv" and state.has_commit:
            target = rng.choice(NEW_NAMES)
            if not os.path.lexists(os.path.join(top, target)):
                os.makedirs(os.path.dirname(os.path.join(top, target)), exist_ok=True)
                git(top, "mv", path, target, env=env)
                state.tracked.append(target)
        elif operation == "chmod":
            os.chmod(full, os.stat(full).st_mode ^ 0o111)
        elif operation == "symlink":
            link = os.path.join(top, "links", f"to-{rng.randint(0, 999)}")
            os.makedirs(os.path.dirname(link), exist_ok=True)
            if not os.path.lexists(link):
                os.symlink(rng.choice([os.path.relpath(full, os.path.dirname(link)), "nowhere"]),
                           link)
        elif operation == "file to symlink":
            os.unlink(full)
            os.symlink("README.md", full)
        elif operation == "untracked":
            write(os.path.join(top, rng.choice(NEW_NAMES)), random_text(rng))
        elif operation == "ignored":
            write(os.path.join(top, "debug.log"), random_text(rng))
            write(os.path.join(top, "build", "out.bin"), random_text(rng))
        elif operation == "empty dir":
            os.makedirs(os.path.join(top, "empty", "dir"), exist_ok=True)
        elif operation == "stage":
            with open(full, "a", encoding="utf-8") as f:
                f.write("staged\n")
            git(top, "add", "--", path, env=env)
            if rng.random() < 0.5:
                with open(full, "a", encoding="utf-8") as f:
                    f.write("and edited again\n")
        elif operation == "file to dir":
            os.unlink(full)
            write(os.path.join(full, "inner.txt"), random_text(rng))


def build_state(rng, base, env):
    top = os.path.join(base, "repo")
    os.makedirs(top)
    state = State(top=top, cwd=top, root=None)
    git(top, "init", "-q", "-b", "main", env=env)
    ignored = "*.log\nbuild/\n" + (".trovik/\n" if rng.random() < 0.25 else "")
    write(os.path.join(top, ".gitignore"), ignored)
    state.tracked = rng.sample(FILE_POOL, rng.randint(3, len(FILE_POOL)))
    for path in state.tracked:
        write(os.path.join(top, path), random_text(rng), 0o755 if path.endswith(".sh") else None)
    if rng.random() < 0.3:
        os.symlink(state.tracked[0], os.path.join(top, "link"))
        state.tracked.append("link")

    state.has_commit = rng.random() > 0.1
    if state.has_commit:
        git(top, "add", "-A", env=env)
        git(top, "commit", "-q", "-m", "base", env=env)
        if rng.random() < 0.4:
            make_submodule(rng, base, state, env)
        if rng.random() < 0.5:
            git(top, "tag", "-a", "-m", "first", "v1", env=env)
            git(top, "branch", "feature", env=env)
        if rng.random() < 0.1:
            # A branch named "run" leaves no room for the snapshot's "run/<id>".
            git(top, "branch", "run", env=env)
            state.run_branch = True
        if rng.random() < 0.15:
            git(top, "checkout", "-q", "--detach", env=env)
        state.no_identity = rng.random() < 0.1
    elif rng.random() < 0.5:
        git(top, "add", "--", state.tracked[0], env=env)

    dirty_operations(rng, state, env)

    if rng.random() < 0.3 and os.path.isdir(os.path.join(top, "src")):
        state.cwd = os.path.join(top, "src")
    state.root = rng.choice([None, None, "inside", "outside", ""])
    if state.root == "inside":
        state.root = os.path.join(top, "out dir", "trovik")
    elif state.root == "outside":
        state.root = os.path.join(base, "outside-root")
    if rng.random() < 0.4:
        # Run files of earlier runs: untracked files in the root directory.
        write(os.path.join(root_directory(state), "runs", "earlier.jsonl"), "{}\n")
    return state


def root_directory(state):
    return os.path.normpath(os.path.join(state.cwd, ".trovik" if state.root is None else state.root))


def settle(state, env):
    """Moves every work tree time stamp into the past and refreshes the indexes, so no entry is
    racily clean and git has no reason of its own to rewrite an index later."""
    past = os.stat(state.top).st_mtime - 3600
    for directory, subdirectories, files in os.walk(state.top):
        if directory == state.top:
            subdirectories.remove(".git")
        for name in files + subdirectories:
            os.utime(os.path.join(directory, name), (past, past), follow_symlinks=False)
    for repository in [state.top] + ([os.path.join(state.top, state.submodule)]
                                     if state.submodule else []):
        subprocess.run(["git", "update-index", "-q", "--refresh"], cwd=repository, env=env,
                       capture_output=True, check=False)
        git(repository, "status", "--porcelain", env=env)


def digest(data):
    return hashlib.sha256(data).hexdigest()


def files_below(directory, skip=()):
    """Every entry below `directory`: kind, permission bits and content (or link target)."""
    entries = {}
    for current, subdirectories, files in os.walk(directory):
        subdirectories[:] = [d for d in subdirectories
                             if os.path.join(current, d) not in skip]
        for name in files + subdirectories:
            path = os.path.join(current, name)
            if path in skip:
                continue
            info = os.lstat(path)
            relative = os.path.relpath(path, directory)
            if stat.S_ISLNK(info.st_mode):
                entries[relative] = ("link", os.readlink(path))
            elif stat.S_ISDIR(info.st_mode):
                entries[relative] = ("dir", stat.S_IMODE(info.st_mode))
            else:
                with open(path, "rb") as f:
                    entries[relative] = ("file", stat.S_IMODE(info.st_mode), digest(f.read()))
    return entries


def optional_git(repository, *arguments):
    result = subprocess.run(["git", *arguments], cwd=repository, capture_output=True)
    return result.stdout.decode().rstrip() if result.returncode == 0 else None


def observe(state):
    """Everything of the user's repository that a run must leave as it was."""
    top = state.top
    runs = os.path.join(root_directory(state), "runs")
    return {
        "index": git(top, "ls-files", "-s", "--debug", binary=True),
        "HEAD": optional_git(top, "rev-parse", "--verify", "-q", "HEAD"),
        "branch": optional_git(top, "symbolic-ref", "-q", "HEAD"),
        "refs": dict(line.split(" ", 1) for line in git(
            top, "for-each-ref", "--format=%(refname) %(objectname)").splitlines()),
        "work tree": files_below(top, skip={os.path.join(top, ".git"), runs}),
        "git directory": files_below(os.path.join(top, ".git"),
                                     skip={os.path.join(top, ".git", "objects")}),
        "objects": files_below(os.path.join(top, ".git", "objects")),
    }


def blob_id(data):
    return hashlib.sha1(b"blob %d\0" % len(data) + data).hexdigest()


def tree_entries(top, revision):
    entries = {}
    listing = git(top, "ls-tree", "-r", "-z", "--full-tree", revision, binary=True)
    for item in listing.split(b"\0")[:-1]:
        meta, path = item.split(b"\t", 1)
        mode, _, object_id = meta.split()
        entries[path.decode()] = (mode.decode(), object_id.decode())
    return entries


def work_tree_entry(top, path):
    full = os.path.join(top, path)
    try:
        info = os.lstat(full)
    except (FileNotFoundError, NotADirectoryError):
        return None
    if stat.S_ISLNK(info.st_mode):
        return ("120000", blob_id(os.readlink(os.fsencode(full))))
    if stat.S_ISDIR(info.st_mode):
        if os.path.exists(os.path.join(full, ".git")):
            return ("160000", git(full, "rev-parse", "HEAD"))
        return None
    with open(full, "rb") as f:
        data = f.read()
    return ("100755" if info.st_mode & stat.S_IXUSR else "100644", blob_id(data))


def expected_snapshot(state):
    """The tree a snapshot must hold: every non-ignored path of the work tree as it is now, and
    below the root directory what HEAD has."""
    top = state.top
    head = tree_entries(top, "HEAD")
    listed = git(top, "ls-files", "-z", "--cached", "--others", "--exclude-standard", binary=True)
    candidates = set(head) | {path.decode() for path in listed.split(b"\0")[:-1]}
    expected = {}
    for path in candidates:
        entry = work_tree_entry(top, path)
        if entry is not None:
            expected[path] = entry
    root = os.path.relpath(root_directory(state), top)
    if not root.startswith(".."):
        def below(path):
            return path == root or path.startswith(root + "/")

        expected = {p: e for p, e in expected.items() if not below(p)}
        expected.update({p: e for p, e in head.items() if below(p)})
    return expected, head


def check_unchanged(state, before, after, run_id):
    for key in ("index", "HEAD", "branch"):
        assert after[key] == before[key], f"{key} changed"
    # Creating the runs directory may create its missing ancestors; nothing else in the work tree
    # may appear, change or go.
    work_tree = dict(after["work tree"])
    ancestor = os.path.dirname(os.path.join(root_directory(state), "runs"))
    while ancestor.startswith(state.top + os.sep):
        relative = os.path.relpath(ancestor, state.top)
        if relative not in before["work tree"] and work_tree.get(relative, ("",))[0] == "dir":
            del work_tree[relative]
        ancestor = os.path.dirname(ancestor)
    # A root directory the run created ignores itself.
    root = os.path.relpath(root_directory(state), state.top)
    if root not in before["work tree"] and not root.startswith(".."):
        work_tree.pop(os.path.join(root, ".gitignore"), None)
    assert work_tree == before["work tree"], "work tree changed"
    new_refs = {ref: commit for ref, commit in after["refs"].items() if ref not in before["refs"]}
    assert {ref: after["refs"][ref] for ref in before["refs"]} == before["refs"]
    assert set(new_refs) <= {f"refs/heads/run/{run_id}"}
    # In .git only the new branch and its reflog may appear; objects may only be added.
    snapshot_files = {os.path.join("refs", "heads", "run", run_id),
                      os.path.join("logs", "refs", "heads", "run", run_id),
                      os.path.join("refs", "heads", "run"),
                      os.path.join("logs", "refs", "heads", "run")}
    changed = {path for path in set(before["git directory"]) | set(after["git directory"])
               if before["git directory"].get(path) != after["git directory"].get(path)}
    assert changed <= snapshot_files, sorted(changed - snapshot_files)
    for path, entry in before["objects"].items():
        assert after["objects"].get(path) == entry, f"object {path} changed"
    return new_refs


@pytest.mark.parametrize("seed", range(scaled(12, 100)))
def test_stress_user_repository_untouched(trovik, tmp_path, monkeypatch, seed):
    rng = random.Random(seed)
    environment = isolated_git_environment(str(tmp_path))
    for key in ("GIT_DIR", "GIT_WORK_TREE", "GIT_INDEX_FILE", "EMAIL", "HOSTNAME"):
        monkeypatch.delenv(key, raising=False)
    for key, value in environment.items():
        monkeypatch.setenv(key, value)
    env = dict(os.environ)
    state = build_state(rng, str(tmp_path), env)

    temporary = tmp_path / "tmp dir é"
    temporary.mkdir()
    monkeypatch.setenv("TMPDIR", str(temporary))
    if state.root is None:
        monkeypatch.delenv("TROVIK_DIR", raising=False)
    else:
        monkeypatch.setenv("TROVIK_DIR", state.root)
    if state.no_identity:
        git(state.top, "config", "user.useConfigOnly", "true", env=env)
        for key in IDENTITY:
            monkeypatch.delenv(key)
    monkeypatch.chdir(state.cwd)
    settle(state, env)

    top = state.top
    dirty = git(top, "status", "--porcelain", "--ignore-submodules") != ""
    head = optional_git(top, "rev-parse", "HEAD")
    branch = optional_git(top, "rev-parse", "--abbrev-ref", "HEAD") if head else None
    if head:
        snapshot, head_tree = expected_snapshot(state)
    root_relative = os.path.relpath(root_directory(state), top)
    empty_pathspec = state.root == "" or root_relative == "."
    makes_snapshot = (dirty and head is not None and snapshot != head_tree
                      and not empty_pathspec and not state.no_identity and not state.run_branch)

    before = observe(state)
    run = trovik.Experiment("repository")
    after = observe(state)

    new_refs = check_unchanged(state, before, after, run.run_id)
    assert list(temporary.iterdir()) == [], "the temporary index was left behind"
    (record,) = read_run_file(run.path)
    recorded = record["value"]["git"]
    if not makes_snapshot:
        assert new_refs == {}
        assert recorded == {"branch": branch or "", "commit": head or "", "dirty": dirty}
        return
    ref = f"refs/heads/run/{run.run_id}"
    assert set(new_refs) == {ref}
    assert recorded == {"branch": f"run/{run.run_id}", "commit": new_refs[ref], "dirty": True}
    assert git(top, "rev-list", "--parents", "-n", "1", ref).split() == [new_refs[ref], head]
    assert git(top, "log", "-1", "--format=%B", ref) == f"trovik: snapshot run {run.run_id}"
    assert tree_entries(top, ref) == snapshot


@pytest.mark.parametrize("working_directory", ["top level", "subdirectory"])
@pytest.mark.parametrize("temporary", ["inside", "outside"])
def test_relative_temporary_directory(trovik, tmp_path, monkeypatch, working_directory,
                                      temporary):
    """TMPDIR may be relative to the working directory, which need not be the top level."""
    environment = isolated_git_environment(str(tmp_path))
    for key, value in environment.items():
        monkeypatch.setenv(key, value)
    top = str(tmp_path / "repo")
    os.makedirs(os.path.join(top, "src"))
    git(top, "init", "-q", "-b", "main")
    write(os.path.join(top, ".gitignore"), "tmp/\n")
    write(os.path.join(top, "src", "model.py"), "print(1)\n")
    git(top, "add", "-A")
    git(top, "commit", "-q", "-m", "base")
    write(os.path.join(top, "src", "model.py"), "print(2)\n")
    # Temporary directories both where the working directory and where the top level would
    # resolve a relative name.
    for directory in ("tmp", "src/tmp"):
        os.makedirs(os.path.join(top, directory))
    outside = tmp_path / "outside"
    outside.mkdir()
    cwd = top if working_directory == "top level" else os.path.join(top, "src")
    target = os.path.join(cwd, "tmp") if temporary == "inside" else str(outside)
    monkeypatch.setenv("TMPDIR", os.path.relpath(target, cwd))
    monkeypatch.setenv("TROVIK_DIR", str(tmp_path / "root"))
    monkeypatch.chdir(cwd)
    status = git(top, "status", "--porcelain", "--ignored")

    run = trovik.Experiment("relative tmp")

    (record,) = read_run_file(run.path)
    assert record["value"]["git"]["branch"] == f"run/{run.run_id}", "no snapshot was made"
    left = [os.path.join(d, name) for d, _, names in os.walk(tmp_path) for name in names
            if name.startswith("trovik-")]
    assert left == [], "the temporary index was left behind"
    assert git(top, "status", "--porcelain", "--ignored") == status


@pytest.mark.parametrize("dirty", [False, True], ids=["clean", "dirty"])
def test_stale_index_is_not_rewritten(trovik, tmp_path, monkeypatch, dirty):
    """A file touched since the index was written leaves stale stat data in the index. Starting
    a run must neither refresh that data nor take the index lock: the user's own git commands
    may be running at the same moment."""
    environment = isolated_git_environment(str(tmp_path))
    for key, value in environment.items():
        monkeypatch.setenv(key, value)
    top = str(tmp_path / "repo")
    os.makedirs(top)
    git(top, "init", "-q", "-b", "main")
    for name in ("model.py", "data.py"):
        write(os.path.join(top, name), f"# {name}\n")
    git(top, "add", "-A")
    git(top, "commit", "-q", "-m", "base")
    if dirty:
        write(os.path.join(top, "data.py"), "changed\n")
    index = os.path.join(top, ".git", "index")
    stale = os.stat(index).st_mtime - 3600
    os.utime(os.path.join(top, "model.py"), (stale, stale))
    monkeypatch.setenv("TROVIK_DIR", str(tmp_path / "root"))
    monkeypatch.setenv("TMPDIR", str(tmp_path))
    monkeypatch.chdir(top)
    with open(index, "rb") as f:
        before = f.read()

    run = trovik.Experiment("stale index")

    with open(index, "rb") as f:
        assert f.read() == before, "the user's index was rewritten"
    (record,) = read_run_file(run.path)
    assert record["value"]["git"]["dirty"] is dirty
