#include "engine/format/block_file.h"

#include <algorithm>
#include <stdexcept>

#include "engine/format/crypt.h"
#include "engine/format/format_error.h"

namespace pdx {

BlockFile BlockFile::open(const std::filesystem::path& path, File::Mode mode) {
    File file = File::open(path, mode);
    const std::string name = path.filename().string();
    const std::uint64_t size = file.size();
    std::vector<std::uint8_t> bytes(std::min<std::uint64_t>(size, kFixedHeaderSize));
    file.read_at(0, bytes);
    if (bytes.size() < kFixedHeaderSize)
        throw FormatError("The file " + name + " is too short (" + std::to_string(size) +
                          " bytes) to be a Paradox table.");
    const std::uint16_t header_size = TableHeader::peek_header_size(bytes);
    bytes.resize(
        std::min<std::uint64_t>(size, std::max<std::size_t>(header_size, kFixedHeaderSize)));
    bytes.resize(file.read_at(0, bytes));
    TableHeader header = TableHeader::decode(bytes, name);
    return BlockFile(std::move(file), std::move(header), name, size);
}

void BlockFile::fail(const std::string& what) const {
    throw FormatError(name_ + " is damaged: " + what + ".");
}

std::uint32_t BlockFile::blocks_on_disk() const {
    if (file_size_ <= header_.header_size) return 0;
    const std::uint64_t data = file_size_ - header_.header_size;
    const std::uint64_t block = header_.block_size();
    return static_cast<std::uint32_t>(std::min<std::uint64_t>((data + block - 1) / block, 0xFFFF));
}

std::size_t BlockFile::read_block(std::uint32_t block, std::vector<std::uint8_t>& buffer) const {
    if (block == 0 || block > header_.file_blocks)
        fail("block " + std::to_string(block) + " is outside the " +
             std::to_string(header_.file_blocks) + " blocks its header declares");
    if (block > blocks_on_disk())
        fail("block " + std::to_string(block) + " lies beyond the end of the file (" +
             std::to_string(file_size_) + " bytes)");
    const std::size_t block_size = header_.block_size();
    buffer.resize(block_size);
    const std::uint64_t offset = header_.block_offset(block);
    const auto wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(block_size, file_size_ - offset));
    if (overlay_ && overlay_->read_newer(block, 0, buffer)) return wanted;
    const std::size_t got = file_.read_at(offset, std::span(buffer).first(wanted));
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(got), buffer.end(), 0);
    if (got < DataBlockHeader::kEncodedSize)
        fail("block " + std::to_string(block) + " is cut short by the end of the file");
    if (header_.is_encrypted()) {
        if (got < block_size)
            fail("encrypted block " + std::to_string(block) +
                 " is cut short by the end of the file");
        decrypt_table_block(buffer, header_.encryption_key(), block);
    }
    return got;
}

DataBlockHeader BlockFile::read_data_block(std::uint32_t block,
                                           std::vector<std::uint8_t>& buffer) const {
    const std::size_t present = read_block(block, buffer);
    const DataBlockHeader head = DataBlockHeader::decode(buffer.data());
    if (auto problem = head.problem(header_.record_size, header_.block_size()))
        fail("block " + std::to_string(block) + ": " + *problem);
    const std::size_t used = DataBlockHeader::kEncodedSize +
                             head.record_count(header_.record_size) * header_.record_size;
    if (used > present)
        fail("block " + std::to_string(block) + " holds " +
             std::to_string(head.record_count(header_.record_size)) +
             " records but the file ends inside them");
    return head;
}

std::size_t BlockFile::read_within_block(std::uint32_t block, std::size_t offset_in_block,
                                         MutableBytes out) const {
    if (header_.is_encrypted() || offset_in_block + out.size() > header_.block_size())
        throw std::logic_error(
            "a part of a block is read only from a plain file, within the block");
    if (overlay_ && overlay_->read_newer(block, offset_in_block, out)) return out.size();
    return file_.read_at(header_.block_offset(block) + offset_in_block, out);
}

ChainGuard::ChainGuard(const BlockFile& file, const char* chain_name)
    : file_(file), chain_name_(chain_name), visited_(file.header().file_blocks + std::size_t{1}) {}

void ChainGuard::visit(std::uint32_t block, std::uint32_t from) {
    const std::string where =
        from == 0 ? std::string("the header") : "block " + std::to_string(from);
    if (block == 0 || block > file_.header().file_blocks)
        file_.fail(std::string("the ") + chain_name_ + " leads from " + where + " to block " +
                   std::to_string(block) + ", outside the " +
                   std::to_string(file_.header().file_blocks) + " blocks of the file");
    if (visited_[block])
        file_.fail(std::string("the ") + chain_name_ + " loops: " + where +
                   " leads back to block " + std::to_string(block));
    visited_[block] = true;
}

}  // namespace pdx
