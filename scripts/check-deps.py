#!/usr/bin/env python3
"""The include graph between the folders of the tree, checked.

Reads every #include "folder/..." of the product's C++ files (tests and benchmarks aside:
they reach across folders on purpose) and fails, naming the includes at fault, when
  - the folders include each other in a cycle;
  - a screen folder (register/, emission/, mail/, ancillary/, carne/, association/) includes
    another screen folder;
  - service/ includes a screen folder;
  - numbering/ includes service/;
  - a contracts folder (records/, queries/) includes anything but host/, remote/ and the
    contracts themselves.
With --graph it prints the graph, one folder and what it includes per line.
"""

import os
import re
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
SCREENS = {"register", "emission", "mail", "ancillary", "selimpor", "carne", "association", "perdas", "descadia",
           "impnfcred", "geracao"}
CONTRACTS = {"records", "queries"}
CONTRACT_DEPENDENCIES = {"host", "remote"} | CONTRACTS
# Not part of the product's graph: tests and benchmarks, generated and third-party files.
SKIPPED_DIRS = {"tests", "bench", "build", "docs", "data", "templates", "scripts", ".git", ".ci"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"')


def folders():
    return sorted(
        d
        for d in os.listdir(ROOT)
        if os.path.isdir(os.path.join(ROOT, d))
        and d not in SKIPPED_DIRS
        and not d.startswith("build")
        and not d.startswith(".")
    )


def includes(known):
    """(from folder, to folder, file, line) for every include of another known folder."""
    edges = []
    for top in known:
        for dirpath, dirnames, filenames in os.walk(os.path.join(ROOT, top)):
            dirnames[:] = [d for d in dirnames if d != "tests"]
            for name in filenames:
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(dirpath, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, text in enumerate(f, 1):
                        m = INCLUDE.match(text)
                        if m and m.group(1) in known and m.group(1) != top:
                            edges.append((top, m.group(1), os.path.relpath(path, ROOT), number))
    return edges


def cycles(graph):
    """Each cycle between folders once, as a list of folders (Tarjan's components)."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on_stack.add(v)
        for w in sorted(graph.get(v, ())):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            component = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                component.append(w)
                if w == v:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    for v in sorted(graph):
        if v not in index:
            visit(v)
    return found


def main():
    known = set(folders())
    edges = includes(known)
    graph = {f: set() for f in known}
    for src, dst, _, _ in edges:
        graph[src].add(dst)

    if "--graph" in sys.argv:
        for f in sorted(graph):
            print(f"{f}/ -> {', '.join(d + '/' for d in sorted(graph[f])) or '(nothing)'}")

    faults = []

    def fault(rule, src, dst):
        for s, d, path, line in edges:
            if s == src and d == dst:
                faults.append(f"{path}:{line}: {rule}: {src}/ includes {dst}/")

    for src, dst in sorted({(s, d) for s, d, _, _ in edges}):
        if src in SCREENS and dst in SCREENS:
            fault("a screen includes another screen", src, dst)
        if src == "service" and dst in SCREENS:
            fault("the service includes a screen", src, dst)
        if src == "numbering" and dst == "service":
            fault("the numbering includes the service", src, dst)
        if src in CONTRACTS and dst not in CONTRACT_DEPENDENCIES:
            fault("a contract includes more than host/ and remote/", src, dst)
    for component in cycles(graph):
        faults.append("folders include each other in a cycle: " + " -> ".join(component))

    if faults:
        print("check-deps: the include graph breaks its rules:", file=sys.stderr)
        for f in faults:
            print("  " + f, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
