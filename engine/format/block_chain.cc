#include "engine/format/block_chain.h"

namespace pdx {

BlockChainWalk::BlockChainWalk(const BlockFile& file, std::uint32_t head, const char* chain_name)
    : file_(file), guard_(file, chain_name), block_(head) {
    if (block_ != 0) guard_.visit(block_, 0);
}

DataBlockHeader BlockChainWalk::read_header() const {
    std::uint8_t bytes[DataBlockHeader::kEncodedSize] = {};
    file_.file().read_at(file_.header().block_offset(block_), bytes);
    return DataBlockHeader::decode(bytes);
}

DataBlockHeader BlockChainWalk::read(std::vector<std::uint8_t>& buffer) const {
    return file_.read_data_block(block_, buffer);
}

void BlockChainWalk::advance(std::uint32_t next) {
    from_ = block_;
    block_ = next;
    if (block_ != 0) guard_.visit(block_, from_);
}

void BlockChainWalk::stand_on(std::uint32_t block) {
    from_ = 0;
    block_ = block;
}

}  // namespace pdx
