#!/usr/bin/env python3
"""Runs two builds of the `trovik` command over one corpus of runs and compares every output.

    PYTHONPATH=build tools/compare_outputs.py OLD_TROVIK NEW_TROVIK [--keep DIR] [--only TEXT]

The corpus is made with the trovik module this interpreter imports (PYTHONPATH=build finds the one
of a build tree), the way the command's tests make runs: in a git repository with its own
configuration, clean and dirty runs with snapshots, a root the user made, notes, torn and bad lines,
hostile texts, many series, big and odd numbers, hand-written files, a second root outside the
repository, a run that is still running, snapshot branches and leftover index files for `gc`.

Every subcommand runs with its options under both commands, through a pipe, a terminal of a few
widths (colours on and off) and /dev/full. Standard output, standard error and the exit status are
compared; a page's nonce and generation time are masked. Commands that change the repository (`code
--checkout`, `gc --yes`) run in two copies of the corpus. An output that differs is run again under
the old command, so that an age crossing a minute between the two runs is not taken for a
difference. Exit status: 0 when everything matched, 1 otherwise.
"""

import argparse
import difflib
import fcntl
import os
import pty
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import textwrap

HOSTILE_NAME = "\x1b]0;title\x07evil\u202eeman\nforged row\t|"
SCRIPT_BREAKOUT = "</script><script>alert(1)</script>"
ATTRIBUTE_BREAKOUT = '"><img src=x onerror=alert(2)>'

GIT_IDENTITY = {
    "GIT_AUTHOR_NAME": "Test Author",
    "GIT_AUTHOR_EMAIL": "author@example.com",
    "GIT_COMMITTER_NAME": "Test Committer",
    "GIT_COMMITTER_EMAIL": "committer@example.com",
}


class Corpus:
    """The runs, under `base`: project/ (a repository with .trovik roots and a user's root), elsewhere/
    (a root outside any repository) and tmp/ (TMPDIR, with leftover index files)."""

    def __init__(self, base):
        self.base = base
        self.project = os.path.join(base, "project")
        self.elsewhere = os.path.join(base, "elsewhere", "root")
        self.user_root = os.path.join(self.project, "userroot")
        self.tmp = os.path.join(base, "tmp")
        self.ids = {}
        self.live = None

    def environment(self, base=None):
        base = base or self.base
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("GIT_", "TROVIK_")) and k not in ("NO_COLOR", "COLUMNS")}
        env.update(GIT_IDENTITY)
        config = os.path.join(base, "gitconfig")
        env.update(GIT_CONFIG_GLOBAL=config, GIT_CONFIG_NOSYSTEM="1", GIT_CEILING_DIRECTORIES=base,
                   TMPDIR=os.path.join(base, "tmp"), TZ="UTC", HOSTNAME="corpus-host",
                   LC_ALL="C.UTF-8", XDG_CACHE_HOME=os.path.join(base, "cache"))
        return env

    def git(self, *args, cwd=None):
        return subprocess.run(["git", *args], cwd=cwd or self.project, env=self.environment(),
                              check=True, capture_output=True, text=True).stdout.strip()

    def python(self, code, cwd=None, root=None, background=False):
        env = self.environment()
        env["PYTHONPATH"] = os.environ.get("PYTHONPATH", "")
        if root is not None:
            env["TROVIK_DIR"] = root
        argv = [sys.executable, "-c", textwrap.dedent(code)]
        if background:
            return subprocess.Popen(argv, cwd=cwd or self.project, env=env, stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, text=True)
        return subprocess.run(argv, cwd=cwd or self.project, env=env, check=True,
                              capture_output=True, text=True).stdout.strip()

    def run(self, label, name, metadata, body, cwd=None, root=None):
        """Makes one run in a child interpreter; `body` tracks into `run`."""
        code = "\n".join(["import trovik", f"run = trovik.Experiment({name!r}, {metadata!r})",
                          body, "print(run.run_id)"])
        self.ids[label] = self.python(code, cwd=cwd, root=root)
        return self.ids[label]

    def make(self):
        os.makedirs(self.project)
        os.makedirs(self.elsewhere)
        os.makedirs(self.tmp)
        open(os.path.join(self.base, "gitconfig"), "w").close()
        self.git("init", "-q", "-b", "main")
        self.write("train.py", "print('train')\n")
        self.write("src/model.py", "weights = 1\n")
        self.write(".gitignore", "*.log\n")
        self.git("add", "-A")
        self.git("commit", "-q", "-m", "initial")

        curve = "for step in range(50):\n    run.track({'step': step, 'loss': 2.0 / (step + 1), " \
                "'val': {'acc': step / 50}}, note='warm-up done' if step == 10 else None)"
        self.run("clean", "baseline", {"lr": 0.1, "model": "mlp", "seed": 1},
                 curve + "\nrun.track({'step': 50, 'loss': 0.1234561})")
        self.run("seed2", "baseline", {"lr": 0.1, "model": "mlp", "seed": 2},
                 curve + "\nrun.track({'step': 50, 'loss': 0.1234564})")
        self.run("third", "baseline", {"lr": 0.1, "model": "mlp", "seed": 3},
                 curve + "\nrun.track({'step': 50, 'loss': 0.12345})")
        os.makedirs(self.user_root)
        self.run("user_root", "user root", {"lr": 0.3}, "run.track({'loss': 1.0})",
                 root=self.user_root)
        os.makedirs(os.path.join(self.project, "experiments", "deep"))
        self.run("nested", "nested", {"lr": 0.1, "model": "cnn"}, "run.track(3)",
                 cwd=os.path.join(self.project, "experiments", "deep"))

        self.write("train.py", "print('tuned')\n")
        self.run("dirty", "tuned", {"lr": 0.01, "model": "mlp", "seed": 1},
                 curve + "\nrun.track({'step': 50, 'loss': 0.2}, note='final')")
        self.run("hostile", HOSTILE_NAME,
                 {SCRIPT_BREAKOUT: ATTRIBUTE_BREAKOUT, ATTRIBUTE_BREAKOUT: SCRIPT_BREAKOUT,
                  "lr": 0.01, "tab\tkey": "new\nline", "bidi": "\u202eabc", "\x1b[2J": "\x9b"},
                 "for step in range(20):\n    run.track({'step': step, 'loss': 1.5 / (step + 1), "
                 "'\\x1b[31mred': step, 'val': {'acc': step / 20}}, note='\\x1b[2J\\u202e note'"
                 " if step == 5 else " + repr(SCRIPT_BREAKOUT) + " if step == 7 else None)")
        self.run("wide", "many series", {"lr": 1, "wide": "x" * 120},
                 "for step in range(30):\n    run.track({f'k{i}': step * i / 7 for i in range(40)}"
                 " | {'step': step})")
        self.run("numbers", "odd numbers",
                 {"seed": 2 ** 64, "huge": 2 ** 70, "neg": -5, "flag": True, "none": None,
                  "list": [1, 2], "nested": {"a": 1}, "": "empty key", "lr": 1.0},
                 "run.track({'step': 2 ** 40, 'tiny': 1e-320, 'zero': -0.0, 'big': 2 ** 70, "
                 "'neg': -3, 'flag': True})\nrun.track(18446744073709551615)\nrun.track(0.5)")
        gone = self.run("gone", "gone", {"lr": 0.5}, "run.track({'loss': 0.9})")
        self.git("checkout", "-q", "--", "train.py")

        self.run("outside", "outside", {"lr": 0.1, "model": "mlp"},
                 "run.track({'loss': 0.4})\nrun.track({'loss': 0.3}, note='outside note')",
                 cwd=os.path.dirname(self.elsewhere), root=self.elsewhere)
        self.live = self.python("""
            import sys, trovik
            run = trovik.Experiment("still running", {"lr": 0.7})
            run.track({"loss": 0.6})
            print(run.run_id, flush=True)
            sys.stdin.read()
        """, cwd=os.path.dirname(self.elsewhere), root=self.elsewhere, background=True)
        self.ids["live"] = self.live.stdout.readline().strip()

        self.damage()
        self.hand_written()
        self.gc_material(gone)

    def write(self, relative, content):
        path = os.path.join(self.project, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(content)

    def run_file(self, label, root=None):
        return os.path.join(root or os.path.join(self.project, ".trovik"), "runs",
                            self.ids[label] + ".jsonl")

    def damage(self):
        """A bad line and a torn last line in one run; a bad line in the middle of another."""
        with open(self.run_file("seed2"), "ab") as f:
            f.write(b"not json\n[1, 2]\n")
            f.write(b'{"created_at":"2024-01-01T00:00:00+00:00","elapsed_ms":99999,"kind":"track",'
                    b'"value":{"loss":0.1')
        with open(self.run_file("third"), "ab") as f:
            f.write(b"\x00garbage\n")

    def hand_written(self):
        """Files no module writes: no run_start, invalid UTF-8, odd shapes."""
        runs = os.path.join(self.project, ".trovik", "runs")
        with open(os.path.join(runs, "abcd0001-hand-written.jsonl"), "wb") as f:
            f.write(b'{"kind":"track","value":1,"elapsed_ms":1}\n'
                    b'{"kind":"track","value":{"a":2,"step":5},"elapsed_ms":2,"note":"n"}\n')
        self.ids["hand"] = "abcd0001-hand-written"
        odd = "abcd0002-0000-4000-8000-000000000000"
        with open(os.path.join(runs, odd + ".jsonl"), "wb") as f:
            f.write(b'{"created_at":"2020-01-01T00:00:00+00:00","elapsed_ms":0,'
                    b'"experiment_name":"bad \xff bytes \xc3","kind":"run_start","run_id":"' +
                    odd.encode() + b'","schema_version":1,"trovik_version":"0.2.0",'
                    b'"value":{"git":{"commit":"0123456789abcdef0123456789abcdef01234567",'
                    b'"branch":"run/' + odd.encode() + b'","dirty":true},'
                    b'"host":{"hostname":"corpus-host","username":"\xfeuser"},'
                    b'"process":{"argv":["x","a b","\xff"],"cwd":"/nowhere","pid":"12"},'
                    b'"metadata":[1,"two",{"three":3}]}}\n'
                    b'{"elapsed_ms":5,"kind":"track","value":{"v\xffx":1.5,"step":-3},'
                    b'"note":"\xff note"}\n')
        self.ids["odd"] = odd
        bad_start = "abcd0003-0000-4000-8000-000000000000"
        with open(os.path.join(runs, bad_start + ".jsonl"), "wb") as f:
            f.write(b'{"created_at":"yesterday","kind":"run_start","run_id":"' +
                    bad_start.encode() + b'","value":{"git":null,"process":{"pid":99999999999}}}\n'
                    b'{"kind":"track","value":{"loss":5}}\n')
        self.ids["bad_start"] = bad_start

    def gc_material(self, gone):
        """A snapshot branch whose run file is gone, an old run with a snapshot, a user's own run/
        branch and an impostor, leftover index files of a dead run, an orphan old and young."""
        os.remove(self.run_file("gone"))
        head = self.git("rev-parse", "HEAD")
        self.git("branch", "run/mine", head)
        self.git("branch", "run/0123abcd-0000-4000-8000-000000000000", head)
        old_id = "abcd0004-0000-4000-8000-000000000000"
        tree = self.git("rev-parse", "HEAD^{tree}")
        env = dict(self.environment(), GIT_COMMITTER_DATE="2020-01-01T00:00:00+00:00",
                   GIT_AUTHOR_DATE="2020-01-01T00:00:00+00:00")
        commit = subprocess.run(["git", "commit-tree", tree, "-p", head, "-m",
                                 f"trovik: snapshot run {old_id}"], cwd=self.project, env=env,
                                check=True, capture_output=True, text=True).stdout.strip()
        self.git("update-ref", f"refs/heads/run/{old_id}", commit)
        with open(os.path.join(self.project, ".trovik", "runs", old_id + ".jsonl"), "w") as f:
            f.write('{"created_at":"2020-01-01T00:00:00+00:00","elapsed_ms":0,"experiment_name":'
                    '"old","kind":"run_start","run_id":"' + old_id + '","schema_version":1,'
                    '"trovik_version":"0.2.0","value":{"git":{"commit":"' + commit + '","branch":'
                    '"run/' + old_id + '","dirty":true},"host":{"hostname":"corpus-host"},'
                    '"process":{"argv":["old.py"],"cwd":"/","pid":1}}}\n')
        self.ids["old"] = old_id
        for run_id, age in ((self.ids["clean"], 0), ("f00dfeed-orphan-old", 7200),
                            ("f00dfeed-orphan-young", 0), (self.ids["live"], 0)):
            path = os.path.join(self.tmp, f"trovik-{run_id}.index")
            with open(path, "wb") as f:
                f.write(b"DIRC")
            if age:
                when = os.path.getmtime(path) - age
                os.utime(path, (when, when))

    def stop(self):
        if self.live is not None:
            self.live.stdin.close()
            self.live.wait(timeout=10)


def invocations(corpus):
    """(label, arguments, working directory, mode, sandboxed) for every command compared."""
    ids = corpus.ids
    roots = ["--root", os.path.join(corpus.project, ".trovik"), "--root", corpus.elsewhere]
    top, deep = corpus.project, os.path.join(corpus.project, "experiments", "deep")
    out = []

    def add(args, cwd=top, modes=("pipe",), sandboxed=False):
        for mode in modes:
            out.append((" ".join(args) + f" [{mode}]" + (" @" + os.path.relpath(cwd, top)
                                                         if cwd != top else ""),
                        list(args), cwd, mode, sandboxed))

    terminals = ("pipe", "tty80", "tty200-colour", "tty40")
    listing_columns = ["id", "name", "start", "duration", "records", "git", "host", "lr", "model",
                       "seed", "loss", "val.acc", "step", "k7", "value", "nothing"]
    add(["ls"], modes=terminals)
    add(["ls"], cwd=deep)
    add(["ls", "--all"], modes=terminals)
    add(["ls", "--json"])
    for n in ("1", "2", "3"):
        add(["ls", "-n", n])
        add(["ls", "-n", n, "--json"])
    add(["ls", "--name", "baseline"], modes=("pipe", "tty80"))
    add(["ls", "--name", "b*", "--all"])
    add(["ls", "--name", "nomatch"])
    add(["ls", "--name", "nomatch", "--json"])
    for column in listing_columns:
        add(["ls", f"--sort={column}"])
        add(["ls", f"--sort=-{column}"])
        add(["ls", f"--sort=-{column}", "-n", "2", "--json"])
    add(["ls", "--sort=-loss", "-n", "2"])
    add(["ls", "--name", "baseline", "--sort=-loss", "-n", "2"])
    add(["ls", "--sort", "loss", "--all"], modes=("pipe", "tty80"))
    add(["ls", *roots], modes=("pipe", "tty200-colour"))
    add(["ls", *roots, "--json"])
    add(["ls", "--root", corpus.user_root])
    add(["ls", "--root", corpus.user_root, "--root", os.path.join(corpus.base, "nothing")])
    add(["ls", "-n", "x"])
    add(["ls"], modes=("devfull",))
    add(["ls", "--json"], modes=("devfull",))

    references = [ids[k] for k in ("clean", "seed2", "third", "dirty", "hostile", "wide", "numbers",
                                   "nested", "hand", "odd", "bad_start", "old")]
    for run_id in references:
        add(["show", run_id], modes=("pipe", "tty80"))
        add(["show", run_id, "--json"])
        add(["tail", run_id])
        add(["code", run_id])
    add(["show", ids["wide"], "--ascii"], modes=("pipe", "tty200-colour"))
    add(["show", ids["clean"][:6]])
    add(["show", "@1"])
    add(["show", "@3", "--json"])
    add(["show", "@99"])
    add(["show", "@0"])
    add(["show", "zzzz"])
    add(["show", "abc"])
    add(["show", "abcd"])
    add(["show", corpus.run_file("clean")])
    add(["show", os.path.relpath(corpus.run_file("outside", corpus.elsewhere), top)])
    add(["show", *roots[:2], "--root", corpus.elsewhere, ids["live"]])
    add(["show", "--root", corpus.elsewhere, ids["live"], "--json"])
    add(["show", ids["user_root"], "--root", corpus.user_root])
    add(["code", ids["user_root"], "--root", corpus.user_root])
    add(["code", ids["outside"], "--root", corpus.elsewhere])
    add(["show", ids["clean"]], modes=("devfull",))
    add(["show", ids["clean"], "--json"], modes=("devfull",))
    add(["tail", ids["hostile"]], modes=("tty80",))

    pairs = [("clean", "seed2"), ("clean", "dirty"), ("dirty", "clean"), ("clean", "hostile"),
             ("wide", "numbers"), ("odd", "hand"), ("clean", "nested"), ("old", "clean")]
    for a, b in pairs:
        add(["compare", ids[a], ids[b]], modes=("pipe", "tty80"))
        add(["compare", ids[a], ids[b], "--all"])
        add(["compare", ids[a], ids[b], "--json"])
        add(["compare", ids[a], ids[b], "--code"])
    add(["compare", ids["clean"], ids["seed2"], ids["third"], ids["dirty"]],
        modes=("pipe", "tty80", "tty200-colour"))
    add(["compare", "@1", "@2", "@3", "--all", "--code"])
    add(["compare", *roots, ids["outside"], ids["clean"], "--code"])
    add(["compare", ids["clean"]])
    add(["compare", ids["clean"], "zzzz"])
    add(["compare", ids["clean"], ids["dirty"]], modes=("devfull",))

    add(["tail", "@1"])
    add(["tail", ids["seed2"]], modes=("devfull",))

    add(["gc"])
    add(["gc", "--older-than", "30d"])
    add(["gc", "--older-than", "0s"])
    add(["gc", "--older-than", "soon"])
    add(["gc"], cwd=os.path.dirname(corpus.elsewhere))
    add(["gc", "--yes"], sandboxed=True)
    add(["gc", "--older-than", "0s", "--yes"], sandboxed=True)
    add(["code", ids["dirty"], "--checkout", "rerun"], sandboxed=True)
    add(["code", ids["clean"], "--checkout", "rerun"], sandboxed=True)
    add(["code", ids["odd"], "--checkout", "rerun"], sandboxed=True)

    add(["export"])
    add(["export", "--format", "ndjson"])
    add(["export", ids["hostile"], ids["odd"], "--format", "csv"])
    add(["export", ids["numbers"], "--format", "ndjson"])
    add(["export", *roots, "--format", "ndjson"])
    add(["export", "--format", "xml"])
    add(["export"], modes=("devfull",))

    add(["report", "-o", "OUT"])
    add(["report", "@1", "@3", "--x", "elapsed", "-o", "OUT"])
    add(["report", ids["hostile"], ids["odd"], ids["numbers"], "-o", "OUT"])
    add(["report", ids["clean"], ids["seed2"], ids["dirty"], "-o", "OUT"])
    add(["report", ids["wide"], "-o", "OUT"])
    add(["report", *roots, "-o", "OUT"])
    add(["report", "-o", os.path.join(corpus.base, "missing", "report.html")])
    add(["report", "zzzz", "-o", "OUT"])

    add(["frobnicate"])
    add(["--version"])
    add(["ls", "--help"])
    return out


MASKS = [
    (re.compile(rb"nonce-[0-9a-f]{32}"), b"nonce-NONCE"),
    (re.compile(rb'nonce="[0-9a-f]{32}"'), b'nonce="NONCE"'),
    (re.compile(rb"generated \d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC"), b"generated TIME"),
]


def run_command(command, args, cwd, mode, env, workdir):
    """Returns (exit status, standard output, standard error, page) for one invocation."""
    page_path = os.path.join(workdir, "page.html")
    args = [page_path if a == "OUT" else a for a in args]
    argv = [command, *args]
    if os.path.exists(page_path):
        os.remove(page_path)
    if mode.startswith("tty"):
        columns = int(re.match(r"tty(\d+)", mode).group(1))
        run_env = dict(env)
        if "colour" not in mode:
            run_env["NO_COLOR"] = "1"
        status, out, err = run_in_terminal(argv, cwd, run_env, columns)
    elif mode == "devfull":
        with open("/dev/full", "wb") as full:
            result = subprocess.run(argv, cwd=cwd, env=env, stdout=full, stderr=subprocess.PIPE)
        status, out, err = result.returncode, b"", result.stderr
    else:
        result = subprocess.run(argv, cwd=cwd, env=env, capture_output=True)
        status, out, err = result.returncode, result.stdout, result.stderr
    page = b""
    if os.path.exists(page_path):
        with open(page_path, "rb") as f:
            page = f.read()
        for pattern, replacement in MASKS:
            page = pattern.sub(replacement, page)
    out = out.replace(page_path.encode(), b"OUT")
    return status, out, err, page


def run_in_terminal(argv, cwd, env, columns):
    leader, follower = pty.openpty()
    fcntl.ioctl(follower, termios.TIOCSWINSZ, struct.pack("HHHH", 50, columns, 0, 0))
    child = subprocess.Popen(argv, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=follower,
                             stderr=subprocess.PIPE)
    os.close(follower)
    chunks = []
    while True:
        try:
            chunk = os.read(leader, 65536)
        except OSError:  # EIO: the terminal's other end is closed
            break
        if not chunk:
            break
        chunks.append(chunk)
    os.close(leader)
    err = child.stderr.read()
    child.stderr.close()
    return child.wait(timeout=60), b"".join(chunks), err


def sandbox(corpus, name):
    """A copy of the whole corpus, for a command that changes it."""
    copy = os.path.join(os.path.dirname(corpus.base), name)
    shutil.rmtree(copy, ignore_errors=True)
    shutil.copytree(corpus.base, copy, symlinks=True)
    return copy


def compare(old, new, corpus, only, verbose):
    env = corpus.environment()
    workdir = tempfile.mkdtemp(prefix="compare-work-", dir=os.path.dirname(corpus.base))
    counted = differing = 0
    for label, args, cwd, mode, sandboxed in invocations(corpus):
        if only and only not in label:
            continue
        results = []
        for index, command in enumerate((old, new)):
            if sandboxed:
                copy = sandbox(corpus, f"sandbox-{index}")
                run_cwd = cwd.replace(corpus.base, copy)
                run_env = corpus.environment(copy)
                result = run_command(command, args, run_cwd, mode, run_env, workdir)
                result = tuple(r.replace(copy.encode(), b"BASE") if isinstance(r, bytes) else r
                               for r in result)
            else:
                result = run_command(command, args, cwd, mode, env, workdir)
            results.append(result)
        if results[0] != results[1] and not sandboxed:
            results[0] = run_command(old, args, cwd, mode, env, workdir)
        counted += 1
        if results[0] == results[1]:
            if verbose:
                print(f"same  {label}")
            continue
        differing += 1
        print(f"DIFFERS  {label}")
        for name, a, b in zip(("exit status", "stdout", "stderr", "page"), *results):
            if a == b:
                continue
            if isinstance(a, int):
                print(f"  {name}: {a} -> {b}")
                continue
            lines = difflib.unified_diff(a.decode(errors="replace").splitlines(),
                                         b.decode(errors="replace").splitlines(),
                                         "old", "new", lineterm="", n=1)
            for line in list(lines)[:40]:
                print("  " + line[:220])
    shutil.rmtree(workdir, ignore_errors=True)
    print(f"{counted} invocations, {counted * 4} outputs compared (exit status, standard output, "
          f"standard error, page): {differing} invocations differ")
    return differing


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("old", help="today's trovik command")
    parser.add_argument("new", help="the trovik command to check")
    parser.add_argument("--keep", help="make the corpus here and keep it (default: a temporary one)")
    parser.add_argument("--only", help="only invocations whose label contains this text")
    parser.add_argument("--verbose", action="store_true", help="list the invocations that match")
    options = parser.parse_args()
    parent = options.keep or tempfile.mkdtemp(prefix="trovik-compare-")
    os.makedirs(parent, exist_ok=True)
    corpus = Corpus(os.path.join(parent, "corpus"))
    shutil.rmtree(corpus.base, ignore_errors=True)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        corpus.make()
        differing = compare(os.path.abspath(options.old), os.path.abspath(options.new), corpus,
                            options.only, options.verbose)
    finally:
        corpus.stop()
        if not options.keep:
            shutil.rmtree(parent, ignore_errors=True)
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
