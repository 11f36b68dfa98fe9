#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "context_utils/objects_repository.hpp"

namespace zentu::test {

using libs::core::timestamp;

inline timestamp ts(long long ms) {
    return timestamp(std::chrono::milliseconds(ms));
}

// A stored value type.
class item {
public:
    item(std::string uid, int value) : m_uid(std::move(uid)), m_value(value) {}
    const std::string& get_uid() const { return m_uid; }
    int get_value() const { return m_value; }
    void set_value(int value) { m_value = value; }

private:
    std::string m_uid;
    int m_value;
};

// A stored interface type (held through an owning pointer).
class shape {
public:
    virtual ~shape() = default;
    virtual const std::string& get_uid() const = 0;
    virtual int area() const = 0;
};

class square : public shape {
public:
    square(std::string uid, int side) : m_uid(std::move(uid)), m_side(side) {}
    const std::string& get_uid() const override { return m_uid; }
    int area() const override { return m_side * m_side; }

private:
    std::string m_uid;
    int m_side;
};

using items = libs::context_utils::objects_repository<item>;
using shapes = libs::context_utils::objects_repository<shape>;

// Writes every notification into a shared journal as
// "<name> <kind> <uid>=<value> @<ms>"; a hook may act inside a notification.
class recorder : public items::observer {
public:
    using hook = std::function<void(const std::string& kind, const item&, timestamp)>;

    recorder(std::string name, std::vector<std::string>& journal)
        : m_name(std::move(name)), m_journal(journal) {}

    void after_creating(const item& o, timestamp t) override { record("create", o, t); }
    void after_updating(const item& o, timestamp t) override { record("update", o, t); }
    void before_deleting(const item& o, timestamp t) override { record("delete", o, t); }

    hook m_hook;

private:
    void record(const std::string& kind, const item& o, timestamp t) {
        m_journal.push_back(m_name + " " + kind + " " + o.get_uid() + "=" +
                            std::to_string(o.get_value()) + " @" +
                            std::to_string(t.get_time_since_epoch().count()));
        if (m_hook)
            m_hook(kind, o, t);
    }

    std::string m_name;
    std::vector<std::string>& m_journal;
};

}  // namespace zentu::test
