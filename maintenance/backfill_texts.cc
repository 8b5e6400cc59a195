#include "maintenance/backfill_texts.h"

#include "common/dateformat.h"

namespace vaq::maintenance {

std::string time_stamp(const DateTime& moment) {
    return format_date(moment.date, "yyyy/mm/dd") + " " + format_time(moment.time, "hh:nn:ss");
}

std::string completion_line(std::string_view start, std::string_view end) {
    std::string line = "Update Completed :  ---- From : ";
    line += start;
    line += " - To : ";
    line += end;
    return line;
}

std::string remaining_time_text(std::uint32_t record_count, std::uint32_t recordNumber,
                                std::int32_t ticks) {
    if (ticks <= 0 || recordNumber == 0) return {};
    const std::int64_t done = recordNumber;
    const std::int64_t remaining = record_count > recordNumber ? record_count - done : 0;
    const std::int64_t perTick = done / ticks;
    const std::int64_t seconds = perTick > 0 ? remaining / perTick : remaining * ticks / done;
    return std::to_string(seconds / 60) + "min" + std::to_string(seconds % 60) + "sec";
}

}  // namespace vaq::maintenance
