#pragma once

#include <exception>
#include <ostream>
#include <string>

#include "core/source_location.hpp"

namespace zentu::libs::core {

// Base of the library's errors: every error knows where it was raised.
class located_exception : public std::exception {
public:
    explicit located_exception(source_location location) : m_source_location(location) {}

    // Runs describe() into a fresh stream and caches the text.
    const char* what() const noexcept override;
    virtual void describe(std::ostream& os) const;

    const source_location& get_source_location() const noexcept { return m_source_location; }

private:
    source_location m_source_location;
    mutable std::string m_what;
};

// An expected failure with a message.
class exception : public located_exception {
public:
    exception(std::string message, source_location location)
        : located_exception(location), m_str_error(std::move(message)) {}

    void describe(std::ostream& os) const override;
    const std::string& get_string_error() const noexcept { return m_str_error; }

private:
    std::string m_str_error;
};

// A violated condition; the message is "check failed: " and the condition text.
class check_failed_exception : public exception {
public:
    check_failed_exception(const std::string& condition, source_location location)
        : exception("check failed: " + condition, location) {}
};

// Must be called inside a handler: describes the exception being handled.
std::string exception_to_string();
std::string exception_to_string(const located_exception& e);

}  // namespace zentu::libs::core

#define ZENTU_THROW(message) \
    throw ::zentu::libs::core::exception((message), ZENTU_SOURCE_LOCATION())

#define ZENTU_CHECK(condition)                                                          \
    do {                                                                                \
        if (!(condition))                                                               \
            throw ::zentu::libs::core::check_failed_exception(#condition,               \
                                                              ZENTU_SOURCE_LOCATION()); \
    } while (false)
