#include "core/exception.hpp"
#include "core/http.hpp"

namespace zentu::libs::core::http {

std::string_view to_string(method m) {
    switch (m) {
        case method::get:
            return "GET";
        case method::post:
            return "POST";
        case method::put:
            return "PUT";
        case method::del:
            return "DELETE";
    }
    ZENTU_THROW("Unknown enumeration value");
}

}  // namespace zentu::libs::core::http
