#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace zentu::platform_sim {

enum class list_kind { zones, trackable_objects, win_anchors, sublocations, alarms, nodes };

struct list_info {
    list_kind kind;
    std::string_view path;
    std::string_view name;
};

inline constexpr std::array<list_info, 6> lists{{
    {list_kind::zones, "/api/private/zones/", "zones"},
    {list_kind::trackable_objects, "/api/private/track_obj/", "trackableObjects"},
    {list_kind::win_anchors, "/api/private/win_anchors/", "win_anchors"},
    {list_kind::sublocations, "/api/private/sublocations/", "sublocations"},
    {list_kind::alarms, "/api/private/alarms/", "alarms"},
    {list_kind::nodes, "/api/private/nodes/", "nodes"},
}};

inline constexpr std::string_view alarm_types_path = "/api/private/alarm_types/";
inline constexpr std::string_view alarm_types_name = "alarm_types";
inline constexpr std::string_view alarms_path = "/api/private/alarms/";

inline const list_info& info_of(list_kind kind) {
    return lists[static_cast<int>(kind)];
}

inline std::optional<list_info> find_list_by_path(std::string_view path) {
    for (const auto& info : lists)
        if (info.path == path)
            return info;
    return std::nullopt;
}

}  // namespace zentu::platform_sim
