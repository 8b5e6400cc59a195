#pragma once

// pxlib, written by other people, as a second opinion on what a table holds. Tests only.

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <paradox.h>
}

namespace pdx::testing {

class PxlibTable {
  public:
    explicit PxlibTable(const std::string& path) {
        doc_ = PX_new();
        if (doc_ != nullptr) doc_->errorhandler = &PxlibTable::on_error;
        file_ = std::fopen(path.c_str(), "rb");
        if (doc_ == nullptr || file_ == nullptr || PX_open_fp(doc_, file_) < 0)
            throw std::runtime_error("pxlib cannot open " + path);
        converts_text_ = PX_set_targetencoding(doc_, "UTF-8") == 0;
        record_.resize(static_cast<std::size_t>(doc_->px_head->px_recordsize));
    }
    PxlibTable(const PxlibTable&) = delete;
    PxlibTable& operator=(const PxlibTable&) = delete;
    ~PxlibTable() {
        if (doc_ != nullptr) {
            PX_close(doc_);
            PX_delete(doc_);
        }
        if (file_ != nullptr) std::fclose(file_);
    }

    pxdoc_t* doc() const { return doc_; }
    // False when pxlib could not set up conversion to UTF-8 (level 3 tables, some code pages).
    bool converts_text() const { return converts_text_; }
    int record_count() const { return PX_get_num_records(doc_); }
    int field_count() const { return PX_get_num_fields(doc_); }
    const pxfield_t& field(int i) const { return *PX_get_field(doc_, i); }

    // The bytes of record `n` (0-based), decrypted.
    char* read_record(int n) {
        if (PX_get_record(doc_, n, record_.data()) == nullptr)
            throw std::runtime_error("pxlib cannot read record " + std::to_string(n));
        return record_.data();
    }

  private:
    static void on_error(pxdoc_t*, int, const char*, void*) {}

    pxdoc_t* doc_ = nullptr;
    std::FILE* file_ = nullptr;
    bool converts_text_ = false;
    std::vector<char> record_;
};

}  // namespace pdx::testing
