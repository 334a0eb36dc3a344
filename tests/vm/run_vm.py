#!/usr/bin/env python3
"""Runs the end-to-end keyboard tests in a QEMU virtual machine."""
# Boots Debian's stock kernel (fetched with apt-get download and cached in the
# build folder) with an initramfs holding busybox, the input modules and the
# statically linked guest programs; vmdriver.py plays the keyboard for the
# guest and keeps its verdicts.
#
#     run_vm.py --build-dir build [--only NAME,NAME] [--timeout SECONDS]
import gzip
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import time

import vmdriver
from vmdriver import log

MODULES = ["usb-common", "usbcore", "xhci-hcd", "xhci-pci", "hid", "hid-generic",
           "usbhid", "evdev", "uinput"]
# The peer pipeline used for the latency comparison, with its shared libraries.
PEER_PROGRAMS = ["/usr/bin/interception", "/usr/bin/caps2esc", "/usr/bin/uinput"]


# ---------------------------------------------------------------- the kernel

def kernel_package():
    out = subprocess.run(["apt-cache", "depends", "linux-image-amd64"], check=True,
                         capture_output=True, text=True).stdout
    for line in out.splitlines():
        match = re.match(r"\s*Depends:\s*(linux-image-\S+)", line)
        if match:
            return match.group(1)
    raise RuntimeError("apt-cache names no kernel package for linux-image-amd64")


def fetch_kernel(cache):
    # Returns (vmlinux ELF path, folder of the modules), from the cache if there.
    package = kernel_package()
    folder = os.path.join(cache, package)
    ready = os.path.join(folder, "ready")
    if os.path.exists(ready):
        return os.path.join(folder, "vmlinux"), os.path.join(folder, "modules")
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
    vmdriver.write_elf_kernel(bzimage, os.path.join(folder, "vmlinux"))
    modules = os.path.join(folder, "modules")
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
    # A newc archive, written without needing root for device nodes.

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


def boot(args, kernel, modules, programs, scenarios, icount, label, deadline):
    # One boot running the scenarios; returns the Guest with its verdicts.
    work = tempfile.mkdtemp(prefix="quorvelle-vm-")
    try:
        initrd = os.path.join(work, "initrd.gz")
        build_initramfs(initrd, modules, programs,
                        INIT % {"modules": " ".join(MODULES), "args": " ".join(scenarios)})
        qmp_path = os.path.join(work, "qmp.sock")
        command = vmdriver.qemu_command(kernel, initrd, "", qmp_path, 512, args.smp, icount) + [
            # Display devices first, so that each USB keyboard can be bound to
            # one and addressed by its id; unbound input goes to PS/2.
            "-device", "VGA,id=vga0", "-device", "bochs-display,id=d1",
            "-device", "bochs-display,id=d2", "-device", "qemu-xhci,id=xhci",
            "-device", "usb-kbd,id=kbd0,bus=xhci.0,display=vga0",
            "-device", "usb-kbd,id=kbd1,bus=xhci.0,display=d1"]
        return vmdriver.boot(command, qmp_path, label, deadline,
                             os.path.join(os.path.abspath(args.build_dir), "vm-console.log"), args.verbose)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run(args):
    build = os.path.abspath(args.build_dir)
    cache = os.path.join(build, "vm-cache")
    os.makedirs(cache, exist_ok=True)
    vmdriver.fresh_outputs(os.path.join(build, "vm-results.txt"), os.path.join(build, "vm-console.log"))
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
    guests = [boot(args, kernel, modules, programs, scenarios, icount, label, deadline)
              for scenarios, icount, label in boots]
    return vmdriver.report(guests, os.path.join(build, "vm-results.txt"), boot_started)


def main():
    parser = vmdriver.arguments(__doc__, timeout=540)
    # One processor: half the host time of two under TCG, and latency figures
    # without the noise of waking an idle second processor.
    parser.add_argument("--smp", type=int, default=1, help="guest processors")
    parser.add_argument("--icount", type=int, default=None, help="QEMU -icount shift")
    sys.exit(run(parser.parse_args()))


if __name__ == "__main__":
    main()
