#!/usr/bin/env python3
"""Writes the bundled syntax packages into resources/Syntaxes from syntax_table.py.

Run from anywhere:  python3 resources/tools/generate-syntaxes.py
Then check:         python3 resources/tools/check-resources.py
The output is committed; edit the table, never the generated files.
"""

import json
import pathlib
import re
import shutil
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import syntax_table  # noqa: E402

OUT = HERE.parent / "Syntaxes"
GROUP_ORDER = ["comments", "strings", "numbers", "characters", "keywords", "commands", "values",
               "types", "attributes", "variables"]


def words(text):
    return [w for w in (text or "").split(" ") if w]


def unique(items):
    seen, out = set(), []
    for item in items:
        if item not in seen:
            seen.add(item)
            out.append(item)
    return out


def word_pattern(ws):
    # Longest first, so that a word never loses to its own prefix inside the alternation.
    ws = sorted(unique(ws), key=lambda w: (-len(w), w))
    # Look-arounds rather than \b, so that words such as set! or defined? still match.
    return r"(?<![\w])(?:" + "|".join(re.escape(w) for w in ws) + r")(?![\w])"


def delimiter(spec):
    begin, end = spec[0], spec[1]
    entry = {"begin": begin, "end": end}
    if len(spec) > 2 and spec[2]:
        entry["isMultiline"] = True
    return entry


def quote_style(begin, lang):
    """How a string that begins with `begin` escapes its quote: backslash, double or none."""
    style = lang.get("escape", "backslash")
    return style.get(begin, "backslash") if isinstance(style, dict) else style


def string_expression(spec, lang):
    """An expression for a one-line string whose closing quote can be escaped, else None: a
    delimiter pair would end such a string at its first escaped quote."""
    begin, end = spec[0], spec[1]
    multiline = len(spec) > 2 and spec[2]
    style = quote_style(begin, lang)
    if multiline or style == "none" or len(end) != 1 or not begin.endswith(end):
        return None
    prefix, q = re.escape(begin[:-1]), re.escape(end)
    if style == "double":
        return prefix + q + "(?:" + q + q + "|[^" + q + r"\n])*" + q
    return prefix + q + r"(?:\\.|[^" + q + r"\\\n])*" + q


def edit_json(lang):
    comment = {}
    if lang.get("line"):
        comment["inlines"] = [{"begin": b} for b in lang["line"]]
    if lang.get("block"):
        comment["blocks"] = [{"begin": b, "end": e} for b, e in lang["block"]]
    edit = {}
    if comment:
        edit["comment"] = comment
    # Strings whose quotes can be escaped get an expression instead (see highlights_json).
    delimiters = [delimiter(s) for s in lang.get("strings", []) if not string_expression(s, lang)]
    if delimiters:
        edit["stringDelimiters"] = delimiters
    return edit


def highlights_json(lang):
    icase = bool(lang.get("icase"))
    groups = {}

    def add(group, entry):
        groups.setdefault(group, []).append(entry)

    # Case-sensitive keywords come from the completion list; others need a rule of their own.
    if icase and lang.get("keywords"):
        add("keywords", {"begin": word_pattern(words(lang["keywords"])), "regularExpression": True,
                         "ignoreCase": True})
    if lang.get("types"):
        entry = {"begin": word_pattern(words(lang["types"])), "regularExpression": True}
        if icase:
            entry["ignoreCase"] = True
        add("types", entry)
    for spec in lang.get("strings", []):
        expression = string_expression(spec, lang)
        if expression:
            add("strings", {"begin": expression, "regularExpression": True})
    for rule in lang.get("rules", []):
        group = rule[0]
        if group not in GROUP_ORDER:
            raise SystemExit(f"{lang['name']}: unknown group {group}")
        entry = {"begin": rule[1], "regularExpression": True}
        if len(rule) > 2:
            entry["end"] = rule[2]
            if len(rule) > 3 and rule[3]:
                entry["isMultiline"] = True
        add(group, entry)
    return {g: groups[g] for g in GROUP_ORDER if g in groups}


def completion_json(lang):
    out, seen = [], set()
    for kind, field in (("keywords", "keywords"), ("types", "types"), ("commands", "words")):
        for w in words(lang.get(field)):
            if w not in seen:
                seen.add(w)
                out.append({"text": w, "type": kind})
    return out


def outlines_json(lang):
    out = []
    for rule in lang.get("outline", []):
        entry = {"pattern": rule[0], "template": rule[1], "kind": rule[2]}
        if len(rule) > 3 and rule[3]:
            entry["ignoreCase"] = True
        out.append(entry)
    return out


def info_json(lang):
    file_map = {}
    for key, field in (("extensions", "ext"), ("filenames", "files"), ("interpreters", "interp")):
        if lang.get(field):
            file_map[key] = lang[field]
    return {"fileMap": file_map}


def write(path, value):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(json.dumps(value, indent=2, ensure_ascii=False) + "\n", encoding="utf-8")


def main():
    if OUT.exists():
        for old in OUT.glob("*.cotsyntax"):
            shutil.rmtree(old)
    for lang in syntax_table.LANGUAGES:
        root = OUT / (lang["name"] + ".cotsyntax")
        write(root / "Info.json", info_json(lang))
        write(root / "Edit.json", edit_json(lang))
        completion = completion_json(lang)
        if completion:
            write(root / "Completion.json", completion)
        highlights = highlights_json(lang)
        if highlights:
            write(root / "Regex" / "Highlights.json", highlights)
        outlines = outlines_json(lang)
        if outlines:
            write(root / "Regex" / "Outlines.json", outlines)
    print(f"{len(syntax_table.LANGUAGES)} packages written to {OUT}")


if __name__ == "__main__":
    main()
