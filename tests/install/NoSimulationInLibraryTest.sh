#!/bin/sh
# The shipped library holds no simulation code: no simulated stand-in, fault
# decorator or handheld among its symbols, in the dynamic table or not.
#   NoSimulationInLibraryTest.sh LIBRARY
set -eu
lib=$1
pattern='CSim[A-Z]|CFaulty|CFaultPlan|FaultOp|SimFault|Handheld|SimTimeline'
for table in -D ""; do
  found=$(nm -C $table "$lib" | grep -E "$pattern" || true)
  if [ -n "$found" ]; then
    echo "FAIL: simulation code in $lib (nm $table):" >&2
    echo "$found" | head -n 20 >&2
    exit 1
  fi
done
nm -D "$lib" | grep -q CreateLinuxPlatform || { echo "FAIL: $lib exports nothing" >&2; exit 1; }
echo "no simulation code in $lib"
