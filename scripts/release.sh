#!/bin/sh
# Makes the release of the commit that is checked out, into build/release/:
#
#   Halvorine-<version>-windows.zip         VST 2.x DLLs and CLAP files (32-bit, 64-bit), VST3 bundle,
#                                           README, licence
#   Halvorine-<version>-windows-setup.exe   the installer for 32-bit and 64-bit Windows
#   Halvorine-<version>-linux-x86_64.tar.xz VST 2.x, LV2, VST3 and CLAP editions, halvorine, install.sh
#   halvorine_<version>_amd64.deb           the Debian package
#   Halvorine-<version>-linux-aarch64.tar.xz
#   halvorine_<version>_arm64.deb           the same two for 64-bit ARM Linux
#   Halvorine-<version>-src.tar.xz          the source, from git archive
#   SHA256SUMS                              a checksum for each of them
#
# It runs in a clone, on the commit checked out, or in the unpacked source
# archive, which remakes the same release: git archive writes the commit's
# ID, time and tree into release-commit (export-subst in .gitattributes),
# and the files there must be that commit's.
#
# The binaries are built from the source archive itself, unpacked in
# build/release-work/: what is released is what the source archive builds,
# offline. Two runs on the same commit, in any clone, folder, time zone or
# umask, give the same bytes: every time inside the artefacts is the
# commit's (SOURCE_DATE_EPOCH), archive members are sorted with fixed owners
# and modes, and the builds write neither paths nor times into the binaries.
#
#   scripts/release.sh [--source-only]
#
# --source-only makes only the source archive (cheap: scripts/test.sh
# compares a second clone's with the first one's).
#
# Installs what it needs first (Debian 12), like scripts/test.sh. The tree
# must be clean, since only what is committed goes into the release
# (HALVORINE_RELEASE_ALLOW_DIRTY=1 makes the release of the last commit
# anyway, for trying out changes to the packaging).
set -eu

# The VST3 edition: the one place that decides whether the release must
# carry it. "required": a release without it stops here; "optional":
# packaged wherever the builds made its bundle (build/<preset>/Halvorine.vst3/),
# left out of every package otherwise. The CLAP edition is always required:
# every build makes its Halvorine.clap.
vst3=required

source_only=no
case $# in
    0) ;;
    1) [ "$1" = --source-only ] || { echo "usage: release.sh [--source-only]" >&2; exit 2; }; source_only=yes ;;
    *) echo "usage: release.sh [--source-only]" >&2; exit 2 ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. "$root/scripts/install-packages.sh"
# shellcheck disable=SC2086 # one word per package
install_missing git cmake g++ make pkg-config libsndfile1-dev libcli11-dev libpng-dev libfftw3-dev libx11-dev lv2-dev \
    g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 nsis dpkg-dev xz-utils zip \
    g++-aarch64-linux-gnu libsndfile1-dev:arm64 libpng-dev:arm64 libfftw3-dev:arm64 libx11-dev:arm64 lv2-dev:arm64

fail() { echo "release: $*" >&2; exit 1; }

# Where the commit comes from. release-commit holds the placeholder in a
# clone; in an unpacked source archive, what git archive wrote in its
# place: "<commit> <commit time> <tree>". The filled-in file is looked at
# first, so that an archive unpacked inside some other clone is still one.
stamp_template='$Format:%H %ct %T$'
stamp=$(cat release-commit 2>/dev/null || true)
if printf '%s\n' "$stamp" | grep -Eqx '[0-9a-f]{40} [0-9]+ [0-9a-f]{40}'; then
    from=archive
    # shellcheck disable=SC2086 # one word each
    set -- $stamp
    commit=$1 SOURCE_DATE_EPOCH=$2 tree=$3
elif git rev-parse --verify -q HEAD >/dev/null 2>&1 && [ -z "$(git rev-parse --show-prefix 2>/dev/null)" ]; then
    from=clone
    [ "$stamp" = "$stamp_template" ] || fail "release-commit must hold $stamp_template (git archive fills it in)"
    if [ -n "$(git status --porcelain --untracked-files=normal)" ]; then
        if [ "${HALVORINE_RELEASE_ALLOW_DIRTY:-0}" = 1 ]; then
            echo "release: the tree has uncommitted changes; they are not in this release" >&2
        else
            fail "the tree has uncommitted changes; commit them first (the release is made of the last commit)"
        fi
    fi
    commit=$(git rev-parse HEAD)
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct HEAD)
else
    fail "$root is neither a git clone with a commit nor an unpacked source archive (Halvorine-<version>-src.tar.xz, whose release-commit names its commit)"
fi
export SOURCE_DATE_EPOCH
version=$(sed -n 's/^project(Halvorine VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no project(Halvorine VERSION ...) in CMakeLists.txt"
# Nothing of this machine's settings reaches the artefacts.
export LC_ALL=C TZ=UTC
umask 022

out=$root/build/release
work=$root/build/release-work
rm -rf "$out" "$work"
mkdir -p "$out" "$work"
echo "=== Halvorine $version, commit $commit (from the $from), dated $(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S') UTC"

# Every file and folder under $1 gets the commit's time and a fixed mode:
# 0755 for folders and executables (ELF programs, scripts), 0644 otherwise.
normalise() {
    find "$1" -type d -exec chmod 0755 {} +
    find "$1" -type f -exec chmod 0644 {} +
    find "$1" -type f \( -name '*.sh' -o -path '*/bin/*' \) -exec chmod 0755 {} +
    find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}
# A tar.xz of the folder $2 inside $1: members sorted by name, owned by
# root, dated at the commit.
make_tar_xz() {
    tar -C "$1" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" --clamp-mtime \
        --format=gnu -cf - "$2" | xz -6 -T1 -c >"$3"
}
# Text with CRLF line ends, for Windows users' editors.
crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }

# ---- The source, and the tree the binaries are built from.
name=Halvorine-$version
if [ $from = clone ]; then
    git -c core.autocrlf=false -c tar.umask=0022 archive --format=tar --prefix="$name-src/" HEAD >"$work/src.tar"
    [ "$(tar -xOf "$work/src.tar" "$name-src/release-commit")" = "$commit $SOURCE_DATE_EPOCH $(git rev-parse 'HEAD^{tree}')" ] ||
        fail "git archive did not fill in release-commit (export-subst in .gitattributes)"
else
    # The unpacked archive's files, in a repository of their own (build/
    # aside, as .gitignore says). With release-commit as the commit has it
    # they must make the commit's tree, to the byte. As they are, committed
    # at the commit's time, git archive gives the same tar as in the clone
    # but for the commit's ID in the leading pax header, which is put back.
    ingit() {
        git --git-dir="$work/source.git" --work-tree="$root" -c core.autocrlf=false -c core.excludesFile=/dev/null "$@"
    }
    ingit init -q
    ingit add -A .
    blob=$(printf '%s\n' "$stamp_template" | ingit hash-object -w --stdin)
    ingit update-index --cacheinfo "100644,$blob,release-commit"
    [ "$(ingit write-tree)" = "$tree" ] ||
        fail "the files here differ from commit $commit's (changed, added or missing); the release is of that commit only"
    ingit add release-commit
    snapshot=$(GIT_AUTHOR_NAME=release GIT_AUTHOR_EMAIL=release@localhost GIT_AUTHOR_DATE="$SOURCE_DATE_EPOCH +0000" \
        GIT_COMMITTER_NAME=release GIT_COMMITTER_EMAIL=release@localhost GIT_COMMITTER_DATE="$SOURCE_DATE_EPOCH +0000" \
        ingit commit-tree -m "$commit" "$(ingit write-tree)")
    ingit -c tar.umask=0022 archive --format=tar --prefix="$name-src/" "$snapshot" >"$work/snapshot.tar"
    # The header's 512 bytes, then its record "52 comment=<ID>\n".
    [ "$(head -c 523 "$work/snapshot.tar" | tail -c 11)" = "52 comment=" ] || fail "git archive wrote no commit ID first"
    { head -c 523 "$work/snapshot.tar"; printf %s "$commit"; tail -c +564 "$work/snapshot.tar"; } >"$work/src.tar"
    [ "$(git get-tar-commit-id <"$work/src.tar")" = "$commit" ] || fail "the source archive does not name commit $commit"
fi
xz -6 -T1 -c "$work/src.tar" >"$out/$name-src.tar.xz"
if [ $source_only = yes ]; then
    echo "=== build/release/: $name-src.tar.xz only"
    exit 0
fi
tar -C "$work" -xf "$work/src.tar"
src=$work/$name-src

# ---- The builds: the products only, linked stripped.
for preset in linux linux-arm64 win32 win64; do
    echo "=== build $preset"
    (cd "$src" &&
        cmake --preset "$preset" -DHALVORINE_TESTS=OFF -DHALVORINE_BENCH=OFF \
            -DCMAKE_EXE_LINKER_FLAGS=-s -DCMAKE_MODULE_LINKER_FLAGS=-s -DCMAKE_SHARED_LINKER_FLAGS=-s >/dev/null &&
        cmake --build --preset "$preset")
done

# ---- The VST3 bundles, where the builds made them (see vst3= above).
vst3_parts="linux:x86_64-linux/Halvorine.so win32:x86-win/Halvorine.vst3 win64:x86_64-win/Halvorine.vst3"
made=0
for part in $vst3_parts; do
    [ -f "$src/build/${part%%:*}/Halvorine.vst3/Contents/${part#*:}" ] && made=$((made + 1))
done
case $made in
    0) [ "$vst3" = optional ] || fail "no build made the VST3 bundle, and the release requires it"
       with_vst3=no
       echo "=== VST3 edition: not built; the packages leave it out" ;;
    3) with_vst3=yes
       echo "=== VST3 edition: built; in every package" ;;
    *) fail "only $made of the three builds made their part of the VST3 bundle" ;;
esac
if [ $with_vst3 = yes ]; then
    for preset in linux win32 win64; do
        [ -f "$src/build/$preset/Halvorine.vst3/Contents/Resources/moduleinfo.json" ] ||
            fail "build/$preset/Halvorine.vst3 has no Contents/Resources/moduleinfo.json"
    done
    cmp -s "$src/build/win32/Halvorine.vst3/Contents/Resources/moduleinfo.json" \
        "$src/build/win64/Halvorine.vst3/Contents/Resources/moduleinfo.json" ||
        fail "the 32-bit and 64-bit Windows builds wrote different moduleinfo.json"
fi

# ---- The CLAP edition: one file a build (see above).
for preset in linux win32 win64; do
    [ -f "$src/build/$preset/Halvorine.clap" ] || fail "build/$preset made no Halvorine.clap, and the release requires the CLAP edition"
done

# ---- Windows: one tree for the zip and the installer.
windows=$work/windows
mkdir -p "$windows/VST2/32-bit" "$windows/VST2/64-bit" "$windows/CLAP/32-bit" "$windows/CLAP/64-bit"
cp "$src/build/win32/Halvorine.dll" "$windows/VST2/32-bit/"
cp "$src/build/win64/Halvorine.dll" "$windows/VST2/64-bit/"
cp "$src/build/win32/Halvorine.clap" "$windows/CLAP/32-bit/"
cp "$src/build/win64/Halvorine.clap" "$windows/CLAP/64-bit/"
if [ $with_vst3 = yes ]; then
    mkdir -p "$windows/VST3"
    cp -R "$src/build/win64/Halvorine.vst3" "$windows/VST3/"
    cp -R "$src/build/win32/Halvorine.vst3/Contents/x86-win" "$windows/VST3/Halvorine.vst3/Contents/"
fi
sed "s/@VERSION@/$version/g" "$src/packaging/windows/README.txt" >"$work/README.windows"
crlf "$work/README.windows" "$windows/README.txt"
crlf "$src/LICENSE" "$windows/LICENSE.txt"
crlf "$src/CHANGES.md" "$windows/CHANGES.txt"
normalise "$windows"

echo "=== $name-windows.zip"
(cd "$windows" && find . -type f | sed 's|^\./||' | sort | zip -X -9 -q -@ "$out/$name-windows.zip")

echo "=== $name-windows-setup.exe"
# Paths in the script are Windows paths to makensis; the tree's own
# folder names have no spaces.
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$windows" -DWITH_VST3="$with_vst3" \
    -DOUTFILE="$out/$name-windows-setup.exe" "$src/packaging/windows/Halvorine.nsi"

# ---- Linux, for each processor: the build's preset, the processor as
# uname -m names it, and as Debian does.
linux_packages() {
preset=$1 arch=$2 debarch=$3
# The install tree, shared by the archive and the package.
stage=$work/stage-$arch
cmake --install "$src/build/$preset" --prefix "$stage/usr" >/dev/null
if [ $with_vst3 = yes ]; then
    [ -f "$stage/usr/lib/vst3/Halvorine.vst3/Contents/$arch-linux/Halvorine.so" ] ||
        fail "cmake --install put no Halvorine.vst3 with its $arch-linux part into lib/vst3"
fi
[ -f "$stage/usr/lib/clap/Halvorine.clap" ] || fail "cmake --install put no Halvorine.clap into lib/clap"

echo "=== $name-linux-$arch.tar.xz"
linux=$work/linux-$arch/$name-linux-$arch
mkdir -p "$linux/bin" "$linux/man" "$linux/CLAP"
cp "$stage/usr/lib/vst/Halvorine.so" "$linux/"
cp "$stage/usr/lib/clap/Halvorine.clap" "$linux/CLAP/"
cp -R "$stage/usr/lib/lv2/Halvorine.lv2" "$linux/"
[ $with_vst3 = no ] || cp -R "$stage/usr/lib/vst3/Halvorine.vst3" "$linux/"
cp "$stage/usr/bin/halvorine" "$linux/bin/"
cp "$stage/usr/share/man/man1/halvorine.1" "$linux/man/"
sed "s/@VERSION@/$version/g" "$src/packaging/linux/README.txt" >"$linux/README.txt"
cp "$src/packaging/linux/install.sh" "$src/LICENSE" "$src/CHANGES.md" "$linux/"
normalise "$linux"
make_tar_xz "$work/linux-$arch" "$name-linux-$arch" "$out/$name-linux-$arch.tar.xz"

echo "=== halvorine_${version}_$debarch.deb"
deb=$work/deb-$arch
mkdir -p "$deb/DEBIAN" "$deb/usr/share/doc/halvorine"
cp -R "$stage/usr" "$deb/"
gzip -9n "$deb/usr/share/man/man1/halvorine.1"
cp "$src/packaging/debian/copyright" "$deb/usr/share/doc/halvorine/"
sed "s/@VERSION@/$version/g; s/@DATE@/$(date -u -R -d "@$SOURCE_DATE_EPOCH")/" "$src/packaging/debian/changelog" |
    gzip -9n >"$deb/usr/share/doc/halvorine/changelog.gz"
# dpkg-shlibdeps reads the package's name from a source tree's
# debian/control; it gets one of its own.
# For arm64, dpkg-shlibdeps finds the libraries' symbols files among the
# arm64 packages installed through multiarch.
mkdir -p "$work/debsrc-$arch/debian"
printf 'Source: halvorine\n\nPackage: halvorine\nArchitecture: %s\n' "$debarch" >"$work/debsrc-$arch/debian/control"
elves=$(cd "$deb" && find usr -type f -exec sh -c 'head -c 4 "$1" | grep -q "ELF"' sh {} \; -print | sort)
depends=$(cd "$work/debsrc-$arch" && DEB_HOST_ARCH=$debarch DEB_HOST_MULTIARCH=$arch-linux-gnu \
    dpkg-shlibdeps -O $(for f in $elves; do printf -- '-e%s ' "$deb/$f"; done) 2>/dev/null |
    sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || fail "dpkg-shlibdeps found no dependencies"
normalise "$deb"
(cd "$deb" && find usr -type f | sort | xargs md5sum >DEBIAN/md5sums)
size=$(du -k -s --apparent-size "$deb/usr" | cut -f1)
sed "s/@VERSION@/$version/; s/@DEPENDS@/$depends/; s/@SIZE@/$size/; s/@ARCH@/$debarch/" \
    "$src/packaging/debian/control" >"$deb/DEBIAN/control"
chmod 0644 "$deb/DEBIAN/control" "$deb/DEBIAN/md5sums"
touch -d "@$SOURCE_DATE_EPOCH" "$deb/DEBIAN" "$deb/DEBIAN/control" "$deb/DEBIAN/md5sums"
dpkg-deb --root-owner-group -Zxz --build "$deb" "$out/halvorine_${version}_$debarch.deb" >/dev/null
}
linux_packages linux x86_64 amd64
linux_packages linux-arm64 aarch64 arm64

# ---- The checksums.
(cd "$out" && sha256sum "$name-windows.zip" "$name-windows-setup.exe" "$name-linux-x86_64.tar.xz" \
    "halvorine_${version}_amd64.deb" "$name-linux-aarch64.tar.xz" "halvorine_${version}_arm64.deb" "$name-src.tar.xz" \
    >SHA256SUMS)
echo "=== build/release/:"
cat "$out/SHA256SUMS"
