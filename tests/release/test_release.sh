#!/bin/sh
# The release's artefacts, each installed as a user installs it:
#   - every archive holds exactly the expected members (expected/), and
#     SHA256SUMS checks;
#   - the Linux archive's install.sh into a temporary HOME: lv2ls,
#     halvorine and the CLAP test host find what it installed, --uninstall
#     removes it with the folders it created, and only those;
#   - the Debian package: lintian, dpkg -i, then lv2ls, halvorine, man, the
#     VST3 scanner of a real host and the CLAP test host find it, and
#     dpkg -r removes every file that dpkg -L listed;
#   - the 64-bit ARM archive and package: their members, lintian, and the
#     package installed into an arm64 root (dpkg --root), whose halvorine
#     runs under qemu-user and renders the same samples as the x86-64 one;
#   - the installer under wine, in a fresh prefix: a silent install puts
#     the files in both Program Files folders (the VST3 bundle and the CLAP
#     files into both Common Files folders), registers their size, the
#     project's test hosts load the DLLs, bundles and CLAP files from
#     there, a silent uninstall removes them, the CLAP folder it made and
#     the registry entry, and keeps the one that was there before.
#
#   test_release.sh RELEASE-DIR SOURCE-DIR [WIN32-BUILD WIN64-BUILD [LINUX-BUILD]]
#
# The build folders hold the test hosts (host_tests.exe, vst3_tests.exe,
# clap_tests.exe; clap_tests in LINUX-BUILD, by default SOURCE-DIR/build/
# linux). Installing the Debian package needs root; without it that part
# is skipped, and said so.
set -u
release=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
win32=${3:-}
win64=${4:-}
linux_build=${5:-$2/build/linux}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
step() { echo "--- $*"; }

version=$(sed -n 's/^project(Halvorine VERSION \([0-9][0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
name=Halvorine-$version
zip=$release/$name-windows.zip
setup=$release/$name-windows-setup.exe
tarball=$release/$name-linux-x86_64.tar.xz
deb=$release/halvorine_${version}_amd64.deb
srcball=$release/$name-src.tar.xz
deb_installed=no
cleanup() {
    [ $deb_installed = no ] || dpkg -r halvorine >/dev/null 2>&1
    [ -z "${WINEPREFIX:-}" ] || wineserver -k >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

# Whether the test program's log $1 reports tests run and passed, none
# skipped: a program that cannot load its module skips its tests.
ran_all() { grep -q '^\[  PASSED  \] [1-9]' "$1" && ! grep -q '^\[  SKIPPED \]' "$1"; }
# The CLAP test host's suites that any installed copy must pass.
clap_filter='Session.*:Halvorine.DescriptorPortsAndUnknownIds:Halvorine.StateRoundTripAndRefusals'
# Loads the Linux .clap at $1 in the CLAP test host.
clap_loads() {
    if [ ! -x "$linux_build/clap_tests" ]; then
        fail "no CLAP test host $linux_build/clap_tests, to load $1"
    elif ! (cd / && "$linux_build/clap_tests" --clap "$1" --gtest_filter="$clap_filter") >"$work/clap.log" 2>&1; then
        fail "clap_tests with $1: $(tail -n 20 "$work/clap.log")"
    else
        ran_all "$work/clap.log" || fail "clap_tests with $1 ran no test or skipped some: $(tail -n 20 "$work/clap.log")"
    fi
}

# ---- Checksums and member lists.
step "checksums"
(cd "$release" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not check"
[ "$(wc -l <"$release/SHA256SUMS")" -eq 7 ] || fail "SHA256SUMS does not list the seven artefacts"

# Whether the release carries the VST3 edition: the zip says; the other
# artefacts must agree (expected/ marks its members "vst3 "). A source
# with the edition must release it.
if unzip -Z1 "$zip" | grep -q '^VST3/'; then with_vst3=yes; else with_vst3=no; fi
if [ -f "$source/vst3/CMakeLists.txt" ] && [ $with_vst3 = no ]; then
    fail "the source has the VST3 edition, the release does not"
fi
echo "VST3 edition in the release: $with_vst3"
expected() {
    if [ $with_vst3 = yes ]; then sed 's/^vst3 //' "$here/expected/$1"; else grep -v '^vst3 ' "$here/expected/$1"; fi |
        sed "s/@VERSION@/$version/g" | sort
}
compare_members() {  # artefact, expected list, actual list
    if ! cmp -s "$2" "$3"; then
        fail "$1 holds other members than expected (- expected, + found):"
        diff "$2" "$3" | sed -n 's/^</  -/p; s/^>/  +/p'
    fi
}
step "member lists"
expected windows-zip.txt >"$work/zip.expected"
unzip -Z1 "$zip" | sort >"$work/zip.found"
compare_members "$name-windows.zip" "$work/zip.expected" "$work/zip.found"
expected linux-tar.txt >"$work/tar.expected"
tar -tJf "$tarball" | grep -v '/$' | sort >"$work/tar.found"
compare_members "$name-linux-x86_64.tar.xz" "$work/tar.expected" "$work/tar.found"
expected deb.txt >"$work/deb.expected"
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./|/|' | sort >"$work/deb.found"
compare_members "halvorine_${version}_amd64.deb" "$work/deb.expected" "$work/deb.found"
# The source archive: every file of its commit, nothing else.
commit=$(xz -dc "$srcball" | git get-tar-commit-id 2>/dev/null)
if [ -z "$commit" ]; then
    fail "$name-src.tar.xz does not name its commit (not made by git archive)"
elif ! git -C "$source" cat-file -e "$commit^{commit}" 2>/dev/null; then
    fail "$name-src.tar.xz is of commit $commit, which $source does not have"
else
    git -C "$source" ls-tree -r --name-only "$commit" | sed "s|^|$name-src/|" | sort >"$work/src.expected"
    tar -tJf "$srcball" | grep -v '/$' | grep -v '^pax_global_header$' | sort >"$work/src.found"
    compare_members "$name-src.tar.xz" "$work/src.expected" "$work/src.found"
fi
# Members: owned by root, dated at most at the commit.
tar -tvJf "$tarball" | awk '$2 != "0/0" { bad = 1 } END { exit bad }' || fail "the Linux archive has members not owned by 0/0"
unzip -p "$zip" README.txt | head -n 1 | grep -q "$(printf '\r')$" || fail "README.txt in the zip has no CRLF line ends"
for member in VST2/32-bit/Halvorine.dll VST2/64-bit/Halvorine.dll CLAP/32-bit/Halvorine.clap CLAP/64-bit/Halvorine.clap; do
    unzip -p "$zip" "$member" >"$work/member.dll"
    for text in "ProductName" "Halvorine" "CompanyName" "Pellucid" "FileVersion" "$version" "FileDescription"; do
        strings -el "$work/member.dll" | grep -qx "$text" || fail "$member's version resource lacks \"$text\""
    done
done

# ---- The Linux archive, installed for one user.
step "install.sh into a temporary HOME"
mkdir -p "$work/unpacked" "$work/home"
tar -C "$work/unpacked" -xJf "$tarball"
unpacked=$work/unpacked/$name-linux-x86_64
home=$work/home
# Folders that were there before: one with another plug-in, one empty.
mkdir -p "$home/.vst3/Other.vst3" "$home/.lv2"
echo other >"$home/.vst3/Other.vst3/other.so"
find "$home" | sort >"$work/home.before"
HOME=$home PATH=$home/.local/bin:$PATH sh "$unpacked/install.sh" >"$work/install.log" 2>&1 || fail "install.sh failed: $(cat "$work/install.log")"
for file in .vst/Halvorine.so .clap/Halvorine.clap .lv2/Halvorine.lv2/manifest.ttl .local/bin/halvorine .local/share/man/man1/halvorine.1; do
    [ -f "$home/$file" ] || fail "install.sh did not install ~/$file"
    grep -q "installed: $home/$file" "$work/install.log" || fail "install.sh did not report ~/$file"
done
[ $with_vst3 = no ] || [ -d "$home/.vst3/Halvorine.vst3/Contents" ] || fail "install.sh did not install ~/.vst3/Halvorine.vst3"
cmp -s "$home/.clap/Halvorine.clap" "$unpacked/CLAP/Halvorine.clap" || fail "$home/.clap/Halvorine.clap is not the archive's"
clap_loads "$home/.clap/Halvorine.clap"
LV2_PATH=$home/.lv2 lv2ls 2>/dev/null | grep -qx 'urn:pellucid:halvorine' || fail "lv2ls does not find the plug-in in ~/.lv2"
HOME=$home "$home/.local/bin/halvorine" --version | grep -qx "plug-in: $home/.vst/Halvorine.so" ||
    fail "halvorine --version does not name ~/.vst/Halvorine.so"
HOME=$home "$home/.local/bin/halvorine" info >"$work/info.txt" 2>&1 || fail "halvorine info fails: $(cat "$work/info.txt")"
grep -q "Plug-in *$home/.vst/Halvorine.so" "$work/info.txt" || fail "halvorine info does not load ~/.vst/Halvorine.so"
HOME=$home sh "$unpacked/install.sh" --uninstall >"$work/uninstall.log" 2>&1 || fail "install.sh --uninstall failed"
find "$home" | sort >"$work/home.after"
cmp -s "$work/home.before" "$work/home.after" || fail "install.sh --uninstall did not leave HOME as it found it (- before, + after):
$(diff "$work/home.before" "$work/home.after" | sed -n 's/^</  -/p; s/^>/  +/p')"
grep -q "removed: $home/.vst/Halvorine.so" "$work/uninstall.log" || fail "install.sh --uninstall does not report what it removed"

# ---- The Debian package.
step "the Debian package: lintian"
if command -v lintian >/dev/null 2>&1; then
    lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1
    grep '^E: ' "$work/lintian.log" && fail "lintian reports errors"
    grep '^W: ' "$work/lintian.log" | sed 's/^/  lintian warning: /'
else
    fail "lintian is missing"
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "not root: the Debian package is not installed here (skipped)"
else
    step "the Debian package: dpkg -i"
    if dpkg -s halvorine >/dev/null 2>&1; then
        fail "a halvorine package is installed already; the test does not replace it"
    elif ! dpkg -i "$deb" >"$work/dpkg.log" 2>&1; then
        fail "dpkg -i fails: $(cat "$work/dpkg.log")"
        deb_installed=yes
    else
        deb_installed=yes
        dpkg -L halvorine >"$work/listed"
        lv2ls | grep -qx 'urn:pellucid:halvorine' || fail "lv2ls does not list urn:pellucid:halvorine"
        /usr/bin/halvorine --version >"$work/version" 2>&1 || fail "halvorine --version fails"
        grep -qx "halvorine $version" "$work/version" || fail "halvorine --version does not print $version"
        grep -qx "plug-in: /usr/lib/vst/Halvorine.so" "$work/version" || fail "halvorine --version does not name /usr/lib/vst/Halvorine.so: $(cat "$work/version")"
        (cd / && HOME=$work/home /usr/bin/halvorine info) >"$work/info.txt" 2>&1 || fail "halvorine info fails: $(cat "$work/info.txt")"
        grep -q "Plug-in */usr/lib/vst/Halvorine.so" "$work/info.txt" || fail "halvorine info does not load /usr/lib/vst/Halvorine.so"
        [ "$(man -w halvorine 2>/dev/null)" = /usr/share/man/man1/halvorine.1.gz ] || fail "man -w halvorine does not find the page"
        clap_loads /usr/lib/clap/Halvorine.clap
        # install.sh --system leaves the package's CLAP file alone, and so
        # installs nothing.
        sh "$unpacked/install.sh" --system >"$work/system.log" 2>&1 && fail "install.sh --system installs over the Debian package"
        [ ! -e /usr/local/lib/lv2/Halvorine.lv2 ] || fail "install.sh --system, refused, still put /usr/local/lib/lv2/Halvorine.lv2 there"
        sh "$unpacked/install.sh" --system --uninstall >"$work/system.log" 2>&1 && fail "install.sh --system --uninstall removes the Debian package's files"
        [ -f /usr/lib/clap/Halvorine.clap ] || fail "install.sh --system --uninstall removed /usr/lib/clap/Halvorine.clap of the Debian package"
        if [ $with_vst3 = yes ]; then
            if [ -x /usr/lib/ardour7/ardour-vst3-scanner ]; then
                # It exits 0 even when it fails: its output tells. Its cache
                # goes into the temporary home.
                HOME=$work/home LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 120 /usr/lib/ardour7/ardour-vst3-scanner \
                    /usr/lib/vst3/Halvorine.vst3 >"$work/scan.log" 2>&1
                grep -q '^\[Info\]: Found Plugin: Halvorine$' "$work/scan.log" && ! grep -q '^\[ERROR\]' "$work/scan.log" ||
                    fail "Ardour's VST3 scanner does not list /usr/lib/vst3/Halvorine.vst3: $(cat "$work/scan.log")"
            else
                fail "Ardour's VST3 scanner (package ardour) is missing"
            fi
        fi
        step "the Debian package: dpkg -r"
        dpkg -r halvorine >"$work/dpkg.log" 2>&1 || fail "dpkg -r fails: $(cat "$work/dpkg.log")"
        deb_installed=no
        while read -r path; do
            [ -d "$path" ] && continue
            [ ! -e "$path" ] || fail "dpkg -r left $path behind"
        done <"$work/listed"
    fi
fi

# ---- 64-bit ARM: the same members as the x86-64 artefacts but for the
# processor's name; the package installed into a root of its own, its
# dependencies checked against the arm64 packages installed through
# multiarch, and its halvorine run under qemu-user (binfmt_misc, see
# scripts/arm64-emulation.sh).
arm_tarball=$release/$name-linux-aarch64.tar.xz
arm_deb=$release/halvorine_${version}_arm64.deb
step "64-bit ARM: member lists"
expected linux-tar.txt | sed 's/linux-x86_64/linux-aarch64/; s|/x86_64-linux/|/aarch64-linux/|' | sort >"$work/arm-tar.expected"
tar -tJf "$arm_tarball" | grep -v '/$' | sort >"$work/arm-tar.found"
compare_members "$name-linux-aarch64.tar.xz" "$work/arm-tar.expected" "$work/arm-tar.found"
expected deb.txt | sed 's|/x86_64-linux/|/aarch64-linux/|' | sort >"$work/arm-deb.expected"
dpkg-deb --fsys-tarfile "$arm_deb" | tar -t | grep -v '/$' | sed 's|^\./|/|' | sort >"$work/arm-deb.found"
compare_members "halvorine_${version}_arm64.deb" "$work/arm-deb.expected" "$work/arm-deb.found"
tar -xOJf "$arm_tarball" "$name-linux-aarch64/bin/halvorine" | head -c 20 | od -An -tx1 | grep -q ' b7 00$' ||
    fail "the aarch64 archive's halvorine is not a 64-bit ARM program"
step "64-bit ARM: lintian"
lintian --tag-display-limit 0 "$arm_deb" >"$work/arm-lintian.log" 2>&1
grep '^E: ' "$work/arm-lintian.log" && fail "lintian reports errors on the arm64 package"
grep '^W: ' "$work/arm-lintian.log" | sed 's/^/  lintian warning: /'
step "64-bit ARM: dpkg --root into an arm64 root, halvorine under qemu-user"
depends=$(dpkg-deb -f "$arm_deb" Depends)
[ "$(dpkg-deb -f "$arm_deb" Architecture)" = arm64 ] || fail "the arm64 package is not of architecture arm64"
for package in $(echo "$depends" | tr ',' '\n' | sed 's/(.*//; s/ //g'); do
    dpkg -s "$package:arm64" >/dev/null 2>&1 || fail "the arm64 package depends on $package, not installed as $package:arm64"
done
armroot=$work/armroot
mkdir -p "$armroot/var/lib/dpkg/info" "$armroot/var/lib/dpkg/updates"
: >"$armroot/var/lib/dpkg/status"
# The root's own database has none of the libraries (they are the
# machine's, checked above), hence --force-depends.
if ! { dpkg --root="$armroot" --add-architecture arm64 &&
    dpkg --root="$armroot" --force-depends -i "$arm_deb"; } >"$work/arm-dpkg.log" 2>&1; then
    fail "dpkg --root -i of the arm64 package fails: $(cat "$work/arm-dpkg.log")"
elif ! HOME=$work/home "$armroot/usr/bin/halvorine" --version >"$work/arm-version" 2>&1; then
    fail "the installed arm64 halvorine --version fails: $(cat "$work/arm-version")"
else
    grep -qx "halvorine $version" "$work/arm-version" || fail "the arm64 halvorine --version does not print $version"
    grep -qx "plug-in: $armroot/usr/lib/vst/Halvorine.so" "$work/arm-version" ||
        fail "the arm64 halvorine does not name its installed Halvorine.so: $(cat "$work/arm-version")"
    # A second of noise through "BigBeat", by the installed arm64 host and
    # plug-in and by the x86-64 archive's: the same bits.
    python3 -c '
import struct, sys
state, data = 1, bytearray()
for n in range(44100):
    state = (state * 1103515245 + 12345) & 0x7FFFFFFF
    data += struct.pack("<hh", (state >> 8) - 0x400000 >> 8, (state >> 4 & 0xFFFF) - 0x8000)
fmt = struct.pack("<HHIIHH", 1, 2, 44100, 44100 * 4, 4, 16)
body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
open(sys.argv[1], "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)' "$work/noise.wav"
    HOME=$work/home "$armroot/usr/bin/halvorine" render "$work/noise.wav" "$work/arm.wav" --program BigBeat \
        >"$work/arm-render.log" 2>&1 || fail "the arm64 halvorine render fails: $(cat "$work/arm-render.log")"
    HOME=$work/home "$unpacked/bin/halvorine" render --plugin "$unpacked/Halvorine.so" "$work/noise.wav" "$work/x86.wav" \
        --program BigBeat >"$work/x86-render.log" 2>&1 || fail "the x86-64 halvorine render fails: $(cat "$work/x86-render.log")"
    # The sample data (the PEAK chunk holds the time of writing).
    python3 -c '
import struct, sys
def data(path):
    raw, pos = open(path, "rb").read(), 12
    while pos + 8 <= len(raw):
        tag, size = raw[pos:pos + 4], struct.unpack("<I", raw[pos + 4:pos + 8])[0]
        if tag == b"data":
            return raw[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)
sys.exit(0 if data(sys.argv[1]) and data(sys.argv[1]) == data(sys.argv[2]) else 1)' "$work/arm.wav" "$work/x86.wav" ||
        fail "the arm64 and x86-64 renders differ"
fi

# ---- The installer, under wine.
if [ -z "$win32" ] || [ -z "$win64" ]; then
    fail "no build folders with the Windows test hosts given"
else
    step "the installer under wine: silent install into a fresh prefix"
    export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all
    wine_run="$source/tests/support/wine-run.sh $WINEPREFIX"
    drive=$WINEPREFIX/drive_c
    # 32-bit hosts' CLAP folder is there already, empty; 64-bit hosts' is
    # not.
    mkdir -p "$drive/Program Files (x86)/Common Files/CLAP"
    $wine_run "$setup" /S >"$work/setup.log" 2>&1 || fail "the silent install fails: $(cat "$work/setup.log")"
    wineserver -w
    unzip -q "$zip" -d "$work/zip"
    # installed file | the zip's file
    while IFS='|' read -r installed packed; do
        [ "$packed" != "${packed#VST3/}" ] && [ $with_vst3 = no ] && continue
        cmp -s "$drive/$installed" "$work/zip/$packed" || fail "the install did not put $packed into C:/$installed"
    done <<EOF
Program Files/VstPlugins/Halvorine.dll|VST2/64-bit/Halvorine.dll
Program Files (x86)/VstPlugins/Halvorine.dll|VST2/32-bit/Halvorine.dll
Program Files/Common Files/CLAP/Halvorine.clap|CLAP/64-bit/Halvorine.clap
Program Files (x86)/Common Files/CLAP/Halvorine.clap|CLAP/32-bit/Halvorine.clap
Program Files/Common Files/VST3/Halvorine.vst3/Contents/x86_64-win/Halvorine.vst3|VST3/Halvorine.vst3/Contents/x86_64-win/Halvorine.vst3
Program Files/Common Files/VST3/Halvorine.vst3/Contents/x86-win/Halvorine.vst3|VST3/Halvorine.vst3/Contents/x86-win/Halvorine.vst3
Program Files/Common Files/VST3/Halvorine.vst3/Contents/Resources/moduleinfo.json|VST3/Halvorine.vst3/Contents/Resources/moduleinfo.json
Program Files (x86)/Common Files/VST3/Halvorine.vst3/Contents/x86_64-win/Halvorine.vst3|VST3/Halvorine.vst3/Contents/x86_64-win/Halvorine.vst3
Program Files (x86)/Common Files/VST3/Halvorine.vst3/Contents/x86-win/Halvorine.vst3|VST3/Halvorine.vst3/Contents/x86-win/Halvorine.vst3
Program Files (x86)/Common Files/VST3/Halvorine.vst3/Contents/Resources/moduleinfo.json|VST3/Halvorine.vst3/Contents/Resources/moduleinfo.json
Program Files/Pellucid/Halvorine/LICENSE.txt|LICENSE.txt
EOF
    [ -f "$drive/Program Files/Pellucid/Halvorine/uninstall.exe" ] || fail "the install wrote no uninstaller"
    registry() { grep -A12 -F '[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Halvorine]' "$WINEPREFIX/system.reg"; }
    registry | grep -q '"DisplayName"="Halvorine '"$version"'"' || fail "the uninstaller is not registered in the 64-bit registry"
    registry | grep -q '"QuietUninstallString"=".*uninstall.exe.* /S"' || fail "the registration has no QuietUninstallString"
    # EstimatedSize: every file installed, in kilobytes rounded up.
    bytes=$(cd "$drive" && find "Program Files/Common Files/VST3/Halvorine.vst3" "Program Files (x86)/Common Files/VST3/Halvorine.vst3" \
        "Program Files/VstPlugins/Halvorine.dll" "Program Files (x86)/VstPlugins/Halvorine.dll" "Program Files/Pellucid/Halvorine" \
        "Program Files/Common Files/CLAP/Halvorine.clap" "Program Files (x86)/Common Files/CLAP/Halvorine.clap" \
        -type f -printf '%s\n' 2>/dev/null | awk '{ s += $1 } END { print s }')
    size=$(registry | sed -n 's/^"EstimatedSize"=dword:\([0-9a-f]*\).*/\1/p')
    [ -n "$size" ] && [ $((0x$size)) -eq $(((bytes + 1023) / 1024)) ] ||
        fail "EstimatedSize is ${size:+0x}${size:-missing}, the installed files take $(((bytes + 1023) / 1024)) KB"

    step "the installer under wine: the test hosts load the installed DLLs"
    for pair in "$win32:C:\\Program Files (x86)\\VstPlugins\\Halvorine.dll" "$win64:C:\\Program Files\\VstPlugins\\Halvorine.dll"; do
        build=${pair%%:C:*}
        dll=C:${pair#*:C:}
        HALVORINE_WINE_TIMEOUT=300 $wine_run "$build/host_tests.exe" --plugin "$dll" \
            --gtest_filter='Record.*:Texts.*:Programs.*' >"$work/host.log" 2>&1 ||
            fail "host_tests of $build with $dll: $(tail -n 20 "$work/host.log")"
        ran_all "$work/host.log" || fail "host_tests of $build ran no test or skipped some: $(tail -n 20 "$work/host.log")"
    done
    if [ $with_vst3 = yes ]; then
        # The VST3 harness, on the bundle where hosts of its kind look.
        vst3dir="Common Files\\VST3\\Halvorine.vst3\\Contents"
        for pair in "$win32:C:\\Program Files (x86)\\$vst3dir\\x86-win\\Halvorine.vst3" \
            "$win64:C:\\Program Files\\$vst3dir\\x86_64-win\\Halvorine.vst3"; do
            build=${pair%%:C:*}
            module=C:${pair#*:C:}
            HALVORINE_WINE_TIMEOUT=300 $wine_run "$build/vst3_tests.exe" --vst3 "$module" \
                --gtest_filter='Session.*:Halvorine.Factory:Halvorine.LoadsTheSavedState' >"$work/vst3.log" 2>&1 ||
                fail "vst3_tests of $build with $module: $(tail -n 20 "$work/vst3.log")"
            ran_all "$work/vst3.log" || fail "vst3_tests of $build ran no test or skipped some: $(tail -n 20 "$work/vst3.log")"
        done
    fi
    # The CLAP test host, on each file where hosts of its architecture look.
    for pair in "$win32:C:\\Program Files (x86)\\Common Files\\CLAP\\Halvorine.clap" \
        "$win64:C:\\Program Files\\Common Files\\CLAP\\Halvorine.clap"; do
        build=${pair%%:C:*}
        module=C:${pair#*:C:}
        HALVORINE_WINE_TIMEOUT=300 $wine_run "$build/clap_tests.exe" --clap "$module" \
            --gtest_filter="$clap_filter" >"$work/clap.log" 2>&1 ||
            fail "clap_tests of $build with $module: $(tail -n 20 "$work/clap.log")"
        ran_all "$work/clap.log" || fail "clap_tests of $build ran no test or skipped some: $(tail -n 20 "$work/clap.log")"
    done

    step "the installer under wine: silent uninstall"
    wine "C:\\Program Files\\Pellucid\\Halvorine\\uninstall.exe" /S >"$work/uninstall.log" 2>&1 || fail "the silent uninstall fails"
    wineserver -w
    for path in "Program Files/VstPlugins/Halvorine.dll" "Program Files (x86)/VstPlugins/Halvorine.dll" \
        "Program Files/Common Files/VST3/Halvorine.vst3" "Program Files (x86)/Common Files/VST3/Halvorine.vst3" \
        "Program Files/Common Files/CLAP" "Program Files (x86)/Common Files/CLAP/Halvorine.clap" \
        "Program Files/Pellucid/Halvorine"; do
        [ ! -e "$drive/$path" ] || fail "the uninstall left C:/$path behind"
    done
    [ -d "$drive/Program Files (x86)/Common Files/CLAP" ] || fail "the uninstall removed a CLAP folder it did not make"
    [ -z "$(registry)" ] || fail "the uninstall left its registration behind"
    grep -qF '[Software\\Pellucid\\Halvorine]' "$WINEPREFIX/system.reg" && fail "the uninstall left Software\\Pellucid\\Halvorine behind"

    step "the installer under wine: chosen folders"
    $wine_run "$setup" /S '/VST2DIR64=C:\Hosts\Plugins64' '/VST2DIR32=C:\Hosts\Plugins32' >"$work/setup.log" 2>&1 || fail "the silent install into chosen folders fails"
    wineserver -w
    cmp -s "$drive/Hosts/Plugins64/Halvorine.dll" "$work/zip/VST2/64-bit/Halvorine.dll" || fail "/VST2DIR64 does not choose the 64-bit folder"
    cmp -s "$drive/Hosts/Plugins32/Halvorine.dll" "$work/zip/VST2/32-bit/Halvorine.dll" || fail "/VST2DIR32 does not choose the 32-bit folder"
    wine "C:\\Program Files\\Pellucid\\Halvorine\\uninstall.exe" /S >/dev/null 2>&1
    wineserver -w
    [ ! -e "$drive/Hosts/Plugins64" ] && [ ! -e "$drive/Hosts/Plugins32" ] || fail "the uninstall left the chosen folders behind"
fi

[ $failures -eq 0 ] && echo "the release installs, works and uninstalls as a user does it"
[ $failures -eq 0 ]
