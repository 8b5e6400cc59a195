#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/api/dbi.h"

namespace pdx {

// The progress record written for cbGENPROGRESS callbacks, 268 bytes:
//   bytes 0-1     percent done, unsigned 16-bit little-endian
//   bytes 2-262   a message, NUL-terminated (empty when the phase says it all)
//   byte  263     the phase: 0 header, 1 indexes, 2 data, 8 rebuild
//   bytes 264-267 zero
inline constexpr std::size_t kProgressRecordSize = 268;
inline constexpr std::size_t kProgressPercentOffset = 0;
inline constexpr std::size_t kProgressMessageOffset = 2;
inline constexpr std::size_t kProgressMessageCapacity = 260;  // characters before the NUL
inline constexpr std::size_t kProgressPhaseOffset = 263;

enum ProgressPhase : std::uint8_t {
    kPhaseHeader = 0,
    kPhaseIndexes = 1,
    kPhaseData = 2,
    kPhaseRebuild = 8,
};

struct ProgressReport {
    std::uint16_t percent = 0;
    std::uint8_t phase = kPhaseHeader;
    std::string message;  // cut to kProgressMessageCapacity when encoded

    friend bool operator==(const ProgressReport&, const ProgressReport&) = default;
};

using ProgressRecord = std::array<std::uint8_t, kProgressRecordSize>;

ProgressRecord encode_progress(const ProgressReport& report);
ProgressReport decode_progress(const ProgressRecord& record);

// Calls the progress callback registered for the cursor, or else the one registered for the
// whole process, after writing the report into its buffer. Returns the callback's answer, or
// cbrUSEDEF when none is registered. The table-utility library calls this while it works.
CBRType report_progress(hDBICur cursor, const ProgressReport& report);

// True when a callback of that type is registered for the cursor (null: for the process).
bool has_callback(hDBICur cursor, CBType type);

// Drops every registration made on the cursor; closing a cursor does this.
void forget_callbacks(hDBICur cursor);

}  // namespace pdx
