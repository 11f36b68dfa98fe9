#include "core/json.hpp"

#include <json/reader.h>
#include <json/writer.h>

#include <memory>
#include <sstream>

namespace zentu::libs::core::json {

parse_result try_parse(std::string_view text) {
    return reader().parse(text);
}

reader::reader() {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    m_reader.reset(builder.newCharReader());
}

reader::~reader() = default;

parse_result reader::parse(std::string_view text) {
    parse_result out;
    std::string errors;
    if (m_reader->parse(text.data(), text.data() + text.size(), &out.result, &errors)) {
        out.ok = true;
    } else {
        out.result = Json::Value();
        out.ok = false;
        out.error = errors.empty() ? std::string("parse failed") : errors;
    }
    return out;
}

std::string to_string(const Json::Value& value) {
    // Made once per thread: building a writer costs more than writing a body.
    thread_local const std::unique_ptr<Json::StreamWriter> writer = [] {
        Json::StreamWriterBuilder builder;
        builder["commentStyle"] = "None";
        builder["indentation"] = "";
        return std::unique_ptr<Json::StreamWriter>(builder.newStreamWriter());
    }();
    std::ostringstream os;
    writer->write(value, &os);
    return std::move(os).str();
}

}  // namespace zentu::libs::core::json
