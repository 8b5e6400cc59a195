#pragma once

#include <cstdint>

#include "engine/api/engine_error.h"

// The engine's call interface: plain functions over handles and fixed-size records, each
// returning a DBIResult. A non-zero result leaves its message for pdx::check() to raise.
namespace pdx {

inline constexpr int DBIMAXNAMELEN = 31;    // alias names and database types
inline constexpr int DBIMAXPATHLEN = 4095;  // directories: long enough for any Linux path
inline constexpr int DBIMAXMSGLEN = 127;

using DBINAME = char[DBIMAXNAMELEN + 1];
using DBIPATH = char[DBIMAXPATHLEN + 1];
using DBIMSG = char[DBIMAXMSGLEN + 1];

// One entry of the list of databases (aliases).
struct DBDesc {
    DBINAME szName;     // alias name
    DBIPATH szText;     // description (empty)
    DBIPATH szPhyName;  // the database directory
    DBINAME szDbType;   // "STANDARD" for a directory of Paradox tables
};

inline constexpr const char* szSTANDARD = "STANDARD";

enum DBILockType { dbiNOLOCK, dbiREADLOCK, dbiWRITELOCK };
enum DBIOpenMode { dbiREADWRITE, dbiREADONLY };
enum DBIShareMode { dbiOPENSHARED, dbiOPENEXCL };

class DbiCursor;
class DbiDatabase;
using hDBICur = DbiCursor*;
using hDBIDb = DbiDatabase*;

// Callback kinds; the engine reports progress of long table operations under cbGENPROGRESS
// with the progress record of engine/api/callbacks.h.
enum CBType : std::int32_t { cbGENPROGRESS = 23 };
// What a callback answers; cbrUSEDEF lets the engine go on as it would.
enum CBRType : std::int32_t { cbrUSEDEF = 0, cbrCONTINUE = 1, cbrABORT = 2 };
using pfDBICallBack = CBRType (*)(CBType ecbType, std::uint32_t iClientData, void* pCbInfo);

// Reads the engine configuration if it has not been read yet. Every other call does the same
// on first use; calling this first reports a broken configuration at a known point.
DBIResult DbiInit();

// The list of databases: one DBDesc per alias of the configuration, in the file's order.
DBIResult DbiOpenDatabaseList(hDBICur* phCur);
// Copies the next record into pRecBuff; DBIERR_EOF after the last one.
DBIResult DbiGetNextRecord(hDBICur hCursor, DBILockType eLock, void* pRecBuff);
// Closes the cursor and sets *phCursor to null.
DBIResult DbiCloseCursor(hDBICur* phCursor);

// The description of one alias; DBIERR_UNKNOWNDB when there is none of that name.
DBIResult DbiGetDatabaseDesc(const char* pszName, DBDesc* pdbDesc);

// A database opened on an alias: the alias must exist, be of type STANDARD and name an
// existing directory. pszDbType may be null or "STANDARD".
DBIResult DbiOpenDatabase(const char* pszDbName, const char* pszDbType, DBIOpenMode eOpenMode,
                          DBIShareMode eShareMode, hDBIDb* phDb);
DBIResult DbiCloseDatabase(hDBIDb* phDb);
// The database's directory, into a buffer of DBIPATH size. bDefault is accepted for the
// usual shape of the call; a database has only its own directory.
DBIResult DbiGetDirectory(hDBIDb hDb, bool bDefault, char* pszDir);

// Writes the cursor's buffered changes to disk.
DBIResult DbiSaveChanges(hDBICur hCursor);

// Registers pfCb for callbacks of type ecbType, on one cursor or, with a null cursor, for the
// whole process. Before each call the engine writes the callback's record into pCbBuf
// (iCbBufLen bytes; a progress record needs 268). A null pfCb removes the registration.
DBIResult DbiRegisterCallBack(hDBICur hCursor, CBType ecbType, std::uint32_t iClientData,
                              std::uint16_t iCbBufLen, void* pCbBuf, pfDBICallBack pfCb);

// A general text for a result code, at most DBIMAXMSGLEN characters.
DBIResult DbiGetErrorString(DBIResult rslt, char* pszError);

}  // namespace pdx
