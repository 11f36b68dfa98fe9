#include "context/alarm.hpp"

namespace zentu::context {

alarm::alarm(std::string uid, std::string trobject_uid, std::optional<std::string> sublocation_uid,
             std::string zone_uid, std::string mac_address, std::string alarm_name,
             std::uint32_t zone_alarm_level, alarm_type type, std::string alarm_text,
             std::string state, timestamp ts, coordinate x, coordinate y, coordinate z)
    : m_uid(std::move(uid)),
      m_trobject_uid(std::move(trobject_uid)),
      m_sublocation_uid(std::move(sublocation_uid)),
      m_zone_uid(std::move(zone_uid)),
      m_mac_address(std::move(mac_address)),
      m_alarm_name(std::move(alarm_name)),
      m_zone_alarm_level(zone_alarm_level),
      m_alarm_type(type),
      m_alarm_text(std::move(alarm_text)),
      m_state(std::move(state)),
      m_timestamp(ts),
      m_x(x),
      m_y(y),
      m_z(z) {}

}  // namespace zentu::context
