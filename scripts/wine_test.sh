#!/bin/bash
# End-to-end tests of the Windows executable under Wine, each in a fresh
# prefix below the work folder.
#
#   wine_test.sh patch EXE HOST_KESTRA32 SAMPLES_DIR WORK_DIR
#     Patches the sample INF files and deletes the device keys; the files must
#     equal what the host build writes for the same inputs.
#   wine_test.sh help EXE HOST_KESTRA32 SAMPLES_DIR WORK_DIR
#     Shows the help box under Xvfb, closes it with Return, and checks that no
#     file or key changed.
set -Eeuo pipefail
# A command that fails without a message of its own still names itself.
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND (exit $?)" >&2' ERR

readonly MODE=$1 EXE=$2 HOST_KESTRA32=$3 SAMPLES_DIR=$4 WORK_DIR=$5
# Wine keeps fixed addresses below 2 GiB for itself (its shared data page lies
# at 0x7ffe0000), and this build has no preloader to claim them before the C
# library's heap does. With address randomisation that heap starts anywhere in
# the gigabyte above the loader at 0x7d000000, now and then on that page, and
# the process dies as it starts ("failed to map the shared user data"): about
# one test run in sixty failed so. Without randomisation the heap starts right
# after the loader. A Wine process's children inherit the mode.
readonly -a WINE=(setarch "$(uname -m)" --addr-no-randomize /usr/lib/wine/wine64)
readonly WINESERVER=/usr/lib/wine/wineserver64
readonly CAPTION="Varnel PCI IDE Settings for Windows 95"
readonly INF_FILES=(MSHDC.INF MACHINE.INF USB.INF)
readonly DELETED_KEYS=(
  'HKLM\Enum\PCI'
  'HKLM\Enum\MF'
  'HKLM\System\CurrentControlSet\Services\Class\hdc'
)
# Key, value name, data. The first group lies below the keys that a run
# deletes; the second group are their neighbours, which stay.
readonly DOOMED_VALUES=(
  'HKLM\Enum\PCI\VEN_8086&DEV_7111&SUBSYS_00000000&REV_01\BUS_00&DEV_07&FUNC_01|Class|hdc'
  'HKLM\Enum\PCI\VEN_8086&DEV_7111&SUBSYS_00000000&REV_01\BUS_00&DEV_07&FUNC_01\LogConfig|Boot|1'
  'HKLM\Enum\PCI\VEN_1106&DEV_0571\BUS_00&DEV_07&FUNC_01|Driver|hdc\0001'
  'HKLM\Enum\MF\CHILD0000\PCI&VEN_8086&DEV_7010|Class|hdc'
  'HKLM\Enum\MF|Note|top value'
  'HKLM\System\CurrentControlSet\Services\Class\hdc|Class|hdc'
  'HKLM\System\CurrentControlSet\Services\Class\hdc\0000|DriverDesc|Primary IDE controller'
  'HKLM\System\CurrentControlSet\Services\Class\hdc\0000\Deep\Deeper|Level|3'
)
readonly NEIGHBOUR_VALUES=(
  'HKLM\Enum\Root\*PNP0A03\0000|Class|System'
  'HKLM\Enum\PCIX\Device|Class|Net'
  'HKLM\Enum\MFX|Kept|yes'
  'HKLM\System\CurrentControlSet\Services\Class\hdcx|Kept|yes'
  'HKLM\System\CurrentControlSet\Services\Class\Display\0000|DriverDesc|VGA'
)

export WINEPREFIX="$WORK_DIR/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
started_pids=()
server_pid=""
server_dir=""

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Waits until a command succeeds, polling. The budget guards against a hang
# only: a slow or busy machine never reaches it, since each wait ends at its
# event.
readonly HANG_SECONDS=300
wait_until() {
  local deadline=$((SECONDS + HANG_SECONDS))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# Asking our own wineserver to end first ends the prefix's Windows processes
# too (services, devices, the desktop), which would otherwise outlive it.
stop_started() {
  local status=$? pid
  # A server that ended early takes the keys added since its last save along;
  # a client would then have started a fresh one.
  if [ "$status" -ne 0 ] && [ -n "$server_pid" ] && ! kill -0 "$server_pid" 2>/dev/null; then
    local server_status=0
    wait "$server_pid" || server_status=$?
    echo "the test's wineserver had ended (exit $server_status)" >&2
  fi
  "$WINESERVER" -k 2>/dev/null || true
  for pid in "${started_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  # The server leaves its folder (and the temporary folder around it) behind.
  if [ -n "$server_dir" ]; then
    rm -rf "$server_dir"
    rmdir "$(dirname "$server_dir")" 2>/dev/null || true
  fi
}
trap stop_started EXIT

# A wineserver of our own, in the foreground, so that it can be stopped by id.
# Wine is started only once that server listens: a client that found no server
# would start one of its own.
start_prefix() {
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$WINESERVER" --foreground --persistent &
  server_pid=$!
  started_pids+=("$server_pid")
  local socket_name
  socket_name=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
  # Its socket's folder is noted, so that it can be removed at the end.
  server_listens() {
    kill -0 "$server_pid" 2>/dev/null || fail "wineserver did not start"
    local socket
    socket=$(compgen -G "/tmp/*wine*/$socket_name/socket") || return 1
    server_dir=${socket%/socket}
  }
  wait_until server_listens || fail "wineserver made no socket"
  "${WINE[@]}" wineboot -i >"$WORK_DIR/wineboot.log" 2>&1 ||
    fail "wineboot failed: $(tail -n 5 "$WORK_DIR/wineboot.log")"
}

inf_folder() { echo "$WINEPREFIX/drive_c/windows/inf"; }

# The file that Windows finds under name, whatever its letter case.
windows_file() {
  find "$(inf_folder)" -maxdepth 1 -iname "$1" -print -quit
}

place_samples() {
  local name
  for name in "${INF_FILES[@]}"; do
    [ -f "$SAMPLES_DIR/$name" ] || fail "sample $SAMPLES_DIR/$name is missing"
    cp "$SAMPLES_DIR/$name" "$(inf_folder)/$name"
  done
}

# Wine's reg writes its errors to standard output, which a caller may keep in
# a file or drop: a failed run names its arguments, exit code and message.
fail_reg() {
  fail "reg $1: exit $2: $(echo "$3" | tr -d '\r' | head -n 3)"
}

reg() {
  local output
  output=$("${WINE[@]}" reg "$@" 2>&1) || fail_reg "$*" $? "$output"
  echo "$output" | tr -d '\r'
}

add_values() {
  local entry key name data
  for entry in "$@"; do
    IFS='|' read -r key name data <<<"$entry"
    reg add "$key" /v "$name" /d "$data" /f >/dev/null
  done
}

# A key is missing only when reg says so: a reg that failed to start is no
# answer, and would otherwise pass for a deleted key.
key_exists() {
  local output status=0
  output=$("${WINE[@]}" reg query "$1" 2>&1) || status=$?
  [ "$status" -ne 0 ] || return 0
  [[ $output == *"Unable to find the specified registry key"* ]] && return 1
  fail_reg "query $1" "$status" "$output"
}

value_is() {
  reg query "$1" /v "$2" | grep -E "^ +$2 +REG_SZ +$3\$" >/dev/null
}

check_neighbours_remain() {
  local entry key name data
  for entry in "${NEIGHBOUR_VALUES[@]}"; do
    IFS='|' read -r key name data <<<"$entry"
    value_is "$key" "$name" "$data" || fail "neighbour $key lost its value $name"
  done
}

# Everything a run could touch: the INF folder's files and the two key trees.
snapshot() {
  (cd "$(inf_folder)" && find . -type f | sort | xargs -d '\n' md5sum)
  reg query 'HKLM\Enum' /s
  reg query 'HKLM\System\CurrentControlSet\Services\Class' /s
}

run_host_build() {
  local windows="$WORK_DIR/host"
  mkdir -p "$windows/INF"
  local name
  for name in "${INF_FILES[@]}"; do cp "$SAMPLES_DIR/$name" "$windows/INF/$name"; done
  WINDIR="$windows" KESTRA32_REGISTRY="$windows/registry.reg" "$HOST_KESTRA32" </dev/null ||
    fail "host kestra32 failed"
}

test_patch() {
  rm -rf "$WORK_DIR"
  start_prefix
  place_samples
  add_values "${DOOMED_VALUES[@]}" "${NEIGHBOUR_VALUES[@]}"
  local key
  # The keys that the run is to delete are there before it.
  for key in "${DELETED_KEYS[@]}"; do reg query "$key" >/dev/null; done

  local status=0
  "${WINE[@]}" "$EXE" || status=$?
  [ "$status" -eq 0 ] || fail "exit code $status"

  run_host_build
  local name wine_file
  for name in "${INF_FILES[@]}"; do
    wine_file=$(windows_file "$name")
    [ -n "$wine_file" ] || fail "$name is gone"
    cmp "$WORK_DIR/host/INF/$name" "$wine_file" || fail "$name differs from the host build's"
  done
  [ "$(find "$(inf_folder)" -maxdepth 1 -iname 'K32*.TMP' | wc -l)" -eq 0 ] ||
    fail "a new file was left behind"
  for key in "${DELETED_KEYS[@]}"; do
    if key_exists "$key"; then fail "$key is still there"; fi
  done
  check_neighbours_remain
}

# Only a window that is mapped can take the focus: one that has its title but
# is not yet on the screen refuses it (BadMatch), as seen on a busy machine.
window_shown() {
  xdotool search --onlyvisible --name "^$CAPTION\$" >"$WORK_DIR/window" 2>/dev/null
}

start_xvfb() {
  local display_file="$WORK_DIR/display"
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$display_file" 2>"$WORK_DIR/xvfb.log" &
  started_pids+=($!)
  wait_until test -s "$display_file" || fail "Xvfb did not start"
  export DISPLAY=":$(head -n 1 "$display_file")"
}

# The prefix's desktop process starts with wineboot and keeps its display,
# so the X server comes first.
test_help() {
  rm -rf "$WORK_DIR"
  mkdir -p "$WORK_DIR"
  start_xvfb
  start_prefix
  place_samples
  add_values "${DOOMED_VALUES[@]}" "${NEIGHBOUR_VALUES[@]}"
  snapshot >"$WORK_DIR/before.txt"

  "${WINE[@]}" "$EXE" "/?" &
  local program=$!
  started_pids+=("$program")
  wait_until window_shown || fail "no window titled \"$CAPTION\""
  xdotool windowfocus --sync "$(head -n 1 "$WORK_DIR/window")" key Return

  program_ended() { ! kill -0 "$program" 2>/dev/null; }
  wait_until program_ended || fail "the program did not end after Return"
  local status=0
  wait "$program" || status=$?
  [ "$status" -eq 0 ] || fail "exit code $status"

  snapshot >"$WORK_DIR/after.txt"
  diff "$WORK_DIR/before.txt" "$WORK_DIR/after.txt" || fail "the help run changed files or keys"
}

case "$MODE" in
  patch) test_patch ;;
  help) test_help ;;
  *) fail "unknown mode $MODE" ;;
esac
echo "PASS: $MODE"
