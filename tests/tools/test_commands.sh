#!/bin/sh
# halvorine's info, snapshot and demo commands, and --help of every command.
# Usage: test_commands.sh PATH-TO-halvorine
set -u
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! command -v python3 >/dev/null 2>&1; then
    echo "python3 is needed to check the JSON; skipped"
    exit 77
fi

for command in render info snapshot demo; do
    "$tool" $command --help >"$work/help" 2>&1 || fail "$command --help exits non-zero"
    grep -q "Usage:.* $command" "$work/help" || fail "$command --help shows no usage"
done

# info, for a person: names, programs and values.
"$tool" info >"$work/info.txt" || fail "info exits non-zero"
# The values also as the editor's read-out writes them.
for expected in 'Effect *Halvorine' 'Vendor *Pellucid' '\* *7 *BigBeat' "magic 'VstP'" \
    'Start Freq *0.737500  3.3KHz$' 'Finish Freq *0.550000  905Hz$' 'Freq Q *0.125000  12.5%$' \
    'Boost *0.300000  -8dB$' 'Band 16Gate Level *0.837500  -6.6dB$'; do
    grep -q "$expected" "$work/info.txt" || fail "info lacks /$expected/"
done

# info --json: one object that parses, with the record and the current values.
"$tool" info --json >"$work/info.json" || fail "info --json exits non-zero"
python3 - "$work/info.json" <<'PY' || fail "info --json is not the expected JSON"
import json, sys
d = json.load(open(sys.argv[1]))
assert d["effectName"] == "Halvorine" and d["vendor"] == "Pellucid", d
r = d["record"]
assert (r["magic"], r["numParams"], r["numPrograms"], r["numInputs"], r["numOutputs"]) == ("VstP", 30, 8, 2, 2), r
assert d["currentProgram"] == 7 and [p["name"] for p in d["programs"]][6:] == ["BandLimited", "BigBeat"], d
p = d["parameters"]
assert len(p) == 30 and p[5]["name"] == "Boost" and abs(p[0]["value"] - 0.7375) < 1e-6, p[:6]
assert [q["text"] for q in p[:3]] + [p[5]["text"], p[29]["text"]] == ["3.3KHz", "905Hz", "12.5%", "-8dB", ""], p[:6]
PY

# snapshot: the editor window as a 398 x 241 PNG, after --program and --set;
# a bad setting writes nothing.
"$tool" snapshot "$work/bigbeat.png" >/dev/null || fail "snapshot exits non-zero"
"$tool" snapshot "$work/gated.png" --program Gated --set Boost=1 >/dev/null || fail "snapshot with settings exits non-zero"
python3 - "$work/bigbeat.png" <<'PY' || fail "snapshot is not a 398 x 241 PNG"
import struct, sys
data = open(sys.argv[1], "rb").read(24)
assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR", data
assert struct.unpack(">II", data[16:24]) == (398, 241), struct.unpack(">II", data[16:24])
PY
cmp -s "$work/bigbeat.png" "$work/gated.png" && fail "snapshot ignores --program and --set"
if "$tool" snapshot "$work/bad.png" --set Boost=2 2>"$work/snapshot.err"; then
    fail "snapshot accepted a value outside 0..1"
fi
grep -q "outside 0..1" "$work/snapshot.err" || fail "snapshot does not say why it failed"
[ ! -e "$work/bad.png" ] || fail "a failed snapshot wrote a file"
[ -z "$(find "$work" -maxdepth 1 -name '.*.png.*')" ] || fail "snapshot left a temporary file"
# --scale: the window at that scale (1.5 filtered down from 2); out of range
# is a usage error. HALVORINE_SCALE, the user's override, comes first.
for case in "2 796 482" "1.5 597 362" "3 1194 723"; do
    set -- $case
    "$tool" snapshot "$work/scaled.png" --scale "$1" >/dev/null || fail "snapshot --scale $1 exits non-zero"
    python3 - "$work/scaled.png" "$2" "$3" <<'PY' || fail "snapshot --scale $1 is not a $2 x $3 PNG"
import struct, sys
data = open(sys.argv[1], "rb").read(24)
assert struct.unpack(">II", data[16:24]) == (int(sys.argv[2]), int(sys.argv[3])), struct.unpack(">II", data[16:24])
PY
done
HALVORINE_SCALE=1 "$tool" snapshot "$work/override.png" --scale 2 >/dev/null || fail "snapshot under HALVORINE_SCALE fails"
cmp -s "$work/bigbeat.png" "$work/override.png" || fail "HALVORINE_SCALE=1 does not override --scale"
status=0
"$tool" snapshot "$work/huge.png" --scale 4 2>/dev/null || status=$?
[ "$status" = 2 ] || fail "snapshot --scale 4 exits with $status, not the usage error"
# --key-source: the key selector shown, each choice its own picture; an
# unknown choice is a usage error.
"$tool" snapshot "$work/side.png" --key-source side >/dev/null || fail "snapshot --key-source exits non-zero"
"$tool" snapshot "$work/mid.png" --key-source mid >/dev/null || fail "snapshot --key-source exits non-zero"
cmp -s "$work/bigbeat.png" "$work/side.png" && fail "snapshot ignores --key-source"
cmp -s "$work/mid.png" "$work/side.png" && fail "snapshot --key-source shows no choice"
status=0
"$tool" snapshot "$work/bad.png" --key-source sideways 2>/dev/null || status=$?
[ "$status" = 2 ] || fail "snapshot --key-source sideways exits with $status, not the usage error"

# demo: four files, the same on every run, and the renders are what render makes.
"$tool" demo --out "$work/demo1" >"$work/demo.log" || fail "demo exits non-zero"
"$tool" demo --out "$work/demo2" >/dev/null || fail "second demo exits non-zero"
for file in groove.wav groove-bigbeat.wav groove-gated.wav comparison.png; do
    [ -s "$work/demo1/$file" ] || fail "demo did not write $file"
    cmp -s "$work/demo1/$file" "$work/demo2/$file" || fail "demo's $file differs between runs"
    grep -q "$file" "$work/demo.log" || fail "demo does not tell where $file is"
done
head -c 8 "$work/demo1/comparison.png" | od -An -tx1 | grep -q "89 50 4e 47 0d 0a 1a 0a" || fail "comparison.png is not a PNG"
"$tool" render "$work/demo1/groove.wav" "$work/gated.wav" --program Gated >/dev/null || fail "render of the groove failed"
cmp -s "$work/gated.wav" "$work/demo1/groove-gated.wav" || fail "demo's Gated render differs from render's"
grep -q "listen for" "$work/demo.log" || fail "demo does not say what to listen for"
if [ -f "$(dirname "$tool")/lv2-path/Halvorine.lv2/manifest.ttl" ]; then
    grep -q "as an LV2 plug-in.*jalv urn:pellucid:halvorine" "$work/demo.log" || fail "demo does not mention the LV2 edition"
fi

[ $failures -eq 0 ] && echo "all command checks passed"
[ $failures -eq 0 ]
