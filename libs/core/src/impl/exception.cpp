#include "core/exception.hpp"

#include <sstream>

namespace zentu::libs::core {

const char* located_exception::what() const noexcept {
    try {
        std::ostringstream os;
        describe(os);
        m_what = os.str();
    } catch (...) {
        return "located_exception";
    }
    return m_what.c_str();
}

void located_exception::describe(std::ostream& os) const {
    os << m_source_location.short_file() << ':' << m_source_location.line();
}

void exception::describe(std::ostream& os) const {
    located_exception::describe(os);
    os << ' ' << m_str_error;
}

std::string exception_to_string(const located_exception& e) {
    std::ostringstream os;
    e.describe(os);
    return os.str();
}

std::string exception_to_string() {
    try {
        throw;
    } catch (const located_exception& e) {
        return exception_to_string(e);
    } catch (const std::exception& e) {
        return std::string("std::exception::what(): ") + e.what();
    } catch (...) {
        return "Unknown exception";
    }
}

}  // namespace zentu::libs::core
