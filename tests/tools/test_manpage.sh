#!/bin/sh
# The manual page renders without a warning, and its commands and options
# are the ones that halvorine --help and every command's --help show, each
# option described under the commands that take it.
# Usage: test_manpage.sh PATH-TO-halvorine PATH-TO-halvorine.1
set -u
tool=$1
page=$2
if ! command -v man >/dev/null 2>&1 || ! command -v python3 >/dev/null 2>&1; then
    echo "man (man-db) and python3 are needed; skipped"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# groff's warnings (and man's own) go to standard error.
LC_ALL=C.UTF-8 MANWIDTH=200 man --warnings -l "$page" >"$work/page.txt" 2>"$work/warnings"
status=$?
if [ $status -ne 0 ] || [ -s "$work/warnings" ]; then
    echo "FAIL: man --warnings -l $page (exit $status):"
    cat "$work/warnings"
    exit 1
fi

"$tool" --help >"$work/help" || { echo "FAIL: halvorine --help exits non-zero"; exit 1; }
for command in $(sed -n '/^Subcommands:/,$s/^  \([a-z]*\) .*/\1/p' "$work/help"); do
    "$tool" "$command" --help >"$work/help-$command" || { echo "FAIL: $command --help exits non-zero"; exit 1; }
done

python3 - "$work" <<'PY'
import glob, os, re, sys
work = sys.argv[1]
option = re.compile(r"(?<![\w-])(--?[a-z][a-z-]*)")

def help_options(path):
    """The options of one --help, from its Options: section."""
    found, inside = set(), False
    for line in open(path):
        if re.match(r"^\S", line):
            inside = line.startswith("Options:")
        elif inside and re.match(r"^  -", line):
            found.update(option.findall(line.split("  ", 2)[1] if line.startswith("  ") else line)[:2])
    return {o for o in found if o.startswith("-")}

# From --help: the program's own options and each command's.
commands = {}
for path in glob.glob(os.path.join(work, "help-*")):
    commands[os.path.basename(path)[5:]] = help_options(path)
top = help_options(os.path.join(work, "help"))

# From the page: the tagged paragraphs of COMMANDS and OPTIONS, rendered.
sections, section, tag = {}, None, None
for line in open(os.path.join(work, "page.txt")):
    line = line.rstrip("\n")
    if re.match(r"^[A-Z][A-Z ]+$", line):
        section = line
        sections[section] = {}
    elif section and re.match(r"^ {7}\S", line):
        # A tag shorter than the indent shares its line with the paragraph.
        short = len(line) > 14 and " " not in line[7:13] and line[13] == " " and line[14] != " "
        tag = line[7:14].strip() if short else line.strip()
        sections[section][tag] = line[14:] if short else ""
    elif section and tag and line.startswith(" " * 14):
        sections[section][tag] += " " + line.strip()

failures = []
page_commands = {tag.split()[0] for tag in sections.get("COMMANDS", {})}
if page_commands != set(commands):
    failures.append(f"commands: page {sorted(page_commands)}, --help {sorted(commands)}")

# Every option on the page, with the commands its paragraph names.
page_options = {}
for tag, body in sections.get("OPTIONS", {}).items():
    names = set(option.findall(tag))
    takers = re.match(r"\(([a-z, ]+)\)", body.strip())
    for name in names:
        page_options[name] = set(takers.group(1).replace(",", " ").split()) if takers else None

help_all = set(top).union(*commands.values())
if set(page_options) != help_all:
    failures.append(f"options: only on the page {sorted(set(page_options) - help_all)}, "
                    f"only in --help {sorted(help_all - set(page_options))}")
for name, takers in page_options.items():
    actual = {c for c, options in commands.items() if name in options}
    if takers is None:  # the program's own, or every command's
        if name not in top and actual != set(commands):
            failures.append(f"{name}: the page names no command, --help shows it for {sorted(actual)}")
    elif takers != actual:
        failures.append(f"{name}: the page says {sorted(takers)}, --help shows it for {sorted(actual)}")
for failure in failures:
    print("FAIL:", failure)
if failures:
    sys.exit(1)
print(f"the page and --help agree: {len(commands)} commands, {len(page_options)} options")
PY
