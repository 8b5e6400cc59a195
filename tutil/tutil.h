#pragma once

// The table-utility library: table properties, verify and rebuild of Paradox tables, as
// plain C-callable functions over 16-bit session handles.
//
// Every function returns a 16-bit result, 0 on success; a non-zero result leaves its message
// for pdx::check() and pdx::last_error_message() (engine/api/engine_error.h), like the engine's
// own calls. Names and paths are NUL-terminated 8-bit strings; a table path is the full path
// of the table's .DB file, extension included; auxiliary table names carry no directory.
//
// Order of use: TUInit opens a session, TUExit closes it. A rebuild calls TUVerifyTable,
// TUGetCRTblDescCount, TUFillCRTblDesc and TURebuildTable in this order in one session.
// During TUVerifyTable and TURebuildTable progress goes to the engine's progress callback
// (DbiRegisterCallBack, cbGENPROGRESS): phase 0 header, 1 indexes, 2 data, 8 rebuild,
// percent 0 to 100.
//
// Auxiliary tables are written under the engine configuration's private directory, in one
// folder per database and table: <private_dir>/<database id>/<table file name without
// extension>/ holds VERIFY.DB, and each rebuild a run folder of its own below it with its
// KEYVIOL.DB, PROBLEM.DB, Backup.Db family and report (rebuild_runs.h).

#include <cstdint>

#include "tutil/rebuild.h"
#include "tutil/records.h"

using TUResult = std::uint16_t;
using hTUses = std::uint16_t;

// Verification levels written by TUVerifyTable.
enum : std::int32_t {
    kVerifyNoErrors = 0,       // every check passed
    kVerifyErrorsFound = 1,    // damage found, the whole table was checked; rebuild repairs it
    kVerifyIncomplete = 2,     // a part of the table could not be checked
    kVerifyRebuildByHand = 3,  // damage the rebuild cannot repair by itself
    kVerifyCannotRebuild = 4,  // not a Paradox table, nothing to rebuild from
};

extern "C" {

// Opens a session; *phSession receives its handle (never 0).
TUResult TUInit(hTUses* phSession);
// Closes a session. DBIERR_INVALIDHNDL when the handle is not open.
TUResult TUExit(hTUses hSession);

// The properties of a table.
TUResult TUFillCURProps(hTUses hSession, const char* pszTableName, vaq::tutil::CURProps* pProps);

// Checks a table and writes what it found into pszErrTableName (normally "VERIFY.DB") in the
// table's folder of the private directory; *piErrorLevel receives the level. pszPassword
// is accepted for the usual shape of the call and may be null (encrypted tables are read
// without it); iOptions must be 0. pszDriverType must be "PARADOX" or null.
TUResult TUVerifyTable(hTUses hSession, const char* pszTableName, const char* pszDriverType,
                       const char* pszErrTableName, const char* pszPassword, std::int32_t iOptions,
                       std::int32_t* piErrorLevel);

// How many elements each array of a CRTblDesc for the table needs: fields, indexes,
// security descriptors, validity checks, referential-integrity links, optional parameters,
// and units (of 128 bytes) of optional data. Any pointer may be null.
TUResult TUGetCRTblDescCount(hTUses hSession, const char* pszTableName, std::uint16_t* piFldCount,
                             std::uint16_t* piIdxCount, std::uint16_t* piSecRecCount,
                             std::uint16_t* piValChkCount, std::uint16_t* piRintCount,
                             std::uint16_t* piOptParams, std::uint16_t* piOptDataLen);

// Fills the caller's arrays of pTblDesc (sized from TUGetCRTblDescCount, counts set) with
// the table's fields and indexes. pszPassword may be null.
TUResult TUFillCRTblDesc(hTUses hSession, vaq::tutil::CRTblDesc* pTblDesc, const char* pszTableName,
                         const char* pszPassword);

// Rebuilds the table: every readable record is kept, the table and all its indexes are
// written anew and swapped in at once. Records that break the primary key go to
// pszKeyviolName, records that cannot be read to pszProblemName, and the original files are
// kept as the pszBackupName family, all in a new run folder of the table in the private
// directory, with a report; no earlier run's files are touched but the backups beyond the
// configured number (keep_backups). A table that is not rebuilt leaves only the report.
// pTblDesc is the description TUFillCRTblDesc filled; it must describe the table as it is.
TUResult TURebuildTable(hTUses hSession, const char* pszTableName, const char* pszDriverType,
                        const char* pszBackupName, const char* pszKeyviolName,
                        const char* pszProblemName, vaq::tutil::CRTblDesc* pTblDesc);

}  // extern "C"

// What the session's last TURebuildTable did with the records: how many the new table holds,
// how many went to the key-violation and problem tables and where those were written, the
// indexes it could not write anew. A failed rebuild leaves no result. DBIERR_INVALIDHNDL
// for a session that is not open, DBIERR_OBJNOTFOUND when the session has no rebuild to tell of.
TUResult TUGetRebuildResult(hTUses hSession, vaq::tutil::RebuildResult* pResult);
