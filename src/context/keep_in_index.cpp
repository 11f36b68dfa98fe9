#include "context/keep_in_index.hpp"
#include "context/protocol.hpp"

#include <algorithm>

#include "context/context.hpp"

namespace zentu::context {

namespace {

// Keeps a vector sorted by its pair's first member.
template <typename V, typename K>
auto find_sorted(V& v, const K& key) {
    return std::lower_bound(v.begin(), v.end(), key,
                            [](const auto& element, const K& k) { return element.first < k; });
}

}  // namespace

keep_in_index::keep_in_index(const context& ctx)
    : m_zones_subscription(ctx.get_zones().subscribe(*this)),
      m_objects_subscription(ctx.get_trackable_objects().subscribe(*this)),
      m_events_subscription(ctx.get_zone_events().subscribe(*this)) {}

void keep_in_index::expect_occupancy(const std::string& zone_uid, std::set<std::string> inside) {
    m_expected_occupancy[zone_uid] = std::move(inside);
}

keep_in_index::position keep_in_index::default_position(const object_state& object,
                                                        const zone_state& zone) const {
    return zone.listed_at && object.known_since <= *zone.listed_at ? position::outside
                                                                   : position::inside;
}

bool keep_in_index::has_move(const object_state& object, const zone_state& zone) const {
    const auto it = find_sorted(object.moves, zone.id);
    return it != object.moves.end() && it->first == zone.id;
}

keep_in_index::position keep_in_index::position_of(const object_state& object,
                                                   const zone_state& zone) const {
    const auto it = find_sorted(object.moves, zone.id);
    if (it != object.moves.end() && it->first == zone.id)
        return it->second;
    return default_position(object, zone);
}

bool keep_in_index::position_unknown(const object_state& object, const zone_state& zone) const {
    return zone.listed_at && object.known_since > *zone.listed_at && !has_move(object, zone);
}

bool keep_in_index::position_unknown(const object_state& object) const {
    const auto zones = m_keep_in_zones.find(object.object->get_project_uid());
    if (zones == m_keep_in_zones.end())
        return false;
    return std::any_of(zones->second.begin(), zones->second.end(), [&](const auto* zone) {
        return holds_in(zone->second.rule, *object.object) &&
               position_unknown(object, zone->second);
    });
}

bool keep_in_index::position_unknown(std::string_view obj_uid) const {
    const auto it = m_objects.find(obj_uid);
    return it != m_objects.end() && position_unknown(it->second);
}

std::vector<std::string> keep_in_index::take_unknown() {
    std::vector<std::string> out;
    for (const auto& uid : m_maybe_unknown)
        if (const auto it = m_objects.find(uid);
            it != m_objects.end() && position_unknown(it->second))
            out.push_back(uid);
    m_maybe_unknown.clear();
    return out;
}

bool keep_in_index::has_occupancy_list(std::string_view zone_uid) const {
    const auto it = m_zones.find(zone_uid);
    return it != m_zones.end() && it->second.listed_at.has_value();
}

void keep_in_index::carry_positions(const keep_in_index& from,
                                    const std::vector<std::string>& zone_uids) {
    // The zones by their id in the other index, with their state here; and
    // those that had a list there, whose default position means something.
    std::map<std::uint32_t, const zone_state*> by_id;
    std::vector<std::pair<const zone_state*, const zone_state*>> listed_there;
    for (const auto& uid : zone_uids) {
        const auto there = from.m_zones.find(uid);
        const auto here = m_zones.find(uid);
        if (there == from.m_zones.end() || here == m_zones.end())
            continue;
        by_id.emplace(there->second.id, &here->second);
        if (there->second.listed_at)
            listed_there.emplace_back(&there->second, &here->second);
    }
    if (by_id.empty())
        return;
    for (auto& entry : m_objects) {
        const std::string& uid = entry.first;
        object_state& object = entry.second;
        const auto there = from.m_objects.find(uid);
        if (there == from.m_objects.end())
            continue;
        bool moved = false;
        const auto take = [&](const zone_state& zone, position p) {
            if (position_of(object, zone) == p)
                return;
            moved = true;
            set_position(object, zone, p);
        };
        for (const auto& [id, p] : there->second.moves)
            if (const auto zone = by_id.find(id); zone != by_id.end())
                take(*zone->second, p);
        // Only keep-in zones of its project read a default position.
        for (const auto& [zone_there, zone_here] : listed_there)
            if (zone_here->rule.type == zone_type::KEEP_IN &&
                zone_here->rule.project_uid == object.project_uid &&
                !from.has_move(there->second, *zone_there))
                take(*zone_here, from.default_position(there->second, *zone_there));
        if (moved) {
            const bool left_before = has_left_all(object);
            recount(object);
            mark(uid, left_before, object, true);
        }
    }
}

keep_in_index::position keep_in_index::position_of(std::string_view obj_uid,
                                                   std::string_view zone_uid) const {
    const auto object = m_objects.find(obj_uid);
    const auto zone = m_zones.find(zone_uid);
    if (object == m_objects.end() || zone == m_zones.end())
        return position::inside;
    return position_of(object->second, zone->second);
}

keep_in_index::position_source keep_in_index::source_of(std::string_view obj_uid,
                                                        std::string_view zone_uid) const {
    const auto object = m_objects.find(obj_uid);
    const auto zone = m_zones.find(zone_uid);
    if (object == m_objects.end() || zone == m_zones.end())
        return position_source::no_list;
    if (has_move(object->second, zone->second))
        return position_source::movement;
    if (!zone->second.listed_at)
        return position_source::no_list;
    return object->second.known_since <= *zone->second.listed_at ? position_source::occupancy_list
                                                                 : position_source::not_listed;
}

bool keep_in_index::has_left_all(std::string_view obj_uid) const {
    const auto it = m_objects.find(obj_uid);
    return it != m_objects.end() && has_left_all(it->second);
}

std::vector<std::string> keep_in_index::zones_holding_in(std::string_view obj_uid) const {
    std::vector<std::string> out;
    const auto object = m_objects.find(obj_uid);
    if (object == m_objects.end())
        return out;
    const auto zones = m_keep_in_zones.find(object->second.object->get_project_uid());
    if (zones == m_keep_in_zones.end())
        return out;
    for (const auto* zone : zones->second)
        if (holds_in(zone->second.rule, *object->second.object))
            out.push_back(zone->first);
    return out;
}

std::vector<std::string> keep_in_index::keep_in_zones_of(std::string_view project_uid) const {
    std::vector<std::string> out;
    if (const auto zones = m_keep_in_zones.find(project_uid); zones != m_keep_in_zones.end())
        for (const auto* zone : zones->second)
            out.push_back(zone->first);
    return out;
}

std::optional<std::string> keep_in_index::first_keep_in_zone_left(std::string_view obj_uid) const {
    const auto object = m_objects.find(obj_uid);
    if (object == m_objects.end())
        return std::nullopt;
    const auto zones = m_keep_in_zones.find(object->second.object->get_project_uid());
    if (zones == m_keep_in_zones.end())
        return std::nullopt;
    for (const auto* zone : zones->second)
        if (position_of(object->second, zone->second) == position::outside)
            return zone->first;
    return std::nullopt;
}

std::vector<std::string> keep_in_index::take_changed() {
    std::vector<std::string> out(std::make_move_iterator(m_changed.begin()),
                                 std::make_move_iterator(m_changed.end()));
    m_changed.clear();
    return out;
}

void keep_in_index::swap_state(keep_in_index& other) noexcept {
    m_zones.swap(other.m_zones);
    m_objects.swap(other.m_objects);
    m_keep_in_zones.swap(other.m_keep_in_zones);
    m_expected_occupancy.swap(other.m_expected_occupancy);
    m_changed.swap(other.m_changed);
    m_maybe_unknown.swap(other.m_maybe_unknown);
    std::swap(m_epoch, other.m_epoch);
    std::swap(m_next_zone_id, other.m_next_zone_id);
}

void keep_in_index::mark(const std::string& obj_uid, bool left_before, const object_state& after,
                         bool zones_changed) {
    const bool left_after = has_left_all(after);
    if (left_before != left_after || (zones_changed && (left_before || left_after)))
        m_changed.insert(obj_uid);
}

void keep_in_index::set_position(object_state& object, const zone_state& zone, position p) {
    const auto it = find_sorted(object.moves, zone.id);
    const bool stored = it != object.moves.end() && it->first == zone.id;
    // Where the zone's list did not know the object, a movement is kept even
    // when it says what the default says: it makes the position known.
    const bool known_by_default = !(zone.listed_at && object.known_since > *zone.listed_at);
    if (p == default_position(object, zone) && known_by_default) {
        if (stored)
            object.moves.erase(it);
    } else if (stored) {
        it->second = p;
    } else {
        object.moves.insert(it, {zone.id, p});
    }
}

void keep_in_index::recount(object_state& object) {
    object.holding_zones = 0;
    object.inside = 0;
    const auto zones = m_keep_in_zones.find(object.object->get_project_uid());
    if (zones == m_keep_in_zones.end())
        return;
    for (const auto* zone : zones->second) {
        if (!holds_in(zone->second.rule, *object.object))
            continue;
        ++object.holding_zones;
        if (position_of(object, zone->second) == position::inside)
            ++object.inside;
    }
}

void keep_in_index::count_deferred() {
    if (!std::exchange(m_counts_stale, false))
        return;
    for (auto& [uid, object] : m_objects) {
        const bool left_before = has_left_all(object);
        recount(object);
        mark(uid, left_before, object, true);
    }
}

// ---- zones ------------------------------------------------------------------------

void keep_in_index::add_keep_in(const zones_map::value_type& zone) {
    if (zone.second.rule.type != zone_type::KEEP_IN)
        return;
    auto& list = m_keep_in_zones[zone.second.rule.project_uid];
    list.insert(
        std::lower_bound(list.begin(), list.end(), zone.first,
                         [](const auto* z, const std::string& uid) { return z->first < uid; }),
        &zone);
}

void keep_in_index::remove_keep_in(const zones_map::value_type& zone) {
    const auto list = m_keep_in_zones.find(zone.second.rule.project_uid);
    if (list == m_keep_in_zones.end())
        return;
    auto& zones = list->second;
    zones.erase(std::remove(zones.begin(), zones.end(), &zone), zones.end());
    if (zones.empty())
        m_keep_in_zones.erase(list);
}

void keep_in_index::after_creating(const zone& z, timestamp) {
    const auto [it, inserted] = m_zones.try_emplace(
        z.get_uid(), zone_state{m_next_zone_id, keep_in_terms(z), std::nullopt});
    if (!inserted)
        return;
    ++m_next_zone_id;
    auto& zone = it->second;
    if (const auto expected = m_expected_occupancy.find(z.get_uid());
        expected != m_expected_occupancy.end()) {
        zone.listed_at = m_epoch;
        for (const auto& obj_uid : expected->second)
            if (const auto object = m_objects.find(obj_uid); object != m_objects.end())
                set_position(object->second, zone, position::inside);
        m_expected_occupancy.erase(expected);
    }
    add_keep_in(*it);
    if (zone.rule.type != zone_type::KEEP_IN || !zone.rule.active)
        return;
    if (m_counts_deferred) {
        m_counts_stale = true;
        return;
    }
    for (auto& [uid, object] : m_objects) {
        if (!holds_in(zone.rule, *object.object))
            continue;
        const bool left_before = has_left_all(object);
        ++object.holding_zones;
        if (position_of(object, zone) == position::inside)
            ++object.inside;
        mark(uid, left_before, object, true);
    }
}

void keep_in_index::after_updating(const zone& z, timestamp) {
    count_deferred();
    const auto it = m_zones.find(z.get_uid());
    if (it == m_zones.end()) {
        after_creating(z, {});
        return;
    }
    keep_in_terms rule(z);
    auto& zone = it->second;
    if (rule == zone.rule)
        return;
    remove_keep_in(*it);
    const keep_in_terms before = std::exchange(zone.rule, std::move(rule));
    add_keep_in(*it);
    for (auto& [uid, object] : m_objects) {
        const bool held_before = holds_in(before, *object.object);
        const bool held_now = holds_in(zone.rule, *object.object);
        if (held_before == held_now)
            continue;
        const bool left_before = has_left_all(object);
        const int inside = position_of(object, zone) == position::inside ? 1 : 0;
        if (held_now) {
            ++object.holding_zones;
            object.inside += inside;
            if (position_unknown(object, zone))
                m_maybe_unknown.insert(uid);
        } else {
            --object.holding_zones;
            object.inside -= inside;
        }
        mark(uid, left_before, object, true);
    }
}

void keep_in_index::before_deleting(const zone& z, timestamp) {
    count_deferred();
    const auto it = m_zones.find(z.get_uid());
    if (it == m_zones.end())
        return;
    const auto& zone = it->second;
    for (auto& [uid, object] : m_objects) {
        if (holds_in(zone.rule, *object.object)) {
            const bool left_before = has_left_all(object);
            --object.holding_zones;
            if (position_of(object, zone) == position::inside)
                --object.inside;
            mark(uid, left_before, object, true);
        }
        const auto move = find_sorted(object.moves, zone.id);
        if (move != object.moves.end() && move->first == zone.id)
            object.moves.erase(move);
    }
    remove_keep_in(*it);
    m_zones.erase(it);
}

// ---- trackable objects ------------------------------------------------------------

void keep_in_index::after_creating(const trackable_object& o, timestamp) {
    const auto [it, inserted] = m_objects.try_emplace(
        o.get_uid(), object_state{&o, ++m_epoch, o.get_project_uid(), o.get_groups(), {}});
    if (!inserted)
        return;
    recount(it->second);
    mark(it->first, false, it->second, true);
    if (position_unknown(it->second))
        m_maybe_unknown.insert(it->first);
}

void keep_in_index::after_updating(const trackable_object& o, timestamp) {
    count_deferred();
    const auto it = m_objects.find(o.get_uid());
    if (it == m_objects.end()) {
        after_creating(o, {});
        return;
    }
    auto& object = it->second;
    object.object = &o;
    if (o.get_project_uid() == object.project_uid && o.get_groups() == object.groups)
        return;
    // In another project it is as new: the lists of its new zones never knew it.
    if (o.get_project_uid() != object.project_uid)
        object.known_since = ++m_epoch;
    object.project_uid = o.get_project_uid();
    object.groups = o.get_groups();
    const bool left_before = has_left_all(object);
    recount(object);
    mark(it->first, left_before, object, true);
    if (position_unknown(object))
        m_maybe_unknown.insert(it->first);
}

void keep_in_index::before_deleting(const trackable_object& o, timestamp) {
    count_deferred();
    if (const auto it = m_objects.find(o.get_uid()); it != m_objects.end())
        m_objects.erase(it);
    m_changed.erase(o.get_uid());
    m_maybe_unknown.erase(o.get_uid());
}

// ---- zone events ------------------------------------------------------------------

void keep_in_index::after_creating(const zone_event& event, timestamp ts) {
    after_updating(event, ts);
}

void keep_in_index::after_updating(const zone_event& event, timestamp) {
    const auto object = m_objects.find(event.get_obj_uid());
    const auto zone = m_zones.find(event.get_zone_uid());
    if (object == m_objects.end() || zone == m_zones.end())
        return;
    auto& state = object->second;
    const position now =
        event.get_action() == protocol::enter ? position::inside : position::outside;
    const position before = position_of(state, zone->second);
    if (now == before) {
        // Unknown until now, though the default guessed right.
        if (position_unknown(state, zone->second))
            set_position(state, zone->second, now);
        return;
    }
    set_position(state, zone->second, now);
    // While counts are deferred, the count at the end takes the position in.
    if (m_counts_stale || !holds_in(zone->second.rule, *state.object))
        return;
    const bool left_before = has_left_all(state);
    if (now == position::inside)
        ++state.inside;
    else
        --state.inside;
    mark(object->first, left_before, state, false);
}

void keep_in_index::before_deleting(const zone_event&, timestamp) {}

}  // namespace zentu::context
