#!/usr/bin/env python3
"""program_values.py PARAMETER_TABLE.cpp: the factory programs as
presets.lua takes them, "name=v0,...,v21;..." (the values of the shared
parameter table's rows, in parameter order)."""
import re
import sys

text = open(sys.argv[1]).read()
names = re.search(r"kProgramNames\[kNumPrograms\] = \{([^}]*)\}", text).group(1)
names = re.findall(r'"([^"]+)"', names)
rows = [re.findall(r"[-\d.]+", m) for m in re.findall(r"\{([-\d.f, ]+)\}\},", text)]
if len(names) != 8 or len(rows) != 22 or any(len(r) != 8 for r in rows):
    sys.exit("cannot read the programs from %s" % sys.argv[1])
print(";".join("%s=%s" % (name, ",".join(repr(float(row[p].rstrip("f"))) for row in rows))
               for p, name in enumerate(names)))
