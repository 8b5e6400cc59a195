#pragma once

// The primary key of a keyed table's records, as a writer places them: the key is the first
// `key_fields` fields of a record (table_header.h), ordered as the table's sort order says
// (index_key_order.h). The records of a data block are kept in key order.

#include <cstddef>
#include <string>

#include "engine/format/block_image.h"
#include "engine/format/coding.h"
#include "engine/format/table_header.h"
#include "engine/table/index_key_order.h"

namespace pdx {

class PrimaryKey {
  public:
    // The key of the keyed table `header` describes; `table_name` is for messages.
    PrimaryKey(const TableHeader& header, std::string table_name);

    const KeyOrder& order() const { return order_; }
    // The key bytes at the start of `record`.
    Bytes of(Bytes record) const { return record.first(length_); }
    bool same(Bytes a, Bytes b) const { return order_.same_key(a, b); }
    // Negative, zero or positive as key `a` sorts before, with or after key `b`. Throws
    // vaq::Error when the sort order cannot tell (a collation not known for sure).
    int compare(Bytes a, Bytes b) const;
    // The first slot of `image` whose key does not sort before `key`; `same` tells whether
    // that record has `key`.
    std::size_t lower_bound(const BlockImage& image, Bytes key, bool& same) const;

  private:
    KeyOrder order_;
    std::size_t length_ = 0;
    std::string sort_order_id_;
    std::string table_name_;
};

}  // namespace pdx
