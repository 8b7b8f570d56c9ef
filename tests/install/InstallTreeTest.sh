#!/bin/sh
# Installs the built tree into a temporary prefix chosen now, at install time
# (the build was configured for another), checks what lands there (the
# library with its soname, headers, zivo, the example policy with its DTD,
# the CMake package and the pkg-config files, the simulation library with its
# own, the unit, the man page, the bash completion) and that everything that
# names a place points into that prefix; builds both example hosts against
# it, with find_package and with pkg-config, and runs them: the Linux host on
# a fake sysfs tree, first as a dry run, then with --apply, which must move
# the cooling device one step; and the simulated host, whose one shutdown
# only the recording power sees. The installed zivo runs its demo on the
# installed example policy, and the example still passes its check once
# copied elsewhere, as to /etc/zivo/.
#   InstallTreeTest.sh SOURCE_DIR BUILD_DIR
set -eu
src=$1
build=$2
work=$(mktemp -d /tmp/zivo-install-XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || fail "cmake --install"
for f in lib/libzivorivizo.so lib/libzivorivizo.so.1 include/zivorivizo/zivorivizo.h bin/zivo \
    share/zivorivizo/examples/velmarconfig.xml share/zivorivizo/examples/velmarconfig.dtd \
    lib/cmake/zivorivizo/zivorivizoConfig.cmake lib/pkgconfig/zivorivizo.pc \
    share/man/man1/zivo.1 lib/systemd/system/zivo-run.service \
    lib/libzivorivizo-sim.so.1 include/zivorivizo-sim/SimHandheldPlatform.h \
    lib/pkgconfig/zivorivizo-sim.pc lib/cmake/zivorivizo/zivorivizoSimTargets.cmake \
    share/bash-completion/completions/zivo; do
  [ -e "$prefix/$f" ] || [ -e "$prefix/$(echo "$f" | sed 's#^lib/#lib/x86_64-linux-gnu/#')" ] ||
    fail "$f is not installed"
done
libdir=$(dirname "$(find "$prefix" -name 'libzivorivizo.so.1' | head -n 1)")
soname=$(objdump -p "$libdir/libzivorivizo.so.1" | awk '/SONAME/ {print $2}')
[ "$soname" = "libzivorivizo.so.1" ] || fail "soname is '$soname'"
PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs zivorivizo | grep -q -- -lzivorivizo ||
  fail "pkg-config does not give -lzivorivizo"

PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --libs zivorivizo-sim | grep -q -- -lzivorivizo-sim ||
  fail "pkg-config does not give -lzivorivizo-sim"

# Everything that names a place names this prefix.
unit=$prefix/lib/systemd/system/zivo-run.service
for line in "ExecStart=$prefix/bin/zivo run" "ExecStartPre=$prefix/bin/zivo config check" \
    "ExecStopPost=$prefix/bin/zivo restore"; do
  grep -q "^$line" "$unit" || fail "the unit has no '$line'"
done
[ "$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --variable=includedir zivorivizo)" -ef \
  "$prefix/include" ] || fail "pkg-config's includedir is not under the prefix"
if grep -rq /usr/local "$libdir/pkgconfig" "$libdir/cmake" "$unit"; then
  fail "an installed file still names /usr/local"
fi

# pkg-config: both example hosts built by hand, as a Makefile would.
pc="env PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config"
# shellcheck disable=SC2046
c++ -std=c++20 -o "$work/pc-host" "$src/examples/host/main.cpp" $($pc --cflags --libs zivorivizo) \
  >"$work/pc-build.log" 2>&1 || { cat "$work/pc-build.log"; fail "pkg-config host build"; }
# shellcheck disable=SC2046
c++ -std=c++20 -o "$work/pc-sim-host" "$src/examples/host/sim_host.cpp" \
  $($pc --cflags --libs zivorivizo-sim zivorivizo) >"$work/pc-sim-build.log" 2>&1 ||
  { cat "$work/pc-sim-build.log"; fail "pkg-config sim host build"; }
LD_LIBRARY_PATH=$libdir "$work/pc-sim-host" >"$work/pc-sim.out" 2>&1 ||
  { cat "$work/pc-sim.out"; fail "pkg-config sim host run"; }

# The installed zivo: it finds the installed shared libraries by itself, its
# demo finds the installed example policy, and the example validates against
# its DTD from another folder too.
(cd "$work" && env -u LD_LIBRARY_PATH "$prefix/bin/zivo" demo >"$work/demo.out" 2>&1) ||
  { tail -20 "$work/demo.out"; fail "installed zivo demo"; }
grep -q "share/zivorivizo/examples/velmarconfig.xml" "$work/demo.out" ||
  { head -20 "$work/demo.out"; fail "the demo did not use the installed example"; }
mkdir -p "$work/etc-zivo"
cp "$prefix/share/zivorivizo/examples/velmarconfig.xml" "$work/etc-zivo/"
LD_LIBRARY_PATH=$libdir "$prefix/bin/zivo" config check "$work/etc-zivo/velmarconfig.xml" --strict \
  >"$work/check.out" 2>&1 || { cat "$work/check.out"; fail "the copied example does not check"; }

cmake -S "$src/examples/host" -B "$work/host" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  >"$work/host-configure.log" 2>&1 || { cat "$work/host-configure.log"; fail "find_package"; }
cmake --build "$work/host" >"$work/host-build.log" 2>&1 || { cat "$work/host-build.log"; fail "build"; }

# A zone at 80 °C linked to a fan with four states, laid out as the kernel
# lays out the thermal class.
root=$work/sysfs
dev=$root/devices/virtual/thermal
mkdir -p "$root/class/thermal" "$dev/thermal_zone0" "$dev/cooling_device0"
printf 'acpitz\n' >"$dev/thermal_zone0/type"
printf '80000\n' >"$dev/thermal_zone0/temp"
printf 'enabled\n' >"$dev/thermal_zone0/mode"
printf 'Fan\n' >"$dev/cooling_device0/type"
printf '4\n' >"$dev/cooling_device0/max_state"
printf '0\n' >"$dev/cooling_device0/cur_state"
ln -s ../cooling_device0 "$dev/thermal_zone0/cdev0"
printf '0\n' >"$dev/thermal_zone0/cdev0_trip_point"
ln -s ../../devices/virtual/thermal/thermal_zone0 "$root/class/thermal/thermal_zone0"
ln -s ../../devices/virtual/thermal/cooling_device0 "$root/class/thermal/cooling_device0"
cat >"$work/policy.xml" <<POLICY
<?xml version="1.0" encoding="UTF-8"?>
<VelmarConfig>
  <Platform><Shutdown option="shutdown" timer="30"/><Throttling preference="Active"/></Platform>
  <Devices>
    <Device Path="cooling_device0" class="9">
      <Throttle limit="3" step="1" priority="0"/><DUsage enable="1" shutdown="0"/>
    </Device>
  </Devices>
  <Sensors>
    <Sensor Path="$root/class/thermal/thermal_zone0" class="2">
      <Temperature shutdown="95" ThrottleStart="70"/><SUsage enable="1" aux_interval="2"/>
    </Sensor>
  </Sensors>
</VelmarConfig>
POLICY

host=$work/host/zivo-example-host
"$host" "$root" "$work/policy.xml" >"$work/dry.out" 2>&1 || { cat "$work/dry.out"; fail "dry run"; }
grep -q "would throttle .*cooling_device0: 0 -> 1" "$work/dry.out" || { cat "$work/dry.out"; fail "no step planned"; }
grep -q "thermal_zone0 (type acpitz), mode enabled" "$work/dry.out" ||
  { cat "$work/dry.out"; fail "no sysfs folder shown for the zone"; }
[ "$(cat "$dev/cooling_device0/cur_state")" = 0 ] || fail "the dry run wrote cur_state"
"$host" "$root" "$work/policy.xml" --apply >"$work/apply.out" 2>&1 || { cat "$work/apply.out"; fail "apply"; }
[ "$(cat "$dev/cooling_device0/cur_state")" = 1 ] || { cat "$work/apply.out"; fail "cur_state is not 1"; }
# The same host built with pkg-config takes the next step.
LD_LIBRARY_PATH=$libdir "$work/pc-host" "$root" "$work/policy.xml" --apply >"$work/pc-apply.out" 2>&1 ||
  { cat "$work/pc-apply.out"; fail "pkg-config host apply"; }
[ "$(cat "$dev/cooling_device0/cur_state")" = 2 ] || { cat "$work/pc-apply.out"; fail "cur_state is not 2"; }
# A host's own test on the simulated handheld: participants without hardware,
# and a shutdown that only the recording power sees.
"$work/host/zivo-example-sim-host" >"$work/sim.out" 2>&1 || { cat "$work/sim.out"; fail "sim host"; }
grep -q "shutdowns recorded: 1" "$work/sim.out" || { cat "$work/sim.out"; fail "no recorded shutdown"; }
echo "install tree ok"
