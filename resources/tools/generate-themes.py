#!/usr/bin/env python3
"""Writes the bundled colour themes into resources/Themes from theme_table.py.

Run from anywhere:  python3 resources/tools/generate-themes.py
Then check:         python3 resources/tools/check-resources.py
The output is committed; edit the table, never the generated files.
"""

import json
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import theme_table  # noqa: E402

OUT = HERE.parent / "Themes"


def theme_json(theme):
    if len(theme["colors"]) != len(theme_table.KEYS):
        raise SystemExit(f"{theme['name']}: {len(theme['colors'])} colours for {len(theme_table.KEYS)} keys")
    body = {"name": theme["name"],
            "metadata": {"author": "Korimado", "description": theme["description"]}}
    for key, color in zip(theme_table.KEYS, theme["colors"]):
        body[key] = {"color": color}
    return body


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    for old in OUT.glob("*.cottheme"):
        old.unlink()
    for theme in theme_table.THEMES:
        path = OUT / (theme["name"] + ".cottheme")
        # Sorted keys and unescaped slashes, as the editor itself writes themes.
        path.write_text(json.dumps(theme_json(theme), indent=2, ensure_ascii=False, sort_keys=True) + "\n",
                        encoding="utf-8")
    print(f"{len(theme_table.THEMES)} themes written to {OUT}")


if __name__ == "__main__":
    main()
