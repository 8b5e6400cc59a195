// A CSV file imported by the shell's .import into a keyed table with a secondary index, a
// memo and fields of every common type. The import succeeds or fails with an error; either
// way the table afterwards reads in every order and verifies without damage.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/error.h"
#include "fuzz/fuzz_support.h"
#include "tools/vaqdb/shell.h"

namespace {

struct Database {
    vaq::fuzz::Scratch scratch;
    vaq::fuzz::FolderImage image = vaq::fuzz::image_after(
        scratch.data(),
        {"CREATE TABLE T (Id integer, Name char(20), Amount float, Paid money, Day date, "
         "At time, Stamp timestamp, Flag boolean, Small smallint, Note memo(20), Raw bytes(4), "
         "PRIMARY KEY (Id))",
         "CREATE INDEX ByName ON T (Name, Day)",
         "INSERT INTO T VALUES (1, 'one', 1.5, 10, '1/2/2000', '10:00:00', "
         "'1/2/2000 10:00:00', true, 1, 'a short note', NULL)"});
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Database database;
    vaq::fuzz::restore_image(database.scratch.data(), database.image);
    const auto csv = database.scratch.root() / "in.csv";
    std::ofstream(csv, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    std::ostringstream out;
    std::ostringstream err;
    vaq::shell::ShellContext context{database.scratch.data(), out, err};
    try {
        vaq::shell::run_words(context, {".import", csv.string(), "T"});
    } catch (const vaq::Error&) {
    }
    vaq::fuzz::expect_sound_table(database.scratch.data(), "T", ".import");
    return 0;
}
