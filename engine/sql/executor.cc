#include "engine/sql/executor.h"

#include "engine/sql/parser.h"
#include "engine/sql/select.h"

namespace pdx::sql {

Executor::Executor(std::filesystem::path directory) : directory_(std::move(directory)) {}

std::uint64_t Executor::execute(std::string_view sql) {
    return execute(parse(sql));
}

std::unique_ptr<ResultSet> Executor::open(std::string_view sql) {
    const Statement statement = parse(sql);
    if (const auto* select = std::get_if<Select>(&statement)) return open(*select);
    throw SqlError(std::string(statement_name(statement)) +
                   " gives no result to open; only a SELECT does");
}

std::unique_ptr<ResultSet> Executor::open(const Select& select) {
    return run_select(directory_, select);
}

std::uint64_t Executor::execute(const Statement& statement) {
    if (const auto* select = std::get_if<Select>(&statement)) {
        run_select(directory_, *select);
        return 0;
    }
    throw SqlError(std::string(statement_name(statement)) + " is not supported yet");
}

}  // namespace pdx::sql
