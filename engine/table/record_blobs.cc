#include "engine/table/record_blobs.h"

#include <algorithm>
#include <cstring>

#include "engine/format/blob_file.h"
#include "engine/table/table.h"
#include "engine/table/table_name.h"

namespace pdx {

RecordBlobs::RecordBlobs(Table& table) : table_(table) {
    for (const Field& f : table_.schema().fields())
        if (is_blob_type(f.type())) fields_.push_back(&f);
}

bool RecordBlobs::same(Bytes a, Bytes b) const {
    return std::all_of(fields_.begin(), fields_.end(), [&](const Field* field) {
        return std::memcmp(a.data() + field->offset, b.data() + field->offset, field->width()) == 0;
    });
}

BlobStore& RecordBlobs::store() {
    if (!store_) {
        auto path = find_family_file(table_.path(), ".MB");
        if (!path) {
            path = table_.path().parent_path() / (table_.path().stem().string() + ".MB");
            create_blob_file(*path);
        }
        store_ = std::make_unique<BlobStore>(*path);
    }
    return *store_;
}

void RecordBlobs::release(Bytes record, ChangeJournal::Change& change) {
    for (const Field* field : fields_) {
        const Field& f = *field;
        const std::size_t leader = f.descriptor.blob_leader();
        const BlobPointer pointer = BlobPointer::decode(record.data() + f.offset + leader);
        if (pointer.length > leader) store().release(pointer, change);
    }
}

void RecordBlobs::place(const EditBuffer& source, std::vector<std::uint8_t>& record,
                        Bytes old_record, bool copy_unchanged, ChangeJournal::Change& change) {
    for (const Field* field : fields_) {
        const Field& f = *field;
        const std::size_t leader = f.descriptor.blob_leader();
        std::uint8_t* bytes = record.data() + f.offset;
        std::vector<std::uint8_t> copied;
        const std::vector<std::uint8_t>* value = nullptr;
        if (source.blob_changed(f.index)) {
            value = &source.new_blobs().at(f.index);
            if (!old_record.empty()) {
                const BlobPointer old = BlobPointer::decode(old_record.data() + f.offset + leader);
                if (old.length > leader) store().release(old, change);
            }
        } else if (copy_unchanged) {
            // A record copied from a stored one must not share its .MB space.
            const BlobPointer pointer = BlobPointer::decode(bytes + leader);
            if (pointer.length <= leader) continue;
            copied = table_.read_blob(f, Bytes(bytes, f.width()));
            value = &copied;
        } else {
            continue;
        }
        std::memset(bytes, 0, f.width());
        if (value->empty()) continue;
        std::memcpy(bytes, value->data(), std::min(leader, value->size()));
        BlobPointer pointer;
        pointer.length = static_cast<std::uint32_t>(value->size());
        if (value->size() > leader) pointer = store().store(*value, change);
        pointer.encode(bytes + leader);
    }
}

void RecordBlobs::stage(ChangeJournal::Change& change) {
    if (store_) store_->stage(change);
}

void RecordBlobs::committed() {
    if (!store_) return;
    store_->committed();
    table_.forget_blob_file();
}

void RecordBlobs::discard() {
    if (store_) store_->discard();
}

void RecordBlobs::sync() {
    if (store_) store_->file().sync();
}

}  // namespace pdx
