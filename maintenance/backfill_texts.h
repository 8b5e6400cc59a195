#pragma once

// The texts the staff ID back-fill shows: its time stamps, its completion line and the
// remaining-time estimate of the timer.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/datetime.h"

namespace vaq::maintenance {

// "YYYY/MM/DD hh:nn:ss" with the process-wide date and time separators in place of '/'
// and ':'.
std::string time_stamp(const DateTime& moment);

// "Update Completed :  ---- From : START - To : END".
std::string completion_line(std::string_view start, std::string_view end);

// The remaining time after `ticks` timer ticks (seconds) with the table at record `recordNumber`
// (1-based) of `record_count`: the records still to do divided by the whole records done per
// tick, as "<minutes>min<seconds>sec". While fewer records than ticks are done the whole rate
// is 0; the estimate then uses the exact rate (remaining * ticks / done). Empty when nothing
// is known yet (no tick, no record).
std::string remaining_time_text(std::uint32_t record_count, std::uint32_t recordNumber,
                                std::int32_t ticks);

}  // namespace vaq::maintenance
