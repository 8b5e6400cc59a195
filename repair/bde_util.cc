#include "repair/bde_util.h"

#include <cstring>

#include "engine/api/engine_error.h"

namespace vaq::repair {

using window::Control;

const std::array<PropertyLabel, 10> kPropertyLabels = {{
    {"Fields:", Control::FieldsLB, 295},
    // The physical record size; the logical one, just before it, is not shown.
    {"Record Size:", Control::RecSizeLB, 299},
    {"Indexes:", Control::IndexLB, 303},
    {"Validities:", Control::ValidLB, 305},
    {"References:", Control::RefLB, 307},
    {"Restructure Version:", Control::RestructLB, 335},
    {"Aux Passwords:", Control::AuxPassLB, 345},
    {"Code Page:", Control::CodePageLB, 347},
    {"Block Size:", Control::BlockSizeLB, 387},
    {"Table Level:", Control::TabLvlLB, 351},
}};

std::uint16_t property_value(const tutil::CURProps& props, std::size_t offset) {
    static_assert(sizeof(tutil::CURProps) >= 389);
    std::uint8_t bytes[2];
    std::memcpy(bytes, reinterpret_cast<const std::uint8_t*>(&props) + offset, 2);
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::string_view verification_message(std::int32_t level) {
    switch (level) {
        case 0:
            return "Verification Successful. Table has no errors.";
        case 1:
            return "Verification Successful. Verification completed.";
        case 2:
            return "Verification Successful. Verification could not be completed.";
        case 3:
            return "Verification Successful. Table must be rebuild manually.";
        case 4:
            return "Verification Successful. Table cannot be rebuilt.";
        default:
            return "Verification unsuccessful.";
    }
}

TBDEUtil::TBDEUtil(UtilityLibrary library) : library_(library) {
    pdx::check(library_.init(&SessionHandle));
    open_ = true;
}

TBDEUtil::~TBDEUtil() {
    // Reached with the session open only when close() was never called or an error is
    // already on its way; closing a handle this object opened is not refused.
    if (open_) library_.exit(SessionHandle);
}

void TBDEUtil::close() {
    if (!open_) return;
    open_ = false;
    pdx::check(library_.exit(SessionHandle));
}

void TBDEUtil::reopen() {
    open_ = false;
    pdx::check(library_.exit(SessionHandle));
    pdx::check(library_.init(&SessionHandle));
    open_ = true;
}

bool TBDEUtil::FillProps(const std::string& tablePath) {
    return library_.fill_cur_props(SessionHandle, tablePath.c_str(), &TableProps) == 0;
}

void TBDEUtil::RegisterProgress() {
    pdx::check(pdx::DbiRegisterCallBack(nullptr, pdx::cbGENPROGRESS, 0,
                                        static_cast<std::uint16_t>(ProgressRec.record.size()),
                                        &ProgressRec, ProgressCallback));
}

void TBDEUtil::UnregisterProgress() {
    pdx::check(pdx::DbiRegisterCallBack(nullptr, pdx::cbGENPROGRESS, 0,
                                        static_cast<std::uint16_t>(ProgressRec.record.size()),
                                        &ProgressRec, nullptr));
}

pdx::CBRType ProgressCallback(pdx::CBType ecbType, std::uint32_t /*iClientData*/, void* pCbInfo) {
    if (pCbInfo == nullptr) return pdx::cbrUSEDEF;
    const auto* buffer = static_cast<const ProgressBuffer*>(pCbInfo);
    ProgressRecord record;
    std::memcpy(record.data(), buffer->record.data(), record.size());
    if (ecbType != pdx::cbGENPROGRESS || buffer->window == nullptr) return pdx::cbrUSEDEF;
    Control bar;
    switch (record[kProgressPhaseByte]) {
        case 0:
            bar = Control::PBHeader;
            break;
        case 1:
            bar = Control::PBIndexes;
            break;
        case 2:
            bar = Control::PBData;
            break;
        case 8:
            bar = Control::PBRebuild;
            break;
        default:
            return pdx::cbrUSEDEF;
    }
    buffer->window->set_position(bar, record[0] | (record[1] << 8));
    return pdx::cbrUSEDEF;
}

}  // namespace vaq::repair
