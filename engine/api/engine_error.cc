#include "engine/api/engine_error.h"

#include <exception>

namespace pdx {

namespace {

struct LastError {
    DBIResult code = DBIERR_NONE;
    std::string message;
};

LastError& last_error() {
    thread_local LastError last;
    return last;
}

}  // namespace

EngineError::EngineError(DBIResult code, const std::string& message)
    : vaq::Error(message), code_(code) {}

std::string error_text(DBIResult result) {
    switch (result) {
        case DBIERR_NONE:
            return "No error";
        case DBIERR_ENGINE:
            return "The database engine failed";
        case DBIERR_INVALIDPARAM:
            return "Invalid parameter";
        case DBIERR_INVALIDHNDL:
            return "Invalid handle to the function";
        case DBIERR_EOF:
            return "At end of table";
        case DBIERR_OBJNOTFOUND:
            return "Object not found";
        case DBIERR_DIRNOTFOUND:
            return "Directory does not exist";
        case DBIERR_OSACCESS:
            return "The operating system refused access";
        case DBIERR_NOTSUPPORTED:
            return "Capability not supported";
        case DBIERR_CONFIG:
            return "Error in the engine configuration";
        case DBIERR_UNKNOWNDB:
            return "Alias not found";
        default:
            return "Database engine error " + std::to_string(result);
    }
}

void check(DBIResult result) {
    if (result == DBIERR_NONE) return;
    const LastError& last = last_error();
    const bool recorded = last.code == result && !last.message.empty();
    throw EngineError(result, recorded ? last.message : error_text(result));
}

std::string last_error_message() {
    return last_error().message;
}

DBIResult record_failure(DBIResult code, const std::string& message) {
    last_error() = LastError{code, message};
    return code;
}

DBIResult record_current_exception() {
    try {
        throw;
    } catch (const EngineError& error) {
        return record_failure(error.code(), error.what());
    } catch (const std::exception& error) {
        return record_failure(DBIERR_ENGINE, error.what());
    } catch (...) {
        return record_failure(DBIERR_ENGINE, "The database engine failed for an unknown reason");
    }
}

}  // namespace pdx
