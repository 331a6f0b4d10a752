"""Side-by-side code of each function in a Microsoft-ABI and a mingw-w64 assembly listing.

Functions are matched by their C++ name (the Microsoft and Itanium manglings both start with it).
mingw reaches globals through .refptr words; those loads are shown as `rec` so both sides read
alike."""
import re
import sys

def functions(path, microsoft):
    out, name, body = {}, None, []
    for line in open(path):
        line = line.rstrip("\n")
        label = re.match(r'^"?([^":\s]+)"?:', line)
        if label and not line.startswith("\t") and not label.group(1).startswith("."):
            if name: out[name] = body
            name, body = readable(label.group(1), microsoft), []
            continue
        if name is None or not line.startswith("\t") or line.lstrip().startswith((".", "#")):
            continue
        body.append(line.strip().replace(".refptr.", ""))
    if name: out[name] = body
    return out

def readable(symbol, microsoft):
    if microsoft:
        m = re.match(r"\?([^@]+)@(?:([^@]+)@)?@", symbol)
        if not m: return symbol
        return (m.group(2) + "::" if m.group(2) else "") + m.group(1)
    m = re.match(r"_ZN(\d+)(\w+?)(\d+)(\w+)", symbol)
    if m:
        cls = m.group(2)[: int(m.group(1))]
        rest = (m.group(2)[int(m.group(1)):] + m.group(3) + m.group(4))
        n = re.match(r"(\d+)(\w+)", rest)
        return cls + "::" + n.group(2)[: int(n.group(1))]
    m = re.match(r"_Z(\d+)(\w+)", symbol)
    return m.group(2)[: int(m.group(1))] if m else symbol

ms, gnu = functions(sys.argv[1], True), functions(sys.argv[2], False)
wanted = sys.argv[3] if len(sys.argv) > 3 else ""
for name in ms:
    if wanted not in name or name not in gnu or name.startswith("__"): continue
    print("== " + name)
    a, b = ms[name], gnu[name]
    for i in range(max(len(a), len(b))):
        print("  %-44s | %s" % (a[i] if i < len(a) else "", b[i] if i < len(b) else ""))
missing = [n for n in ms if n not in gnu and not n.startswith("__")]
if missing: print("only in the Microsoft listing:", ", ".join(missing))
