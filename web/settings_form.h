// The page's settings as JSON, named after the command's options (x, alpha,
// fade-in, ...): the form's fields come from the option table, the page's
// values go back through the command line's own parser and range checks, and
// a filter's saved call comes out under the same names.
#pragma once

#include "cli/config_line.h"
#include "cli/options.h"
#include "module/filter_settings.h"

#include <nlohmann/json.hpp>

#include <string>

namespace pendra::web {

// Every field: name, kind ("integer", "side" or "path"), low, high, help, and
// whether it is a setting of the run alone (not saved in job files).
nlohmann::json formFields();

// Options for `input` with the settings of `settings`, an object of field
// names and values; throws cli::CliError naming a field the page may not set
// or a value out of its range.
cli::Options optionsFromJson(const std::string &input, const nlohmann::json &settings);

// A filter's saved call under the fields' names (the settings saved in jobs).
nlohmann::json settingsJson(const cli::ConfigValues &values);

// The run's own settings as a new instance has them (noise, feather).
nlohmann::json runSettingsJson(const FilterSettings &record);

// What the set the record has loaded shows in the dialog's read-outs: the key
// colours or what stands in for them, and its modes and size.
nlohmann::json setReadouts(const FilterSettings &record);

} // namespace pendra::web
