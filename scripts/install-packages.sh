# Sourced by the scripts here: install_missing PACKAGE... installs, from
# Debian's archive, those of the packages that are not installed yet (as
# root, or through sudo). Packages of the i386 or arm64 architecture add it
# first.
#
# A name without an architecture means the machine's own (or an
# architecture-independent package): once the arm64 build's libraries sit
# beside the native ones, a bare name is ambiguous to `dpkg -s`, which would
# take every such package for missing and install them again on every run.
package_installed() {
    name=${1%%:*}
    case $1 in
        *:*) want=$1 ;;
        *) want=$name:$(dpkg --print-architecture) ;;
    esac
    dpkg-query -W -f='${Package}:${Architecture} ${db:Status-Status}\n' "$name" 2>/dev/null |
        grep -qx -e "$want installed" -e "$name:all installed"
}

install_missing() {
    missing=
    for package in "$@"; do
        if ! package_installed "$package"; then
            missing="$missing $package"
        fi
    done
    [ -n "$missing" ] || return 0
    echo "Installing:$missing"
    if [ "$(id -u)" -eq 0 ]; then
        as_root=
    elif command -v sudo >/dev/null 2>&1; then
        as_root=sudo
    else
        echo "These packages are missing and neither root nor sudo is available:$missing" >&2
        exit 1
    fi
    for arch in i386 arm64; do
        case $missing in
            *:$arch*)
                if ! dpkg --print-foreign-architectures | grep -qx $arch; then
                    $as_root dpkg --add-architecture $arch
                fi
                ;;
        esac
    done
    $as_root env DEBIAN_FRONTEND=noninteractive apt-get update
    # shellcheck disable=SC2086 # one word per package
    $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
}
