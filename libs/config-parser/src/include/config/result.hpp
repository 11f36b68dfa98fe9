#pragma once

#include <boost/optional.hpp>
#include <boost/optional/bad_optional_access.hpp>
#include <boost/variant.hpp>
#include <string>
#include <tuple>
#include <utility>

#include "config/error_reason.hpp"

namespace zentu::libs::config {

// Either a value read from a document or the reason it could not be read.
// Results join with + so that one failure report lists every bad field.
template <typename T>
class result {
public:
    result(T value) : m_data(std::move(value)) {}
    result(error_reason reason) : m_data(std::move(reason)) {}

    bool ok() const { return m_data.which() == 0; }

    boost::optional<T> try_get() const {
        if (const T* value = boost::get<T>(&m_data))
            return *value;
        return boost::none;
    }

    // Throws boost::bad_optional_access when the result holds a reason. Reads
    // the variant directly: going through a temporary boost::optional made
    // GCC 12 at -O1 with sanitizers report its storage as maybe-uninitialized.
    T value() const {
        if (const T* value = boost::get<T>(&m_data))
            return *value;
        throw boost::bad_optional_access();
    }

    std::string reason() const {
        if (const error_reason* error = boost::get<error_reason>(&m_data))
            return error->reason;
        return {};
    }

private:
    boost::variant<T, error_reason> m_data;
};

namespace detail {

template <typename Joined, typename Left, typename Right, typename Combine>
result<Joined> join(const result<Left>& left, const result<Right>& right, Combine combine) {
    if (left.ok() && right.ok())
        return combine(left.value(), right.value());
    if (left.ok())
        return error_reason{right.reason()};
    if (right.ok())
        return error_reason{left.reason()};
    return error_reason{left.reason() + "\n" + right.reason()};
}

}  // namespace detail

template <typename A, typename B>
result<std::tuple<A, B>> operator+(const result<A>& left, const result<B>& right) {
    return detail::join<std::tuple<A, B>>(
        left, right, [](const A& a, const B& b) { return std::tuple<A, B>(a, b); });
}

// Appends to an already joined result, keeping the tuple flat.
template <typename... A, typename B>
result<std::tuple<A..., B>> operator+(const result<std::tuple<A...>>& left,
                                      const result<B>& right) {
    return detail::join<std::tuple<A..., B>>(
        left, right,
        [](const std::tuple<A...>& a, const B& b) { return std::tuple_cat(a, std::tuple<B>(b)); });
}

}  // namespace zentu::libs::config
