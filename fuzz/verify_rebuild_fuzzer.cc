// Verify and rebuild of a table family from bytes (see split_family). Neither may fail other
// than with an error; a rebuilt table opens, reads in every order, and holds no more records
// than the data blocks of the input could hold. The one table that need not open is one whose
// header names, as the input's did, a code page this system cannot convert: the rebuild keeps
// a table's code page, and the engine opens no table whose text it cannot read.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "common/error.h"
#include "engine/format/block_file.h"
#include "engine/format/text_codec.h"
#include "engine/table/table.h"
#include "fuzz/fuzz_support.h"
#include "tutil/rebuild.h"
#include "tutil/verifier.h"

namespace {

// The code page the table's header names; empty when the header cannot be read.
std::string code_page_of(const std::filesystem::path& table) {
    try {
        return pdx::charset_of(pdx::BlockFile::open(table).header());
    } catch (const vaq::Error&) {
        return {};
    }
}

bool convertible(const std::string& codePage) {
    try {
        const pdx::TextCodec codec(codePage);
        return true;
    } catch (const vaq::Error&) {
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const vaq::fuzz::Scratch scratch;
    scratch.clear();
    const auto files = vaq::fuzz::split_family(data, size);
    const auto db = vaq::fuzz::write_family(scratch.data(), "T", files);
    const std::size_t slots = vaq::fuzz::slots_of(files.at("DB"));

    (void)vaq::tutil::verify_table(db);
    const std::string inputCodePage = code_page_of(db);

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
        const std::string codePage = code_page_of(db);
        if (!codePage.empty() && codePage == inputCodePage && !convertible(codePage)) return 0;
        vaq::fuzz::broken(std::string("the rebuilt table cannot be read: ") + error.what());
    }
    (void)vaq::tutil::verify_table(db);
    return 0;
}
