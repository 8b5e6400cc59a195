#include "engine/api/callbacks.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "engine/api/cursor.h"
#include "engine/api/engine_error.h"

namespace pdx {

namespace {

struct Registration {
    std::uint32_t clientData = 0;
    std::uint16_t bufferLength = 0;
    void* buffer = nullptr;
    pfDBICallBack function = nullptr;
};

using Key = std::pair<hDBICur, std::int32_t>;

struct Registry {
    std::mutex mutex;
    std::map<Key, Registration> registrations;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

std::optional<Registration> lookup(hDBICur cursor, CBType type) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto found = r.registrations.find({cursor, type});
    if (found == r.registrations.end() && cursor != nullptr)
        found = r.registrations.find({nullptr, type});
    if (found == r.registrations.end()) return std::nullopt;
    return found->second;
}

}  // namespace

ProgressRecord encode_progress(const ProgressReport& report) {
    ProgressRecord record{};
    record[kProgressPercentOffset] = static_cast<std::uint8_t>(report.percent & 0xff);
    record[kProgressPercentOffset + 1] = static_cast<std::uint8_t>(report.percent >> 8);
    const std::size_t length = std::min(report.message.size(), kProgressMessageCapacity);
    std::memcpy(record.data() + kProgressMessageOffset, report.message.data(), length);
    record[kProgressPhaseOffset] = report.phase;
    return record;
}

ProgressReport decode_progress(const ProgressRecord& record) {
    ProgressReport report;
    report.percent = static_cast<std::uint16_t>(record[kProgressPercentOffset] |
                                                (record[kProgressPercentOffset + 1] << 8));
    const auto* message = reinterpret_cast<const char*>(record.data() + kProgressMessageOffset);
    report.message.assign(message, strnlen(message, kProgressMessageCapacity));
    report.phase = record[kProgressPhaseOffset];
    return report;
}

CBRType report_progress(hDBICur cursor, const ProgressReport& report) {
    // The callback runs outside the lock: it may register or remove callbacks itself.
    const auto registration = lookup(cursor, cbGENPROGRESS);
    if (!registration || registration->function == nullptr) return cbrUSEDEF;
    const ProgressRecord record = encode_progress(report);
    std::memcpy(registration->buffer, record.data(), record.size());
    return registration->function(cbGENPROGRESS, registration->clientData, registration->buffer);
}

bool has_callback(hDBICur cursor, CBType type) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.registrations.count({cursor, type}) != 0;
}

void forget_callbacks(hDBICur cursor) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.registrations,
                  [cursor](const auto& entry) { return entry.first.first == cursor; });
}

DBIResult DbiRegisterCallBack(hDBICur hCursor, CBType ecbType, std::uint32_t iClientData,
                              std::uint16_t iCbBufLen, void* pCbBuf, pfDBICallBack pfCb) {
    if (hCursor != nullptr && !is_open_cursor(hCursor))
        return record_failure(DBIERR_INVALIDHNDL,
                              "Callback registered on a cursor that is not open");
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (pfCb == nullptr) {
        r.registrations.erase({hCursor, ecbType});
        return DBIERR_NONE;
    }
    if (ecbType == cbGENPROGRESS && (pCbBuf == nullptr || iCbBufLen < kProgressRecordSize))
        return record_failure(DBIERR_INVALIDPARAM,
                              "Progress callback needs a buffer of " +
                                  std::to_string(kProgressRecordSize) + " bytes, got " +
                                  std::to_string(pCbBuf == nullptr ? 0 : iCbBufLen));
    r.registrations[{hCursor, ecbType}] = Registration{iClientData, iCbBufLen, pCbBuf, pfCb};
    return DBIERR_NONE;
}

}  // namespace pdx
