# Helpers to run a throw-away redis-server on a free loopback port.

# Prints a TCP port on 127.0.0.1 that nothing listens on.
free_port() {
    local port
    for _ in $(seq 1 200); do
        port=$(( (RANDOM % 20000) + 30000 ))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/${port}") 2>/dev/null; then
            echo "$port"
            return 0
        fi
    done
    echo "no free port found" >&2
    return 1
}

# start_redis DIR: starts redis-server with its files in DIR, prints its port.
start_redis() {
    local dir="$1" port
    for _ in 1 2 3 4 5; do
        port="$(free_port)"
        redis-server --bind 127.0.0.1 --port "$port" --dir "$dir" --save "" --appendonly no \
            --daemonize yes --pidfile "$dir/redis.pid" --logfile "$dir/redis.log" >/dev/null
        for _ in $(seq 1 50); do
            if redis-cli -h 127.0.0.1 -p "$port" ping 2>/dev/null | grep -q PONG; then
                echo "$port"
                return 0
            fi
            sleep 0.1
        done
        stop_redis "$dir"
    done
    echo "redis-server did not start" >&2
    return 1
}

# stop_redis DIR: stops the redis-server started with start_redis DIR.
stop_redis() {
    local dir="$1"
    if [ -f "$dir/redis.pid" ]; then
        kill "$(cat "$dir/redis.pid")" 2>/dev/null || true
        rm -f "$dir/redis.pid"
    fi
}
