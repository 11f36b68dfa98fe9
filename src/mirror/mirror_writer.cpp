#include "mirror/mirror_writer.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "core/exception.hpp"
#include "ops/metrics.hpp"

namespace zentu {

namespace {

constexpr auto max_reconnect_backoff = std::chrono::seconds(30);
constexpr auto error_log_period = std::chrono::seconds(1);
constexpr auto max_short_probe_period = std::chrono::minutes(5);

// The stamps with one of them set; there are at most two ("create_time",
// "update_time"), so the list is rebuilt.
mirror_writer::fields with_stamp(const mirror_writer::fields& stamps, std::string_view name,
                                 std::string_view value) {
    mirror_writer::fields out;
    stamps.for_each([&](std::string_view n, std::string_view v) {
        if (n != name)
            out.add(n, v);
    });
    out.add(name, value);
    return out;
}

void append(std::vector<std::string>& command, const mirror_writer::fields& values) {
    values.for_each([&](std::string_view name, std::string_view value) {
        command.emplace_back(name);
        command.emplace_back(value);
    });
}

}  // namespace

mirror_writer::mirror_writer(redis::context::ptr connection, connector reconnect,
                             const libs::core::component_logger& logger,
                             ops::service_metrics& metrics, const libs::core::clock& clock,
                             duration probe_period)
    : m_logger(logger),
      m_clock(clock),
      m_connector(std::move(reconnect)),
      m_metrics(metrics),
      m_probe_period(probe_period),
      m_redis(std::move(connection)) {
    m_connected = m_redis != nullptr;
    m_next_probe = m_clock.current_time_point() + m_probe_period;
    m_short_probe_period = m_probe_period;
    m_metrics.mirror_state(m_connected);
    m_thread = std::thread([this] { run(); });
}

mirror_writer::~mirror_writer() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

// ---- the loop's side ------------------------------------------------------------------

void mirror_writer::put_hash(std::string key, fields values, std::string stamp_field,
                             std::string stamp) {
    enqueue({operation::kind::put_hash,
             std::move(key),
             {},
             std::move(values),
             std::move(stamp_field),
             std::move(stamp)});
}

void mirror_writer::delete_hash(std::string key) {
    enqueue({operation::kind::delete_hash, std::move(key), {}, {}, {}, {}});
}

void mirror_writer::add_member(std::string set, std::string member) {
    enqueue({operation::kind::add_member, std::move(set), std::move(member), {}, {}, {}});
}

void mirror_writer::remove_member(std::string set, std::string member) {
    enqueue({operation::kind::remove_member, std::move(set), std::move(member), {}, {}, {}});
}

void mirror_writer::clear_set(std::string set, std::string hash_prefix) {
    enqueue({operation::kind::clear_set, std::move(set), std::move(hash_prefix), {}, {}, {}});
}

void mirror_writer::enqueue(operation op) {
    bool wake = false;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(op));
        ++m_queued;
        wake = std::exchange(m_idle, false);
    }
    if (wake)
        m_wake.notify_one();
}

void mirror_writer::flush() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (std::exchange(m_idle, false))
        m_wake.notify_one();
    const auto target = m_queued;
    m_done.wait(lock, [&] { return m_written >= target || m_stopping; });
}

// ---- the writer's thread -----------------------------------------------------------------

void mirror_writer::run() {
    // A debugging aid: the events loop goes first on a busy machine.
    setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
    for (;;) {
        std::vector<operation> batch;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            const auto ready = [&] { return m_stopping || !m_queue.empty(); };
            m_idle = true;
            // Connected: until the next probe; suspended: until the next
            // reconnection; neither can happen without a connector or a
            // connection.
            if (m_redis)
                m_wake.wait_for(lock, m_next_probe - m_clock.current_time_point(), ready);
            else if (m_connector)
                m_wake.wait_for(lock, m_next_reconnect - m_clock.current_time_point(), ready);
            else
                m_wake.wait(lock, ready);
            m_idle = false;
            if (m_stopping)
                return;
            batch.swap(m_queue);
        }
        if (!m_redis)
            try_reconnect();
        const auto commands = apply(batch);
        if (m_redis)
            write(commands);
        if (m_redis && m_clock.current_time_point() >= m_next_probe)
            probe();
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_written += batch.size();
        }
        m_done.notify_all();
    }
}

std::vector<mirror_writer::command> mirror_writer::apply(std::vector<operation>& batch) {
    std::vector<command> commands;
    for (auto& op : batch) {
        switch (op.what) {
            case operation::kind::put_hash: {
                auto& stored = m_hashes[op.key];
                if (!stored.values.empty() && stored.values == op.values)
                    break;
                command hmset{"HMSET", op.key};
                append(hmset, op.values);
                hmset.push_back(op.stamp_field);
                hmset.push_back(op.stamp);
                stored.values = std::move(op.values);
                stored.stamps = with_stamp(stored.stamps, op.stamp_field, op.stamp);
                commands.push_back(std::move(hmset));
                break;
            }
            case operation::kind::delete_hash:
                m_hashes.erase(op.key);
                commands.push_back({"DEL", op.key});
                break;
            case operation::kind::add_member:
                if (m_sets[op.key].insert(op.value).second)
                    commands.push_back({"SADD", op.key, op.value});
                break;
            case operation::kind::remove_member:
                m_sets[op.key].erase(op.value);
                commands.push_back({"SREM", op.key, op.value});
                break;
            case operation::kind::clear_set: {
                for (auto it = m_hashes.lower_bound(op.value);
                     it != m_hashes.end() && it->first.compare(0, op.value.size(), op.value) == 0;)
                    it = m_hashes.erase(it);
                m_sets.erase(op.key);
                m_set_prefixes[op.key] = op.value;
                if (!m_redis)
                    break;
                // What Redis holds is known only by asking: what was queued
                // before goes out first.
                write(commands);
                commands = clear_commands(op.key, op.value);
                break;
            }
        }
    }
    return commands;
}

std::vector<mirror_writer::command> mirror_writer::clear_commands(const std::string& set,
                                                                  const std::string& hash_prefix) {
    std::vector<command> commands;
    if (!m_redis)
        return commands;
    try {
        const auto members = m_redis->get_set_members(set);
        members.as_array().for_each_element([&](const redis::reply_element& member) {
            const auto uid = member.to_string();
            commands.push_back({"DEL", hash_prefix + uid});
            commands.push_back({"SREM", set, uid});
            return true;
        });
    } catch (...) {
        report_failure();
        if (m_redis->is_broken())
            connection_lost();
    }
    return commands;
}

void mirror_writer::write(const std::vector<command>& commands) {
    // In slices: a whole burst in one pipeline would grow the connection's
    // buffers to its size, and their reallocation costs more than the round
    // trips saved.
    constexpr std::size_t slice = 512;
    for (std::size_t begin = 0; begin < commands.size() && m_redis; begin += slice)
        write_slice(commands, begin, std::min(commands.size(), begin + slice));
}

void mirror_writer::write_slice(const std::vector<command>& commands, std::size_t begin,
                                std::size_t end) {
    std::size_t appended = begin;
    try {
        for (; appended < end; ++appended)
            m_redis->append_command_argv(commands[appended]);
    } catch (...) {
        report_failure();
    }
    for (std::size_t i = begin; i < appended; ++i) {
        try {
            m_redis->read_reply(commands[i].front());
        } catch (...) {
            report_failure();
            if (m_redis->is_broken()) {
                connection_lost();
                return;
            }
        }
    }
}

void mirror_writer::connection_lost() {
    m_redis.reset();
    m_connected = false;
    m_metrics.mirror_state(false);
    m_next_reconnect = m_clock.current_time_point() + m_reconnect_backoff;
    m_logger.warning("Redis mirror: connection lost, the mirror is suspended");
}

void mirror_writer::try_reconnect() {
    if (!m_connector || m_clock.current_time_point() < m_next_reconnect)
        return;
    std::string failure;
    try {
        m_redis = m_connector();
    } catch (const libs::core::exception& e) {
        m_redis.reset();
        failure = e.get_string_error();
    } catch (...) {
        m_redis.reset();
        failure = libs::core::exception_to_string();
    }
    if (!m_redis) {
        // Says why (a refused password is not an absent server), once per cause.
        if (!failure.empty() && failure != m_reconnect_failure)
            m_logger.warning(
                "Redis mirror: cannot connect, trying again backing off up to %1% s: %2%") %
                max_reconnect_backoff.count() % failure;
        m_reconnect_failure = failure;
        m_reconnect_backoff = std::min<duration>(m_reconnect_backoff * 2, max_reconnect_backoff);
        m_next_reconnect = m_clock.current_time_point() + m_reconnect_backoff;
        return;
    }
    m_reconnect_backoff = std::chrono::seconds(1);
    m_reconnect_failure.clear();
    // A new connection starts from a whole mirror.
    m_mirror_short = false;
    m_short_probe_period = m_probe_period;
    m_connected = true;
    m_metrics.mirror_state(true);
    m_logger.info("Redis mirror: connected, rewriting the mirror");
    write(rewrite_commands());
    m_next_probe = m_clock.current_time_point() + m_probe_period;
}

void mirror_writer::probe() {
    m_next_probe = m_clock.current_time_point() + m_probe_period;
    std::vector<command> commands;
    for (const auto& [set, members] : m_sets)
        commands.push_back({"SCARD", set});
    for (const auto& [set, prefix] : m_set_prefixes)
        if (m_sets.count(set) == 0)
            commands.push_back({"SCARD", set});
    // Without a set yet, a PING still finds a lost connection.
    if (commands.empty())
        commands.push_back({"PING"});
    std::size_t appended = 0;
    try {
        for (; appended < commands.size(); ++appended)
            m_redis->append_command_argv(commands[appended]);
    } catch (...) {
        report_failure();
    }
    std::string short_set;
    std::size_t held = 0;
    std::size_t expected = 0;
    // Every reply is read, so that the connection stays in step after an error reply.
    for (std::size_t i = 0; i < appended; ++i) {
        try {
            const auto reply = m_redis->read_reply(commands[i].front());
            if (commands[i].front() != "SCARD")
                continue;
            const auto count = static_cast<std::size_t>(reply.to_integer());
            const auto found = m_sets.find(commands[i][1]);
            const std::size_t wanted = found == m_sets.end() ? 0 : found->second.size();
            if (count != wanted && short_set.empty()) {
                short_set = commands[i][1];
                held = count;
                expected = wanted;
            }
        } catch (...) {
            report_failure();
            if (m_redis->is_broken()) {
                connection_lost();
                return;
            }
        }
    }
    if (short_set.empty()) {
        m_mirror_short = false;
        m_short_probe_period = m_probe_period;
        return;
    }
    const bool again = std::exchange(m_mirror_short, true);
    if (!again)
        m_logger.warning(
            "Redis mirror: %1% holds %2% members instead of %3% (Redis flushed or restarted?), "
            "rewriting the mirror") %
            short_set % held % expected;
    write(rewrite_commands());
    // A Redis that keeps losing keys right after a rewrite (an eviction
    // policy, a full memory) is rewritten less and less often, not every probe.
    if (again) {
        m_short_probe_period = std::min<duration>(m_short_probe_period * 2, max_short_probe_period);
        m_next_probe = m_clock.current_time_point() + m_short_probe_period;
    }
}

std::vector<mirror_writer::command> mirror_writer::rewrite_commands() {
    std::vector<command> commands;
    for (const auto& [set, prefix] : m_set_prefixes) {
        auto cleared = clear_commands(set, prefix);
        commands.insert(commands.end(), std::make_move_iterator(cleared.begin()),
                        std::make_move_iterator(cleared.end()));
    }
    // Every hash and member the mirror holds, in key order.
    for (const auto& [key, stored] : m_hashes) {
        command hmset{"HMSET", key};
        append(hmset, stored.values);
        append(hmset, stored.stamps);
        commands.push_back(std::move(hmset));
    }
    for (const auto& [set, members] : m_sets)
        for (const auto& member : members)
            commands.push_back({"SADD", set, member});
    return commands;
}

void mirror_writer::report_failure() {
    m_metrics.mirror_failure();
    const auto now = m_clock.current_time_point();
    if (m_logged_any_error && now - m_last_error_log < error_log_period) {
        ++m_suppressed_errors;
        return;
    }
    if (m_suppressed_errors > 0)
        m_logger.error("Redis mirror: %1% more failures since the last report") %
            m_suppressed_errors;
    m_logger.log_exception();
    m_last_error_log = now;
    m_logged_any_error = true;
    m_suppressed_errors = 0;
}

}  // namespace zentu
