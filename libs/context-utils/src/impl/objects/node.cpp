#include "objects/node_impl.hpp"
#include "walk.hpp"

namespace zentu::libs::context_utils::objects {

bool node_impl::status_impl::get_ext_pow() const {
    return m_ext_pow.get(m_json_value, "ext_pow");
}

const std::string& node_impl::get_uid() const {
    return m_uid.get(m_json_value, "uid");
}

const std::string& node_impl::get_mac_address() const {
    return m_mac_address.get(m_json_value, "mac_address");
}

timestamp node_impl::get_updated_at() const {
    return updated_at();
}

boost::optional<const node::status&> node_impl::get_status() const {
    return detail::optional_ref<status>(m_status.get(m_json_value, "status"));
}

node::ptr node::create(const json_object& element) {
    return std::make_unique<node_impl>(element);
}

node::ptr node::create(const json_notify& notify) {
    return std::make_unique<node_impl>(notify);
}

}  // namespace zentu::libs::context_utils::objects
