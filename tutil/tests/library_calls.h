#pragma once

// A rebuild through the library's calls, in the order the repair makes them: verify, the
// description's counts, the description, the rebuild, the result.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "tutil/rebuild.h"
#include "tutil/tutil.h"

namespace vaq::tutil::testing {

// The result code of the last call made; `result` (when given) receives the rebuild's
// numbers when it succeeded.
inline TUResult rebuild_through_library(const std::filesystem::path& table,
                                        RebuildResult* result = nullptr) {
    hTUses session = 0;
    EXPECT_EQ(TUInit(&session), 0);
    std::int32_t level = -1;
    EXPECT_EQ(TUVerifyTable(session, table.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &level), 0);
    std::uint16_t c[7] = {};
    TUResult code = TUGetCRTblDescCount(session, table.c_str(), &c[0], &c[1], &c[2], &c[3], &c[4],
                                        &c[5], &c[6]);
    if (code == 0) {
        CRTblDesc desc{};
        std::strcpy(desc.szTblName, table.c_str());
        std::strcpy(desc.szTblType, "PARADOX");
        std::strcpy(desc.szErrTblName, "Rebuild.DB");
        desc.iFldCount = c[0];
        desc.iIdxCount = c[1];
        desc.iValChkCount = c[3];
        desc.iRintCount = c[4];
        std::vector<FLDDesc> fields(c[0]);
        std::vector<IDXDesc> indexes(c[1]);
        std::vector<VCHKDesc> checks(c[3]);
        std::vector<RINTDesc> links(c[4]);
        desc.pfldDesc = fields.data();
        desc.pidxDesc = c[1] ? indexes.data() : nullptr;
        desc.pvchkDesc = c[3] ? checks.data() : nullptr;
        desc.printDesc = c[4] ? links.data() : nullptr;
        code = TUFillCRTblDesc(session, &desc, table.c_str(), nullptr);
        if (code == 0)
            code = TURebuildTable(session, table.c_str(), "PARADOX", "Backup.Db", "KEYVIOL.DB",
                                  "PROBLEM.DB", &desc);
    }
    if (code == 0 && result != nullptr) {
        EXPECT_EQ(TUGetRebuildResult(session, result), 0);
    }
    EXPECT_EQ(TUExit(session), 0);
    return code;
}

}  // namespace vaq::tutil::testing
