#include "tools/vaqdb/shell.h"
#include <algorithm>

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <system_error>

#include "common/error.h"
#include "common/text.h"
#include "engine/api/config.h"
#include "engine/api/version.h"
#include "tools/vaqdb/commands.h"
#include "tools/vaqdb/line_editor.h"
#include "tools/vaqdb/script.h"

namespace vaq::shell {

namespace fs = std::filesystem;

fs::path resolve_database(std::string_view dir) {
    if (!dir.empty() && dir.front() == ':') return pdx::alias_directory(dir.substr(1));
    std::error_code ec;
    if (dir.empty() || !fs::is_directory(fs::path(dir), ec))
        throw vaq::Error("Directory does not exist: " + std::string(dir));
    return fs::path(dir);
}

std::vector<std::string> split_words(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && vaq::is_space(line[i]))
            ++i;
        if (i == line.size()) break;
        std::string word;
        if (line[i] == '"') {
            const std::size_t end = line.find('"', i + 1);
            if (end == std::string_view::npos)
                throw vaq::Error("A double quote is not closed: " + std::string(line));
            word = line.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            while (i < line.size() && !vaq::is_space(line[i]))
                word += line[i++];
        }
        words.push_back(std::move(word));
    }
    return words;
}

void run_command(ShellContext& context, std::string_view command) {
    command = vaq::trim_space(command);
    // A ';' ends a statement; after a dot command it is a habit and means nothing.
    if (command.ends_with(';')) command = vaq::trim_space(command.substr(0, command.size() - 1));
    if (command.empty()) return;
    if (command.front() == '.')
        run_words(context, split_words(command));
    else
        run_sql(context, command);
}

void run_words(ShellContext& context, std::vector<std::string> words) {
    const Command* command = find_command(words.front());
    if (command == nullptr) {
        const std::string_view near = nearest_command(words.front());
        throw vaq::Error("Unknown command " + words.front() +
                         (near.empty() ? "; .help lists the commands."
                                       : "; did you mean " + std::string(near) + "?"));
    }
    words.erase(words.begin());
    const auto flags = std::count_if(words.begin(), words.end(), [&](const std::string& word) {
        return !command->flag.empty() && word == command->flag;
    });
    const std::size_t arguments = words.size() - static_cast<std::size_t>(flags);
    if (arguments < command->min_arguments || arguments > command->max_arguments || flags > 1)
        throw vaq::Error("Usage: " + std::string(command->usage));
    command->run(context, words);
}

namespace {

// Runs `run` and writes its error, if any, to context.err after `where`. False when it
// failed.
template <typename Run>
bool reporting(ShellContext& context, std::string_view where, Run run) {
    try {
        run();
        context.out.flush();
        return true;
    } catch (const std::exception& e) {
        // Any failure ends this command only; the message is the report.
        context.out.flush();
        context.err << where << e.what() << '\n';
        context.err.flush();
        context.report_status(1);
        return false;
    }
}

bool run_commands(ShellContext& context, LineSource& lines, std::string_view source) {
    ScriptReader reader(lines);
    bool all_ok = true;
    while (!context.quit) {
        const std::optional<ScriptCommand> command = reader.next();
        if (!command) break;
        const std::string where =
            source.empty() ? std::string()
                           : std::string(source) + " line " + std::to_string(command->line) + ": ";
        if (!run_reporting(context, command->text, where)) all_ok = false;
    }
    return all_ok;
}

std::string version_text() {
    return std::string("vaqdb ") + VAQ_UTILITY_VERSION + "\nengine " + pdx::engine_version() + "\n";
}

}  // namespace

bool run_reporting(ShellContext& context, std::string_view command, std::string_view where) {
    return reporting(context, where, [&] { run_command(context, command); });
}

bool run_script(ShellContext& context, std::istream& in, std::string_view source) {
    StreamLines lines(in);
    return run_commands(context, lines, source);
}

int run_main(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
             std::ostream& err) {
    if (arguments.empty()) {
        err << "Usage: vaqdb DIR [COMMAND]\n(vaqdb --help tells more.)\n";
        return 1;
    }
    const std::string& first = arguments.front();
    if (first == "--help" || first == "-h") {
        out << usage_text();
        return 0;
    }
    if (first == "--version") {
        out << version_text();
        return 0;
    }
    if (first.starts_with("--")) {
        err << "Unknown option " << first << "; vaqdb --help lists the options.\n";
        return 1;
    }
    ShellContext context{{}, out, err};
    context.show_progress = &err == &std::cerr && isatty(STDERR_FILENO) == 1;
    context.output_to_terminal = &out == &std::cout && isatty(STDOUT_FILENO) == 1;
    try {
        context.directory = resolve_database(first);
    } catch (const std::exception& e) {
        err << e.what() << '\n';
        return 1;
    }
    if (arguments.size() == 1) {
        if (&in == &std::cin && isatty(STDIN_FILENO) == 1) {
            out << "vaqdb " << VAQ_UTILITY_VERSION << " on " << context.directory.string()
                << "; .help lists the commands, .quit ends.\n";
            LineEditor editor;
            run_commands(context, editor, {});
        } else {
            run_script(context, in);
        }
        return context.status;
    }
    // A dot command given as separate arguments keeps its words as the shell split them
    // (`.schema "My Table"`); an SQL statement is one text again.
    if (arguments.size() > 2 && arguments[1].starts_with('.')) {
        const std::vector<std::string> words(arguments.begin() + 1, arguments.end());
        reporting(context, {}, [&] { run_words(context, words); });
        return context.status;
    }
    std::string command;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (i > 1) command += ' ';
        command += arguments[i];
    }
    run_reporting(context, command);
    return context.status;
}

}  // namespace vaq::shell
