#include "engine/table/primary_key.h"

#include <utility>
#include <vector>

#include "common/error.h"

namespace pdx {

namespace {

KeyOrder primary_key_order(const TableHeader& header) {
    std::vector<KeyOrder::Part> parts;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < header.key_fields && i < header.fields.size(); ++i) {
        parts.push_back({offset, header.fields[i].descriptor, false});
        offset += header.fields[i].descriptor.width();
    }
    return KeyOrder(std::move(parts), alpha_collation_of(header), false);
}

std::size_t key_width(const TableHeader& header) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < header.key_fields && i < header.fields.size(); ++i)
        width += header.fields[i].descriptor.width();
    return width;
}

}  // namespace

PrimaryKey::PrimaryKey(const TableHeader& header, std::string table_name)
    : order_(primary_key_order(header)),
      length_(key_width(header)),
      sort_order_id_(header.sort_order_id),
      table_name_(std::move(table_name)) {}

int PrimaryKey::compare(Bytes a, Bytes b) const {
    if (auto order = order_.certain_compare(a, b)) return *order;
    throw vaq::Error("The sort order " + sort_order_id_ + " of " + table_name_ +
                     " cannot place this key among the others; nothing was written.");
}

std::size_t PrimaryKey::lower_bound(const BlockImage& image, Bytes key, bool& same) const {
    std::size_t low = 0;
    std::size_t high = image.count();
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        if (compare(of(image.record(mid)), key) < 0)
            low = mid + 1;
        else
            high = mid;
    }
    same = low < image.count() && order_.same_key(of(image.record(low)), key);
    return low;
}

}  // namespace pdx
