#include "upgrade/tests/engine_features.h"

#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "common/error.h"
#include "db/table.h"
#include "engine/api/config.h"
#include "engine/sql/executor.h"

namespace vaq::upgrade::testing {

namespace {

namespace fs = std::filesystem;

const char* featureName(Feature feature) {
    switch (feature) {
        case Feature::CreateTable:
            return "CREATE TABLE";
        case Feature::Insert:
            return "INSERT ... VALUES";
        case Feature::InsertSelect:
            return "INSERT ... SELECT";
        case Feature::Alter:
            return "ALTER TABLE ADD";
        case Feature::Update:
            return "UPDATE";
        case Feature::Delete:
            return "DELETE";
        case Feature::CreateIndex:
            return "CREATE INDEX";
        case Feature::DropTable:
            return "DROP TABLE";
        case Feature::EditRecord:
            return "editing of a record through a table object";
        case Feature::DeleteIndex:
            return "deletion of an index through a table object";
        case Feature::RenameTable:
            return "renaming of a table through a table object";
        case Feature::DeleteTable:
            return "deletion of a table through a table object";
    }
    return "?";
}

// Runs every probe once in a scratch folder known as the alias VAQ, then gives the
// configuration of the test back.
class Probe {
  public:
    Probe() {
        std::string pattern = (fs::temp_directory_path() / "vaq-upgrade-probe-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw Error("Cannot make a scratch folder.");
        folder_ = pattern;
        std::shared_ptr<const pdx::Configuration> previous;
        try {
            previous = pdx::currentConfiguration();
        } catch (const Error&) {
            // No configuration of the test's own: it reads the file again afterwards.
        }
        pdx::useConfiguration(
            pdx::Configuration::fromText("[alias VAQ]\npath = .\n", folder_, "probe"));
        runAll();
        if (previous)
            pdx::useConfiguration(*previous);
        else
            pdx::reloadConfiguration();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    const std::string& failure(Feature feature) const { return failures_.at(feature); }

  private:
    void attempt(Feature feature, const std::function<void()>& probe) {
        try {
            probe();
            failures_[feature].clear();
        } catch (const std::exception& error) {
            failures_[feature] = error.what();
        }
    }

    void runAll() {
        pdx::sql::Executor sql(folder_);
        attempt(Feature::CreateTable, [&] {
            sql.execute(
                "CREATE TABLE \"Probe.db\" (Id autoinc, Name Char(20), Code smallint, "
                "PRIMARY KEY (Id))");
            sql.execute("CREATE TABLE \"Plain.db\" (Code smallint, Name Char(20))");
        });
        attempt(Feature::Insert, [&] {
            sql.execute("INSERT INTO Probe (Name, Code) VALUES ('a', 1)");
            sql.execute("Insert into Probe.db (Name, Code) Values (\"b\", 2)");
        });
        attempt(Feature::InsertSelect, [&] {
            sql.execute("INSERT INTO Plain (Code, Name) SELECT Code, Name FROM \"Probe.db\"");
        });
        attempt(Feature::Alter, [&] {
            sql.execute("alter table Probe add T time");
            sql.execute("alter table 'Probe'  add  D Date");
        });
        attempt(Feature::Update, [&] {
            sql.execute("update Probe set T='0:0:0:'");
            sql.execute("update Probe set D='1/1/2000'");
        });
        attempt(Feature::CreateIndex, [&] {
            sql.execute("CREATE INDEX idx_Name ON \"Probe.db\"(Name)");
            sql.execute("CREATE INDEX idx_Code ON Probe (Code)");
        });
        attempt(Feature::DeleteIndex, [&] { db::Table("VAQ", "Probe").deleteIndex("idx_Name"); });
        attempt(Feature::EditRecord, [&] {
            db::Table table("VAQ", "Probe");
            table.open();
            if (!table.locate("Code", db::LocateValue(std::int64_t{2})))
                throw Error("Locate found no record.");
            table.edit();
            table.setFieldText("Name", "x");
            table.post();
        });
        attempt(Feature::Delete, [&] { sql.execute("delete from Plain"); });
        attempt(Feature::RenameTable, [&] { db::Table("VAQ", "Plain").renameTable("Plain2"); });
        attempt(Feature::DeleteTable, [&] { db::Table("VAQ", "Plain2").deleteTable(); });
        attempt(Feature::DropTable, [&] { sql.execute("Drop Table \"Probe.db\""); });
    }

    fs::path folder_;
    std::map<Feature, std::string> failures_;
};

const Probe& probe() {
    static const Probe instance;
    return instance;
}

}  // namespace

std::string missingFeatures(std::initializer_list<Feature> features) {
    std::string missing;
    for (const Feature feature : features) {
        const std::string& failure = probe().failure(feature);
        if (failure.empty()) continue;
        missing += missing.empty() ? "Waits for the engine's " : "; and for its ";
        missing += featureName(feature);
        missing += " (" + failure + ")";
    }
    return missing;
}

std::string missingForUpgrade() {
    return missingFeatures({Feature::CreateTable, Feature::Insert, Feature::InsertSelect,
                            Feature::Alter, Feature::Update, Feature::Delete, Feature::CreateIndex,
                            Feature::DropTable, Feature::EditRecord, Feature::DeleteIndex,
                            Feature::RenameTable, Feature::DeleteTable});
}

}  // namespace vaq::upgrade::testing
