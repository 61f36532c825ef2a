"""Git repositories for the provenance tests: isolated from the machine's git configuration, with
helpers to capture everything a run must leave alone and to build the expected snapshot tree
independently of the module."""

import os
import shutil
import stat
import subprocess

import pytest

# The real git, resolved before any test puts a fake one first on the search path.
REAL_GIT = shutil.which("git")

IDENTITY = {
    "GIT_AUTHOR_NAME": "Test Author",
    "GIT_AUTHOR_EMAIL": "author@example.com",
    "GIT_COMMITTER_NAME": "Test Committer",
    "GIT_COMMITTER_EMAIL": "committer@example.com",
}


def git(*args, cwd=None, check=True, env=None):
    """Runs the real git and returns its standard output without the final line feed."""
    result = subprocess.run([REAL_GIT, *args], cwd=cwd, capture_output=True, env=env)
    if check and result.returncode != 0:
        message = result.stderr.decode(errors="replace")
        raise AssertionError(f"git {' '.join(args)} failed: {message}")
    return result.stdout.decode(errors="replace").rstrip("\n")


def git_ok(*args, cwd=None):
    return subprocess.run([REAL_GIT, *args], cwd=cwd, capture_output=True).returncode == 0


class Repository:
    """A work tree at `path` with one initial commit on main."""

    def __init__(self, path):
        self.path = path

    def write(self, relative, content="x\n"):
        target = self.path / relative
        target.parent.mkdir(parents=True, exist_ok=True)
        if target.is_symlink():
            target.unlink()
        target.write_bytes(content.encode() if isinstance(content, str) else content)
        return target

    def git(self, *args, check=True):
        return git(*args, cwd=self.path, check=check)

    def commit_all(self, message="commit"):
        self.git("add", "-A")
        self.git("commit", "-q", "-m", message)
        return self.head()

    def head(self):
        """The HEAD commit, or "" when HEAD does not resolve (no commits yet)."""
        return self.git("rev-parse", "HEAD") if git_ok("rev-parse", "HEAD", cwd=self.path) else ""

    def refs(self):
        return set(self.git("for-each-ref", "--format=%(refname)").split())

    def tree_of(self, commit):
        return self.git("rev-parse", f"{commit}^{{tree}}")

    def has_path(self, commit, relative):
        return git_ok("cat-file", "-e", f"{commit}:{relative}", cwd=self.path)

    def user_state(self):
        """Everything a snapshot must leave exactly as it was."""
        return {
            "index": self.git("ls-files", "-s", check=False),
            "staged": self.git("diff", "--cached", check=False),
            "head": self.head(),
            "branch": self.git("symbolic-ref", "-q", "HEAD", check=False),
            "refs": self.refs(),
            "work_tree": work_tree_listing(self.path),
        }


def work_tree_listing(top):
    """Every file, link and directory under `top` outside .git, with mode and content."""
    listing = {}
    for directory, subdirectories, files in os.walk(top):
        subdirectories[:] = sorted(d for d in subdirectories if d != ".git")
        for name in subdirectories + files:
            full = os.path.join(directory, name)
            relative = os.path.relpath(full, top)
            info = os.lstat(full)
            if stat.S_ISLNK(info.st_mode):
                listing[relative] = ("link", os.readlink(full))
            elif stat.S_ISDIR(info.st_mode):
                listing[relative] = ("dir", None)
            else:
                with open(full, "rb") as f:
                    listing[relative] = (oct(info.st_mode), f.read())
    return listing


def expected_tree(repository, scratch, excluded=None):
    """The snapshot tree built without the module: a copy of the repository with the root
    directory removed, everything added to the copy's own index, then written as a tree. Tree ids
    depend only on content, so the copy's answer is comparable with the original's."""
    copy = scratch / "independent-copy"
    shutil.copytree(repository.path, copy, symlinks=True)
    if excluded is not None:
        shutil.rmtree(copy / excluded, ignore_errors=True)
    # From no index at all: the tree is the same, and a damaged index of the user's cannot stop it.
    (copy / ".git" / "index").unlink(missing_ok=True)
    git("add", "-A", cwd=copy)
    tree = git("write-tree", cwd=copy)
    shutil.rmtree(copy)
    return tree


@pytest.fixture
def git_environment(tmp_path, monkeypatch):
    """Git configuration from nowhere but the repository, a known identity, and a private
    temporary directory (returned) that must be empty after every run."""
    config = tmp_path / "empty-gitconfig"
    config.write_text("")
    temporary = tmp_path / "tmpdir"
    temporary.mkdir()
    monkeypatch.setenv("GIT_CONFIG_GLOBAL", str(config))
    monkeypatch.setenv("GIT_CONFIG_NOSYSTEM", "1")
    monkeypatch.setenv("GIT_CEILING_DIRECTORIES", str(tmp_path))
    for name, value in IDENTITY.items():
        monkeypatch.setenv(name, value)
    for name in ("GIT_DIR", "GIT_WORK_TREE", "GIT_INDEX_FILE", "EMAIL", "TROVIK_DIR"):
        monkeypatch.delenv(name, raising=False)
    monkeypatch.setenv("TMPDIR", str(temporary))
    return temporary


@pytest.fixture
def repository(tmp_path, git_environment, monkeypatch):
    """A repository with a few committed files, the working directory at its top level."""
    path = tmp_path / "project"
    path.mkdir()
    git("init", "-q", "-b", "main", cwd=path)
    repo = Repository(path)
    repo.write("train.py", "print('train')\n")
    repo.write("src/model.py", "weights = 1\n")
    repo.write(".gitignore", "*.log\n")
    repo.commit_all("initial")
    monkeypatch.chdir(path)
    return repo


class GitLog:
    """A stand-in for git, first on the search path, that records each command's arguments and
    the three variables that redirect git to another index, then runs the real git."""

    def __init__(self, directory):
        self.file = directory / "git-commands.log"
        self.bin = directory / "fake-bin"
        self.bin.mkdir()
        script = self.bin / "git"
        script.write_text(
            "#!/bin/sh\n"
            "{ printf '%s\\037' \"$@\"; printf '\\t%s\\t%s\\t%s\\036\\n' "
            "\"${GIT_INDEX_FILE-<unset>}\" \"${GIT_DIR-<unset>}\" \"${GIT_WORK_TREE-<unset>}\"; "
            f"}} >> '{self.file}'\n"
            f"exec '{REAL_GIT}' \"$@\"\n"
        )
        script.chmod(0o755)

    def commands(self):
        """[(arguments, (GIT_INDEX_FILE, GIT_DIR, GIT_WORK_TREE))], unset as None."""
        if not self.file.exists():
            return []
        entries = []
        # Records end in RS and a line feed: a file name may hold a line feed, or any byte.
        text = self.file.read_bytes().decode(errors="surrogateescape")
        for line in text.split("\x1e\n")[:-1]:
            arguments, *variables = line.rsplit("\t", 3)
            entries.append((
                arguments.split("\x1f")[:-1],
                tuple(None if v == "<unset>" else v for v in variables),
            ))
        return entries

    def arguments(self):
        return [arguments for arguments, _ in self.commands()]


@pytest.fixture
def git_log(tmp_path, monkeypatch):
    log = GitLog(tmp_path)
    monkeypatch.setenv("PATH", f"{log.bin}{os.pathsep}{os.environ['PATH']}")
    return log
