#include "message_stream_callbacks.hpp"

#include <algorithm>

namespace zentu::libs::core {

bool message_stream_callbacks::has_topic(std::string_view topic) const {
    return m_topics.find(topic) != m_topics.end();
}

void message_stream_callbacks::add(std::string_view topic, const holder& callback) {
    auto it = m_topics.find(topic);
    if (it == m_topics.end())
        it = m_topics.emplace(std::string(topic), entries()).first;
    it->second.emplace_back(callback);
}

std::size_t message_stream_callbacks::size(std::string_view topic) const {
    const auto it = m_topics.find(topic);
    return it == m_topics.end() ? 0 : it->second.size();
}

message_stream_callbacks::entries* message_stream_callbacks::find_first_prefix(
    std::string_view frame) {
    for (auto& [topic, callbacks] : m_topics) {
        // A prefix never sorts after the frame, so nothing further can match.
        if (std::string_view(topic) > frame)
            break;
        if (frame.compare(0, topic.size(), topic) == 0)
            return &callbacks;
    }
    return nullptr;
}

void message_stream_callbacks::dispatch(std::string_view frame,
                                        const std::weak_ptr<const void>& owner) {
    entries* callbacks = find_first_prefix(frame);
    if (!callbacks)
        return;

    // Callbacks may subscribe (growing the vector) while we walk it: index it,
    // and leave the new ones for the next frame.
    const std::size_t count = callbacks->size();
    for (std::size_t i = 0; i < count && i < callbacks->size(); ++i) {
        // Keeps the callback alive even if it drops its own subscription.
        const holder callback = (*callbacks)[i].lock();
        if (!callback)
            continue;
        (*callback)(frame);
        if (owner.expired())
            return;
    }
    callbacks->erase(std::remove_if(callbacks->begin(), callbacks->end(),
                                    [](const auto& entry) { return entry.expired(); }),
                     callbacks->end());
}

}  // namespace zentu::libs::core
