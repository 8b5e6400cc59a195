#pragma once

// TBDEUtil: the one table-utility session of the main window, the buffer the engine writes
// progress reports into while the library works, and the properties of the table last
// inspected. ProgressCallback moves the four progress bars of the first page.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/api/dbi.h"
#include "port/window_port.h"
#include "tutil/records.h"
#include "tutil/tutil.h"

namespace vaq::repair {

// The engine's progress record: percent at bytes 0-1 (little-endian), phase at byte 263.
inline constexpr std::size_t kProgressRecordSize = 268;
inline constexpr std::size_t kProgressPhaseByte = 263;
using ProgressRecord = std::array<std::uint8_t, kProgressRecordSize>;

// The buffer registered for the engine's progress reports: the record the engine writes,
// then the window whose bars the reports move (null leaves them unshown). The record comes
// first, so the address the engine hands to ProgressCallback is the buffer's own.
struct ProgressBuffer {
    ProgressRecord record{};
    window::WindowPort* window = nullptr;

    std::uint8_t operator[](std::size_t i) const { return record[i]; }
};

// The calls of the table-utility library the repair makes, so that a test can stand a
// library with chosen failures in for the real one.
struct UtilityLibrary {
    decltype(&TUInit) init = TUInit;
    decltype(&TUExit) exit = TUExit;
    decltype(&TUFillCURProps) fill_cur_props = TUFillCURProps;
    decltype(&TUVerifyTable) verify_table = TUVerifyTable;
    decltype(&TUGetCRTblDescCount) get_cr_tbl_desc_count = TUGetCRTblDescCount;
    decltype(&TUFillCRTblDesc) fill_cr_tbl_desc = TUFillCRTblDesc;
    decltype(&TURebuildTable) rebuild_table = TURebuildTable;
    decltype(&TUGetRebuildResult) get_rebuild_result = TUGetRebuildResult;
};

class TBDEUtil {
  public:
    // Opens a session of the table-utility library; raises the engine error when it cannot.
    explicit TBDEUtil(UtilityLibrary library = {});
    // Closes the session if close() has not; a failure there cannot be raised from a
    // destructor and is reported by close() instead, which the window calls first.
    virtual ~TBDEUtil();
    TBDEUtil(const TBDEUtil&) = delete;
    TBDEUtil& operator=(const TBDEUtil&) = delete;

    // Closes the session; raises the engine error when the library refuses.
    void close();
    // Closes the session and opens a fresh one into the same handle, so that each library
    // operation starts clean; raises the engine error of either call.
    void reopen();

    // Reads the table's properties into TableProps; true exactly when the library could.
    bool FillProps(const std::string& tablePath);
    // Routes the engine's progress reports to ProgressCallback through ProgressRec, whose
    // bars are those of ProgressRec.window.
    void RegisterProgress();
    void UnregisterProgress();

    ProgressBuffer ProgressRec{};
    tutil::CURProps TableProps{};
    std::uint16_t SessionHandle = 0;

    const UtilityLibrary& library() const { return library_; }

  private:
    UtilityLibrary library_;
    bool open_ = false;
};

// The engine's progress callback: `pCbInfo` is a ProgressBuffer; moves the bar of the report's
// phase to its percent in the buffer's window. Always answers cbrUSEDEF, so it never cancels.
pdx::CBRType ProgressCallback(pdx::CBType ecbType, std::uint32_t iClientData, void* pCbInfo);

// One of the ten properties the window shows: its caption, its label and where the
// properties record holds it (an unsigned 16-bit little-endian value).
struct PropertyLabel {
    std::string_view caption;
    window::Control label;
    std::size_t offset;
};
extern const std::array<PropertyLabel, 10> kPropertyLabels;

// The value of a property in the record, read at its byte offset.
std::uint16_t property_value(const tutil::CURProps& props, std::size_t offset);

// The message of a verification level, as MessageLB shows it.
std::string_view verification_message(std::int32_t level);

}  // namespace vaq::repair
