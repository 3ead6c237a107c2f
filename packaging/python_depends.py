"""Prints the Debian packages that the Python package in the folder argv[1] needs: python3
and python3-NAME for each module outside the standard library that it imports (numpy ->
python3-numpy), comma-separated for a Depends field. Run at configure time, so a new
import reaches the package's Depends without anyone writing it down twice."""

import ast
import pathlib
import sys


def imported_modules(folder):
    names = set()
    for source in sorted(pathlib.Path(folder).rglob("*.py")):
        for node in ast.walk(ast.parse(source.read_text(encoding="utf-8"), str(source))):
            if isinstance(node, ast.Import):
                names.update(alias.name.split(".")[0] for alias in node.names)
            elif isinstance(node, ast.ImportFrom) and node.level == 0 and node.module:
                names.add(node.module.split(".")[0])
    return names


def main():
    folder = pathlib.Path(sys.argv[1])
    own = {folder.name}
    third_party = sorted(n for n in imported_modules(folder) if n not in sys.stdlib_module_names and n not in own)
    print(", ".join(["python3"] + ["python3-" + n.lower().replace("_", "-") for n in third_party]))


if __name__ == "__main__":
    main()
