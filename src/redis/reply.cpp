#include "redis/reply.hpp"

#include "core/exception.hpp"

namespace zentu::redis {

namespace {

const redisReply& not_null(const redisReply* raw) {
    ZENTU_CHECK(raw != nullptr);
    return *raw;
}

}  // namespace

reply_type reply_element::get_type() const {
    const int type = m_element.get().type;
    if (type >= REDIS_REPLY_STRING && type <= REDIS_REPLY_ERROR)
        return static_cast<reply_type>(type);
    return reply_type::UNKNOWN;
}

std::string reply_element::to_string() const {
    const reply_type type = get_type();
    if (type != reply_type::STRING && type != reply_type::STATUS && type != reply_type::ERROR)
        ZENTU_THROW("Reply is not string, actual type: " + redis::to_string(type));
    return std::string(m_element.get().str, m_element.get().len);
}

std::int64_t reply_element::to_integer() const {
    const reply_type type = get_type();
    if (type != reply_type::INTEGER)
        ZENTU_THROW("Reply is not integer, actual type: " + redis::to_string(type));
    return m_element.get().integer;
}

reply_array reply_element::as_array() const {
    const reply_type type = get_type();
    if (type != reply_type::ARRAY)
        ZENTU_THROW("Reply is not array, actual type: " + redis::to_string(type));
    return reply_array(m_element.get().element, m_element.get().elements);
}

reply::reply(redisReply* raw) : reply_element(not_null(raw)), m_reply_ptr(raw) {}

reply_element reply_array::operator[](std::size_t index) const {
    if (index >= m_size)
        ZENTU_THROW("Index out of range");
    return reply_element(*m_data[index]);
}

bool reply_array::for_each_element(
    const std::function<bool(const reply_element&)>& callback) const {
    for (std::size_t i = 0; i < m_size; ++i) {
        if (!callback(reply_element(*m_data[i])))
            return false;
    }
    return true;
}

}  // namespace zentu::redis
