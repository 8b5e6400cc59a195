// Verify and rebuild of a table family from bytes (see split_family). Neither may fail other
// than with an error; a rebuilt table opens, reads in every order, and holds no more records
// than the data blocks of the input could hold.

#include <cstddef>
#include <cstdint>

#include "common/error.h"
#include "engine/table/table.h"
#include "fuzz/fuzz_support.h"
#include "tutil/rebuild.h"
#include "tutil/verifier.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const vaq::fuzz::Scratch scratch;
    scratch.clear();
    const auto files = vaq::fuzz::split_family(data, size);
    const auto db = vaq::fuzz::write_family(scratch.data(), "T", files);
    const std::size_t slots = vaq::fuzz::slots_of(files.at("DB"));

    (void)vaq::tutil::verify_table(db);

    vaq::tutil::RebuildRequest request;
    request.table = db;
    request.backup = scratch.root() / "private" / "Backup.Db";
    request.key_violations = scratch.root() / "private" / "KEYVIOL.DB";
    request.problems = scratch.root() / "private" / "PROBLEM.DB";
    try {
        vaq::tutil::rebuild_table(request);
    } catch (const vaq::Error&) {
        return 0;  // refused with a message; the table is as it was
    }
    try {
        const auto table = pdx::Table::open_file(db);
        const std::size_t records = vaq::fuzz::read_every_order(*table);
        if (records > slots)
            vaq::fuzz::broken("the rebuilt table holds " + std::to_string(records) +
                              " records, the input's blocks hold at most " + std::to_string(slots));
    } catch (const vaq::Error& error) {
        vaq::fuzz::broken(std::string("the rebuilt table cannot be read: ") + error.what());
    }
    (void)vaq::tutil::verify_table(db);
    return 0;
}
