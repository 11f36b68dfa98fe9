#pragma once

#include <json/value.h>

#include "context_utils/parsers/pos.hpp"

namespace zentu::libs::context_utils::parsers {

// Holds a reference only; the message must outlive the view.
class pos_impl : public pos {
public:
    explicit pos_impl(const Json::Value& json) : m_json_value(json) {}

    std::string_view get_trackable_uid() const override;
    timestamp get_ts() const override;
    int get_x() const override;
    int get_y() const override;
    int get_z() const override;
    std::string_view get_type() const override;
    std::string_view get_sublocation_uid() const override;
    unsigned get_fom() const override;
    std::string_view get_mac() const override;

private:
    const Json::Value& m_json_value;
};

}  // namespace zentu::libs::context_utils::parsers
