#include "engine/api/config.h"

#include <ini.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "common/text.h"
#include "engine/api/dbi.h"
#include "engine/api/engine_error.h"

namespace pdx {

namespace fs = std::filesystem;

namespace {

// The INI reader's line buffer holds 200 bytes: 197 characters, CR, LF and the terminating
// NUL. It would cut a longer line in two, so longer lines are refused before parsing.
constexpr std::size_t kMaxLineLength = 197;

// Each kept backup costs a table's size; a larger count is more likely a slip than a wish.
constexpr int kMostBackupsKept = 1000;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

fs::path home_directory() {
    const std::string home = environment("HOME");
    if (!home.empty()) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    throw EngineError(DBIERR_CONFIG, "Cannot find the home folder: HOME is not set");
}

// An XDG base folder: the variable when it holds an absolute path, else the fallback under
// the home folder.
fs::path xdg_folder(const char* variable, const char* fallback) {
    const fs::path value = environment(variable);
    if (!value.empty() && value.is_absolute()) return value;
    return home_directory() / fallback;
}

EngineError config_error(const std::string& origin, int line, const std::string& what) {
    std::string where = origin.empty() ? "Engine configuration" : "Engine configuration " + origin;
    if (line > 0) where += " line " + std::to_string(line);
    return EngineError(DBIERR_CONFIG, where + ": " + what);
}

// What the INI callbacks build up.
struct Reader {
    fs::path baseDir;
    std::string origin;
    std::vector<Alias> aliases;
    EngineSettings settings;
    std::string firstError;
    int errorLine = 0;
};

fs::path resolve_path(const std::string& value, const fs::path& baseDir) {
    if (value == "~") return home_directory();
    if (value.rfind("~/", 0) == 0) return home_directory() / value.substr(2);
    const fs::path path(value);
    return path.is_absolute() ? path : baseDir / path;
}

bool parse_integer(std::string_view text, int& out) {
    if (text.empty() || text.size() > 9) return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    out = value;
    return true;
}

// Section header of an alias: "alias NAME". Returns the name, or "" for another section.
std::string alias_name_of(std::string_view section) {
    if (section.size() < 6 || !vaq::iequals(section.substr(0, 5), "alias")) return {};
    if (section[5] != ' ' && section[5] != '\t') return {};
    return std::string(vaq::trim_blanks(section.substr(6)));
}

Alias& alias_for(Reader& reader, const std::string& name) {
    for (Alias& alias : reader.aliases)
        if (vaq::iequals(alias.name, name)) return alias;
    return reader.aliases.emplace_back(Alias{name, szSTANDARD, {}});
}

// Throws a message for the line; the INI callback turns it into an error at that line.
void apply_alias_setting(Reader& reader, const std::string& alias_name, std::string_view key,
                         const std::string& value) {
    Alias& alias = alias_for(reader, alias_name);
    if (vaq::iequals(key, "type")) {
        if (value.empty() || value.size() > DBIMAXNAMELEN)
            throw vaq::Error("the type of alias " + alias_name + " must have 1 to " +
                             std::to_string(DBIMAXNAMELEN) + " characters");
        alias.type = value;
    } else if (vaq::iequals(key, "path")) {
        if (value.empty()) throw vaq::Error("alias " + alias_name + " has an empty path");
        alias.path = resolve_path(value, reader.baseDir).lexically_normal();
        if (alias.path.native().size() > static_cast<std::size_t>(DBIMAXPATHLEN))
            throw vaq::Error("the path of alias " + alias_name + " is longer than " +
                             std::to_string(DBIMAXPATHLEN) + " characters");
    } else {
        throw vaq::Error("unknown setting '" + std::string(key) + "' in [alias " + alias_name +
                         "]");
    }
}

void apply_engine_setting(Reader& reader, std::string_view key, const std::string& value) {
    EngineSettings& settings = reader.settings;
    if (vaq::iequals(key, "private_dir")) {
        if (value.empty()) throw vaq::Error("private_dir is empty");
        settings.private_dir = resolve_path(value, reader.baseDir).lexically_normal();
    } else if (vaq::iequals(key, "create_level")) {
        int level = 0;
        if (!parse_integer(value, level) || (level != 3 && level != 4 && level != 5 && level != 7))
            throw vaq::Error("create_level must be 3, 4, 5 or 7, not '" + value + "'");
        settings.create_level = level;
    } else if (vaq::iequals(key, "block_size")) {
        int size = 0;
        if (!parse_integer(value, size) || size < 1024 || size > 32768 || size % 1024 != 0)
            throw vaq::Error("block_size must be a multiple of 1024 from 1024 to 32768, not '" +
                             value + "'");
        settings.block_size = size;
    } else if (vaq::iequals(key, "keep_backups")) {
        int count = 0;
        if (!parse_integer(value, count) || count < 0 || count > kMostBackupsKept)
            throw vaq::Error("keep_backups must be a number from 0 to " +
                             std::to_string(kMostBackupsKept) + ", not '" + value + "'");
        settings.keep_backups = count;
    } else {
        throw vaq::Error("unknown setting '" + std::string(key) + "' in [engine]");
    }
}

// Feeds the INI reader line by line like fgets, counting lines, so that a setting's line is
// known when the reader hands the setting over.
struct LineSource {
    std::string_view text;
    std::size_t position = 0;
    int line = 0;
};

char* read_line(char* buffer, int size, void* stream) {
    auto& source = *static_cast<LineSource*>(stream);
    if (source.position >= source.text.size() || size < 2) return nullptr;
    std::size_t end = source.text.find('\n', source.position);
    end = end == std::string_view::npos ? source.text.size() : end + 1;
    const std::size_t length = std::min(end - source.position, static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, source.text.data() + source.position, length);
    buffer[length] = '\0';
    source.position += length;
    ++source.line;
    return buffer;
}

struct ParseState {
    Reader* reader;
    LineSource* source;
};

int on_setting(void* user, const char* section, const char* key, const char* value) {
    auto& state = *static_cast<ParseState*>(user);
    Reader& reader = *state.reader;
    const int line = state.source->line;
    if (!reader.firstError.empty()) return 1;  // report only the first problem
    try {
        const std::string alias_name = alias_name_of(section);
        if (!alias_name.empty())
            apply_alias_setting(reader, alias_name, key, value);
        else if (vaq::iequals(section, "engine"))
            apply_engine_setting(reader, key, value);
        else if (std::string_view(section).empty())
            throw vaq::Error("setting '" + std::string(key) + "' outside of a section");
        else
            throw vaq::Error("unknown section [" + std::string(section) + "]");
    } catch (const std::exception& error) {
        reader.firstError = error.what();
        reader.errorLine = line;
    }
    return 1;
}

// Section headers come first, so that an alias without settings is reported and an alias
// named twice is refused instead of merged.
void read_section_headers(std::string_view text, Reader& reader) {
    std::istringstream lines{std::string(text)};
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > kMaxLineLength)
            throw config_error(
                reader.origin, number,
                "line is longer than " + std::to_string(kMaxLineLength) + " characters");
        const std::string_view trimmed = vaq::trim_blanks(line);
        if (trimmed.empty() || trimmed.front() != '[') continue;
        const std::size_t close = trimmed.find(']');
        if (close == std::string_view::npos) continue;  // the INI reader reports it
        const std::string name = alias_name_of(vaq::trim_blanks(trimmed.substr(1, close - 1)));
        if (name.empty()) continue;
        if (name.size() > static_cast<std::size_t>(DBIMAXNAMELEN))
            throw config_error(reader.origin, number,
                               "alias name is longer than " + std::to_string(DBIMAXNAMELEN) +
                                   " characters: " + name);
        for (const Alias& alias : reader.aliases)
            if (vaq::iequals(alias.name, name))
                throw config_error(reader.origin, number, "alias defined twice: " + name);
        reader.aliases.push_back(Alias{name, szSTANDARD, {}});
    }
}

struct ProcessConfiguration {
    std::mutex mutex;
    std::shared_ptr<const Configuration> configuration;
};

ProcessConfiguration& process_configuration() {
    static ProcessConfiguration state;
    return state;
}

}  // namespace

Configuration::Configuration() {
    settings_.private_dir = default_private_dir();
}

Configuration Configuration::from_text(std::string_view text, const fs::path& baseDir,
                                       const std::string& origin) {
    Reader reader;
    reader.baseDir = baseDir;
    reader.origin = origin;
    reader.settings.private_dir = default_private_dir();
    read_section_headers(text, reader);

    LineSource source{text, 0, 0};
    ParseState state{&reader, &source};
    const int result = ini_parse_stream(read_line, &source, on_setting, &state);
    if (!reader.firstError.empty()) throw config_error(origin, reader.errorLine, reader.firstError);
    if (result > 0) throw config_error(origin, result, "syntax error");
    if (result < 0) throw config_error(origin, 0, "the file cannot be parsed");

    for (const Alias& alias : reader.aliases)
        if (alias.path.empty())
            throw config_error(origin, 0, "alias " + alias.name + " has no path");

    Configuration configuration;
    configuration.aliases_ = std::move(reader.aliases);
    configuration.settings_ = std::move(reader.settings);
    return configuration;
}

Configuration Configuration::from_file(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw EngineError(DBIERR_CONFIG, "Engine configuration cannot be read: " + file.string() +
                                             ": " + std::strerror(errno));
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        throw EngineError(DBIERR_CONFIG, "Engine configuration cannot be read: " + file.string());
    const fs::path absolute = fs::absolute(file);
    Configuration configuration =
        from_text(content.str(), absolute.parent_path(), absolute.string());
    configuration.source_ = absolute;
    return configuration;
}

fs::path Configuration::default_file() {
    const std::string explicitFile = environment("PDX_CONFIG");
    if (!explicitFile.empty()) return explicitFile;
    return xdg_folder("XDG_CONFIG_HOME", ".config") / "pdx" / "engine.ini";
}

Configuration Configuration::load_default() {
    const fs::path file = default_file();
    std::error_code error;
    const bool exists = fs::exists(file, error);
    if (!exists && environment("PDX_CONFIG").empty()) return Configuration{};
    if (!exists)
        throw EngineError(DBIERR_CONFIG, "Engine configuration file does not exist: " +
                                             file.string() + " (named by PDX_CONFIG)");
    return from_file(file);
}

Configuration Configuration::with_standard_alias(std::string_view name,
                                                 const fs::path& directory) const {
    Configuration result = *this;
    std::erase_if(result.aliases_,
                  [&](const Alias& alias) { return vaq::iequals(alias.name, name); });
    result.aliases_.insert(
        result.aliases_.begin(),
        Alias{std::string(name), "STANDARD", fs::absolute(directory).lexically_normal()});
    return result;
}

const Alias* Configuration::find_alias(std::string_view name) const {
    for (const Alias& alias : aliases_)
        if (vaq::iequals(alias.name, name)) return &alias;
    return nullptr;
}

fs::path default_private_dir() {
    try {
        return xdg_folder("XDG_STATE_HOME", ".local/state") / "pdx" / "private";
    } catch (const EngineError&) {
        // Without a home folder the private directory must be set in the file; a relative
        // default keeps the configuration usable until then.
        return fs::path("pdx") / "private";
    }
}

fs::path private_directory() {
    const fs::path directory = current_configuration()->settings().private_dir;
    std::error_code error;
    if (fs::is_directory(directory, error)) return directory;
    fs::create_directories(directory, error);
    if (!error) fs::permissions(directory, fs::perms::owner_all, error);
    if (error)
        throw EngineError(DBIERR_OSACCESS, "Cannot create the private directory " +
                                               directory.string() + ": " + error.message());
    return directory;
}

std::shared_ptr<const Configuration> current_configuration() {
    ProcessConfiguration& state = process_configuration();
    std::lock_guard lock(state.mutex);
    if (!state.configuration)
        state.configuration = std::make_shared<const Configuration>(Configuration::load_default());
    return state.configuration;
}

void use_configuration(Configuration configuration) {
    ProcessConfiguration& state = process_configuration();
    std::lock_guard lock(state.mutex);
    state.configuration = std::make_shared<const Configuration>(std::move(configuration));
}

void reload_configuration() {
    ProcessConfiguration& state = process_configuration();
    std::lock_guard lock(state.mutex);
    state.configuration.reset();
}

Alias find_alias(std::string_view name) {
    const auto configuration = current_configuration();
    if (const Alias* alias = configuration->find_alias(name)) return *alias;
    throw EngineError(DBIERR_UNKNOWNDB, "Alias not found: " + std::string(name));
}

fs::path alias_directory(std::string_view alias_name) {
    const Alias alias = find_alias(alias_name);
    if (!vaq::iequals(alias.type, szSTANDARD))
        throw EngineError(DBIERR_NOTSUPPORTED, "Alias is not of type STANDARD: " + alias.name);
    std::error_code error;
    if (!fs::is_directory(alias.path, error))
        throw EngineError(DBIERR_DIRNOTFOUND, "Directory does not exist: " + alias.path.string());
    return alias.path;
}

}  // namespace pdx
