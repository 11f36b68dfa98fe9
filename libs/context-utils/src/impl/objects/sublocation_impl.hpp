#pragma once

#include "context_utils/objects/sublocation.hpp"
#include "objects/model_json.hpp"

namespace zentu::libs::context_utils::objects {

class sublocation_impl : public sublocation, private model_json {
public:
    explicit sublocation_impl(const json_template<_json_object_tag>& object) : model_json(object) {}
    explicit sublocation_impl(const json_template<_json_notify_tag>& notify) : model_json(notify) {}

    const std::string& get_uid() const override;
    timestamp get_updated_at() const override;
    const std::optional<std::string>& get_name() const override;
    const std::optional<std::string>& get_project_name() const override;
    const std::optional<std::string>& get_project_uid() const override;
    const std::optional<std::string>& get_company_uid() const override;
    const std::optional<std::string>& get_location_uid() const override;
    std::optional<unsigned> get_id() const override;
    std::optional<int> get_offset_x() const override;
    std::optional<int> get_offset_y() const override;
    std::optional<int> get_offset_z() const override;

private:
    lazy_value<string_value> m_uid;
    lazy_value<optional_value<string_value>> m_name;
    lazy_value<optional_value<string_value>> m_project_name;
    lazy_value<optional_value<string_value>> m_project_uid;
    lazy_value<optional_value<string_value>> m_company_uid;
    lazy_value<optional_value<string_value>> m_location_uid;
    lazy_value<optional_value<unumeric_value>> m_id;
    lazy_value<optional_value<numeric_value>> m_offset_x;
    lazy_value<optional_value<numeric_value>> m_offset_y;
    lazy_value<optional_value<numeric_value>> m_offset_z;
};

}  // namespace zentu::libs::context_utils::objects
