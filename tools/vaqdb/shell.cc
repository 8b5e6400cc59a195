#include "tools/vaqdb/shell.h"

#include <system_error>

#include "common/error.h"
#include "engine/api/config.h"
#include "tools/vaqdb/commands.h"

namespace vaqdb {

namespace fs = std::filesystem;

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace

fs::path resolve_database(std::string_view dir) {
    if (!dir.empty() && dir.front() == ':') return pdx::aliasDirectory(dir.substr(1));
    std::error_code ec;
    if (dir.empty() || !fs::is_directory(fs::path(dir), ec))
        throw vaq::Error("Directory does not exist: " + std::string(dir));
    return fs::path(dir);
}

std::vector<std::string> split_words(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && is_blank(line[i]))
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
            while (i < line.size() && !is_blank(line[i]))
                word += line[i++];
        }
        words.push_back(std::move(word));
    }
    return words;
}

void run_command(ShellContext& context, std::string_view line) {
    line = trim(line);
    if (line.empty()) return;
    if (line.front() != '.') {
        run_sql(context, line);
        return;
    }
    run_words(context, split_words(line));
}

void run_words(ShellContext& context, std::vector<std::string> words) {
    const Command* command = find_command(words.front());
    if (command == nullptr) throw vaq::Error("Unknown command: " + words.front());
    words.erase(words.begin());
    if (words.size() != command->arguments)
        throw vaq::Error("Usage: " + std::string(command->usage));
    command->run(context, words);
}

namespace {

// Runs `run` and writes its error, if any, to context.err. False when it failed.
template <typename Run>
bool reporting(ShellContext& context, Run run) {
    try {
        run();
        context.out.flush();
        return true;
    } catch (const std::exception& e) {
        // Any failure ends this command only; the message is the report.
        context.out.flush();
        context.err << e.what() << '\n';
        context.err.flush();
        return false;
    }
}

}  // namespace

bool run_reporting(ShellContext& context, std::string_view line) {
    return reporting(context, [&] { run_command(context, line); });
}

bool run_script(ShellContext& context, std::istream& in) {
    bool all_ok = true;
    std::string line;
    while (std::getline(in, line))
        if (!trim(line).empty() && !run_reporting(context, line)) all_ok = false;
    return all_ok;
}

int run_main(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
             std::ostream& err) {
    if (arguments.empty()) {
        err << "Usage: vaqdb DIR [COMMAND]\n";
        return 1;
    }
    ShellContext context{{}, out, err};
    try {
        context.directory = resolve_database(arguments.front());
    } catch (const std::exception& e) {
        err << e.what() << '\n';
        return 1;
    }
    if (arguments.size() == 1) return run_script(context, in) ? 0 : 1;
    // A dot command given as separate arguments keeps its words as the shell split them
    // (`.schema "My Table"`); an SQL statement is one text again.
    if (arguments.size() > 2 && arguments[1].starts_with('.')) {
        const std::vector<std::string> words(arguments.begin() + 1, arguments.end());
        return reporting(context, [&] { run_words(context, words); }) ? 0 : 1;
    }
    std::string command;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (i > 1) command += ' ';
        command += arguments[i];
    }
    return run_reporting(context, command) ? 0 : 1;
}

}  // namespace vaqdb
