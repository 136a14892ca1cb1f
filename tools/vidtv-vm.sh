#!/usr/bin/env bash
# Boots Debian's own kernel under QEMU with the kernel's virtual DVB driver
# (vidtv) built out of tree, and runs a job script inside it against the
# host's own binaries.
#
#   tools/vidtv-vm.sh check            says what is missing (exit 2) or nothing
#   tools/vidtv-vm.sh prepare          downloads, unpacks and builds (cached)
#   tools/vidtv-vm.sh run JOB OUTDIR   boots, runs JOB, powers off
#
# prepare fetches linux-source-6.1 and the matching linux-image, linux-headers
# and linux-kbuild packages with apt-get download into the cache directory
# (TRESSEL_VIDTV_CACHE, default /var/cache/tressel-vidtv, or
# ~/.cache/tressel-vidtv when that is not writable), unpacks them with
# dpkg-deb -x (nothing is installed), builds vidtv against the headers,
# extracts the uncompressed vmlinux from the packaged vmlinuz, and packs a
# busybox initramfs with the virtio, 9p and media modules. Everything is
# reused on the next run.
#
# run boots the kernel with the host's root shared read-only over 9p and
# OUTDIR shared writable. The guest chroots into the host's root, where OUTDIR
# is /mnt (and TMPDIR /mnt/tmp: the rest of the tree is read-only), and runs
# a copy of JOB, a script run by its #! line. The job sees VIDTV_MODULES (the
# directory of the three vidtv modules) and VIDTV_OUT (/mnt); every other host
# path is where it is on the host. Its output goes to OUTDIR/job.log and its exit
# status to OUTDIR/job.rc; the kernel's console to OUTDIR/console.log. The
# exit status of run is the job's, or 125 when the machine failed to run it.
set -u

cache=${TRESSEL_VIDTV_CACHE:-/var/cache/tressel-vidtv}
if ! mkdir -p "$cache" 2>/dev/null || [ ! -w "$cache" ]; then
  cache=${XDG_CACHE_HOME:-$HOME/.cache}/tressel-vidtv
  mkdir -p "$cache"
fi
vm_timeout=${TRESSEL_VIDTV_TIMEOUT:-600}

die() {
  echo "vidtv: $*" >&2
  exit 125
}

# What the host needs; prints one line naming what is missing.
check() {
  local missing=()
  for tool in qemu-system-x86_64:qemu-system-x86 busybox:busybox-static apt-get:apt \
              dpkg-deb:dpkg make:make gcc-12:gcc-12 xz:xz-utils objcopy:binutils; do
    command -v "${tool%%:*}" >/dev/null 2>&1 || missing+=("${tool#*:}")
  done
  # The initramfs needs the static busybox: the guest has no libraries
  # before the host's root is mounted.
  dpkg-query -W -f='${Status}' busybox-static 2>/dev/null | grep -q 'ok installed' ||
    missing+=("busybox-static")
  if [ ${#missing[@]} -gt 0 ]; then
    echo "missing packages: ${missing[*]}"
    return 2
  fi
}

# The kernel ABI (6.1.0-N-amd64) and the version of its packages, from the
# newest linux-image-amd64 the package lists know; the cache's when offline.
resolve_kernel() {
  local image
  image=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-6\.1\.[^ ]*-amd64\)$/\1/p' | head -n 1)
  if [ -n "$image" ]; then
    abi=${image#linux-image-}
    version=$(apt-cache policy "$image" 2>/dev/null | sed -n 's/^ *Candidate: //p')
  fi
  if [ -z "${abi:-}" ] || [ -z "${version:-}" ] || [ "$version" = "(none)" ]; then
    [ -f "$cache/current" ] || die "no linux-image-amd64 in the package lists (run apt-get update)"
    read -r abi version <"$cache/current"
  fi
  kdir=$cache/$abi-$version
}

prepare() {
  resolve_kernel
  if [ -f "$kdir/ready" ]; then
    echo "$abi $version" >"$cache/current"
    return 0
  fi
  local debs=$kdir/debs root=$kdir/root
  mkdir -p "$debs"
  local pkg want=()
  for pkg in linux-source-6.1 "linux-image-$abi" "linux-headers-$abi" \
             "linux-headers-${abi%-amd64}-common" linux-kbuild-6.1; do
    ls "$debs/${pkg}_"*.deb >/dev/null 2>&1 || want+=("$pkg=$version")
  done
  if [ ${#want[@]} -gt 0 ]; then
    echo "vidtv: downloading ${want[*]}"
    (cd "$debs" && apt-get download -q "${want[@]}" >"$kdir/download.log" 2>&1) ||
      { cat "$kdir/download.log" >&2; die "apt-get download failed"; }
  fi

  echo "vidtv: unpacking and building for $abi"
  rm -rf "$root" "$kdir/src" "$kdir/vidtv"
  mkdir -p "$root" "$kdir/src" "$kdir/vidtv"
  for pkg in "$debs"/*.deb; do
    dpkg-deb -x "$pkg" "$root" || die "dpkg-deb -x $pkg failed"
  done
  tar -xJf "$root"/usr/src/linux-source-6.1.tar.xz -C "$kdir/src" --wildcards \
    'linux-source-6.1/drivers/media/test-drivers/vidtv/*' || die "cannot unpack vidtv from linux-source-6.1"
  cp "$kdir"/src/linux-source-6.1/drivers/media/test-drivers/vidtv/* "$kdir/vidtv/"
  rm -rf "$kdir/src"

  # The headers' Makefile includes the common headers by their installed
  # path; point it at the unpacked copy.
  local headers=$root/usr/src/linux-headers-$abi
  sed -i "s|^include /usr/src/|include $root/usr/src/|" "$headers/Makefile"
  make -C "$headers" M="$kdir/vidtv" CONFIG_DVB_VIDTV=m -j2 modules >"$kdir/build.log" 2>&1 ||
    { tail -n 40 "$kdir/build.log" >&2; die "building vidtv failed"; }

  # vmlinux: the first xz stream in the vmlinuz that unpacks to an ELF file.
  local image=$root/boot/vmlinuz-$abi off
  for off in $(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$image" | cut -d: -f1); do
    tail -c +$((off + 1)) "$image" | xz -dcq >"$kdir/vmlinux" 2>/dev/null
    [ "$(head -c 4 "$kdir/vmlinux" | od -An -c | tr -d ' ')" = '177ELF' ] && break
    rm -f "$kdir/vmlinux"
  done
  [ -s "$kdir/vmlinux" ] || die "no vmlinux in $image"

  # The modules the initramfs loads, in load order: each after what it
  # depends on.
  local mods=$root/lib/modules/$abi/kernel m
  rm -rf "$kdir/modules"
  mkdir -p "$kdir/modules"
  for m in drivers/virtio/virtio_ring drivers/virtio/virtio drivers/virtio/virtio_pci_legacy_dev \
           drivers/virtio/virtio_pci_modern_dev drivers/virtio/virtio_pci net/9p/9pnet \
           net/9p/9pnet_virtio fs/netfs/netfs fs/fscache/fscache fs/9p/9p drivers/media/mc/mc \
           drivers/media/dvb-core/dvb-core; do
    cp "$mods/$m.ko" "$kdir/modules/" || die "missing module $m"
    echo "${m##*/}" >>"$kdir/modules/order"
  done
  # The unpacked trees are large and the machine needs none of them now;
  # the downloaded packages stay for the next build.
  rm -rf "$root"
  echo "$abi $version" >"$cache/current"
  make_initramfs
  touch "$kdir/ready"
  # An older kernel's packages and build are no longer used.
  local old
  for old in "$cache"/6.*-amd64-*; do
    [ "$old" = "$kdir" ] || rm -rf "$old"
  done
}

# The initramfs is rebuilt whenever its init script changes.
make_initramfs() {
  local ird=$kdir/initramfs
  [ -f "$kdir/initramfs.gz" ] && [ "$(cat "$kdir/initramfs.sum" 2>/dev/null)" = "$(init_script | cksum)" ] &&
    return 0
  rm -rf "$ird"
  mkdir -p "$ird"/{bin,proc,sys,dev,newroot}
  cp "$(command -v busybox)" "$ird/bin/busybox"
  cp -r "$kdir/modules" "$ird/modules"
  init_script >"$ird/init"
  chmod +x "$ird/init"
  (cd "$ird" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1 >"$kdir/initramfs.gz") || die "cannot pack the initramfs"
  init_script | cksum >"$kdir/initramfs.sum"
  rm -rf "$ird"
}

init_script() {
  cat <<'EOF'
#!/bin/busybox sh
/bin/busybox mkdir -p /sbin /usr/bin /usr/sbin
/bin/busybox --install -s
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for m in $(cat /modules/order); do
  insmod /modules/$m.ko || echo "vidtv guest: insmod $m failed"
done
opts=trans=virtio,version=9p2000.L,msize=262144,cache=loose
mount -t 9p -o ro,$opts hostroot /newroot || echo "vidtv guest: cannot mount the host's root"
mount -t proc proc /newroot/proc
mount -t sysfs sysfs /newroot/sys
mount -t devtmpfs devtmpfs /newroot/dev
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 results /newroot/mnt
chroot /newroot /bin/sh /mnt/run.sh >/newroot/mnt/job.log 2>&1
echo $? >/newroot/mnt/job.rc
sync
umount /newroot/mnt
poweroff -f
EOF
}

run() {
  local job=$1 out=$2
  [ -f "$job" ] || die "no job script $job"
  resolve_kernel
  [ -f "$kdir/ready" ] || prepare || exit 125
  make_initramfs
  mkdir -p "$out"
  out=$(realpath "$out")
  rm -f "$out/job.rc" "$out/job.log" "$out/console.log"
  cp "$job" "$out/job.sh"
  chmod +x "$out/job.sh"
  mkdir -p "$out/tmp"
  cat >"$out/run.sh" <<EOF
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/mnt/tmp TMPDIR=/mnt/tmp LANG=C.UTF-8
export VIDTV_MODULES='$kdir/vidtv' VIDTV_OUT=/mnt
cd /mnt
exec /mnt/job.sh
EOF
  local accel=(-accel tcg)
  if grep -qwE 'vmx|svm' /proc/cpuinfo && [ -w /dev/kvm ]; then
    accel=(-accel kvm -cpu host)
  fi
  timeout "$vm_timeout" qemu-system-x86_64 "${accel[@]}" -m 768 -smp 1 \
    -kernel "$kdir/vmlinux" -initrd "$kdir/initramfs.gz" \
    -append "console=ttyS0 panic=-1 quiet loglevel=4" \
    -fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap \
    -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
    -fsdev local,id=results,path="$out",security_model=none \
    -device virtio-9p-pci,fsdev=results,mount_tag=results \
    -nic none -display none -monitor none -serial file:"$out/console.log" -no-reboot \
    </dev/null >"$out/qemu.log" 2>&1
  local status=$?
  if [ ! -f "$out/job.rc" ]; then
    echo "vidtv: the machine did not finish the job (qemu exit $status); console:" >&2
    tail -n 30 "$out/console.log" >&2
    cat "$out/qemu.log" >&2
    return 125
  fi
  return "$(cat "$out/job.rc")"
}

case ${1:-} in
  check) check ;;
  prepare) check >&2 || exit 2; prepare ;;
  run) [ $# = 3 ] || die "usage: $0 run JOB OUTDIR"; check >&2 || exit 2; run "$2" "$3" ;;
  *) echo "usage: $0 check | prepare | run JOB OUTDIR" >&2; exit 2 ;;
esac
