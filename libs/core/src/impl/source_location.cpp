#include "core/source_location.hpp"

#include "core/constants.hpp"

namespace zentu::libs::core {

std::string_view source_location::remove_directory_prefix(std::string_view path) noexcept {
    const auto n = constants::source_directory.size();
    if (path.size() < n)
        return {};
    return path.substr(n);
}

std::string_view source_location::short_function() const noexcept {
    static constexpr std::string_view ns = "zentu::";
    const auto paren = m_function.find('(');
    if (paren == std::string_view::npos || m_function.size() < ns.size())
        return m_function;
    // Search backwards from the parenthesis (or the last place "zentu::" still fits).
    std::size_t start = std::min(paren, m_function.size() - ns.size());
    for (std::size_t i = start + 1; i-- > 0;) {
        if (m_function.compare(i, ns.size(), ns) == 0) {
            if (i > paren)
                break;
            return m_function.substr(i, paren - i);
        }
    }
    return m_function;
}

}  // namespace zentu::libs::core
