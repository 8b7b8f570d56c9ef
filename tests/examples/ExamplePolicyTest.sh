#!/bin/sh
# Checks an example policy against a fake sysfs tree of the machine it is
# written for: zivo config check --against linux --naming stable --strict must
# pass (every record matches a participant, something is controlled, no
# warning). Usage: ExamplePolicyTest.sh ZIVO SOURCE_DIR MACHINE
set -eu
zivo=$1
source=$2
machine=$3
root=$(mktemp -d /tmp/zv-example-XXXXXX)
trap 'rm -rf "$root"' EXIT

dev=$root/devices/virtual/thermal
mkdir -p "$root/class/thermal" "$dev"
put() { printf '%s\n' "$2" >"$1"; }

# zone N TYPE MILLICELSIUS: a zone left to user space, no trips.
zone() {
  d=$dev/thermal_zone$1
  mkdir -p "$d"
  put "$d/type" "$2"
  put "$d/temp" "$3"
  put "$d/policy" user_space
  put "$d/mode" enabled
  ln -s "../../devices/virtual/thermal/thermal_zone$1" "$root/class/thermal/thermal_zone$1"
}
# cooling N TYPE MAX: a cooling device at state 0.
cooling() {
  d=$dev/cooling_device$1
  mkdir -p "$d"
  put "$d/type" "$2"
  put "$d/max_state" "$3"
  put "$d/cur_state" 0
  ln -s "../../devices/virtual/thermal/cooling_device$1" "$root/class/thermal/cooling_device$1"
}
# bind ZONE K COOLING: the zone's cdevK link and its files.
bind() {
  ln -s "../cooling_device$3" "$dev/thermal_zone$1/cdev$2"
  put "$dev/thermal_zone$1/cdev$2_trip_point" 0
  put "$dev/thermal_zone$1/cdev$2_weight" 0
}

# chip N NAME BUSDEVICE PWM...: hwmonN of a chip on devices/BUSDEVICE, each
# pwmK in its own mode (5) at 100, with its tachometer.
chip() {
  c=$root/devices/$3/hwmon/hwmon$1
  mkdir -p "$c" "$root/class/hwmon"
  ln -s "$root/devices/$3" "$c/device"
  case $3 in platform/*) bus=platform ;; *) bus=pci ;; esac
  mkdir -p "$root/bus/$bus"
  ln -sfn "$root/bus/$bus" "$root/devices/$3/subsystem"
  ln -s "$c" "$root/class/hwmon/hwmon$1"
  put "$c/name" "$2"
  shift 3
  for k in "$@"; do
    put "$c/pwm$k" 100
    put "$c/pwm${k}_enable" 5
    put "$c/pwm${k}_mode" 1
    put "$c/fan${k}_input" 900
  done
}

# temp CHIPN K LABEL MILLICELSIUS: tempK_input with its label on hwmonCHIPN.
temp() {
  c=$root/class/hwmon/hwmon$1
  put "$c/temp$2_input" "$4"
  put "$c/temp$2_label" "$3"
}

case $machine in
single-board-computer)
  zone 0 cpu-thermal 48000
  cooling 0 pwm-fan 4
  bind 0 0 0
  ;;
intel-laptop)
  zone 0 acpitz 42000
  zone 1 x86_pkg_temp 51000
  cooling 0 Fan 1
  cooling 1 Processor 3
  bind 0 0 0
  bind 1 0 1
  ;;
amd-desktop)
  chip 1 k10temp pci0000:00/0000:00:18.3
  temp 1 1 Tctl 45250
  chip 3 nct6798 platform/nct6775.656 1 2 3
  ;;
fanless)
  cooling 0 Processor 3
  chip 0 coretemp platform/coretemp.0
  temp 0 1 "Package id 0" 52000
  chip 2 nvme pci0000:00/0000:00:1d.0/0000:02:00.0
  temp 2 1 Composite 41850
  ;;
*)
  echo "no fake tree for $machine" >&2
  exit 2
  ;;
esac

# The policy beside its grammar, as it is installed.
cp "$source/examples/policies/$machine.xml" "$source/docs/velmarconfig.dtd" "$root/"
"$zivo" config check "$root/$machine.xml" --against linux --sysfs-root "$root" \
  --naming stable --strict

# Run agrees with the check: on the desktop a hot Tctl throttles the fans the
# record names, and each fan goes back to the chip's own mode at the end.
if [ "$machine" = amd-desktop ]; then
  put "$root/class/hwmon/hwmon1/temp1_input" 75000
  mkdir "$root/state"
  out=$(DBUS_SYSTEM_BUS_ADDRESS="unix:path=$root/no-bus" "$zivo" run --apply \
    --platform linux --naming stable --sysfs-root "$root" --config "$root/$machine.xml" \
    --state-dir "$root/state" --duration 1 --interval 0.25)
  printf '%s\n' "$out"
  printf '%s\n' "$out" | grep 'throttle fan:nct6798-isa-0290:pwm2 0 -> 2: hwmon:k10temp-pci-00c3:Tctl' |
    grep -q '; fan at 900 RPM$'
  for k in 1 2 3; do
    [ "$(cat "$root/class/hwmon/hwmon3/pwm${k}_enable")" = 5 ]
  done
fi
