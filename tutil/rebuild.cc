#include "tutil/rebuild.h"

#include "engine/api/engine_error.h"

namespace tutil {

void rebuild_table(const RebuildRequest& request, const Progress& progress) {
    (void)progress;
    throw pdx::EngineError(pdx::DBIERR_NOTSUPPORTED,
                           "Tables cannot be rebuilt yet: " + request.table.filename().string());
}

}  // namespace tutil
