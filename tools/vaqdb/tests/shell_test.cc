// The shell as a user meets it, without the corpus: input cut into commands, the hint for a
// mistyped command, output modes, the progress bar's pace, and the built program's help,
// version, script errors, exit statuses and progress on a terminal and off it.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/vaqdb/commands.h"
#include "tools/vaqdb/output.h"
#include "tools/vaqdb/progress.h"
#include "tools/vaqdb/script.h"
#include "tools/vaqdb/shell.h"

namespace vaq::shell {
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

// The shell at a prompt on a terminal: each step's keys are typed once its text has been
// shown after the text of the step before (the first step: from the start), so that a prompt
// counts only when it came after the answer to what was typed before it. Every read of the
// terminal waits at most until the run's time is up; then the shell is killed and reaped, and
// the run says which step it was waiting for.
struct Typed {
    std::string after;
    std::string keys;
};

struct TerminalRun {
    std::string shown;   // everything the terminal showed
    std::string missed;  // empty when every step was reached and the shell ended on its own
    int status = -1;     // the exit status when it ended on its own
};

// Bytes read from a pseudo-terminal's master side, each read waiting no later than a
// deadline.
class TerminalReader {
  public:
    TerminalReader(int terminal, std::chrono::steady_clock::time_point deadline)
        : terminal_(terminal), deadline_(deadline) {}

    const std::string& shown() const { return shown_; }
    bool ended() const { return ended_; }

    // Reads until `text` is shown at or after `from`; where it ends, or npos when the
    // terminal closed or the time ran out first.
    std::size_t wait_for(const std::string& text, std::size_t from) {
        while (true) {
            const std::size_t at = shown_.find(text, from);
            if (at != std::string::npos) return at + text.size();
            if (!read_some()) return std::string::npos;
        }
    }
    // Reads until the other side closes the terminal; false when the time ran out first.
    bool wait_for_end() {
        while (!ended_)
            if (!read_some()) return ended_;
        return true;
    }

  private:
    bool read_some() {
        if (ended_) return false;
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline_ - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd wanted{terminal_, POLLIN, 0};
            const int ready = poll(&wanted, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) return false;
            char buffer[4096];
            const ssize_t got = read(terminal_, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {  // EIO once the shell has closed the terminal
                ended_ = true;
                return false;
            }
            shown_.append(buffer, static_cast<std::size_t>(got));
            return true;
        }
    }

    int terminal_;
    std::chrono::steady_clock::time_point deadline_;
    std::string shown_;
    bool ended_ = false;
};

// Waits for `child` until `deadline`, then kills it; its exit status, or -1 when it did not
// exit by itself.
int reap(pid_t child, std::chrono::steady_clock::time_point deadline) {
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0 && errno != EINTR) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(child, SIGKILL);
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return -1;
}

TerminalRun typed_at_prompt(const std::vector<std::string>& arguments, const fs::path& config,
                            const std::vector<Typed>& steps) {
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child < 0) return {"", "forkpty failed", -1};
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    TerminalReader reader(terminal, deadline);
    TerminalRun result;
    std::size_t from = 0;
    for (std::size_t i = 0; i < steps.size() && result.missed.empty(); ++i) {
        from = reader.wait_for(steps[i].after, from);
        if (from == std::string::npos) {
            result.missed = "step " + std::to_string(i + 1) + " never saw \"" + steps[i].after +
                            "\"" + (reader.ended() ? " (the shell closed the terminal)" : "");
            break;
        }
        for (std::size_t sent = 0; sent < steps[i].keys.size();) {
            const ssize_t wrote =
                write(terminal, steps[i].keys.data() + sent, steps[i].keys.size() - sent);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote <= 0) {
                result.missed = "the keys of step " + std::to_string(i + 1) + " were not taken";
                break;
            }
            sent += static_cast<std::size_t>(wrote);
        }
    }
    if (result.missed.empty() && !reader.wait_for_end())
        result.missed = "the shell did not end after the last step";
    // A shell given up on is killed at once; one that closed the terminal gets until the
    // deadline to exit.
    result.status =
        reap(child, result.missed.empty() ? deadline : std::chrono::steady_clock::now());
    if (result.missed.empty() && result.status < 0) result.missed = "the shell did not exit";
    close(terminal);
    result.shown = reader.shown();
    return result;
}

TEST_F(ShellProgram, CtrlCAtThePromptDropsTheOpenStatementAndTheShellGoesOn) {
    make_table(3);
    const TerminalRun run = typed_at_prompt({(root_ / "db").string()}, root_ / "engine.ini",
                                            {{"vaqdb> ", "SELECT * FROM\r"},
                                             {"...> ", "\x03"},
                                             {"vaqdb> ", ".count Staff\r"},
                                             {"\r\n3\r\n", ""},
                                             {"vaqdb> ", ".quit\r"}});
    ASSERT_EQ(run.missed, "") << run.shown;
    EXPECT_EQ(run.status, 0) << run.shown;
    // The terminal may echo a line typed before the editor took it over a second time, so
    // only the order is checked: the interrupt, then the command, then its answer.
    const std::size_t interrupted = run.shown.find("^C\r\n");
    ASSERT_NE(interrupted, std::string::npos) << run.shown;
    const std::size_t counted = run.shown.find(".count Staff\r\n", interrupted);
    ASSERT_NE(counted, std::string::npos) << run.shown;
    EXPECT_NE(run.shown.find("\r\n3\r\n", counted), std::string::npos) << run.shown;
    EXPECT_EQ(run.shown.find("rror"), std::string::npos) << run.shown;
}

}  // namespace
}  // namespace vaq::shell
