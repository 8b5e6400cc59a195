#include "maintenance/install.h"

#include "maintenance/maintenance_form.h"

namespace vaq::maintenance {

std::shared_ptr<MaintenanceForm> install_maintenance_jobs(window::WindowPort& port,
                                                          window::JobSet& jobs,
                                                          db::Session& session) {
    const auto form = std::make_shared<MaintenanceForm>(port, session);
    jobs.handlers[window::Handler::BitBtn3Click] = [form] { form->BitBtn3Click(); };
    jobs.handlers[window::Handler::Timer1Timer] = [form] { form->Timer1Timer(); };
    jobs.handlers[window::Handler::BitBtn14Click] = [form] { form->BitBtn14Click(); };
    return form;
}

}  // namespace vaq::maintenance
