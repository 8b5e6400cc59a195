#include "maintenance/maintenance_form.h"

#include "db/schema.h"
#include "maintenance/key_renumbering.h"

namespace vaq::maintenance {

MaintenanceForm::MaintenanceForm(window::WindowPort& port, db::Session& session)
    : Personnel("VAQ", std::string(db::schema::Personal::kTable), session),
      Table1("VAQ", {}, session),
      q1("VAQ", session),
      port_(port),
      session_(session) {
    executeStatement = run_engine_statement;
}

}  // namespace vaq::maintenance
