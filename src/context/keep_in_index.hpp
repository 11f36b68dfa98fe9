#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "context/alarm_rules.hpp"
#include "context/trackableobject.hpp"
#include "context/zone.hpp"
#include "context/zone_event.hpp"
#include "context_utils/objects_repository.hpp"

namespace zentu::context {

class context;

// Where every trackable object is relative to the zones, and, per object, how
// many of the zones that hold it in (holds_in, the zone's side of the keep-in
// rule in alarm_rules.hpp) it is inside of, so the keep-in state reads in
// constant time: an object has left them all when at least one holds it in
// and it is inside none.
//
// A pair without a movement of its own takes its position from the zone's
// occupancy list, when the zone came with one: listed objects are inside,
// every other object known at that moment is outside. Objects created later
// (or moved to another project since), and zones that came without a list,
// count as inside until the object moves: nothing raises an alarm on a
// position the service never learnt. Those of the first kind are told
// (take_unknown) so that the owner can fetch the lists again. Positions
// outlive the zone events that carried them (a keep-out "leave" event leaves
// the context, its position stays), and only movements that differ from that
// default are stored, so memory grows with objects, zones and real movements,
// not with their product.
//
// It is the first observer of its context's zones, trackable objects and zone
// events, so the rules that observe after it read the state after the change.
// Movements of objects or zones it does not know are not kept.
//
// Threading: the thread that owns the context (the events loop for the
// running service).
class keep_in_index : public libs::context_utils::objects_repository<zone>::observer,
                      public libs::context_utils::objects_repository<trackable_object>::observer,
                      public libs::context_utils::objects_repository<zone_event>::observer {
public:
    using timestamp = libs::core::timestamp;
    enum class position : std::uint8_t { inside, outside };
    // What a position rests on.
    enum class position_source : std::uint8_t {
        movement,        // a movement of the object's own
        occupancy_list,  // the zone's occupancy list: listed inside, else outside
        not_listed,      // the list was read before the object was known: counted inside
        no_list,         // the zone came without a list: counted inside until it moves
    };

    explicit keep_in_index(const context& ctx);
    keep_in_index(const keep_in_index&) = delete;
    keep_in_index& operator=(const keep_in_index&) = delete;

    // The occupancy list of a zone that is about to be added: the listed
    // objects are inside it, every object known now is outside.
    void expect_occupancy(const std::string& zone_uid, std::set<std::string> inside);

    position position_of(std::string_view obj_uid, std::string_view zone_uid) const;
    // What position_of rests on; no_list for an object or zone it does not know.
    position_source source_of(std::string_view obj_uid, std::string_view zone_uid) const;
    // At least one active keep-in zone applies to the object and it is inside
    // none of them (its responsiveness is not looked at).
    bool has_left_all(std::string_view obj_uid) const;
    // The active keep-in zones that apply to the object, in uid order.
    std::vector<std::string> zones_holding_in(std::string_view obj_uid) const;
    // Every keep-in zone of the project, in uid order, whether it applies or not.
    std::vector<std::string> keep_in_zones_of(std::string_view project_uid) const;
    // The first keep-in zone of the object's project, in uid order, that it
    // is outside of, whether it is active and applies or not.
    std::optional<std::string> first_keep_in_zone_left(std::string_view obj_uid) const;

    // Objects whose keep-in state changed since the last call (they left all
    // their zones or came back, or, while outside, the zones that apply to
    // them changed), in uid order; the list is emptied.
    std::vector<std::string> take_changed();

    // Whether an active keep-in zone that applies to the object came with an
    // occupancy list that did not know the object (created or moved to the
    // zone's project later) and the object has not entered or left it since:
    // fresh lists would tell where it is.
    bool position_unknown(std::string_view obj_uid) const;
    // The objects whose position became unknown as above since the last
    // call and still is, in uid order; the list is emptied.
    std::vector<std::string> take_unknown();

    // Whether the zone came with an occupancy list.
    bool has_occupancy_list(std::string_view zone_uid) const;
    // Takes, for the given zones, where the other index knows the objects
    // that both know to be (a movement of their own, or its zone's occupancy
    // list): for zones whose latest list entry carried no occupancy, what was
    // learnt before stays true.
    void carry_positions(const keep_in_index& from, const std::vector<std::string>& zone_uids);

    // While a whole list of zones is loaded, each zone would walk every object
    // (zones times objects, out of cache at scale); instead, until the scope
    // ends, created zones are only indexed and movements only placed, and
    // every object is counted once at its end or before a zone or an object
    // is changed or deleted. Objects are marked as
    // by one change of all their zones: whoever takes a loaded context over
    // settles every object anyway.
    class deferred_counts {
    public:
        explicit deferred_counts(keep_in_index& index) : m_index(index) {
            m_index.m_counts_deferred = true;
        }
        ~deferred_counts() {
            m_index.count_deferred();
            m_index.m_counts_deferred = false;
        }
        deferred_counts(const deferred_counts&) = delete;
        deferred_counts& operator=(const deferred_counts&) = delete;

    private:
        keep_in_index& m_index;
    };

    // Exchanges the indexed state with another index whose context exchanged
    // its contents with this one's; subscriptions stay where they are.
    void swap_state(keep_in_index& other) noexcept;

    void after_creating(const zone& z, timestamp ts) override;
    void after_updating(const zone& z, timestamp ts) override;
    void before_deleting(const zone& z, timestamp ts) override;
    void after_creating(const trackable_object& object, timestamp ts) override;
    void after_updating(const trackable_object& object, timestamp ts) override;
    void before_deleting(const trackable_object& object, timestamp ts) override;
    void after_creating(const zone_event& event, timestamp ts) override;
    void after_updating(const zone_event& event, timestamp ts) override;
    void before_deleting(const zone_event& event, timestamp ts) override;

private:
    struct zone_state {
        std::uint32_t id;
        // What the keep-in rule reads of the zone, to tell which updates matter.
        keep_in_terms rule;
        // The epoch of its occupancy list; objects known by then are outside
        // unless they moved.
        std::optional<std::uint64_t> listed_at;
    };
    struct object_state {
        // Points into the context's repository: the index hears of every
        // change before the object could go.
        const trackable_object* object;
        std::uint64_t known_since;
        // What the zones' rules read of it, to tell which updates matter.
        std::string project_uid;
        std::set<std::string> groups;
        // Positions that differ from the default, by zone id.
        std::vector<std::pair<std::uint32_t, position>> moves;
        std::uint32_t holding_zones = 0;
        std::uint32_t inside = 0;
    };
    using zones_map = std::map<std::string, zone_state, std::less<>>;
    using objects_map = std::map<std::string, object_state, std::less<>>;

    static bool has_left_all(const object_state& state) {
        return state.holding_zones > 0 && state.inside == 0;
    }
    position default_position(const object_state& object, const zone_state& zone) const;
    bool has_move(const object_state& object, const zone_state& zone) const;
    bool position_unknown(const object_state& object, const zone_state& zone) const;
    bool position_unknown(const object_state& object) const;
    position position_of(const object_state& object, const zone_state& zone) const;
    void set_position(object_state& object, const zone_state& zone, position p);
    // Counts every object anew if zones were created uncounted.
    void count_deferred();
    void recount(object_state& object);
    void add_keep_in(const zones_map::value_type& zone);
    void remove_keep_in(const zones_map::value_type& zone);
    void mark(const std::string& obj_uid, bool left_before, const object_state& after,
              bool zones_changed);

    zones_map m_zones;
    objects_map m_objects;
    // Keep-in zones by project, in uid order; the pointers stay valid as map
    // nodes do.
    std::map<std::string, std::vector<const zones_map::value_type*>, std::less<>> m_keep_in_zones;
    std::map<std::string, std::set<std::string>, std::less<>> m_expected_occupancy;
    std::set<std::string> m_changed;
    // Zones were created without counting their objects (deferred_counts).
    bool m_counts_deferred = false;
    bool m_counts_stale = false;
    // Objects whose position may have become unknown (see take_unknown).
    std::set<std::string> m_maybe_unknown;
    std::uint64_t m_epoch = 0;
    std::uint32_t m_next_zone_id = 0;
    libs::context_utils::objects_repository<zone>::subscription_handle m_zones_subscription;
    libs::context_utils::objects_repository<trackable_object>::subscription_handle
        m_objects_subscription;
    libs::context_utils::objects_repository<zone_event>::subscription_handle m_events_subscription;
};

}  // namespace zentu::context
