#!/bin/sh
# cmake --install puts halvorine in <prefix>/bin and its manual page in
# <prefix>/share/man/man1, and the installed program finds the library in
# <prefix>/lib/vst. Where the program looks without --plugin, in order:
# beside itself, ../lib/vst, ~/.vst; --plugin wins over all of them, and
# when nothing is found it says where it looked. A render with a key looks
# for the CLAP edition the same way (beside itself, ../lib/clap, ~/.clap,
# then /usr/lib/clap), and --version names what it found.
# Usage: test_lookup.sh BUILD-DIR VERSION VST-DIR (the configured folder)
set -u
build=$1
version=$2
vstdir=$3
case $vstdir in
    /*) echo "configured to install into $vstdir, outside any prefix; skipped"; exit 77 ;;
esac
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { fail "cmake --install failed"; cat "$work/install.log"; }
for file in bin/halvorine "$vstdir/Halvorine.so" lib/clap/Halvorine.clap share/man/man1/halvorine.1; do
    [ -f "$prefix/$file" ] || fail "cmake --install did not install $file"
done
[ -x "$prefix/bin/halvorine" ] || fail "the installed halvorine is not executable"

# The program alone in a folder, and homes with and without ~/.vst.
mkdir -p "$work/alone/bin" "$work/home-empty" "$work/home-vst/.vst" "$work/home-vst/.clap"
cp "$prefix/bin/halvorine" "$work/alone/bin/"
cp "$build/Halvorine.so" "$work/home-vst/.vst/"
cp "$build/Halvorine.clap" "$work/home-vst/.clap/"

# program | HOME | the plug-in that --version must name ("-": none found) |
# the CLAP module it must name for a render with a key ("-": none found)
while read -r program home expected clap; do
    line=$(HOME=$work/$home "$program" --version 2>&1)
    status=$?
    name="$program with HOME=$home"
    [ $status -eq 0 ] || fail "$name: --version exits $status"
    printf '%s\n' "$line" | head -n 1 | grep -qx "halvorine $version" || fail "$name: --version does not print halvorine $version: $line"
    if [ "$clap" = - ]; then
        # (Unless the system has one in /usr/lib/clap, the last place.)
        [ -e /usr/lib/clap/Halvorine.clap ] || printf '%s\n' "$line" | grep -q "no Halvorine.clap found (a key needs the CLAP edition); looked for $work/alone/bin/Halvorine.clap, $work/alone/lib/clap/Halvorine.clap, $work/$home/.clap/Halvorine.clap, /usr/lib/clap/Halvorine.clap" ||
            fail "$name: --version does not say where it looked for the CLAP module: $line"
    else
        printf '%s\n' "$line" | grep -qx "with a key (render --key): $clap" || fail "$name: --version names another CLAP module than $clap: $line"
    fi
    if [ "$expected" = - ]; then
        printf '%s\n' "$line" | grep -q "no Halvorine.so found; looked for $work/alone/bin/Halvorine.so, $work/alone/lib/vst/Halvorine.so, $work/$home/.vst/Halvorine.so" ||
            fail "$name: --version does not say where it looked: $line"
        if HOME=$work/$home "$program" info >/dev/null 2>"$work/info.err"; then
            fail "$name: info succeeds without a plug-in"
        fi
        grep -q "looked for $work/alone/bin/Halvorine.so" "$work/info.err" || fail "$name: info does not say where it looked: $(cat "$work/info.err")"
        # --plugin wins, here over nothing found.
        HOME=$work/$home "$program" info --plugin "$prefix/$vstdir/Halvorine.so" >/dev/null || fail "$name: info --plugin fails"
    else
        printf '%s\n' "$line" | grep -qx "plug-in: $expected" || fail "$name: --version names another plug-in than $expected: $line"
        HOME=$work/$home "$program" info >"$work/info.txt" 2>&1 || fail "$name: info fails: $(cat "$work/info.txt")"
        grep -q "$expected" "$work/info.txt" || fail "$name: info does not report loading $expected"
        # --plugin wins over what is found.
        if HOME=$work/$home "$program" info --plugin "$work/nowhere.so" >/dev/null 2>&1; then
            fail "$name: info --plugin of a missing file loads the default instead"
        fi
    fi
done <<EOF2
$prefix/bin/halvorine home-empty $prefix/$vstdir/Halvorine.so $prefix/lib/clap/Halvorine.clap
$prefix/bin/halvorine home-vst $prefix/$vstdir/Halvorine.so $prefix/lib/clap/Halvorine.clap
$build/halvorine home-vst $build/Halvorine.so $build/Halvorine.clap
$work/alone/bin/halvorine home-vst $work/home-vst/.vst/Halvorine.so $work/home-vst/.clap/Halvorine.clap
$work/alone/bin/halvorine home-empty - -
EOF2

[ $failures -eq 0 ] && echo "installed, and every lookup finds what it should"
[ $failures -eq 0 ]
