#!/usr/bin/env bash
# Builds the whole Debian system the acceptance scenarios boot: a root folder
# from Debian's packages (mmdebstrap, as root) with the test's configuration
# from rootfs/, then an ext4 image of it. The .deb files are kept in DEB_CACHE
# for the next build.
#
#   build-image.sh OUT_DIR DEB_CACHE PACKAGE...
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
out=$1 debs=$2
shift 2
root=$out/root
rm -rf "$root" && mkdir -p "$root" "$debs"

# Everything under TCG costs: a small initramfs (only what mounts the root),
# no documentation, no module the test never loads, no unit it never needs.
mmdebstrap --mode=root --variant=minbase --include="$(IFS=,; echo "$*")" \
  --dpkgopt=force-unsafe-io --dpkgopt='path-exclude=/usr/share/man/*' \
  --dpkgopt='path-exclude=/usr/share/locale/*' --dpkgopt='path-exclude=/usr/share/doc/*' \
  --skip=essential/unlink,cleanup/reproducible \
  --setup-hook='mkdir -p "$1/var/cache/apt/archives"' \
  --setup-hook="sync-in $debs /var/cache/apt/archives/" \
  --essential-hook='mkdir -p "$1/etc/initramfs-tools/conf.d" "$1/usr/share/initramfs-tools/modules.d"
    printf "MODULES=list\nCOMPRESS=gzip\n" >"$1/etc/initramfs-tools/conf.d/small"
    printf "virtio_pci\nvirtio_blk\next4\n" >"$1/usr/share/initramfs-tools/modules.d/root"' \
  --customize-hook="sync-out /var/cache/apt/archives $debs" \
  --customize-hook='chroot "$1" useradd --create-home --uid 1000 --shell /bin/bash tester
    chroot "$1" useradd --create-home --uid 1001 --shell /bin/bash visitor' \
  --customize-hook="sync-in $here/rootfs /" \
  --customize-hook='set -e; chroot "$1" chown -R tester: /home/tester; chroot "$1" chown -R visitor: /home/visitor
    mkdir -p "$1/mnt/host"
    chroot "$1" systemd-machine-id-setup
    chroot "$1" systemctl enable acceptance.service
    chroot "$1" systemctl mask systemd-firstboot.service serial-getty@ttyS0.service \
      modprobe@dm_mod.service modprobe@fuse.service modprobe@loop.service e2scrub_reap.service \
      systemd-random-seed.service dev-hugepages.mount dev-mqueue.mount apt-daily.timer \
      apt-daily-upgrade.timer man-db.timer e2scrub_all.timer fstrim.timer
    cd "$1"/lib/modules/*/kernel
    rm -rf sound drivers/net drivers/media drivers/infiniband drivers/staging drivers/bluetooth \
      drivers/gpu/drm/amd drivers/gpu/drm/nouveau drivers/gpu/drm/radeon drivers/gpu/drm/i915 \
      drivers/scsi drivers/md drivers/iio drivers/isdn drivers/net fs/btrfs fs/xfs fs/ocfs2 \
      fs/nfs fs/nfsd fs/ceph fs/smb fs/gfs2 fs/f2fs
    find net -mindepth 1 -maxdepth 1 ! -name 9p -exec rm -rf {} +
    chroot "$1" sh -c "depmod \$(ls /lib/modules)"' \
  bookworm "$root"

cp "$root"/boot/initrd.img-* "$out/initrd.img"
cp "$root"/boot/vmlinuz-* "$out/vmlinuz"
rm -f "$out/disk.img"
truncate -s 3G "$out/disk.img"
mkfs.ext4 -q -F -d "$root" "$out/disk.img"
rm -rf "$root"
