#!/bin/sh
# A real LV2 host renders a WAV file through each factory preset of both
# plug-ins, and the result equals `halvorine render` with the same program,
# sample for sample, at two sample rates: the plain plug-in from a stereo
# file, as the README's line does it, the side-chain one from a file with
# two more channels for its key. lv2apply takes control values rather than
# presets, so each preset's values are read back from the bundle's Turtle.
# Usage: test_lv2apply.sh PATH-TO-halvorine LV2-PATH [PATH-TO-lv2apply]
# (the last for another architecture's lv2apply, such as Debian's arm64 one
# under qemu-user; lv2apply from PATH by default)
set -u
tool=$1
LV2_PATH=$2
export LV2_PATH
lv2apply=${3:-lv2apply}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for program in "$lv2apply" sordi python3; do
    if ! command -v $program >/dev/null 2>&1; then
        echo "$program is needed (packages lilv-utils, sordi, python3); skipped"
        exit 77
    fi
done

# The presets as "NAME SYMBOL VALUE SYMBOL VALUE ...", one line each.
sordi -i turtle -o ntriples "$LV2_PATH/Halvorine.lv2/halvorine.ttl" >"$work/triples.nt" || fail "sordi cannot read the Turtle"
python3 - "$work/triples.nt" >"$work/presets.txt" <<'PY' || fail "the presets cannot be read back"
import re, sys
PSET = "http://lv2plug.in/ns/ext/presets#"
LV2 = "http://lv2plug.in/ns/lv2core#"
RDFS = "http://www.w3.org/2000/01/rdf-schema#"
triple = re.compile(r'^(\S+) <([^>]*)> (.+) \.$')
facts = {}
for line in open(sys.argv[1]):
    m = triple.match(line.strip())
    if m:
        facts.setdefault(m.group(1), []).append((m.group(2), m.group(3)))
def objects(subject, predicate):
    return [o for p, o in facts.get(subject, []) if p == predicate]
def literal(text):
    return re.match(r'^"([^"]*)"', text).group(1)
count = 0
for subject in facts:
    if "<%sPreset>" % PSET not in objects(subject, "http://www.w3.org/1999/02/22-rdf-syntax-ns#type"):
        continue
    name = literal(objects(subject, RDFS + "label")[0])
    assert subject == "<urn:pellucid:halvorine#preset-%s>" % name, subject
    words = [name]
    for port in objects(subject, LV2 + "port"):
        words += [literal(objects(port, LV2 + "symbol")[0]), literal(objects(port, PSET + "value")[0])]
    assert len(words) == 1 + 2 * 22, words
    print(" ".join(words))
    count += 1
assert count == 8, count
PY

# Drum-like bursts of noise and tone, as 32-bit float WAV (the output keeps
# the input's format in both hosts, so nothing is rounded away). lv2apply
# feeds every audio input from the file, the key's too: the side-chain
# plug-in's file has two more channels of loud noise there, which "Left",
# the presets' key, never hears.
make_input() {
    python3 - "$1" "$2" "$3" <<'PY'
import struct, sys
path, rate, channels, frames = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), 30000
state = 12345
def uniform():
    global state
    state = (state * 1664525 + 1013904223) & 0xFFFFFFFF
    signed = state - (1 << 32) if state & 0x80000000 else state
    return (signed >> 8) / 8388608.0
data = bytearray()
for n in range(frames):
    env = max(0.0, 1.0 - (n % 4410) / 2000.0) ** 2
    tone = 0.5 if (n // (20 + 7 * ((n // 4410) % 9))) % 2 == 0 else -0.5
    data += struct.pack("<ff", env * (0.6 * uniform() + tone) + 0.003 * uniform(),
                        env * (0.5 * uniform() - 0.7 * tone) + 0.003 * uniform())
    if channels == 4:  # from the main channels' samples, leaving their noise as it is
        data += struct.pack("<ff", 0.9 * ((n * 7919) % 2001 / 1000.0 - 1.0),
                            0.9 * ((n * 104729) % 2001 / 1000.0 - 1.0))
fmt = struct.pack("<HHIIHH", 3, channels, rate, rate * 4 * channels, 4 * channels, 32)
body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
open(path, "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY
}

# Exit status 0 when both files hold the same format and the same sample
# bits; says where they first differ otherwise.
same_samples() {
    python3 - "$1" "$2" <<'PY'
import struct, sys
def chunks(path):
    data = open(path, "rb").read()
    assert data[:4] == b"RIFF" and data[8:12] == b"WAVE", path
    found, pos = {}, 12
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        found.setdefault(tag, data[pos + 8:pos + 8 + size])
        pos += 8 + size + (size & 1)
    return found
a, b = chunks(sys.argv[1]), chunks(sys.argv[2])
fa, fb = struct.unpack("<HHI", a[b"fmt "][:8]), struct.unpack("<HHI", b[b"fmt "][:8])
if fa != fb:
    sys.exit("formats differ: %s and %s" % (fa, fb))
if a[b"data"] != b[b"data"]:
    n = min(len(a[b"data"]), len(b[b"data"]))
    first = next((i for i in range(n) if a[b"data"][i] != b[b"data"][i]), n)
    sys.exit("%d and %d data bytes; first difference in frame %d" % (len(a[b"data"]), len(b[b"data"]), first // 8))
PY
}

for rate in 44100 96000; do
    make_input "$work/in-$rate.wav" "$rate" 2 && make_input "$work/keyed-$rate.wav" "$rate" 4 ||
        fail "cannot write the input at $rate Hz"
    while read -r name settings; do
        # shellcheck disable=SC2086 # SYMBOL VALUE pairs, one word each
        set -- $settings
        controls=
        while [ $# -ge 2 ]; do
            controls="$controls -c $1 $2"
            shift 2
        done
        vst="$work/vst-$name-$rate.wav"
        "$tool" render "$work/in-$rate.wav" "$vst" --program "$name" >/dev/null || { fail "render failed on $name"; continue; }
        for plugin in urn:pellucid:halvorine urn:pellucid:halvorine#sidechain; do
            case $plugin in
                *#sidechain) input="$work/keyed-$rate.wav" lv2="$work/lv2-sidechain-$name-$rate.wav" ;;
                *) input="$work/in-$rate.wav" lv2="$work/lv2-$name-$rate.wav" ;;
            esac
            # shellcheck disable=SC2086
            "$lv2apply" -i "$input" -o "$lv2" $controls "$plugin" >"$work/lv2apply.log" 2>&1 ||
                { fail "lv2apply failed on $name at $rate Hz ($plugin)"; cat "$work/lv2apply.log"; continue; }
            same_samples "$lv2" "$vst" || fail "$name at $rate Hz: the LV2 render ($plugin) differs from the VST 2.x render"
        done
    done <"$work/presets.txt"
    # The presets are told apart: a render that ignored them would pass above
    # only if all programs sounded alike.
    same_samples "$work/lv2-Default-$rate.wav" "$work/lv2-BigBeat-$rate.wav" >/dev/null 2>&1 &&
        fail "Default and BigBeat render the same at $rate Hz"
done
[ "$(ls "$work"/lv2-*.wav 2>/dev/null | wc -l)" -eq 32 ] || fail "not every preset was rendered"

# The README's line, word for word but for the files: a new instance is on
# "BigBeat", and -c sets one control.
"$lv2apply" -i "$work/in-44100.wav" -o "$work/readme.wav" -c boost 0.6 urn:pellucid:halvorine >"$work/lv2apply.log" 2>&1 ||
    { fail "the README's lv2apply line fails on a stereo file"; cat "$work/lv2apply.log"; }
"$tool" render "$work/in-44100.wav" "$work/readme-vst.wav" --program BigBeat --set Boost=0.6 >/dev/null ||
    fail "render failed with Boost 0.6"
same_samples "$work/readme.wav" "$work/readme-vst.wav" || fail "the README's lv2apply line differs from the VST 2.x render"

[ $failures -eq 0 ] && echo "lv2apply renders every preset as the VST 2.x library does"
[ $failures -eq 0 ]
