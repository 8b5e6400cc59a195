#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pdx {

// One alias: a name for a database directory.
struct Alias {
    std::string name;
    std::string type = "STANDARD";  // as written in the file
    std::filesystem::path path;
};

// The [engine] section.
struct EngineSettings {
    std::filesystem::path private_dir;  // auxiliary tables of the table-utility library
    int create_level = 7;               // table level of new tables: 3, 4, 5 or 7
    int block_size = 4096;              // block size of new tables in bytes
    int keep_backups = 2;               // rebuilds per table whose backup is kept
};

// The engine configuration, an INI file:
//
//   [alias VAQ]
//   type = STANDARD
//   path = /srv/vaq/data
//
//   [engine]
//   private_dir = ~/.local/state/pdx/private
//   create_level = 7
//   block_size = 4096
//   keep_backups = 2
//
// Section and key names ignore letter case; alias names too, and are kept as written.
// A relative path is taken from the folder of the file, a leading "~/" from the home folder.
// Lines starting with ';' or '#' are comments, as is text after " ;".
class Configuration {
  public:
    // No aliases, default settings.
    Configuration();

    // Reads a configuration file. Throws EngineError (DBIERR_CONFIG) naming the file, the
    // line and what is wrong; an unknown section or key is an error, not ignored.
    static Configuration from_file(const std::filesystem::path& file);
    // The same for text; relative paths are taken from baseDir, messages name `origin`.
    static Configuration from_text(std::string_view text, const std::filesystem::path& baseDir,
                                   const std::string& origin);

    // The file the engine reads: $PDX_CONFIG when set, else $XDG_CONFIG_HOME/pdx/engine.ini,
    // else ~/.config/pdx/engine.ini.
    static std::filesystem::path default_file();
    // Reads default_file(). A missing file named by $PDX_CONFIG is an error; a missing file in
    // the usual place gives an empty configuration.
    static Configuration load_default();

    const std::vector<Alias>& aliases() const { return aliases_; }
    // The alias of that name, letter case ignored; null when there is none.
    const Alias* find_alias(std::string_view name) const;
    const EngineSettings& settings() const { return settings_; }
    // The file it was read from; empty when it was not read from a file.
    const std::filesystem::path& source() const { return source_; }

    // This configuration with the STANDARD alias `name` standing for `directory` (made
    // absolute), first and in place of an alias of that name; the rest stays.
    Configuration with_standard_alias(std::string_view name,
                                      const std::filesystem::path& directory) const;

  private:
    std::vector<Alias> aliases_;
    EngineSettings settings_;
    std::filesystem::path source_;
};

// $XDG_STATE_HOME/pdx/private, or ~/.local/state/pdx/private.
std::filesystem::path default_private_dir();

// The private directory of the current configuration, created (for the user only) when it
// is missing. Throws EngineError (DBIERR_OSACCESS) naming the directory and the reason.
std::filesystem::path private_directory();

// The configuration the engine works with, read from Configuration::load_default() on first
// use. Throws EngineError when that fails (and tries again on the next call).
std::shared_ptr<const Configuration> current_configuration();
// Replaces the configuration of the running process (tools and tests).
void use_configuration(Configuration configuration);
// Forgets the configuration, so that the next use reads the file again.
void reload_configuration();

// The alias of that name in the current configuration. Throws EngineError
// (DBIERR_UNKNOWNDB) "Alias not found: NAME".
Alias find_alias(std::string_view name);

// The directory of a STANDARD alias, which must exist. Throws EngineError:
// "Alias not found: NAME", "Alias is not of type STANDARD: NAME",
// "Directory does not exist: /x".
std::filesystem::path alias_directory(std::string_view alias_name);

}  // namespace pdx
