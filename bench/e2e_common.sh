# shellcheck shell=bash
# Shared parts of the process-level benchmarks: a generated site, a throw-away
# Redis, the platform simulator and marovane (Release build), all on free
# loopback ports, stopped and removed on exit. Sourced, not run.
#
# Environment: BUILD_DIR (default build-demo, configured Release if new),
#              SITE_SPEC (default objects=10000,zones=500,keep_in=100,keep_out=100),
#              SIM_BUILD_DIR (the simulator's and the log reader's build, default
#              BUILD_DIR: an older marovane is measured against today's simulator),
#              LOG_STREAM (read, the default: a reader drains marovane's log
#              stream, as a collector does, every line debug lines included;
#              unread: the log stream's endpoint has nobody behind it),
#              BENCH_KEEP=1 (the temporary directory, with every log, is kept).

bench_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$bench_root" || exit 1
# shellcheck source=scripts/lib/redis.sh
source scripts/lib/redis.sh

build_dir="${BUILD_DIR:-build-demo}"
site_spec="${SITE_SPEC:-objects=10000,zones=500,keep_in=100,keep_out=100}"
marovane_bin="$build_dir/src/marovane"
sim_build_dir="${SIM_BUILD_DIR:-$build_dir}"
sim_bin="$sim_build_dir/tools/platform-sim/marovane-platform-sim"
reader_bin="$sim_build_dir/bench/marovane-log-reader"
log_stream="${LOG_STREAM:-read}"
case "$log_stream" in read | unread) ;; *)
    echo "LOG_STREAM is read or unread, not $log_stream" >&2
    exit 2
    ;;
esac

bench_tmp="$(mktemp -d "${TMPDIR:-/tmp}/marovane-bench.XXXXXX")"
marovane_pid=""
sim_pid=""
reader_pid=""
reader_endpoint=""
redis_port=""
sim=""

log() { printf '[%s] %s\n' "$(date +%T)" "$*" >&2; }
die() {
    log "error: $*"
    exit 1
}

now_ms() { date +%s%3N; }

# Milliseconds since the epoch of an ISO time such as 2026-12-08T19:12:40.505Z.
iso_ms() { date -u -d "$1" +%s%3N; }

stop_pid() {
    local pid="$1"
    kill -0 "$pid" 2>/dev/null || return 0
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 150); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

bench_cleanup() {
    local status=$?
    trap - EXIT INT TERM
    # A stopped marovane must be continued to see the SIGTERM.
    if [ -n "$marovane_pid" ]; then
        kill -CONT "$marovane_pid" 2>/dev/null || true
        stop_pid "$marovane_pid"
    fi
    if [ -n "$sim_pid" ]; then stop_pid "$sim_pid"; fi
    if [ -n "$reader_pid" ]; then stop_pid "$reader_pid"; fi
    if [ -f "$bench_tmp/redis.pid" ]; then
        local redis_pid
        redis_pid="$(cat "$bench_tmp/redis.pid")"
        stop_redis "$bench_tmp"
        for _ in $(seq 1 50); do
            kill -0 "$redis_pid" 2>/dev/null || break
            sleep 0.1
        done
    fi
    if [ -n "${BENCH_KEEP:-}" ]; then
        log "kept $bench_tmp"
    else
        rm -rf "$bench_tmp"
    fi
    exit "$status"
}
trap bench_cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

build_binaries() {
    if [ ! -f "$build_dir/CMakeCache.txt" ]; then
        cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    fi
    cmake --build "$build_dir" -j "$(nproc)" --target marovane >/dev/null
    if [ ! -f "$sim_build_dir/CMakeCache.txt" ]; then
        cmake -S . -B "$sim_build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    fi
    cmake --build "$sim_build_dir" -j "$(nproc)" --target marovane-platform-sim marovane-log-reader >/dev/null
    grep -q 'CMAKE_BUILD_TYPE:STRING=Release' "$build_dir/CMakeCache.txt" ||
        log "warning: $build_dir is not a Release build"
}

# Writes the generated site once; every run then loads the same file.
generate_site() {
    "$sim_bin" --generate "$site_spec" --write-site "$bench_tmp/site.json" >/dev/null
}

start_redis_server() {
    redis_port="$(start_redis "$bench_tmp")"
}

# start_sim: the simulator on the generated site, requests logged to requests.jsonl.
start_sim() {
    rm -f "$bench_tmp/sim.ready" "$bench_tmp/requests.jsonl"
    "$sim_bin" --site "$bench_tmp/site.json" --ready-file "$bench_tmp/sim.ready" \
        --requests-log "$bench_tmp/requests.jsonl" --quiet >"$bench_tmp/sim.log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 1 300); do
        [ -s "$bench_tmp/sim.ready" ] && break
        kill -0 "$sim_pid" 2>/dev/null || die "the simulator did not start: $(cat "$bench_tmp/sim.log")"
        sleep 0.1
    done
    local line
    line="$(head -n 1 "$bench_tmp/sim.ready")"
    [[ "$line" =~ http=([0-9.]+):([0-9]+)\ pub=tcp://([0-9.]+):([0-9]+) ]] || die "simulator said: $line"
    sim_http="${BASH_REMATCH[1]}:${BASH_REMATCH[2]}"
    sim_pub_host="${BASH_REMATCH[3]}"
    sim_pub_port="${BASH_REMATCH[4]}"
    sim="http://$sim_http"
}

stop_sim() {
    stop_pid "$sim_pid"
    sim_pid=""
}

# start_log_reader [LINES_FILE]: the log stream's reader (LOG_STREAM=read), which
# stays for every marovane of the run; with LINES_FILE it keeps the lines.
start_log_reader() {
    [ "$log_stream" = read ] || return 0
    rm -f "$bench_tmp/reader.ready"
    "$reader_bin" --ready-file "$bench_tmp/reader.ready" ${1:+--lines "$1"} >"$bench_tmp/reader.out" 2>&1 &
    reader_pid=$!
    for _ in $(seq 1 100); do
        [ -s "$bench_tmp/reader.ready" ] && break
        kill -0 "$reader_pid" 2>/dev/null || die "the log reader did not start: $(cat "$bench_tmp/reader.out")"
        sleep 0.05
    done
    reader_endpoint="$(cut -d ' ' -f 2 "$bench_tmp/reader.ready")"
}

# Prints the number of lines the reader got, once it has ended.
stop_log_reader() {
    [ -n "$reader_pid" ] || return 0
    stop_pid "$reader_pid"
    reader_pid=""
    awk '/^lines / {n = $2} END {print n}' "$bench_tmp/reader.out"
}

# Prints the number of lines the reader got so far (0 without a reader).
log_lines_read() {
    [ -n "$reader_pid" ] || {
        echo 0
        return
    }
    local before after
    before="$(grep -c '^lines ' "$bench_tmp/reader.out" || true)"
    kill -USR1 "$reader_pid"
    for _ in $(seq 1 100); do
        after="$(grep -c '^lines ' "$bench_tmp/reader.out" || true)"
        [ "$after" -gt "$before" ] && break
        sleep 0.02
    done
    awk '/^lines / {n = $2} END {print n}' "$bench_tmp/reader.out"
}

# CPU time of marovane in nanoseconds: of all its threads, and of the events
# loop's (the main thread).
cpu_ns() { cat /proc/"$marovane_pid"/task/*/schedstat | awk '{s += $1} END {printf "%.0f", s}'; }
loop_cpu_ns() { awk '{print $1}' "/proc/$marovane_pid/task/$marovane_pid/schedstat"; }

# write_config MODIFY_SERVER_STATE: marovane's configuration, no debug lines
# in syslog; the log stream goes to the reader when one runs, else nowhere.
# REBUILD_PERIOD_CONFIG sets system.rebuild_period (default 600).
write_config() {
    local debug_port="${reader_endpoint:-tcp://127.0.0.1:$(free_port)}"
    cat >"$bench_tmp/marovane.json" <<EOF
{
    "system": {"pidfile": "$bench_tmp/marovane.pid", "debug_port": "$debug_port", "local_debug": false,
               "rebuild_period": ${REBUILD_PERIOD_CONFIG:-600}},
    "proxy": {"address": "$sim_pub_host", "output_port": $sim_pub_port},
    "server": {"protocol": "http", "address": "$sim_http", "timeout": 10},
    "redis": {"host": "127.0.0.1", "port": $redis_port, "password": ""},
    "debug": {"modify_server_state": $1}
}
EOF
}

start_marovane() {
    # A mirror left by an earlier run would fake the start-up marker.
    rcli FLUSHDB >/dev/null
    # MAROVANE_WRAPPER: words put in front, such as valgrind and its options
    # (it runs the service in its own process: the pid stays the service's).
    # shellcheck disable=SC2086
    ${MAROVANE_WRAPPER:-} "$marovane_bin" -c "$bench_tmp/marovane.json" >"$bench_tmp/marovane.log" 2>&1 &
    marovane_pid=$!
}

# Prints marovane's peak resident set size in kB.
marovane_peak_kb() {
    awk '/^VmHWM:/ {print $2}' "/proc/$marovane_pid/status"
}

stop_marovane() {
    kill -CONT "$marovane_pid" 2>/dev/null || true
    stop_pid "$marovane_pid"
    marovane_pid=""
}

rcli() { redis-cli -h 127.0.0.1 -p "$redis_port" -n 10 "$@"; }

# control COMMAND BODY: one POST to the simulator's control API.
control() {
    curl -fsS -XPOST "$sim/sim/$1" -d "$2" >/dev/null
}

# A keep-out entry whose effect (an alarm in the Redis mirror, and a POST when
# posting is on) shows that every message published before it was handled.
site_objects="$(grep -o 'objects=[0-9]*' <<<"$site_spec" | cut -d = -f 2)"
site_objects="${site_objects:-10000}"
marker_object="${MARKER_OBJECT:-obj-$site_objects}"
marker_zone="${MARKER_ZONE:-zone-200}"
marker_enter() {
    control enter "{\"obj_uid\": \"$marker_object\", \"zone_uid\": \"$marker_zone\", \"x\": 1, \"y\": 1, \"z\": 0}"
}
marker_leave() {
    control leave "{\"obj_uid\": \"$marker_object\", \"zone_uid\": \"$marker_zone\", \"x\": 2, \"y\": 2, \"z\": 0}"
}
marker_in_mirror() {
    [ "$(rcli SISMEMBER marovane:alarms:set "$marker_object:$marker_zone")" = 1 ]
}

# Waits for start-up to end and prints the milliseconds since the epoch at which
# the alarm types were requested (the last request of the start-up). An entry
# made before the zone list is loaded is listed in the zone's trackables_in_zone
# and gets its alarm from the generators' initialisation, before the loop runs;
# so markers are published only after that request, when their alarm shows that
# the events loop runs.
wait_until_running() {
    local types_line=""
    for _ in $(seq 1 36000); do
        types_line="$(grep -m 1 '"path":"/api/private/alarm_types/"' "$bench_tmp/requests.jsonl" 2>/dev/null || true)"
        [ -n "$types_line" ] && break
        kill -0 "$marovane_pid" 2>/dev/null || die "marovane ended: $(tail -n 5 "$bench_tmp/marovane.log")"
        sleep 0.05
    done
    [ -n "$types_line" ] || die "marovane did not ask for the alarm types within 30 minutes"
    iso_ms "$(grep -o '"time":"[^"]*"' <<<"$types_line" | cut -d '"' -f 4)"
    sleep 1
    marker_enter
    for _ in $(seq 1 360000); do
        marker_in_mirror && return 0
        kill -0 "$marovane_pid" 2>/dev/null || die "marovane ended: $(tail -n 5 "$bench_tmp/marovane.log")"
        sleep 0.01
    done
    die "marovane did not start within an hour"
}

# Publishes the marker's leave and waits until its alarm has left the mirror.
marker_reset() {
    marker_leave
    for _ in $(seq 1 30000); do
        marker_in_mirror || return 0
        sleep 0.02
    done
    die "the marker's alarm was not cleared within ten minutes"
}

# uid_array PREFIX FIRST-LAST...: JSON array of PREFIX1..PREFIXn over the ranges.
uid_array() {
    local prefix="$1" range
    shift
    for range in "$@"; do seq "${range%-*}" "${range#*-}"; done |
        sed "s/.*/\"$prefix&\"/" | paste -sd, | sed 's/^/[/; s/$/]/'
}

count_posts() {
    grep -c '"method":"POST"' "$bench_tmp/requests.jsonl" || true
}
