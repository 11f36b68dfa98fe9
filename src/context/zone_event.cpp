#include "context/zone_event.hpp"

namespace zentu::context {

zone_event::zone_event(std::string uid, timestamp ts, std::string obj_uid,
                       std::string sublocation_uid, std::string project_uid, std::string zone_uid,
                       zone_type type, std::string action, std::int32_t x, std::int32_t y,
                       std::int32_t z)
    : m_uid(std::move(uid)),
      m_ts(ts),
      m_obj_uid(std::move(obj_uid)),
      m_sublocation_uid(std::move(sublocation_uid)),
      m_project_uid(std::move(project_uid)),
      m_zone_uid(std::move(zone_uid)),
      m_zone_type(type),
      m_action(std::move(action)),
      m_x(x),
      m_y(y),
      m_z(z) {}

}  // namespace zentu::context
