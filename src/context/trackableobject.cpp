#include "context/trackableobject.hpp"

namespace zentu::context {

trackable_object::trackable_object(std::string uid, bool responsive,
                                   std::optional<std::string> mac_address, std::string project_uid,
                                   std::optional<std::string> sublocation_uid, timestamp ts,
                                   std::optional<std::string> self_zone_uid, uids groups)
    : m_uid(std::move(uid)),
      m_responsive(responsive),
      m_mac_address(std::move(mac_address)),
      m_project_uid(std::move(project_uid)),
      m_sublocation_uid(std::move(sublocation_uid)),
      m_ts(ts),
      m_self_zone_uid(std::move(self_zone_uid)),
      m_groups(std::move(groups)) {}

}  // namespace zentu::context
