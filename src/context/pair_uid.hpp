#pragma once

#include <string>
#include <string_view>

namespace zentu::context {

// The uid that the alarm and the zone event of one object in one zone share:
// the object uid, ":" and the zone uid, nothing escaped. Uids may hold ":"
// themselves, so whoever finds pairs by their prefix checks each one's object.

// Writes the pair's uid into out, whose buffer is reused.
inline void assign_pair_uid(std::string& out, std::string_view obj_uid, std::string_view zone_uid) {
    out.reserve(obj_uid.size() + 1 + zone_uid.size());
    out.assign(obj_uid).append(1, ':').append(zone_uid);
}

inline std::string pair_uid(std::string_view obj_uid, std::string_view zone_uid) {
    std::string uid;
    assign_pair_uid(uid, obj_uid, zone_uid);
    return uid;
}

// What the uids of every pair of the object begin with.
inline void assign_pair_prefix(std::string& out, std::string_view obj_uid) {
    out.assign(obj_uid).append(1, ':');
}

inline std::string pair_prefix(std::string_view obj_uid) {
    std::string prefix;
    assign_pair_prefix(prefix, obj_uid);
    return prefix;
}

}  // namespace zentu::context
