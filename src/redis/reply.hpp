#pragma once

#include <hiredis/hiredis.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "redis/reply_type.hpp"

namespace zentu::redis {

class reply_array;

// A typed view of one hiredis reply that it does not own; valid while the
// reply that contains it lives. Not thread-safe, like the reply itself.
class reply_element {
public:
    explicit reply_element(const redisReply& element) : m_element(element) {}
    reply_element(const reply_element&) = default;
    reply_element& operator=(const reply_element&) = default;
    virtual ~reply_element() = default;

    reply_type get_type() const;
    // STRING, STATUS and ERROR only; embedded NULs are kept.
    std::string to_string() const;
    // INTEGER only.
    std::int64_t to_integer() const;
    // ARRAY only.
    reply_array as_array() const;

private:
    std::reference_wrapper<const redisReply> m_element;
};

struct reply_deleter {
    void operator()(redisReply* reply) const { freeReplyObject(reply); }
};

// Owns the top-level reply of one command. Movable, not copyable.
class reply : public reply_element {
public:
    // Takes ownership; raw must not be null.
    explicit reply(redisReply* raw);
    reply(reply&&) = default;
    reply& operator=(reply&&) = default;

private:
    std::unique_ptr<redisReply, reply_deleter> m_reply_ptr;
};

// The elements of an ARRAY reply; valid while the owning reply lives.
class reply_array {
public:
    reply_array(redisReply** data, std::size_t size) : m_data(data), m_size(size) {}

    std::size_t size() const { return m_size; }
    // Throws "Index out of range" for index >= size().
    reply_element operator[](std::size_t index) const;
    // Stops at the first false and returns false; true when all were visited.
    bool for_each_element(const std::function<bool(const reply_element&)>& callback) const;

private:
    redisReply** m_data;
    std::size_t m_size;
};

}  // namespace zentu::redis
