"""Reads a report the way a user's script would, with Python's own csv and
json modules, or lists a folder tree the way Python names its entries, and
prints what it read in a form a test can compare byte for byte: every text
as the hex digits of its UTF-8 bytes ("-" for an empty text).

  read_report.py csv FILE    one line per record, its fields separated by blanks
  read_report.py json FILE   one line per value: its path (keys and list
                             positions joined by "."), a tab, then "s" and
                             the text, "n" and the number, "b" and true or
                             false, or "z" for null
  read_report.py tree ROOT   one line per item below ROOT (links not
                             followed): "d" or "f", a blank, and its path
                             relative to ROOT as Python shows a name that
                             is not UTF-8 (bytes.decode('utf-8', 'backslashreplace'))
"""

import csv
import json
import os
import sys


def hex_text(text):
    return text.encode("utf-8").hex() or "-"


def read_csv(path):
    # newline="" lets the csv module see the line breaks inside quoted fields.
    with open(path, newline="", encoding="utf-8") as stream:
        for record in csv.reader(stream):
            print(" ".join(hex_text(field) for field in record))


def leaves(value, path):
    if isinstance(value, dict):
        for key, item in value.items():
            yield from leaves(item, path + [key])
    elif isinstance(value, list):
        for index, item in enumerate(value):
            yield from leaves(item, path + [str(index)])
    elif isinstance(value, str):
        yield path, "s" + hex_text(value)
    elif isinstance(value, bool):
        yield path, "b" + ("true" if value else "false")
    elif value is None:
        yield path, "z"
    else:
        yield path, "n" + str(value)


def read_json(path):
    with open(path, encoding="utf-8") as stream:
        document = json.load(stream)
    for keys, value in leaves(document, []):
        print(hex_text(".".join(keys)) + "\t" + value)


def list_tree(root):
    root = os.fsencode(root)
    for folder, folders, files in os.walk(root):
        for name in folders + files:
            full = os.path.join(folder, name)
            kind = "d" if os.path.isdir(full) and not os.path.islink(full) else "f"
            relative = os.path.relpath(full, root)
            print(kind + " " + hex_text(relative.decode("utf-8", "backslashreplace")))


def main():
    mode, path = sys.argv[1], sys.argv[2]
    {"csv": read_csv, "json": read_json, "tree": list_tree}[mode](path)


if __name__ == "__main__":
    main()
