#pragma once

#include <json/value.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zentu::test_kit::platform {

// The platform's JSON for tests of every layer: records of its REST lists
// (the same as a notification's "plist"), the lists themselves, "notify"
// messages and the stream's "zone_event" messages. Every member has a
// default and a test names only what matters to it, e.g.
//
//   list("zones", {zone_record("KI").project("P").inside("A")})
//   notify("ZONE", "updated", zone_record("KO").type("keep_out"))
//   zone_event_message("B", "KO").type("keep_out").set("x", 1.5)
//
// set() and without() reach any member, also to make a record malformed.

class record {
public:
    record& set(const std::string& member, Json::Value value);
    record& without(const std::string& member);

    const Json::Value& json() const noexcept { return m_json; }
    std::string text() const;
    operator std::string() const { return text(); }  // NOLINT(google-explicit-constructor)

protected:
    Json::Value m_json{Json::objectValue};
};

// A zone of project "p1" named "Zone <uid>" in sublocation "s1": an active
// keep-in polygon of alarm level 2, excepting nobody, updated at
// 2021-03-04T05:06:07.089Z, whose occupancy list holds nobody.
class zone_record : public record {
public:
    explicit zone_record(const std::string& uid);

    zone_record& project(const std::string& uid);
    // The zone's "zone_type_name", e.g. "keep_out".
    zone_record& type(const std::string& name);
    // An object in its occupancy list, entered at the zone's own time.
    zone_record& inside(const std::string& obj_uid, int x = 1, int y = 2, int z = 3);
    // No occupancy list at all ("trackables_in_zone" absent).
    zone_record& without_occupancy();
};

// A responsive object of project "p1" with MAC "aa:<uid>", in sublocation
// "s1", in no group, updated at 2021-03-04T05:06:07.000Z.
class object_record : public record {
public:
    explicit object_record(const std::string& uid);

    object_record& project(const std::string& uid);
    object_record& groups(const std::vector<std::string>& groups);
};

// An "enter" of the object into the zone, a keep-in zone of project "p1", in
// sublocation "s1" at (1, 2, 3), at 1700000000 s and 7 ms.
class zone_event_message : public record {
public:
    zone_event_message(const std::string& obj_uid, const std::string& zone_uid);

    zone_event_message& action(const std::string& action);
    zone_event_message& leave() { return action("leave"); }
    // The zone's "zone_type_name", e.g. "keep_out".
    zone_event_message& type(const std::string& name);
    zone_event_message& project(const std::string& uid);
    zone_event_message& sublocation(const std::string& uid);
};

// A "notify" message: the kind of object (e.g. "ZONE"), the action, the
// record, and the time of the change.
std::string notify(const std::string& object, const std::string& action, const std::string& plist,
                   std::int64_t ts = 1700000000, int ms = 5);

// A REST list answer: {"<member>": [records...]}.
std::string list(const std::string& member, const std::vector<std::string>& records);

}  // namespace zentu::test_kit::platform
