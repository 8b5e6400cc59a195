#include "repair/install.h"

#include <memory>

namespace vaq::repair {

using window::Handler;

std::shared_ptr<RepairForm> install_repair_jobs(window::WindowPort& port, window::JobSet& jobs,
                                                db::Session& session1, db::Database& main_database,
                                                std::function<LocalTime()> clock) {
    const auto form = std::make_shared<RepairForm>(port, session1, main_database, std::move(clock));
    form->on_step_failed([&jobs] { ++jobs.failedSteps; });
    jobs.handlers[Handler::AliasComboChange] = [form] { form->AliasComboChange(); };
    jobs.handlers[Handler::TableComboChange] = [form] { form->TableComboChange(); };
    jobs.handlers[Handler::ByDirectBtnClick] = [form] { form->ByDirectBtnClick(); };
    jobs.handlers[Handler::VerifyBtnClick] = [form] { form->VerifyBtnClick(); };
    jobs.handlers[Handler::RebuildBtnClick] = [form] { form->RebuildBtnClick(); };
    jobs.handlers[Handler::BitBtn2Click] = [form] { form->BitBtn2Click(); };
    jobs.handlers[Handler::Button1Click] = [form] { form->Button1Click(); };
    jobs.createUtilitySession = [form] { form->FormCreate(); };
    jobs.destroyUtilitySession = [form] { form->FormDestroy(); };
    return form;
}

}  // namespace vaq::repair
