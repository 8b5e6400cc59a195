// A transaction file imported by the shell's .import-transactions into a small VAQ database
// (two controllers, three doors, two card holders, an empty transaction table). The import
// ends or stops with an error or a message; either way the transaction table afterwards
// reads in every order and verifies without damage.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "common/dateformat.h"
#include "common/error.h"
#include "fuzz/fuzz_support.h"
#include "generator/generator_writer.h"
#include "tools/vaqdb/shell.h"

namespace {

struct Database {
    vaq::fuzz::Scratch scratch;
    vaq::fuzz::FolderImage image;

    Database() {
        using I = std::int64_t;
        const auto table = [&](std::string_view file,
                               const std::vector<vaq::bench::NamedRow>& rows) {
            vaq::bench::write_table(scratch.data(), file, rows);
        };
        table("Ctrller.DB",
              {{{"ControllerID", I{11}}, {"ID", I{2}}}, {{"ControllerID", I{12}}, {"ID", I{3}}}});
        table("Door.DB", {{{"ControllerID", I{11}}, {"ID", I{1}}, {"Name", std::string("Front")}},
                          {{"ControllerID", I{12}}, {"ID", I{1}}, {"Name", std::string("Back")}},
                          {{"ControllerID", I{0}}, {"ID", I{5}}, {"Name", std::string("Orphan")}}});
        table("Personal.DB",
              {{{"CardID", std::string("0015433336")}, {"StaffID", std::string("ST-1")}},
               {{"CardID", std::string("00ABCDEF12")}, {"StaffID", std::string("ST-2")}}});
        table("Transact.db", {});
        image = vaq::fuzz::take_image(scratch.data());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Database database;
    vaq::fuzz::restore_image(database.scratch.data(), database.image);
    // The import sets the process's short date format and leaves it; every input starts
    // from the same one.
    vaq::set_date_time_formats(vaq::DateTimeFormats{});
    const auto file = database.scratch.root() / "transactions.txt";
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    std::ostringstream out;
    std::ostringstream err;
    vaq::shell::ShellContext context{database.scratch.data(), out, err};
    try {
        vaq::shell::run_words(context, {".import-transactions", file.string()});
    } catch (const vaq::Error&) {
    }
    vaq::fuzz::expect_sound_table(database.scratch.data(), "Transact", ".import-transactions");
    return 0;
}
