#pragma once

// A file of a table family that is made of a header and numbered blocks: .DB, .PX, .Xnn,
// .Ynn, .XGn, .YGn. Reads never leave the file: a block number outside the header's block
// count or starting past the end of the file is an error, and the bytes of a last block
// that the file does not hold read as zeros (the BDE leaves such files; the records in the
// block must still be complete).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/format/data_block.h"
#include "engine/format/file.h"
#include "engine/format/table_header.h"

namespace pdx {

class BlockFile {
  public:
    // Opens the file read-only and decodes its header. Throws vaq::Error when the file
    // cannot be opened and FormatError when it is not a Paradox file.
    static BlockFile open(const std::filesystem::path& path, File::Mode mode = File::Mode::kRead);

    const TableHeader& header() const { return header_; }
    // Takes the header a writer has just stored in the file.
    void set_header(TableHeader header) { header_ = std::move(header); }
    // The header, for a writer to change where it stands.
    TableHeader& header_to_change() { return header_; }
    // The same, handing back the header it replaces (whose storage the caller may reuse).
    void swap_header(TableHeader& header) { std::swap(header_, header); }
    // The file name, as used in messages ("Transact.db").
    const std::string& name() const { return name_; }
    File& file() { return file_; }
    const File& file() const { return file_; }
    std::uint64_t file_size() const { return file_size_; }
    // Re-reads the size after the file was written.
    void refresh_size() { file_size_ = file_.size(); }

    // Blocks that start inside the file (the last one may be cut short).
    std::uint32_t blocks_on_disk() const;
    // Reads block `block` (1-based) into `buffer`, resized to the block size and decrypted.
    // Returns how many bytes the file held; the rest of the buffer is zero.
    std::size_t read_block(std::uint32_t block, std::vector<std::uint8_t>& buffer) const;
    // Reads `out.size()` bytes from `offset_in_block` of block `block`, which a read of the
    // whole block has checked before. Returns how many bytes the file held.
    std::size_t read_within_block(std::uint32_t block, std::size_t offset_in_block,
                                  MutableBytes out) const;
    // read_block, then checks the block header: addDataSize possible, records all on disk.
    DataBlockHeader read_data_block(std::uint32_t block, std::vector<std::uint8_t>& buffer) const;

    // Throws FormatError("<name> is damaged: <what>.").
    [[noreturn]] void fail(const std::string& what) const;

    // A change a writer holds back instead of writing at once, one block at a time: block
    // `block` now reads `block_now`, in which the bytes at `offset_in_block` replaced
    // `replaced`. Every read of that block through this object sees the change until
    // write_held() writes it into the file. Throws std::logic_error when another block is
    // held already, and for an encrypted file.
    void hold(std::uint32_t block, Bytes block_now, std::size_t offset_in_block, Bytes replaced);
    // The block whose changes are held; 0 when none is.
    std::uint32_t held_block() const { return held_block_; }
    // The held bytes that differ from the file's, and where they go in it.
    Bytes held_bytes() const;
    // The same range as the file holds it.
    Bytes held_bytes_in_file() const;
    std::uint64_t held_offset() const;
    // Writes the held bytes in one write. When the write fails they stay held.
    void write_held();
    // Forgets the held bytes once the caller has written them itself.
    void forget_held() { held_block_ = 0; }

  private:
    BlockFile(File file, TableHeader header, std::string name, std::uint64_t size)
        : file_(std::move(file)),
          header_(std::move(header)),
          name_(std::move(name)),
          file_size_(size) {}

    File file_;
    TableHeader header_;
    std::string name_;
    std::uint64_t file_size_ = 0;
    std::uint32_t held_block_ = 0;
    std::vector<std::uint8_t> held_;          // the whole held block as it reads now
    std::vector<std::uint8_t> held_in_file_;  // the same block as the file holds it
    std::size_t held_begin_ = 0;              // the changed bytes of it: [begin, end)
    std::size_t held_end_ = 0;
};

// Follows a chain of blocks (data chain or free list) and stops it from looping or leaving
// the file: every block may be visited once and must lie within the header's block count.
class ChainGuard {
  public:
    ChainGuard(const BlockFile& file, const char* chain_name);
    // Checks `block`, reached from `from` (0 = the chain's head in the header).
    void visit(std::uint32_t block, std::uint32_t from);

  private:
    const BlockFile& file_;
    const char* chain_name_;
    std::vector<bool> visited_;
};

}  // namespace pdx
