#!/bin/sh
# zivo is a host like any other: it includes its own files and the exported
# headers (zivorivizo/, zivorivizo-sim/). The private headers it still
# reaches are listed below; the list only shrinks: a header that is no longer
# included must leave it, and no other private header may join it.
#   ToolIncludesTest.sh SOURCE_DIR
set -eu
src=$1
tools="$src/tools/zivo"
still_private='
Platform/Clock.h
Platform/Linux/LinuxPlatform.h
Platform/Linux/SysfsAttribute.h
Platform/Linux/SysfsThermalView.h
Platform/Linux/SysfsUnits.h
Platform/Memory/MemoryWmi.h
Sim/SimClock.h
Sim/SimPlatform.h
'
included=$(cat "$tools"/*.h "$tools"/*.cpp | sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' | sort -u)
status=0
for header in $included; do
  case $header in
    zivorivizo/* | zivorivizo-sim/*) continue ;;
  esac
  if [ -f "$tools/$header" ]; then
    continue
  fi
  if ! printf '%s\n' "$still_private" | grep -qxF "$header"; then
    echo "FAIL: tools/zivo includes the private header $header" >&2
    grep -ln "#include \"$header\"" "$tools"/*.h "$tools"/*.cpp >&2
    status=1
  fi
done
for header in $still_private; do
  if ! printf '%s\n' "$included" | grep -qxF "$header"; then
    echo "FAIL: $header is no longer included by tools/zivo: take it off the list" >&2
    status=1
  fi
done
[ $status -eq 0 ] && echo "tools/zivo includes only its own and the exported headers (and the listed ones)"
exit $status
