#!/bin/sh
# The metrics textfile of a run of the simulated handheld (decisions, the
# library's shutdown request) passes promtool check metrics, the lint of
# Prometheus. Skipped, with the reason, where promtool is missing.
#   MetricsPromtoolTest.sh ZIVO SOURCE_DIR
set -eu
zivo=$1
src=$2
command -v promtool >/dev/null 2>&1 || { echo "SKIP: no promtool"; exit 77; }
work=$(mktemp -d /tmp/zivo-metrics-XXXXXX)
trap 'rm -rf "$work"' EXIT
(cd "$src" && "$zivo" run --platform sim --config docs/velmarconfig.xml --speed 100000 \
  --duration 600 --metrics-textfile "$work/zivo.prom" >/dev/null 2>"$work/run.err") ||
  { cat "$work/run.err"; echo "FAIL: zivo run"; exit 1; }
for metric in zivo_sensor_temperature_celsius zivo_sensor_threshold_celsius zivo_device_state \
  zivo_device_max_state zivo_decisions_total zivo_dry_run zivo_build_info; do
  grep -q "^$metric" "$work/zivo.prom" || { echo "FAIL: no $metric"; cat "$work/zivo.prom"; exit 1; }
done
if ! promtool check metrics <"$work/zivo.prom" >"$work/check.out" 2>&1; then
  cat "$work/check.out"
  echo "FAIL: promtool check metrics"
  exit 1
fi
if [ -s "$work/check.out" ]; then
  cat "$work/check.out"
  echo "FAIL: promtool check metrics has remarks"
  exit 1
fi
ls "$work" | grep -v -e '^zivo.prom$' -e '^run.err$' -e '^check.out$' && { echo "FAIL: a temporary file was left"; exit 1; }
echo "metrics ok"
