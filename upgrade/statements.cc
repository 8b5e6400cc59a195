#include "upgrade/statements.h"

#include "common/error.h"
#include "common/text.h"

namespace vaq::upgrade {

namespace {

std::string joined(std::initializer_list<std::string_view> pieces) {
    std::string text;
    for (const std::string_view piece : pieces)
        text += piece;
    return text;
}

// Where the row of a one-row INSERT begins: the '(' after its VALUES, which comes before
// anything the row holds.
std::size_t row_start(std::string_view insert) {
    constexpr std::string_view kValues = "VALUES";
    for (std::size_t at = 0; at + kValues.size() <= insert.size(); ++at) {
        if (!iequals(insert.substr(at, kValues.size()), kValues)) continue;
        const std::size_t open = insert.find('(', at + kValues.size());
        if (open != std::string_view::npos) return open;
        break;
    }
    throw Error("Not an INSERT of one row: " + std::string(insert));
}

}  // namespace

std::string add_field_select(std::string_view table) {
    return joined({"Select * from '", table, "'"});
}

std::string add_field_alter(std::string_view table, std::string_view column,
                            std::string_view type) {
    return joined({"alter table '", table, "'  add  ", column, " ", type});
}

std::string add_field_log(std::string_view column) {
    return joined({"Upgraded Successfully : ", column, "Field added "});
}

std::string create_index_statement(std::string_view table, std::string_view index,
                                   std::string_view columns) {
    return joined({"CREATE INDEX ", index, " ON \"", table, "\"(", columns, ")"});
}

std::string create_index_log(std::string_view table) {
    return joined({"Upgraded Successfully : New Index added on: ", table});
}

std::string event_insert(int code, std::string_view name) {
    return joined(
        {"INSERT into events (EventID, Events) VALUES (", std::to_string(code), ",'", name, "')"});
}

std::string card_format_insert(int index, std::string_view name) {
    return joined({"INSERT into CardFormat (FormatIndex, FormatName) VALUES (",
                   std::to_string(index), ",'", name, "')"});
}

std::string door_status_insert(std::string_view doorId) {
    return joined({"Insert into DoorStatus Values(", doorId, ",128)"});
}

std::string joined_insert(std::span<const std::string> inserts) {
    if (inserts.empty()) return {};
    const std::string_view first = inserts.front();
    const std::string_view head = first.substr(0, row_start(first));
    std::string text(head);
    for (std::size_t i = 0; i < inserts.size(); ++i) {
        const std::string_view insert = inserts[i];
        const std::size_t start = row_start(insert);
        if (insert.substr(0, start) != head)
            throw Error("The INSERT " + std::string(insert) + " adds to another table than " +
                        std::string(first));
        if (i > 0) text += ", ";
        text += insert.substr(start);
    }
    return text;
}

}  // namespace vaq::upgrade
