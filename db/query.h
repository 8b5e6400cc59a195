#pragma once

// The query object: SQL text on a database (alias) of a session, executed without a result
// or opened as a result read like a table. The engine receives the lines of the text joined
// by line breaks, each line as it was given (leading and trailing blanks and tabs kept).
// Every failure raises the engine's error with its message.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/session.h"
#include "db/table.h"

namespace pdx::sql {
class ResultSet;
}

namespace vaq::db {

class Query {
  public:
    explicit Query(std::string alias_name = "VAQ", Session& session = default_session());
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    const std::string& alias_name() const { return aliasName_; }
    // Throws vaq::Error while a result is open.
    void set_alias_name(std::string alias_name);

    // ---- the SQL text; changing it closes an open result ----
    const std::vector<std::string>& lines() const { return lines_; }
    void clear_sql();
    void add_sql(std::string line);
    // The whole text; line breaks in it separate lines.
    void set_sql(std::string_view text);
    // The lines joined by line breaks, as the engine receives them.
    std::string text() const;

    // Runs the statement; a SELECT runs and its result is dropped. Closes an open result.
    void exec_sql();
    // Records the last statement run by exec_sql() inserted, changed or deleted.
    std::uint64_t rows_affected() const { return rowsAffected_; }

    // ---- the result of a SELECT, read like a table ----
    // Runs the text, which must be a SELECT, and moves to the first row. Opening an open
    // query does nothing.
    void open();
    void close();
    bool active() const { return result_ != nullptr; }
    void set_active(bool active) { active ? open() : close(); }

    void first();
    void next();
    bool eof() const;
    std::uint32_t record_count() const;
    std::uint32_t rec_no() const;

    std::vector<std::string> field_names() const;
    // True when the result has a field of that name, letter case ignored.
    bool find_field(std::string_view name) const;
    // Throws vaq::Error("Field not found: X in the result from T.DB.").
    FieldValue field_by_name(std::string_view name) const;

  private:
    const pdx::sql::ResultSet& result(std::string_view what) const;

    Session& session_;
    std::string aliasName_;
    std::vector<std::string> lines_;
    std::unique_ptr<pdx::sql::ResultSet> result_;
    // The names of the open result's fields, made on the first field_by_name().
    mutable std::vector<const FieldLabel*> labels_;
    std::uint64_t rowsAffected_ = 0;
};

}  // namespace vaq::db
