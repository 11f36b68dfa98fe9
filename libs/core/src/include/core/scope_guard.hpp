#pragma once

#include <memory>
#include <utility>

namespace zentu::libs::core {
namespace detail {

// Polymorphic so guards of different callables can be stored alike.
class scope_guard {
public:
    virtual ~scope_guard() = default;
};

template <typename F>
class scope_guard_impl final : public scope_guard {
public:
    explicit scope_guard_impl(F callback) : m_callback(std::move(callback)) {}
    ~scope_guard_impl() override {
        if (m_should_execute)
            m_callback();
    }
    scope_guard_impl(const scope_guard_impl&) = delete;
    scope_guard_impl& operator=(const scope_guard_impl&) = delete;

private:
    bool m_should_execute = true;
    F m_callback;
};

}  // namespace detail

// Calls the callable once when the returned guard is destroyed.
template <typename F>
std::unique_ptr<detail::scope_guard> execute_on_scope_exit(F callback) {
    return std::make_unique<detail::scope_guard_impl<F>>(std::move(callback));
}

}  // namespace zentu::libs::core
