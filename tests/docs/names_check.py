#!/usr/bin/env python3
"""Keeps the two maps of the repository true: every path, folder and name
that ARCHITECTURE.md or CONTRIBUTING.md writes in backticks must still be
in the tree.

    names_check.py ROOT

A span in backticks (outside fenced blocks) is read as:
- `name(...)`: a function; `name(` must appear in the code;
- one word with a slash, a file extension the repository uses, or the name
  of a top-level entry: a path from ROOT, a folder when it ends in a slash;
  paths outside the tree (starting with /, ~, $ or ..) and what the build
  makes (under build/ or build-*/) are not looked for;
- NAME=value or -DNAME=value: NAME must appear as a whole word in the code;
- one identifier, alone or joined by . :: or ->: each part must appear as
  a whole word in the code;
- several words, a command: each of its words that is a path or a NAME=
  as above.
Anything else (numbers, addresses, options, program names) is taken as it
is.

"The code" is every source file of the tree with its comments removed:
C++, assembly, CMake, shell, Python, the Makefile and the launcher. The
Markdown files and this script do not count, so that no name vouches for
itself.
"""

import glob
import os
import re
import sys

MAPS = ("ARCHITECTURE.md", "CONTRIBUTING.md")

CXX_SUFFIXES = {".cpp", ".h"}
ASSEMBLY_SUFFIXES = {".s", ".inc"}
HASH_COMMENT_SUFFIXES = {".py", ".sh", ".cfg", ".in", ".desktop"}
HASH_COMMENT_NAMES = {"CMakeLists.txt", "Makefile"}

IDENTIFIER = r"[A-Za-z_]\w*"
QUALIFIED = re.compile(rf"{IDENTIFIER}(?:(?:\.|::|->){IDENTIFIER})*$")
CALL = re.compile(rf"({IDENTIFIER}(?:(?:\.|::|->){IDENTIFIER})*)\(.*\)$")
SEPARATORS = re.compile(r"\.|::|->")
BUILD_OUTPUT = re.compile(r"build(-[\w-]+)?$")
# NAME=value, or a build option -DNAME=value: the name is checked.
SETTING = re.compile(rf"(?:-D)?({IDENTIFIER})=")


def strip_cxx(text):
    """C++ without its comments. Literals are kept, since a name in a string
    (an environment variable, a settings key) is the code's too, but they are
    read whole so that a // inside one starts no comment."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            i = text.find("\n", i)
            i = n if i < 0 else i
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            i = n if end < 0 else end + 2
            out.append(" ")
        elif c == '"' or (c == "'" and not (i > 0 and text[i - 1].isalnum())):
            # A quote after a digit or letter is a digit separator or part
            # of a prefix, not the start of a character literal.
            start = i
            i += 1
            while i < n and text[i] != c and text[i] != "\n":
                i += 2 if text[i] == "\\" else 1
            i += 1
            out.append(text[start:i])
        else:
            out.append(c)
            i += 1
    return "".join(out)


def strip_line_comments(text, marker):
    """Drops each comment that starts a line or follows a blank."""
    pattern = re.compile(rf"(^|\s){re.escape(marker)}.*$", re.MULTILINE)
    return pattern.sub(r"\1", text)


def tree_files(root):
    """(path, name) of every file of the tree, leaving out git's folder,
    build trees, which hold copies and products of the sources, and the
    cache of the libraries built for other systems, with their sources."""
    for folder, subfolders, files in os.walk(root):
        subfolders[:] = [
            s
            for s in subfolders
            if s not in (".git", ".cache") and not os.path.exists(os.path.join(folder, s, "CMakeCache.txt"))
        ]
        for name in files:
            yield os.path.join(folder, name), name


def code_of(root):
    """The tree's source text, comments removed, as one string."""
    pieces = []
    for path, name in tree_files(root):
        if os.path.realpath(path) == os.path.realpath(__file__):
            continue
        suffix = os.path.splitext(name)[1]
        try:
            with open(path, encoding="utf-8") as f:
                text = f.read()
        except (UnicodeDecodeError, OSError):
            continue
        if suffix in CXX_SUFFIXES:
            pieces.append(strip_cxx(text))
        elif suffix in ASSEMBLY_SUFFIXES:
            pieces.append(strip_line_comments(text, ";"))
        elif suffix in HASH_COMMENT_SUFFIXES or name in HASH_COMMENT_NAMES or text.startswith("#!"):
            pieces.append(strip_line_comments(text, "#"))
    return "\n".join(pieces)


def spans_of(path):
    """(line number, text) of every span in backticks outside fenced blocks."""
    spans = []
    fenced = False
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if line.lstrip().startswith("```"):
                fenced = not fenced
                continue
            if fenced:
                continue
            if line.count("`") % 2:
                spans.append((number, None))
                continue
            spans.extend((number, m.group(1).strip()) for m in re.finditer(r"`([^`]+)`", line))
    return spans


class Checker:
    def __init__(self, root):
        self.root = root
        self.code = code_of(root)
        # The file extensions the repository's own files use.
        self.suffixes = {os.path.splitext(name)[1] for _, name in tree_files(root)} - {""}
        self.top_level = set(os.listdir(root))
        self.words = {}

    def has_word(self, word):
        if word not in self.words:
            self.words[word] = re.search(rf"(?<!\w){re.escape(word)}(?!\w)", self.code) is not None
        return self.words[word]

    def has_function(self, name):
        return re.search(rf"(?<!\w){re.escape(name)}\s*\(", self.code) is not None

    def is_path(self, word):
        if word.startswith("-") or "=" in word:
            return False
        if "/" in word or word in self.top_level:
            return True
        return os.path.splitext(word)[1] in self.suffixes

    def path_problem(self, word):
        """None when the path is there or lies outside the tree."""
        if word[0] in "/~$" or word.startswith(".."):
            return None
        if BUILD_OUTPUT.match(word.split("/")[0]):
            return None
        full = os.path.join(self.root, word.rstrip("/"))
        if any(c in word for c in "*?["):
            return None if glob.glob(full) else "matches no path in the repository"
        if word.endswith("/"):
            return None if os.path.isdir(full) else "no such folder in the repository"
        return None if os.path.exists(full) else "no such path in the repository"

    def word_missing(self, word):
        if self.has_word(word):
            return None
        return f"no `{word}` anywhere in the code"

    def word_problem(self, word, alone):
        """What is wrong with one word of a span, or None; and whether it named anything."""
        setting = SETTING.match(word)
        if setting:
            return self.word_missing(setting.group(1)), True
        if self.is_path(word):
            found = self.path_problem(word)
            return (f"{found}: `{word}`" if found and not alone else found), True
        if alone and QUALIFIED.match(word):
            return next(filter(None, map(self.word_missing, SEPARATORS.split(word))), None), True
        return None, False

    def problem(self, span):
        """What is wrong with one span, or None; and whether it named anything."""
        call = CALL.match(span)
        if call:
            name = SEPARATORS.split(call.group(1))[-1]
            if self.has_function(name):
                return None, True
            return f"no function `{name}` in the code", True
        words = span.split()
        named = False
        for word in words:
            found, counts = self.word_problem(word, len(words) == 1)
            named = named or counts
            if found:
                return found, True
        return None, named


def main():
    if len(sys.argv) != 2:
        print("usage: names_check.py ROOT", file=sys.stderr)
        return 2
    root = os.path.abspath(sys.argv[1])
    checker = Checker(root)
    failures = 0
    for doc in MAPS:
        path = os.path.join(root, doc)
        if not os.path.exists(path):
            print(f"{doc}: missing from {root}")
            failures += 1
            continue
        named = 0
        for number, span in spans_of(path):
            if span is None:
                print(f"{doc}:{number}: a backtick without its pair: spans must open and close on one line")
                failures += 1
                continue
            found, counts = checker.problem(span)
            named += counts
            if found:
                print(f"{doc}:{number}: `{span}`: {found}")
                failures += 1
        print(f"{doc}: {named} names checked")
        if named == 0:
            print(f"{doc}: no name in backticks was recognised, so nothing was checked")
            failures += 1
    if failures:
        print(f"{failures} problems: the maps name what the repository no longer has")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
