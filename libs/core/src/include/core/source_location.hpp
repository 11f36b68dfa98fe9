#pragma once

#include <cstdint>
#include <string_view>

namespace zentu::libs::core {

// A call site: line, file and the compiler's full function signature.
// Plain value, freely copied; the views refer to string literals.
class source_location {
public:
    source_location() noexcept = default;
    constexpr source_location(std::int64_t line, std::string_view file,
                              std::string_view function) noexcept
        : m_line(line), m_file(file), m_function(function) {}

    std::int64_t line() const noexcept { return m_line; }
    std::string_view file() const noexcept { return m_file; }
    std::string_view function() const noexcept { return m_function; }

    // The file with the source root removed.
    std::string_view short_file() const noexcept { return remove_directory_prefix(m_file); }
    // The qualified function name without return type and parameters.
    std::string_view short_function() const noexcept;

    // Drops as many leading characters as the source root is long; the
    // characters themselves are not compared.
    static std::string_view remove_directory_prefix(std::string_view path) noexcept;

private:
    std::int64_t m_line = 0;
    std::string_view m_file = "unknown file";
    std::string_view m_function = "unknown function";
};

}  // namespace zentu::libs::core

#define ZENTU_SOURCE_LOCATION() \
    ::zentu::libs::core::source_location(__LINE__, __FILE__, __PRETTY_FUNCTION__)
