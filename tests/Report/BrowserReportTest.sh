#!/bin/sh
# A report of a recorded run of the simulated handheld, opened in headless
# Chromium: it loads without console messages, holds one chart per managed
# sensor with its threshold lines, a marker for every decision and the
# summary, and its screenshot is not blank (browser_check.py). Skipped, with
# the reason, only where Chromium is missing or cannot start.
#   BrowserReportTest.sh ZIVO SOURCE_DIR
set -eu
zivo=$1
src=$2
here=$(dirname "$0")
browser=$(command -v chromium || command -v chromium-browser || true)
[ -n "$browser" ] || { echo "SKIP: no chromium"; exit 77; }
work=$(mktemp -d /tmp/zivo-browser-XXXXXX)
trap 'rm -rf "$work"' EXIT
run_browser() {
  timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-dev-shm-usage \
    --no-first-run --user-data-dir="$work/profile" --enable-logging=stderr --v=0 \
    --hide-scrollbars "$@"
}
echo '<html><body>up</body></html>' >"$work/probe.html"
if ! run_browser --dump-dom "file://$work/probe.html" 2>"$work/probe.err" | grep -q up; then
  tail -n 5 "$work/probe.err"
  echo "SKIP: chromium does not start here"
  exit 77
fi
(cd "$src" && "$zivo" run --platform sim --config docs/velmarconfig.xml --speed 100000 \
  --duration 600 --record "$work/run.jsonl" >/dev/null 2>"$work/run.err") ||
  { cat "$work/run.err"; echo "FAIL: zivo run"; exit 1; }
"$zivo" report "$work/run.jsonl" -o "$work/report.html" >/dev/null
run_browser --dump-dom "file://$work/report.html" >"$work/dom.html" 2>"$work/dom.err"
run_browser --window-size=1100,1600 --screenshot="$work/shot.png" \
  "file://$work/report.html" >/dev/null 2>"$work/shot.err"
cat "$work/dom.err" "$work/shot.err" >"$work/console.log"
python3 "$here/browser_check.py" "$work/run.jsonl" "$work/dom.html" "$work/console.log" \
  "$work/shot.png"
