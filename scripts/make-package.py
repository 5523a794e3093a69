#!/usr/bin/env python3
"""Writes the release zip: the DLL, the Japanese guide, the English broadcasters' section of the
README, the pictures both show and the licence, in one folder named after the release. Entries
are sorted and dated by the commit, so the same sources give the same zip."""
import argparse
import os
import re
import subprocess
import sys
import time
import zipfile

# Files a broadcaster must never receive: the stand-ins and test programs.
FORBIDDEN = re.compile(r'(^|/)(wmvcore\.dll|ombrel_\w+\.exe|\w+_tests\.exe|wmvcore_serve\.exe)$', re.I)


def broadcasters_section(readme):
    """The README's title and introduction, then its section for broadcasters."""
    start = readme.index('## For broadcasters')
    end = readme.index('## For developers')
    return readme[:start] + readme[start:end].rstrip() + '\n'


def pictures(text):
    return sorted(set(re.findall(r'\]\((?:docs/)?([\w.-]+\.png)\)', text)))


def commit_time(root):
    try:
        out = subprocess.run(['git', '-C', root, 'log', '-1', '--format=%ct'], capture_output=True, text=True,
                             check=True).stdout.strip()
        return time.gmtime(int(out))[:6]
    except (subprocess.CalledProcessError, ValueError, OSError):
        return (2026, 1, 1, 0, 0, 0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--root', required=True)
    parser.add_argument('--dll', required=True)
    parser.add_argument('--zip', required=True)
    parser.add_argument('--name', required=True)
    args = parser.parse_args()
    root = args.root

    readme = broadcasters_section(open(os.path.join(root, 'README.md'), encoding='utf-8').read())
    guide_path = os.path.join(root, 'docs', 'guide-ja.md')
    if not os.path.exists(guide_path):
        sys.exit('docs/guide-ja.md is missing: the package needs the Japanese guide')
    guide = open(guide_path, encoding='utf-8').read()
    # The guide sits beside the pictures in the sources and one level above them in the package.
    guide = re.sub(r'\]\(([\w.-]+\.png)\)', r'](docs/\1)', guide)

    entries = {
        'dsp_ombrel.dll': open(args.dll, 'rb').read(),
        'guide-ja.md': guide.encode('utf-8'),
        'README-en.md': readme.encode('utf-8'),
        'LICENSE.txt': open(os.path.join(root, 'LICENSE'), 'rb').read(),
    }
    for picture in sorted(set(pictures(readme)) | set(pictures(guide))):
        entries['docs/' + picture] = open(os.path.join(root, 'docs', picture), 'rb').read()

    bad = [name for name in entries if FORBIDDEN.search(name)]
    if bad:
        sys.exit('the package would hold stand-in files: %s' % bad)

    stamp = commit_time(root)
    tmp = args.zip + '.tmp'
    with zipfile.ZipFile(tmp, 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for name in sorted(entries):
            info = zipfile.ZipInfo(args.name + '/' + name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            info.create_system = 0
            z.writestr(info, entries[name])
    os.replace(tmp, args.zip)

    print('%s:' % args.zip)
    for name in sorted(entries):
        print('  %9d  %s/%s' % (len(entries[name]), args.name, name))
    print('  %9d  (zip)' % os.path.getsize(args.zip))


if __name__ == '__main__':
    main()
