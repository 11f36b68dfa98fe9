#pragma once

#include <json/forwards.h>

#include <memory>
#include <string_view>

#include "context_utils/types.hpp"

namespace zentu::libs::context_utils::parsers {

// Read-on-demand view of a whole position message. Every field is required;
// the texts are views into the message and live as long as it does.
class pos {
public:
    using ptr = std::unique_ptr<pos>;

    // A view of a whole position message. It holds references only, so the
    // JSON must outlive it (a temporary is refused); construction reads nothing.
    static ptr make_view(const Json::Value& message);
    static ptr make_view(Json::Value&&) = delete;

    virtual ~pos() = default;

    virtual std::string_view get_trackable_uid() const = 0;
    virtual timestamp get_ts() const = 0;
    virtual int get_x() const = 0;
    virtual int get_y() const = 0;
    virtual int get_z() const = 0;
    virtual std::string_view get_type() const = 0;
    virtual std::string_view get_sublocation_uid() const = 0;
    virtual unsigned get_fom() const = 0;
    virtual std::string_view get_mac() const = 0;
};

}  // namespace zentu::libs::context_utils::parsers
