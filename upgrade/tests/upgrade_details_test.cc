// What the upgrade checks before its first change and what it tells: tables another
// program holds, department names cut to fit, the name of the rebuilt anti-pass-back table.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "upgrade/tests/old_database.h"
#include "upgrade/tests/upgrade_expectations.h"
#include "upgrade/tests/upgrade_fixture.h"

namespace vaq::upgrade::testing {
namespace {

using ::testing::HasSubstr;

// Another process holding a byte-range lock on a file, as a Paradox program holds its
// lock files, until the object goes.
class LockHolder {
  public:
    explicit LockHolder(const fs::path& file) {
        std::ofstream(file, std::ios::app).put('\0');
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(release_) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(file.c_str(), O_RDWR);
            struct flock range {};
            range.l_type = F_WRLCK;
            range.l_whence = SEEK_SET;
            if (fd < 0 || ::fcntl(fd, F_SETLK, &range) != 0) ::_exit(2);
            const char ok = 1;
            if (::write(ready[1], &ok, 1) != 1) ::_exit(3);
            char byte = 0;
            while (::read(release_[0], &byte, 1) > 0) {
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release_[0]);
        char byte = 0;
        if (::read(ready[0], &byte, 1) != 1) throw std::runtime_error("the holder failed");
        ::close(ready[0]);
    }
    ~LockHolder() {
        ::close(release_[1]);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

  private:
    pid_t pid_ = -1;
    int release_[2] = {-1, -1};
};

class UpgradeDetails : public UpgradeFixture {
  protected:
    void SetUp() override {
        UpgradeFixture::SetUp();
        const std::string missing = missingForUpgrade();
        if (!missing.empty()) GTEST_SKIP() << missing;
        repair_.install(window_, *form_);
    }
    RepairStandIn repair_;
};

TEST_F(UpgradeDetails, ATableHeldByAnotherProgramStopsTheUpgradeBeforeAnyChange) {
    writeOldDatabase(data());
    {
        const LockHolder door(data() / "Door.LCK");
        const auto before = snapshot();
        const std::string error = failureOf([&] { form_->BitBtn1Click(); });
        EXPECT_THAT(error, HasSubstr("Nothing was upgraded"));
        EXPECT_THAT(error, HasSubstr("Door.DB"));
        EXPECT_THAT(error, ::testing::Not(HasSubstr("Personal")));
        EXPECT_EQ(snapshot(), before);
        EXPECT_EQ(window_.log(), "");
    }
    {
        // The directory's own lock file holds every table, those still to be created too.
        const LockHolder directory(data() / "PDOXUSRS.LCK");
        const auto before = snapshot();
        const std::string error = failureOf([&] { form_->BitBtn1Click(); });
        EXPECT_THAT(error, HasSubstr("Personal.DB"));
        EXPECT_THAT(error, HasSubstr("EMCARD_MAS.db"));
        EXPECT_EQ(snapshot(), before);
    }
    EXPECT_EQ(failureOf([&] { form_->BitBtn1Click(); }), "");
}

TEST_F(UpgradeDetails, ADepartmentNameCutToFitIsLoggedOnce) {
    writeOldDatabase(data(), {"Personal.DB"});
    sql(
        {"CREATE TABLE \"Personal.DB\" (PersonalID autoinc, CardID Char(10), StaffID Char(20), "
         "Name Char(40), Department Char(10), DeptID smallint, PRIMARY KEY (PersonalID))",
         "INSERT INTO Personal (CardID, Name, DeptID) VALUES ('0001', 'A', 1)",
         "INSERT INTO Personal (CardID, Name, DeptID) VALUES ('0002', 'B', 1)",
         "INSERT INTO Personal (CardID, Name, DeptID) VALUES ('0003', 'C', 2)",
         "CREATE TABLE \"Department.DB\" (DeptID smallint, DeptName char(40), LateAllowance "
         "smallint, EnableLateAllowance boolean)",
         "INSERT INTO Department (DeptID, DeptName) VALUES (1, 'Information Technology')",
         "INSERT INTO Department (DeptID, DeptName) VALUES (2, 'Sales')"});
    ASSERT_EQ(failureOf([&] { form_->BitBtn1Click(); }), "");
    const Lines log = logLines();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "Department name 'Information Technology' cut to 'Informatio'."),
              1);
    EXPECT_EQ(rowsOf("Personal", {"Department"}), (Lines{"Informatio", "Informatio", "Sales"}));
}

TEST_F(UpgradeDetails, TheRebuiltAntiPassBackTableKeepsItsLetterCase) {
    writeOldDatabase(data());
    ASSERT_EQ(failureOf([&] { form_->BitBtn1Click(); }), "");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(data()))
        if (entry.path().stem() == "AntiPassBack") names.push_back(entry.path().filename());
    EXPECT_THAT(names, ::testing::Contains("AntiPassBack.db"));
    EXPECT_THAT(names, ::testing::Not(::testing::Contains("AntiPassBack.DB")));
}

}  // namespace
}  // namespace vaq::upgrade::testing
