#include "engine/api/version.h"

namespace pdx {

std::string engine_version() {
    return std::string(PDX_ENGINE_VERSION) + " (Paradox table levels 3, 4, 5 and 7)";
}

}  // namespace pdx
