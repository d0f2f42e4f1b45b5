"""The measurements behind bench/run: each measure is one function that yields table rows.

Everything printed is also written to bench/RESULTS.md, and nothing else is.
"""

import argparse
import datetime
import os
import platform
import re
import shutil
import socket
import statistics
import subprocess
import tempfile
import time

BUILD = os.path.abspath("build")
UPLOAD = f"{BUILD}/bench/zanvel-upload"
SEND = f"{BUILD}/zanvel-send"
REFERENCE = f"{BUILD}/bench/tftp-ref-put"
SLOW_LINK = f"{BUILD}/bench/slow-link"
ATFTPD = f"{BUILD}/atftpd/usr/sbin/atftpd"
LINK_DELAY_MS = 5  # each way: a 10 ms round trip
HOST = "127.0.0.1"
TIMEOUT = 180  # seconds a single upload may take before it counts as hung
SIZES = [
    ("1 KiB", 1024),
    ("1 MiB", 1 << 20),
    ("8 MiB", 8 << 20),
    ("32 MiB - 1", (32 << 20) - 1),
    ("64 MiB", 64 << 20),
]
ENV = dict(os.environ, QT_QPA_PLATFORM="offscreen")
M8 = 8 << 20
M64 = 64 << 20


class Bench:
    """What every measure shares: the counted runs, a loopback tftpd-hpa, the test files."""

    def __init__(self, runs, work):
        self.runs = runs
        self.work = work
        self.root = os.path.join(work, "root")
        os.mkdir(self.root)
        os.chmod(self.root, 0o777)
        self.port = free_port()
        self.server = subprocess.Popen(["scripts/tftpd-hpa", str(self.port), self.root, "--create"])
        time.sleep(0.5)

    def stop(self):
        self.server.terminate()
        self.server.wait()

    def file(self, size):
        """A file of random bytes of this size, made once."""
        path = os.path.join(self.work, f"{size}.bin")
        if not os.path.exists(path):
            with open(path, "wb") as f:
                f.write(os.urandom(size))
        return path

    def upload(self, local, remote, *extra):
        return [UPLOAD, HOST, str(self.port), local, remote, *extra]

    def clients(self):
        """name -> function(local, remote) giving the command line."""
        port = str(self.port)
        return {
            "zanvel-upload": lambda l, r: self.upload(l, r),
            "zanvel-send": lambda l, r: [SEND, "--quiet", f"{HOST}:{port}", l, r],
            "reference": lambda l, r: [REFERENCE, HOST, port, l, r],
            "tftp-hpa": lambda l, r: ["tftp", "-m", "binary", HOST, port, "-c", "put", l, r],
            "curl": lambda l, r: ["curl", "-s", "--tftp-no-options", "-T", l,
                                  f"tftp://{HOST}:{port}/{r}"],
            "atftp": lambda l, r: ["atftp", "-p", "-l", l, "-r", r, HOST, port],
            "busybox": lambda l, r: ["busybox", "tftp", "-p", "-l", l, "-r", r, HOST, port],
        }


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


def upload_seconds(stdout):
    """The upload's own time, as zanvel-upload reports it."""
    return float(re.search(r"elapsed: ([0-9.]+) s", stdout).group(1))


def timed(command, **kw):
    """(stdout, user+sys seconds, wall seconds, peak resident KiB) of one process."""
    done = subprocess.run(["/usr/bin/time", "-f", "%U %S %e %M"] + command, env=ENV,
                          capture_output=True, text=True, **kw)
    user, system, wall, peak = done.stderr.strip().split("\n")[-1].split()
    return done.stdout, float(user) + float(system), float(wall), int(peak)


def stored_intact(local, stored):
    """Whether the server stored the file; atftpd acknowledges the last block before its
    buffered tail reaches the disk, so this waits a little for it."""
    with open(local, "rb") as f:
        sent = f.read()
    for _ in range(50):
        if os.path.exists(stored):
            with open(stored, "rb") as f:
                if f.read() == sent:
                    return True
        time.sleep(0.1)
    return False


def run_once(name, command, local, stored, timeout=TIMEOUT):
    """Seconds the upload took, or a short reason why it did not complete."""
    if os.path.exists(stored):
        os.remove(stored)
    start = time.perf_counter()
    try:
        done = subprocess.run(command, env=ENV, capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return "hung"
    wall = time.perf_counter() - start
    if done.returncode != 0:
        return f"failed ({done.returncode})"
    if not stored_intact(local, stored):
        return "corrupt"
    if name == "zanvel-upload":
        # The program starts once and uploads many times: the upload's own time counts.
        return upload_seconds(done.stdout)
    return wall


def median_cell(times):
    good = [t for t in times if isinstance(t, float)]
    if len(good) < len(times):
        return None, next(t for t in times if not isinstance(t, float))
    return statistics.median(good), f"{statistics.median(good):.3f} ({min(good):.3f}-{max(good):.3f})"


def measure_uploads(b):
    """Every client uploading every size, alternating, each copy checked byte for byte."""
    peers = b.clients()
    yield ("| file | " + " | ".join(peers) +
           " | zanvel / reference | zanvel / tftp-hpa | send / tftp-hpa | send / curl |")
    yield "|---" * (len(peers) + 5) + "|"
    ratio = lambda a, c: f"{a / c:.2f}" if a and c else "-"
    for label, size in SIZES:
        local = b.file(size)
        times = {name: [] for name in peers}
        failed = set()
        for attempt in range(b.runs + 1):
            for name, command in peers.items():
                if name in failed:
                    continue
                remote = f"{name}-{size}.bin"
                result = run_once(name, command(local, remote), local,
                                  os.path.join(b.root, remote))
                if attempt == 0 and not isinstance(result, float):
                    # A client that cannot do it once is not timed failing again.
                    failed.add(name)
                    times[name] = [f"{result} in the warm-up"]
                elif attempt > 0:
                    times[name].append(result)
        medians, cells = {}, []
        for name in peers:
            medians[name], cell = median_cell(times[name])
            cells.append(cell)
        yield (f"| {label} | " + " | ".join(cells) +
               f" | {ratio(medians['zanvel-upload'], medians['reference'])}"
               f" | {ratio(medians['zanvel-upload'], medians['tftp-hpa'])}"
               f" | {ratio(medians['zanvel-send'], medians['tftp-hpa'])}"
               f" | {ratio(medians['zanvel-send'], medians['curl'])} |")


def slow_link_clients(port, blksize, windowsize):
    """name -> function(local, remote), for the clients that can ask for these options."""
    to = f"{HOST}:{port}"
    send = [SEND, "--quiet"]
    atftp = ["atftp"]
    curl = ["curl", "-s"]
    if blksize:
        send += ["--blksize", str(blksize)]
        atftp += ["--option", f"blksize {blksize}"]
        curl += ["--tftp-blksize", str(blksize)]
    else:
        curl += ["--tftp-no-options"]
    if windowsize:
        send += ["--windowsize", str(windowsize)]
        atftp += ["--option", f"windowsize {windowsize}"]
    clients = {
        "zanvel-send": lambda l, r: send + [to, l, r],
        "atftp": lambda l, r: atftp + ["-p", "-l", l, "-r", r, HOST, str(port)],
    }
    # curl has no window option.
    if not windowsize:
        clients["curl"] = lambda l, r: curl + ["-T", l, f"tftp://{to}/{r}"]
    return clients


def start_atftpd(b, name, *extra):
    """atftpd on a port of its own, serving a folder of its own: (process, port, folder)."""
    if not os.path.exists(ATFTPD):
        subprocess.run(["scripts/unpack-atftpd", BUILD], check=True, capture_output=True)
    root = os.path.join(b.work, name)
    os.mkdir(root)
    os.chmod(root, 0o777)
    port = free_port()
    server = subprocess.Popen([ATFTPD, "--daemon", "--no-fork", "--port", str(port),
                               "--bind-address", HOST, "--user", "root", "--group", "root",
                               "--logfile", "/dev/null", *extra, root])
    time.sleep(0.5)
    return server, port, root


def measure_slow_link(b):
    """Uploads over a 10 ms round trip, with and without options, against both servers."""
    atftpd, atftpd_port, atftpd_root = start_atftpd(b, "atftpd-root")
    servers = [("tftpd-hpa", b.port, b.root), ("atftpd", atftpd_port, atftpd_root)]
    links = []
    try:
        yield (f"Over a {2 * LINK_DELAY_MS} ms round trip (the relay holding each datagram "
               f"{LINK_DELAY_MS} ms each way), one run each; seconds, and zanvel-send's speed-up "
               "over its own upload without options.\n")
        yield "| server | file | options | zanvel-send | atftp | curl | speed-up | send / atftp | send / curl |"
        yield "|---|---|---|---|---|---|---|---|---|"
        for server, port, root in servers:
            link = subprocess.Popen([SLOW_LINK, str(port), str(LINK_DELAY_MS)],
                                    stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
            links.append(link)
            link_port = int(link.stdout.readline())
            options = [(0, 0), (1468, 0)]
            if server == "atftpd":
                options.append((1468, 16))
            for label, size in [("1 MiB", 1 << 20), ("8 MiB", M8)]:
                local = b.file(size)
                plain = None
                for blksize, windowsize in options:
                    times = {}
                    for name, command in slow_link_clients(link_port, blksize, windowsize).items():
                        remote = f"slow-{name}-{size}.bin"
                        times[name] = run_once(name, command(local, remote), local,
                                               os.path.join(root, remote), timeout=900)
                    cell = lambda n: (f"{times[n]:.2f}" if isinstance(times.get(n), float)
                                      else times.get(n, "-"))
                    ratio = lambda a, c: (f"{times[a] / times[c]:.2f}" if isinstance(
                        times.get(a), float) and isinstance(times.get(c), float) else "-")
                    send = times["zanvel-send"]
                    if not blksize and isinstance(send, float):
                        plain = send
                    speedup = f"{plain / send:.2f}x" if plain and isinstance(send, float) else "-"
                    asked = " + ".join(f"{n} {v}" for n, v in
                                       [("blksize", blksize), ("windowsize", windowsize)] if v)
                    yield (f"| {server} | {label} | {asked or 'none'} | {cell('zanvel-send')} | "
                           f"{cell('atftp')} | {cell('curl')} | {speedup} | "
                           f"{ratio('zanvel-send', 'atftp')} | {ratio('zanvel-send', 'curl')} |")
    finally:
        for link in links:
            link.terminate()
            link.wait()
        atftpd.terminate()
        atftpd.wait()


def lossy_run(name, command, local, stored, server_port, loss, seed, blksize, timeout=300,
              hold=()):
    """One upload through a relay that loses this share of datagrams both ways, and holds back
    (share, milliseconds) of them while later ones pass: (seconds or why not, DATA packets the
    client sent, blocks of the file)."""
    link = subprocess.Popen([SLOW_LINK, str(server_port), "0", str(loss), "0", str(seed),
                             str(blksize), *(str(h) for h in hold)],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        port = int(link.stdout.readline())
        result = run_once(name, command(port), local, stored, timeout=timeout)
        counts, _ = link.communicate(timeout=10)
    finally:
        if link.poll() is None:
            link.kill()
            link.wait()
    _, data, last = (int(n) for n in counts.split())
    return result, data, last


def loss_clients(blksize, windowsize):
    """name -> function(local, remote, port), each with a one-second retransmission."""
    send = [SEND, "--quiet", "--retransmit", "1000", "--blksize", str(blksize)]
    atftp = ["atftp", "--tftp-timeout", "1", "--option", f"blksize {blksize}"]
    if windowsize > 1:
        send += ["--windowsize", str(windowsize)]
        atftp += ["--option", f"windowsize {windowsize}"]
    return {
        "zanvel-send": lambda l, r, p: send + [f"{HOST}:{p}", l, r],
        "atftp": lambda l, r, p: atftp + ["-p", "-l", l, "-r", r, HOST, str(p)],
    }


def seeded_runs(clients, local, root, port, loss, blksize, seeds, tag, hold=()):
    """Each client once per seed through a relay losing this share both ways: name -> (median
    seconds or why not, median DATA packets per block of the file)."""
    blocks = os.path.getsize(local) // blksize + 1
    times, per_block = {}, {}
    for name, command in clients.items():
        results = []
        for seed in seeds:
            remote = f"{tag}-{name}-{seed}.bin"
            result, data, _ = lossy_run(
                name, lambda p: command(local, remote, p), local,
                os.path.join(root, remote), port, loss, seed, blksize, hold=hold)
            results.append((result, data / blocks))
        good = [r for r in results if isinstance(r[0], float)]
        if len(good) < len(results):
            failed = next(r[0] for r in results if not isinstance(r[0], float))
            times[name] = f"{failed} ({len(results) - len(good)} of {len(results)})"
        else:
            times[name] = statistics.median(r[0] for r in good)
        per_block[name] = f"{statistics.median(r[1] for r in good):.2f}" if good else "-"
    return times, per_block


def time_cell(times, name):
    return f"{times[name]:.2f}" if isinstance(times[name], float) else times[name]


def time_ratio(times, a, b):
    if isinstance(times[a], float) and isinstance(times[b], float):
        return f"{times[a] / times[b]:.2f}"
    return "-"


def measure_loss(b):
    """Windows under loss: 4 MiB in blocks of 1468 bytes to atftpd through a relay that loses
    datagrams both ways (all but the request and the last acknowledgement, which no client can
    make good with atftpd), both sides retransmitting after a second, three seeds each."""
    server, port, root = start_atftpd(b, "loss-root", "--retry-timeout", "1")
    size, blksize, seeds = 4 << 20, 1468, (1, 2, 3, 4, 5)
    local = b.file(size)
    try:
        yield ("4 MiB, blksize 1468, to atftpd (`--retry-timeout 1`) through a relay losing the "
               "given share of datagrams both ways; clients retransmit after 1 s. Median of "
               f"{len(seeds)} seeds: seconds, and DATA packets sent per block of the file.\n")
        yield "| loss | window | zanvel-send | atftp | send / atftp | DATA per block: send | atftp |"
        yield "|---|---|---|---|---|---|---|"
        for loss, windowsize in ((0.01, 4), (0.01, 16), (0.01, 64), (0.05, 16)):
            times, per_block = seeded_runs(loss_clients(blksize, windowsize), local, root, port,
                                           loss, blksize, seeds, f"loss-{windowsize}")
            yield (f"| {loss:.0%} | {windowsize} | {time_cell(times, 'zanvel-send')} | "
                   f"{time_cell(times, 'atftp')} | {time_ratio(times, 'zanvel-send', 'atftp')} | "
                   f"{per_block['zanvel-send']} | {per_block['atftp']} |")
    finally:
        server.terminate()
        server.wait()
    yield ""
    yield from reordering(b)
    yield ""
    yield from quick_repeats(b)


def reordering(b):
    """Nothing lost, but some datagrams overtaken: a window must not wait out a retransmission
    period for a block that was only late. Both sides with their default timers."""
    server, port, root = start_atftpd(b, "reorder-root")
    size, blksize, windowsize, seeds = 4 << 20, 1468, 16, (1, 2, 3, 4, 5)
    local = b.file(size)
    clients = {
        "zanvel-send": lambda l, r, p: [SEND, "--quiet", "--blksize", str(blksize),
                                        "--windowsize", str(windowsize), f"{HOST}:{p}", l, r],
        "atftp": lambda l, r, p: ["atftp", "--option", f"blksize {blksize}", "--option",
                                  f"windowsize {windowsize}", "-p", "-l", l, "-r", r, HOST,
                                  str(p)],
    }
    try:
        yield (f"4 MiB, blksize {blksize}, window {windowsize}, to atftpd through a relay that "
               "holds 2 % of datagrams back 20 ms both ways while later ones pass, and loses "
               f"none; default timers. Median of {len(seeds)} seeds: seconds, and DATA packets "
               "sent per block.\n")
        yield "| zanvel-send | atftp | send / atftp | DATA per block: send | atftp |"
        yield "|---|---|---|---|---|"
        times, per_block = seeded_runs(clients, local, root, port, 0, blksize, seeds, "reorder",
                                       hold=(0.02, 20))
        yield (f"| {time_cell(times, 'zanvel-send')} | {time_cell(times, 'atftp')} | "
               f"{time_ratio(times, 'zanvel-send', 'atftp')} | {per_block['zanvel-send']} | "
               f"{per_block['atftp']} |")
    finally:
        server.terminate()
        server.wait()


def quick_repeats(b):
    """A server that repeats its acknowledgement after 100 ms (tftpd-hpa `--retransmit 100000`,
    as small devices do): a lost DATA is made good by answering that repeat, not by the client's
    own timer. Every client with its default timers and no options."""
    root = os.path.join(b.work, "quick-root")
    os.mkdir(root)
    os.chmod(root, 0o777)
    port = free_port()
    server = subprocess.Popen(["scripts/tftpd-hpa", str(port), root, "--create",
                               "--retransmit", "100000"])
    time.sleep(0.5)
    size, seeds = 256 << 10, (1, 2, 3, 4, 5)
    local = b.file(size)
    clients = {
        "zanvel-send": lambda l, r, p: [SEND, "--quiet", f"{HOST}:{p}", l, r],
        "atftp": lambda l, r, p: ["atftp", "-p", "-l", l, "-r", r, HOST, str(p)],
        "tftp-hpa": lambda l, r, p: ["tftp", "-m", "binary", HOST, str(p), "-c", "put", l, r],
    }
    try:
        yield ("256 KiB in blocks of 512 bytes to tftpd-hpa repeating its acknowledgement after "
               "100 ms (`--retransmit 100000`), through a relay losing the given share of "
               f"datagrams both ways; default timers. Median of {len(seeds)} seeds: seconds, "
               "and DATA packets sent per block.\n")
        yield ("| loss | zanvel-send | atftp | tftp-hpa | send / atftp | "
               "DATA per block: send | atftp | tftp-hpa |")
        yield "|---|---|---|---|---|---|---|---|"
        for loss in (0.01, 0.05):
            times, per_block = seeded_runs(clients, local, root, port, loss, 512, seeds,
                                           f"quick-{loss}")
            yield (f"| {loss:.0%} | {time_cell(times, 'zanvel-send')} | "
                   f"{time_cell(times, 'atftp')} | {time_cell(times, 'tftp-hpa')} | "
                   f"{time_ratio(times, 'zanvel-send', 'atftp')} | {per_block['zanvel-send']} | "
                   f"{per_block['atftp']} | {per_block['tftp-hpa']} |")
    finally:
        server.terminate()
        server.wait()


def write_store(path, entries):
    """An entrys.txt of (name, port, local file, remote name) on loopback."""
    with open(path, "w", newline="") as f:
        for i, (name, port, local, remote) in enumerate(entries):
            f.write(f"[entryno{i}]\r\nentryname={name}\r\naddress={HOST}\r\nport={port}\r\n"
                    f"localfile={local}\r\nremotefile={remote}\r\n")


def measure_many(b):
    """32 devices, 256 KiB each, each its own tftpd-hpa: zanvel-send --each with 32 at a time,
    against one upload alone and the 32 one after another; behind the 10 ms round trip, and on
    loopback against 32 zanvel-send processes."""
    count, local = 32, b.file(256 << 10)
    servers, links = [], []
    try:
        roots, ports, link_ports = [], [], []
        for i in range(count):
            root = os.path.join(b.work, f"many-{i}")
            os.mkdir(root)
            os.chmod(root, 0o777)
            port = free_port()
            servers.append(subprocess.Popen(["scripts/tftpd-hpa", str(port), root, "--create"]))
            link = subprocess.Popen([SLOW_LINK, str(port), str(LINK_DELAY_MS)],
                                    stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
            links.append(link)
            roots.append(root)
            ports.append(port)
            link_ports.append(int(link.stdout.readline()))
        time.sleep(0.5)
        slow = os.path.join(b.work, "many-slow.txt")
        fast = os.path.join(b.work, "many-fast.txt")
        write_store(slow, [(f"dev-{i}", p, local, "fw.bin") for i, p in enumerate(link_ports)])
        write_store(fast, [(f"dev-{i}", p, local, "fw.bin") for i, p in enumerate(ports)])

        def each(store, jobs):
            command = [SEND, "--quiet", "--store", store, "--each", "dev-*", "--jobs", str(jobs)]
            _, cpu, wall, _ = timed(command)
            intact = all(stored_intact(local, os.path.join(r, "fw.bin")) for r in roots)
            return wall, cpu, intact

        one = min(timed([SEND, "--quiet", "--store", slow, "dev-0"])[2] for _ in range(3))
        together, _, intact = each(slow, count)
        apart, _, _ = each(slow, 1)
        yield (f"| --each, 32 x 256 KiB over a {2 * LINK_DELAY_MS} ms round trip, --jobs 32 | "
               f"{together:.2f} s; one alone {one:.2f} s: {together / one:.2f}x"
               f"{'' if intact else ' (a stored file differs)'} | <= 1.5x |")
        yield (f"| the same, against the 32 one after another (--jobs 1, {apart:.1f} s) | "
               f"1/{apart / together:.0f} | <= 1/20 |")
        walls, cpus = [], []
        for _ in range(b.runs):
            wall, cpu, _ = each(fast, count)
            start = time.perf_counter()
            processes_cpu = 0.0
            for i, port in enumerate(ports):
                processes_cpu += timed([SEND, "--quiet", f"{HOST}:{port}", local, "fw.bin"])[1]
            walls.append((wall, time.perf_counter() - start))
            cpus.append((cpu, processes_cpu))
        wall, processes_wall = (statistics.median(w[k] for w in walls) for k in (0, 1))
        cpu, processes_cpu = (statistics.median(c[k] for c in cpus) for k in (0, 1))
        yield (f"| --each, the same 32 on loopback, against 32 zanvel-send one after another: "
               f"wall, CPU | {wall:.2f} s / {processes_wall:.2f} s = {wall / processes_wall:.2f}; "
               f"{cpu:.2f} s / {processes_cpu:.2f} s = {cpu / processes_cpu:.2f} | <= 1, <= 1.2 |")
    finally:
        for process in links + servers:
            process.terminate()
            process.wait()


def measure_driver_startup(b):
    """The driver's start-up and exit: the whole process less the upload it reports."""
    starts = []
    for _ in range(b.runs):
        stdout, _, wall, _ = timed(b.upload(b.file(M8), "s.bin"))
        starts.append(wall - upload_seconds(stdout))
    yield f"| zanvel-upload start-up and exit, median | {statistics.median(starts) * 1000:.0f} ms | |"


def measure_trace_window(b):
    """What the shown trace window costs an 8 MiB upload."""
    hidden, shown = [], []
    for _ in range(b.runs):
        hidden.append(upload_seconds(timed(b.upload(b.file(M8), "h.bin"))[0]))
        shown.append(upload_seconds(timed(b.upload(b.file(M8), "t.bin", "--trace-window"))[0]))
    h, s = statistics.median(hidden), statistics.median(shown)
    yield f"| 8 MiB with the trace window shown / hidden | {s:.3f} s / {h:.3f} s = {s / h:.2f} | <= 2 |"


def measure_memory(b):
    """Peak memory of a 1 GiB upload in large blocks, in the window and on the command line, above
    that of an empty upload: the file is read as it goes, not held."""
    empty = b.file(0)
    big = b.file(1 << 30)
    for name, command in (("zanvel-upload", lambda l, r: b.upload(l, r, "--blksize", "65464")),
                          ("zanvel-send", lambda l, r: [SEND, "--quiet", "--blksize", "65464",
                                                        f"{HOST}:{b.port}", l, r])):
        _, _, _, base = timed(command(empty, "empty.bin"))
        _, _, _, peak = timed(command(big, "g.bin"))
        yield (f"| peak memory, 1 GiB upload, blksize 65464, {name} | {peak / 1024:.0f} MiB "
               f"(empty upload {base / 1024:.0f} MiB: + {(peak - base) / 1024:.0f} MiB) | "
               f"empty + 40 MiB |")
        os.remove(os.path.join(b.root, "g.bin"))


def syscall_counts(command):
    """How often the command made each system call, counted by the kernel's tracepoints: unlike
    strace, they slow the calls too little to change how a client waits."""
    with tempfile.NamedTemporaryFile("r", suffix=".perf") as log:
        done = subprocess.run(["perf", "stat", "-x,", "-o", log.name,
                               "-e", "syscalls:sys_enter_*", "--"] + command, env=ENV,
                              capture_output=True, text=True)
        counts = []
        for line in log:
            parts = line.split(",")
            if len(parts) > 2 and parts[0].isdigit() and parts[2].startswith("syscalls:sys_enter_"):
                counts.append((parts[2].removeprefix("syscalls:sys_enter_"), int(parts[0])))
    if not counts:
        raise RuntimeError("perf counted no system call: " + done.stderr.strip()[-200:])
    return sorted(counts, key=lambda count: -count[1])


def measure_calls_per_block(b):
    """System calls and CPU a block (median of the counted runs) of an 8 MiB upload, against the
    reference and tftp-hpa."""
    local = b.file(M8)
    blocks = M8 // 512 + 1
    for name, command in b.clients().items():
        if name not in ("zanvel-upload", "reference", "tftp-hpa"):
            continue
        # The awake wait for each answer makes one run's figure vary with the machine's load:
        # the median of the counted runs.
        cpu = statistics.median(timed(command(local, "c.bin"))[1] for _ in range(b.runs))
        counts = [(n, c) for n, c in syscall_counts(command(local, "c.bin")) if c >= blocks / 2]
        per_block = ", ".join(f"{c / blocks:.2f} {n}" for n, c in counts)
        total = sum(c for _, c in counts) / blocks
        yield f"| {name}: system calls a block (8 MiB) | {total:.1f} ({per_block}) | |"
        yield f"| {name}: CPU a block (8 MiB, user + system) | {cpu / blocks * 1e6:.1f} µs | |"


def measure_waiting_cpu(b):
    """A silent server: the upload waits its five retransmission periods for nothing."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as silent:
        silent.bind((HOST, 0))
        command = [UPLOAD, HOST, str(silent.getsockname()[1]), b.file(M8), "x.bin"]
        _, cpu, wall, _ = timed(command)
    yield f"| CPU while a silent server makes the upload wait | {cpu / wall * 100:.2f} % of a core over {wall:.1f} s | < 1 % |"


def measure_window_startup(b):
    """From exec to the main window mapped on an X server, with a store of 1,000 entries."""
    prefix = os.path.join(b.work, "prefix")
    subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix], capture_output=True,
                   check=True)
    # An installed program reads the list from the user's configuration folder.
    config = os.path.join(b.work, "config")
    os.makedirs(os.path.join(config, "zanvel-tftp"))
    with open(os.path.join(config, "zanvel-tftp/entrys.txt"), "w") as f:
        for i in range(1000):
            f.write(f"[entryno{i}]\r\nentryname=router {i}\r\naddress=10.0.{i // 256}.{i % 256}\r\n"
                    f"port=69\r\nlocalfile=/srv/images/router-{i}.bin\r\nremotefile=router-{i}.bin\r\n")
    display = f":{free_display()}"
    # -noreset: otherwise the server resets when the probe below disconnects, and a program
    # connecting meanwhile finds no display.
    xvfb = subprocess.Popen(["Xvfb", display, "-noreset", "-screen", "0", "1280x1024x24"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    env = {k: v for k, v in os.environ.items() if k != "QT_QPA_PLATFORM"}
    env["DISPLAY"] = display
    env["XDG_CONFIG_HOME"] = config
    results = []
    try:
        # A program started before the display takes connections ends at once.
        while subprocess.run(["xdpyinfo"], env=env, capture_output=True).returncode != 0:
            if xvfb.poll() is not None:
                raise RuntimeError(f"Xvfb {display} did not start")
            time.sleep(0.1)
        for _ in range(b.runs + 1):
            start = time.perf_counter()
            program = subprocess.Popen([os.path.join(prefix, "bin/zanvel-tftp")], env=env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                       text=True)
            while time.perf_counter() - start < 20 and program.poll() is None:
                info = subprocess.run(["xwininfo", "-name", "Zanvel TFTP "], env=env,
                                      capture_output=True, text=True).stdout
                if "IsViewable" in info:
                    break
            if program.poll() is not None:
                reason = " ".join(program.stderr.read().split())[-200:]
                raise RuntimeError(f"the program ended before its window showed: {reason}")
            results.append(time.perf_counter() - start)
            program.kill()
            program.wait()
    finally:
        xvfb.terminate()
        xvfb.wait()
    shown = statistics.median(results[1:]) * 1000
    yield f"| main window shown after start, 1,000 entries, median | {shown:.0f} ms | <= 150 ms |"


def free_display():
    number = 93
    while os.path.exists(f"/tmp/.X11-unix/X{number}") or os.path.exists(f"/tmp/.X{number}-lock"):
        number += 1
    return number


MEASURES = {
    "uploads": measure_uploads,
    "slow-link": measure_slow_link,
    "loss": measure_loss,
    "many": measure_many,
    "driver-startup": measure_driver_startup,
    "trace-window": measure_trace_window,
    "memory": measure_memory,
    "calls-per-block": measure_calls_per_block,
    "waiting-cpu": measure_waiting_cpu,
    "window-startup": measure_window_startup,
}


def cpu_model():
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return platform.processor()


def versions():
    names = ["qt6-base-dev", "tftpd-hpa", "tftp-hpa", "curl", "atftp", "busybox"]
    out = subprocess.run(["dpkg-query", "-W", "-f", "${Package} ${Version}\\n"] + names,
                         capture_output=True, text=True).stdout
    return ", ".join(out.split("\n")[:-1])


def main():
    parser = argparse.ArgumentParser(
        prog="bench/run",
        description="Times the upload against the other TFTP clients on a loopback tftpd-hpa.")
    parser.add_argument("runs", nargs="?", type=int, default=5,
                        help="counted runs of each timing, after one warm-up (default 5)")
    parser.add_argument("--only", action="append", choices=list(MEASURES), metavar="MEASURE",
                        help="run only this measure (may be repeated): " + ", ".join(MEASURES))
    parser.add_argument("--results", default="bench/RESULTS.md",
                        help="where to write what is printed (default bench/RESULTS.md)")
    args = parser.parse_args()

    lines = []

    def out(text=""):
        print(text, flush=True)
        lines.append(text)

    out("# Upload benchmark\n")
    out(f"{datetime.date.today()}, {platform.node()}: {os.cpu_count()} cores, "
        f"{cpu_model()}, kernel {platform.release()}; {versions()}.")
    # In memory when it can be, so that the disk writing back the servers' copies does not
    # time itself into the uploads.
    work = tempfile.mkdtemp(prefix="zanvel-bench-",
                            dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
    out(f"Loopback tftpd-hpa, files in {os.path.dirname(work)}; {args.runs} counted runs after "
        "one warm-up, clients alternating. "
        "Times in seconds: median (min-max). zanvel-upload: the upload's own time, from "
        "the start of the exchange to its result; the others, zanvel-send included: the whole "
        "process.\n")
    bench = Bench(args.runs, work)
    try:
        chosen = args.only or list(MEASURES)
        # The two measures with tables of their own come first.
        for table in ("uploads", "slow-link", "loss"):
            if table in chosen:
                for row in MEASURES[table](bench):
                    out(row)
                out()
        others = [name for name in chosen if name not in ("uploads", "slow-link", "loss")]
        if others:
            out("| measure | value | target |")
            out("|---|---|---|")
        for name in others:
            try:
                for row in MEASURES[name](bench):
                    out(row)
            except (RuntimeError, OSError, subprocess.CalledProcessError) as e:
                # One measure that cannot run here costs its row, not the whole run's results.
                out(f"| {name} | not measured: {e} | |")
    finally:
        bench.stop()
        shutil.rmtree(work, ignore_errors=True)
    with open(args.results, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
