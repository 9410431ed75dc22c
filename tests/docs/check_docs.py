#!/usr/bin/python3
"""Keeps the user's guides true to the program.

1. Every status text and log line that the code can write (the string literals handed to Save_Log,
   setFTP_now, setIP_address, a slot's report and ResultText, the upload's finalTexts table, and every
   Japanese literal of the engine's folders) stands in a table row of docs/guide.ja.md and of
   docs/guide.en.md.
2. No relative link, image or in-page anchor of docs/*.md and README.md is broken, every table has as many
   cells in each row as in its header, and every SVG under docs/images is well-formed.

Usage: check_docs.py SOURCE_ROOT                 the check; exit status 1 and one line per fault
       check_docs.py SOURCE_ROOT --self-test     shows that the check fails when a text, a link or an image
                                                 goes missing (every text in turn), so it cannot pass vacuously
"""
import glob
import os
import re
import sys
import xml.dom.minidom

Guides = ("docs/guide.ja.md", "docs/guide.en.md")

# Calls whose literal arguments the user sees (window, log, stderr); each must yield at least one text,
# or the check no longer matches the code and says so.
Calls = ("Save_Log", "setFTP_now", "setIP_address", "report", "ResultText =", "finalTexts")
# Folders whose every Japanese literal is a status text (the check words are picked by a switch).
EngineFolders = ("src/run", "src/ipcheck", "src/publish")
# ... except the texts the program looks for rather than writes: the echo pages' markers.
ReadOnlyTexts = ("src/ipcheck/page_parser.cpp",)

Token = re.compile(r'//[^\n]*|/\*.*?\*/|u8"(?:\\.|[^"\\])*"|"(?:\\.|[^"\\])*"|\'(?:\\.|[^\'\\])*\'', re.S)


def code_without_comments(text):
    return Token.sub(lambda m: "" if m.group(0).startswith("/") else m.group(0), text)


def literals(text):
    return [m.group(0)[m.group(0).index('"') + 1:-1] for m in Token.finditer(text) if m.group(0)[0] in 'u"']


def balanced(text, start, opening, closing):
    """The text from start (just after an opening bracket) up to its closing bracket."""
    depth = 1
    i = start
    while i < len(text) and depth:
        m = Token.match(text, i)
        if m and m.group(0)[0] in 'u"\'' and (m.group(0)[0] != "u" or m.group(0).startswith('u8"')):
            i = m.end()
            continue
        depth += {opening: 1, closing: -1}.get(text[i], 0)
        i += 1
    return text[start:i - 1]


def worth_checking(text):
    return re.search(r"\w", text) is not None


def program_texts(root):
    """{text: set of where it was found}; and the calls that yielded nothing."""
    found = {}
    per_call = {call: 0 for call in Calls}
    for path in sorted(glob.glob(os.path.join(root, "src", "**", "*.cpp"), recursive=True)):
        rel = os.path.relpath(path, root)
        with open(path, encoding="utf-8") as f:
            code = code_without_comments(f.read())
        for call in Calls:
            if call == "ResultText =":
                pattern = re.compile(r"\bResultText\s*=(?!=)")
            elif call == "finalTexts":
                pattern = re.compile(r"\bfinalTexts\s*\[\s*\]\s*=\s*\{")
            else:
                pattern = re.compile(r"(?<![\w.>])" + re.escape(call) + r"\s*\(|(?<=[.>])" + re.escape(call) + r"\s*\(")
            for m in pattern.finditer(code):
                if call == "ResultText =":
                    end = code.find(";", m.end())
                    args = code[m.end():end]
                elif call == "finalTexts":
                    args = balanced(code, m.end(), "{", "}")
                else:
                    args = balanced(code, m.end(), "(", ")")
                for text in literals(args):
                    text = text.strip()
                    if worth_checking(text):
                        found.setdefault(text, set()).add(rel)
                        per_call[call] += 1
        if rel.startswith(EngineFolders) and rel not in ReadOnlyTexts:
            for text in literals(code):
                text = text.strip()
                if re.search(r"[^\x00-\x7f]", text) and worth_checking(text):
                    found.setdefault(text, set()).add(rel)
    return found, [call for call, count in per_call.items() if count == 0]


def table_lines(markdown):
    return [line for line in markdown.splitlines() if line.lstrip().startswith("|")]


def missing_texts(texts, markdown):
    rows = table_lines(markdown)
    return sorted(t for t in texts if not any(t in row for row in rows))


def strip_code(markdown):
    """Fenced blocks and code spans hold examples, not links."""
    markdown = re.sub(r"^(```|~~~).*?^\1", "", markdown, flags=re.S | re.M)
    return re.sub(r"(`+)(?:(?!\1).)+?\1", "", markdown)


def slug(heading):
    """The anchor a Markdown renderer gives a heading (GitHub's rule)."""
    text = re.sub(r"<[^>]+>", "", heading.strip().lower())
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(markdown):
    seen = {}
    result = set()
    for line in re.sub(r"^(```|~~~).*?^\1", "", markdown, flags=re.S | re.M).splitlines():
        m = re.match(r"#{1,6}\s+(.*?)\s*#*\s*$", line)
        if not m:
            continue
        base = slug(m.group(1))
        n = seen.get(base, 0)
        seen[base] = n + 1
        result.add(base if n == 0 else "%s-%d" % (base, n))
    result.update(re.findall(r'<a\s+(?:name|id)="([^"]+)"', markdown))
    return result


# A link's text may hold brackets of its own ("[設定1]"), one level deep.
LinkTarget = re.compile(r'!?\[(?:[^\[\]]|\[[^\[\]]*\])*\]\(\s*<?([^)\s>]+)>?(?:\s+"[^"]*")?\s*\)'
                        r'|<img\s[^>]*src="([^"]+)"|^\s*\[[^\]]+\]:\s*(\S+)', re.M)


def broken_links(path, markdown, read):
    """Relative links, images and anchors of one Markdown file that lead nowhere. read(path) gives a file's
    text or None when it does not exist."""
    faults = []
    base = os.path.dirname(path)
    for m in LinkTarget.finditer(strip_code(markdown)):
        target = next(g for g in m.groups() if g)
        if re.match(r"[a-zA-Z][a-zA-Z0-9+.-]*:", target):
            continue  # an address with a scheme: not ours to check here
        file_part, _, fragment = target.partition("#")
        target_path = os.path.normpath(os.path.join(base, file_part)) if file_part else path
        text = read(target_path)
        if text is None:
            faults.append("%s: broken link or image %s" % (path, target))
            continue
        if fragment and target_path.endswith(".md") and fragment not in anchors(text):
            faults.append("%s: no heading for anchor %s" % (path, target))
    return faults


def cells(row):
    return len(re.split(r"(?<!\\)\|", row.strip().strip("|")))


def broken_tables(path, markdown):
    """Tables whose rows do not all have the header's number of cells, or lack the delimiter row: a renderer
    would shift or drop their cells."""
    faults = []
    lines = re.sub(r"^(```|~~~).*?^\1", lambda m: "\n" * m.group(0).count("\n"), markdown,
                   flags=re.S | re.M).splitlines()
    i = 0
    while i < len(lines):
        if not lines[i].lstrip().startswith("|"):
            i += 1
            continue
        start = i
        while i < len(lines) and lines[i].lstrip().startswith("|"):
            i += 1
        table = lines[start:i]
        if len(table) < 2 or not re.fullmatch(r"\|(\s*:?-+:?\s*\|)+", table[1].strip()):
            faults.append("%s:%d: a table without its delimiter row" % (path, start + 1))
            continue
        width = cells(table[0])
        for offset, row in enumerate(table):
            if cells(row) != width:
                faults.append("%s:%d: %d cells where the header has %d" % (path, start + offset + 1, cells(row), width))
    return faults


def reader(root, overrides=None):
    def read(rel):
        if overrides and rel in overrides:
            return overrides[rel]
        full = os.path.join(root, rel)
        if os.path.isdir(full):
            return ""
        if not os.path.isfile(full):
            return None
        with open(full, encoding="utf-8", errors="replace") as f:
            return f.read()
    return read


def markdown_files(root):
    files = ["README.md"] + sorted(os.path.relpath(p, root) for p in glob.glob(os.path.join(root, "docs", "*.md")))
    return [f for f in files if os.path.isfile(os.path.join(root, f))]


def check(root, overrides=None):
    """The faults found, one line each."""
    read = reader(root, overrides)
    faults = []
    texts, silent_calls = program_texts(root)
    for call in silent_calls:
        faults.append("no text found in the code for %s: the check no longer matches the code" % call)
    for guide in Guides:
        markdown = read(guide)
        if markdown is None:
            faults.append("%s is missing" % guide)
            continue
        for text in missing_texts(texts, markdown):
            faults.append("%s: no table row holds \"%s\" (written by %s)" % (guide, text, ", ".join(sorted(texts[text]))))
    for rel in sorted(set(markdown_files(root)) | set(overrides or {})):
        if rel.endswith(".md") and read(rel) is not None:
            faults.extend(broken_links(rel, read(rel), read))
            faults.extend(broken_tables(rel, read(rel)))
    for svg in sorted(glob.glob(os.path.join(root, "docs", "images", "*.svg"))):
        try:
            xml.dom.minidom.parse(svg)
        except Exception as error:  # any parse failure is the fault reported
            faults.append("%s: not well-formed: %s" % (os.path.relpath(svg, root), error))
    return faults


def self_test(root):
    """The check must fail for each text removed from a guide, for a broken link and for a missing image."""
    failures = []
    if check(root):
        return ["the check itself fails; fix that first"]
    texts, _ = program_texts(root)
    read = reader(root)
    for guide in Guides:
        original = read(guide)
        for text in sorted(texts):
            cut = "\n".join(line for line in original.splitlines()
                            if not (line.lstrip().startswith("|") and text in line))
            faults = check(root, {guide: cut})
            if not any('"%s"' % text in fault and fault.startswith(guide) for fault in faults):
                failures.append("%s without the rows holding \"%s\": the check did not notice" % (guide, text))
        for broken in ("[x](no-such-file.md)", "![x](images/no-such-picture.png)", "[x](guide.en.md#no-such-heading)",
                       '<img src="images/no-such.png">', "![「設定1」 [設定1]](images/no-such-picture.png)",
                       "| a | b |\n|---|---|\n| one cell too many | x | y |"):
            if not check(root, {guide: original + "\n" + broken + "\n"}):
                failures.append("%s with %s: the check did not notice" % (guide, broken))
    return failures


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    root = os.path.abspath(sys.argv[1])
    if "--self-test" in sys.argv[2:]:
        failures = self_test(root)
        for line in failures:
            print(line)
        if not failures:
            texts, _ = program_texts(root)
            print("self-test passed: %d texts, each missed when removed" % len(texts))
        return 1 if failures else 0
    faults = check(root)
    for line in faults:
        print(line)
    if not faults:
        texts, _ = program_texts(root)
        print("%d texts of the program found in both guides; links and images resolve" % len(texts))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
