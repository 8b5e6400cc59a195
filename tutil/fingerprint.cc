#include "tutil/fingerprint.h"

#include "engine/format/field_codec.h"

namespace vaq::tutil {

std::uint64_t EntryPlan::hash(pdx::Bytes record, std::uint32_t block, std::size_t slot,
                              std::size_t record_size) const {
    EntryHasher hasher;
    for (const ByteRange& range : ranges) {
        const pdx::Bytes bytes = record.subspan(range.offset, range.width);
        if (range.folded)
            hasher.add_folded(bytes);
        else
            hasher.add(bytes);
    }
    if (with_place) {
        std::uint8_t place[4];
        pdx::encode_short(static_cast<std::int16_t>(block), place);
        pdx::encode_short(static_cast<std::int16_t>(slot * record_size), place + 2);
        hasher.add(pdx::Bytes(place, 4));
    }
    return hasher.value();
}

}  // namespace vaq::tutil
