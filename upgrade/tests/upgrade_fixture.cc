#include "upgrade/tests/upgrade_fixture.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "engine/api/config.h"
#include "engine/sql/executor.h"
#include "engine/table/cursor.h"
#include "engine/table/index_catalog.h"
#include "engine/table/table.h"
#include "engine/table/table_name.h"
#include "test_support/corpus.h"

namespace vaq::upgrade::testing {

namespace {

std::string sql_type_of(const pdx::Field& field) {
    const std::string size = std::to_string(field.descriptor.size);
    switch (field.type()) {
        case pdx::FieldType::kAlpha:
            return "char(" + size + ")";
        case pdx::FieldType::kShort:
            return "smallint";
        case pdx::FieldType::kLong:
            return "integer";
        case pdx::FieldType::kAutoInc:
            return "autoinc";
        case pdx::FieldType::kLogical:
            return "boolean";
        case pdx::FieldType::kDate:
            return "date";
        case pdx::FieldType::kTime:
            return "time";
        case pdx::FieldType::kTimestamp:
            return "datetime";
        case pdx::FieldType::kNumber:
            return "float";
        default:
            return std::string("type ") + pdx::field_type_letter(field.type());
    }
}

}  // namespace

void UpgradeFixture::SetUp() {
    scratch_ = std::make_unique<test_support::ScratchFolder>("vaq-upgrade");
    root_ = scratch_->path();
    fs::create_directory(data());
    pdx::use_configuration(
        pdx::Configuration::from_text("[alias VAQ]\npath = data\n", root_, "test"));
    session_ = std::make_unique<db::Session>("Session1");
    mainDB_ = std::make_unique<db::Database>(*session_, "MainDB", "VAQ");
    mainDB_->open();
    form_ = std::make_unique<UpgradeForm>(window_, *mainDB_);
}

void UpgradeFixture::TearDown() {
    form_.reset();
    mainDB_.reset();
    session_.reset();
    pdx::reload_configuration();
    scratch_.reset();
}

void UpgradeFixture::sql(std::string_view statement) const {
    pdx::sql::Executor(data()).execute(statement);
}

void UpgradeFixture::sql(std::initializer_list<std::string_view> statements) const {
    for (const std::string_view statement : statements)
        sql(statement);
}

bool UpgradeFixture::have_corpus() {
    return vaq::test_support::have_corpus();
}

void UpgradeFixture::copy_corpus_table(const std::string& relative) const {
    const fs::path source = vaq::test_support::corpus_folder() / relative;
    const std::string stem = source.stem().string();
    for (const auto& entry : fs::directory_iterator(source.parent_path()))
        if (entry.path().stem().string() == stem)
            fs::copy_file(entry.path(), data() / entry.path().filename());
}

Lines UpgradeFixture::fields_of(std::string_view table) const {
    Lines fields;
    const auto opened = pdx::Table::open(data(), table);
    for (const pdx::Field& field : opened->schema().fields())
        fields.push_back(field.name + " " + sql_type_of(field));
    return fields;
}

Lines UpgradeFixture::indexes_of(std::string_view table) const {
    Lines names;
    for (const pdx::SecondaryIndex& index :
         pdx::list_secondary_indexes(*pdx::Table::open(data(), table)))
        names.push_back(index.name);
    return names;
}

Lines UpgradeFixture::rows_of(std::string_view table,
                              const std::vector<std::string_view>& columns) const {
    const auto opened = pdx::Table::open(data(), table);
    std::vector<std::size_t> indexes;
    for (const std::string_view column : columns)
        indexes.push_back(opened->schema().field(column, opened->name()).index);
    if (columns.empty())
        for (std::size_t i = 0; i < opened->schema().size(); ++i)
            indexes.push_back(i);
    Lines rows;
    for (auto cursor = opened->open_cursor(); !cursor->eof(); cursor->next()) {
        std::string row;
        for (std::size_t i = 0; i < indexes.size(); ++i) {
            if (i > 0) row += '|';
            row += cursor->value(indexes[i]).as_text();
        }
        rows.push_back(row);
    }
    return rows;
}

bool UpgradeFixture::table_exists(std::string_view table) const {
    return pdx::find_table_file(data(), table).has_value();
}

std::vector<std::pair<std::string, std::string>> UpgradeFixture::snapshot() const {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : fs::directory_iterator(data())) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        files.emplace_back(entry.path().filename().string(), bytes.str());
    }
    std::sort(files.begin(), files.end());
    return files;
}

Lines UpgradeFixture::log_lines() const {
    return log_lines_of(window_.log());
}

Lines log_lines_of(std::string_view text) {
    Lines lines;
    while (!text.empty()) {
        const std::size_t end = text.find("\r\n");
        if (end == std::string_view::npos) {
            ADD_FAILURE() << "The log ends without CR LF: " << text;
            lines.emplace_back(text);
            break;
        }
        lines.emplace_back(text.substr(0, end));
        text.remove_prefix(end + 2);
    }
    return lines;
}

AliasVaqAt::AliasVaqAt(const fs::path& folder, const std::string& name) {
    try {
        previous_ = pdx::current_configuration();
    } catch (const Error&) {
        // The test had no configuration of its own; the file is read again at the end.
    }
    pdx::use_configuration(pdx::Configuration::from_text("[alias VAQ]\npath = .\n", folder, name));
}

AliasVaqAt::~AliasVaqAt() {
    if (previous_)
        pdx::use_configuration(*previous_);
    else
        pdx::reload_configuration();
}

std::string log_text(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

}  // namespace vaq::upgrade::testing
