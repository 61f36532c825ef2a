"""`trovik serve` on a free loopback port, met as a user and as an attacker would: the printed
lines, the token's way from the URL into a cookie, every refusal (and the server serving on after
it), stalled and vanishing clients, signals, and a short load."""

import html
import http.client
import json
import os
import re
import signal
import socket
import struct
import subprocess
import threading
import time

import pytest

from test_command import command_path

IDLE_MS = 400  # TROVIK_SERVE_IDLE_MS: the idle limit, shortened for these tests
LONGEST_WAIT = 5  # seconds the server lets a request for changes wait
DEADLINE = 10  # seconds that any awaited event may take before the test fails
HOSTILE_NAME = "<script>alert(1)</script>"


def write_run(root, run_id, name, records=0, created_at="2024-03-05T07:08:09.120+00:00"):
    """A run file as the module writes it: a run_start line, then `records` track lines."""
    envelope = {"created_at": created_at, "elapsed_ms": 0,
                "experiment_name": name, "run_id": run_id, "schema_version": 1,
                "trovik_version": "0.2.0"}
    lines = [dict(envelope, kind="run_start", value={"git": None})]
    lines += [dict(envelope, kind="track", value={"loss": i}) for i in range(records)]
    with open(os.path.join(root, "runs", run_id + ".jsonl"), "w") as f:
        f.write("".join(json.dumps(line) + "\n" for line in lines))


class Server:
    def __init__(self, root, *args, env=None):
        self.process = subprocess.Popen(
            [command_path(), "serve", "--root", str(root), *args], stdout=subprocess.PIPE,
            stderr=subprocess.PIPE, text=True,
            env=dict(os.environ, TROVIK_SERVE_IDLE_MS=str(IDLE_MS), **(env or {})))
        self.url = self.process.stdout.readline().rstrip("\n")
        self.ssh = self.process.stdout.readline().rstrip("\n")
        match = re.fullmatch(r"http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32})", self.url)
        assert match, (self.url, self.process.stderr.read() if self.process.poll() else "")
        self.port, self.token = int(match[1]), match[2]
        self.host = f"127.0.0.1:{self.port}"
        self.cookie = f"trovik-{self.port}={self.token}"

    def get(self, target, headers=None, method="GET"):
        """One request with the cookie; returns (status, headers, body)."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=DEADLINE)
        try:
            connection.request(method, target, headers={"Cookie": self.cookie, **(headers or {})})
            response = connection.getresponse()
            return response.status, dict(response.getheaders()), response.read()
        finally:
            connection.close()

    def raw(self, data):
        """Sends bytes as they are; returns (status, body) of the answer read until the server
        closes the connection."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=DEADLINE) as client:
            client.sendall(data)
            answer = b""
            while chunk := client.recv(65536):
                answer += chunk
        head, _, body = answer.partition(b"\r\n\r\n")
        return int(head.split(b" ")[1]), body

    def stop(self, signal_number=signal.SIGTERM, timeout=DEADLINE):
        self.process.send_signal(signal_number)
        return self.process.wait(timeout=timeout)

    def filled(self, data):
        return (data.replace(b"{host}", self.host.encode())
                .replace(b"{cookie}", self.cookie.encode())
                .replace(b"{port}", str(self.port).encode()))


def eventually(predicate):
    deadline = time.monotonic() + DEADLINE
    while not predicate():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


@pytest.fixture
def runs_root(tmp_path):
    root = tmp_path / "root"
    (root / "runs").mkdir(parents=True)
    write_run(root, "0d6f7c52-aaaa-4bbb-8ccc-000000000001", HOSTILE_NAME, records=3)
    return root


@pytest.fixture
def server(runs_root):
    started = Server(runs_root, "--port", "0")
    # The runs are read after the server starts: the first request for changes waits for them.
    assert json.loads(started.get("/api/changes?since=0")[2])["runs"]
    yield started
    if started.process.poll() is None:
        started.process.kill()
    started.process.wait(timeout=DEADLINE)


def test_prints_the_url_and_the_tunnel(server):
    assert re.fullmatch(rf"ssh -N -L {server.port}:127\.0\.0\.1:{server.port} \S+", server.ssh)
    assert server.stop() == 0
    assert server.process.stdout.read() == "" and server.token not in server.process.stderr.read()


def test_token_in_the_url_becomes_a_cookie(server):
    status, headers, body = server.get(f"/?token={server.token}", headers={"Cookie": ""})
    assert (status, headers["Location"], body) == (303, "/", b"")
    assert headers["Set-Cookie"] == f"{server.cookie}; Path=/; HttpOnly; SameSite=Strict"
    status, headers, page = server.get("/")
    assert status == 200 and headers["Content-Type"] == "text/html; charset=utf-8"
    assert b"&lt;script&gt;alert(1)&lt;/script&gt;" in page and HOSTILE_NAME.encode() not in page
    nonce = re.search(rb'<script nonce="([0-9a-f]{32})">', page)[1].decode()
    assert f"script-src 'nonce-{nonce}'" in headers["Content-Security-Policy"]
    assert (headers["X-Content-Type-Options"], headers["Referrer-Policy"],
            headers["Cache-Control"]) == ("nosniff", "no-referrer", "no-store")
    assert not any(name.lower().startswith("access-control-") for name in headers)


@pytest.mark.parametrize("directory", ["plain", "<b>&amp;<i>"])
def test_the_page_says_what_it_serves_and_which_roots(tmp_path, directory):
    roots = [tmp_path / directory / "a", tmp_path / "b"]
    for root in roots:
        (root / "runs").mkdir(parents=True)
    started = Server(roots[0], "--root", str(roots[1]), "--port", "0")
    try:
        page = started.get("/")[2].decode()
    finally:
        assert started.stop() == 0
    shown = [html.escape(str(root), quote=False) for root in roots]
    assert f"<title>trovik serve: {shown[0]}, {shown[1]}</title>" in page
    assert f"<h1>trovik serve</h1><p class=\"generated\">following <bdi>{shown[0]}</bdi>, " \
        f"<bdi>{shown[1]}</bdi> \u00b7 " in page
    assert str(roots[0]) == shown[0] or str(roots[0]) not in page


def request(target="/", host=None, cookie=True, method="GET", extra=b""):
    """A raw request; {host} and {cookie} are filled in by the test from its server."""
    lines = [f"{method} {target} HTTP/1.1".encode(), b"Host: {host}" if host is None else host]
    if cookie:
        lines.append(b"Cookie: {cookie}")
    return b"\r\n".join(lines) + b"\r\n" + extra + b"\r\n"


@pytest.mark.parametrize("data, status", [
    (request(cookie=False), 403),
    (request(cookie=False, target="/?token=" + "0" * 32), 403),
    (request(cookie=False).replace(b"\r\n\r\n", b"\r\nCookie: trovik-1=x\r\n\r\n"), 403),
    (request(host=b"Host: rebound.example:{port}"), 403),
    (request(host=b"Host: 127.0.0.1:1"), 403),
    (request(host=b"X-No-Host: 1"), 403),
    (request("/../../etc/passwd"), 400),
    (request("/%2e%2e/%2e%2e/etc/passwd"), 400),
    (request("/api%2fchanges"), 400),
    (request("/api/series?run=..%2f..%2fetc"), 400),
    (b"GARBAGE\r\n\r\n", 400),
    (request("/" + "a" * 3000), 414),
    (request("/" + "a" * 20000), 414),
    (request(extra=b"X-Big: " + b"b" * 20000 + b"\r\n"), 431),
    (request(extra=b"".join(b"X-%d: 1\r\n" % i for i in range(100))), 431),
    (request(extra=b"Content-Length: 5\r\n").replace(b"\r\n\r\n", b"\r\n\r\nhello"), 413),
    (request(extra=b"Transfer-Encoding: chunked\r\n"), 413),
    (request(method="POST"), 405),
    (request(method="DELETE"), 405),
], ids=["no-token", "wrong-url-token", "wrong-cookie", "foreign-host", "other-port", "no-host",
        "dot-dot", "encoded-dot-dot", "encoded-slash", "encoded-parameter", "garbage",
        "long-target", "long-request-line", "big-header", "many-headers", "body", "chunked",
        "post", "delete"])
def test_refusals_say_nothing_and_leave_the_server_serving(server, data, status):
    assert server.raw(server.filled(data)) == (status, b"")
    assert server.get("/api/changes?since=0")[0] == 200


def test_routes_are_looked_up_never_read_from_disk(server):
    assert server.get("/runs/0d6f7c52-aaaa-4bbb-8ccc-000000000001.jsonl")[0] == 404
    assert server.get("/api/series?run=0d6f7c52")[0] == 404
    status, _, body = server.get("/api/series?run=0d6f7c52-aaaa-4bbb-8ccc-000000000001")
    assert status == 200 and json.loads(body)["run_id"].startswith("0d6f7c52")
    status, headers, body = server.get("/api/changes?since=0", method="HEAD")
    assert (status, body) == (200, b"") and int(headers["Content-Length"]) > 0


def test_a_waiting_page_hears_of_a_new_run(server, runs_root):
    cursor = json.loads(server.get("/api/changes?since=0")[2])["cursor"]
    answers = []
    waiting = threading.Thread(target=lambda: answers.append(
        server.get(f"/api/changes?since={cursor}")))
    waiting.start()
    write_run(runs_root, "0d6f7c52-aaaa-4bbb-8ccc-000000000002", "later",
              created_at="2024-03-06T07:08:09.120+00:00")
    waiting.join(DEADLINE)
    changes = json.loads(answers[0][2])
    assert changes["cursor"] > cursor
    assert [run["name"] for run in changes["runs"]] == ["later"]


@pytest.mark.parametrize("damage", ["delete", "truncate", "replace", "tear", "unreadable"])
def test_run_files_damaged_while_served_leave_it_serving(server, runs_root, damage):
    path = runs_root / "runs" / "0d6f7c52-aaaa-4bbb-8ccc-000000000001.jsonl"
    cursor = json.loads(server.get("/api/changes?since=0")[2])["cursor"]
    if damage == "delete":
        path.unlink()
    elif damage == "truncate":
        path.write_bytes(path.read_bytes()[:40])
    elif damage == "replace":
        write_run(runs_root, "replacement", "replaced", records=1)
        os.replace(runs_root / "runs" / "replacement.jsonl", path)
    elif damage == "tear":
        with open(path, "a") as f:
            f.write('{"kind":"track","value":{"loss":')
    else:
        path.chmod(0)
    # Long enough for the watcher to have looked at the file again (it waits for news).
    status, _, body = server.get(f"/api/changes?since={cursor}")
    assert status == 200 and json.loads(body)["cursor"] >= cursor
    if damage == "replace":
        assert [run["name"] for run in json.loads(body)["runs"]] == ["replaced"]
    assert server.get("/")[0] == 200 and server.process.poll() is None


def test_a_stalled_client_is_cut_off(server):
    with socket.create_connection(("127.0.0.1", server.port), timeout=DEADLINE) as client:
        client.sendall(f"GET / HTTP/1.1\r\nHost: {server.host}\r\n".encode())
        try:
            assert client.recv(1) == b""  # closed without an answer; the timeout would raise
        except ConnectionResetError:
            pass
    assert server.get("/")[0] == 200


def open_descriptors(pid):
    """The server's open sockets: the run files its watcher opens come and go by themselves."""
    sockets = 0
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            sockets += os.readlink(f"/proc/{pid}/fd/{fd}").startswith("socket:")
        except FileNotFoundError:
            pass
    return sockets


def test_clients_leaving_mid_response_cost_nothing(runs_root):
    for i in range(3000):
        write_run(runs_root, f"0d6f7c52-aaaa-4bbb-8ccc-{i:012d}", "sweep " + "x" * 100)
    server = Server(runs_root, "--port", "0")
    try:
        pid = server.process.pid
        # The runs are read after the server starts: the page is large once they are all in it.
        assert eventually(lambda: len(server.get("/")[2]) > 400_000)
        baseline = open_descriptors(pid)
        for _ in range(20):
            client = socket.socket()
            client.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            client.connect(("127.0.0.1", server.port))
            client.sendall(server.filled(request()))
            assert client.recv(1024).startswith(b"HTTP/1.1 200")
            client.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            client.close()  # a reset, with most of the page unsent
        assert eventually(lambda: open_descriptors(pid) == baseline)
    finally:
        server.process.kill()
        server.process.wait(timeout=DEADLINE)


@pytest.mark.parametrize("signal_number", [signal.SIGTERM, signal.SIGINT])
def test_signals_end_the_server_at_once_with_success(server, signal_number):
    # A page waiting for changes and an idle connection must not hold the exit up.
    waiting = socket.create_connection(("127.0.0.1", server.port))
    waiting.sendall(server.filled(request("/api/changes?since=999")))
    idle = socket.create_connection(("127.0.0.1", server.port))
    assert server.stop(signal_number, timeout=LONGEST_WAIT - 1) == 0
    waiting.close()
    idle.close()


def test_default_port_moves_aside_when_taken_and_a_chosen_one_does_not(runs_root):
    first, second = Server(runs_root), Server(runs_root)
    try:
        assert first.port != second.port
        taken = subprocess.run([command_path(), "serve", "--root", str(runs_root),
                                "--port", str(first.port)],
                               capture_output=True, text=True, timeout=DEADLINE)
        assert taken.returncode == 1 and "cannot listen on 127.0.0.1:" in taken.stderr
    finally:
        assert first.stop() == 0 and second.stop() == 0


def test_twenty_clients_at_once(server):
    failures, counts = [], []

    def client():
        connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=DEADLINE)
        done, end = 0, time.monotonic() + 2
        while time.monotonic() < end:
            try:
                for target in ("/", "/api/changes?since=0"):
                    connection.request("GET", target, headers={"Cookie": server.cookie})
                    response = connection.getresponse()
                    response.read()
                    if response.status != 200:
                        failures.append(response.status)
                    done += 1
            except (OSError, http.client.HTTPException) as error:
                failures.append(repr(error))
                connection.close()
        counts.append(done)

    clients = [threading.Thread(target=client) for _ in range(20)]
    for thread in clients:
        thread.start()
    for thread in clients:
        thread.join(DEADLINE)
    assert failures == [] and len(counts) == 20 and min(counts) > 0
