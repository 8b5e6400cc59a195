#pragma once

#include <cstdint>
#include <string>

#include "common/error.h"

namespace pdx {

// Result of an engine call: 0 is success, anything else names the kind of failure. The
// message of the failure that produced a result is kept and raised with it (see check()).
using DBIResult = std::uint16_t;

inline constexpr DBIResult DBIERR_NONE = 0x0000;
inline constexpr DBIResult DBIERR_ENGINE = 0x2101;        // failure inside the engine
inline constexpr DBIResult DBIERR_INVALIDPARAM = 0x2102;  // a null or malformed argument
inline constexpr DBIResult DBIERR_INVALIDHNDL = 0x2106;   // a handle that is not open
inline constexpr DBIResult DBIERR_EOF = 0x2202;           // no record after the last one
inline constexpr DBIResult DBIERR_OBJNOTFOUND = 0x2208;   // a table or file that is not there
inline constexpr DBIResult DBIERR_DIRNOTFOUND = 0x220C;   // a database directory that is not there
inline constexpr DBIResult DBIERR_OSACCESS = 0x2401;      // the operating system refused
inline constexpr DBIResult DBIERR_NOTSUPPORTED = 0x2B01;  // a request the engine does not serve
inline constexpr DBIResult DBIERR_CONFIG = 0x2C01;        // the configuration file is wrong
inline constexpr DBIResult DBIERR_UNKNOWNDB = 0x2C02;     // no alias of that name

// A failure of the engine: what() is the engine's message, code() its result code.
class EngineError : public vaq::Error {
  public:
    EngineError(DBIResult code, const std::string& message);
    DBIResult code() const noexcept { return code_; }

  private:
    DBIResult code_;
};

// A general text for a result code, used when no failure message was recorded for it.
std::string error_text(DBIResult result);

// Raises the failure behind a non-zero result of an engine call: an EngineError with the
// message recorded by the failing call on this thread, or error_text() when there is none.
void check(DBIResult result);

// The message recorded by the last failing engine call on this thread ("" when none).
std::string last_error_message();

// Used by the engine calls: records the failure of the current call and returns its code.
DBIResult record_failure(DBIResult code, const std::string& message);
// Records whatever the current exception is (EngineError keeps its code, any other
// vaq::Error or standard exception becomes DBIERR_ENGINE) and returns the code. Call it
// only inside a catch block.
DBIResult record_current_exception();

}  // namespace pdx
