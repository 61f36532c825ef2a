"""A process killed with SIGKILL while it records: its run files hold whole lines, at most one
torn line at the very end, and every record it had acknowledged."""

import json
import os
import random
import signal

import pytest

from test_reliability_support import padding, scaled

TORN_START = b'{"created_at":"'


def check_killed_run_file(path):
    """Whole records, then at most one torn final line; returns the whole records."""
    with open(path, "rb") as f:
        data = f.read()
    *lines, last = data.split(b"\n")
    records = [json.loads(line) for line in lines]
    # A torn line is the start of a record that was being written when the process died.
    assert last == b"" or last.startswith(TORN_START[: len(last)]), last[:80]
    if last:
        with pytest.raises(ValueError):
            json.loads(last)
    return records


def child_loop(pipe, mode, run, rng, trovik):
    """Records without end, acknowledging each finished call with one byte on `pipe`."""
    for index in range(10**9):
        if mode == "track":
            size = rng.randint(600, 40_000)
            run.track({"i": index, "size": size, "pad": padding(index, size)})
        else:
            trovik.Experiment(f"crash {index}").track(index)
        os.write(pipe, b".")


def kill_after(pid, pipe, acknowledgements):
    """Waits until the child has acknowledged that many calls, then kills it at once."""
    seen = 0
    while seen < acknowledgements:
        chunk = os.read(pipe, acknowledgements - seen)
        assert chunk, "the child died before it was killed"
        seen += len(chunk)
    os.kill(pid, signal.SIGKILL)
    _, status = os.waitpid(pid, 0)
    assert os.WIFSIGNALED(status) and os.WTERMSIG(status) == signal.SIGKILL


@pytest.mark.parametrize("mode", ["track", "construct"])
def test_stress_sigkill_leaves_whole_lines(trovik, root, mode):
    rounds = scaled(6, 60)
    rng = random.Random(f"crash {mode}")
    for round_number in range(rounds):
        run = trovik.Experiment(f"round {round_number}")
        runs_before = set(os.listdir(os.path.dirname(run.path)))
        acknowledgements = rng.randint(1, 30)
        read_end, write_end = os.pipe()
        pid = os.fork()
        if pid == 0:
            try:
                os.close(read_end)
                child_loop(write_end, mode, run, random.Random(round_number), trovik)
            finally:
                os._exit(1)
        os.close(write_end)
        try:
            kill_after(pid, read_end, acknowledgements)
        finally:
            os.close(read_end)

        if mode == "track":
            records = check_killed_run_file(run.path)
            assert records[0]["kind"] == "run_start"
            values = [record["value"] for record in records[1:]]
            assert len(values) >= acknowledgements
            for index, value in enumerate(values):
                assert value == {"i": index, "size": value["size"],
                                 "pad": padding(index, value["size"])}
        else:
            runs = os.path.dirname(run.path)
            created = sorted(set(os.listdir(runs)) - runs_before)
            assert len(created) >= acknowledgements
            complete = 0
            for name in created:
                records = check_killed_run_file(os.path.join(runs, name))
                assert [record["kind"] for record in records] in (
                    [], ["run_start"], ["run_start", "track"])
                complete += len(records) == 2
            assert complete >= acknowledgements
