// Input: a configuration file. The document reader either refuses it with
// "Cannot parse json: " or builds a tree whose every node can be read; the
// service's configuration either stands or names what is wrong with it.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>

#include "config/config.hpp"
#include "service/config.hpp"
#include "support/fuzz_checks.hpp"

namespace {

namespace config = zentu::libs::config;

void walk(const config::value& value);

void walk(const config::dictionary& dictionary) {
    for (const std::string& key : dictionary.get_keys()) {
        const auto value = dictionary.get_value(key);
        FUZZ_ASSERT(value);
        walk(*value);
        dictionary.get<int>(key);
        dictionary.get<bool>(key);
        dictionary.get<std::string>(key);
    }
}

void walk(const config::value& value) {
    value.as_bool();
    value.as_int();
    value.as_double();
    value.as_string();
    if (const auto object = value.as_object())
        walk(*object);
    if (const auto array = value.as_array()) {
        for (const config::value& element : *array)
            walk(element);
    }
}

// The refusal of a document that is no JSON.
template <typename F>
void allow_unparsable(F&& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        FUZZ_ASSERT(std::string(e.what()).rfind("Cannot parse json: ", 0) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentu::fuzz;
    const std::string text(reinterpret_cast<const char*>(data), size);

    allow_unparsable([&] {
        std::istringstream stream(text);
        const auto document = config::config::create<config::type::json>(stream);
        walk(document->get_root());
        const auto port = document->get_by_path<int>({"redis", "port"});
        FUZZ_ASSERT(port.ok() == port.reason().empty());
        document->get_by_path<std::string>({"system", "pidfile"});
        document->get_by_path<bool>({"a", "b", "c"});
    });

    allow_unparsable([&] {
        project_errors_only([&] {
            std::istringstream stream(text);
            const zentu::config settings(stream);
            FUZZ_ASSERT(settings.server_url.find("://") != std::string::npos);
        });
    });
    return 0;
}
