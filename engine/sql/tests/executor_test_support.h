#pragma once

// A temporary database directory for executor tests, filled with copies of real tables of
// the corpus (copied at test time; the corpus itself is never written).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/sql/executor.h"
#include "engine/table/tests/test_support.h"
#include "test_support/corpus.h"

namespace pdx::sql::testing {

namespace fs = std::filesystem;

inline fs::path corpus_dir() {
    return vaq::test_support::corpus_folder();
}

inline bool have_corpus() {
    return fs::is_directory(corpus_dir());
}

// Copies the table at `relative` (a .DB under the corpus) and its family into `into`.
inline void copy_corpus_table(const std::string& relative, const fs::path& into) {
    const fs::path source = corpus_dir() / relative;
    const std::string stem = source.stem().string();
    for (const auto& entry : fs::directory_iterator(source.parent_path())) {
        if (entry.path().stem().string() == stem)
            fs::copy_file(entry.path(), into / entry.path().filename());
    }
}

// Every file of the directory with its bytes, to show that a failing statement changed
// nothing.
inline std::vector<std::pair<std::string, std::vector<std::uint8_t>>> snapshot(
    const fs::path& directory) {
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;
    for (const auto& entry : fs::directory_iterator(directory))
        files.emplace_back(entry.path().filename().string(), pdx::testing::read_file(entry.path()));
    std::sort(files.begin(), files.end());
    return files;
}

// Every row of a select, each field as the result gives it in a message.
inline std::vector<std::vector<std::string>> result_rows(Executor& executor, std::string_view sql) {
    auto result = executor.open(sql);
    std::vector<std::vector<std::string>> out;
    for (; !result->eof(); result->next()) {
        std::vector<std::string> row;
        for (std::size_t i = 0; i < result->fields().size(); ++i) {
            const SqlValue value = result->value(i);
            row.push_back(value.kind == ValueKind::kText ? value.text : describe(value));
        }
        out.push_back(std::move(row));
    }
    return out;
}

// The message of the error a statement raises; empty when it raises none.
inline std::string error_of(Executor& executor, std::string_view sql) {
    try {
        executor.execute(sql);
    } catch (const vaq::Error& error) {
        return error.what();
    }
    return {};
}

}  // namespace pdx::sql::testing
