#!/usr/bin/env bash
# Zone events per second that marovane handles end to end at saturation, on a
# generated site (10,000 objects, 500 zones: 100 keep-in, 100 keep-out).
#
# marovane is stopped (SIGSTOP) while the simulator's generator publishes EVENTS
# zone events and one marker keep-out entry; they wait in the ZeroMQ queues.
# marovane is then continued: "handled" is the marker's alarm showing in the
# Redis mirror, since messages are handled in order on one thread. With posting
# on, the end is also the arrival of the last alarm POST at the simulator
# (keep-out events only: every one of them gives exactly one POST).
#
# Loads (the generator sends object k of its list into zone k mod n of its
# zone list, so the zone lists decide what happens):
# - keep-in, no alarm: each object enters another keep-in zone than the one it
#   starts in and leaves it again: the zone scans, no alarm;
# - keep-in, 100 alarms: each object leaves the keep-in zone it starts in, so
#   every leave sets a keep-in alarm in each of the 100 keep-in zones and the
#   next entry clears them all (the worst case);
# - keep-out: every event sets or clears one alarm;
# - all zones: every zone but the marker's; the first 100 objects leave their
#   start zone (about 5% of the events raise 100 keep-in alarms each), a fifth
#   are keep-out events, the rest zones of another type.
#
# Usage: bench/e2e_throughput.sh
# Environment: KO_EVENTS (default 20000), MIXED_EVENTS (2000), KI_EVENTS (300),
#              KI_QUIET_EVENTS (5000), see e2e_common.sh.
set -euo pipefail
# shellcheck source=bench/e2e_common.sh
source "$(dirname "$0")/e2e_common.sh"

ko_events="${KO_EVENTS:-20000}"
mixed_events="${MIXED_EVENTS:-2000}"
ki_events="${KI_EVENTS:-300}"
ki_quiet_events="${KI_QUIET_EVENTS:-5000}"

# start_mode MODIFY_SERVER_STATE: a fresh simulator and marovane (start-up takes minutes).
start_mode() {
    start_sim
    write_config "$1"
    start_marovane
    wait_until_running >/dev/null
}

stop_mode() {
    printf '  peak RSS of marovane: %d MB\n' $(($(marovane_peak_kb) / 1024))
    stop_marovane
    stop_sim
}

# load LABEL EVENTS ZONES_JSON [one-post-per-event]
load() {
    local label="$1" events="$2" zones="$3" one_post="${4:-}"
    marker_reset
    local posts_before
    posts_before="$(count_posts)"

    kill -STOP "$marovane_pid"
    control generator "{\"rate\": 1000000, \"count\": $events, \"dwell\": 200,
        \"zones\": $zones, \"objects\": $(uid_array obj- "1-$((site_objects - 1))")}"
    local status
    for _ in $(seq 1 3000); do
        status="$(curl -fsS "$sim/sim/generator")"
        [[ "$status" == *'"running":false'* ]] && break
        sleep 0.1
    done
    [[ "$status" == *'"errors":0'* ]] || log "generator: $status"
    marker_enter

    local t0 t1
    t0="$(now_ms)"
    kill -CONT "$marovane_pid"
    until marker_in_mirror; do
        kill -0 "$marovane_pid" 2>/dev/null || die "marovane ended"
        sleep 0.01
    done
    t1="$(now_ms)"
    local handled=$((events + 1))
    printf '  %-20s %6d events in %6d ms: %7d events/s handled' \
        "$label" "$handled" $((t1 - t0)) $((handled * 1000 / (t1 - t0)))

    if [ -n "$one_post" ]; then
        # One POST per keep-out event; the marker's is the last expected one.
        local want=$((posts_before + handled)) have
        for _ in $(seq 1 6000); do
            have="$(count_posts)"
            [ "$have" -ge "$want" ] && break
            sleep 0.05
        done
        local last_time t2
        last_time="$(grep '"method":"POST"' "$bench_tmp/requests.jsonl" | sed -n "${want}p" |
            grep -o '"time":"[^"]*"' | cut -d '"' -f 4)"
        if [ -n "$last_time" ]; then
            t2="$(iso_ms "$last_time")"
            printf '; %d POSTs received in %d ms: %d POSTs/s' "$handled" $((t2 - t0)) \
                $((handled * 1000 / (t2 - t0)))
        else
            printf '; only %d of %d POSTs arrived in five minutes' $((have - posts_before)) "$handled"
        fi
    fi
    printf '\n'
}

build_binaries
generate_site
start_redis_server
start_log_reader
log "site: $site_spec"

mixed="$(uid_array zone- 1-199 "201-$(grep -o 'zones=[0-9]*' <<<"$site_spec" | cut -d = -f 2)")"
keep_in="$(uid_array zone- 1-100)"
keep_in_shifted="$(uid_array zone- 2-100 1-1)"
keep_out="$(uid_array zone- 101-199)"

echo "POST off (modify_server_state false):"
start_mode false
load "keep-in, no alarm" "$ki_quiet_events" "$keep_in_shifted"
load "all zones" "$mixed_events" "$mixed"
load "keep-in, 100 alarms" "$ki_events" "$keep_in"
load "keep-out zones" "$ko_events" "$keep_out"
stop_mode

echo "POST on, against the simulator:"
start_mode true
load "keep-out zones" "$ko_events" "$keep_out" one-post-per-event
load "all zones" "$mixed_events" "$mixed"
stop_mode
