"""`trovik serve` under load: 20 clients for 60 s on loopback (wrk, keep-alive), each alternating
between the page and the changes document as pages do, against one client alone; then the server
idle with 1,000 unchanged runs under its root.

Budgets: no error and no refused request under load; the 99th percentile of the latency within the
2 s that a live page may take to show a new record (noted); the idle server's CPU time (noted, with
the 2 % of one core it may take).
"""

from __future__ import annotations

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

import fixtures
import harness
import run_files
from scenario_command import command_path

LOAD_SECONDS = 60
CLIENTS = 20
ALONE_SECONDS = 5
IDLE_SECONDS = 10
# Every request alternates between the page and the changes since the start.
WRK_SCRIPT = """
local paths = {"/", "/api/changes?since=0"}
local next = 0
request = function()
  next = next % #paths + 1
  return wrk.format("GET", paths[next])
end
"""
UNITS = {"us": 1e-6, "ms": 1e-3, "s": 1.0}


class _Server:
    def __init__(self, root: str):
        self.process = subprocess.Popen([command_path(), "serve", "--root", root, "--port", "0"],
                                        stdout=subprocess.PIPE, text=True)
        url = self.process.stdout.readline()
        self.process.stdout.readline()
        match = re.match(r"http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]+)", url)
        if not match:
            raise RuntimeError(f"trovik serve printed {url!r}")
        self.port, token = match[1], match[2]
        self.cookie = f"trovik-{self.port}={token}"

    def cpu_seconds(self) -> float:
        with open(f"/proc/{self.process.pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def peak_resident_bytes(self) -> int:
        with open(f"/proc/{self.process.pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) * 1024
        return 0

    def stop(self) -> int:
        self.process.send_signal(signal.SIGTERM)
        return self.process.wait(timeout=10)


def _wrk(server: _Server, script: str, clients: int, seconds: int) -> dict:
    output = subprocess.run(
        ["wrk", f"-t{min(clients, 2)}", f"-c{clients}", f"-d{seconds}s", "--latency",
         "-s", script, "-H", f"Cookie: {server.cookie}", f"http://127.0.0.1:{server.port}"],
        capture_output=True, text=True, check=True).stdout
    figures = {}
    for percent, value, unit in re.findall(r"^\s+(50|90|99)%\s+([\d.]+)(us|ms|s)\s*$", output,
                                           re.MULTILINE):
        figures[f"p{percent}"] = float(value) * UNITS[unit]
    figures["rate"] = float(re.search(r"Requests/sec:\s+([\d.]+)", output)[1])
    non_2xx = re.search(r"Non-2xx or 3xx responses:\s+(\d+)", output)
    errors = re.search(r"Socket errors: connect (\d+), read (\d+), write (\d+), timeout (\d+)",
                       output)
    figures["errors"] = (int(non_2xx[1]) if non_2xx else 0) + (
        sum(int(n) for n in errors.groups()) if errors else 0)
    return figures


def run(trovik) -> harness.ScenarioResult:
    result = harness.ScenarioResult("serve", "trovik serve: 20 clients on loopback, and idle", "s")
    if not os.path.exists(command_path()):
        result.skipped = f"no trovik command at {command_path()}"
        return result
    if shutil.which("wrk") is None:
        result.skipped = "wrk is not installed (Debian: apt-get install wrk)"
        return result
    with fixtures.scratch("serve") as scratch, tempfile.NamedTemporaryFile(
            "w", suffix=".lua") as script:
        script.write(WRK_SCRIPT)
        script.flush()
        loaded_root = os.path.join(scratch, "loaded")
        run_files.write_runs(loaded_root, 200, 100)
        server = _Server(loaded_root)
        try:
            alone = _wrk(server, script.name, 1, ALONE_SECONDS)
            loaded = _wrk(server, script.name, CLIENTS, LOAD_SECONDS)
            peak = server.peak_resident_bytes()
        finally:
            status = server.stop()

        idle_root = os.path.join(scratch, "idle")
        run_files.write_runs(idle_root, 1000, 10)
        server = _Server(idle_root)
        try:
            time.sleep(2)  # past the first listings
            before = server.cpu_seconds()
            time.sleep(IDLE_SECONDS)
            idle_share = (server.cpu_seconds() - before) / IDLE_SECONDS
        finally:
            server.stop()

    for percent in ("p50", "p99"):
        result.samples[f"{CLIENTS} clients, {percent} latency"] = [loaded[percent]]
        result.samples[f"1 client, {percent} latency"] = [alone[percent]]
    result.compare(f"{CLIENTS} clients, p99 latency", "1 client, p99 latency")
    within = loaded["p99"] <= 2.0
    result.notes.append(f"{CLIENTS} clients for {LOAD_SECONDS} s: {loaded['rate']:.0f} requests/s, "
                        f"{loaded['errors']} errors or refusals, p90 {loaded['p90'] * 1e3:.2f} ms, "
                        f"p99 {loaded['p99'] * 1e3:.2f} ms "
                        f"({'within' if within else 'OVER'} the 2 s budget); exit status {status}")
    result.notes.append(f"server peak memory under load (200 runs): {peak / 2**20:.1f} MB")
    result.notes.append(f"idle with 1,000 unchanged runs: {idle_share * 100:.2f} % of one core "
                        f"({'within' if idle_share <= 0.02 else 'OVER'} 2 %)")
    if loaded["errors"]:
        result.notes.append("FAILED: requests failed under load")
    return result
