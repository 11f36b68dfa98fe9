#pragma once

#include <json/value.h>

#include <ostream>
#include <string>
#include <vector>

namespace zentu::ctl {

// Rows under a header, each column as wide as its widest cell.
class table {
public:
    explicit table(std::vector<std::string> header) : m_rows{std::move(header)} {}
    void add(std::vector<std::string> row) { m_rows.push_back(std::move(row)); }
    void print(std::ostream& out) const;

private:
    std::vector<std::vector<std::string>> m_rows;
};

// The API's answers for people.
void print_status(const Json::Value& status, std::ostream& out);
void print_alarms(const Json::Value& alarms, std::ostream& out);
void print_explanation(const Json::Value& object, std::ostream& out);
void print_zone(const Json::Value& zone, std::ostream& out);

}  // namespace zentu::ctl
