// The shell as a user meets it, without the corpus: input cut into commands, the hint for a
// mistyped command, output modes, the progress bar's pace, and the built program's help,
// version, script errors, exit statuses and progress on a terminal and off it.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tools/vaqdb/commands.h"
#include "tools/vaqdb/output.h"
#include "tools/vaqdb/progress.h"
#include "tools/vaqdb/script.h"
#include "tools/vaqdb/shell.h"

namespace vaqdb {
namespace {

namespace fs = std::filesystem;

std::vector<ScriptCommand> commands_of(const std::string& text) {
    std::istringstream in(text);
    StreamLines lines(in);
    ScriptReader reader(lines);
    std::vector<ScriptCommand> commands;
    while (auto command = reader.next())
        commands.push_back(*command);
    return commands;
}

TEST(ScriptReader, StatementsSpanLinesAndCommentsAreDropped) {
    const auto commands = commands_of(
        "-- a script\n"
        "\n"
        ".tables\n"
        "SELECT *\n"
        "  FROM Door -- which table\n"
        "  WHERE Name = 'a;b--c' AND Note = \"it's\";\n"
        "  .schema Door;  \r\n"
        "DELETE FROM Door; DELETE FROM Staff;\n"
        "   ;\n"
        "INSERT INTO T VALUES ('don''t;')\n"
        "-- left open at the end\n");
    ASSERT_EQ(commands.size(), 6u);
    EXPECT_EQ(commands[0].text, ".tables");
    EXPECT_EQ(commands[0].line, 3u);
    EXPECT_EQ(commands[1].text,
              "SELECT *\n  FROM Door \n  WHERE Name = 'a;b--c' AND Note = \"it's\"");
    EXPECT_EQ(commands[1].line, 4u);
    EXPECT_EQ(commands[2].text, ".schema Door");
    EXPECT_EQ(commands[2].line, 7u);
    EXPECT_EQ(commands[3].text, "DELETE FROM Door");
    EXPECT_EQ(commands[4].text, "DELETE FROM Staff");
    EXPECT_EQ(commands[4].line, 8u);
    EXPECT_EQ(commands[5].text, "INSERT INTO T VALUES ('don''t;')");
    EXPECT_EQ(commands[5].line, 10u);
    EXPECT_TRUE(commands_of("").empty());
    EXPECT_TRUE(commands_of("-- only\n\n   \n").empty());
}

TEST(ScriptReader, ADotInsideAStatementIsPartOfIt) {
    const auto commands = commands_of("SELECT *\n.tables\n;\n");
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].text, "SELECT *\n.tables");
}

TEST(Commands, AMistypedNameGetsTheNearestCommand) {
    EXPECT_EQ(nearest_command(".tabels"), ".tables");
    EXPECT_EQ(nearest_command(".schem"), ".schema");
    EXPECT_EQ(nearest_command(".VERIFY"), ".verify");
    EXPECT_EQ(nearest_command("tables"), ".tables");
    EXPECT_EQ(nearest_command(".import-transaction"), ".import-transactions");
    EXPECT_EQ(nearest_command(".xyzzyplugh"), "");
    for (const Command& command : command_table()) {
        EXPECT_EQ(find_command(command.name), &command);
        EXPECT_FALSE(command.summary.empty()) << command.name;
        EXPECT_TRUE(command.usage.starts_with(command.name)) << command.name;
        EXPECT_LE(command.min_arguments, command.max_arguments) << command.name;
    }
}

std::string printed(OutputMode mode, bool headers) {
    std::ostringstream out, err;
    ShellContext context{{}, out, err};
    context.mode = mode;
    context.headers = headers;
    auto printer = make_row_printer(context);
    printer->begin({"ID", "Näme"}, {true, false});
    printer->row({"7", "Front door"});
    printer->row({"12", "two\nlines"});
    printer->end();
    return out.str();
}

TEST(Output, EveryModePrintsTheSameRows) {
    EXPECT_EQ(printed(OutputMode::kCsv, true), "ID,Näme\r\n7,Front door\r\n12,\"two\nlines\"\r\n");
    EXPECT_EQ(printed(OutputMode::kCsv, false), "7,Front door\r\n12,\"two\nlines\"\r\n");
    EXPECT_EQ(printed(OutputMode::kTable, true),
              "+----+------------+\n"
              "| ID | Näme       |\n"
              "+----+------------+\n"
              "|  7 | Front door |\n"
              "| 12 | two lines  |\n"
              "+----+------------+\n");
    EXPECT_EQ(printed(OutputMode::kTable, false),
              "+----+------------+\n"
              "|  7 | Front door |\n"
              "| 12 | two lines  |\n"
              "+----+------------+\n");
    EXPECT_EQ(printed(OutputMode::kLine, true),
              "  ID = 7\nNäme = Front door\n\n  ID = 12\nNäme = two\nlines\n");
}

TEST(ProgressBar, DrawsOnlyWhenEnabledAndAtMostTenTimesASecond) {
    std::ostringstream off;
    {
        ProgressBar bar(off, false);
        for (int i = 0; i <= 100; ++i)
            bar.show("Data:", static_cast<std::uint64_t>(i), 100);
    }
    EXPECT_EQ(off.str(), "");

    std::ostringstream on;
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t redraws = 0;
    {
        ProgressBar bar(on, true);
        constexpr std::uint64_t kRecords = 3'000'000;
        for (std::uint64_t i = 0; i <= kRecords; ++i)
            bar.show("Data:", i, kRecords);
        bar.close();
        redraws = bar.redraws();
    }
    const auto tenths = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count() /
                        100;
    // One drawing at the start, one per tenth of a second, the closing one.
    EXPECT_LE(redraws, static_cast<std::uint64_t>(tenths) + 2);
    EXPECT_NE(on.str().find("Data: [###"), std::string::npos);
    EXPECT_TRUE(on.str().ends_with("] 100%\n")) << on.str();
}

// The built program, run in a folder of the test's own.
class ShellProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/vaqdb-shell-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        fs::create_directory(root_ / "db");
        // The engine's settings of the test's own, not the user's.
        std::ofstream(root_ / "engine.ini")
            << "[engine]\nprivate_dir = " << (root_ / "private").string() << "\n";
    }
    void TearDown() override { fs::remove_all(root_); }

    struct Run {
        int status = -1;
        std::string out;
        std::string err;
    };

    static std::string slurp(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // `arguments` as the shell would pass them, standard input from `input`.
    Run run(const std::string& arguments, const std::string& input = "") {
        std::ofstream(root_ / "in") << input;
        const std::string command = "PDX_CONFIG='" + (root_ / "engine.ini").string() + "' '" +
                                    VAQDB_PROGRAM + "' " + arguments + " <'" +
                                    (root_ / "in").string() + "' >'" + (root_ / "out").string() +
                                    "' 2>'" + (root_ / "err").string() + "'";
        Run result;
        const int status = std::system(command.c_str());
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = slurp(root_ / "out");
        result.err = slurp(root_ / "err");
        return result;
    }

    std::string db() const { return "'" + (root_ / "db").string() + "'"; }

    // A table of `rows` records, made through the shell.
    void make_table(int rows) {
        std::string script = "CREATE TABLE Staff (ID integer, Name char(20), PRIMARY KEY (ID));\n";
        std::ofstream csv(root_ / "staff.csv");
        csv << "ID,Name\n";
        for (int i = 1; i <= rows; ++i)
            csv << i << ",Person " << i << "\n";
        csv.close();
        script += ".import \"" + (root_ / "staff.csv").string() + "\" Staff\n";
        const Run made = run(db(), script);
        ASSERT_EQ(made.status, 0) << made.err;
    }

    fs::path root_;
};

TEST_F(ShellProgram, HelpAndVersionDescribeTheShell) {
    for (const char* option : {"--help", "-h"}) {
        const Run help = run(option);
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.err, "");
        EXPECT_NE(help.out.find("Usage: vaqdb DIR [COMMAND]"), std::string::npos);
        for (const Command& command : command_table())
            EXPECT_NE(help.out.find(std::string(command.usage)), std::string::npos) << command.name;
        EXPECT_NE(help.out.find("Exit status"), std::string::npos);
    }
    const Run version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.starts_with("vaqdb ")) << version.out;
    EXPECT_NE(version.out.find("\nengine "), std::string::npos) << version.out;

    const Run dot_help = run(db() + " .help");
    EXPECT_EQ(dot_help.status, 0);
    EXPECT_EQ(dot_help.out, command_list());
    EXPECT_NE(dot_help.out.find(".quit"), std::string::npos);

    const Run unknown = run("--frobnicate");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("--frobnicate"), std::string::npos);
}

TEST_F(ShellProgram, AMistypedCommandNamesTheNearestOne) {
    const Run typo = run(db() + " .tabels");
    EXPECT_EQ(typo.status, 1);
    EXPECT_EQ(typo.out, "");
    EXPECT_EQ(typo.err, "Unknown command .tabels; did you mean .tables?\n");
}

TEST_F(ShellProgram, AScriptRunsOnAfterABadLineThatItNamesAndFailsAtTheEnd) {
    const Run script = run(db(),
                           "-- staff of the test\n"
                           "CREATE TABLE Staff (ID integer, Name char(20),\n"
                           "                    PRIMARY KEY (ID));\n"
                           "INSERT INTO Staff VALUES (1, 'Ann');  -- the first\n"
                           "INSERT INTO Staff\n"
                           "  VALUES (2, 'Bob; the second');\n"
                           "\n"
                           "INSERT INTO Nowhere VALUES (3);\n"
                           ".count Staff\n"
                           "SELECT COUNT(*) FROM Staff WHERE ID > 1;\n"
                           ".headers off\n"
                           "SELECT Name FROM Staff WHERE ID = 2;\n"
                           ".quit\n"
                           ".tables\n");
    EXPECT_EQ(script.status, 1);
    EXPECT_EQ(script.out, "2\nCOUNT(*)\r\n1\r\nBob; the second\r\n");
    EXPECT_TRUE(script.err.starts_with("stdin line 8: Table does not exist: Nowhere"))
        << script.err;
    EXPECT_EQ(std::count(script.err.begin(), script.err.end(), '\n'), 1) << script.err;
}

TEST_F(ShellProgram, EveryFailureExitsOneWithItsCauseOnStandardError) {
    make_table(3);
    const std::vector<std::string> failing = {
        db() + " .count Nowhere",      db() + " .schema",
        db() + " .mode html",          db() + " .headers maybe",
        db() + " 'SELECT * FROM'",     "/no/such/folder .tables",
        ":NoSuchAlias .tables",        db() + " .import /no/such.csv Staff",
        db() + " .export ../db/Staff",
    };
    for (const std::string& arguments : failing) {
        const Run failed = run(arguments);
        EXPECT_EQ(failed.status, 1) << arguments;
        EXPECT_EQ(failed.out, "") << arguments;
        EXPECT_FALSE(failed.err.empty()) << arguments;
        EXPECT_EQ(failed.err.back(), '\n') << arguments;
    }
    const Run counted = run(db() + " \"SELECT COUNT(*) FROM Staff\"");
    EXPECT_EQ(counted.status, 0) << counted.err;
    EXPECT_EQ(counted.out, "COUNT(*)\r\n3\r\n");
}

// Runs `arguments` with standard error on a pseudo-terminal and standard output into a file;
// returns what the terminal showed. `interrupt_at`: Ctrl-C is sent once the terminal has shown
// it twice (a bar drawn twice has been running for a tenth of a second at least).
std::string on_terminal(const std::string& program, const std::vector<std::string>& arguments,
                        const fs::path& out_file, const fs::path& config,
                        std::string interrupt_at = {}) {
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        const int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, STDOUT_FILENO);
        setenv("PDX_CONFIG", config.c_str(), 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    std::string shown;
    char buffer[4096];
    while (true) {
        const ssize_t got = read(terminal, buffer, sizeof buffer);
        if (got <= 0) break;  // EIO once the child has closed the terminal
        shown.append(buffer, static_cast<std::size_t>(got));
        const std::size_t first =
            interrupt_at.empty() ? std::string::npos : shown.find(interrupt_at);
        if (first != std::string::npos &&
            shown.find(interrupt_at, first + interrupt_at.size()) != std::string::npos) {
            kill(child, SIGINT);
            interrupt_at.clear();
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(terminal);
    return shown;
}

TEST_F(ShellProgram, ProgressIsDrawnOnATerminalOnly) {
    make_table(2000);
    const Run piped = run(db() + " .export Staff");
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");
    EXPECT_TRUE(piped.out.starts_with("ID,Name\r\n1,Person 1\r\n"));

    const std::string shown =
        on_terminal(VAQDB_PROGRAM, {(root_ / "db").string(), ".export", "Staff"},
                    root_ / "exported", root_ / "engine.ini");
    EXPECT_NE(shown.find("Exporting: ["), std::string::npos) << shown;
    EXPECT_NE(shown.find("100%"), std::string::npos) << shown;
    EXPECT_EQ(slurp(root_ / "exported"), piped.out);
}

TEST_F(ShellProgram, CtrlCStopsAnImportBetweenTwoRowsAndSaysHowManyWereStored) {
    make_table(0);
    // A secondary index makes the writer store each row as a change of its own: with that
    // many rows the import is still at work when the interrupt comes, however fast the
    // machine.
    ASSERT_EQ(run(db() + " 'CREATE INDEX ByName ON Staff (Name)'").status, 0);
    constexpr int kRows = 1'000'000;
    {
        std::ofstream csv(root_ / "many.csv");
        csv << "ID,Name\n";
        for (int i = 1; i <= kRows; ++i)
            csv << i << ",Person " << i << "\n";
    }
    const std::string shown = on_terminal(
        VAQDB_PROGRAM, {(root_ / "db").string(), ".import", (root_ / "many.csv").string(), "Staff"},
        root_ / "imported", root_ / "engine.ini", "Importing:");
    const std::size_t at = shown.find("Interrupted. The ");
    ASSERT_NE(at, std::string::npos) << shown;
    const long stated = std::stol(shown.substr(at + 17));
    EXPECT_LT(stated, kRows);
    EXPECT_NE(shown.find(" rows before line " + std::to_string(stated + 2) +
                         " were imported into Staff.DB; line " + std::to_string(stated + 2) +
                         " and the lines after it were not."),
              std::string::npos)
        << shown;
    // The rows it names are stored and saved, and no other.
    const Run counted = run(db() + " .count Staff");
    EXPECT_EQ(counted.out, std::to_string(stated) + "\n");
    const Run last =
        run(db() + " 'SELECT COUNT(*) FROM Staff WHERE ID > " + std::to_string(stated) + "'");
    EXPECT_EQ(last.out, "COUNT(*)\r\n0\r\n");
}

// The shell at a prompt on a terminal: each of `keys` is typed once `after` has been shown
// as often as the step's number says (1 for the first); what the terminal showed, and the
// exit status. A step not reached within 20 seconds ends the run.
struct Typed {
    std::string after;
    std::string keys;
};

std::pair<std::string, int> typed_at_prompt(const std::vector<std::string>& arguments,
                                            const fs::path& config,
                                            const std::vector<Typed>& steps) {
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        setenv("PDX_CONFIG", config.c_str(), 1);
        setenv("XDG_STATE_HOME", config.parent_path().c_str(), 1);  // the history of the test
        std::vector<char*> argv{const_cast<char*>(VAQDB_PROGRAM)};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(VAQDB_PROGRAM, argv.data());
        _exit(127);
    }
    std::string shown;
    char buffer[4096];
    const auto read_some = [&] {
        const ssize_t got = read(terminal, buffer, sizeof buffer);
        if (got > 0) shown.append(buffer, static_cast<std::size_t>(got));
        return got > 0;
    };
    const auto times_shown = [&](const std::string& text) {
        std::size_t count = 0;
        for (std::size_t at = shown.find(text); at != std::string::npos;
             at = shown.find(text, at + text.size()))
            ++count;
        return count;
    };
    std::map<std::string, std::size_t> waited;
    for (const Typed& step : steps) {
        const std::size_t want = ++waited[step.after];
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (times_shown(step.after) < want && std::chrono::steady_clock::now() < give_up)
            if (!read_some()) break;
        if (times_shown(step.after) < want) break;
        (void)!write(terminal, step.keys.data(), step.keys.size());
    }
    while (read_some()) {
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(terminal);
    return {shown, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// Disabled: under ctest in a fresh clone it once waited for a prompt that never came (a read
// of the terminal without a time limit); run it by hand with --gtest_also_run_disabled_tests
// until its reads are bounded.
TEST_F(ShellProgram, DISABLED_CtrlCAtThePromptDropsTheOpenStatementAndTheShellGoesOn) {
    make_table(3);
    const auto [shown, status] = typed_at_prompt({(root_ / "db").string()}, root_ / "engine.ini",
                                                 {{"vaqdb> ", "SELECT * FROM\r"},
                                                  {"...> ", "\x03"},
                                                  {"vaqdb> ", ".count Staff\r"},
                                                  {"vaqdb> ", ".quit\r"}});
    EXPECT_EQ(status, 0) << shown;
    // The terminal may echo a line typed before the editor took it over a second time, so
    // only the order is checked: the interrupt, then the command, then its answer.
    const std::size_t interrupted = shown.find("^C\r\n");
    ASSERT_NE(interrupted, std::string::npos) << shown;
    const std::size_t counted = shown.find(".count Staff\r\n", interrupted);
    ASSERT_NE(counted, std::string::npos) << shown;
    EXPECT_NE(shown.find("\r\n3\r\n", counted), std::string::npos) << shown;
    EXPECT_EQ(shown.find("rror"), std::string::npos) << shown;
}

}  // namespace
}  // namespace vaqdb
