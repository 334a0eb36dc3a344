#!/usr/bin/env python3
"""Runs the end-to-end keyboard tests in a QEMU virtual machine.

Boots Debian's stock kernel (fetched with apt-get download and cached in the
build folder) with an initramfs holding busybox, the input modules and the
statically linked guest programs, and plays the keyboard for the guest: the
guest prints requests on the serial console, this driver presses keys through
QMP and acknowledges on the serial input. The guest prints @@PASS / @@FAIL
lines and @@DONE; they are echoed here and decide the exit status.

    run_vm.py --build-dir build [--only NAME,NAME] [--timeout SECONDS]
"""
import argparse
import gzip
import json
import lzma
import os
import re
import select
import shutil
import socket
import stat
import struct
import subprocess
import sys
import tempfile
import time

MODULES = ["usb-common", "usbcore", "xhci-hcd", "xhci-pci", "hid", "hid-generic",
           "usbhid", "uhid", "evdev", "uinput"]
# The peer pipeline used for the latency comparison, with its shared libraries.
PEER_PROGRAMS = ["/usr/bin/interception", "/usr/bin/caps2esc", "/usr/bin/uinput"]


def log(message):
    print(f"vm: {message}", flush=True)


# ---------------------------------------------------------------- the kernel

def kernel_package():
    out = subprocess.run(["apt-cache", "depends", "linux-image-amd64"], check=True,
                         capture_output=True, text=True).stdout
    for line in out.splitlines():
        match = re.match(r"\s*Depends:\s*(linux-image-\S+)", line)
        if match:
            return match.group(1)
    raise RuntimeError("apt-cache names no kernel package for linux-image-amd64")


def elf_from_bzimage(data):
    """The uncompressed kernel (an ELF with a PVH entry) inside a bzImage."""
    setup_sects = data[0x1F1] or 4
    offset, length = struct.unpack_from("<II", data, 0x248)
    start = (setup_sects + 1) * 512 + offset
    # The payload ends with the uncompressed size, which is no xz data.
    decompressor = lzma.LZMADecompressor()
    elf = decompressor.decompress(data[start:start + length])
    if not decompressor.eof or elf[:4] != b"\x7fELF":
        raise RuntimeError("the kernel payload is not an xz-compressed ELF image")
    return elf


def fetch_kernel(cache):
    """Returns (vmlinux ELF path, folder of the modules), from the cache if there."""
    package = kernel_package()
    folder = os.path.join(cache, package)
    ready = os.path.join(folder, "ready")
    modules = os.path.join(folder, "modules")
    if os.path.exists(ready) and all(os.path.exists(os.path.join(modules, m + ".ko")) for m in MODULES):
        return os.path.join(folder, "vmlinux"), modules
    log(f"fetching {package}")
    shutil.rmtree(folder, ignore_errors=True)
    work = os.path.join(folder, "unpack")
    os.makedirs(work)
    download = ["apt-get", "download", "-q", package]
    if subprocess.run(download, cwd=work).returncode != 0:
        subprocess.run(["apt-get", "update", "-q", "-o", "DPkg::Lock::Timeout=600"], check=True)
        subprocess.run(download, cwd=work, check=True)
    deb = next(f for f in os.listdir(work) if f.endswith(".deb"))
    tar = subprocess.Popen(["dpkg-deb", "--fsys-tarfile", os.path.join(work, deb)],
                           stdout=subprocess.PIPE)
    subprocess.run(["tar", "-x", "-C", work, "--wildcards", "./boot/vmlinuz-*",
                    "./lib/modules/*/kernel/drivers/usb/*", "./lib/modules/*/kernel/drivers/hid/*",
                    "./lib/modules/*/kernel/drivers/input/*"], stdin=tar.stdout, check=True)
    tar.wait()
    boot = os.path.join(work, "boot")
    bzimage = os.path.join(boot, next(f for f in os.listdir(boot) if f.startswith("vmlinuz-")))
    with open(bzimage, "rb") as f:
        elf = elf_from_bzimage(f.read())
    with open(os.path.join(folder, "vmlinux"), "wb") as f:
        f.write(elf)
    os.makedirs(modules)
    found = {}
    for root, _, files in os.walk(os.path.join(work, "lib")):
        for name in files:
            if name.endswith(".ko"):
                found[name[:-3].replace("_", "-")] = os.path.join(root, name)
    for module in MODULES:
        shutil.copy(found[module], os.path.join(modules, module + ".ko"))
    shutil.rmtree(work)
    open(ready, "w").close()
    return os.path.join(folder, "vmlinux"), modules


# ------------------------------------------------------------- the initramfs

class Cpio:
    """A newc archive, written without needing root for device nodes."""

    def __init__(self):
        self.data = bytearray()
        self.inode = 1
        self.names = set()

    def _entry(self, name, mode, body=b"", rdev=(0, 0)):
        name = name.lstrip("/")
        if name in self.names:
            return
        self.names.add(name)
        fields = [self.inode, mode, 0, 0, 1, 0, len(body), 0, 0, rdev[0], rdev[1],
                  len(name) + 1, 0]
        self.inode += 1
        self.data += b"070701" + b"".join(b"%08X" % f for f in fields)
        self.data += name.encode() + b"\0"
        self.data += b"\0" * (-len(self.data) % 4)
        self.data += body
        self.data += b"\0" * (-len(self.data) % 4)

    def directory(self, name):
        parts = name.strip("/").split("/")
        for i in range(1, len(parts) + 1):
            self._entry("/".join(parts[:i]), stat.S_IFDIR | 0o755)

    def file(self, name, body, mode=0o755):
        self.directory(os.path.dirname(name.strip("/")) or ".")
        self._entry(name, stat.S_IFREG | mode, body)

    def host_file(self, name, path, mode=0o755):
        with open(path, "rb") as f:
            self.file(name, f.read(), mode)

    def symlink(self, name, target):
        self.directory(os.path.dirname(name.strip("/")))
        self._entry(name, stat.S_IFLNK | 0o777, target.encode())

    def char_device(self, name, major, minor):
        self.directory(os.path.dirname(name.strip("/")))
        self._entry(name, stat.S_IFCHR | 0o600, rdev=(major, minor))

    def finish(self):
        self._entry("TRAILER!!!", 0)
        return gzip.compress(bytes(self.data), compresslevel=1)


def shared_libraries(program):
    out = subprocess.run(["ldd", program], capture_output=True, text=True).stdout
    libraries = []
    for line in out.splitlines():
        match = re.search(r"(/\S+)\s+\(0x", line)
        if match:
            libraries.append(match.group(1))
    return libraries


def build_initramfs(path, modules, programs, init_script):
    archive = Cpio()
    for folder in ["dev", "proc", "sys", "tmp", "run", "bin", "sbin", "etc"]:
        archive.directory(folder)
    archive.char_device("dev/console", 5, 1)
    archive.host_file("bin/busybox", "/bin/busybox")
    archive.file("init", init_script.encode())
    for module in MODULES:
        archive.host_file(f"modules/{module}.ko", os.path.join(modules, module + ".ko"), 0o644)
    for name, source in programs.items():
        archive.host_file(f"bin/{name}", source)
    for program in PEER_PROGRAMS:
        if not os.path.exists(program):
            continue
        archive.host_file(f"bin/{os.path.basename(program)}", program)
        for library in shared_libraries(program):
            real = os.path.realpath(library)
            archive.host_file(library, real, 0o755)
    with open(path, "wb") as f:
        f.write(archive.finish())


INIT = """#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
for m in %(modules)s; do insmod /modules/$m.ko || echo "@@FAIL boot: insmod $m"; done
echo "@@BOOTED"
/bin/vm_guest %(args)s
echo "@@DONE $?"
poweroff -f
"""


# ------------------------------------------------------------------ QEMU, QMP

class Qmp:
    def __init__(self, path, deadline):
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                self.sock.connect(path)
                break
            except OSError:
                self.sock.close()
                if time.monotonic() > deadline:
                    raise
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
        arguments = {"events": [{"type": "key", "data": {
            "down": down, "key": {"type": "qcode", "data": qcode}}}]}
        if device:
            arguments["device"] = device
        self.command("input-send-event", **arguments)


def qemu_command(kernel, initrd, qmp_path, append, smp, icount=None):
    accel = "tcg"
    try:
        with open("/proc/modules") as f:
            loaded = f.read()
        if re.search(r"^kvm_(intel|amd) ", loaded, re.M) and "kvm_pvm" not in loaded:
            accel = "kvm"
    except OSError:
        pass
    clock = ["-icount", f"shift={icount},align=off,sleep=on"] if icount is not None else []
    return ["qemu-system-x86_64", "-accel", accel, *clock, "-m", "512", "-smp", str(smp),
            "-display", "none", "-serial", "stdio", "-monitor", "none", "-no-reboot",
            "-nodefaults", "-kernel", kernel, "-initrd", initrd,
            "-append", "console=ttyS0 quiet panic=-1 " + append,
            # Display devices first, so that each USB keyboard can be bound to
            # one and addressed by its id; unbound input goes to PS/2.
            "-device", "VGA,id=vga0", "-device", "bochs-display,id=d1",
            "-device", "bochs-display,id=d2",
            "-device", "qemu-xhci,id=xhci",
            "-device", "usb-kbd,id=kbd0,bus=xhci.0,display=vga0",
            "-device", "usb-kbd,id=kbd1,bus=xhci.0,display=d1",
            "-qmp", f"unix:{qmp_path},server=on,wait=off"]


class Guest:
    """Answers the guest's requests until it is done or the time is up."""

    def __init__(self, process, qmp, label):
        self.process = process
        self.qmp = qmp
        self.label = label
        self.passed = []
        self.failed = []
        self.results = []
        self.started = 0
        self.done = False

    def ack(self, request_id):
        self.process.stdin.write(f"@@ACK {request_id}\n".encode())
        self.process.stdin.flush()

    def press(self, key_press, gap):
        qcode, _, rest = key_press.partition(":")
        action, _, device = rest.partition("@")
        if action in ("d", "t"):
            self.qmp.key(qcode, True, device or None)
            time.sleep(gap)
        if action in ("u", "t"):
            self.qmp.key(qcode, False, device or None)
            time.sleep(gap)

    def handle(self, line):
        marker = line.find("@@")
        if marker < 0:
            return
        words = line[marker:].split()
        kind = words[0]
        if kind == "@@REQ":
            # @@REQ id gap_ms key:d|u|t[@device] ...
            gap = int(words[2]) / 1000.0
            for key_press in words[3:]:
                self.press(key_press, gap)
            self.ack(words[1])
        elif kind == "@@QMP":
            # @@QMP id command json-arguments
            arguments = json.loads(" ".join(words[3:])) if len(words) > 3 else {}
            try:
                self.qmp.command(words[2], **arguments)
            except RuntimeError as error:
                log(str(error))
            self.ack(words[1])
        if kind in ("@@PASS", "@@FAIL", "@@INFO"):
            self.results.append(line[marker:] if kind != "@@INFO" or "latency" not in words[1]
                                else f"{line[marker:]}   [{self.label}]")
        if kind == "@@PASS":
            self.passed.append(" ".join(words[1:]))
        elif kind == "@@FAIL":
            self.failed.append(" ".join(words[1:]))
        elif kind == "@@START":
            self.started += 1
        elif kind == "@@DONE":
            self.done = True
            # A checker that died mid-scenario leaves it without a verdict.
            if len(words) < 2 or words[1] != "0" or self.started != len(self.passed) + len(self.failed):
                self.failed.append(f"the checker ended abnormally ({' '.join(words[1:])})")
                self.results.append(f"@@FAIL vm: the checker ended abnormally ({' '.join(words[1:])})")


def boot(args, kernel, modules, programs, scenarios, icount, label, deadline):
    """One boot running the scenarios; returns the Guest with its verdicts."""
    work = tempfile.mkdtemp(prefix="quorvelle-vm-")
    qemu = None
    try:
        initrd = os.path.join(work, "initrd.gz")
        build_initramfs(initrd, modules, programs,
                        INIT % {"modules": " ".join(MODULES), "args": " ".join(scenarios)})
        qmp_path = os.path.join(work, "qmp.sock")
        command = qemu_command(kernel, initrd, qmp_path, "", args.smp, icount)
        log(f"booting ({label})")
        qemu = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT)
        guest = Guest(qemu, Qmp(qmp_path, deadline), label)
        pending = b""
        with open(os.path.join(os.path.abspath(args.build_dir), "vm-console.log"), "ab") as transcript:
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
                    if args.verbose or re.search(r"@@(PASS|FAIL|INFO|DONE|BOOTED)", line):
                        print(line, flush=True)
                    guest.handle(line)
        if not guest.done:
            guest.failed.append("the guest did not finish in time")
            guest.results.append("@@FAIL vm: the guest did not finish in time")
            print("@@FAIL vm: the guest did not finish in time", flush=True)
        return guest
    finally:
        if qemu and qemu.poll() is None:
            qemu.kill()  # by its own pid
            qemu.wait()
        shutil.rmtree(work, ignore_errors=True)


def run(args):
    build = os.path.abspath(args.build_dir)
    cache = os.path.join(build, "vm-cache")
    os.makedirs(cache, exist_ok=True)
    results = os.path.join(build, "vm-results.txt")
    for stale in (results, os.path.join(build, "vm-console.log")):
        if os.path.exists(stale):
            os.remove(stale)  # never show what an earlier run left
    started = time.monotonic()
    kernel, modules = fetch_kernel(cache)
    programs = {name: os.path.join(build, "tests", "vm", name)
                for name in ["vm_guest", "vm_engine_host", "quorvelle-keymap"]}
    missing = [path for path in programs.values() if not os.path.exists(path)]
    if missing:
        log(f"not built: {', '.join(missing)}")
        return 1
    log(f"setup took {time.monotonic() - started:.1f} s")
    # Everything on QEMU's real-time clock; then the latency once more on an
    # instruction-counted clock (-icount), where the host's own scheduling
    # cannot reach the figures: each pipeline's cost, free of that noise.
    boots = [(args.only.split(",") if args.only else [], args.icount, "real-time clock")]
    if not args.only:
        boots.append((["latency"], 3, "instruction-counted clock, 8 ns per instruction"))
    boot_started = time.monotonic()
    deadline = boot_started + args.timeout
    passed, failed, lines = 0, 0, []
    for scenarios, icount, label in boots:
        guest = boot(args, kernel, modules, programs, scenarios, icount, label, deadline)
        passed += len(guest.passed)
        failed += len(guest.failed) + (0 if guest.passed else 1)
        lines += guest.results
    summary = f"{passed} passed, {failed} failed; VM time {time.monotonic() - boot_started:.1f} s"
    log(summary)
    # CTest shows a passing test's output to nobody: keep the lines.
    with open(results, "w") as f:
        f.write("\n".join(lines + ["vm: " + summary]) + "\n")
    return 0 if failed == 0 else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--only", default="", help="comma-separated scenario names")
    parser.add_argument("--timeout", type=float, default=540)
    # One processor: half the host time of two under TCG, and latency figures
    # without the noise of waking an idle second processor.
    parser.add_argument("--smp", type=int, default=1, help="guest processors")
    parser.add_argument("--icount", type=int, default=None, help="QEMU -icount shift")
    parser.add_argument("--verbose", action="store_true", help="echo the whole console")
    sys.exit(run(parser.parse_args()))


if __name__ == "__main__":
    main()
