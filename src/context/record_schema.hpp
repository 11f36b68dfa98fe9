#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "context/packed_fields.hpp"
#include "core/timestamp.hpp"

namespace zentu::schema {

// A record's fields are listed once, in a table (a tuple of `field`s, see
// record_fields.hpp); the functions below walk the table to build a model from
// the platform's record, update it, tell whether a record changes it and
// format its Redis hash. Adding a field is adding one table row: no list
// elsewhere can fall out of step with it.

// What a field takes part in besides construction.
enum field_flag : unsigned {
    none = 0,
    // A difference between the record and the model makes the record "changed".
    compared = 1u << 0,
    // On an update, a value that cannot be read is reported and read as empty
    // (together with every other lenient field) instead of refusing the record.
    lenient = 1u << 1,
    // On an update, an absent value keeps the one the model holds.
    kept_when_absent = 1u << 2,
};

// One row of a table. Model is the domain record, Record the platform's
// record view, T the value as the model holds it.
template <typename Record, typename Model, typename T>
struct field {
    using value_type = T;
    using model_type = Model;

    std::string_view mirror_name;  // empty: kept out of the mirror
    T (*read)(const Record&);
    T (*get)(const Model&);
    void (*set)(Model&, T);  // nullptr: the identity, given at construction
    unsigned flags = compared;
    bool (*same)(const T& read, const T& held) = nullptr;  // nullptr: ==
    std::string (*text)(const T&) = nullptr;               // nullptr: mirror_text()
};

// The text of an absent value in the mirror.
inline constexpr std::string_view absent_text = "--";

// How a value is written into the mirror, unless its field says otherwise.
inline std::string_view mirror_text(const std::string& value) {
    return value;
}
inline std::string_view mirror_text(const std::optional<std::string>& value) {
    return value ? std::string_view(*value) : absent_text;
}
inline std::string_view mirror_text(bool value) {
    return value ? "true" : "false";
}
inline std::string mirror_text(std::uint32_t value) {
    return std::to_string(value);
}
inline std::string mirror_text(const libs::core::timestamp& value) {
    return value.serialize();
}
// Enumerations: their own to_string, found beside them.
template <typename E, typename = std::enable_if_t<std::is_enum_v<E>>>
std::string_view mirror_text(E value) {
    return to_string(value);
}

namespace detail {

template <typename Table>
struct values_of;
template <typename... F>
struct values_of<std::tuple<F...>> {
    using type = std::tuple<typename F::value_type...>;
};

template <typename Table, typename Visit, std::size_t... I>
void for_each_row(const Table& table, Visit&& visit, std::index_sequence<I...>) {
    (visit(std::get<I>(table), std::integral_constant<std::size_t, I>{}), ...);
}
template <typename Table, typename Visit>
void for_each_row(const Table& table, Visit&& visit) {
    for_each_row(table, visit, std::make_index_sequence<std::tuple_size_v<Table>>{});
}

// Whether mirror_text() knows the type; other fields give their own text.
template <typename T, typename = void>
struct has_mirror_text : std::false_type {};
template <typename T>
struct has_mirror_text<T, std::void_t<decltype(mirror_text(std::declval<const T&>()))>>
    : std::true_type {};

template <typename T>
bool is_absent(const std::optional<T>& value) {
    return !value;
}
template <typename T>
bool is_absent(const T&) {
    return false;
}

}  // namespace detail

// The values of a table's fields, as read from a record.
template <typename Table>
using values = typename detail::values_of<Table>::type;

// Reads every field of the record, in the table's order. A field that cannot
// be read throws; when report is given, a lenient one instead calls report()
// inside the handler of its exception, and every lenient field reads empty.
// Reading stops at the first lenient failure.
template <typename Table, typename Record, typename Report = std::nullptr_t>
values<Table> read(const Table& table, const Record& record, Report report = nullptr) {
    values<Table> out;
    std::exception_ptr lenient_failure;
    detail::for_each_row(table, [&](const auto& row, auto i) {
        if (!(row.flags & lenient)) {
            std::get<decltype(i)::value>(out) = row.read(record);
            return;
        }
        if (lenient_failure)
            return;
        try {
            std::get<decltype(i)::value>(out) = row.read(record);
        } catch (...) {
            lenient_failure = std::current_exception();
        }
    });
    if (!lenient_failure)
        return out;
    if constexpr (std::is_same_v<Report, std::nullptr_t>) {
        std::rethrow_exception(lenient_failure);
    } else {
        try {
            std::rethrow_exception(lenient_failure);
        } catch (...) {
            report();
        }
        detail::for_each_row(table, [&](const auto& row, auto i) {
            if (row.flags & lenient)
                std::get<decltype(i)::value>(out) = {};
        });
    }
    return out;
}

// True when the values would change what the model holds.
template <typename Table, typename Model>
bool differs(const Table& table, const values<Table>& read_values, const Model& model) {
    bool changed = false;
    detail::for_each_row(table, [&](const auto& row, auto i) {
        if (changed || !(row.flags & compared))
            return;
        const auto held = row.get(model);
        const auto& value = std::get<decltype(i)::value>(read_values);
        changed = row.same ? !row.same(value, held) : !(value == held);
    });
    return changed;
}

// Puts the values into the model; an update keeps what an absent
// kept_when_absent value would erase.
enum class assignment { construction, update };
template <typename Table, typename Model>
void assign(const Table& table, values<Table> from, Model& model, assignment how) {
    detail::for_each_row(table, [&](const auto& row, auto i) {
        if (!row.set)
            return;
        auto& value = std::get<decltype(i)::value>(from);
        if (how == assignment::update && (row.flags & kept_when_absent) && detail::is_absent(value))
            return;
        row.set(model, std::move(value));
    });
}

// A model built from values read; the table's first row is the uid, which the
// model takes at construction.
template <typename Table>
auto build(const Table& table, values<Table> from) {
    using model = typename std::tuple_element_t<0, Table>::model_type;
    model out(std::get<0>(from));
    assign(table, std::move(from), out, assignment::construction);
    return out;
}

// A model built from a record.
template <typename Table, typename Record>
auto make(const Table& table, const Record& record) {
    return build(table, read(table, record));
}

// The model's hash in the mirror: its mirrored fields, in the table's order.
template <typename Table, typename Model>
packed_fields mirror_fields(const Table& table, const Model& model) {
    packed_fields out;
    detail::for_each_row(table, [&](const auto& row, auto) {
        if (row.mirror_name.empty())
            return;
        const auto value = row.get(model);
        using value_type = std::decay_t<decltype(value)>;
        if constexpr (detail::has_mirror_text<value_type>::value) {
            if (!row.text) {
                out.add(row.mirror_name, mirror_text(value));
                return;
            }
        }
        out.add(row.mirror_name, row.text(value));
    });
    return out;
}

}  // namespace zentu::schema
