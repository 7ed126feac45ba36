#!/usr/bin/env python3
"""The integration self-test with an input method present: its native Japanese input phase types
romaji through the X server into fcitx5 and mozc, and its report on disk says both of the phase's
checks passed."""
import json
import os
import shutil

import desktop
import ime

ime.require("selftest_native_input")
NATIVE = ("native Japanese IME converts and commits", "OS keyboard event Command-Z restores source")


@desktop.road("selftest_native_input", limit=220, user=ime.session_user("selftest_native_input"))
def walk(s):
    source = os.environ.get("KORIMADO_SOURCE_DIR")
    if not source or not os.path.isdir(os.path.join(source, "tests", "fixtures")):
        raise desktop.RoadSkipped("KORIMADO_SOURCE_DIR does not name the source tree with tests/fixtures")
    ime.start(s)
    work = s.path("work")
    shutil.copytree(os.path.join(source, "tests", "fixtures"), os.path.join(work, "tests", "fixtures"))
    shutil.copytree(os.path.join(source, "docs", "evidence"), os.path.join(work, "docs", "evidence"))
    os.makedirs(os.path.join(work, "tests", "outputs"))
    if s.user:
        for folder, names, files in os.walk(work):
            for name in [folder] + [os.path.join(folder, n) for n in names + files]:
                os.chown(name, *s.user)
    suite = s.start("--ui-self-test", "--integration-only", "--exit-after-tests", cwd=work, log="suite.log")
    s.wait_window(r"integration\.swift", what="the suite's editor window")
    s.shot("suite-running")
    status = suite.wait_end(180)
    with open(suite.log.name, "rb") as f:
        output = f.read().decode(errors="replace")
    if status is None:
        raise desktop.RoadFailed("the integration suite did not end in 180 s")
    if "Native keyboard injection unavailable" in output or "Native Japanese input skipped" in output:
        raise desktop.RoadFailed("the native input phase skipped though fcitx5 and mozc run on the display")
    try:
        with open(os.path.join(work, "docs", "evidence", "integration-tests.json"), "rb") as f:
            checks = {c["test"]: c["passed"] for c in json.load(f)["checks"]}
    except (OSError, ValueError, KeyError) as error:
        raise desktop.RoadFailed(f"no readable report: {error}")
    failed = [name for name in NATIVE if checks.get(name) is not True]
    if failed:
        lines = [line for line in output.splitlines() if "Native IME" in line or "native" in line.lower()]
        raise desktop.RoadFailed(f"native input checks not passed: {failed}; {lines}")
    print(next((line for line in output.splitlines() if line.startswith("Native IME result: ")), ""))
