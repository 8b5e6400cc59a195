#include "db/query.h"

#include "common/error.h"
#include "engine/api/config.h"
#include "engine/sql/executor.h"
#include "engine/sql/result_set.h"

namespace vaq::db {

namespace {

// The statements of a query on the directory of its database; tables it creates are laid
// out as the engine's configuration says.
pdx::sql::Executor executor_for(Session& session, std::string_view database_name) {
    session.open();
    const pdx::EngineSettings& settings = pdx::current_configuration()->settings();
    return pdx::sql::Executor(database_directory(session, database_name),
                              pdx::CreateOptions{settings.create_level, settings.block_size});
}

}  // namespace

Query::Query(std::string alias_name, Session& session)
    : session_(session), aliasName_(std::move(alias_name)) {}

Query::~Query() = default;

void Query::set_alias_name(std::string alias_name) {
    if (active()) throw Error("Cannot change the alias of an open query.");
    aliasName_ = std::move(alias_name);
}

void Query::clear_sql() {
    close();
    lines_.clear();
}

void Query::add_sql(std::string line) {
    close();
    lines_.push_back(std::move(line));
}

void Query::set_sql(std::string_view text) {
    close();
    lines_.clear();
    for (;;) {
        const std::size_t end = text.find('\n');
        lines_.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

std::string Query::text() const {
    std::string joined;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (i > 0) joined += '\n';
        joined += lines_[i];
    }
    return joined;
}

void Query::exec_sql() {
    close();
    rowsAffected_ = executor_for(session_, aliasName_).execute(text());
}

void Query::open() {
    if (active()) return;
    result_ = executor_for(session_, aliasName_).open(text());
}

void Query::close() {
    result_.reset();
    labels_.clear();
}

const pdx::sql::ResultSet& Query::result(std::string_view what) const {
    if (!result_) throw Error("Cannot " + std::string(what) + ": the query is not open.");
    return *result_;
}

void Query::first() {
    result("move");
    result_->first();
}

void Query::next() {
    result("move");
    result_->next();
}

bool Query::eof() const {
    return result("read the end of the result").eof();
}

std::uint32_t Query::record_count() const {
    return result("count the records").record_count();
}

std::uint32_t Query::rec_no() const {
    return result("read the record number").record_number();
}

std::vector<std::string> Query::field_names() const {
    std::vector<std::string> names;
    for (const pdx::sql::ResultField& field : result("list the fields").fields())
        names.push_back(field.name);
    return names;
}

bool Query::find_field(std::string_view name) const {
    return result("look for a field").find_field(name).has_value();
}

FieldValue Query::field_by_name(std::string_view name) const {
    const pdx::sql::ResultSet& rows = result("read a field");
    const auto index = rows.find_field(name);
    if (!index)
        throw Error("Field not found: " + std::string(name) + " in the result from " +
                    rows.table_name() + ".");
    if (labels_.empty())
        for (const pdx::sql::ResultField& field : rows.fields())
            labels_.push_back(&field_label(field.name, rows.table_name()));
    return FieldValue(*labels_[*index], rows.value(*index));
}

}  // namespace vaq::db
