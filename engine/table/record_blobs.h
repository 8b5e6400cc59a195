#pragma once

// The memo and blob fields of the records a writer stores. Such a field holds the first bytes
// of its value (the leader) and a pointer to the whole value in the table's .MB (blob_file.h);
// a value no longer than the leader stays in the record. The .MB is opened, or created empty,
// on the first value that needs it; its writes go into the writer's change.

#include <memory>
#include <vector>

#include "engine/format/coding.h"
#include "engine/table/blob_store.h"
#include "engine/table/change_journal.h"
#include "engine/table/edit_buffer.h"
#include "engine/table/schema.h"

namespace pdx {

class Table;

class RecordBlobs {
  public:
    explicit RecordBlobs(Table& table);

    // True when the table has memo or blob fields.
    bool any() const { return !fields_.empty(); }
    // True when `a` and `b` hold the same bytes in every memo and blob field.
    bool same(Bytes a, Bytes b) const;

    // Stores the values `source` changed into `record`, giving up what `old_record` (empty
    // for a new record) held in those fields; with `copy_unchanged`, the values `record`
    // shares with a stored record are stored again as its own.
    void place(const EditBuffer& source, std::vector<std::uint8_t>& record, Bytes old_record,
               bool copy_unchanged, ChangeJournal::Change& change);
    // Gives up the .MB space of the values `record` points at.
    void release(Bytes record, ChangeJournal::Change& change);

    // The change's writes of the .MB header, when it changed anything.
    void stage(ChangeJournal::Change& change);
    // The change is in the file; readers of the table read the .MB again.
    void committed();
    // Forgets what the failed change planned.
    void discard();
    // Pushes the .MB to disk, when it was opened.
    void sync();

  private:
    BlobStore& store();

    Table& table_;
    std::vector<const Field*> fields_;
    std::unique_ptr<BlobStore> store_;
};

}  // namespace pdx
