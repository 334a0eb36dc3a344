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
import subprocess
import sys
import tempfile
import time

import vmdriver
from vmdriver import log

MODULES = ["usb-common", "usbcore", "xhci-hcd", "xhci-pci", "hid", "hid-generic",
           "usbhid", "uhid", "evdev", "uinput"]
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
    vmdriver.write_elf_kernel(bzimage, os.path.join(folder, "vmlinux"))
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

def shared_libraries(program):
    out = subprocess.run(["ldd", program], capture_output=True, text=True).stdout
    libraries = []
    for line in out.splitlines():
        match = re.search(r"(/\S+)\s+\(0x", line)
        if match:
            libraries.append(match.group(1))
    return libraries


def build_initramfs(path, modules, programs, init_script):
    # Staged in a folder and archived by cpio as root's. It holds no
    # /dev/console (making one needs privileges): /init opens it itself.
    with tempfile.TemporaryDirectory() as root:
        def put(name, source, mode=0o755):
            target = os.path.join(root, name.lstrip("/"))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copy(source, target)
            os.chmod(target, mode)
        for folder in ["dev", "proc", "sys", "tmp", "run", "sbin", "etc"]:
            os.makedirs(os.path.join(root, folder))
        with open(os.path.join(root, "init"), "w") as f:
            f.write(init_script)
        os.chmod(f.name, 0o755)
        put("bin/busybox", "/bin/busybox")
        for module in MODULES:
            put(f"modules/{module}.ko", os.path.join(modules, module + ".ko"), 0o644)
        for name, source in programs.items():
            put(f"bin/{name}", source)
        for program in filter(os.path.exists, PEER_PROGRAMS):
            put(f"bin/{os.path.basename(program)}", program)
            for library in shared_libraries(program):
                put(library, os.path.realpath(library))
        names = subprocess.run(["find", "."], cwd=root, capture_output=True, check=True).stdout
        archive = subprocess.run(["cpio", "-o", "-H", "newc", "--owner=0:0", "--quiet"], cwd=root, input=names,
                                 capture_output=True, check=True).stdout
    with open(path, "wb") as f:
        f.write(gzip.compress(archive, compresslevel=1))


INIT = """#!/bin/busybox sh
/bin/busybox mount -t devtmpfs dev /dev
exec 0<>/dev/console 1>&0 2>&0
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
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
                for name in ["vm_guest", "vm_engine_host"]}
    missing = [path for path in programs.values() if not os.path.exists(path)]
    if missing:
        log(f"not built: {', '.join(missing)}")
        return 1
    log(f"setup took {time.monotonic() - started:.1f} s")
    boots = [(args.only.split(",") if args.only else [], args.icount, "real-time clock")]
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
