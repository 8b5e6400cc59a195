#pragma once

// The fixed-size records of the table-utility library's call interface. Their sizes and
// the offsets the callers read are part of the interface: callers zero-fill them, read
// properties at fixed byte offsets and allocate descriptor arrays as count times element
// size. Every record is packed (no padding) and little-endian; every size and every offset a
// caller relies on is checked at compile time at the end of this file.
//
// Enumerations are stored as 32-bit integers, booleans as 16-bit integers (0 = false).

#include <cstddef>
#include <cstdint>

namespace vaq::tutil {

inline constexpr std::size_t kTableNameSize = 261;  // 260 characters and the NUL
inline constexpr std::size_t kNameSize = 32;        // 31 characters and the NUL
inline constexpr std::size_t kKeyExpressionSize = 221;
inline constexpr std::size_t kMaxKeyFields = 16;
inline constexpr std::size_t kValueCheckSize = 256;
inline constexpr std::size_t kPictureSize = 176;
inline constexpr std::size_t kMaxSecurityFields = 256;
// The error-table name of a restructure descriptor. Shorter than a full path so that the
// record, which also holds twelve 64-bit pointers, keeps its published size of 682 bytes.
inline constexpr std::size_t kErrorTableNameSize = 213;
// Bytes of one unit of optional data (the seventh count of TUGetCRTblDescCount).
inline constexpr std::size_t kOptionalDataUnit = 128;

// Field types of FLDDesc::iFldType (logical types) and FLDDesc::iSubType.
enum : std::uint16_t {
    fldUNKNOWN = 0,
    fldZSTRING = 1,    // alpha
    fldDATE = 2,       // date
    fldBLOB = 3,       // memo, binary, formatted memo, OLE, graphic
    fldBOOL = 4,       // logical
    fldINT16 = 5,      // short
    fldINT32 = 6,      // long, autoincrement
    fldFLOAT = 7,      // number, money
    fldBCD = 8,        // BCD
    fldBYTES = 9,      // bytes
    fldTIME = 10,      // time
    fldTIMESTAMP = 11  // timestamp
};
enum : std::uint16_t {
    fldstNONE = 0,
    fldstMONEY = 21,
    fldstMEMO = 22,
    fldstBINARY = 23,
    fldstFMTMEMO = 24,
    fldstOLEOBJ = 25,
    fldstGRAPHIC = 26,
    fldstAUTOINC = 29
};

#pragma pack(push, 1)

// Properties of an open table (TUFillCURProps). The ten the utility shows are iFields,
// iRecBufSize, iIndexes, iValChecks, iRefIntChecks, iRestrVersion, iPasswords, iCodePage,
// iTblLevel and iBlockSize.
struct CURProps {
    char szName[kTableNameSize];    // the table's path
    std::uint16_t iFNameSize;       // length of szName
    char szTableType[kNameSize];    // "PARADOX"
    std::uint16_t iFields;          // number of fields
    std::uint16_t iRecSize;         // logical record size (fields as a caller sees them)
    std::uint16_t iRecBufSize;      // physical record size (bytes per record on disk)
    std::uint16_t iKeySize;         // bytes of the primary key, 0 when unkeyed
    std::uint16_t iIndexes;         // primary index and secondary indexes
    std::uint16_t iValChecks;       // validity checks in the .VAL
    std::uint16_t iRefIntChecks;    // referential-integrity links in the .VAL
    std::uint16_t iBookMarkSize;    // bytes of a bookmark
    std::uint16_t bBookMarkStable;  // bookmarks survive changes (keyed tables)
    std::int32_t eOpenMode;         // 0 read-write, 1 read-only
    std::int32_t eShareMode;        // 0 shared, 1 exclusive
    std::uint16_t bIndexed;         // keyed table
    std::int16_t iSeqNums;          // 1: records have sequence numbers
    std::uint16_t bSoftDeletes;     // Paradox deletes for good: 0
    std::uint16_t bDeletedOn;       // 0
    std::uint16_t iRefRange;        // 0
    std::int32_t exltMode;          // field translation mode: 1 (logical fields)
    std::uint16_t iRestrVersion;    // restructure version (the family stamp)
    std::uint16_t bUniDirectional;  // 0
    std::int32_t eprvRights;        // table rights: 5 (all)
    std::uint16_t iFmlRights;       // family rights
    std::uint16_t iPasswords;       // auxiliary passwords
    std::uint16_t iCodePage;        // code page of the table (0 when the level has none)
    std::uint16_t bProtected;       // encrypted (password protected)
    std::uint16_t iTblLevel;        // 3, 4, 5 or 7
    char szLangDriver[kNameSize];   // sort-order id ("ascii", "ANSIINTL" ...)
    std::uint16_t bFieldMap;        // 0
    std::uint16_t iBlockSize;       // data block size in bytes
    std::uint16_t bStrictRefInt;    // 0
    std::int32_t iFilters;          // 0
    std::uint16_t bTempTable;       // 0
    std::uint16_t iUnUsed[16];
};

// One field of a table.
struct FLDDesc {
    std::uint16_t iFldNum;      // 1-based
    char szName[kNameSize];     // UTF-8, cut to 31 bytes
    std::uint16_t iFldType;     // fldZSTRING ...
    std::uint16_t iSubType;     // fldstMONEY ...
    std::int16_t iUnits1;       // width (alpha, bytes, blob leader) or BCD precision
    std::int16_t iUnits2;       // BCD decimals
    std::uint16_t iOffset;      // first byte in the record
    std::uint16_t iLen;         // bytes in the record
    std::uint16_t iNullOffset;  // 0: Paradox keeps no NULL flags
    std::int32_t efldvVchk;     // 1 when the field has a validity check
    std::int32_t efldrRights;   // 0: read-write
    std::uint16_t bCalcField;   // 0
    // [0] the Paradox type code of the field, [1] its descriptor size byte: what a rebuild
    // compares with the table before it rewrites it.
    std::uint16_t iUnUsed[2];
};

// One index of a table: the primary index (.PX) or a secondary index (.Xnn/.XGn).
struct IDXDesc {
    char szName[kTableNameSize];  // file name of the index ("Door.PX", "Door.XG0")
    std::uint16_t iIndexId;       // 0 for the primary index, else the 1-based position
    char szTagName[kNameSize];    // the index's name (field name for .Xnn)
    char szFormat[kNameSize];     // ""
    std::uint16_t bPrimary;
    std::uint16_t bUnique;
    std::uint16_t bDescending;
    std::uint16_t bMaintained;
    std::uint16_t bSubset;
    std::uint16_t bExpIdx;
    std::uint16_t iCost;
    std::uint16_t iFldsInKey;
    std::uint16_t iKeyLen;
    std::uint16_t bOutofDate;
    std::uint16_t iKeyExpType;
    std::uint16_t aiKeyFld[kMaxKeyFields];  // 1-based table field numbers
    char szKeyExp[kKeyExpressionSize];
    char szKeyCond[kKeyExpressionSize];
    std::uint16_t bCaseInsensitive;
    std::uint16_t iBlockSize;  // block size of the index file in bytes
    std::uint16_t iRestrNum;
    std::uint16_t abDescending[kMaxKeyFields];
    std::uint16_t iUnUsed[16];
};

// Password and rights of a table (auxiliary passwords).
struct SECDesc {
    std::uint16_t iSecNum;
    std::int32_t eprvTable;
    std::uint16_t iFamRights;
    char szPassword[kNameSize];
    std::int32_t aprvFld[kMaxSecurityFields];
};

// A validity check of one field.
struct VCHKDesc {
    std::uint16_t iFldNum;
    std::uint16_t bRequired;
    std::uint16_t bHasMinVal;
    std::uint16_t bHasMaxVal;
    std::uint16_t bHasDefVal;
    std::uint8_t aMinVal[kValueCheckSize];
    std::uint8_t aMaxVal[kValueCheckSize];
    std::uint8_t aDefVal[kValueCheckSize];
    char szPict[kPictureSize];
    std::int32_t elkupType;
    char szLkupTblName[kTableNameSize];
};

// A referential-integrity link.
struct RINTDesc {
    std::uint16_t iRintNum;
    char szRintName[kNameSize];
    std::int32_t eType;  // 0 master, 1 dependent
    char szTblName[kTableNameSize];
    std::int32_t eModOp;
    std::int32_t eDelOp;
    std::uint16_t iFldCount;
    std::uint16_t aiThisTabFld[kMaxKeyFields];
    std::uint16_t aiOthTabFld[kMaxKeyFields];
};

// What a restructure or rebuild works from: the table, its fields and indexes. The caller
// allocates the arrays (count times element size) and frees them afterwards; the operation
// arrays stay null, which means "keep as it is".
struct CRTblDesc {
    char szTblName[kTableNameSize];  // the table's path
    char szTblType[kNameSize];       // "PARADOX"
    char szErrTblName[kErrorTableNameSize];
    char szUserName[kNameSize];
    char szPassword[kNameSize];
    std::uint16_t bProtected;
    std::uint16_t bPack;
    std::uint16_t iFldCount;
    std::int32_t* pecrFldOp;
    FLDDesc* pfldDesc;
    std::uint16_t iIdxCount;
    std::int32_t* pecrIdxOp;
    IDXDesc* pidxDesc;
    std::uint16_t iSecRecCount;
    std::int32_t* pecrSecOp;
    SECDesc* psecDesc;
    std::uint16_t iValChkCount;
    std::int32_t* pecrValChkOp;
    VCHKDesc* pvchkDesc;
    std::uint16_t iRintCount;
    std::int32_t* pecrRintOp;
    RINTDesc* printDesc;
    std::uint16_t iOptParams;
    FLDDesc* pfldOptParams;
    std::uint8_t* pOptData;
};

#pragma pack(pop)

// --- the layout callers rely on ---

static_assert(sizeof(void*) == 8, "CRTblDesc is laid out for 64-bit pointers");

static_assert(sizeof(CURProps) == 429);
static_assert(offsetof(CURProps, iFields) == 295);
static_assert(offsetof(CURProps, iRecSize) == 297);
static_assert(offsetof(CURProps, iRecBufSize) == 299);
static_assert(offsetof(CURProps, iIndexes) == 303);
static_assert(offsetof(CURProps, iValChecks) == 305);
static_assert(offsetof(CURProps, iRefIntChecks) == 307);
static_assert(offsetof(CURProps, iRestrVersion) == 335);
static_assert(offsetof(CURProps, iPasswords) == 345);
static_assert(offsetof(CURProps, iCodePage) == 347);
static_assert(offsetof(CURProps, iTblLevel) == 351);
static_assert(offsetof(CURProps, iBlockSize) == 387);

static_assert(sizeof(FLDDesc) == 62);
static_assert(sizeof(IDXDesc) == 893);
static_assert(sizeof(SECDesc) == 1064);
static_assert(sizeof(VCHKDesc) == 1219);
static_assert(sizeof(RINTDesc) == 373);

static_assert(sizeof(CRTblDesc) == 682);
static_assert(offsetof(CRTblDesc, szTblName) == 0);
static_assert(offsetof(CRTblDesc, szTblType) == 261);
static_assert(offsetof(CRTblDesc, szErrTblName) == 293);
static_assert(offsetof(CRTblDesc, iFldCount) == 574);
static_assert(offsetof(CRTblDesc, pfldDesc) == 584);
static_assert(offsetof(CRTblDesc, iIdxCount) == 592);
static_assert(offsetof(CRTblDesc, pidxDesc) == 602);
static_assert(offsetof(CRTblDesc, iSecRecCount) == 610);
static_assert(offsetof(CRTblDesc, psecDesc) == 620);
static_assert(offsetof(CRTblDesc, iValChkCount) == 628);
static_assert(offsetof(CRTblDesc, pvchkDesc) == 638);
static_assert(offsetof(CRTblDesc, iRintCount) == 646);
static_assert(offsetof(CRTblDesc, printDesc) == 656);
static_assert(offsetof(CRTblDesc, iOptParams) == 664);
static_assert(offsetof(CRTblDesc, pfldOptParams) == 666);
static_assert(offsetof(CRTblDesc, pOptData) == 674);

}  // namespace vaq::tutil
