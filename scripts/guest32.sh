#!/usr/bin/env bash
# The emulated 32-bit guest: an i386 Debian 12 system with 32-bit Wine, booted under
# qemu-system-i386, where the shipped 32-bit DLL and the 32-bit test programs run. This machine
# runs no 32-bit code itself: the image is built from extracted packages, and the guest
# configures them on its first boot.
#
#   bash scripts/guest32.sh                  builds the image unless it is cached (setup.sh runs
#                                            this); prints how long the build took
#   bash scripts/guest32.sh --dir            prints the image's folder (built or not)
#   bash scripts/guest32.sh --run JOB SECS   boots a throwaway copy of the image (its disk is a
#                                            snapshot), shares the folder JOB with it over 9p as
#                                            /job, runs /job/run.sh there as root, waits at most
#                                            SECS; the exit code is run.sh's
#
# The image lives outside the checkout, so that every clone on this machine reuses it:
# ${TT_GUEST_CACHE:-/var/cache/tavelle-toolbar/guest32}/<key>, the key a hash of the part of
# this file between the two "image" marks below (the package list and everything that shapes
# the image). A build goes into <key>.tmp.<pid> and is renamed when complete; an interrupted
# one is removed by the next.
set -euo pipefail

GUEST_CACHE=${TT_GUEST_CACHE:-/var/cache/tavelle-toolbar/guest32}
SELF=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")

# ---- image: everything from here to the end mark is part of the cache key -----------------

GUEST_SUITE=bookworm
# What the guest runs: Wine and an X server for the programs, Python for the stand-in server
# and the demo session, xwd/xwininfo/convert for its screenshots, the Japanese locale and
# font for code page 932, and a static busybox for the initrd. The tree has /usr merged.
GUEST_PACKAGES=(
    '?essential' '?priority(required)' usr-is-merged
    busybox-static procps
    wine wine32 xvfb x11-apps x11-utils imagemagick
    python3 locales fonts-ipafont-gothic
)
# The kernel: only its image and the initrd's modules are taken from this package's dependency
# (it is not installed in the guest, which never loads another module).
GUEST_KERNEL=linux-image-686
# Modules the initrd loads, dependencies first: the disks, ext4 (with its checksum), 9p.
GUEST_MODULES=(virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci virtio_blk
               crc16 mbcache jbd2 crc32c_generic ext4 netfs fscache 9pnet 9pnet_virtio 9p)
GUEST_DISK_SIZE=5G
GUEST_PREFIX=/opt/tavelle/wineprefix-win32

# The initrd's /init: load the modules, mount the root disk, hand over to the guest's init.
initrd_init() {
    cat <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t devtmpfs dev /dev
fail() { echo "initrd: $*"; echo o >/proc/sysrq-trigger; sleep 10; }
for m in $(cat /modules.list); do insmod "/modules/$m.ko" || fail "insmod $m"; done
n=0
while [ ! -b /dev/vda ] && [ $n -lt 100 ]; do sleep 0.1; n=$((n + 1)); done
mkdir -p /newroot
mount -t ext4 /dev/vda /newroot || fail "no root disk"
# The loader's cache: the packages are not configured on the first boot (ldconfig is static).
chroot /newroot /sbin/ldconfig
umount /dev
umount /proc
exec switch_root /newroot /usr/local/sbin/tavelle-guest-init
EOF
}

# The guest's process 1: the first boot installs the packages and prepares the Wine prefix;
# every later boot runs /job/run.sh. Either way the guest powers off at the end.
guest_init() {
    cat <<EOF
#!/bin/bash
GUEST_PREFIX=$GUEST_PREFIX
EOF
    cat <<'EOF'
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
chmod 1777 /tmp /dev/shm
ln -sf /proc/self/fd /dev/fd
busybox hostname tavelle-guest32
busybox ip link set lo up
mkdir -p /job
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 job /job || echo "guest: no /job share"

power_off() {
    sync
    umount /job 2>/dev/null
    mount -o remount,ro / 2>/dev/null
    echo o >/proc/sysrq-trigger
    sleep 30
}

first_boot() {
    set -x
    export DEBIAN_FRONTEND=noninteractive DEBCONF_NONINTERACTIVE_SEEN=true
    cd /var/cache/apt/archives
    # In the order of the lists (essential packages, then awk, which later scripts call, then
    # the rest), unpacked over their extracted files. No fsync per file: a failed first boot
    # is thrown away whole.
    local list
    for list in /var/lib/tavelle-guest/install.*; do
        dpkg --force-unsafe-io --force-depends --install $(cat "$list") || return 1
    done
    dpkg --force-unsafe-io --configure -a || return 1
    echo 'ja_JP.UTF-8 UTF-8' >/etc/locale.gen
    locale-gen || return 1
    rm -f /var/cache/apt/archives/*.deb
    # A prepared Wine prefix (its first start takes a minute here): tests copy it.
    mkdir -p "$(dirname "$GUEST_PREFIX")"
    export WINEPREFIX=$GUEST_PREFIX WINEARCH=win32 WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
    export WINEDLLOVERRIDES="mscoree,mshtml="
    /usr/lib/wine/wine wineboot -i || return 1
    /usr/lib/wine/wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f || return 1
    /usr/lib/wine/wineserver32 -w
    /usr/lib/wine/wine --version
    fstrim -v / || true
    touch /var/lib/tavelle-guest/installed
}

if [ ! -e /var/lib/tavelle-guest/installed ]; then
    if first_boot >/job/first-boot.log 2>&1; then echo ok >/job/first-boot.done; fi
else
    # Fresh Wine prefixes are copies of the prepared one (scripts/lib.sh).
    export TT_WINE_SEED=$GUEST_PREFIX
    cd /job && bash /job/run.sh >/job/guest.log 2>&1
    echo $? >/job/exit-code
fi
power_off
EOF
}

build_image() {
    local tmp=$1 started=$SECONDS
    local root=$tmp/rootfs
    mkdir -p "$tmp"
    say "building the 32-bit guest image in $tmp (10 to 20 minutes on two cores)"

    say "extracting the i386 packages (mmdebstrap, nothing runs)"
    local includes=() p
    for p in "${GUEST_PACKAGES[@]}"; do includes+=(--include="$p"); done
    # /usr merged as Debian 12 has it; the kernel's package is fetched beside the tree with the
    # same package lists, not extracted into it.
    mmdebstrap --mode=root --arch=i386 --variant=extract --skip=check/qemu --skip=cleanup/apt \
        --aptopt='APT::Install-Recommends "false"' "${includes[@]}" \
        --setup-hook='for d in bin sbin lib; do mkdir -p "$1/usr/$d" && ln -s "usr/$d" "$1/$d"; done' \
        --extract-hook="cd '$tmp' && APT_CONFIG=\$MMDEBSTRAP_APT_CONFIG apt-get download -q \
            \$(APT_CONFIG=\$MMDEBSTRAP_APT_CONFIG apt-cache depends $GUEST_KERNEL | sed -n 's/^ *Depends: //p')" \
        "$GUEST_SUITE" "$root" /etc/apt/sources.list.d/debian.sources >"$tmp/mmdebstrap.log" 2>&1 ||
        { tail -n 20 "$tmp/mmdebstrap.log"; die "mmdebstrap failed"; }
    rm -rf "$root"/usr/share/doc/* "$root"/usr/share/man/* "$root"/usr/share/info/*

    local kernel_deb
    kernel_deb=$(ls "$tmp"/linux-image-*.deb 2>/dev/null | head -n1)
    [[ -n $kernel_deb ]] || die "the kernel's package was not fetched"
    dpkg-deb -x "$kernel_deb" "$tmp/kernel"
    local kernel
    kernel=$(cd "$tmp/kernel/boot" && ls vmlinuz-* | sort -V | tail -n1)
    [[ -n $kernel ]] || die "no kernel in $kernel_deb"
    local version=${kernel#vmlinuz-}
    cp "$tmp/kernel/boot/$kernel" "$tmp/vmlinuz"

    say "initrd for $version"
    local initrd=$tmp/initrd
    mkdir -p "$initrd/bin" "$initrd/modules" "$initrd/proc" "$initrd/dev" "$initrd/newroot"
    cp "$root/bin/busybox" "$initrd/bin/busybox"
    local m f
    for m in "${GUEST_MODULES[@]}"; do
        f=$(find "$tmp/kernel/lib/modules/$version/kernel" -name "$m.ko" | head -n1)
        [[ -n $f ]] || die "module $m is missing"
        cp "$f" "$initrd/modules/"
        echo "$m" >>"$initrd/modules.list"
    done
    initrd_init >"$initrd/init"
    chmod 755 "$initrd/init"
    (cd "$initrd" && find . | cpio -o -H newc --quiet | gzip -1) >"$tmp/initrd.img"

    say "the guest's start script and package lists"
    mkdir -p "$root/usr/local/sbin"
    guest_init >"$root/usr/local/sbin/tavelle-guest-init"
    chmod 755 "$root/usr/local/sbin/tavelle-guest-init"
    local lists=$root/var/lib/tavelle-guest deb name
    mkdir -p "$lists" "$root/etc/dpkg/dpkg.cfg.d"
    : >"$lists/install.1-essential"
    : >"$lists/install.2-awk"
    : >"$lists/install.3-rest"
    for deb in "$root"/var/cache/apt/archives/*.deb; do
        name=$(basename "$deb")
        if [[ $(dpkg-deb -f "$deb" Essential) == yes ]]; then
            echo "$name" >>"$lists/install.1-essential"
        elif [[ $name == mawk_* ]]; then
            echo "$name" >>"$lists/install.2-awk"
        else
            echo "$name" >>"$lists/install.3-rest"
        fi
    done
    # Nobody reads documentation in the guest.
    printf 'path-exclude=%s\n' '/usr/share/doc/*' '/usr/share/man/*' '/usr/share/info/*' \
        >"$root/etc/dpkg/dpkg.cfg.d/tavelle-guest"

    say "root disk ($GUEST_DISK_SIZE, sparse)"
    mke2fs -q -t ext4 -L tavelle-guest32 -d "$root" "$tmp/root.img" "$GUEST_DISK_SIZE" ||
        die "mke2fs failed"
    rm -rf "$root" "$initrd" "$tmp/kernel" "$kernel_deb"

    say "first boot: the guest installs its packages and prepares Wine (5 to 15 minutes)"
    local job=$tmp/first-boot
    mkdir -p "$job"
    local booted=$SECONDS
    if ! boot_guest "$tmp" "file=$tmp/root.img,format=raw,if=virtio,discard=unmap,cache=unsafe" "$job" "$tmp/serial.log" 2400 ||
        [[ ! -e $job/first-boot.done ]]; then
        tail -n 30 "$job/first-boot.log" 2>/dev/null || true
        tail -n 20 "$tmp/serial.log" 2>/dev/null || true
        die "the first boot did not complete (logs: $job/first-boot.log, $tmp/serial.log)"
    fi
    say "first boot took $((SECONDS - booted)) s"
    sync "$tmp/root.img"
    echo "$((SECONDS - started))" >"$tmp/build-seconds"
}

# ---- image: end ------------------------------------------------------------------------------

say() { printf '%s\n' "guest32: $*"; }
die() { printf '%s\n' "guest32: $*" >&2; exit 1; }

guest_key() {
    sed -n '/^# ---- image: everything/,/^# ---- image: end/p' "$SELF" | sha256sum | cut -c1-16
}

GUEST_DIR=$GUEST_CACHE/$(guest_key)

# qemu-system-i386 with the settings that 32-bit Wine needs: without -smap / nosmap the guest
# kernel stops every Wine process. No network: the job's servers run inside the guest.
boot_guest() {  # image folder, disk option, job folder, serial log, seconds[, file to follow]
    local image=$1 disk=$2 job=$3 log=$4 seconds=$5 follow=${6:-}
    local pid tail_pid= rc=0
    qemu-system-i386 -accel tcg,thread=multi -smp 2 -m 2048 -cpu max,-smap -nodefaults -display none \
        -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
        -append "console=ttyS0 nosmap panic=-1 quiet loglevel=3" \
        -drive "$disk" -virtfs "local,path=$job,mount_tag=job,security_model=none,id=job" \
        -serial "file:$log" -nic none -no-reboot &
    pid=$!
    if [[ -n $follow ]]; then
        tail -n +1 -F --pid="$pid" "$follow" 2>/dev/null &
        tail_pid=$!
    fi
    local deadline=$((SECONDS + seconds))
    while kill -0 "$pid" 2>/dev/null; do
        if ((SECONDS >= deadline)); then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
            [[ -n $tail_pid ]] && wait "$tail_pid" 2>/dev/null
            echo "guest32: the guest ran longer than $seconds s and was stopped" >&2
            return 124
        fi
        sleep 1
    done
    wait "$pid" || rc=$?
    [[ -n $tail_pid ]] && wait "$tail_pid" 2>/dev/null
    return $rc
}

# Images of other keys (earlier versions of this file) that nothing has used for a week; each
# use touches "ready".
prune_old_images() {
    local dir
    for dir in "$GUEST_CACHE"/*; do
        [[ -d $dir && $dir != "$GUEST_DIR" && $dir != *.tmp.* && -e $dir/ready ]] || continue
        if [[ -z $(find "$dir/ready" -mtime -7) ]]; then
            say "removing $dir (unused for a week)"
            rm -rf "$dir" "$dir.lock"
        fi
    done
}

ensure_image() {
    if [[ -e $GUEST_DIR/ready ]]; then
        touch "$GUEST_DIR/ready"
        say "image cached in $GUEST_DIR"
        return
    fi
    mkdir -p "$GUEST_CACHE"
    exec 9>"$GUEST_DIR.lock"
    flock 9
    if [[ -e $GUEST_DIR/ready ]]; then
        say "image cached in $GUEST_DIR"
        return
    fi
    rm -rf "$GUEST_DIR".tmp.*  # interrupted builds: the lock says none is running
    local tmp=$GUEST_DIR.tmp.$$
    build_image "$tmp"
    touch "$tmp/ready"
    mv "$tmp" "$GUEST_DIR"
    say "image built in $(cat "$GUEST_DIR/build-seconds") s: $GUEST_DIR"
    prune_old_images
}

run_job() {  # job folder, seconds
    local job
    job=$(cd "$1" && pwd)
    [[ -e $GUEST_DIR/ready ]] || die "no guest image in $GUEST_DIR (run scripts/guest32.sh)"
    [[ -f $job/run.sh ]] || die "$job/run.sh is missing"
    rm -f "$job/exit-code" "$job/guest.log"
    local rc=0
    boot_guest "$GUEST_DIR" "file=$GUEST_DIR/root.img,format=raw,if=virtio,snapshot=on,cache=unsafe" "$job" "$job/serial.log" "$2" \
        "$job/guest.log" || rc=$?
    ((rc == 0)) || { tail -n 20 "$job/serial.log" >&2; die "qemu ended with $rc"; }
    [[ -s $job/exit-code ]] || { tail -n 20 "$job/serial.log" >&2; die "the guest did not finish the job"; }
    return "$(cat "$job/exit-code")"
}

case ${1:-} in
"") ensure_image ;;
--dir) echo "$GUEST_DIR" ;;
--run)
    (($# == 3)) || die "usage: guest32.sh --run JOB SECONDS"
    run_job "$2" "$3"
    ;;
*) die "unknown option $1 (see the head of this file)" ;;
esac
