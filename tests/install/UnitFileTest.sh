#!/bin/sh
# The policy daemon's unit, as installed (zivo in BUILD_DIR standing for the
# installed one), passes systemd-analyze verify; its exposure score from
# systemd-analyze security is printed. Skipped, with the reason, where
# systemd-analyze is missing or cannot run here.
#   UnitFileTest.sh SOURCE_DIR BUILD_DIR
set -eu
src=$1
build=$2
command -v systemd-analyze >/dev/null 2>&1 || { echo "SKIP: no systemd-analyze"; exit 77; }
work=$(mktemp -d /tmp/zivo-unit-XXXXXX)
trap 'rm -rf "$work"' EXIT
unit=$work/zivo-run.service
sed "s#@ZIVO_BINDIR@#$build#g" "$src/dist/zivo-run.service.in" >"$unit"
systemd-analyze --version >/dev/null 2>&1 || { echo "SKIP: systemd-analyze does not run here"; exit 77; }
if ! systemd-analyze verify --man=no "$unit" >"$work/verify.out" 2>&1; then
  cat "$work/verify.out"
  echo "FAIL: systemd-analyze verify"
  exit 1
fi
if [ -s "$work/verify.out" ]; then
  cat "$work/verify.out"
  echo "FAIL: systemd-analyze verify has remarks"
  exit 1
fi
systemd-analyze security --offline=yes "$unit" 2>/dev/null | tail -n 1 || true
echo "unit ok"
