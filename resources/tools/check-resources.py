#!/usr/bin/env python3
"""Checks the bundled syntax packages and themes.

Run from anywhere:  python3 resources/tools/check-resources.py [--verbose]
Needs g++ and the ICU development files (libicu-dev): every expression is compiled and run by ICU,
as the editor runs it. Exits non-zero on any error; warnings do not fail.

Syntaxes: every JSON file parses and has the keys and types the reader requires; identifiers are
unique and none repeats a built-in language; no two packages claim one extension or file name;
every expression the editor would build from a package compiles, matches in the language's sample
and stays fast on text made to provoke backtracking; every outline rule yields a title there.
Themes: the file format's rules (name, the 17 colour keys, colour notation, Boolean flags) and
readability: text, and every syntax colour, against the background and text against the selection
reach a contrast of 4.5:1 (WCAG relative luminance); strings and numbers differ by a colour difference
of at least 20 (CIE76).
"""

import json
import pathlib
import subprocess
import sys
import tempfile
import unicodedata

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import syntax_table  # noqa: E402

RESOURCES = HERE.parent
SYNTAXES = RESOURCES / "Syntaxes"
THEMES = RESOURCES / "Themes"

BUILT_IN_IDS = ["plain", "swift", "javascript", "typescript", "python", "json", "markdown", "html", "css",
                "shell", "c", "sql"]
BUILT_IN_CLAIMS = {
    "plain": ["txt"], "swift": ["swift"], "javascript": ["js", "jsx", "mjs", "cjs"],
    "typescript": ["ts", "tsx", "mts", "cts"], "python": ["py", "pyw"], "json": ["json", "jsonl", "geojson"],
    "markdown": ["md", "markdown", "mdown", "mkd", "README", "CHANGELOG"],
    "html": ["html", "htm", "xhtml", "shtml"], "css": ["css", "scss", "sass", "less"],
    "shell": ["sh", "bash", "zsh", "fish", "Makefile", ".zshrc", ".bashrc"],
    "c": ["c", "h", "cc", "cpp", "cxx", "hpp", "m", "mm"], "sql": ["sql", "ddl", "dml"],
}
FIXED_IDS = {"plain text": "plain", "swift": "swift", "javascript": "javascript", "typescript": "typescript",
             "python": "python", "json": "json", "markdown": "markdown", "html": "html", "css": "css",
             "shell script": "shell", "c": "c", "c++": "c-plus-plus", "c#": "c-sharp", "sql": "sql"}
GROUPS = {"comments", "strings", "numbers", "characters", "keywords", "commands", "values", "types",
          "attributes", "variables"}
GENERIC_STRING = r"\"(?:\\.|[^\"\\\n])*\"|'(?:\\.|[^'\\\n])*'"
NUMBER = r"\b(?:0[xX][0-9A-Fa-f]+|0[bB][01]+|\d+(?:\.\d+)?(?:[eE][+-]?\d+)?)\b"
CASE_INSENSITIVE, MULTILINE, DOTALL = 2, 8, 32
STRESS_LIMIT_US = 400_000
MINIMUM_DIFFERENCE = 20  # CIE76 colour difference

REQUIRED_COLOR_KEYS = ["background", "text", "selection", "insertionPoint", "invisibles", "lineHighlight",
                       "highlight", "attributes", "characters", "commands", "comments", "keywords", "numbers",
                       "strings", "types", "values", "variables"]
SYNTAX_KEYS = REQUIRED_COLOR_KEYS[7:]

errors, warnings = [], []


def error(message):
    errors.append(message)


def warn(message):
    warnings.append(message)


def esc(text):
    # The metacharacters a literal delimiter must have escaped.
    return "".join("\\" + c if c in "*?+[(){}^$|\\./" else c for c in text)


def identifier(name):
    lowered = name.lower()
    if lowered in FIXED_IDS:
        return FIXED_IDS[lowered]
    mapped = "".join(c if unicodedata.category(c)[0] in "LMN" else "-" for c in lowered)
    return "-".join(p for p in mapped.split("-") if p)


def load_json(path, what):
    try:
        return json.loads(path.read_text(encoding="utf-8"))
    except (OSError, ValueError) as exc:
        error(f"{path}: {what} does not parse: {exc}")
        return None


def is_str_list(value):
    return isinstance(value, list) and all(isinstance(v, str) for v in value)


def opt_bool(obj, key, where):
    if key in obj and obj[key] is not None and not isinstance(obj[key], bool):
        error(f"{where}: {key} is not a Boolean")
        return False
    return bool(obj.get(key))


def check_delimiters(items, where):
    if items is None:
        return []
    if not isinstance(items, list):
        error(f"{where}: not a list")
        return []
    out = []
    for item in items:
        if not isinstance(item, dict) or not isinstance(item.get("begin"), str) or not item["begin"]:
            error(f"{where}: a delimiter without begin")
            continue
        if "end" in item and item["end"] is not None and not isinstance(item["end"], str):
            error(f"{where}: end is not a string")
        opt_bool(item, "isMultiline", where)
        opt_bool(item, "ignoreCase", where)
        out.append(item)
    return out


def read_package(folder):
    """Returns (language dict, expressions) built the way the editor's reader builds them."""
    name = folder.name[: -len(".cotsyntax")]
    info = load_json(folder / "Info.json", "Info.json")
    if not isinstance(info, dict):
        error(f"{folder}: Info.json is not an object")
        return None
    file_map = info.get("fileMap") or {}
    for key in ("extensions", "filenames", "interpreters"):
        if key in file_map and not is_str_list(file_map[key]):
            error(f"{folder}: fileMap.{key} is not a list of strings")
    lang = {"name": name, "id": identifier(name),
            "ext": [e.lower() for e in file_map.get("extensions", [])],
            "files": list(file_map.get("filenames", [])),
            "keywords": [], "completions": [], "rules": [], "outlines": []}

    edit_path = folder / "Edit.json"
    edit = load_json(edit_path, "Edit.json") if edit_path.exists() else {}
    edit = edit if isinstance(edit, dict) else {}
    comment = edit.get("comment") or {}
    inlines = check_delimiters(comment.get("inlines"), f"{folder}: comment.inlines")
    blocks = check_delimiters(comment.get("blocks"), f"{folder}: comment.blocks")
    strings = check_delimiters(edit.get("stringDelimiters"), f"{folder}: stringDelimiters")
    lang["line"] = inlines[0]["begin"] if inlines else None
    lang["block"] = (blocks[0]["begin"], blocks[0]["end"]) if blocks and blocks[0].get("end") else None

    completion_path = folder / "Completion.json"
    if completion_path.exists():
        completion = load_json(completion_path, "Completion.json")
        if not isinstance(completion, list) or not all(isinstance(c, dict) and isinstance(c.get("text"), str)
                                                       for c in completion):
            error(f"{folder}: Completion.json is not a list of objects with text")
        else:
            lang["completions"] = [c["text"] for c in completion]
            lang["keywords"] = [c["text"] for c in completion if c.get("type") == "keywords"]

    rules = lang["rules"]
    for item in inlines:
        rules.append(("comments(inline)", esc(item["begin"]) + ".*$", bool(item.get("ignoreCase")), False))
    for item in blocks:
        if item.get("end"):
            rules.append(("comments(block)", "(?:" + esc(item["begin"]) + ")(?s:.*?)(?:" + esc(item["end"]) + ")",
                          bool(item.get("ignoreCase")), True))
    for item in strings:
        if item.get("end"):
            middle = "(?s:.*?)" if item.get("isMultiline") else r"[^\r\n]*?"
            rules.append(("strings(delimiter)", "(?:" + esc(item["begin"]) + ")" + middle + "(?:" + esc(item["end"]) + ")",
                          bool(item.get("ignoreCase")), bool(item.get("isMultiline"))))

    highlight_path = folder / "Regex" / "Highlights.json"
    if highlight_path.exists():
        highlights = load_json(highlight_path, "Highlights.json")
        if not isinstance(highlights, dict):
            error(f"{folder}: Highlights.json is not an object")
            highlights = {}
        for group, entries in highlights.items():
            if group not in GROUPS:
                warn(f"{folder}: highlight group {group} is ignored by the editor")
                continue
            if not isinstance(entries, list):
                error(f"{folder}: highlight group {group} is not a list")
                continue
            for entry in entries:
                where = f"{folder}: {group}"
                if not isinstance(entry, dict) or not isinstance(entry.get("begin"), str) or not entry["begin"]:
                    error(f"{where}: an entry without begin")
                    continue
                regex = opt_bool(entry, "regularExpression", where)
                multiline = opt_bool(entry, "isMultiline", where)
                icase = opt_bool(entry, "ignoreCase", where)
                begin = entry["begin"] if regex else esc(entry["begin"])
                if isinstance(entry.get("end"), str):
                    end = entry["end"] if regex else esc(entry["end"])
                    middle = "(?s:.*?)" if multiline else r"[^\r\n]*?"
                    pattern = "(?:" + begin + ")" + middle + "(?:" + end + ")"
                else:
                    pattern = begin
                rules.append((group, pattern, icase, multiline))

    outline_path = folder / "Regex" / "Outlines.json"
    if outline_path.exists():
        outlines = load_json(outline_path, "Outlines.json")
        if not isinstance(outlines, list):
            error(f"{folder}: Outlines.json is not a list")
            outlines = []
        for entry in outlines:
            if not isinstance(entry, dict) or not isinstance(entry.get("pattern"), str) \
                    or not isinstance(entry.get("template"), str):
                error(f"{folder}: an outline entry without pattern or template")
                continue
            icase = opt_bool(entry, "ignoreCase", f"{folder}: outline")
            lang["outlines"].append((entry["pattern"], entry["template"], icase))
    return lang


def run_icu(records):
    """records: list of (flags, sample path, pattern). Returns the checker's answer for each."""
    with tempfile.TemporaryDirectory() as tmp:
        binary = pathlib.Path(tmp) / "icu-regex-check"
        subprocess.run(["g++", "-std=c++20", "-O2", str(HERE / "icu-regex-check.cpp"), "-o", str(binary),
                        "-licui18n", "-licuuc"], check=True)
        for flags, _, pattern in records:
            if "\n" in pattern:
                raise SystemExit(f"a pattern holds a line break: {pattern!r}")
        feed = "".join(f"{flags}\t{sample}\t{pattern}\n" for flags, sample, pattern in records)
        result = subprocess.run([str(binary)], input=feed, capture_output=True, text=True, check=True)
    answers = result.stdout.split("\n")[: len(records)]
    if len(answers) != len(records):
        raise SystemExit("the ICU checker stopped early")
    return answers


def expand(template, groups):
    out, i = [], 0
    while i < len(template):
        c = template[i]
        if c == "\\" and i + 1 < len(template):
            out.append(template[i + 1])
            i += 2
        elif c == "$" and i + 1 < len(template) and template[i + 1].isdigit():
            n = int(template[i + 1])
            value = groups[n - 1] if 0 < n <= len(groups) else ""
            out.append("" if value == "\x1e" else value)
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out).strip()


def check_syntaxes(verbose):
    samples = {lang["name"]: lang.get("sample", "") for lang in syntax_table.LANGUAGES}
    folders = sorted(p for p in SYNTAXES.iterdir() if p.suffix == ".cotsyntax")
    table_names = {lang["name"] for lang in syntax_table.LANGUAGES}
    if {f.name[:-10] for f in folders} != table_names:
        error("resources/Syntaxes differs from the table: run generate-syntaxes.py")
    langs = [lang for lang in (read_package(f) for f in folders) if lang]

    ids = {}
    for lang in langs:
        if not lang["id"]:
            error(f"{lang['name']}: empty identifier")
        if lang["id"] in BUILT_IN_IDS:
            error(f"{lang['name']}: identifier {lang['id']} is a built-in language's")
        if lang["id"] in ids:
            error(f"{lang['name']}: identifier {lang['id']} also used by {ids[lang['id']]}")
        ids[lang["id"]] = lang["name"]
        if not lang["ext"] and not lang["files"]:
            warn(f"{lang['name']}: no extension or file name, chosen from the menu only")
    total = len(BUILT_IN_IDS) + len(ids)
    if total <= 69:
        error(f"the catalog would hold {total} languages; more than 69 are wanted")

    claims = {}
    for lang in langs:
        for claim in lang["ext"] + lang["files"]:
            if claim in claims:
                error(f"{claim} is claimed by {claims[claim]} and {lang['name']}")
            claims[claim] = lang["name"]
    if verbose:
        for built_in, names in BUILT_IN_CLAIMS.items():
            for claim in names:
                if claim in claims:
                    print(f"note: {claim} moves from the built-in {built_in} to {claims[claim]}")

    records, meta = [], []
    with tempfile.TemporaryDirectory() as tmp:
        for lang in langs:
            sample = samples.get(lang["name"], "")
            if not sample:
                warn(f"{lang['name']}: no sample in the table")
            sample_path = pathlib.Path(tmp) / (lang["id"] + ".txt")
            sample_path.write_text(sample, encoding="utf-8")
            for group, pattern, icase, multiline in lang["rules"]:
                text = "(?i:" + pattern + ")" if icase else pattern
                records.append((MULTILINE | (DOTALL if multiline else 0), sample_path, text))
                meta.append((lang["name"], "rule " + group, pattern, None))
            built_ins = []
            if lang["block"]:
                built_ins.append("(?s)" + esc(lang["block"][0]) + ".*?" + esc(lang["block"][1]))
            if lang["line"]:
                built_ins.append("(?m)" + esc(lang["line"]) + ".*$")
            if not any(group.startswith("strings") for group, _, _, _ in lang["rules"]):
                built_ins.append(GENERIC_STRING)
            built_ins.append(NUMBER)
            if lang["keywords"]:
                built_ins.append(r"\b(?:" + "|".join(esc(k) for k in lang["keywords"]) + r")\b")
            for pattern in built_ins:
                records.append((0, sample_path, pattern))
                meta.append((lang["name"], "built-in", pattern, None))
            for pattern, template, icase in lang["outlines"]:
                records.append((MULTILINE | (CASE_INSENSITIVE if icase else 0), sample_path, pattern))
                meta.append((lang["name"], "outline", pattern, template))
        answers = run_icu(records)

    slowest = []
    for (name, what, pattern, template), answer in zip(meta, answers):
        parts = answer.split(" ", 3)
        if parts[0] != "ok":
            error(f"{name}: {what} {pattern!r}: {answer}")
            continue
        matches, micros = int(parts[1]), int(parts[2])
        slowest.append((micros, name, pattern))
        if micros > STRESS_LIMIT_US:
            error(f"{name}: {what} {pattern!r} takes {micros / 1000:.0f} ms on the stress text")
        if what == "built-in":
            continue
        quoted = len(pattern) > 2 and pattern == pattern[0] + r"(?:\\.|[^" + pattern[0] + r"\\\n])*" + pattern[0]
        if matches == 0 and (("(" not in what and not quoted) or verbose):
            # Rules derived from comment and string delimiters (or from quotes a backslash escapes)
            # need not all appear in the sample.
            warn(f"{name}: {what} {pattern!r} matches nothing in the sample")
        elif template is not None:
            groups = parts[3].split("\x1f") if len(parts) > 3 else []
            if not expand(template, groups):
                error(f"{name}: outline {pattern!r} gives an empty title on the sample")
            elif verbose:
                print(f"{name}: outline title {expand(template, groups)!r}")
    if verbose:
        for micros, name, pattern in sorted(slowest, reverse=True)[:5]:
            print(f"slowest: {micros / 1000:.1f} ms {name} {pattern[:70]!r}")
    print(f"syntaxes: {len(langs)} packages, {len(records)} expressions, catalog of {total} languages")


def luminance(hex_color):
    value = hex_color.lstrip("#")
    channels = [int(value[i:i + 2], 16) / 255 for i in (0, 2, 4)]
    linear = [c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4 for c in channels]
    return 0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2]


def blend(fg, bg):
    # A colour with alpha, painted over the background.
    fg, bg = fg.lstrip("#"), bg.lstrip("#")
    if len(fg) != 8:
        return "#" + fg[:6]
    alpha = int(fg[6:8], 16) / 255
    mixed = [round(int(fg[i:i + 2], 16) * alpha + int(bg[i:i + 2], 16) * (1 - alpha)) for i in (0, 2, 4)]
    return "#" + "".join(f"{c:02x}" for c in mixed)


def contrast(a, b):
    la, lb = sorted((luminance(a), luminance(b)), reverse=True)
    return (la + 0.05) / (lb + 0.05)


def lab(hex_color):
    """CIE L*a*b* (D65) of an sRGB colour."""
    value = hex_color.lstrip("#")
    channels = [int(value[i:i + 2], 16) / 255 for i in (0, 2, 4)]
    r, g, b = [c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4 for c in channels]
    xyz = ((0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047, 0.2126 * r + 0.7152 * g + 0.0722 * b,
           (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883)
    f = [v ** (1 / 3) if v > 0.008856 else 7.787 * v + 16 / 116 for v in xyz]
    return 116 * f[1] - 16, 500 * (f[0] - f[1]), 200 * (f[1] - f[2])


def difference(a, b):
    return sum((x - y) ** 2 for x, y in zip(lab(a), lab(b))) ** 0.5


def valid_color(text):
    return isinstance(text, str) and text.startswith("#") and len(text) in (7, 9) \
        and all(c in "0123456789abcdefABCDEF" for c in text[1:])


def check_themes(verbose):
    files = sorted(p for p in THEMES.iterdir() if p.suffix.lower() == ".cottheme" and not p.name.startswith("."))
    names, dark = set(), 0
    for path in files:
        theme = load_json(path, "theme")
        if not isinstance(theme, dict):
            error(f"{path}: not a JSON object")
            continue
        name = theme.get("name") if isinstance(theme.get("name"), str) else path.stem
        name = name.strip()
        if not name or name in (".", "..") or len(name) > 200 or "/" in name or ":" in name \
                or any(unicodedata.category(c) in ("Cc", "Cf") for c in name):
            error(f"{path}: the name {name!r} is refused")
        if name != path.stem:
            warn(f"{path}: file name and theme name {name!r} differ")
        if name in names:
            error(f"{path}: a second theme named {name!r}")
        names.add(name)
        if "metadata" in theme and not isinstance(theme["metadata"], dict):
            error(f"{path}: metadata is not an object")
        colors = {}
        for key, value in theme.items():
            if key in ("name", "metadata") or not isinstance(value, dict) or "color" not in value:
                continue
            if not valid_color(value["color"]):
                error(f"{path}: {key} has the colour {value['color']!r}")
                continue
            if "usesSystemSetting" in value and not isinstance(value["usesSystemSetting"], bool):
                error(f"{path}: {key}.usesSystemSetting is not a Boolean")
            colors[key] = value["color"]
        missing = [k for k in REQUIRED_COLOR_KEYS if k not in colors]
        if missing:
            error(f"{path}: missing {missing}")
            continue
        background = colors["background"][:7]
        if luminance(background) < 0.2:
            dark += 1
        pairs = [("text", colors["text"])] + [(k, colors[k]) for k in SYNTAX_KEYS]
        for key, color in pairs:
            ratio = contrast(blend(color, background), background)
            if ratio < 4.5:
                error(f"{name}: {key} {color} on background {background} has contrast {ratio:.2f}")
        selection = blend(colors["selection"], background)
        ratio = contrast(colors["text"][:7], selection)
        if ratio < 4.5:
            error(f"{name}: text on selection {selection} has contrast {ratio:.2f}")
        # Strings and numbers stand side by side in most code: they must not look alike.
        apart = difference(blend(colors["strings"], background), blend(colors["numbers"], background))
        if apart < MINIMUM_DIFFERENCE:
            error(f"{name}: strings and numbers differ by only {apart:.1f}")
        caret = contrast(colors["insertionPoint"][:7], background)
        if caret < 3:
            error(f"{name}: the caret has contrast {caret:.2f}")
        if verbose:
            low = min(contrast(blend(c, background), background) for _, c in pairs)
            print(f"{name}: text {contrast(colors['text'][:7], background):.1f}, lowest syntax {low:.1f}, "
                  f"text on selection {ratio:.1f}")
    for wanted in ("Classic", "Classic (Dark)"):
        if wanted not in names:
            error(f"no theme named {wanted!r}")
    if len(names) < 14:
        error(f"{len(names)} themes; at least 14 are wanted")
    if dark == 0 or dark == len(names):
        error("the themes should include light and dark ones")
    print(f"themes: {len(names)} ({dark} dark)")


def main():
    verbose = "--verbose" in sys.argv
    check_syntaxes(verbose)
    check_themes(verbose)
    for message in warnings:
        print("warning:", message)
    for message in errors:
        print("error:", message)
    print(f"{len(errors)} errors, {len(warnings)} warnings")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
