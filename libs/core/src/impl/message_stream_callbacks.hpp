#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/message_stream.hpp"

namespace zentu::libs::core {

// The topic table of a message stream. Holds only weak references to the
// callbacks: the subscriptions own them. Used from the loop's thread only.
class message_stream_callbacks {
public:
    using holder = std::shared_ptr<message_stream::callback>;

    bool has_topic(std::string_view topic) const;
    void add(std::string_view topic, const holder& callback);

    // Calls, in subscription order, the live callbacks of the first topic in
    // byte order that is a prefix of the frame, then forgets the expired ones.
    // Callbacks added meanwhile wait for the next frame. Returns early once
    // `owner` expires: a callback may destroy the stream.
    void dispatch(std::string_view frame, const std::weak_ptr<const void>& owner);

    std::size_t size(std::string_view topic) const;

private:
    using entries = std::vector<std::weak_ptr<message_stream::callback>>;

    entries* find_first_prefix(std::string_view frame);

    // std::string compares as unsigned bytes, the order topics match in.
    std::map<std::string, entries, std::less<>> m_topics;
};

}  // namespace zentu::libs::core
