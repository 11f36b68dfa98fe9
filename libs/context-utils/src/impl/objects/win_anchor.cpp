#include "objects/win_anchor_impl.hpp"
#include "walk.hpp"

namespace zentu::libs::context_utils::objects {

bool win_anchor_impl::node_impl::get_responsive() const {
    return m_responsive.get(m_json_value, "responsive");
}

const std::string& win_anchor_impl::node_impl::get_mac_address() const {
    return m_mac_address.get(m_json_value, "mac_address");
}

unsigned win_anchor_impl::node_impl::get_node_id() const {
    return m_node_id.get(m_json_value, "node_id");
}

int win_anchor_impl::position_impl::get_x() const {
    return m_x.get(m_json_value, "x");
}

int win_anchor_impl::position_impl::get_y() const {
    return m_y.get(m_json_value, "y");
}

int win_anchor_impl::position_impl::get_z() const {
    return m_z.get(m_json_value, "z");
}

const std::string& win_anchor_impl::get_uid() const {
    return m_uid.get(m_json_value, "uid");
}

const std::string& win_anchor_impl::get_name() const {
    return m_name.get(m_json_value, "name");
}

boost::optional<const win_anchor::node&> win_anchor_impl::get_node() const {
    return detail::optional_ref<node>(m_node.get(m_json_value, "node"));
}

const std::string& win_anchor_impl::get_sublocation_uid() const {
    return m_sublocation_uid.get(m_json_value, "sublocation_uid");
}

const std::string& win_anchor_impl::get_project_uid() const {
    return m_project_uid.get(m_json_value, "project_uid");
}

const std::string& win_anchor_impl::get_company_uid() const {
    return m_company_uid.get(m_json_value, "company_uid");
}

boost::optional<const win_anchor::position&> win_anchor_impl::get_position() const {
    return detail::optional_ref<position>(m_position.get(m_json_value, "position"));
}

timestamp win_anchor_impl::get_updated_at() const {
    return updated_at();
}

win_anchor::ptr win_anchor::create(const json_object& element) {
    return std::make_unique<win_anchor_impl>(element);
}

win_anchor::ptr win_anchor::create(const json_notify& notify) {
    return std::make_unique<win_anchor_impl>(notify);
}

}  // namespace zentu::libs::context_utils::objects
