# Sourced, not run: a virtual X display and a Wine prefix whose COM1 and
# COM2 are fake serial devices, with the fake preloaded into every Wine
# process (the Wine server opens the ports) so that no real serial device
# can be opened, whatever Wine maps. The caller sets `set -euo pipefail`
# and calls wine_fake_ports_cleanup on exit. Wine leaves nothing outside
# WORK: its server's socket and lock go there (TMPDIR), and it makes no
# menu entries or file types in the user's home.
#
#   start_virtual_display WORK      Xvfb; exports DISPLAY
#   start_wine_on_fake_ports WORK SHIM
#                                   COM1 is WORK/fake-com1 (absent), COM2 WORK/fake-com2
#                                   (present), and COM3 WORK/fake-com3 for the tests,
#                                   which fails every line switch after its third:
#                                   a port is present while its file exists, and
#                                   every call on them is traced to WORK/trace
#   wine_runs                       whether Wine works on this machine

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
wine_fake_ports_pids=()

wine_runs() { [ -x "$wine" ] && "$wine" --version >/dev/null 2>&1; }

wine_fake_ports_cleanup() {
  if [ -n "${WINEPREFIX:-}" ]; then
    "$wineserver" -k 2>/dev/null || true
    timeout 30 "$wineserver" -w 2>/dev/null || true
  fi
  for pid in "${wine_fake_ports_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}

start_virtual_display() {
  local work=$1
  exec {display_fd}>"$work/display"
  Xvfb -displayfd "$display_fd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  wine_fake_ports_pids+=($!)
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || { echo "the virtual display did not start"; return 1; }
  export DISPLAY=":$(head -n1 "$work/display")"
}

# What FTDI's driver records when it gives one of its devices COM$1; the
# program takes an adapter only for such a COM port.
ftdi_driver_gave() {
  "$wine" reg add "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+FAKE$1A\\0000\\Device Parameters" \
    /v PortName /t REG_SZ /d "COM$1" /f >/dev/null 2>&1
}
ftdi_driver_forget() {
  "$wine" reg delete 'HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS' /f >/dev/null 2>&1 || true
}

# Fails unless the fake serial device is loaded into the process.
shim_loaded_in() { grep -q libflash89_fake_serial "/proc/$1/maps" 2>/dev/null; }

start_wine_on_fake_ports() {
  local work=$1 shim=$2
  # Debian's Wine puts its server's directory under TMPDIR (upstream Wine
  # under /tmp/.wine-UID); winemenubuilder would write into the home.
  export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export TMPDIR="$work"
  export LD_PRELOAD="$shim" FLASH89_FAKE_SERIAL="$work/fake-com1,$work/fake-com2,$work/fake-com3:fail=3"
  export FLASH89_FAKE_TRACE="$work/trace"
  export FLASH89_WINE_COM1="$work/fake-com1" FLASH89_WINE_COM2="$work/fake-com2" FLASH89_WINE_COM3="$work/fake-com3"
  # The test programs' own guard: the ports are named, and not real ones.
  export FLASH89_COM1="$work/fake-com1" FLASH89_COM2="$work/fake-com2"
  touch "$work/fake-com2"
  "$wine" wineboot -i >/dev/null 2>&1
  # Ports named here come before any that Wine finds on the machine.
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$work/fake-com1" /f >/dev/null 2>&1
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM2 /t REG_SZ /d "$work/fake-com2" /f >/dev/null 2>&1
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM3 /t REG_SZ /d "$work/fake-com3" /f >/dev/null 2>&1
  "$wineserver" -k
  "$wineserver" -w
  # A server of our own, so that its memory map can be read.
  "$wineserver" -f -p &
  wine_fake_ports_pids+=($!)
  local server=$! server_dir socket
  server_dir=$(stat -c 'server-%d-%i' "$WINEPREFIX" | awk -F- '{printf "server-%x-%x", $2, $3}')
  for _ in $(seq 100); do
    for socket in "$TMPDIR"/wine-*/"$server_dir"/socket "/tmp/.wine-$(id -u)/$server_dir/socket" \
                  "/run/user/$(id -u)/wine/$server_dir/socket"; do
      [ -S "$socket" ] && break 2
    done
    sleep 0.1
  done
  if ! shim_loaded_in "$server" ||
     ! "$wine" cmd /c type 'Z:\proc\self\maps' 2>/dev/null | grep -q libflash89_fake_serial; then
    echo "the fake serial device is not loaded into Wine: refusing to run with real ports reachable"
    return 1
  fi
  check_wine_ports "$work"
}

# COM1 to COM3 lead to the fake devices; any other COM port that Wine made
# leads to a real serial device, which the fake refuses to open.
check_wine_ports() {
  local work=$1 link target port
  for port in com1 com2 com3; do
    [ "$(readlink "$WINEPREFIX/dosdevices/$port")" = "$work/fake-$port" ] || { echo "$port is not the fake device"; return 1; }
  done
  for link in "$WINEPREFIX"/dosdevices/com*; do
    case "${link##*/}" in com1 | com2 | com3) continue ;; esac
    target=$(readlink "$link")
    case "$target" in
      /dev/ttyS* | /dev/ttyUSB* | /dev/ttyACM* | /dev/ttyAMA* | /dev/rfcomm* | /dev/serial/*) ;;
      *) echo "${link##*/} leads to $target, which the fake serial device would not refuse"; return 1 ;;
    esac
  done
}
