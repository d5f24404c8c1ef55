#!/usr/bin/env python3
"""What the 32-bit Windows program is made of, in bytes of its image.

    scripts/image-sizes.py [BUILD]      BUILD: build/windows unless given

Links the program once more without stripping it, reads each function's
size from its symbols and charges it to the source file that defines it
(statics included: the program is compiled as one file), then adds the
constants, the resources, the imports and the relocations from the
section table.  Prints one row a floor, the largest files, and the whole.
"""
import collections
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PREFIX = "i686-w64-mingw32-"


def link_unstripped(build, out):
    link = open(os.path.join(build, "CMakeFiles/cleaver.dir/link.txt")).read().splitlines()
    command = [line for line in link if "-o cleaver.exe" in line][0]
    command = command.replace(" -s ", " ").replace("-o cleaver.exe", "-o " + out)
    subprocess.run(command, shell=True, cwd=build, check=True)


def definitions(build):
    """Function name -> the source file that defines it (floor/name), over
    the sources the program is compiled from."""
    where = {}
    whole = open(os.path.join(build, "generated/whole_program.cpp")).read()
    for path in re.findall(r'#include "(.*)"', whole):
        source = os.path.relpath(path, os.path.join(ROOT, "src"))
        text = open(path).read()
        for match in re.finditer(r"^[A-Za-z_][\w \*&:<>,]*?\b(\w+)\(", text, re.M):
            where.setdefault(match.group(1), source)
    return where


def function_sizes(image):
    nm = subprocess.run([PREFIX + "nm", "-S", "--size-sort", "-C", image],
                        capture_output=True, text=True, check=True).stdout
    for line in nm.splitlines():
        parts = line.split(None, 3)
        if len(parts) == 4 and parts[2] in "tT":
            name = re.sub(r"\(.*", "", parts[3]).split("::")[-1].lstrip("_")
            yield name.split("@")[0], int(parts[1], 16)


def sections(image):
    dump = subprocess.run([PREFIX + "objdump", "-h", image], capture_output=True, text=True,
                          check=True).stdout
    for line in dump.splitlines():
        parts = line.split()
        if len(parts) >= 7 and parts[0].isdigit():
            yield parts[1], int(parts[2], 16)


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/windows")
    stripped = os.path.join(build, "cleaver.exe")
    with tempfile.TemporaryDirectory() as scratch:
        image = os.path.join(scratch, "cleaver.exe")
        link_unstripped(build, image)
        where = definitions(build)
        by_file = collections.Counter()
        for name, size in function_sizes(image):
            by_file[where.get(name, "(the C runtime and start-up)")] += size
        section = dict(sections(image))
    by_floor = collections.Counter()
    for source, size in by_file.items():
        by_floor[source.split("/")[0] if "/" in source else source] += size
    total = os.path.getsize(stripped)
    print(f"{stripped}: {total} bytes")
    print(f"  code {section['.text']}:")
    for floor, size in by_floor.most_common():
        print(f"    {floor:32} {size:6}")
    print("  the largest files' code:")
    for source, size in by_file.most_common(10):
        print(f"    {source:32} {size:6}")
    for name, label in ((".rdata", "constants (the words of the messages)"),
                        (".rsrc", "resources (dialogs, banner, icon, manifest, version)"),
                        (".idata", "imports"), (".reloc", "relocations (for ASLR)")):
        print(f"  {label:50} {section.get(name, 0):6}")


if __name__ == "__main__":
    main()
