#include "tutil/blob_check.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "common/error.h"
#include "engine/format/blob_file.h"
#include "engine/format/crypt.h"

namespace vaq::tutil {

namespace {

struct StoredValue {
    std::uint32_t length = 0;
    std::uint16_t modification = 0;
    bool referenced = false;
};

// What the walk over the .MB found: the values, by block offset and slot (0xFF for a
// single-value block).
struct BlobMap {
    std::map<std::pair<std::uint64_t, std::uint8_t>, StoredValue> values;
    std::uint16_t modification_count = 0;
};

class BlobWalk {
  public:
    BlobWalk(const std::filesystem::path& path, std::uint32_t key, Findings& findings)
        : file_(pdx::File::open(path)),
          name_(path.filename().string()),
          key_(key),
          findings_(findings) {}

    std::optional<BlobMap> run() {
        const std::uint64_t size = file_.size();
        if (size < pdx::kBlobUnit || size % pdx::kBlobUnit != 0) {
            error("The blob file is " + std::to_string(size) +
                  " bytes long, not a whole number of 4096-byte units.");
            if (size < pdx::kBlobUnit) return std::nullopt;
        }
        const auto header = read_unit(0);
        if (header[0] != static_cast<std::uint8_t>(pdx::BlobBlockType::kHeader)) {
            error("The blob file does not start with its header block.");
            return std::nullopt;
        }
        map_.modification_count = pdx::load_u16le(header.data() + 3);
        const std::uint64_t units = size / pdx::kBlobUnit;
        for (std::uint64_t unit = 1; unit < units;) {
            const auto bytes = read_unit(unit);
            const pdx::BlobBlockHead head = pdx::BlobBlockHead::decode(bytes.data());
            const std::uint64_t offset = unit * pdx::kBlobUnit;
            if (head.units == 0 || unit + head.units > units) {
                error("The block at offset " + std::to_string(offset) + " claims " +
                      std::to_string(head.units) + " units, which the file does not hold.");
                return map_;
            }
            switch (static_cast<pdx::BlobBlockType>(head.type)) {
                case pdx::BlobBlockType::kSingle: {
                    const auto single = pdx::SingleBlobHead::decode(bytes.data());
                    if (single.length + pdx::SingleBlobHead::kEncodedSize >
                        std::uint64_t{head.units} * pdx::kBlobUnit)
                        error("The value at offset " + std::to_string(offset) +
                              " is longer than its block.");
                    map_.values[{offset, pdx::BlobPointer::kWholeBlock}] = {single.length,
                                                                            single.modification};
                    break;
                }
                case pdx::BlobBlockType::kSubAllocated:
                    read_slots(offset, bytes);
                    break;
                case pdx::BlobBlockType::kFree:
                    break;
                default:
                    error("The block at offset " + std::to_string(offset) +
                          " is of the unknown type " + std::to_string(head.type) + ".");
                    return map_;
            }
            unit += head.units;
        }
        return map_;
    }

  private:
    void error(const std::string& message) { findings_.add(Weight::kError, name_, message); }

    std::vector<std::uint8_t> read_unit(std::uint64_t unit) {
        std::vector<std::uint8_t> bytes(pdx::kBlobUnit, 0);
        file_.read_at(unit * pdx::kBlobUnit, bytes);
        if (key_ != 0) pdx::decrypt_blob_bytes(bytes, key_);
        return bytes;
    }

    void read_slots(std::uint64_t offset, const std::vector<std::uint8_t>& block) {
        std::vector<std::pair<std::size_t, std::size_t>> used;
        for (std::size_t slot = 0; slot < pdx::BlobSlot::kCount; ++slot) {
            const pdx::BlobSlot s = pdx::BlobSlot::decode(
                block.data() + pdx::BlobSlot::kTableOffset + slot * pdx::BlobSlot::kEncodedSize);
            if (!s.in_use()) continue;
            const std::size_t start = s.offset_chunks * pdx::BlobSlot::kChunk;
            const std::size_t end = start + s.length_chunks * pdx::BlobSlot::kChunk;
            if (start < pdx::BlobSlot::kDataStart || end > pdx::kBlobUnit) {
                error("Slot " + std::to_string(slot) + " of the block at offset " +
                      std::to_string(offset) + " lies outside its block.");
                continue;
            }
            used.emplace_back(start, end);
            map_.values[{offset, static_cast<std::uint8_t>(slot)}] = {
                static_cast<std::uint32_t>(s.length()), s.modification};
        }
        std::sort(used.begin(), used.end());
        for (std::size_t i = 1; i < used.size(); ++i)
            if (used[i].first < used[i - 1].second) {
                error("Two slots of the block at offset " + std::to_string(offset) +
                      " share their data.");
                break;
            }
    }

    pdx::File file_;
    std::string name_;
    std::uint32_t key_;
    Findings& findings_;
    BlobMap map_;
};

std::string where(const BlobReference& ref) {
    return "Block " + std::to_string(ref.block) + ", record " + std::to_string(ref.slot + 1);
}

}  // namespace

void check_blobs(const TableFamily& family, const DataCheck& data, const Chain& chain,
                 Findings& findings) {
    const std::string table = data.file().name();
    std::vector<BlobReference> refs;
    for (const BlobReference& ref : data.blob_references())
        if (chain.member[ref.block]) refs.push_back(ref);
    if (!family.blobs) {
        if (!refs.empty())
            findings.add(Weight::kError, table,
                         std::to_string(refs.size()) +
                             " blob values lie in the blob file, which is missing.");
        return;
    }
    const std::string name = family.blobs->filename().string();
    std::optional<BlobMap> map;
    try {
        map = BlobWalk(*family.blobs, data.file().header().encryption_key(), findings).run();
    } catch (const vaq::Error& error) {
        findings.add(Weight::kIncomplete, name, error.what());
        return;
    }
    if (!map) return;
    std::set<std::pair<std::uint64_t, std::uint8_t>> seen;
    std::uint16_t highest_modification = 0;
    const auto& fields = data.file().header().fields;
    for (const BlobReference& ref : refs) {
        const std::string field = "field " + fields[ref.field].name;
        const auto key = std::make_pair(std::uint64_t{ref.pointer.block_offset}, ref.pointer.slot);
        const auto found = map->values.find(key);
        if (found == map->values.end()) {
            findings.add(Weight::kError, table,
                         where(ref) + ": " + field + " refers to a blob value that does not exist.",
                         ref.block, ref.slot + 1);
            continue;
        }
        StoredValue& value = found->second;
        if (value.length != ref.pointer.length)
            findings.add(Weight::kError, table,
                         where(ref) + ": " + field + " refers to a blob value of " +
                             std::to_string(value.length) + " bytes as one of " +
                             std::to_string(ref.pointer.length) + ".",
                         ref.block, ref.slot + 1);
        else if (value.modification != ref.pointer.modification)
            findings.add(
                Weight::kError, table,
                where(ref) + ": " + field + " refers to a blob value that has been modified since.",
                ref.block, ref.slot + 1);
        if (!seen.insert(key).second)
            findings.add(Weight::kError, table,
                         where(ref) + ": " + field + " shares its blob value with another record.",
                         ref.block, ref.slot + 1);
        value.referenced = true;
        highest_modification = std::max(highest_modification, value.modification);
    }
    if (highest_modification > map->modification_count)
        findings.add(Weight::kError, name,
                     "The modification counter " + std::to_string(map->modification_count) +
                         " is below the number " + std::to_string(highest_modification) +
                         " of a value in use.");
    const auto unused = std::count_if(map->values.begin(), map->values.end(),
                                      [](const auto& entry) { return !entry.second.referenced; });
    if (unused > 0)
        findings.add(Weight::kNote, name,
                     std::to_string(unused) + " stored values belong to no record.");
}

}  // namespace vaq::tutil
