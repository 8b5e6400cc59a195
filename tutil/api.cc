// The C-callable entry points: argument checks, sessions, and the translation of every
// failure into a result code with its message kept for pdx::check().

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/text.h"
#include "engine/api/callbacks.h"
#include "engine/api/config.h"
#include "engine/api/engine_error.h"
#include "tutil/auxiliary.h"
#include "tutil/rebuild.h"
#include "tutil/rebuild_runs.h"
#include "tutil/session.h"
#include "tutil/table_description.h"
#include "tutil/tutil.h"
#include "tutil/verifier.h"

namespace {

namespace fs = std::filesystem;
using pdx::EngineError;

template <typename Work>
TUResult guarded(Work work) {
    try {
        work();
        return pdx::DBIERR_NONE;
    } catch (...) {
        return pdx::record_current_exception();
    }
}

void require(const void* pointer, const char* function, const char* argument) {
    if (pointer == nullptr)
        throw EngineError(pdx::DBIERR_INVALIDPARAM,
                          std::string(function) + ": " + argument + " must not be null");
}

// The table file named by a caller: it must exist.
fs::path table_path(const char* name, const char* function) {
    require(name, function, "the table name");
    if (*name == '\0')
        throw EngineError(pdx::DBIERR_INVALIDPARAM, std::string(function) + ": no table named");
    const fs::path path(name);
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        throw EngineError(pdx::DBIERR_OBJNOTFOUND, "Table does not exist: " + path.string());
    return path;
}

void check_driver(const char* driver, const char* function) {
    if (driver == nullptr) return;
    if (!vaq::iequals(driver, "PARADOX"))
        throw EngineError(pdx::DBIERR_NOTSUPPORTED, std::string(function) + ": the driver type " +
                                                        driver +
                                                        " is not supported (only PARADOX)");
}

// Progress of the library's work goes to the callback registered with the engine.
void report_progress(vaq::tutil::Phase phase, int percent) {
    pdx::ProgressReport report;
    report.phase = static_cast<std::uint8_t>(phase);
    report.percent = static_cast<std::uint16_t>(std::clamp(percent, 0, 100));
    pdx::report_progress(nullptr, report);
}

template <typename T>
void check_array(const T* array, std::uint16_t count, std::size_t wanted, const char* what) {
    if (count != wanted)
        throw EngineError(pdx::DBIERR_INVALIDPARAM,
                          std::string("TUFillCRTblDesc: the description holds ") +
                              std::to_string(count) + " " + what + " but the table has " +
                              std::to_string(wanted));
    if (count > 0 && array == nullptr)
        throw EngineError(pdx::DBIERR_INVALIDPARAM,
                          std::string("TUFillCRTblDesc: no array for the ") + what);
}

}  // namespace

extern "C" {

TUResult TUInit(hTUses* phSession) {
    return guarded([&] {
        require(phSession, "TUInit", "the session handle");
        *phSession = vaq::tutil::open_session();
    });
}

TUResult TUExit(hTUses hSession) {
    return guarded([&] { vaq::tutil::close_session(hSession); });
}

TUResult TUFillCURProps(hTUses hSession, const char* pszTableName, vaq::tutil::CURProps* pProps) {
    return guarded([&] {
        vaq::tutil::check_session(hSession, "TUFillCURProps");
        require(pProps, "TUFillCURProps", "the properties record");
        *pProps = vaq::tutil::TableDescription::read(table_path(pszTableName, "TUFillCURProps"))
                      .properties();
    });
}

TUResult TUVerifyTable(hTUses hSession, const char* pszTableName, const char* pszDriverType,
                       const char* pszErrTableName, const char* pszPassword, std::int32_t iOptions,
                       std::int32_t* piErrorLevel) {
    (void)pszPassword;  // encrypted tables are read with the key their header holds
    return guarded([&] {
        vaq::tutil::check_session(hSession, "TUVerifyTable");
        require(piErrorLevel, "TUVerifyTable", "the level");
        check_driver(pszDriverType, "TUVerifyTable");
        if (iOptions != 0)
            throw EngineError(pdx::DBIERR_INVALIDPARAM,
                              "TUVerifyTable: unknown options " + std::to_string(iOptions));
        const fs::path table = table_path(pszTableName, "TUVerifyTable");
        const fs::path target = vaq::tutil::auxiliary_table(
            vaq::tutil::auxiliary_folder(table),
            pszErrTableName != nullptr ? pszErrTableName : "VERIFY.DB", "The error table");
        const vaq::tutil::Verification verification =
            vaq::tutil::verify_table(table, report_progress);
        vaq::tutil::write_verification(target, verification);
        *piErrorLevel = verification.level;
    });
}

TUResult TUGetCRTblDescCount(hTUses hSession, const char* pszTableName, std::uint16_t* piFldCount,
                             std::uint16_t* piIdxCount, std::uint16_t* piSecRecCount,
                             std::uint16_t* piValChkCount, std::uint16_t* piRintCount,
                             std::uint16_t* piOptParams, std::uint16_t* piOptDataLen) {
    return guarded([&] {
        vaq::tutil::check_session(hSession, "TUGetCRTblDescCount");
        const auto d =
            vaq::tutil::TableDescription::read(table_path(pszTableName, "TUGetCRTblDescCount"));
        const auto put = [](std::uint16_t* out, std::size_t value) {
            if (out != nullptr) *out = static_cast<std::uint16_t>(value);
        };
        put(piFldCount, d.fields.size());
        put(piIdxCount, d.indexes.size());
        put(piSecRecCount, 0);
        put(piValChkCount, d.validity_checks);
        put(piRintCount, d.references);
        put(piOptParams, 0);
        put(piOptDataLen, 0);
    });
}

TUResult TUFillCRTblDesc(hTUses hSession, vaq::tutil::CRTblDesc* pTblDesc, const char* pszTableName,
                         const char* pszPassword) {
    (void)pszPassword;
    return guarded([&] {
        vaq::tutil::check_session(hSession, "TUFillCRTblDesc");
        require(pTblDesc, "TUFillCRTblDesc", "the table description");
        const auto d =
            vaq::tutil::TableDescription::read(table_path(pszTableName, "TUFillCRTblDesc"));
        vaq::tutil::CRTblDesc& desc = *pTblDesc;
        check_array(desc.pfldDesc, desc.iFldCount, d.fields.size(), "fields");
        check_array(desc.pidxDesc, desc.iIdxCount, d.indexes.size(), "indexes");
        check_array(desc.pvchkDesc, desc.iValChkCount, d.validity_checks, "validity checks");
        check_array(desc.printDesc, desc.iRintCount, d.references, "referential-integrity links");
        std::copy(d.fields.begin(), d.fields.end(), desc.pfldDesc);
        std::copy(d.indexes.begin(), d.indexes.end(), desc.pidxDesc);
        // Validity checks and links are kept with the table as they are (the .VAL file is
        // carried over whole); their entries say only which they are.
        for (std::uint16_t i = 0; i < desc.iValChkCount; ++i)
            desc.pvchkDesc[i] = vaq::tutil::VCHKDesc{};
        for (std::uint16_t i = 0; i < desc.iRintCount; ++i) {
            desc.printDesc[i] = vaq::tutil::RINTDesc{};
            desc.printDesc[i].iRintNum = static_cast<std::uint16_t>(i + 1);
        }
        if (desc.szTblName[0] == '\0' && !vaq::tutil::copy_text(desc.szTblName, pszTableName))
            throw EngineError(pdx::DBIERR_INVALIDPARAM,
                              "TUFillCRTblDesc: the table name is longer than " +
                                  std::to_string(vaq::tutil::kTableNameSize - 1) + " characters");
        desc.bProtected = d.header.is_encrypted();
    });
}

TUResult TURebuildTable(hTUses hSession, const char* pszTableName, const char* pszDriverType,
                        const char* pszBackupName, const char* pszKeyviolName,
                        const char* pszProblemName, vaq::tutil::CRTblDesc* pTblDesc) {
    return guarded([&] {
        vaq::tutil::check_session(hSession, "TURebuildTable");
        require(pTblDesc, "TURebuildTable", "the table description");
        check_driver(pszDriverType, "TURebuildTable");
        const fs::path table = table_path(pszTableName, "TURebuildTable");
        const char* backup = pszBackupName != nullptr ? pszBackupName : "Backup.Db";
        const char* key_violations = pszKeyviolName != nullptr ? pszKeyviolName : "KEYVIOL.DB";
        const char* problems = pszProblemName != nullptr ? pszProblemName : "PROBLEM.DB";
        // The names are checked before a run folder is made for them.
        vaq::tutil::auxiliary_table(".", backup, "The backup table");
        vaq::tutil::auxiliary_table(".", key_violations, "The key-violation table");
        vaq::tutil::auxiliary_table(".", problems, "The problem table");

        vaq::tutil::RebuildRun run;
        run.folder = vaq::tutil::new_rebuild_folder(table);
        run.table = fs::absolute(table).lexically_normal();
        run.backup = backup;
        run.key_violation_table = key_violations;
        run.problem_table = problems;
        vaq::tutil::RebuildRequest request;
        request.table = table;
        request.backup = run.folder / backup;
        request.key_violations = run.folder / key_violations;
        request.problems = run.folder / problems;
        request.description = pTblDesc;
        vaq::tutil::keep_rebuild_result(hSession, std::nullopt);
        vaq::tutil::RebuildResult result;
        try {
            result = vaq::tutil::rebuild_table(request, report_progress);
        } catch (const std::exception& error) {
            // The table is as it was. What this run set aside before it stopped stays, as
            // everything a run sets aside does: removing records is the user's choice.
            run.cause = error.what();
            try {
                vaq::tutil::write_run_report(run);
            } catch (const std::exception& report_error) {
                throw EngineError(pdx::DBIERR_OSACCESS,
                                  std::string(error.what()) +
                                      " The rebuild's report could not be written either: " +
                                      report_error.what());
            }
            throw;
        }
        vaq::tutil::write_run_report(vaq::tutil::run_of(run.table, result));
        vaq::tutil::prune_backups(run.folder.parent_path(),
                                  pdx::current_configuration()->settings().keep_backups);
        vaq::tutil::keep_rebuild_result(hSession, std::move(result));
    });
}

}  // extern "C"

TUResult TUGetRebuildResult(hTUses hSession, vaq::tutil::RebuildResult* pResult) {
    return guarded([&] {
        vaq::tutil::check_session(hSession, "TUGetRebuildResult");
        require(pResult, "TUGetRebuildResult", "the result");
        auto result = vaq::tutil::last_rebuild_result(hSession);
        if (!result)
            throw EngineError(pdx::DBIERR_OBJNOTFOUND,
                              "TUGetRebuildResult: the session has rebuilt no table");
        *pResult = std::move(*result);
    });
}
