#!/usr/bin/env bash
# Where the CPU of one zone event goes, counted by valgrind's callgrind in
# instructions (a count that does not depend on the load of the machine), on
# the generated site of bench/run (10,000 objects, 500 zones), the log stream
# read (LOG_STREAM=read, the default) or not.
#
# marovane runs under callgrind with the counting off, loads the site, and
# then for each load: counting on, QUIET_EVENTS keep-in entries and exits
# that change no alarm (or ALARM_EVENTS keep-out entries and exits, each
# setting or clearing an alarm, POST off) queued while the process is
# stopped, handled up to a marker; then the counts are written out. Prints
# the instructions per event of the events loop's thread and of all threads,
# and the loop's functions that cost the most, inclusive of what they call.
#
# Usage: bench/e2e_profile.sh        Environment: QUIET_EVENTS (default
#   20000), ALARM_EVENTS (20000), TOP (functions listed, default 30), and
#   those of e2e_common.sh. Needs valgrind.
set -euo pipefail
# shellcheck source=bench/e2e_common.sh
source "$(dirname "$0")/e2e_common.sh"

quiet_events="${QUIET_EVENTS:-20000}"
alarm_events="${ALARM_EVENTS:-20000}"
top="${TOP:-30}"
command -v valgrind >/dev/null || die "valgrind is not installed"

# profile LABEL EVENTS ZONES_JSON: one load, counted; prints its figures.
profile() {
    local label="$1" events="$2" zones="$3"
    marker_reset
    # callgrind takes commands only while the process runs: counting starts
    # before the stop (the idle loop adds a little).
    callgrind_control -i on "$marovane_pid" >/dev/null
    kill -STOP "$marovane_pid"
    control generator "{\"rate\": 1000000, \"count\": $events, \"dwell\": 200,
        \"zones\": $zones, \"objects\": $(uid_array obj- "1-$((site_objects - 1))")}"
    for _ in $(seq 1 6000); do
        [[ "$(curl -fsS "$sim/sim/generator")" == *'"running":false'* ]] && break
        sleep 0.1
    done
    marker_enter
    kill -CONT "$marovane_pid"
    until marker_in_mirror; do
        kill -0 "$marovane_pid" 2>/dev/null || die "marovane ended"
        sleep 0.05
    done
    # The last lines on their way to the log stream.
    sleep 1
    callgrind_control -d "$label" "$marovane_pid" >/dev/null
    callgrind_control -i off "$marovane_pid" >/dev/null
    local loop_file all=0 loop=0 file ir
    # This dump's files, one a thread: callgrind.out.PID.DUMP-THREAD; the
    # events loop runs on the first thread.
    for file in "$bench_tmp"/callgrind.out.*.*-*; do
        [ -f "$file" ] || continue
        ir="$(awk '/^(summary|totals):/ {print $2; exit}' "$file")"
        all=$((all + ${ir:-0}))
        if [[ "$file" == *-01 ]]; then
            loop=$((loop + ${ir:-0}))
            loop_file="$file"
        fi
        mv "$file" "$bench_tmp/done.$(basename "$file")"
    done
    printf '%s: %d events; instructions per event: events loop %d, all threads %d\n' \
        "$label" "$((events + 1))" "$((loop / (events + 1)))" "$((all / (events + 1)))"
    if [ -n "${loop_file:-}" ]; then
        callgrind_annotate --inclusive=yes --threshold=99 "$bench_tmp/done.$(basename "$loop_file")" 2>/dev/null |
            grep -E '^ *[0-9,]+ ' | head -n "$top" |
            awk -v n="$((events + 1))" '{ ir = $1; gsub(",", "", ir); $1 = ""; printf "%10d  %s\n", ir / n, substr($0, 2) }' ||
            true
    fi
}

build_binaries
generate_site
start_redis_server
start_log_reader
start_sim
write_config false
log "site: $site_spec, log stream $log_stream; starting marovane under callgrind"
MAROVANE_WRAPPER="valgrind --tool=callgrind --instr-atstart=no --separate-threads=yes
    --callgrind-out-file=$bench_tmp/callgrind.out.%p" start_marovane
wait_until_running >/dev/null
echo "instructions per event, the loop's costliest functions inclusive (per event):"
profile quiet "$quiet_events" "$(uid_array zone- 2-100 1-1)"
profile alarms "$alarm_events" "$(uid_array zone- 101-199)"
stop_marovane
