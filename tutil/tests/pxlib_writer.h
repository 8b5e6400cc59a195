#pragma once

// Tables written by pxlib, written by other people, so that the damage tests start from files
// this system did not lay out itself. Tests only.

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <paradox.h>
}

namespace vaq::tutil::testing {

// A column of a table pxlib writes: pxlib's type code and width.
struct PxColumn {
    const char* name;
    char type;
    int size;
};

// Writes one table through pxlib and closes it when destroyed.
class PxlibWriter {
  public:
    // Creates `path` with `columns`; the first `key_fields` make the primary key (pxlib
    // neither sorts nor checks keys: give the records in key order). `block_kib` (1 to 32)
    // replaces the block size pxlib would choose.
    PxlibWriter(const std::filesystem::path& path, const std::vector<PxColumn>& columns,
                int key_fields, int block_kib)
        : doc_(PX_new()) {
        if (doc_ == nullptr) throw std::runtime_error("pxlib cannot make a document");
        doc_->errorhandler = &PxlibWriter::on_error;
        // pxlib frees the field list with the document: it comes from pxlib's allocator.
        auto* fields = static_cast<pxfield_t*>(
            doc_->malloc(doc_, sizeof(pxfield_t) * columns.size(), "fields"));
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const std::size_t length = std::strlen(columns[i].name) + 1;
            auto* name = static_cast<char*>(doc_->malloc(doc_, length, "field name"));
            std::memcpy(name, columns[i].name, length);
            fields[i] = {name, columns[i].type, columns[i].size, 0};
        }
        if (PX_create_file(doc_, fields, static_cast<int>(columns.size()), path.c_str(),
                           pxfFileTypNonIndexDB) < 0)
            throw std::runtime_error("pxlib cannot create " + path.string());
        created_ = true;
        if (key_fields > 0 && PX_set_value(doc_, "numprimkeys", static_cast<float>(key_fields)) < 0)
            throw std::runtime_error("pxlib cannot key " + path.string());
        doc_->px_head->px_maxtablesize = block_kib;
        record_.resize(static_cast<std::size_t>(doc_->px_head->px_recordsize));
    }
    PxlibWriter(const PxlibWriter&) = delete;
    PxlibWriter& operator=(const PxlibWriter&) = delete;
    ~PxlibWriter() {
        if (created_) PX_close(doc_);
        PX_delete(doc_);
    }

    pxdoc_t* doc() const { return doc_; }

    // Encrypts the table with `password`, as Paradox does; before the first record.
    void encrypt(const char* password) {
        if (PX_set_parameter(doc_, "password", password) < 0)
            throw std::runtime_error("pxlib cannot set a password");
    }
    std::size_t record_size() const { return record_.size(); }

    // A record buffer of zeros to fill with pxlib's PX_put_data_* calls, then append().
    char* fresh_record() {
        std::fill(record_.begin(), record_.end(), '\0');
        return record_.data();
    }
    void append() {
        if (PX_put_record(doc_, record_.data()) < 0)
            throw std::runtime_error("pxlib cannot write a record");
    }

  private:
    static void on_error(pxdoc_t*, int, const char*, void*) {}

    pxdoc_t* doc_;
    bool created_ = false;
    std::vector<char> record_;
};

// An unkeyed table "Id I, Name A20" of `records` records encrypted by pxlib with a password,
// as only other software writes encrypted tables.
inline void write_encrypted_table(const std::filesystem::path& path, int records) {
    PxlibWriter writer(path, {{"Id", pxfLong, 4}, {"Name", pxfAlpha, 20}}, 0, 2);
    writer.encrypt("unguessable");
    for (int id = 1; id <= records; ++id) {
        char* r = writer.fresh_record();
        std::string name = "name " + std::to_string(id);
        PX_put_data_long(writer.doc(), r, 4, id);
        PX_put_data_alpha(writer.doc(), r + 4, 20, name.data());
        writer.append();
    }
}

}  // namespace vaq::tutil::testing
