#!/bin/sh
# zivo is a host like any other: it includes its own files and the exported
# headers (zivorivizo/ from include/, zivorivizo-sim/ from sim/include/), and
# nothing from src/ or the simulation library's private headers.
#   ToolIncludesTest.sh SOURCE_DIR
set -eu
src=$1
tools="$src/tools/zivo"
included=$(cat "$tools"/*.h "$tools"/*.cpp | sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' | sort -u)
status=0
for header in $included; do
  case $header in
    zivorivizo/*) [ -f "$src/include/$header" ] && continue ;;
    zivorivizo-sim/*) [ -f "$src/sim/include/$header" ] && continue ;;
    */*) ;;
    *) [ -f "$tools/$header" ] && continue ;;
  esac
  echo "FAIL: tools/zivo includes $header, which is neither its own nor an exported header" >&2
  grep -ln "#include \"$header\"" "$tools"/*.h "$tools"/*.cpp >&2
  status=1
done
[ $status -eq 0 ] && echo "tools/zivo includes only its own and the exported headers"
exit $status
