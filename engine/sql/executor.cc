#include "engine/sql/executor.h"

#include "engine/sql/define.h"
#include "engine/sql/modify.h"
#include "engine/sql/parser.h"
#include "engine/sql/select.h"

namespace pdx::sql {

Executor::Executor(std::filesystem::path directory, CreateOptions options)
    : directory_(std::move(directory)), options_(options) {}

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
    std::unique_ptr<ResultSet> result = run_select(directory_, select);
    if (result->value_count() <= snapshot_limit_) result->release_table(snapshot_limit_);
    return result;
}

std::uint64_t Executor::execute(const Statement& statement) {
    struct Runner {
        const Executor& executor;
        const std::filesystem::path& dir;

        std::uint64_t operator()(const Select& select) const {
            run_select(dir, select);
            return 0;
        }
        std::uint64_t operator()(const Insert& insert) const { return run_insert(dir, insert); }
        std::uint64_t operator()(const Update& update) const { return run_update(dir, update); }
        std::uint64_t operator()(const Delete& del) const { return run_delete(dir, del); }
        std::uint64_t operator()(const CreateTable& create) const {
            run_create_table(dir, create, executor.options_);
            return 0;
        }
        std::uint64_t operator()(const AlterTable& alter) const {
            run_alter_table(dir, alter);
            return 0;
        }
        std::uint64_t operator()(const DropTable& drop) const {
            run_drop_table(dir, drop);
            return 0;
        }
        std::uint64_t operator()(const CreateIndex& create) const {
            run_create_index(dir, create);
            return 0;
        }
        std::uint64_t operator()(const DropIndex& drop) const {
            run_drop_index(dir, drop);
            return 0;
        }
    };
    return std::visit(Runner{*this, directory_}, statement);
}

}  // namespace pdx::sql
