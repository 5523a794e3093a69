#!/usr/bin/env python3
"""Sets KEY=VALUE in [SECTION] of a private-profile file, keeping every other line as it is.
Usage: ini-set.py FILE SECTION KEY VALUE
The value's bytes are written as given (a code page 932 text stays code page 932)."""
import os
import sys

path, section, key, value = sys.argv[1:5]
value = os.fsencode(value).decode('latin-1')
lines = open(path, 'rb').read().decode('latin-1').splitlines() if os.path.exists(path) else []
out, current, done, seen_section = [], None, False, False
for line in lines:
    stripped = line.strip()
    if stripped.startswith('[') and stripped.endswith(']'):
        if current == section.lower() and not done:
            out.append('%s=%s' % (key, value))
            done = True
        current = stripped[1:-1].strip().lower()
        seen_section |= current == section.lower()
    elif current == section.lower() and stripped.split('=', 1)[0].strip().lower() == key.lower():
        if not done:
            out.append('%s=%s' % (key, value))
            done = True
        continue
    out.append(line)
if not done:
    if not seen_section:
        out.append('[%s]' % section)
    out.append('%s=%s' % (key, value))
open(path, 'wb').write(('\r\n'.join(out) + '\r\n').encode('latin-1'))
