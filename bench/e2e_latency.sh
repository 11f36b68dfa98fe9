#!/usr/bin/env bash
# Latency from the publication of a zone event to the arrival of its alarm POST
# at the simulator, at a moderate rate, on a generated site (10,000 objects,
# 500 zones: 100 keep-in, 100 keep-out). Keep-out entries and leaves only, so
# every event gives one POST; the POST carries the event's own time (ts, ms),
# which the simulator set when it published the event, and the simulator
# records the POST's arrival time: both on the same clock, in milliseconds.
#
# Usage: bench/e2e_latency.sh
# Environment: RATE (events/s, default 50), SECONDS_OF_LOAD (default 20, under
#              the 30 s re-send period of the example alarm types), see e2e_common.sh.
set -euo pipefail
# shellcheck source=bench/e2e_common.sh
source "$(dirname "$0")/e2e_common.sh"

rate="${RATE:-50}"
load_seconds="${SECONDS_OF_LOAD:-20}"

build_binaries
generate_site
start_redis_server
start_log_reader
start_sim
write_config true
log "site: $site_spec; starting marovane (minutes on this site)"
start_marovane
wait_until_running >/dev/null
marker_reset

posts_before="$(count_posts)"
count=$((rate * load_seconds))
log "publishing $count keep-out events at $rate/s"
control generator "{\"rate\": $rate, \"count\": $count, \"dwell\": 20,
    \"zones\": $(uid_array zone- 101-199), \"objects\": $(uid_array obj- "1-$((site_objects - 1))")}"
for _ in $(seq 1 $((load_seconds * 10 + 600))); do
    [ "$(count_posts)" -ge $((posts_before + count)) ] && break
    sleep 0.1
done

# Milliseconds from the event's time to the POST's arrival, one line per POST.
grep '"method":"POST"' "$bench_tmp/requests.jsonl" | tail -n +$((posts_before + 1)) | head -n "$count" |
    awk '{
        match($0, /"ts":[0-9]+/); ts = substr($0, RSTART + 5, RLENGTH - 5)
        match($0, /"ms":[0-9]+/); ms = substr($0, RSTART + 5, RLENGTH - 5)
        match($0, /"time":"[^"]*"/); t = substr($0, RSTART + 8, RLENGTH - 9)
        split(substr(t, 12, 12), p, /[:.]/)
        arrival = ((p[1] * 60 + p[2]) * 60 + p[3]) * 1000 + p[4]
        sent = ((ts % 86400) * 1000) + ms
        print (arrival - sent + 86400000) % 86400000
    }' | sort -n >"$bench_tmp/latency.txt"

samples="$(wc -l <"$bench_tmp/latency.txt")"
[ "$samples" -gt 0 ] || die "no POST arrived"
pick() { sed -n "$(((samples * $1 + 99) / 100))p" "$bench_tmp/latency.txt"; }
printf 'samples %d (of %d events) at %d events/s\n' "$samples" "$count" "$rate"
printf 'latency ms: min %d, median %d, p90 %d, p99 %d, max %d\n' \
    "$(head -n 1 "$bench_tmp/latency.txt")" "$(pick 50)" "$(pick 90)" "$(pick 99)" \
    "$(tail -n 1 "$bench_tmp/latency.txt")"
