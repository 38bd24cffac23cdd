#!/bin/sh
# Installs Halvorine from this folder where Linux hosts look for plug-ins,
# or removes it again.
#
#   ./install.sh                for you: ~/.lv2, ~/.vst3, ~/.clap, ~/.vst,
#                               ~/.local/bin, ~/.local/share/man/man1
#   ./install.sh --system       for everyone (as root): /usr/local/lib/lv2,
#                               /usr/local/lib/vst3, /usr/lib/clap,
#                               /usr/local/lib/vst, /usr/local/bin,
#                               /usr/local/share/man/man1
#   ./install.sh --uninstall    removes what the same install put there
#                               (with --system: the system-wide one)
#
# Prints every file it copies or removes. A bundle already there is
# replaced whole, so nothing of an older version stays behind. The folders
# that an install creates are listed in share/halvorine/created-folders
# (~/.local/share or /usr/local/share); --uninstall removes those of them
# that are empty then, and no other folder. CLAP hosts look in ~/.clap and
# /usr/lib/clap only (no /usr/local folder), hence the one system-wide
# file outside /usr/local.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
system=no
action=install
for argument in "$@"; do
    case $argument in
        --system) system=yes ;;
        --uninstall) action=uninstall ;;
        -h|--help) sed -n '2,20s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "install.sh: unknown option $argument (options: --system, --uninstall)" >&2; exit 2 ;;
    esac
done

if [ $system = yes ]; then
    lv2=/usr/local/lib/lv2
    vst3=/usr/local/lib/vst3
    clap=/usr/lib/clap
    vst=/usr/local/lib/vst
    bin=/usr/local/bin
    man=/usr/local/share/man/man1
    record=/usr/local/share/halvorine
else
    [ -n "${HOME:-}" ] || { echo "install.sh: HOME is not set" >&2; exit 1; }
    lv2=$HOME/.lv2
    vst3=$HOME/.vst3
    clap=$HOME/.clap
    vst=$HOME/.vst
    bin=$HOME/.local/bin
    man=$HOME/.local/share/man/man1
    record=$HOME/.local/share/halvorine
fi
created=$record/created-folders

# What goes where: the name in this folder, and the folder it goes into.
# The VST3 bundle whenever this folder has it (every release does).
items="Halvorine.lv2:$lv2 CLAP/Halvorine.clap:$clap Halvorine.so:$vst bin/halvorine:$bin man/halvorine.1:$man"
[ ! -d "$here/Halvorine.vst3" ] || items="Halvorine.vst3:$vst3 $items"

# Lists every file under $1 (a file or a folder), one a line.
files_of() { if [ -d "$1" ]; then find "$1" -type f | sort; else echo "$1"; fi; }

# A system-wide CLAP file of the Debian package is the package's: an
# install over it, or an uninstall, would leave the package without it.
if [ $system = yes ] && dpkg-query -S "$clap/Halvorine.clap" >/dev/null 2>&1; then
    echo "install.sh: the Debian package halvorine is installed; apt remove halvorine removes it" >&2
    exit 1
fi

if [ $action = uninstall ]; then
    removed=0
    for item in $items; do
        target=${item#*:}/$(basename "${item%%:*}")
        [ -e "$target" ] || continue
        files_of "$target" | sed 's/^/removed: /'
        rm -rf "$target"
        removed=$((removed + 1))
    done
    [ $removed -gt 0 ] || echo "nothing of Halvorine was installed there"
    # The folders the installs created, deepest first, where now empty.
    if [ -f "$created" ]; then
        folders=$(LC_ALL=C sort -r "$created")
        rm -f "$created"
        printf '%s\n' "$folders" | while IFS= read -r folder; do
            if [ -n "$folder" ] && rmdir "$folder" 2>/dev/null; then echo "removed: $folder/"; fi
        done
    fi
    exit 0
fi

# Creates the folder $1 with its parents, adding each one it creates to
# the list $new.
new=
make_folder() {
    missing=$1
    while [ ! -d "$missing" ]; do
        new="$new$missing
"
        missing=$(dirname "$missing")
    done
    mkdir -p "$1"
}

for item in $items; do
    source=$here/${item%%:*}
    folder=${item#*:}
    target=$folder/$(basename "$source")
    [ -e "$source" ] || { echo "install.sh: $source is missing from this folder" >&2; exit 1; }
    make_folder "$folder" || { echo "install.sh: cannot create $folder" >&2; exit 1; }
    # Copied beside the target first, then put in its place: a host that
    # scans meanwhile sees the old one or the new one, never half of one.
    rm -rf "$target.new"
    if ! cp -R "$source" "$target.new"; then
        rm -rf "$target.new"
        echo "install.sh: cannot copy into $folder" >&2
        exit 1
    fi
    rm -rf "$target"
    mv "$target.new" "$target"
    files_of "$target" | sed 's/^/installed: /'
done
# Added to what earlier installs created.
make_folder "$record" || { echo "install.sh: cannot create $record" >&2; exit 1; }
{ [ ! -f "$created" ] || cat "$created"; printf '%s' "$new"; } | sort -u >"$created.new"
mv "$created.new" "$created"

case ":${PATH:-}:" in
    *":$bin:"*) ;;
    *) echo "note: $bin is not on your PATH; run halvorine as $bin/halvorine or add the folder to PATH" ;;
esac
