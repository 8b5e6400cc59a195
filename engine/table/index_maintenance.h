#pragma once

// Hooks through which the code that writes secondary indexes (.Xnn/.XGn with their trees)
// joins the writing of tables, without the writer knowing their layout.
//
// Record changes: the maintainer hears of every record stored and removed, with where it
// stands, and adds its own writes to the same journaled change, so that the table and its
// indexes change together. The engine's own maintainer and rebuilder
// (secondary_index_maintainer.h, secondary_index.h) are installed from the start. Without a
// factory a table that has maintained secondary indexes is opened for reading only, because
// writing it would leave indexes that the access-control program rejects as out of date.
//
// Restructures: the new family's secondary indexes are built by the installed rebuilder,
// into the staging folder, before the family is swapped in. Without one, a table with
// secondary index files is not restructured.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engine/format/coding.h"
#include "engine/table/change_journal.h"
#include "engine/table/index_cursor.h"

namespace pdx {

class Table;

class IndexMaintainer {
  public:
    virtual ~IndexMaintainer() = default;
    // A record was stored (`record` as written) at `at`, the `number`th record in table
    // order / removed (as it was) from where it stood. A record changed in place is removed
    // and stored at the same place.
    virtual void inserted(Bytes record, RecordPosition at, std::uint32_t number,
                          ChangeJournal::Change& change) = 0;
    virtual void removed(Bytes record, RecordPosition at, std::uint32_t number,
                         ChangeJournal::Change& change) = 0;
    // Whether a record changed where it stands, from `before` to `after`, changes an entry of
    // some index. When it does not, the change is not reported at all.
    virtual bool entries_differ(Bytes /*before*/, Bytes /*after*/) const { return true; }
    // True when no index follows the table's records now, so that one change may store
    // many records.
    virtual bool follows_nothing() const { return false; }
    // The change went to disk / was dropped.
    virtual void committed() = 0;
    virtual void discarded() = 0;
    // Pushes the index files to disk.
    virtual void flush() = 0;
};

// Makes the maintainer of an open table's secondary indexes.
using IndexMaintainerFactory = std::function<std::unique_ptr<IndexMaintainer>(Table& table)>;
void set_index_maintainer_factory(IndexMaintainerFactory factory);
const IndexMaintainerFactory& index_maintainer_factory();

struct IndexRebuildRequest {
    // The table before the restructure, still in place and open for reading.
    const Table& old_table;
    // The new .DB, complete, in the staging folder; the index files go beside it.
    std::filesystem::path new_table_file;
    // For each new field, the old field it was carried from.
    std::vector<std::optional<std::size_t>> sources;
    // The secondary index files of the old family.
    std::vector<std::filesystem::path> old_index_files;
};

// Builds the secondary indexes of a restructured table.
using IndexRebuilder = std::function<void(const IndexRebuildRequest& request)>;
void set_index_rebuilder(IndexRebuilder rebuilder);
const IndexRebuilder& index_rebuilder();

}  // namespace pdx
