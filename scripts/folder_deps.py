#!/usr/bin/env python3
"""Prints which folders under src/ include which, and fails on a cycle.

Each folder of src/ is a layer: its files may include the folders below it,
never one that includes it back (directly or through others). Run with no
arguments from anywhere; exit status 1 names the folders of a cycle.
"""
import os
import re
import sys

SRC = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_0-9]+)/', re.M)


def folder_graph():
    graph = {}
    for folder in sorted(os.listdir(SRC)):
        path = os.path.join(SRC, folder)
        if not os.path.isdir(path):
            continue
        edges = set()
        for name in os.listdir(path):
            with open(os.path.join(path, name), encoding="utf-8", errors="replace") as f:
                edges.update(INCLUDE.findall(f.read()))
        edges.discard(folder)
        graph[folder] = sorted(edges)
    return graph


def find_cycle(graph):
    state = {}  # 1: on the current path, 2: done

    def visit(node, path):
        state[node] = 1
        for nxt in graph.get(node, []):
            if state.get(nxt) == 1:
                return path[path.index(nxt):] + [nxt]
            if nxt not in state:
                cycle = visit(nxt, path + [nxt])
                if cycle:
                    return cycle
        state[node] = 2
        return None

    for node in graph:
        if node not in state:
            cycle = visit(node, [node])
            if cycle:
                return cycle
    return None


def main():
    graph = folder_graph()
    for folder, edges in graph.items():
        print(f"{folder} -> {' '.join(edges) or '(nothing)'}")
    cycle = find_cycle(graph)
    if cycle:
        print("include cycle: " + " -> ".join(cycle), file=sys.stderr)
        return 1
    print("no include cycle between folders")
    return 0


if __name__ == "__main__":
    sys.exit(main())
