"""Soak: Trellon against a faulty controller, hostile key-server clients and suspend/resume cycles.

Runs the built program headless against vx710-sim with faults on a seeded schedule, connects
key-server clients that never read, reset their connection, flood the server or half-close it,
types keys into the simulator, and sends suspend and resume through a mock of systemd-logind on a
private bus, for a set time. Then prints the report and exits non-zero when a check failed:
crashes, link breaks after which the program could have attached and did not (see
BREAK_OUTCOMES), main-thread stalls over 300 ms outside a detach, descriptors or memory that grew
(from the start, or from just after the first error report, which reads the symbols that name its
frames and keeps them).

Started by scripts/soak.sh, which builds what it needs.
"""

import argparse
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

import dbus

STALL_LIMIT_MS = 300
LOGIND = "org.freedesktop.login1"
LOGIND_PATH = "/org/freedesktop/login1"
# How long after the last break an attach may still come, at the end of the run.
ATTACH_GRACE_S = 15
# The never-reading clients kept open at once, and all clients at once: under the server's cap.
MAX_SILENT_CLIENTS = 16
RECORD_SIZE = 312
# What followed a break (a line drop or a resume) up to the next one. A lost answer, or a line
# dropped while the link waits for one, is mended by the link's next burst; the first three
# outcomes that are not an attach are faults of the program, the others say why a break that
# was followed by the next too soon did not end in an attach.
BREAK_OUTCOMES = ("followed by an attach", "not noticed while attached",
                  "answered but not attached", "not attached within the retry time",
                  "cut short by the next break", "answer lost (silent, flipped or dropped)",
                  "drop not noticed while waiting for an answer")
FAILED_OUTCOMES = ("not noticed while attached", "answered but not attached",
                   "not attached within the retry time")
# The link opens the port again and sends a new burst when 5 s pass without an answer; faults
# may eat a few answers in a row, so a break must be followed by an attach within three rounds.
RETRY_TO_ATTACH_S = 30
# From a clean answer to the attach: the rest of the hello burst, a tick, the 2 s pause.
ANSWER_TO_ATTACH_S = 5
# From a dropped line's return to the program's reopening of the port: its next write fails (the
# fan commands go out every second), then it waits a second.
LINE_BACK_TO_REOPEN_S = 4


def now():
    return time.monotonic()


class LineReader(threading.Thread):
    """Collects a pipe's lines with the moment each arrived."""

    def __init__(self, pipe, name):
        super().__init__(daemon=True, name=name)
        self.pipe = pipe
        self.lines = []
        self.lock = threading.Lock()
        self.start()

    def run(self):
        for raw in iter(self.pipe.readline, b""):
            with self.lock:
                self.lines.append((now(), raw.decode("utf-8", "replace").rstrip("\r\n")))

    def snapshot(self):
        with self.lock:
            return list(self.lines)


class PrivateLogind:
    """A private message bus with logind's mock on it; sends PrepareForSleep."""

    def __init__(self, workdir):
        self.daemon = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.address = self.daemon.stdout.readline().decode().strip()
        if not self.address:
            raise RuntimeError("dbus-daemon gave no address")
        env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.address,
                   DBUS_SESSION_BUS_ADDRESS=self.address)
        self.mock = subprocess.Popen([sys.executable, "-m", "dbusmock", "--template", "logind"],
                                     env=env, stdout=subprocess.DEVNULL,
                                     stderr=open(os.path.join(workdir, "logind-mock.log"), "wb"))
        self.bus = dbus.bus.BusConnection(self.address)
        deadline = now() + 30
        while not self.bus.name_has_owner(LOGIND):
            if now() > deadline:
                raise RuntimeError("the logind mock did not appear on the bus")
            time.sleep(0.1)

    def prepare_for_sleep(self, start):
        manager = self.bus.get_object(LOGIND, LOGIND_PATH)
        manager.EmitSignal("org.freedesktop.login1.Manager", "PrepareForSleep", "b",
                           [dbus.Boolean(start)], dbus_interface="org.freedesktop.DBus.Mock")

    def stop(self):
        for process in (self.mock, self.daemon):
            process.terminate()
            process.wait(10)


class HostileClients(threading.Thread):
    """Key-server clients that misbehave, one action every 0.3 to 1.5 s."""

    KINDS = ("never reading", "resetting", "flooding", "half-closed")

    def __init__(self, port, seed, stop):
        super().__init__(daemon=True, name="hostile")
        self.port = port
        self.random = random.Random(seed)
        self.stop = stop
        self.counts = {kind: 0 for kind in self.KINDS}
        self.failures = 0
        self.silent = []

    def connect(self, receive_buffer=0):
        client = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if receive_buffer:
            client.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        client.settimeout(2)
        client.connect(("127.0.0.1", self.port))
        return client

    def run(self):
        while not self.stop.wait(self.random.uniform(0.3, 1.5)):
            kind = self.random.choice(self.KINDS)
            try:
                self.act(kind)
                self.counts[kind] += 1
            except OSError:
                self.failures += 1
        self.close_all()

    def act(self, kind):
        if kind == "never reading":
            # A tiny receive buffer fills after a few records; the server's sends then fail.
            self.silent.append(self.connect(receive_buffer=1024))
            if len(self.silent) > MAX_SILENT_CLIENTS:
                self.silent.pop(0).close()
        elif kind == "resetting":
            client = self.connect()
            time.sleep(self.random.uniform(0, 0.2))
            client.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\0\0\0\0\0\0\0")
            client.close()
        elif kind == "flooding":
            client = self.connect()
            client.settimeout(0.5)
            junk = self.random.randbytes(64 * 1024)
            try:
                for _ in range(8):
                    client.sendall(junk)
            except OSError:
                pass  # the server reads it all in time, or the buffers are full: both are fine
            client.close()
        else:
            client = self.connect()
            client.shutdown(socket.SHUT_WR)
            time.sleep(self.random.uniform(0, 0.3))
            client.close()

    def close_all(self):
        for client in self.silent:
            client.close()
        self.silent.clear()


class GoodClient(threading.Thread):
    """A client that reads every record, reconnecting when the server drops it."""

    def __init__(self, port, stop):
        super().__init__(daemon=True, name="good")
        self.port = port
        self.stop = stop
        self.records = 0

    def run(self):
        pending = 0
        client = None
        while not self.stop.is_set():
            try:
                if client is None:
                    client = socket.create_connection(("127.0.0.1", self.port), timeout=2)
                    client.settimeout(0.5)
                data = client.recv(65536)
                if not data:
                    client.close()
                    client = None
                    continue
                pending += len(data)
                self.records += pending // RECORD_SIZE
                pending %= RECORD_SIZE
            except socket.timeout:
                continue
            except OSError:
                client = None
                time.sleep(0.2)
        if client:
            client.close()


def process_memory(pid):
    """Resident memory in MB and open descriptors of a process."""
    with open(f"/proc/{pid}/status") as status:
        rss_kb = next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))
    return rss_kb / 1024.0, len(os.listdir(f"/proc/{pid}/fd"))


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Soak:
    def __init__(self, args):
        self.args = args
        self.random = random.Random(args.seed)
        self.workdir = tempfile.mkdtemp(prefix="trellon-soak-")
        self.link = os.path.join(self.workdir, "vx710")
        self.probe_file = os.path.join(self.workdir, "probe.txt")
        self.port = free_port()
        self.stop = threading.Event()
        self.crashes = []
        self.suspends = []  # (suspend sent, resume sent)
        self.program = None
        self.sim = None
        self.program_readers = []
        self.sim_readers = []
        self.samples = []  # (time, pid, resident MB, descriptors), once a second

    # --- processes ---

    def start_sim(self):
        options = [os.path.join(self.args.build, "tools/vx710-sim/vx710-sim"), "--link", self.link,
                   "--stay", "--quiet-ticks", "--faults", str(self.args.seed),
                   "--fault-gap", str(self.args.fault_gap_ms)]
        self.sim = subprocess.Popen(options, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                    stderr=subprocess.STDOUT)
        self.sim_readers.append(LineReader(self.sim.stdout, "sim"))
        deadline = now() + 10
        while not os.path.islink(self.link):
            if now() > deadline or self.sim.poll() is not None:
                raise RuntimeError("vx710-sim did not start")
            time.sleep(0.05)

    def start_program(self):
        env = dict(os.environ, TRELLON_COM3=self.link, TRELLON_KEY_SERVER_PORT=str(self.port),
                   QT_QPA_PLATFORM="offscreen", DBUS_SYSTEM_BUS_ADDRESS=self.logind.address,
                   LD_PRELOAD=self.args.probe, SOAK_PROBE_FILE=self.probe_file)
        env.pop("DISPLAY", None)
        self.program = subprocess.Popen([os.path.join(self.args.build, "src/app/trellon")],
                                        cwd=self.workdir, env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.program_readers.append(LineReader(self.program.stderr, "trellon"))

    def log_lines(self):
        return [line for reader in self.program_readers for line in reader.snapshot()]

    def sim_lines(self):
        return [line for reader in self.sim_readers for line in reader.snapshot()]

    def write_settings(self):
        # Keys from garbage bytes may be "home": it starts a harmless program, and no key powers
        # anything off.
        with open(os.path.join(self.workdir, "Trellon.ini"), "w") as ini:
            ini.write("[X]\nHomeStart=1\nHomeMediaPortal=/bin/true\nHomeClose=0\nHomeKill=0\n"
                      "PowerOffDo=4\n")

    def check_processes(self):
        code = self.program.poll()
        if code is not None:
            tail = [text for _, text in self.log_lines()[-5:]]
            at = now() - self.started
            self.crashes.append(f"Trellon ended with {code} at {at:.0f} s: {tail}")
            self.start_program()
        code = self.sim.poll()
        if code is not None:
            self.crashes.append(f"vx710-sim ended with {code} at {now() - self.started:.0f} s")
            self.start_sim()

    def type_key(self):
        command = self.random.choice(["ok", "up", "down", "back", "hold down 700", "repeat 3",
                                      "vol+", "right"])
        try:
            self.sim.stdin.write((command + "\n").encode())
            self.sim.stdin.flush()
        except OSError:
            pass

    # --- the run ---

    def wait_for_attach(self, after, timeout):
        deadline = now() + timeout
        while now() < deadline:
            if any(t >= after and "VX710 detected and attached" in text
                   for t, text in self.log_lines()):
                return True
            time.sleep(0.1)
        return False

    def run(self):
        self.write_settings()
        self.logind = PrivateLogind(self.workdir)
        self.start_sim()
        self.started = now()
        self.start_program()
        if not self.wait_for_attach(self.started, 30):
            raise RuntimeError("Trellon did not attach at the start")
        time.sleep(2)
        self.rss_start, self.fds_start = process_memory(self.program.pid)
        hostile = HostileClients(self.port, self.args.seed, self.stop)
        good = GoodClient(self.port, self.stop)
        hostile.start()
        good.start()

        end = self.started + self.args.seconds
        next_key = now() + 1
        next_suspend = now() + self.random.uniform(10, 30)
        next_sample = now()
        while now() < end:
            time.sleep(0.1)
            self.check_processes()
            if now() >= next_sample:
                try:
                    self.samples.append((now(), self.program.pid) +
                                        process_memory(self.program.pid))
                except FileNotFoundError:
                    pass  # ended just now: check_processes restarts it and counts the crash
                next_sample = now() + 1
            if now() >= next_key:
                self.type_key()
                next_key = now() + self.random.uniform(0.5, 3)
            if now() >= next_suspend and now() < end - 8:
                self.suspend_and_resume()
                next_suspend = now() + self.random.uniform(15, 40)
        self.stop.set()
        hostile.join(5)
        good.join(5)
        # The last break may still be answered; then the hostile clients are gone for a while.
        self.wait_for_attach(self.last_break(), ATTACH_GRACE_S)
        time.sleep(2)
        self.rss_end, self.fds_end = process_memory(self.program.pid)
        self.measured_until = now()
        self.finish_program()
        self.sim.terminate()
        self.sim.wait(10)
        self.logind.stop()
        return self.report(hostile, good)

    def suspend_and_resume(self):
        sent = now()
        self.logind.prepare_for_sleep(True)
        time.sleep(self.random.uniform(1, 3))
        self.suspends.append((sent, now()))
        self.logind.prepare_for_sleep(False)

    def finish_program(self):
        self.program.send_signal(signal.SIGTERM)
        try:
            code = self.program.wait(20)
            if code != 0:
                self.crashes.append(f"Trellon ended with {code} after SIGTERM")
        except subprocess.TimeoutExpired:
            self.crashes.append("Trellon did not end within 20 s of SIGTERM")
            self.program.kill()
            self.program.wait()

    # --- the report ---

    def baseline(self):
        """Memory and descriptors to compare the end with: at the start, or, once an error report
        has been written, a few seconds after the first (its symbols are read then and kept)."""
        reports = [t for t, text in self.log_lines() if "Exception detected" in text]
        if reports:
            settled = [(t, rss, fds) for t, pid, rss, fds in self.samples
                       if t >= reports[0] + 3 and pid == self.program.pid]
            if settled:
                return settled[0]
        return self.started, self.rss_start, self.fds_start

    def breaks(self):
        """Moments the link was broken on purpose: line drops and resumes."""
        drops = [t for t, text in self.sim_lines() if text.startswith("fault drop ")]
        resumes = [resume for _, resume in self.suspends]
        return drops, resumes

    def last_break(self):
        drops, resumes = self.breaks()
        return max(drops + resumes + [self.started])

    @staticmethod
    def garbage_bytes(sim, since, until):
        """Bytes of garbage and display-mode floods the simulator sent in a stretch of time."""
        count = 0
        for t, text in sim:
            words = text.split()
            if since < t <= until and len(words) >= 3 and words[0] == "fault" and \
                    words[1] in ("garbage", "flood"):
                count += int(words[2])
        return count

    def classify_breaks(self, drops, resumes):
        """What followed each break, up to the next one (see BREAK_OUTCOMES)."""
        breaks = sorted([(t, "drop") for t in drops] + [(t, "resume") for t in resumes])
        log = self.log_lines()
        sim = self.sim_lines()
        attaches = [t for t, text in log if "VX710 detected and attached" in text]
        outcomes = []
        for i, (moment, kind) in enumerate(breaks):
            until = breaks[i + 1][0] if i + 1 < len(breaks) else self.measured_until
            if any(moment < t <= until for t in attaches):
                outcomes.append("followed by an attach")
                continue
            link_events = [(t, text) for t, text in log if t <= moment and (
                "VX710 detected and attached" in text or "Looking for VX710" in text or
                "Port close" in text)]
            attached = bool(link_events) and "attached" in link_events[-1][1]
            reopened = any(moment < t <= until and text == "port opened" for t, text in sim)
            clean_answers = [t for j, (t, text) in enumerate(sim)
                             if moment < t <= until and text == "sent answer" and
                             not (j > 0 and sim[j - 1][1].startswith("flipped "))]
            # Garbage ahead of an answer is looked at one byte per tick or more.
            last_attach = max([t for t in attaches if t <= moment], default=self.started)
            backlog_s = self.garbage_bytes(sim, last_attach, until) * 0.1
            # A drop cannot be noticed before the line is back and the program has written to it.
            back = [t for t, text in sim if t > moment and text.startswith("line back")]
            if kind == "drop" and (not back or back[0] + LINE_BACK_TO_REOPEN_S > until):
                outcomes.append("cut short by the next break")
            elif kind == "drop" and attached and not reopened:
                outcomes.append("not noticed while attached")
            elif clean_answers and until - clean_answers[0] > ANSWER_TO_ATTACH_S + backlog_s:
                outcomes.append("answered but not attached")
            elif until - moment > RETRY_TO_ATTACH_S + backlog_s:
                outcomes.append("not attached within the retry time")
            elif clean_answers:
                outcomes.append("cut short by the next break")
            elif not reopened and kind == "drop":
                outcomes.append("drop not noticed while waiting for an answer")
            else:
                outcomes.append("answer lost (silent, flipped or dropped)")
        return outcomes

    def detach_windows(self):
        """From each suspend to the port's close that followed it (the detach waits in place)."""
        closes = [t for t, text in self.log_lines() if "Comm: Port close" in text]
        windows = []
        for suspend, resume in self.suspends:
            close = next((t for t in closes if t >= suspend), resume)
            windows.append((suspend - 0.1, min(close, resume) + 0.2))
        return windows

    def stalls(self):
        stalls = []
        replaces = []
        if os.path.exists(self.probe_file):
            with open(self.probe_file) as probe:
                for line in probe:
                    words = line.split()
                    if words[0] == "stall":
                        stalls.append((int(words[1]) / 1000.0, int(words[2])))
                    elif words[0] == "replace":
                        replaces.append((int(words[1]) / 1000.0, words[2]))
        return stalls, replaces

    def save_transcripts(self):
        """The simulator's and the program's lines, with seconds since the start."""
        for name, lines in (("sim.txt", self.sim_lines()), ("trellon.txt", self.log_lines())):
            with open(os.path.join(self.workdir, name), "w") as out:
                for t, text in lines:
                    out.write(f"{t - self.started:9.3f} {text}\n")

    def report(self, hostile, good):
        self.save_transcripts()
        minutes = (self.measured_until - self.started) / 60.0
        faults = {}
        for _, text in self.sim_lines():
            if text.startswith("fault "):
                kind = text.split()[1]
                faults[kind] = faults.get(kind, 0) + 1
        drops, resumes = self.breaks()
        outcomes = self.classify_breaks(drops, resumes)
        windows = self.detach_windows()
        stalls, replaces = self.stalls()
        inside = [ms for start, ms in stalls if ms > STALL_LIMIT_MS and
                  any(a <= start + ms / 1000.0 and start <= b for a, b in windows)]
        outside = [(start, ms) for start, ms in stalls if ms > STALL_LIMIT_MS and
                   not any(a <= start + ms / 1000.0 and start <= b for a, b in windows)]
        # The first error report reads the debug information that names its frames, once.
        reports = [t for t, text in self.log_lines() if "Exception detected" in text]
        symbols = [(start, ms) for start, ms in outside
                   if reports and start <= reports[0] <= start + ms / 1000.0 + 0.1]
        outside = [stall for stall in outside if stall not in symbols]
        settings_writes = sum(1 for _, path in replaces if path.endswith("Trellon.ini"))
        log_lines = len(self.log_lines())

        print(f"soak: {self.measured_until - self.started:.0f} s, seed {self.args.seed}, "
              f"a fault every {self.args.fault_gap_ms} ms on average")
        print(f"crashes: {len(self.crashes)}")
        for crash in self.crashes:
            print(f"  {crash}")
        print(f"faults injected: {sum(faults.values())} (" +
              ", ".join(f"{kind} {count}" for kind, count in sorted(faults.items())) + ")")
        print(f"link breaks: {len(drops) + len(resumes)} ({len(drops)} line drops, "
              f"{len(resumes)} resumes): " +
              ", ".join(f"{outcome} {outcomes.count(outcome)}" for outcome in BREAK_OUTCOMES
                        if outcomes.count(outcome)))
        print(f"suspend/resume cycles: {len(self.suspends)}")
        print("hostile clients: " + ", ".join(f"{kind} {count}"
                                               for kind, count in hostile.counts.items()) +
              f" (refused {hostile.failures}); records read by a well-behaved client: "
              f"{good.records}")
        since, rss_base, fds_base = self.baseline()
        after = "" if since == self.started else \
            f", {{}} after the first error report's symbols (at {since - self.started:.0f} s)"
        print(f"resident memory: {self.rss_start:.1f} MB at start" +
              after.format(f"{rss_base:.1f} MB") + f", {self.rss_end:.1f} MB at end")
        print(f"open descriptors: {self.fds_start} at start" + after.format(fds_base) +
              f", {self.fds_end} at end")
        longest = max((ms for _, ms in stalls), default=0)
        print(f"main-thread stalls over {STALL_LIMIT_MS} ms outside a detach: {len(outside)} "
              f"(inside a detach: {len(inside)}; longest of all: {longest} ms)")
        for start, ms in outside:
            print(f"  {ms} ms at {start - self.started:.1f} s")
        for start, ms in symbols:
            print(f"  not counted: {ms} ms at {start - self.started:.1f} s, the first error report "
                  "reading its symbols")
        print(f"log lines per minute: {log_lines / minutes:.0f}")
        print(f"settings-file writes per minute: {settings_writes / minutes:.1f}")

        failures = []
        if self.crashes:
            failures.append("crashes")
        if any(outcome in FAILED_OUTCOMES for outcome in outcomes):
            failures.append("a break without an attach")
        if outside:
            failures.append("main-thread stalls")
        if self.fds_end > fds_base + 2:
            failures.append("descriptors grew")
        if self.rss_end > rss_base + 30:
            failures.append("memory grew")
        print("soak: " + ("passed" if not failures else "FAILED: " + ", ".join(failures)) +
              f" (files in {self.workdir})")
        return not failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=int, default=600)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--fault-gap-ms", type=int, default=4000)
    parser.add_argument("--build", required=True, help="the build folder (build/dev)")
    parser.add_argument("--probe", required=True, help="the built soak_probe.so")
    parser.add_argument("--keep", action="store_true", help="keep the working folder")
    args = parser.parse_args()
    soak = Soak(args)
    passed = False
    try:
        passed = soak.run()
    finally:
        for process in (soak.program, soak.sim):
            if process and process.poll() is None:
                process.kill()
        if passed and not args.keep:
            shutil.rmtree(soak.workdir, ignore_errors=True)
    sys.exit(0 if passed else 1)


if __name__ == "__main__":
    main()
