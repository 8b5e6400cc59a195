#pragma once

// Whole imports over real tables: a window in memory that answers the file dialog, and a
// temporary database written by the generator's table writer, known as the alias VAQ.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/dateformat.h"
#include "common/error.h"
#include "db/schema.h"
#include "db/table.h"
#include "engine/api/config.h"
#include "generator/generator_tables.h"
#include "generator/generator_writer.h"
#include "import/import_form.h"
#include "port/window_port.h"
#include "test_support/memory_window.h"
#include "test_support/scratch.h"

namespace vaq::import::testing {

namespace fs = std::filesystem;
namespace transact = db::schema::Transact;
using window::Control;
using Record = std::map<std::string, std::string>;

class ImportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        scratch_ = std::make_unique<test_support::ScratchFolder>("vaq-import");
        root_ = scratch_->path();
        fs::create_directory(root_ / "data");
        pdx::use_configuration(pdx::Configuration::from_text(
            "[alias VAQ]\npath = data\n[engine]\nprivate_dir = private\n", root_, "test"));
        saved_ = date_time_formats();
        // A system that writes dates month first.
        set_date_time_formats(DateTimeFormats{});
        write_tables();
        form_ = std::make_unique<ImportForm>(window_);
    }
    void TearDown() override {
        form_.reset();
        set_date_time_formats(saved_);
        pdx::reload_configuration();
        scratch_.reset();
    }

    void write_table(std::string_view file, const std::vector<bench::NamedRow>& rows) {
        bench::write_table(root_ / "data", file, rows);
    }

    // Controllers 2 and 3 (keys 11 and 12), a door 1 on each, a door 5 under key 0, two
    // card holders.
    void write_tables() {
        using I = std::int64_t;
        write_table("Ctrller.DB", {{{"ControllerID", I{11}}, {"ID", I{2}}},
                                   {{"ControllerID", I{12}}, {"ID", I{3}}}});
        write_table("Door.DB",
                    {{{"ControllerID", I{11}}, {"ID", I{1}}, {"Name", std::string("Front")}},
                     {{"ControllerID", I{12}}, {"ID", I{1}}, {"Name", std::string("Back")}},
                     {{"ControllerID", I{0}}, {"ID", I{5}}, {"Name", std::string("Orphan")}}});
        write_table("Personal.DB",
                    {{{"CardID", std::string("0015433336")}, {"StaffID", std::string("ST-1")}},
                     {{"CardID", std::string("00ABCDEF12")}, {"StaffID", std::string("ST-2")}}});
        write_table("Transact.db", {});
    }

    std::string write_file(const std::string& contents) {
        const fs::path file = root_ / ("import" + std::to_string(files_++) + ".txt");
        std::ofstream(file, std::ios::binary) << contents;
        return file.string();
    }

    void import(const std::string& contents) {
        window_.fileAnswer = write_file(contents);
        form_->Button2Click();
    }

    // The error the import stops with, or "" when it ends normally.
    std::string import_failure(const std::string& contents) {
        try {
            import(contents);
        } catch (const Error& error) {
            return error.what();
        }
        return "";
    }

    std::vector<Record> transactions() const {
        db::Table table("VAQ", std::string(transact::kTable));
        table.open();
        std::vector<Record> records;
        for (table.first(); !table.eof(); table.next()) {
            Record record;
            for (const std::string& name : table.field_names()) {
                const std::string value = table.field_by_name(name).as_string();
                if (!value.empty()) record[name] = value;
            }
            records.push_back(std::move(record));
        }
        return records;
    }

    // Descriptors of this process open on files under the test folder.
    int open_files_of_the_test() const {
        int count = 0;
        for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            const fs::path target = fs::read_symlink(entry.path(), error);
            if (!error && target.string().rfind((root_ / "import").string(), 0) == 0) ++count;
        }
        return count;
    }

    std::unique_ptr<test_support::ScratchFolder> scratch_;
    fs::path root_;
    DateTimeFormats saved_;
    test_support::MemoryWindow window_;
    std::unique_ptr<ImportForm> form_;
    int files_ = 0;
};

#define VAQ_IMPORT(contents)                                            \
    do {                                                                \
        const std::string importError = import_failure(contents);       \
        if (importError.find("not supported yet") != std::string::npos) \
            GTEST_SKIP() << "waits for the engine: " << importError;    \
        ASSERT_EQ(importError, "");                                     \
    } while (false)

}  // namespace vaq::import::testing
