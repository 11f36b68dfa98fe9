#include "context/zone.hpp"

namespace zentu::context {

zone::zone(std::string uid, std::string name, std::string project_uid,
           std::optional<std::string> sublocation_uid, bool active, zone_shape shape,
           zone_type type, std::uint32_t alarm_level, bool default_allowed, timestamp ts,
           std::optional<std::string> trackable_object_uid, uids exceptions, uids exceptions_groups)
    : m_uid(std::move(uid)),
      m_name(std::move(name)),
      m_project_uid(std::move(project_uid)),
      m_sublocation_uid(std::move(sublocation_uid)),
      m_active(active),
      m_shape(shape),
      m_type(type),
      m_alarm_level(alarm_level),
      m_default_allowed(default_allowed),
      m_ts(ts),
      m_trackable_object_uid(std::move(trackable_object_uid)),
      m_exceptions(std::move(exceptions)),
      m_exceptions_groups(std::move(exceptions_groups)) {}

}  // namespace zentu::context
