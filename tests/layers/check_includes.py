#!/usr/bin/env python3
"""Fails when an #include points up a layer.

The folders are the layers, each a library:
    analysis/ (engine) <- maps/ <- window/ + interaction/ (the window) and cli/ (quillet-map)
A file may include its own folder and the folders below it. The two front
ends never include each other, and window/ does not include interaction/
(the handlers there are members of the main window and may use window/,
but what window/ needs from them belongs a layer down). Tests of the logic
without widgets (tests/core/) and the fuzz targets stay on engine, maps and
command-line code, and with the benchmarks they may use the reference
readers (tests/reference/), which use the engine alone.

Usage: check_includes.py [SOURCE_DIR]   (default: the repository of this file)
Prints every upward include as FILE:LINE: ... and exits 1 when there is one.
       check_includes.py --seeded
Checks the check: in a small tree of one file a layer, each upward include
seeded in turn must be found, and the tree without them must pass.
"""
import pathlib
import re
import sys
import tempfile

# Folder -> the folders its files may include (besides system and Qt headers).
ALLOWED = {
    "analysis": {"analysis"},
    "maps": {"analysis", "maps"},
    "window": {"analysis", "maps", "window"},
    "interaction": {"analysis", "maps", "window", "interaction"},
    "cli": {"analysis", "maps", "cli"},
    "tests/core": {"analysis", "maps", "cli", "tests/core", "tests/reference"},
    "tests/reference": {"analysis", "tests/reference"},
    "fuzz": {"analysis", "maps", "fuzz", "tests/reference"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCES = {".h", ".hpp", ".cpp", ".cc"}


def layer_of(relative):
    """The folder of ALLOWED a path belongs to, the longest that matches."""
    for folder in sorted(ALLOWED, key=len, reverse=True):
        if relative == folder or relative.startswith(folder + "/"):
            return folder
    return None


def upward_includes(root):
    for path in sorted(root.rglob("*")):
        if path.suffix not in SOURCES or not path.is_file():
            continue
        relative = path.relative_to(root).as_posix()
        if relative.startswith("build"):
            continue
        own = layer_of(relative)
        if own is None:
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = layer_of(match.group(1))
            # Headers without a folder are the file's neighbours.
            if target is not None and target not in ALLOWED[own]:
                yield f"{relative}:{number}: {own}/ includes {match.group(1)} from {target}/"


# Upward includes the check must catch, one at a time: (file, include).
SEEDED = [
    ("analysis/engine.cpp", "maps/gcmap.h"),
    ("maps/imagesurface.cpp", "window/syscolors.h"),
    ("window/accessibility.cpp", "interaction/readout.h"),
    ("cli/options.cpp", "interaction/filename.h"),
    ("interaction/mapmenu.cpp", "cli/options.h"),
    ("tests/core/tst_interaction.cpp", "window/quillet.h"),
    ("fuzz/fuzz_input.cpp", "window/quillet.h"),
]


def seeded():
    clean = ["analysis/engine.cpp", "maps/gcmap.h", "window/quillet.h", "interaction/mapmenu.cpp",
             "cli/options.cpp", "tests/core/tst_interaction.cpp"]
    with tempfile.TemporaryDirectory() as folder:
        root = pathlib.Path(folder)
        for name in clean + [f for f, _ in SEEDED]:
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            (root / name).write_text('#include "analysis/engine.h"\n#include <QString>\n')
        (root / "interaction/mapmenu.cpp").write_text('#include "window/quillet.h"\n#include "maps/gcmap.h"\n')
        failures = [f"the clean tree fails: {p}" for p in upward_includes(root)]
        for name, include in SEEDED:
            path = root / name
            before = path.read_text()
            path.write_text(before + f'#  include "{include}"\n')
            if not any(p.startswith(f"{name}:3:") for p in upward_includes(root)):
                failures.append(f"{name} including {include} was not found")
            path.write_text(before)
    for failure in failures:
        print(failure)
    print(f"{len(SEEDED)} seeded upward includes, {len(failures)} missed")
    return 1 if failures else 0


def main():
    if sys.argv[1:] == ["--seeded"]:
        return seeded()
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2])
    found = list(upward_includes(root))
    for problem in found:
        print(problem)
    print(f"{len(found)} include(s) against the layers in {root}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
