#include "repair/tests/repair_fixture.h"

#include "engine/api/config.h"
#include "engine/sql/executor.h"
#include "generator/database_generator.h"

namespace vaq::repair::testing {

void RepairFixture::SetUp() {
    scratch_ = std::make_unique<test_support::ScratchFolder>("vaq-repair");
    root_ = scratch_->path();
    fs::create_directory(data());
    fs::create_directory(root_ / "bin");
    window_.executableDirectory = (root_ / "bin").string();
    pdx::use_configuration(pdx::Configuration::from_text(
        "[alias VAQ]\npath = data\n" + extra_configuration() + "[engine]\nprivate_dir = private\n",
        root_, "test"));
    session_ = std::make_unique<db::Session>("Session1");
    mainDB_ = std::make_unique<db::Database>(*session_, "MainDB", "VAQ");
    mainDB_->open();
    form_ = std::make_shared<RepairForm>(
        window_, *session_, *mainDB_, [this] { return now_; }, library());
    const auto form = form_;
    window_.jobs.handlers[window::Handler::RebuildBtnClick] = [form] { form->RebuildBtnClick(); };
}

void RepairFixture::TearDown() {
    window_.jobs.handlers.clear();
    if (form_) form_->FormDestroy();
    form_.reset();
    mainDB_.reset();
    session_.reset();
    pdx::reload_configuration();
    scratch_.reset();
}

void RepairFixture::generate(std::int64_t transactions) const {
    bench::GeneratorOptions options;
    options.out = data();
    options.replace = true;
    options.site.controllers = 2;
    options.site.doorsPerController = 2;
    options.site.staff = 20;
    options.site.transactions = transactions;
    options.site.seed = 7;
    bench::generate_database(options);
}

void RepairFixture::sql(std::string_view statement) const {
    pdx::sql::Executor(data()).execute(statement);
}

}  // namespace vaq::repair::testing
