#!/usr/bin/env python3
"""Runs the acceptance scenarios: the Debian package on a whole Debian system in QEMU."""
# Quorvelle used as a person uses it. The system (systemd, udev, logind,
# polkit, Xorg, Weston, the test user logged in on tty1, a second user on
# tty3) is built with mmdebstrap into <build>/vm-cache, and again only when
# its recipe changes: build-image.sh, rootfs/ or the packages, the package's
# own dependencies included. Each run boots a fresh snapshot of it with the
# package built by cpack, the X client, a misbehaving client of the engine
# service and guest/ in a read-only folder; guest/harness.sh installs the
# package and runs the scenarios, and vmdriver.py plays the keyboard.
#
#     run_system.py --build-dir build [--only NAME,NAME] [--timeout SECONDS]
import glob
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import vmdriver  # noqa: E402
from vmdriver import log  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
PACKAGES = """systemd-sysv udev dbus dbus-user-session libpam-systemd polkitd kmod procps
linux-image-amd64 initramfs-tools xserver-xorg-core xserver-xorg-input-libinput xinit xauth
trayer xdotool xinput weston wev fonts-dejavu-core""".split()


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
        vmdriver.write_elf_kernel(os.path.join(folder, "vmlinuz"), os.path.join(folder, "vmlinux"))
        open(os.path.join(folder, "ready"), "w").close()
    return folder


def run(args):
    build = os.path.abspath(args.build_dir)
    cache = os.path.join(build, "vm-cache")
    results, console = (os.path.join(build, f"system-{n}") for n in ("results.txt", "console.log"))
    vmdriver.fresh_outputs(results, console)
    started = time.monotonic()
    work = tempfile.mkdtemp(prefix="quorvelle-system-")
    try:
        share = os.path.join(work, "share")
        shutil.copytree(os.path.join(HERE, "guest"), os.path.join(share, "guest"))
        for program in ("keylog", "engine_probe"):
            shutil.copy(os.path.join(build, "tests", "vm", program), share)
        deb = build_package(build, share)
        image = system_image(cache, PACKAGES + package_needs(deb))
        log(f"setup took {time.monotonic() - started:.1f} s")
        qmp_path = os.path.join(work, "qmp.sock")
        append = "root=/dev/vda rw" + (f" acceptance={args.only}" if args.only else "")
        command = vmdriver.qemu_command(os.path.join(image, "vmlinux"), os.path.join(image, "initrd.img"),
                                        append, qmp_path, 2048, 1) + [
            "-drive", f"file={os.path.join(image, 'disk.img')},if=virtio,format=raw,cache=unsafe,snapshot=on",
            "-virtfs", f"local,path={share},mount_tag=host,security_model=none,readonly=on",
            "-device", "VGA,id=vga0", "-device", "qemu-xhci,id=xhci",
            "-device", "usb-kbd,bus=xhci.0,display=vga0"]
        guest = vmdriver.boot(command, qmp_path, "whole system", started + args.timeout, console, args.verbose)
        return vmdriver.report([guest], results, started)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(run(vmdriver.arguments(__doc__, timeout=1400).parse_args()))
