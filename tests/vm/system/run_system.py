#!/usr/bin/env python3
"""Runs the acceptance scenarios: the Debian package on a whole Debian system in QEMU."""
# Quorvelle used as a person uses it. The system (systemd, udev, logind,
# polkit, Xorg, Weston, the test user logged in on tty1, a second user on
# tty3) is built with mmdebstrap into <build>/vm-cache, and again only when
# its recipe changes: build-image.sh, rootfs/ or the packages, the package's
# own dependencies included. Each run boots a fresh snapshot of it with the
# package built by cpack, the X client, a misbehaving client of the engine
# service and guest/ in a read-only folder; guest/harness.sh installs the
# package and runs the scenarios, asking the host for keys and QMP commands.
#
#     run_system.py --build-dir build [--only NAME,NAME] [--timeout SECONDS] [--verbose]
#
# The guest prints requests on the serial console and the host answers them:
#   @@REQ <id> <gap ms> key:d|u|t@[display] ...   presses keys through QMP, then @@ACK <id>
#   @@QMP <id> <command> <json arguments>          runs a QMP command, then @@ACK <id>
#   @@SEEN ...                                     an event the guest saw: its delay since the
#                                                  last request's first key is kept
#   @@FIGURE <label>                               prints the kept delays' median and clears them
# and its verdicts: @@START <name>, @@PASS <name>, @@FAIL <name>: <why>, @@INFO <text>,
# @@DONE <status>. Kernel messages share the line: markers are found anywhere in it.
import argparse
import glob
import hashlib
import json
import lzma
import os
import re
import shutil
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PACKAGES = """systemd-sysv udev dbus dbus-user-session libpam-systemd polkitd kmod procps
linux-image-amd64 initramfs-tools xserver-xorg-core xserver-xorg-input-libinput xinit xauth
trayer xdotool xinput weston wev fonts-dejavu-core""".split()


def log(message):
    print(f"vm: {message}", flush=True)


def build_package(build, out):
    subprocess.run(["cpack", "-G", "DEB", "-B", out], cwd=build, check=True,
                   stdout=subprocess.DEVNULL)
    return glob.glob(os.path.join(out, "quorvelle_*.deb"))[0]


def package_needs(deb):
    # The package's dependencies, the first of each set of alternatives.
    depends = subprocess.run(["dpkg-deb", "-f", deb, "Depends"], check=True, capture_output=True,
                             text=True).stdout
    return sorted({d.split("|")[0].split("(")[0].strip() for d in depends.split(",") if d.strip()})


def system_image(cache, packages):
    # The folder holding disk.img, vmlinux and initrd.img for this recipe.
    recipe = hashlib.sha256(" ".join(sorted(packages)).encode())
    sources = [os.path.join(HERE, "build-image.sh")] + sorted(
        os.path.join(folder, name) for folder, _, names in os.walk(os.path.join(HERE, "rootfs"))
        for name in names)
    for path in sources:
        recipe.update(os.path.relpath(path, HERE).encode())
        with open(path, "rb") as f:
            recipe.update(f.read())
    folder = os.path.join(cache, "system-" + recipe.hexdigest()[:16])
    if not os.path.exists(os.path.join(folder, "ready")):
        for old in glob.glob(os.path.join(cache, "system-*")):
            shutil.rmtree(old)
        log("building the system image")
        subprocess.run(["bash", sources[0], folder, os.path.join(cache, "system-debs")] + packages,
                       check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(folder, "vmlinuz"), "rb") as f:
            elf = elf_from_bzimage(f.read())
        with open(os.path.join(folder, "vmlinux"), "wb") as f:
            f.write(elf)
        open(os.path.join(folder, "ready"), "w").close()
    return folder


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


def accelerator():
    try:
        with open("/proc/modules") as f:
            loaded = f.read()
        # /dev/kvm may be a stand-in that cannot run a stock kernel.
        if re.search(r"^kvm_(intel|amd) ", loaded, re.M) and "kvm_pvm" not in loaded:
            return "kvm"
    except OSError:
        pass
    return "tcg"


class Qmp:
    def __init__(self, path, deadline):
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        while sock.connect_ex(path) != 0:  # until QEMU has made it
            if time.monotonic() > deadline:
                raise RuntimeError("QEMU's QMP socket never came up")
            time.sleep(0.05)
        self.file = sock.makefile("rwb", buffering=0)
        self.file.readline()  # greeting
        self.command("qmp_capabilities")

    def command(self, name, **arguments):
        self.file.write(json.dumps({"execute": name, "arguments": arguments}).encode() + b"\n")
        while True:
            reply = json.loads(self.file.readline() or '{"error": "QMP connection closed"}')
            if "return" in reply:
                return reply["return"]
            if "error" in reply:
                raise RuntimeError(f"QMP {name}: {reply['error']}")

    def key(self, qcode, down, device):
        event = {"type": "key", "data": {"down": down, "key": {"type": "qcode", "data": qcode}}}
        self.command("input-send-event", events=[event], **({"device": device} if device else {}))


class Guest:
    # Answers the guest's requests and keeps its verdicts.

    def __init__(self, process, qmp):
        self.process, self.qmp = process, qmp
        self.passed, self.failed, self.results, self.delays = [], [], [], []
        self.started, self.started_at, self.done, self.first_key = 0, time.monotonic(), False, None

    def ack(self, request_id):
        self.process.stdin.write(f"@@ACK {request_id}\n".encode())
        self.process.stdin.flush()

    def press(self, key_press, gap):
        qcode, _, rest = key_press.partition(":")
        action, _, device = rest.partition("@")
        for down in [True] * (action in "dt") + [False] * (action in "ut"):
            self.qmp.key(qcode, down, device)
            self.first_key = self.first_key or time.monotonic()
            time.sleep(gap)

    def verdict(self, kind, text):
        self.results.append(f"{kind} {text} ({time.monotonic() - self.started_at:.0f} s)")
        (self.passed if kind == "@@PASS" else self.failed).append(text)

    def handle(self, line):
        words = line[line.find("@@"):].split() if "@@" in line else [""]
        kind = words[0]
        if kind == "@@REQ":
            self.first_key = None
            for key_press in words[3:]:
                self.press(key_press, int(words[2]) / 1000.0)
            self.ack(words[1])
        elif kind == "@@QMP":
            try:
                self.qmp.command(words[2], **json.loads(" ".join(words[3:]) or "{}"))
            except RuntimeError as error:
                log(str(error))
            self.ack(words[1])
        elif kind == "@@SEEN" and self.first_key:
            self.delays.append(time.monotonic() - self.first_key)
            self.first_key = None
        elif kind == "@@FIGURE" and self.delays:
            ms = sorted(1000 * d for d in self.delays)
            self.results.append(f"@@INFO {' '.join(words[1:])}: median {statistics.median(ms):.1f} ms, "
                                f"p90 {ms[int(0.9 * (len(ms) - 1))]:.1f} ms over {len(ms)}")
            print(self.results[-1], flush=True)
            self.delays = []
        elif kind in ("@@PASS", "@@FAIL"):
            self.verdict(kind, " ".join(words[1:]))
        elif kind == "@@INFO":
            self.results.append(" ".join(words))
        elif kind == "@@START":
            self.started += 1
            self.started_at = time.monotonic()
        elif kind == "@@DONE":
            self.done = True
            # A harness that died mid-scenario leaves it without a verdict.
            if words[1:] != ["0"] or self.started != len(self.passed) + len(self.failed):
                self.verdict("@@FAIL", f"vm: the harness ended abnormally ({' '.join(words[1:])})")


def boot(command, qmp_path, deadline, transcript_path, verbose):
    # Runs QEMU until the guest is done or the deadline; returns its Guest.
    log("booting")
    qemu = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    # At the deadline QEMU is killed (by its own pid), which ends its output.
    timer = threading.Timer(deadline - time.monotonic(), qemu.kill)
    timer.start()
    try:
        guest = Guest(qemu, Qmp(qmp_path, deadline))
        with open(transcript_path, "ab") as transcript:
            for raw in qemu.stdout:
                transcript.write(raw)
                line = raw.decode(errors="replace").rstrip("\r\n")
                if verbose or re.search(r"@@(PASS|FAIL|INFO|DONE)", line):
                    print(line, flush=True)
                guest.handle(line)
                if guest.done:
                    break
        if not guest.done:
            guest.verdict("@@FAIL", "vm: the guest did not finish in time")
            print("@@FAIL vm: the guest did not finish in time", flush=True)
        return guest
    finally:
        timer.cancel()
        qemu.kill()
        qemu.wait()


def report(guest, results_path, started):
    # Writes every verdict and figure (CTest shows a passing test's output to
    # nobody) and answers the exit status.
    failed = len(guest.failed) + (0 if guest.passed else 1)
    summary = f"{len(guest.passed)} passed, {failed} failed; VM time {time.monotonic() - started:.1f} s"
    log(summary)
    with open(results_path, "w") as f:
        f.write("\n".join(guest.results + ["vm: " + summary]) + "\n")
    return 0 if failed == 0 else 1


def run(args):
    build = os.path.abspath(args.build_dir)
    cache = os.path.join(build, "vm-cache")
    results, console = (os.path.join(build, f"system-{n}") for n in ("results.txt", "console.log"))
    for path in (results, console):
        if os.path.exists(path):
            os.remove(path)  # never show what an earlier run left
    started = time.monotonic()
    work = tempfile.mkdtemp(prefix="quorvelle-system-")
    try:
        share = os.path.join(work, "share")
        shutil.copytree(os.path.join(HERE, "guest"), os.path.join(share, "guest"))
        for program in ("keylog", "engine_probe", "device_probe"):
            shutil.copy(os.path.join(build, "tests", "vm", program), share)
        deb = build_package(build, share)
        image = system_image(cache, PACKAGES + package_needs(deb))
        log(f"setup took {time.monotonic() - started:.1f} s")
        qmp_path = os.path.join(work, "qmp.sock")
        append = "root=/dev/vda rw" + (f" acceptance={args.only}" if args.only else "")
        command = [
            "qemu-system-x86_64", "-accel", accelerator(), "-m", "2048", "-smp", "1", "-display", "none",
            "-vga", "none", "-serial", "stdio", "-monitor", "none", "-no-reboot", "-nodefaults",
            "-kernel", os.path.join(image, "vmlinux"), "-initrd", os.path.join(image, "initrd.img"),
            "-append", "console=ttyS0 quiet panic=-1 " + append, "-qmp", f"unix:{qmp_path},server=on,wait=off",
            "-drive", f"file={os.path.join(image, 'disk.img')},if=virtio,format=raw,cache=unsafe,snapshot=on",
            "-virtfs", f"local,path={share},mount_tag=host,security_model=none,readonly=on",
            "-device", "VGA,id=vga0", "-device", "qemu-xhci,id=xhci",
            "-device", "usb-kbd,bus=xhci.0,display=vga0"]
        guest = boot(command, qmp_path, started + args.timeout, console, args.verbose)
        return report(guest, results, started)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.strip())
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--only", default="", help="comma-separated scenario names")
    parser.add_argument("--timeout", type=float, default=1400)
    parser.add_argument("--verbose", action="store_true", help="echo the whole console")
    sys.exit(run(parser.parse_args()))
