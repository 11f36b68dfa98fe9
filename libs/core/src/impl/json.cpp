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
    bool parsed = false;
    try {
        parsed = m_reader->parse(text.data(), text.data() + text.size(), &out.result, &errors);
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

namespace {

// A cursor over JSON text that steps over whole values without building them.
class scanner {
public:
    explicit scanner(std::string_view text) : m_text(text) {}

    bool at_end() {
        skip_blanks();
        return m_at == m_text.size();
    }
    bool take(char c) {
        skip_blanks();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    // The raw text between the quotes of a string.
    std::optional<std::string_view> string() {
        skip_blanks();
        if (m_at >= m_text.size() || m_text[m_at] != '"')
            return std::nullopt;
        const auto begin = ++m_at;
        for (; m_at < m_text.size(); ++m_at) {
            if (m_text[m_at] == '\\')
                ++m_at;
            else if (m_text[m_at] == '"')
                return m_text.substr(begin, m_at++ - begin);
        }
        return std::nullopt;
    }
    // The text of the next value, whatever it is.
    std::optional<std::string_view> value() {
        skip_blanks();
        const auto begin = m_at;
        int depth = 0;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at];
            if (c == '"') {
                if (!string())
                    return std::nullopt;
            } else if (c == '{' || c == '[') {
                ++depth;
                ++m_at;
            } else if (c == '}' || c == ']') {
                if (depth == 0)
                    break;
                --depth;
                ++m_at;
            } else if (depth == 0 && (c == ',' || is_blank(c))) {
                break;
            } else {
                ++m_at;
            }
            if (depth == 0 && (c == '"' || c == '}' || c == ']'))
                break;
        }
        if (depth != 0 || m_at == begin)
            return std::nullopt;
        return m_text.substr(begin, m_at - begin);
    }

private:
    static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    void skip_blanks() {
        while (m_at < m_text.size() && is_blank(m_text[m_at]))
            ++m_at;
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

}  // namespace

std::optional<std::vector<std::string_view>> array_member_elements(std::string_view text,
                                                                   std::string_view name) {
    scanner in(text);
    std::optional<std::vector<std::string_view>> found;
    if (!in.take('{'))
        return std::nullopt;
    if (!in.take('}')) {
        do {
            const auto key = in.string();
            if (!key || !in.take(':'))
                return std::nullopt;
            if (*key != name || found) {
                if (!in.value())
                    return std::nullopt;
                continue;
            }
            if (!in.take('['))
                return std::nullopt;
            found.emplace();
            if (!in.take(']')) {
                do {
                    const auto element = in.value();
                    if (!element)
                        return std::nullopt;
                    found->push_back(*element);
                } while (in.take(','));
                if (!in.take(']'))
                    return std::nullopt;
            }
        } while (in.take(','));
        if (!in.take('}'))
            return std::nullopt;
    }
    if (!in.at_end())
        return std::nullopt;
    return found;
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
