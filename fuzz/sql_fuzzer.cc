// Statements of the engine's SQL, cut at ';', against a small keyed table with a secondary
// index, a memo and fields of every common type. Each statement is read, printed and read
// again (the printed form must read as the same statement), then run; a SELECT's rows are
// read to the end. Errors are what bad statements get; nothing else may happen.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "common/error.h"
#include "engine/sql/executor.h"
#include "engine/sql/parser.h"
#include "engine/sql/printer.h"
#include "engine/sql/result_set.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr std::size_t kMaxStatements = 16;

struct Database {
    vaq::fuzz::Scratch scratch;
    vaq::fuzz::FolderImage image = vaq::fuzz::image_after(
        scratch.data(),
        {"CREATE TABLE T (Id integer, Name char(20), Amount float, Paid money, Day date, "
         "At time, Stamp timestamp, Flag boolean, Small smallint, Note memo(20), "
         "PRIMARY KEY (Id))",
         "CREATE INDEX ByName ON T (Name, Day)", "CREATE TABLE U (Tag char(5), N integer)",
         "INSERT INTO T VALUES (1, 'one', 1.5, 10, '1/2/2000', '10:00:00', "
         "'1/2/2000 10:00:00', true, 1, 'a short note')",
         "INSERT INTO T VALUES (2, 'two', -2.25, 0, '12/31/1999', '0:0:0', NULL, false, -2, "
         "'a note long enough to be kept in the blob file rather than in the record')",
         "INSERT INTO T (Id, Name) VALUES (3, NULL)",
         "INSERT INTO U VALUES ('x', 1), ('y', NULL)"});
};

void read_to_end(pdx::sql::ResultSet& result) {
    for (; !result.eof(); result.next())
        for (std::size_t i = 0; i < result.fields().size(); ++i)
            (void)result.value(i);
}

void run(pdx::sql::Executor& executor, std::string_view text) {
    const pdx::sql::Statement statement = pdx::sql::parse(text);
    const std::string printed = pdx::sql::to_sql(statement);
    try {
        const std::string again = pdx::sql::to_sql(pdx::sql::parse(printed));
        if (again != printed) vaq::fuzz::broken("'" + printed + "' reads back as '" + again + "'");
    } catch (const vaq::Error& error) {
        vaq::fuzz::broken("'" + printed + "' does not read back: " + error.what());
    }
    if (const auto* select = std::get_if<pdx::sql::Select>(&statement))
        read_to_end(*executor.open(*select));
    else
        executor.execute(statement);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Database database;
    vaq::fuzz::restore_image(database.scratch.data(), database.image);
    pdx::sql::Executor executor(database.scratch.data());
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    for (std::size_t n = 0; n < kMaxStatements && start <= text.size(); ++n) {
        std::size_t end = text.find(';', start);
        if (end == std::string_view::npos) end = text.size();
        try {
            run(executor, text.substr(start, end - start));
        } catch (const vaq::Error&) {
        }
        start = end + 1;
    }
    return 0;
}
