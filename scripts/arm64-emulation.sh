# Sourced by the scripts here: arm64_emulation makes this machine run
# 64-bit ARM Linux programs under qemu-user, as the linux-arm64 preset's
# tests need (as root, or through sudo). The programs the build makes run
# through CMAKE_CROSSCOMPILING_EMULATOR, but the test scripts start them by
# path (and Debian's arm64 lv2apply loads the arm64 bundle), so the kernel
# gets the binfmt_misc entry that Debian's qemu-user-binfmt provides, the
# one systemd-binfmt registers on a booted system.
arm64_emulation() {
    if [ "$(id -u)" -eq 0 ]; then
        as_root=
    else
        as_root=sudo
    fi
    binfmt=/proc/sys/fs/binfmt_misc
    if [ ! -e $binfmt/register ]; then
        $as_root mount -t binfmt_misc binfmt_misc $binfmt || return 1
    fi
    if [ ! -e $binfmt/qemu-aarch64 ]; then
        $as_root sh -c "cat /usr/lib/binfmt.d/qemu-aarch64.conf >$binfmt/register" || return 1
    fi
    grep -qx enabled $binfmt/qemu-aarch64
}

# The arm64 lv2apply, which cannot be installed beside the amd64 one:
# Debian's package unpacked into $1 (its libraries come through multiarch).
arm64_lv2apply() {
    [ -x "$1/usr/bin/lv2apply" ] && return 0
    mkdir -p "$1" &&
        (cd "$1" && apt-get download lilv-utils:arm64 >/dev/null && dpkg -x lilv-utils_*_arm64.deb . && rm -f ./*.deb)
}
