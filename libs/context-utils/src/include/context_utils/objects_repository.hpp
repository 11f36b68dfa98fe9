#pragma once

#include <algorithm>
#include <boost/optional.hpp>
#include <boost/range/adaptor/transformed.hpp>
#include <boost/range/any_range.hpp>
#include <cstddef>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/exception.hpp"
#include "core/timestamp.hpp"

namespace zentu::libs::context_utils {

// A uid-keyed store whose every creation, update and deletion is announced,
// synchronously and in subscription order, to its observers.
//
// Abstract types are held through an owning pointer, value types in place.
// Objects are changed in place through a writable_object; a removal requested
// while such a handle is alive is postponed until the handle is released.
//
// Threading: none. Used from one thread (the events loop) only; observers run
// inside the call that caused the notification.
template <typename T>
class objects_repository {
public:
    using timestamp = core::timestamp;

    class observer {
    public:
        virtual ~observer() = default;
        virtual void after_creating(const T& object, timestamp ts) = 0;
        virtual void after_updating(const T& object, timestamp ts) = 0;
        virtual void before_deleting(const T& object, timestamp ts) = 0;
    };

    struct object_holder {
        explicit object_holder(T object) : m_object(std::move(object)) {}
        T& get_object() noexcept { return m_object; }
        const T& get_object() const noexcept { return m_object; }
        void replace(T object) { m_object = std::move(object); }

        T m_object;
        bool m_dispatching_events = false;
        std::optional<timestamp> m_should_be_deleted;
    };

    struct abstract_object_holder {
        explicit abstract_object_holder(std::unique_ptr<T> object) : m_object(std::move(object)) {
            ZENTU_CHECK(m_object != nullptr);
        }
        T& get_object() noexcept { return *m_object; }
        const T& get_object() const noexcept { return *m_object; }
        void replace(std::unique_ptr<T> object) {
            ZENTU_CHECK(object != nullptr);
            m_object = std::move(object);
        }

        std::unique_ptr<T> m_object;
        bool m_dispatching_events = false;
        std::optional<timestamp> m_should_be_deleted;
    };

    static constexpr bool is_abstract = std::is_abstract_v<T>;
    using holder = std::conditional_t<is_abstract, abstract_object_holder, object_holder>;
    using storage_type = std::conditional_t<is_abstract, std::unique_ptr<T>, T>;
    using objects_map = std::map<std::string, holder, std::less<>>;
    using observers_list = std::vector<std::reference_wrapper<observer>>;
    using range =
        boost::any_range<const T, boost::bidirectional_traversal_tag, const T&, std::ptrdiff_t>;
    using callback = std::function<bool(const T&)>;

    // Unsubscribes its observer when destroyed; a moved-from handle does nothing.
    class subscription_handle {
    public:
        subscription_handle(observers_list& observers, observer& o) noexcept
            : m_observers(&observers), m_observer(&o) {}
        subscription_handle(subscription_handle&& other) noexcept
            : m_observers(std::exchange(other.m_observers, nullptr)),
              m_observer(other.m_observer) {}
        subscription_handle& operator=(subscription_handle&& other) noexcept {
            if (this != &other) {
                unsubscribe();
                m_observers = std::exchange(other.m_observers, nullptr);
                m_observer = other.m_observer;
            }
            return *this;
        }
        subscription_handle(const subscription_handle&) = delete;
        subscription_handle& operator=(const subscription_handle&) = delete;
        ~subscription_handle() { unsubscribe(); }

    private:
        void unsubscribe() noexcept {
            if (!m_observers)
                return;
            auto& list = *std::exchange(m_observers, nullptr);
            const observer* const self = m_observer;
            list.erase(std::remove_if(list.begin(), list.end(),
                                      [self](const observer& o) { return &o == self; }),
                       list.end());
        }

        observers_list* m_observers;
        observer* m_observer;
    };

    // Scoped write access to one stored object. Releasing it announces
    // after_updating (changed or not), then performs a postponed removal.
    class writable_object {
    public:
        // Empty: refers to nothing and does nothing on destruction.
        writable_object() noexcept = default;
        writable_object(typename objects_map::value_type& entry, objects_repository& repository,
                        timestamp ts) noexcept
            : m_object(&entry),
              m_repository(&repository),
              m_timestamp(ts),
              m_uncaught_exceptions(std::uncaught_exceptions()) {}
        writable_object(writable_object&& other) noexcept
            : m_object(other.m_object),
              m_repository(std::exchange(other.m_repository, nullptr)),
              m_timestamp(other.m_timestamp),
              m_uncaught_exceptions(other.m_uncaught_exceptions) {}
        // Not noexcept: releasing the held object reports it to the observers,
        // whose failure propagates.
        // NOLINTNEXTLINE(performance-noexcept-move-constructor)
        writable_object& operator=(writable_object&& other) {
            if (this != &other) {
                release();
                m_object = other.m_object;
                m_repository = std::exchange(other.m_repository, nullptr);
                m_timestamp = other.m_timestamp;
                m_uncaught_exceptions = other.m_uncaught_exceptions;
            }
            return *this;
        }
        writable_object(const writable_object&) = delete;
        writable_object& operator=(const writable_object&) = delete;

        // An observer's exception leaves here unless another one is already
        // propagating (then it is dropped, as two in flight would terminate).
        ~writable_object() noexcept(false) { release(); }

        T* operator->() const noexcept { return &m_object->second.get_object(); }
        T& operator*() const noexcept { return m_object->second.get_object(); }

        bool is_engaged() const noexcept { return m_repository != nullptr; }

        // Announces the update now; afterwards the handle is empty.
        void release() {
            if (!m_repository)
                return;
            auto& repository = *std::exchange(m_repository, nullptr);
            const bool unwinding = std::uncaught_exceptions() > m_uncaught_exceptions;
            repository.finish_writing(*m_object, m_timestamp, unwinding);
        }

    private:
        typename objects_map::value_type* m_object = nullptr;
        objects_repository* m_repository = nullptr;
        timestamp m_timestamp;
        int m_uncaught_exceptions = 0;
    };

    // What the writable try_get returns. Shaped like std::optional, which
    // cannot be used here: its destruction is noexcept and would turn an
    // observer's exception into std::terminate.
    class optional_writable_object {
    public:
        optional_writable_object() noexcept = default;
        optional_writable_object(std::nullopt_t) noexcept {}
        explicit optional_writable_object(writable_object handle) noexcept
            : m_handle(std::move(handle)) {}
        optional_writable_object(optional_writable_object&&) noexcept = default;
        // Throws as writable_object's does.
        // NOLINTNEXTLINE(performance-noexcept-move-constructor)
        optional_writable_object& operator=(optional_writable_object&&) = default;
        ~optional_writable_object() noexcept(false) = default;

        bool has_value() const noexcept { return m_handle.is_engaged(); }
        explicit operator bool() const noexcept { return has_value(); }
        writable_object& operator*() noexcept { return m_handle; }
        writable_object* operator->() noexcept { return &m_handle; }
        writable_object& value() {
            ZENTU_CHECK(has_value());
            return m_handle;
        }
        // Releases the handle (announcing the update); may throw like its destruction.
        void reset() { m_handle.release(); }

    private:
        writable_object m_handle;
    };

    objects_repository() = default;
    objects_repository(const objects_repository&) = delete;
    objects_repository& operator=(const objects_repository&) = delete;

    // The next position is taken before the callback runs, so the callback may
    // remove the object it visits (and no other).
    bool for_each(const callback& f) const {
        for (auto it = m_objects.begin(); it != m_objects.end();) {
            const auto current = it++;
            if (!f(current->second.get_object()))
                return false;
        }
        return true;
    }

    // Like for_each, over the objects whose uid starts with prefix.
    bool for_each_with_prefix(std::string_view prefix, const callback& f) const {
        for (auto it = m_objects.lower_bound(prefix);
             it != m_objects.end() &&
             std::string_view(it->first).substr(0, prefix.size()) == prefix;) {
            const auto current = it++;
            if (!f(current->second.get_object()))
                return false;
        }
        return true;
    }

    const T& get(std::string_view uid) const {
        const auto it = m_objects.find(uid);
        if (it == m_objects.end())
            ZENTU_THROW("Cannot get object with uid: " + std::string(uid));
        return it->second.get_object();
    }

    boost::optional<const T&> try_get(std::string_view uid) const {
        const auto it = m_objects.find(uid);
        if (it == m_objects.end())
            return boost::none;
        return boost::optional<const T&>(it->second.get_object());
    }

    bool is_exists(std::string_view uid) const { return m_objects.find(uid) != m_objects.end(); }
    std::size_t size() const noexcept { return m_objects.size(); }
    bool empty() const noexcept { return m_objects.empty(); }

    range get_range() const { return m_objects | boost::adaptors::transformed(get_object_of{}); }

    // An already stored uid keeps its object; observers still hear about it.
    // An observer may remove the new object only if it is the last observer.
    const T& add(storage_type object, timestamp ts) {
        std::string uid(uid_of(object));
        const auto it = m_objects.try_emplace(std::move(uid), std::move(object)).first;
        const T& stored = it->second.get_object();
        notify([&](observer& o) { o.after_creating(stored, ts); });
        return stored;
    }

    void update_or_add(storage_type object, timestamp ts) {
        const auto it = m_objects.find(std::string_view(uid_of(object)));
        if (it == m_objects.end()) {
            add(std::move(object), ts);
            return;
        }
        it->second.replace(std::move(object));
        const T& stored = it->second.get_object();
        notify([&](observer& o) { o.after_updating(stored, ts); });
    }

    optional_writable_object try_get(std::string_view uid, timestamp ts) {
        const auto it = m_objects.find(uid);
        if (it == m_objects.end())
            return std::nullopt;
        // A second handle would clear the first one's mark on release.
        ZENTU_CHECK(!it->second.m_dispatching_events);
        it->second.m_dispatching_events = true;
        return optional_writable_object(writable_object(*it, *this, ts));
    }

    void remove(std::string_view uid, timestamp ts) {
        const auto it = m_objects.find(uid);
        if (it == m_objects.end())
            return;
        if (it->second.m_dispatching_events) {
            it->second.m_should_be_deleted = ts;
            return;
        }
        const T& stored = it->second.get_object();
        notify([&](observer& o) { o.before_deleting(stored, ts); });
        m_objects.erase(it);
    }

    // Exchanges the stored objects with another repository, telling no
    // observer: each keeps its own. No write handle may be alive on either.
    void swap_contents(objects_repository& other) noexcept { m_objects.swap(other.m_objects); }

    // The observer list is not part of the stored state.
    subscription_handle subscribe(observer& o) const {
        m_observers.push_back(o);
        return subscription_handle(m_observers, o);
    }

private:
    struct get_object_of {
        const T& operator()(const typename objects_map::value_type& entry) const noexcept {
            return entry.second.get_object();
        }
    };

    static decltype(auto) uid_of(const storage_type& object) {
        if constexpr (is_abstract) {
            ZENTU_CHECK(object != nullptr);
            return object->get_uid();
        } else {
            return object.get_uid();
        }
    }

    // Indexed so that an observer list shrinking under the loop cannot be
    // read past its end.
    template <typename F>
    void notify(F&& f) const {
        for (std::size_t i = 0; i < m_observers.size(); ++i)
            f(m_observers[i].get());
    }

    void finish_writing(typename objects_map::value_type& entry, timestamp ts, bool swallow) {
        auto& held = entry.second;
        std::exception_ptr error;
        try {
            const T& object = held.get_object();
            notify([&](observer& o) { o.after_updating(object, ts); });
        } catch (...) {
            error = std::current_exception();
        }
        held.m_dispatching_events = false;
        if (const auto deletion = std::exchange(held.m_should_be_deleted, std::nullopt)) {
            try {
                remove(entry.first, *deletion);
            } catch (...) {
                if (!error)
                    error = std::current_exception();
            }
        }
        if (error && !swallow)
            std::rethrow_exception(error);
    }

    objects_map m_objects;
    mutable observers_list m_observers;
};

}  // namespace zentu::libs::context_utils
