#include "core/json.hpp"

#include <json/reader.h>
#include <json/writer.h>

#include <memory>
#include <sstream>

namespace zentu::libs::core::json {

parse_result try_parse(std::string_view text) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    parse_result out;
    std::string errors;
    bool parsed = false;
    try {
        parsed = reader->parse(text.data(), text.data() + text.size(), &out.result, &errors);
    } catch (const Json::Exception& e) {
        // The reader throws instead of reporting for input nested deeper than
        // its stack limit (1000 levels); for callers that is one more
        // malformed document.
        errors = e.what();
    }
    if (parsed) {
        out.ok = true;
    } else {
        out.result = Json::Value();
        out.ok = false;
        out.error = errors.empty() ? std::string("parse failed") : errors;
    }
    return out;
}

std::string to_string(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["commentStyle"] = "None";
    builder["indentation"] = "";
    const std::unique_ptr<Json::StreamWriter> writer(builder.newStreamWriter());
    std::ostringstream os;
    writer->write(value, &os);
    return os.str();
}

}  // namespace zentu::libs::core::json
