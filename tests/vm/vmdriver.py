# What both virtual machine suites share: the kernel image, QEMU and QMP, and
# the serial protocol with the guest.
#
# The guest prints requests on the serial console and the driver answers them:
#   @@REQ <id> <gap ms> key:d|u|t[@display] ...   presses keys through QMP, then @@ACK <id>
#   @@QMP <id> <command> <json arguments>          runs a QMP command, then @@ACK <id>
#   @@SEEN ...                                     an event the guest saw: its delay since the
#                                                  last request's first key is kept
#   @@FIGURE <label>                               prints the kept delays' median and clears them
# and its verdicts: @@START <name>, @@PASS <name>, @@FAIL <name>: <why>, @@INFO <text>,
# @@DONE <status>. Kernel messages share the line: markers are found anywhere in it.
import argparse
import json
import lzma
import os
import re
import select
import socket
import statistics
import struct
import subprocess
import time


def log(message):
    print(f"vm: {message}", flush=True)


def elf_from_bzimage(data):
    # The uncompressed kernel (an ELF with a PVH entry) inside a bzImage: QEMU
    # boots it directly, seconds faster under TCG than the compressed image.
    setup_sects = data[0x1F1] or 4
    offset, length = struct.unpack_from("<II", data, 0x248)
    start = (setup_sects + 1) * 512 + offset
    # The payload ends with the uncompressed size, which is no xz data.
    decompressor = lzma.LZMADecompressor()
    elf = decompressor.decompress(data[start:start + length])
    if not decompressor.eof or elf[:4] != b"\x7fELF":
        raise RuntimeError("the kernel payload is not an xz-compressed ELF image")
    return elf


def write_elf_kernel(bzimage, path):
    with open(bzimage, "rb") as f:
        elf = elf_from_bzimage(f.read())
    with open(path, "wb") as f:
        f.write(elf)


def qemu_command(kernel, initrd, append, qmp_path, memory, smp, icount=None):
    # The machine both suites start from; each adds its devices.
    accel = "tcg"
    try:
        with open("/proc/modules") as f:
            loaded = f.read()
        # /dev/kvm may be a stand-in that cannot run a stock kernel.
        if re.search(r"^kvm_(intel|amd) ", loaded, re.M) and "kvm_pvm" not in loaded:
            accel = "kvm"
    except OSError:
        pass
    clock = ["-icount", f"shift={icount},align=off,sleep=on"] if icount is not None else []
    return ["qemu-system-x86_64", "-accel", accel, *clock, "-m", str(memory), "-smp", str(smp),
            "-display", "none", "-vga", "none", "-serial", "stdio", "-monitor", "none",
            "-no-reboot", "-nodefaults", "-kernel", kernel, "-initrd", initrd,
            "-append", "console=ttyS0 quiet panic=-1 " + append,
            "-qmp", f"unix:{qmp_path},server=on,wait=off"]


class Qmp:
    def __init__(self, path, deadline):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        while self.sock.connect_ex(path) != 0:  # until QEMU has made it
            if time.monotonic() > deadline:
                raise RuntimeError("QEMU's QMP socket never came up")
            time.sleep(0.05)
        self.buffer = b""
        self._read()  # greeting
        self.command("qmp_capabilities")

    def _read(self):
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise RuntimeError("QMP connection closed")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return json.loads(line)

    def command(self, name, **arguments):
        message = {"execute": name}
        if arguments:
            message["arguments"] = arguments
        self.sock.sendall(json.dumps(message).encode() + b"\n")
        while True:
            reply = self._read()
            if "return" in reply:
                return reply["return"]
            if "error" in reply:
                raise RuntimeError(f"QMP {name}: {reply['error']}")

    def key(self, qcode, down, device=None):
        event = {"type": "key", "data": {"down": down, "key": {"type": "qcode", "data": qcode}}}
        self.command("input-send-event", events=[event], **({"device": device} if device else {}))


class Guest:
    # Answers the guest's requests and keeps its verdicts.

    def __init__(self, process, qmp, label):
        self.process, self.qmp, self.label = process, qmp, label
        self.passed, self.failed, self.results, self.delays = [], [], [], []
        self.started, self.started_at, self.done, self.first_key = 0, time.monotonic(), False, None

    def ack(self, request_id):
        self.process.stdin.write(f"@@ACK {request_id}\n".encode())
        self.process.stdin.flush()

    def press(self, key_press, gap):
        qcode, _, rest = key_press.partition(":")
        action, _, device = rest.partition("@")
        if action in ("d", "t"):
            self.qmp.key(qcode, True, device or None)
            self.first_key = self.first_key or time.monotonic()
            time.sleep(gap)
        if action in ("u", "t"):
            self.qmp.key(qcode, False, device or None)
            time.sleep(gap)

    def verdict(self, kind, text):
        self.results.append(f"{kind} {text} ({time.monotonic() - self.started_at:.0f} s)")
        (self.passed if kind == "@@PASS" else self.failed).append(text)

    def handle(self, line):
        marker = line.find("@@")
        if marker < 0:
            return
        words = line[marker:].split()
        kind = words[0]
        if kind == "@@REQ":
            self.first_key = None
            for key_press in words[3:]:
                self.press(key_press, int(words[2]) / 1000.0)
            self.ack(words[1])
        elif kind == "@@QMP":
            arguments = json.loads(" ".join(words[3:])) if len(words) > 3 else {}
            try:
                self.qmp.command(words[2], **arguments)
            except RuntimeError as error:
                log(str(error))
            self.ack(words[1])
        elif kind == "@@SEEN" and self.first_key:
            self.delays.append(time.monotonic() - self.first_key)
            self.first_key = None
        elif kind == "@@FIGURE" and self.delays:
            ms = sorted(1000 * d for d in self.delays)
            self.results.append(f"@@INFO {' '.join(words[1:])}: median {statistics.median(ms):.1f} ms, "
                                f"p90 {ms[int(0.9 * (len(ms) - 1))]:.1f} ms over {len(ms)}   [{self.label}]")
            print(self.results[-1], flush=True)
            self.delays = []
        elif kind in ("@@PASS", "@@FAIL"):
            self.verdict(kind, " ".join(words[1:]))
        elif kind == "@@INFO":
            self.results.append(line[marker:] + ("" if "latency" not in words[1] else f"   [{self.label}]"))
        elif kind == "@@START":
            self.started += 1
            self.started_at = time.monotonic()
        elif kind == "@@DONE":
            self.done = True
            # A checker that died mid-scenario leaves it without a verdict.
            if len(words) < 2 or words[1] != "0" or self.started != len(self.passed) + len(self.failed):
                self.verdict("@@FAIL", f"vm: the checker ended abnormally ({' '.join(words[1:])})")


def boot(command, qmp_path, label, deadline, transcript_path, verbose):
    # Runs QEMU until the guest is done or the deadline; returns its Guest.
    log(f"booting ({label})")
    qemu = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    try:
        guest = Guest(qemu, Qmp(qmp_path, deadline), label)
        pending = b""
        with open(transcript_path, "ab") as transcript:
            while not guest.done and time.monotonic() < deadline:
                ready, _, _ = select.select([qemu.stdout], [], [], 1.0)
                if not ready:
                    if qemu.poll() is not None:
                        break
                    continue
                chunk = os.read(qemu.stdout.fileno(), 65536)
                if not chunk:
                    break
                transcript.write(chunk)
                pending += chunk
                while b"\n" in pending:
                    raw, pending = pending.split(b"\n", 1)
                    line = raw.decode(errors="replace").rstrip("\r")
                    if verbose or re.search(r"@@(PASS|FAIL|INFO|DONE|BOOTED)", line):
                        print(line, flush=True)
                    guest.handle(line)
        if not guest.done:
            guest.verdict("@@FAIL", "vm: the guest did not finish in time")
            print("@@FAIL vm: the guest did not finish in time", flush=True)
        return guest
    finally:
        if qemu.poll() is None:
            qemu.kill()  # by its own pid
            qemu.wait()


def report(guests, results_path, started):
    # Writes every verdict and figure (CTest shows a passing test's output to
    # nobody) and answers the exit status.
    passed = sum(len(g.passed) for g in guests)
    failed = sum(len(g.failed) + (0 if g.passed else 1) for g in guests)
    summary = f"{passed} passed, {failed} failed; VM time {time.monotonic() - started:.1f} s"
    log(summary)
    with open(results_path, "w") as f:
        f.write("\n".join([line for g in guests for line in g.results] + ["vm: " + summary]) + "\n")
    return 0 if failed == 0 else 1


def fresh_outputs(*paths):
    for path in paths:
        if os.path.exists(path):
            os.remove(path)  # never show what an earlier run left


def arguments(doc, timeout):
    parser = argparse.ArgumentParser(description=doc.strip().splitlines()[0])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--only", default="", help="comma-separated scenario names")
    parser.add_argument("--timeout", type=float, default=timeout)
    parser.add_argument("--verbose", action="store_true", help="echo the whole console")
    return parser
