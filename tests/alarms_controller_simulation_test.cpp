// Seeded random runs of the alarms controller against a fake platform that
// applies, loses, refuses and delays requests, on a clock that only moves
// when told. After every step at most one request per alarm may be on the
// wire and no timer may be pending that the controller does not hold; once
// the platform answers well again, it must hold exactly what was decided.
// A failing run prints its seed and its trace, shrunk to the shortest one
// that still fails.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "context/context.hpp"
#include "core/json.hpp"
#include "delivery/alarms_controller_impl.hpp"
#include "support/records.hpp"

namespace zentu::test {
namespace {

namespace http = libs::core::http;
using context::alarm_type;
using context::zone_type;
using libs::core::timestamp;
using time_point = libs::core::timer::time_point;

constexpr int objects = 3;
constexpr int zones = 3;

// ---- a clock whose timers fire in order of their due time -------------------------------

class sim_timers : public libs::core::timers_manager {
public:
    struct entry {
        time_point due;
        std::string name;
        libs::core::timer::callback callback;
        bool armed = true;
    };
    class sim_timer : public libs::core::timer {
    public:
        explicit sim_timer(std::shared_ptr<entry> e) : m_entry(std::move(e)) {}
        ~sim_timer() override { m_entry->armed = false; }
        bool is_waiting() const override { return m_entry->armed; }
        void reset(time_point) override { throw std::logic_error("unexpected reset"); }
        void stop() override { m_entry->armed = false; }

    private:
        std::shared_ptr<entry> m_entry;
    };

    time_point current_time_point() const override { return m_now; }
    timestamp current_timestamp() const override {
        return timestamp(std::chrono::milliseconds(1'700'000'000'000)) +
               std::chrono::duration_cast<std::chrono::milliseconds>(m_now.time_since_epoch());
    }
    libs::core::timer::ptr create_timer(std::chrono::nanoseconds delay, const std::string& name,
                                        libs::core::timer::callback cb,
                                        libs::core::source_location) override {
        auto e = std::make_shared<entry>(entry{m_now + delay, name, std::move(cb)});
        m_timers.push_back(e);
        return std::make_unique<sim_timer>(e);
    }
    libs::core::timer::ptr create_timer(time_point, const std::string&, libs::core::timer::callback,
                                        libs::core::source_location) override {
        throw std::logic_error("unexpected absolute timer");
    }
    libs::core::periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds,
                                                          const std::string&,
                                                          libs::core::periodic_timer::callback,
                                                          libs::core::source_location) override {
        throw std::logic_error("unexpected periodic timer");
    }
    libs::core::periodic_timer::ptr create_periodic_timer(std::chrono::nanoseconds,
                                                          libs::core::periodic_timer::execute_now,
                                                          const std::string&,
                                                          libs::core::periodic_timer::callback,
                                                          libs::core::source_location) override {
        throw std::logic_error("unexpected periodic timer");
    }

    std::size_t armed_count() {
        m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(),
                                      [](const auto& t) { return !t->armed; }),
                       m_timers.end());
        return m_timers.size();
    }
    // Moves the clock to the earliest armed timer (one not re-sending and due
    // by the deadline, when asked) and fires it; false when there is none.
    // resending is true while a re-send timer's callback runs.
    bool fire_next(bool& resending, bool skip_resends = false,
                   std::optional<time_point> deadline = {}) {
        armed_count();
        std::shared_ptr<entry> next;
        for (const auto& t : m_timers)
            if ((!skip_resends || t->name != "histeresis timer") &&
                (!deadline || t->due <= *deadline) && (!next || t->due < next->due))
                next = t;
        if (!next)
            return false;
        m_now = std::max(m_now, next->due);
        next->armed = false;
        const auto cb = next->callback;
        resending = next->name == "histeresis timer";
        cb(m_now);
        resending = false;
        return true;
    }

private:
    time_point m_now{};
    std::vector<std::shared_ptr<entry>> m_timers;
};

// ---- the wire and the platform ---------------------------------------------------------

// Requests stay on the wire until the run resolves them, whether or not their
// sender still waits for the answer.
class sim_http : public http::client {
public:
    class handle_impl : public handle {
    public:
        bool is_complete() const override { return false; }
        void restart() override { throw std::logic_error("unexpected restart"); }
    };
    struct on_wire {
        std::string uid;
        Json::Value body;
        std::weak_ptr<handle_impl> handle;
    };

    http::result perform_request(http::method, std::string_view) override {
        throw std::logic_error("unexpected synchronous request");
    }
    http::result perform_request(http::method, std::string_view, std::string_view) override {
        throw std::logic_error("unexpected synchronous request");
    }
    handle::ptr perform_async_request(http::method, std::string, callback) override {
        throw std::logic_error("unexpected request without a body");
    }
    handle::ptr perform_async_request(http::method m, std::string address, std::string body,
                                      callback cb) override {
        auto h = perform_async_request(m, std::move(address), std::move(body));
        h->set_callback(std::move(cb));
        return h;
    }
    handle::ptr perform_async_request(http::method, std::string, std::string body) override {
        auto parsed = libs::core::json::try_parse(body);
        if (!parsed.ok)
            throw std::logic_error("body is not JSON: " + body);
        auto h = std::make_shared<handle_impl>();
        const auto& json = parsed.result;
        const auto uid =
            json["obj_uid"].asString() + ":" + json["additional_info"]["zone_uid"].asString();
        // Only a re-send may repeat what the platform has just confirmed.
        if (!resending && confirmed_last[uid] == what_it_carries(json))
            duplicate = "request of " + uid +
                        " repeats what the platform confirmed: " + what_it_carries(json);
        wire.push_back({uid, json, h});
        ++sent;
        return h;
    }
    static std::string what_it_carries(const Json::Value& body) {
        return body["additional_info"]["zone_violation_type"].asString() + " " +
               body["state"].asString();
    }

    std::vector<on_wire> wire;
    std::size_t sent = 0;
    // What the controller last heard confirmed, by uid; true while a re-send timer fires.
    std::map<std::string, std::string> confirmed_last;
    bool resending = false;
    std::string duplicate;
};

// What the platform holds: per alarm uid and kind, the last body it applied.
struct sim_platform {
    std::map<std::pair<std::string, std::string>, Json::Value> applied;

    void apply(const std::string& uid, const Json::Value& body) {
        applied[{uid, body["additional_info"]["zone_violation_type"].asString()}] = body;
    }
    bool is_set(const std::string& uid, alarm_type kind) const {
        const auto it = applied.find({uid, kind == alarm_type::ki ? "keep_in" : "keep_out"});
        return it != applied.end() && it->second["state"] == "set";
    }
};

// ---- steps -----------------------------------------------------------------------------

struct step {
    enum kind_of { set, clear, flip_zone, drop_mac, delete_object, answer, timer, rebuild } what;
    int a = 0, b = 0, c = 0;
};

const char* const step_names[] = {"set",           "clear",  "flip_zone", "drop_mac",
                                  "delete_object", "answer", "timer",     "rebuild"};
const char* const answer_names[] = {
    "200", "201", "404", "400", "422", "500 (applied)", "503", "302", "lost (applied)", "lost"};

std::string describe(const step& s) {
    std::ostringstream out;
    out << step_names[s.what];
    if (s.what == step::answer)
        out << " #" << s.a << " " << answer_names[s.b % 10];
    else
        out << " o" << s.a << " z" << s.b << " c" << s.c;
    return out.str();
}

std::string uid_of(int o, int z) {
    return "o" + std::to_string(o) + ":z" + std::to_string(z);
}

// One world: the context, the controller, the wire and the platform, and
// what the rules decided for each pair.
class world {
public:
    world() {
        for (int z = 0; z < zones; ++z)
            add_zone(z, z % 2 == 0 ? zone_type::KEEP_IN : zone_type::KEEP_OUT);
        for (int o = 0; o < objects; ++o)
            add_object(o, true);
        controller = std::make_unique<alarms_controller_impl>(ctx, wire, logger, clock, 60, 45);
    }

    // Applies one step; the failure of an invariant, or nothing.
    std::optional<std::string> run(const step& s) {
        switch (s.what) {
            case step::set:
                wish_set(s.a % objects, s.b % zones);
                break;
            case step::clear:
                wish_clear(s.a % objects, s.b % zones,
                           s.c % 2 == 0 ? alarm_type::ki : alarm_type::ko);
                break;
            case step::flip_zone:
                flip_zone(s.b % zones, s.c);
                break;
            case step::drop_mac:
                drop_mac(s.a % objects, s.c % 3 == 0);
                break;
            case step::delete_object:
                delete_object(s.a % objects);
                break;
            case step::answer:
                if (!wire.wire.empty())
                    resolve(static_cast<std::size_t>(s.a) % wire.wire.size(), s.b % 10);
                break;
            case step::timer:
                clock.fire_next(wire.resending);
                break;
            case step::rebuild:
                rebuild(s.c);
                break;
        }
        return check_step();
    }

    // The platform answers well from now on; then, within a few minutes (the
    // longest backoff is one), it must hold what was decided.
    std::optional<std::string> settle_and_check() {
        const auto before = wire.sent;
        const auto deadline = clock.current_time_point() + std::chrono::minutes(3);
        for (int round = 0; round < 10'000; ++round) {
            if (!wire.wire.empty())
                resolve(0, 0);
            else if (!clock.fire_next(wire.resending, true, deadline))
                break;
            if (auto failure = check_step())
                return failure;
        }
        if (!wire.wire.empty())
            return "requests still on the wire after the platform answered well";
        std::map<std::string, std::size_t> quiet_requests;
        for (int o = 0; o < objects; ++o) {
            for (int z = 0; z < zones; ++z) {
                const auto uid = uid_of(o, z);
                const auto found = wanted.find(uid);
                const bool any = found != wanted.end();
                const auto want = any ? found->second : alarm_type::ki;
                for (const auto kind : {alarm_type::ki, alarm_type::ko})
                    if (platform.is_set(uid, kind) != (any && want == kind))
                        return uid + ": the platform " +
                               (platform.is_set(uid, kind) ? "holds" : "lacks") + " the " +
                               (kind == alarm_type::ki ? "keep-in" : "keep-out") + " alarm";
                const auto stored = ctx.get_alarms().try_get(uid);
                if (any &&
                    (!stored || stored->get_state() != "set" || stored->get_alarm_type() != want))
                    return uid + ": the context does not hold the alarm that was decided";
                if (!any && (stored || controller->get_state(uid)))
                    return uid + ": forgotten alarm still held";
            }
        }
        if (controller->undelivered_count() != 0)
            return "alarms counted undelivered after the platform confirmed everything";
        if (wire.sent - before > 2 * static_cast<std::size_t>(objects * zones))
            return "too many requests once the platform answered well: " +
                   std::to_string(wire.sent - before);
        if (wire.sent > 2 * decisions + 2 * answers + resends_possible())
            return "more requests than decisions and failures explain: " +
                   std::to_string(wire.sent);
        return std::nullopt;
    }

private:
    void add_zone(int z, zone_type type) {
        site(ctx).add(a_zone("z" + std::to_string(z))
                          .name("Zone " + std::to_string(z))
                          .sublocation("s1")
                          .type(type)
                          .level(static_cast<std::uint32_t>(z + 1)));
    }
    void add_object(int o, bool with_mac) {
        site(ctx).add(an_object("o" + std::to_string(o))
                          .mac(with_mac ? std::optional<std::string>("aa:0" + std::to_string(o))
                                        : std::nullopt)
                          .sublocation("s1"));
    }
    zone_type type_of_zone(int z) const {
        return ctx.get_zones().get("z" + std::to_string(z)).get_type();
    }
    bool named(int o) const {
        const auto object = ctx.get_trackable_objects().try_get("o" + std::to_string(o));
        return object && object->get_mac_address();
    }
    timestamp now() const { return clock.current_timestamp(); }

    // What a correct generator does: raise the zone's kind for a named object.
    void wish_set(int o, int z) {
        ++decisions;
        const auto kind = type_of_zone(z) == zone_type::KEEP_IN ? alarm_type::ki : alarm_type::ko;
        const auto obj = "o" + std::to_string(o), zone = "z" + std::to_string(z);
        if (kind == alarm_type::ki) {
            controller->set_ki_alarm(obj, zone, boost::none, now());
        } else {
            const context::zone_event event =
                a_movement(obj, zone).at(now()).sublocation("s1").keep_out().position(o, z, 0);
            controller->set_ko_alarm(obj, zone, event, now());
        }
        if (named(o))
            wanted[uid_of(o, z)] = kind;
    }
    void wish_clear(int o, int z, alarm_type kind) {
        ++decisions;
        const auto obj = "o" + std::to_string(o), zone = "z" + std::to_string(z);
        if (kind == alarm_type::ki)
            controller->clear_ki_alarm(obj, zone, boost::none, now());
        else
            controller->clear_ko_alarm(obj, zone, boost::none, now());
        const auto it = wanted.find(uid_of(o, z));
        if (it != wanted.end() && it->second == kind)
            wanted.erase(it);
    }
    // The zone changes its kind; its alarms of the old kind are cleared, or
    // replaced at once by the new kind, or both.
    void flip_zone(int z, int how) {
        const auto old = type_of_zone(z);
        const auto old_kind = old == zone_type::KEEP_IN ? alarm_type::ki : alarm_type::ko;
        (*ctx.take_zones().try_get("z" + std::to_string(z), now()))
            ->set_type(old == zone_type::KEEP_IN ? zone_type::KEEP_OUT : zone_type::KEEP_IN);
        for (int o = 0; o < objects; ++o) {
            const auto it = wanted.find(uid_of(o, z));
            if (it == wanted.end() || it->second != old_kind)
                continue;
            if (how % 3 != 1)
                wish_clear(o, z, old_kind);
            if (how % 3 != 0)
                wish_set(o, z);
        }
    }
    void drop_mac(int o, bool restore) {
        if (restore) {
            add_object(o, true);
            return;
        }
        for (int z = 0; z < zones; ++z)
            if (const auto it = wanted.find(uid_of(o, z)); it != wanted.end())
                wish_clear(o, z, it->second);
        (*ctx.take_trackable_objects().try_get("o" + std::to_string(o), now()))
            ->set_mac_address(std::nullopt);
    }
    void delete_object(int o) {
        for (int z = 0; z < zones; ++z)
            if (const auto it = wanted.find(uid_of(o, z)); it != wanted.end())
                wish_clear(o, z, it->second);
        ctx.take_trackable_objects().remove("o" + std::to_string(o), now());
        add_object(o, true);  // created again at once, as a new tag
    }
    // The platform's open alarms, as a rebuild reads them, then what the
    // rules decide against them; sometimes with other re-send periods.
    void rebuild(int how) {
        context::writable_context listed;
        for (const auto& [key, body] : platform.applied) {
            if (body["state"] != "set")
                continue;
            const auto& info = body["additional_info"];
            site(listed).add(an_alarm(body["obj_uid"].asString(), info["zone_uid"].asString())
                                 .mac(body["mac_address"].asString())
                                 .name(body["alarm_name"].asString())
                                 .level(info["zone_alarm_level"].asUInt())
                                 .kind(key.second == "keep_in" ? alarm_type::ki : alarm_type::ko)
                                 .text(info["text"].asString())
                                 .at(now())
                                 .position(0, 0, 0),
                             now());
        }
        wire.confirmed_last.clear();  // the lists may say otherwise
        controller->reconcile_with_platform(listed.get_alarms());
        decisions += objects * zones;
        if (how % 2 == 0)
            controller->set_histeresis(how % 4 == 0 ? 0 : 30, 45);
        for (int o = 0; o < objects; ++o) {
            for (int z = 0; z < zones; ++z) {
                const auto uid = uid_of(o, z);
                const auto stored = ctx.get_alarms().try_get(uid);
                const auto it = wanted.find(uid);
                if (it != wanted.end()) {
                    if (!stored || stored->get_state() != "set" ||
                        stored->get_alarm_type() != it->second)
                        wish_set(o, z);
                } else if (stored && stored->get_state() == "set") {
                    wish_clear(o, z, stored->get_alarm_type());
                }
            }
        }
    }

    // Answers request i of the wire (2xx, 404, refusals, failures, and lost
    // answers of requests that did or did not reach the platform).
    void resolve(std::size_t i, int how) {
        const auto request = wire.wire[i];
        wire.wire.erase(wire.wire.begin() + static_cast<std::ptrdiff_t>(i));
        ++answers;
        std::optional<int> status;
        bool applied = false;
        switch (how) {
            case 0:
                status = 200, applied = true;
                break;
            case 1:
                status = 201, applied = true;
                break;
            case 2:
                status = 404, applied = true;
                break;
            case 3:
                status = 400;
                break;
            case 4:
                status = 422;
                break;
            case 5:
                status = 500, applied = true;
                break;
            case 6:
                status = 503;
                break;
            case 7:
                status = 302;
                break;
            case 8:
                applied = true;
                break;
            default:
                break;
        }
        if (applied)
            platform.apply(request.uid, request.body);
        const auto h = request.handle.lock();
        if (!h || !h->get_callback())
            return;
        const auto cb = h->get_callback();
        wire.confirmed_last[request.uid] =
            status && ((*status >= 200 && *status < 300) || *status == 404)
                ? sim_http::what_it_carries(request.body)
                : std::string();
        if (status && *status >= 200 && *status < 300)
            cb(http::result(status, std::string(), std::nullopt));
        else if (status)
            cb(http::result(status, std::nullopt, "status body"));
        else
            cb(http::result(std::nullopt, std::nullopt, "curl_easy_perform failed:Timeout"));
    }

    std::optional<std::string> check_step() {
        if (!wire.duplicate.empty())
            return wire.duplicate;
        std::map<std::string, int> on_wire;
        for (const auto& r : wire.wire)
            if (++on_wire[r.uid] > 1)
                return "two requests of " + r.uid + " on the wire at once";
        std::size_t held = 0;
        for (int o = 0; o < objects; ++o)
            for (int z = 0; z < zones; ++z)
                if (const auto* info = controller->get_info(uid_of(o, z)); info && info->m_timer)
                    held += info->m_timer->is_waiting();
        if (clock.armed_count() != held)
            return "a timer is pending that no alarm holds";
        return std::nullopt;
    }
    // Each re-send waits for the answer to the one before.
    std::size_t resends_possible() const { return answers + objects * zones; }

public:
    sim_timers clock;
    sim_http wire;
    sim_platform platform;
    context::writable_context ctx;
    libs::core::logger logger{"marovane-test", "simulation"};
    std::unique_ptr<alarms_controller_impl> controller;
    std::map<std::string, alarm_type> wanted;
    std::size_t decisions = 0;
    std::size_t answers = 0;
};

std::optional<std::string> run_trace(const std::vector<step>& trace) {
    world w;
    for (const auto& s : trace)
        if (auto failure = w.run(s))
            return failure;
    return w.settle_and_check();
}

std::vector<step> random_trace(std::uint32_t seed, std::size_t length) {
    std::mt19937 random(seed);
    // Answers and timers are the most frequent, as on a busy site.
    std::discrete_distribution<int> kinds({14, 10, 3, 2, 2, 34, 30, 2});
    std::uniform_int_distribution<int> any(0, 1'000);
    std::vector<step> trace;
    for (std::size_t i = 0; i < length; ++i)
        trace.push_back(
            {static_cast<step::kind_of>(kinds(random)), any(random), any(random), any(random)});
    return trace;
}

// The shortest trace found by dropping steps that the failure does not need.
std::vector<step> shrink(std::vector<step> trace) {
    for (std::size_t chunk = trace.size() / 2; chunk >= 1; chunk /= 2) {
        for (std::size_t begin = 0; begin + chunk <= trace.size();) {
            auto shorter = trace;
            shorter.erase(shorter.begin() + static_cast<std::ptrdiff_t>(begin),
                          shorter.begin() + static_cast<std::ptrdiff_t>(begin + chunk));
            if (run_trace(shorter))
                trace = std::move(shorter);
            else
                begin += chunk;
        }
    }
    return trace;
}

TEST(alarms_controller_simulation, platform_ends_up_with_what_was_decided) {
    constexpr std::uint32_t runs = 1'000;
    constexpr std::size_t steps = 100;
    for (std::uint32_t seed = 1; seed <= runs; ++seed) {
        const auto trace = random_trace(seed, steps);
        if (const auto failure = run_trace(trace)) {
            const auto shortest = shrink(trace);
            std::ostringstream text;
            text << "seed " << seed << ": " << *failure << "\nshortest trace (" << shortest.size()
                 << " steps), failing with: " << run_trace(shortest).value_or("?") << "\n";
            for (const auto& s : shortest)
                text << "  " << describe(s) << "\n";
            FAIL() << text.str();
        }
    }
}

}  // namespace
}  // namespace zentu::test
