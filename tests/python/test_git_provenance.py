"""The git value of the run_start record, and the snapshot commit a dirty work tree gets, against
real repositories."""

import os
import random
import shutil

import pytest

import trovik
from conftest import read_records
from git_fixtures import (  # noqa: F401  (fixtures are found by name)
    Repository,
    expected_tree,
    git,
    git_environment,
    git_log,
    repository,
)


def start_run():
    """Starts a run; returns it and the git value of its run_start record."""
    run = trovik.Experiment("provenance")
    records = read_records(run.path)
    assert records[0]["kind"] == "run_start"
    return run, records[0]["value"]["git"]


def earlier_run(root):
    (root / "runs").mkdir(parents=True, exist_ok=True)
    (root / "runs" / "earlier.jsonl").write_text('{"kind":"run_start"}\n')


def outside_root_directory(listing, top, root):
    """The work tree listing without the root directory, which every run writes to."""
    prefix = os.path.relpath(root, top)
    if prefix.startswith(".."):
        return listing
    if prefix == ".":
        return {k: v for k, v in listing.items() if not k.startswith("runs")}
    return {k: v for k, v in listing.items() if k != prefix and not k.startswith(prefix + os.sep)}


# --- situations -------------------------------------------------------------------------------
# Each prepares the repository (working directory at the top level) and returns nothing.


def modify(repo, tmp_path, monkeypatch):
    repo.write("train.py", "print('changed')\n")


def untracked_and_ignored(repo, tmp_path, monkeypatch):
    repo.write("notes/idea.txt", "idea\n")
    repo.write("debug.log", "noise\n")


def modify_with_earlier_runs(repo, tmp_path, monkeypatch):
    modify(repo, tmp_path, monkeypatch)
    earlier_run(repo.path / ".trovik")


def only_earlier_runs(repo, tmp_path, monkeypatch):
    earlier_run(repo.path / ".trovik")


def detached_and_modified(repo, tmp_path, monkeypatch):
    repo.git("checkout", "-q", "--detach")
    modify(repo, tmp_path, monkeypatch)


def detached_and_clean(repo, tmp_path, monkeypatch):
    repo.git("checkout", "-q", "--detach")


def no_commits_yet(repo, tmp_path, monkeypatch):
    shutil.rmtree(repo.path / ".git")
    repo.git("init", "-q", "-b", "main")


def modify_with_runs_inside(repo, tmp_path, monkeypatch):
    modify(repo, tmp_path, monkeypatch)
    earlier_run(repo.path / "out")


def runs_inside_only(repo, tmp_path, monkeypatch):
    earlier_run(repo.path / "out")


def modify_with_runs_outside(repo, tmp_path, monkeypatch):
    modify(repo, tmp_path, monkeypatch)
    earlier_run(tmp_path / "runs")


def branch_named_run(repo, tmp_path, monkeypatch):
    modify(repo, tmp_path, monkeypatch)
    repo.git("branch", "run")


def no_committer_identity(repo, tmp_path, monkeypatch):
    modify(repo, tmp_path, monkeypatch)
    repo.git("config", "user.useConfigOnly", "true")
    for name in ("GIT_AUTHOR_NAME", "GIT_AUTHOR_EMAIL", "GIT_COMMITTER_NAME",
                 "GIT_COMMITTER_EMAIL"):
        monkeypatch.delenv(name)


def change_only_in_submodule(repo, tmp_path, monkeypatch):
    library = tmp_path / "library"
    library.mkdir()
    git("init", "-q", "-b", "main", cwd=library)
    (library / "lib.py").write_text("v = 1\n")
    git("add", "-A", cwd=library)
    git("commit", "-q", "-m", "lib", cwd=library)
    repo.git("-c", "protocol.file.allow=always", "submodule", "add", "-q", str(library), "lib")
    repo.git("commit", "-q", "-m", "submodule")
    repo.write("lib/lib.py", "v = 2\n")
    repo.write("lib/new.py", "new\n")


def corrupted_index(repo, tmp_path, monkeypatch):
    modify(repo, tmp_path, monkeypatch)
    (repo.path / ".git" / "index").write_bytes(b"not an index")


def ignored_root(repo, tmp_path, monkeypatch):
    repo.write(".gitignore", "*.log\n.trovik/\n")
    repo.commit_all("ignore runs")
    earlier_run(repo.path / ".trovik")


def modify_with_runs_in_subfolder(repo, tmp_path, monkeypatch):
    modify(repo, tmp_path, monkeypatch)
    earlier_run(repo.path / "src" / "out")


SNAPSHOT, DIRTY, CLEAN = "snapshot", "dirty without snapshot", "clean"

# (id, prepare, TROVIK_DIR ({top}, {tmp} expanded; None: unset), working directory below the top
#  level, outcome, branch expected without a snapshot, paths in the snapshot, paths not in it)
SITUATIONS = [
    ("modified-tracked-file", modify, None, "", SNAPSHOT, "main", ["train.py"], []),
    ("untracked-in-ignored-out", untracked_and_ignored, None, "", SNAPSHOT, "main",
     ["notes/idea.txt"], ["debug.log"]),
    ("runs-directory-out", modify_with_earlier_runs, None, "", SNAPSHOT, "main", ["train.py"],
     [".trovik"]),
    ("only-runs-directory-untracked", only_earlier_runs, None, "", DIRTY, "main", [], []),
    ("detached-head-dirty", detached_and_modified, None, "", SNAPSHOT, "HEAD", ["train.py"], []),
    ("detached-head-clean", detached_and_clean, None, "", CLEAN, "HEAD", [], []),
    ("no-commits-yet", no_commits_yet, None, "", DIRTY, "", [], []),
    ("absolute-root-inside", modify_with_runs_inside, "{top}/out", "", SNAPSHOT, "main",
     ["train.py"], ["out"]),
    ("absolute-root-outside", modify_with_runs_outside, "{tmp}/runs", "", SNAPSHOT, "main",
     ["train.py", "src/model.py"], []),
    ("absolute-root-is-top-level", modify, "{top}", "", DIRTY, "main", [], []),
    ("empty-root", modify, "", "", DIRTY, "main", [], []),
    ("existing-branch-named-run", branch_named_run, None, "", DIRTY, "main", [], []),
    ("no-committer-identity", no_committer_identity, None, "", SNAPSHOT, "main", ["train.py"], []),
    ("change-only-in-submodule", change_only_in_submodule, None, "", CLEAN, "main", [], []),
    ("corrupted-index", corrupted_index, None, "", SNAPSHOT, "main", ["train.py"], []),
    ("ignored-root-directory", ignored_root, None, "", CLEAN, "main", [], []),
    ("subfolder-absolute-root-inside-nothing-else", runs_inside_only, "{top}/out", "src", DIRTY,
     "main", [], []),
    ("subfolder-absolute-root-inside", modify_with_runs_inside, "{top}/out", "src", SNAPSHOT,
     "main", ["train.py"], ["out"]),
    ("subfolder-relative-root", modify_with_runs_in_subfolder, "out", "src", SNAPSHOT, "main",
     ["train.py", "src/model.py"], ["src/out"]),
    ("relative-root-outside", modify_with_runs_outside, "../runs", "", SNAPSHOT, "main",
     ["train.py"], []),
]


@pytest.mark.parametrize(
    "prepare, trovik_dir, subfolder, outcome, branch, present, absent",
    [s[1:] for s in SITUATIONS],
    ids=[s[0] for s in SITUATIONS],
)
def test_git_value_and_snapshot(repository, git_environment, tmp_path, monkeypatch, prepare,
                                trovik_dir, subfolder, outcome, branch, present, absent):
    repo = repository
    prepare(repo, tmp_path, monkeypatch)
    if trovik_dir is not None:
        monkeypatch.setenv("TROVIK_DIR", trovik_dir.format(top=repo.path, tmp=tmp_path))
    cwd = repo.path / subfolder
    cwd.mkdir(parents=True, exist_ok=True)
    monkeypatch.chdir(cwd)
    root = cwd / os.environ.get("TROVIK_DIR", ".trovik")
    head = repo.head()
    before = repo.user_state()
    inside = os.path.relpath(root, repo.path)
    expected_snapshot_tree = expected_tree(
        repo, tmp_path, excluded=None if inside.startswith("..") else inside,
    ) if outcome == SNAPSHOT else None

    run, value = start_run()

    after = repo.user_state()
    new_refs = after.pop("refs") - before.pop("refs")
    for state in (before, after):
        state["work_tree"] = outside_root_directory(state["work_tree"], repo.path, root)
    assert after == before
    assert os.listdir(git_environment) == []
    if outcome == SNAPSHOT:
        snapshot_branch = "run/" + run.run_id
        assert value == {"commit": value["commit"], "branch": snapshot_branch, "dirty": True}
        assert new_refs == {"refs/heads/" + snapshot_branch}
        assert repo.git("rev-parse", "refs/heads/" + snapshot_branch) == value["commit"]
        assert repo.git("log", "-1", "--format=%P", value["commit"]) == head
        assert repo.git("log", "-1", "--format=%B", value["commit"]) == (
            "trovik: snapshot run " + run.run_id)
        assert repo.tree_of(value["commit"]) == expected_snapshot_tree
        assert all(repo.has_path(value["commit"], p) for p in present)
        assert not any(repo.has_path(value["commit"], p) for p in absent)
    else:
        assert value == {"commit": head, "branch": branch, "dirty": outcome == DIRTY}
        assert new_refs == set()


def test_snapshot_holds_the_changed_content(repository, git_environment):
    repository.write("train.py", "print('epoch 2')\n")
    (repository.path / "src" / "model.py").unlink()
    run, value = start_run()
    assert repository.git("show", value["commit"] + ":train.py") == "print('epoch 2')"
    assert not repository.has_path(value["commit"], "src/model.py")
    # The user's own view is untouched: the change is still unstaged.
    assert repository.git("diff", "--cached", "--name-only") == ""
    assert set(repository.git("diff", "--name-only").split()) == {"train.py", "src/model.py"}


@pytest.mark.parametrize("where", ["outside-any-repository", "inside-git-directory",
                                   "bare-repository"])
def test_no_work_tree_gives_null(tmp_path, git_environment, monkeypatch, where):
    directory = tmp_path / "somewhere"
    directory.mkdir()
    if where == "inside-git-directory":
        git("init", "-q", str(directory))
        directory = directory / ".git"
    elif where == "bare-repository":
        git("init", "-q", "--bare", str(directory))
    monkeypatch.chdir(directory)
    monkeypatch.setenv("TROVIK_DIR", str(tmp_path / "root"))
    _, value = start_run()
    assert value is None


def test_no_git_on_the_search_path_gives_null(tmp_path, git_environment, monkeypatch, repository):
    repository.write("train.py", "changed\n")
    empty = tmp_path / "empty-bin"
    empty.mkdir()
    monkeypatch.setenv("PATH", str(empty))
    _, value = start_run()
    assert value is None


# --- the exact commands -------------------------------------------------------------------------

PROBE = [
    ["rev-parse", "--is-inside-work-tree"],
    ["rev-parse", "HEAD"],
    ["rev-parse", "--abbrev-ref", "HEAD"],
    ["status", "--porcelain", "--ignore-submodules"],
]
PLAIN = (None, None, None)
STAT_CHECKS = ["-c", "core.fsmonitor=false", "-c", "core.trustctime=true", "-c",
               "core.checkStat=default", "-c", "core.splitIndex=false"]


def test_outside_a_repository_runs_one_git_command(tmp_path, git_environment, git_log,
                                                   monkeypatch):
    monkeypatch.chdir(tmp_path)
    monkeypatch.setenv("TROVIK_DIR", str(tmp_path / "root"))
    _, value = start_run()
    assert value is None
    assert git_log.commands() == [(PROBE[0], PLAIN)]


def test_clean_repository_runs_the_four_probe_commands(repository, git_log):
    _, value = start_run()
    assert value == {"commit": repository.head(), "branch": "main", "dirty": False}
    assert git_log.commands() == [(command, PLAIN) for command in PROBE]


def test_snapshot_commands_from_the_top_level(repository, git_environment, git_log, monkeypatch):
    """The files git status listed are taken again, and nothing else: the earlier runs it listed
    lie in the root directory, which needs no reset when nothing of it was taken."""
    monkeypatch.setenv("TROVIK_DIR", str(repository.path / "out"))
    earlier_run(repository.path / "out")
    repository.write("train.py", "changed\n")
    head = repository.head()
    run, value = start_run()

    index = str(git_environment / f"trovik-{run.run_id}.index")
    private = (index, ".git", str(repository.path))
    tree = repository.tree_of(value["commit"])
    no_split = ["-c", "core.splitIndex=false"]
    assert git_log.commands() == [(command, PLAIN) for command in PROBE] + [
        (["rev-parse", "--git-dir", "--show-toplevel", "--git-path", "index", head + "^{tree}"],
         PLAIN),
        (["config", "-z", "--list"], PLAIN),
        (["ls-files", "-s", "-v", "-z", "--sparse", "--cached", "--full-name", "--", ":/"],
         private),
        (["diff-index", "--cached", "-z", "--no-renames", "--ignore-submodules=none", head, "--"],
         private),
        (STAT_CHECKS + ["update-index", "--add", "--remove", "--replace", "--", "train.py"],
         private),
        (no_split + ["write-tree"], private),
        (["commit-tree", tree, "-p", head, "-m", "trovik: snapshot run " + run.run_id], private),
        (["update-ref", "refs/heads/run/" + run.run_id, value["commit"]], private),
    ]


@pytest.mark.parametrize("walk", [False, True])
def test_subfolder_run_keeps_the_root_out(repository, git_log, monkeypatch, walk):
    """Where status can be trusted, the root directory is left out of what is taken again; where
    the work tree is walked, its reset names it from the working directory."""
    if walk:
        repository.git("config", "core.trustctime", "false")
    monkeypatch.setenv("TROVIK_DIR", str(repository.path / "out"))
    earlier_run(repository.path / "out")
    repository.write("train.py", "changed\n")
    monkeypatch.chdir(repository.path / "src")
    _, value = start_run()
    resets = [a for a in git_log.arguments() if "reset" in a]
    assert resets == ([["-c", "core.splitIndex=false", "reset", "--quiet", "--no-refresh", "--",
                        "../out"]] if walk else [])
    assert not repository.has_path(value["commit"], "out")
    assert repository.git("show", value["commit"] + ":train.py") == "changed"


def test_relative_root_outside_the_work_tree_skips_the_reset(repository, git_log, tmp_path,
                                                            monkeypatch):
    monkeypatch.setenv("TROVIK_DIR", "../runs")
    earlier_run(tmp_path / "runs")
    repository.write("train.py", "changed\n")
    run, value = start_run()
    assert value["branch"] == "run/" + run.run_id
    assert repository.git("show", value["commit"] + ":train.py") == "changed"
    arguments = git_log.arguments()
    assert not any(command[0] == "reset" for command in arguments)
    assert arguments[-2:] == [
        ["commit-tree", repository.tree_of(value["commit"]), "-p", repository.head(), "-m",
         "trovik: snapshot run " + run.run_id],
        ["update-ref", "refs/heads/run/" + run.run_id, value["commit"]],
    ]


# --- random dirty states ------------------------------------------------------------------------

BASE_FILES = {
    "README.md": "readme\n",
    "train.py": "print('train')\n",
    "src/model.py": "weights = 1\n",
    "src/deep/nested/layer.py": "layer = 2\n",
    "données/résumé.txt": "accents\n",
    "データ/説明.md": "kana\n",
    "with space.txt": "space\n",
    "run.sh": "#!/bin/sh\necho run\n",
    ".gitignore": "*.log\nbuild/\n",
}
NEW_NAMES = ["new.txt", "src/extra.py", "nested/a/b/c.txt", "émoji 🎉.txt", "新しい/ファイル.txt",
             "data/dup.txt", "-dash.txt", "x.log", "build/artifact.bin", "src/keep.log"]


def tracked_files(repo):
    return sorted(p for p in repo.git("ls-files", "-z").split("\0") if p)


def random_change(rng, repo):
    files = [p for p in tracked_files(repo) if (repo.path / p).is_file() or
             (repo.path / p).is_symlink()]
    action = rng.choice(["edit", "delete", "rename", "mode", "symlink", "replace-with-link",
                         "new", "ignored", "stage", "empty-dir", "earlier-runs"])
    target = repo.path / rng.choice(files) if files else None
    if action == "edit" and target is not None and not target.is_symlink():
        target.write_text(target.read_text() + f"edit {rng.random()}\n")
    elif action == "delete" and target is not None:
        target.unlink()
    elif action == "rename" and target is not None:
        destination = repo.path / rng.choice(["moved", "src/moved", "ünï/moved"]) / target.name
        destination.parent.mkdir(parents=True, exist_ok=True)
        os.rename(target, destination)
    elif action == "mode" and target is not None and not target.is_symlink():
        target.chmod(target.stat().st_mode ^ 0o111)
    elif action == "symlink":
        link = repo.path / f"link-{rng.randrange(1000)}"
        if not link.exists() and not link.is_symlink():
            os.symlink(rng.choice(["train.py", "missing-target", "src/model.py"]), link)
    elif action == "replace-with-link" and target is not None:
        target.unlink()
        os.symlink("README.md", target)
    elif action == "new":
        repo.write(rng.choice(NEW_NAMES), f"new {rng.random()}\n")
    elif action == "ignored":
        repo.write(rng.choice(["debug.log", "build/out.bin", "src/deep/trace.log"]), "ignored\n")
    elif action == "stage" and target is not None:
        if target.is_file() and not target.is_symlink():
            target.write_text("staged\n")
        repo.git("add", "-A", "--", os.path.relpath(target, repo.path))
    elif action == "empty-dir":
        (repo.path / f"empty-{rng.randrange(1000)}").mkdir(exist_ok=True)
    elif action == "earlier-runs":
        earlier_run(repo.path / ".trovik")


@pytest.mark.parametrize("seed", range(24))
def test_random_dirty_states_match_an_independent_snapshot(tmp_path, git_environment,
                                                          monkeypatch, seed):
    rng = random.Random(seed)
    top = tmp_path / "random"
    top.mkdir()
    git("init", "-q", "-b", "main", cwd=top)
    repo = Repository(top)
    for name, content in BASE_FILES.items():
        repo.write(name, content)
    (top / "run.sh").chmod(0o755)
    os.symlink("train.py", top / "train-link.py")
    repo.commit_all("base")
    for _ in range(rng.randint(1, 6)):
        random_change(rng, repo)
    monkeypatch.chdir(top)
    head = repo.head()
    status = repo.git("status", "--porcelain", "--ignore-submodules")
    tree = expected_tree(repo, tmp_path, excluded=".trovik")
    before = repo.user_state()

    run, value = start_run()

    after = repo.user_state()
    new_refs = after.pop("refs") - before.pop("refs")
    for state in (before, after):
        state["work_tree"] = outside_root_directory(state["work_tree"], top, top / ".trovik")
    assert after == before
    assert os.listdir(git_environment) == []
    if tree == repo.tree_of(head):
        assert value == {"commit": head, "branch": "main", "dirty": bool(status.strip())}
        assert new_refs == set()
    else:
        assert value["dirty"] is True and value["branch"] == "run/" + run.run_id
        assert new_refs == {"refs/heads/run/" + run.run_id}
        assert repo.tree_of(value["commit"]) == tree
        assert repo.git("log", "-1", "--format=%P", value["commit"]) == head


# --- the root directory ignores itself ----------------------------------------------------------


@pytest.mark.parametrize("subfolder", ["", "src"])
def test_runs_in_a_clean_tree_stay_clean(repository, monkeypatch, subfolder):
    """Earlier run files neither make the tree dirty nor get snapshotted, from any folder."""
    monkeypatch.chdir(repository.path / subfolder)
    values = [start_run()[1] for _ in range(3)]
    assert values == [{"commit": repository.head(), "branch": "main", "dirty": False}] * 3
    assert (repository.path / subfolder / ".trovik" / ".gitignore").read_text().endswith("\n*\n")
    assert repository.refs() == {"refs/heads/main"}


@pytest.mark.parametrize("trovik_dir", ["existing", ""])
def test_no_ignore_file_in_a_directory_the_run_did_not_create(repository, monkeypatch,
                                                              trovik_dir):
    """A root that existed is left alone, and an empty one is the working directory, whose own
    ignore file stays as the user wrote it."""
    if trovik_dir:
        (repository.path / trovik_dir).mkdir()
    monkeypatch.setenv("TROVIK_DIR", trovik_dir)
    start_run()
    assert not (repository.path / "existing" / ".gitignore").exists()
    assert (repository.path / ".gitignore").read_text() == "*.log\n"
