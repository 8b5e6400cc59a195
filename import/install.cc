#include "import/install.h"

#include "import/import_form.h"

namespace vaq::import {

std::shared_ptr<ImportForm> install_import_jobs(window::WindowPort& port, window::JobSet& jobs,
                                                db::Session& session) {
    const auto form = std::make_shared<ImportForm>(port, session);
    jobs.handlers[window::Handler::Button2Click] = [form] { form->Button2Click(); };
    return form;
}

}  // namespace vaq::import
