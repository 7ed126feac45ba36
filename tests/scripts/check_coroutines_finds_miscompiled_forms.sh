#!/usr/bin/env bash
# The checker names each form GCC 12 miscompiles, at its line, and passes the forms suites use.
set -euo pipefail
checker="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-coroutines"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/bad.cpp" <<'CODE'
SuiteTask<> steps() {
    if (co_await sleep(1)) {}
    while (!co_await
           poll(1)) {}
    co_await poll(30, 50, [text] { return text.size(); });
    co_await poll(30, [=]() mutable { return 1; });
}
CODE
cat > "$work/good.cpp" <<'CODE'
SuiteTask<> steps() {
    const bool ok = co_await poll(30, 50, [&] { return 1; });
    co_await poll(30, [this, &list] { return list.size(); }, values[index]);
    auto check = [text] { return text.size(); };
    co_await poll(30, 50, check);
    // if (co_await sleep(1)) {}
    if (ok) { co_await sleep(1); }
}
CODE

"$checker" "$work/good.cpp"
if out=$("$checker" "$work/bad.cpp"); then
  echo "FAIL: the miscompiled forms passed" >&2; exit 1
fi
expected="$work/bad.cpp:2: co_await in a condition; await into a local first
$work/bad.cpp:3: co_await in a condition; await into a local first
$work/bad.cpp:5: lambda capturing by value inside a co_await; name it first
$work/bad.cpp:6: lambda capturing by value inside a co_await; name it first"
[ "$out" = "$expected" ] || { printf 'FAIL: got\n%s\n' "$out" >&2; exit 1; }
echo PASS
