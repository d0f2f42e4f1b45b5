"""The measurements behind bench/run; see that script."""

import datetime
import os
import platform
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

RUNS = int(sys.argv[1])
BUILD = os.path.abspath("build")
UPLOAD = f"{BUILD}/bench/zanvel-upload"
TIMEOUT = 180  # seconds a single upload may take before it counts as hung
SIZES = [
    ("1 KiB", 1024),
    ("1 MiB", 1 << 20),
    ("8 MiB", 8 << 20),
    ("32 MiB - 1", (32 << 20) - 1),
    ("64 MiB", 64 << 20),
]
ENV = dict(os.environ, QT_QPA_PLATFORM="offscreen")


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def clients(port):
    """name -> function(local, remote) giving the command line."""
    host = "127.0.0.1"
    return {
        "zanvel-upload": lambda l, r: [UPLOAD, host, str(port), l, r],
        "reference": lambda l, r: [f"{BUILD}/bench/tftp-ref-put", host, str(port), l, r],
        "tftp-hpa": lambda l, r: ["tftp", "-m", "binary", host, str(port), "-c", "put", l, r],
        "curl": lambda l, r: ["curl", "-s", "--tftp-no-options", "-T", l,
                              f"tftp://{host}:{port}/{r}"],
        "atftp": lambda l, r: ["atftp", "-p", "-l", l, "-r", r, host, str(port)],
        "busybox": lambda l, r: ["busybox", "tftp", "-p", "-l", l, "-r", r, host, str(port)],
    }


def run_once(name, command, local, stored):
    """Seconds the upload took, or a short reason why it did not complete."""
    if os.path.exists(stored):
        os.remove(stored)
    start = time.perf_counter()
    try:
        done = subprocess.run(command, env=ENV, capture_output=True, text=True, timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return "hung"
    wall = time.perf_counter() - start
    if done.returncode != 0:
        return f"failed ({done.returncode})"
    with open(local, "rb") as a, open(stored, "rb") as b:
        if a.read() != b.read():
            return "corrupt"
    if name == "zanvel-upload":
        # The program starts once and uploads many times: the upload's own time counts.
        return float(re.search(r"elapsed: ([0-9.]+) s", done.stdout).group(1))
    return wall


def median_cell(times):
    good = [t for t in times if isinstance(t, float)]
    if len(good) < len(times):
        return None, next(t for t in times if not isinstance(t, float))
    return statistics.median(good), f"{statistics.median(good):.3f} ({min(good):.3f}-{max(good):.3f})"


def main():
    work = tempfile.mkdtemp(prefix="zanvel-bench-")
    root = os.path.join(work, "root")
    os.mkdir(root)
    os.chmod(root, 0o777)
    port = free_port()
    server = subprocess.Popen(["/usr/sbin/in.tftpd", "--foreground", "--create", "--secure",
                               "--permissive", "--user", "root", "--address",
                               f"127.0.0.1:{port}", root])
    time.sleep(0.5)
    lines = []
    out = lambda s="": (print(s, flush=True), lines.append(s))
    try:
        peers = clients(port)
        out(f"# Upload benchmark\n")
        out(f"{datetime.date.today()}, {platform.node()}: {os.cpu_count()} cores, "
            f"{cpu_model()}, kernel {platform.release()}; {versions()}.")
        out(f"Loopback tftpd-hpa; {RUNS} counted runs after one warm-up, clients alternating. "
            "Times in seconds: median (min-max). zanvel-upload: the upload's own time, from "
            "the start of the exchange to its result; the others: the whole process.\n")
        medians = {}
        table = ["| file | " + " | ".join(peers) + " | zanvel / reference | zanvel / tftp-hpa |",
                 "|---" * (len(peers) + 3) + "|"]
        for label, size in SIZES:
            local = os.path.join(work, f"{size}.bin")
            with open(local, "wb") as f:
                f.write(os.urandom(size))
            times = {name: [] for name in peers}
            failed = {}
            for attempt in range(RUNS + 1):
                for name, command in peers.items():
                    if name in failed:
                        continue
                    result = run_once(name, command(local, f"{name}-{size}.bin"), local,
                                      os.path.join(root, f"{name}-{size}.bin"))
                    if attempt == 0 and not isinstance(result, float):
                        # A client that cannot do it once is not timed failing five times more.
                        failed[name] = times[name] = [f"{result} in the warm-up"]
                    elif attempt > 0:
                        times[name].append(result)
            cells = []
            for name in peers:
                medians[(label, name)], cell = median_cell(times[name])
                cells.append(cell)
            z, ref, hpa = (medians[(label, n)] for n in ("zanvel-upload", "reference", "tftp-hpa"))
            ratio = lambda a, b: f"{a / b:.2f}" if a and b else "-"
            table.append(f"| {label} | " + " | ".join(cells) + f" | {ratio(z, ref)} | {ratio(z, hpa)} |")
            print(table[-1], flush=True)
        out("\n".join(table))
        out()
        extras(out, work, root, port)
    finally:
        server.send_signal(signal.SIGTERM)
        server.wait()
        shutil.rmtree(work, ignore_errors=True)
    with open("bench/RESULTS.md", "w") as f:
        f.write("\n".join(lines) + "\n")


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


def timed(command, **kw):
    """(stdout, user+sys seconds, wall seconds, peak resident KiB) of one process."""
    done = subprocess.run(["/usr/bin/time", "-f", "%U %S %e %M"] + command, env=ENV,
                          capture_output=True, text=True, **kw)
    user, system, wall, peak = done.stderr.strip().split("\n")[-1].split()
    return done.stdout, float(user) + float(system), float(wall), int(peak)


def extras(out, work, root, port):
    m8 = os.path.join(work, f"{8 << 20}.bin")
    m64 = os.path.join(work, f"{64 << 20}.bin")
    blocks8 = (8 << 20) // 512 + 1
    rows = ["| measure | value | target |", "|---|---|---|"]

    # The driver's start-up: the whole process less the upload it reports.
    starts, hidden, shown = [], [], []
    for _ in range(RUNS):
        stdout, _, wall, _ = timed([UPLOAD, "127.0.0.1", str(port), m8, "s.bin"])
        upload = float(re.search(r"elapsed: ([0-9.]+) s", stdout).group(1))
        starts.append(wall - upload)
        hidden.append(upload)
        stdout, _, _, _ = timed([UPLOAD, "127.0.0.1", str(port), m8, "t.bin", "--trace-window"])
        shown.append(float(re.search(r"elapsed: ([0-9.]+) s", stdout).group(1)))
    rows.append(f"| zanvel-upload start-up and exit, median | {statistics.median(starts) * 1000:.0f} ms | |")
    rows.append(f"| 8 MiB with the trace window shown / hidden | "
                f"{statistics.median(shown):.3f} s / {statistics.median(hidden):.3f} s = "
                f"{statistics.median(shown) / statistics.median(hidden):.2f} | <= 2 |")

    _, cpu, _, peak = timed([UPLOAD, "127.0.0.1", str(port), m64, "m.bin"])
    rows.append(f"| peak memory, 64 MiB upload | {peak / 1024:.0f} MiB (file + {peak / 1024 - 64:.0f} MiB) | file + 40 MiB |")

    for name, command in [("zanvel-upload", [UPLOAD, "127.0.0.1", str(port), m8, "c.bin"]),
                          ("reference", [f"{BUILD}/bench/tftp-ref-put", "127.0.0.1", str(port), m8, "c.bin"]),
                          ("tftp-hpa", ["tftp", "-m", "binary", "127.0.0.1", str(port), "-c", "put", m8, "c.bin"])]:
        _, cpu, _, _ = timed(command)
        counts = strace_counts(command)
        per_block = ", ".join(f"{c / blocks8:.2f} {n}" for n, c in counts if c >= blocks8 / 2)
        total = sum(c for _, c in counts if c >= blocks8 / 2) / blocks8
        rows.append(f"| {name}: system calls a block (8 MiB) | {total:.1f} ({per_block}) | no more than tftp-hpa |")
        rows.append(f"| {name}: CPU a block (8 MiB, user + system) | {cpu / blocks8 * 1e6:.1f} µs | |")

    # A silent server: the upload waits 25 s for nothing.
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as silent:
        silent.bind(("127.0.0.1", 0))
        _, cpu, wall, _ = timed([UPLOAD, "127.0.0.1", str(silent.getsockname()[1]), m8, "x.bin"])
    rows.append(f"| CPU while a silent server makes the upload wait | {cpu / wall * 100:.2f} % of a core over {wall:.1f} s | < 1 % |")

    try:
        shown = f"{startup_ms(work):.0f} ms"
    except (RuntimeError, subprocess.CalledProcessError) as e:
        shown = f"not measured: {e}"
    rows.append(f"| main window shown after start, 1,000 entries, median | {shown} | <= 150 ms |")
    out("\n".join(rows))


def strace_counts(command):
    log = tempfile.mktemp()
    subprocess.run(["strace", "-f", "-c", "-o", log] + command, env=ENV, capture_output=True)
    counts = []
    with open(log) as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 5 and parts[3].isdigit() and parts[-1] != "total":
                counts.append((parts[-1], int(parts[3])))
    os.remove(log)
    return counts


def startup_ms(work):
    """From exec to the main window mapped on an X server, with a store of 1,000 entries."""
    prefix = os.path.join(work, "prefix")
    subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix, "--component", "Unspecified"],
                   capture_output=True, check=True)
    with open(os.path.join(prefix, "lib/zanvel-tftp/entrys.txt"), "w") as f:
        for i in range(1000):
            f.write(f"[entryno{i}]\r\nentryname=router {i}\r\naddress=10.0.{i // 256}.{i % 256}\r\n"
                    f"port=69\r\nlocalfile=/srv/images/router-{i}.bin\r\nremotefile=router-{i}.bin\r\n")
    display = ":93"
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # A program started before the display takes connections ends at once.
    for _ in range(100):
        if os.path.exists("/tmp/.X11-unix/X" + display[1:]):
            break
        time.sleep(0.1)
    time.sleep(0.5)
    env = dict(os.environ, DISPLAY=display)
    env.pop("QT_QPA_PLATFORM", None)
    results = []
    try:
        for _ in range(RUNS + 1):
            start = time.perf_counter()
            program = subprocess.Popen([os.path.join(prefix, "bin/zanvel-tftp")], env=env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            while time.perf_counter() - start < 20 and program.poll() is None:
                info = subprocess.run(["xwininfo", "-name", "Zanvel TFTP "], env=env,
                                      capture_output=True, text=True).stdout
                if "IsViewable" in info:
                    break
            if program.poll() is not None:
                raise RuntimeError("the program ended before its window was shown")
            results.append(time.perf_counter() - start)
            program.kill()
            program.wait()
    finally:
        xvfb.terminate()
        xvfb.wait()
    return statistics.median(results[1:]) * 1000


if __name__ == "__main__":
    main()
