#pragma once

#include <functional>
#include <memory>

namespace zentu::libs::core {

// The caller's handle on an asynchronous operation whose result is delivered
// on the events loop. Dropping the last reference abandons the operation: the
// callback is then never called. Used from the loop's thread only (the
// operation itself may run elsewhere).
template <typename T>
class async_operation_handle {
public:
    using ptr = std::shared_ptr<async_operation_handle>;
    using callback = std::function<void(T)>;

    virtual ~async_operation_handle() = default;
    virtual bool is_complete() const = 0;
    // Issues the same operation again with the same callback.
    virtual void restart() = 0;

    void set_callback(callback cb) { m_callback = std::move(cb); }
    const callback& get_callback() const { return m_callback; }

private:
    callback m_callback;
};

}  // namespace zentu::libs::core
