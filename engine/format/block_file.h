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

// Newer bytes of some blocks than the file holds: the changes a writer holds back instead of
// writing them at once (table_pager.h). Every read through the BlockFile sees them.
class BlockOverlay {
  public:
    // Copies `out.size()` bytes from `offset_in_block` of block `block` into `out` and returns
    // true when the overlay has that block; false, and `out` untouched, otherwise.
    virtual bool read_newer(std::uint32_t block, std::size_t offset_in_block,
                            MutableBytes out) const = 0;

  protected:
    ~BlockOverlay() = default;
};

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

    // Reads of this file see the newer bytes `overlay` keeps (none when null). The overlay
    // outlives its use here.
    void set_overlay(const BlockOverlay* overlay) { overlay_ = overlay; }

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
    const BlockOverlay* overlay_ = nullptr;
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
