#!/usr/bin/env bash
# Start-up time of marovane on a generated site (10,000 objects, 500 zones:
# 100 keep-in, 100 keep-out), from launch to the events loop running, and its
# peak resident memory at that point.
#
# Phases: launch -> alarm types requested (every platform list loaded, Redis
# mirror written) -> events loop running (alarm generators initialised; a
# keep-out entry published afterwards shows in the Redis mirror).
#
# Usage: bench/e2e_startup.sh      Environment: see e2e_common.sh.
set -euo pipefail
# shellcheck source=bench/e2e_common.sh
source "$(dirname "$0")/e2e_common.sh"

build_binaries
generate_site
start_redis_server
start_log_reader
start_sim
write_config true
log "site: $site_spec"
t0="$(now_ms)"
start_marovane
t_types="$(wait_until_running)"
t_running="$(now_ms)"
printf 'launch -> alarm types requested: %d ms\n' $((t_types - t0))
printf 'launch -> events loop running:   %d ms\n' $((t_running - t0))
printf 'peak RSS (VmHWM):                %d MB\n' $(($(marovane_peak_kb) / 1024))
printf 'threads:                         %d\n' "$(awk '/^Threads:/ {print $2}' "/proc/$marovane_pid/status")"
