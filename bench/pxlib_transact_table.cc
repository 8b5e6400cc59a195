#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

extern "C" {
#include <paradox.h>
}

#include "bench/transact_table.h"

namespace vaq::bench {

namespace fs = std::filesystem;

namespace {

struct PxColumn {
    const char* name;
    char type;
    int size;
};

// The columns of write_transact_table, in pxlib's type codes.
constexpr std::array<PxColumn, 11> kPxColumns = {{
    {"TransID", pxfLong, 4},
    {"TDate", pxfDate, 4},
    {"TTime", pxfTime, 4},
    {"ControllerID", pxfLong, 4},
    {"DoorID", pxfLong, 4},
    {"Door", pxfAlpha, 20},
    {"CardID", pxfAlpha, 10},
    {"PersonalID", pxfLong, 4},
    {"StaffID", pxfAlpha, 20},
    {"EventID", pxfLong, 4},
    {"DT", pxfTimestamp, 8},
}};

// A pxlib document that closes its table and frees itself.
class PxDocument {
  public:
    PxDocument() : doc_(PX_new()) {
        if (doc_ == nullptr) throw std::runtime_error("pxlib cannot make a document");
    }
    ~PxDocument() {
        if (created_) PX_close(doc_);
        PX_delete(doc_);
    }
    PxDocument(const PxDocument&) = delete;
    PxDocument& operator=(const PxDocument&) = delete;

    // Creates `path` as an unkeyed table of the first `columns` transaction columns. pxlib
    // keeps the field list and frees it with the document, so it is taken from the
    // document's allocator.
    void create(const fs::path& path, std::size_t columns, std::size_t record_size) {
        auto* fields =
            static_cast<pxfield_t*>(doc_->malloc(doc_, sizeof(pxfield_t) * columns, "fields"));
        for (std::size_t i = 0; i < columns; ++i) {
            const std::size_t length = std::strlen(kPxColumns[i].name) + 1;
            auto* name = static_cast<char*>(doc_->malloc(doc_, length, "field name"));
            std::memcpy(name, kPxColumns[i].name, length);
            fields[i] = {name, kPxColumns[i].type, kPxColumns[i].size, 0};
        }
        if (PX_create_file(doc_, fields, static_cast<int>(columns), path.c_str(),
                           pxfFileTypNonIndexDB) < 0)
            throw std::runtime_error("pxlib cannot create " + path.string());
        created_ = true;
        if (doc_->px_head->px_recordsize != static_cast<int>(record_size))
            throw std::runtime_error("pxlib laid the transaction record out in " +
                                     std::to_string(doc_->px_head->px_recordsize) + " bytes");
    }

    void put(std::vector<std::uint8_t>& record) {
        if (PX_put_record(doc_, reinterpret_cast<char*>(record.data())) < 0)
            throw std::runtime_error("pxlib cannot write a record");
    }

  private:
    pxdoc_t* doc_;
    bool created_ = false;
};

// Without DT, the last column (8 bytes): pxlib then takes the first bytes of each record.
constexpr std::size_t kDtSize = 8;

void write_with_pxlib(const fs::path& path, std::uint32_t records, bool old_layout) {
    PxDocument doc;
    doc.create(path, old_layout ? kPxColumns.size() - 1 : kPxColumns.size(),
               old_layout ? kTransactRecordSize - kDtSize : kTransactRecordSize);
    std::vector<std::uint8_t> record(kTransactRecordSize);
    for (std::uint32_t n = 0; n < records; ++n) {
        std::fill(record.begin(), record.end(), 0);
        fill_transact_record(record.data(), n);
        doc.put(record);
    }
}

fs::path cached_pxlib_table(std::uint32_t records, bool old_layout) {
    const std::string name = old_layout ? "pxlib-old-transact-" : "pxlib-transact-";
    const fs::path folder = fs::path(VAQ_BENCH_CACHE_DIR) / (name + std::to_string(records));
    const fs::path table = folder / "Transact.db";
    if (fs::exists(table)) return table;
    // Written aside and renamed, so that a run cut short never leaves half a table cached.
    const fs::path partial =
        fs::path(VAQ_BENCH_CACHE_DIR) /
        ("partial-" + name + std::to_string(records) + "-" + std::to_string(::getpid()));
    fs::remove_all(partial);
    fs::create_directories(partial);
    try {
        write_with_pxlib(partial / "Transact.db", records, old_layout);
    } catch (...) {
        fs::remove_all(partial);
        throw;
    }
    std::error_code raced;
    fs::rename(partial, folder, raced);  // another run may have cached it meanwhile
    fs::remove_all(partial);
    return table;
}

}  // namespace

fs::path pxlib_transact_table(std::uint32_t records) {
    return cached_pxlib_table(records, false);
}

fs::path pxlib_old_transact_table(std::uint32_t records) {
    return cached_pxlib_table(records, true);
}

}  // namespace vaq::bench
