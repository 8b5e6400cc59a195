#include "upgrade/statements.h"

namespace vaq::upgrade {

namespace {

std::string joined(std::initializer_list<std::string_view> pieces) {
    std::string text;
    for (const std::string_view piece : pieces)
        text += piece;
    return text;
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

}  // namespace vaq::upgrade
