#include "maintenance/tests/site_fixture.h"

#include "db/table.h"
#include "engine/api/config.h"
#include "generator/database_generator.h"
#include "generator/generator_writer.h"

namespace vaq::maintenance::testing {

namespace fs = std::filesystem;

void SiteFixture::SetUp() {
    scratch_ = std::make_unique<test_support::ScratchFolder>("vaq-maintenance");
    root_ = scratch_->path();
    data_ = root_ / "data";
    fs::create_directory(data_);
    pdx::use_configuration(pdx::Configuration::from_text(
        "[alias VAQ]\npath = data\n[engine]\nprivate_dir = private\n", root_, "test"));
}

void SiteFixture::TearDown() {
    pdx::reload_configuration();
    scratch_.reset();
}

void SiteFixture::write_table(std::string_view file, const std::vector<NamedRow>& rows) {
    bench::write_table(data_, file, rows);
}

void SiteFixture::write_site(int staff, std::int64_t transactions) {
    bench::GeneratorOptions options;
    options.out = data_;
    options.replace = true;
    options.site.controllers = 2;
    options.site.doorsPerController = 2;
    options.site.staff = staff;
    options.site.transactions = transactions;
    options.site.newerTables = bench::NewerTables::kNone;
    bench::generate_database(options);
}

std::vector<std::vector<std::string>> SiteFixture::read_all(std::string_view name) const {
    db::Table table("VAQ", std::string(name));
    table.open();
    std::vector<std::vector<std::string>> rows;
    const std::vector<std::string> names = table.field_names();
    for (table.first(); !table.eof(); table.next()) {
        std::vector<std::string> row;
        for (const std::string& field : names)
            row.push_back(table.field_by_name(field).as_string());
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<std::string> SiteFixture::field_names(std::string_view name) const {
    db::Table table("VAQ", std::string(name));
    table.open();
    return table.field_names();
}

}  // namespace vaq::maintenance::testing
