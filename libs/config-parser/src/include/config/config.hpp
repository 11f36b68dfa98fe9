#pragma once

#include <boost/algorithm/string/join.hpp>
#include <boost/optional.hpp>
#include <boost/type_index.hpp>
#include <initializer_list>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "config/dictionary.hpp"
#include "config/result.hpp"
#include "config/type.hpp"
#include "config/value.hpp"

namespace zentu::libs::config {

// A parsed configuration document. Built once, read-only afterwards; the
// references it hands out are valid while it lives. Not synchronised, but
// concurrent reads are safe since nothing changes after construction.
class config {
public:
    using ptr = std::unique_ptr<config>;

    virtual ~config() = default;

    // Throws std::runtime_error "Cannot parse json: ..." on malformed input.
    template <type Type>
    static ptr create(std::istream& stream);

    virtual const dictionary& get_root() const = 0;

    template <typename T>
    boost::optional<T> get(const std::string& key) const {
        return get_root().get<T>(key);
    }

    // The value at path (keys from the root), or why there is none.
    template <typename T>
    result<T> get_by_path(std::initializer_list<std::string> path) const {
        const std::vector<std::string> keys(path);
        const std::string joined = boost::algorithm::join(keys, ".");
        const dictionary* current = &get_root();
        for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
            const boost::optional<const dictionary&> next =
                current->get<const dictionary&>(keys[i]);
            if (!next) {
                const std::vector<std::string> prefix(keys.begin(), keys.begin() + i + 1);
                return error_reason{
                    "Can not find object <object>: " + boost::algorithm::join(prefix, ".") +
                    ", path: " + joined + mismatch(current->get_value(keys[i]), "an object")};
            }
            current = &*next;
        }
        boost::optional<const value&> last;
        if (!keys.empty()) {
            if (boost::optional<T> found = current->get<T>(keys.back()))
                return *found;
            last = current->get_value(keys.back());
        }
        return error_reason{"Can not find field <" + boost::typeindex::type_id<T>().pretty_name() +
                            ">: " + joined + mismatch(last, expected_json_kind<T>())};
    }

private:
    // " (missing)" or " (expected ..., found ...)": what an operator needs to fix the field.
    static std::string mismatch(const boost::optional<const value&>& found,
                                const std::string& expected) {
        if (!found)
            return " (missing)";
        return " (expected " + expected + ", found " + json_kind(*found) + ")";
    }
};

template <>
config::ptr config::create<type::json>(std::istream& stream);

}  // namespace zentu::libs::config
