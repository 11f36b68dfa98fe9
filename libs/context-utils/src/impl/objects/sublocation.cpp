#include "objects/sublocation_impl.hpp"

namespace zentu::libs::context_utils::objects {

const std::string& sublocation_impl::get_uid() const {
    return m_uid.get(m_json_value, "uid");
}

timestamp sublocation_impl::get_updated_at() const {
    return updated_at();
}

const std::optional<std::string>& sublocation_impl::get_name() const {
    return m_name.get(m_json_value, "name");
}

const std::optional<std::string>& sublocation_impl::get_project_name() const {
    return m_project_name.get(m_json_value, "project_name");
}

const std::optional<std::string>& sublocation_impl::get_project_uid() const {
    return m_project_uid.get(m_json_value, "project_uid");
}

const std::optional<std::string>& sublocation_impl::get_company_uid() const {
    return m_company_uid.get(m_json_value, "company_uid");
}

const std::optional<std::string>& sublocation_impl::get_location_uid() const {
    return m_location_uid.get(m_json_value, "location_uid");
}

std::optional<unsigned> sublocation_impl::get_id() const {
    return m_id.get(m_json_value, "id");
}

std::optional<int> sublocation_impl::get_offset_x() const {
    return m_offset_x.get(m_json_value, "offset_x");
}

std::optional<int> sublocation_impl::get_offset_y() const {
    return m_offset_y.get(m_json_value, "offset_y");
}

std::optional<int> sublocation_impl::get_offset_z() const {
    return m_offset_z.get(m_json_value, "offset_z");
}

sublocation::ptr sublocation::create(const json_object& element) {
    return std::make_unique<sublocation_impl>(element);
}

sublocation::ptr sublocation::create(const json_notify& notify) {
    return std::make_unique<sublocation_impl>(notify);
}

}  // namespace zentu::libs::context_utils::objects
