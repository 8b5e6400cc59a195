#include "upgrade/install.h"

#include <memory>

#include "upgrade/upgrade_form.h"

namespace vaq::upgrade {

void install_upgrade_jobs(window::WindowPort& port, window::JobSet& jobs,
                          db::Database& main_database) {
    const auto form = std::make_shared<UpgradeForm>(port, main_database);
    form->on_step_failed([&jobs] { ++jobs.failedSteps; });
    jobs.handlers[window::Handler::BitBtn1Click] = [form] { form->BitBtn1Click(); };
    jobs.handlers[window::Handler::Button3Click] = [form] { form->Button3Click(); };
}

}  // namespace vaq::upgrade
