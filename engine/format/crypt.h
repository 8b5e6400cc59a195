#pragma once

// Password protection of Paradox tables. A protected table keeps its header in the clear
// and scrambles every data block, 256 bytes at a time, with the two low bytes of the key
// stored in the header (0x25 at level 3.x, 0x5C above). The key alone unlocks the data: no
// password is needed to read. In a .DB the scramble of a chunk depends on its position in
// the block and on the low byte of the 1-based block number; in a .MB every 256-byte chunk
// of the file, its header included, is scrambled the same way.

#include <cstddef>
#include <cstdint>

#include "engine/format/coding.h"

namespace pdx {

inline constexpr std::size_t kCryptChunkSize = 256;

// In place; a trailing partial chunk is left as it is (blocks are multiples of 1 KiB).
void decrypt_table_block(MutableBytes block, std::uint32_t key, std::uint32_t block_number);
void encrypt_table_block(MutableBytes block, std::uint32_t key, std::uint32_t block_number);

// In place, for bytes that start on a 256-byte boundary of the .MB file.
void decrypt_blob_bytes(MutableBytes bytes, std::uint32_t key);
void encrypt_blob_bytes(MutableBytes bytes, std::uint32_t key);

}  // namespace pdx
