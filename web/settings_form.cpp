#include "web/settings_form.h"

#include "logo/browse_rules.h"
#include "module/user_settings.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace pendra::web {

using nlohmann::json;

json formFields() {
    json fields = json::array();
    for (const cli::SettingField &f : cli::settingFields())
        fields.push_back({{"name", f.name},
                          {"kind", f.text   ? "path"
                                   : f.side ? "side"
                                            : "integer"},
                          {"low", f.low},
                          {"high", f.high},
                          {"run", f.run},
                          {"help", f.help}});
    return fields;
}

cli::Options optionsFromJson(const std::string &input, const json &settings) {
    if (!settings.is_object())
        throw cli::CliError("the settings are not an object", 2);
    std::vector<std::string> args{"configure", input};
    const std::vector<cli::SettingField> fields = cli::settingFields();
    for (const auto &[name, value] : settings.items()) {
        bool known = false;
        for (const cli::SettingField &f : fields)
            known = known || f.name == name;
        if (!known)
            throw cli::CliError("\"" + name + "\" is not a setting", 2);
        // A number goes to the command line's parser as the digits it is, so
        // that its range check sees it: 2^63 .. 2^64-1, held as unsigned,
        // would turn negative as a long long. Fractions and numbers beyond
        // 64 bits (held as floating point) are no setting's.
        std::string text;
        if (value.is_number_unsigned())
            text = std::to_string(value.get<uint64_t>());
        else if (value.is_number_integer())
            text = std::to_string(value.get<int64_t>());
        else if (value.is_string())
            text = value.get<std::string>();
        else
            throw cli::CliError(name + " wants a whole number or a text", 2);
        // The system would end a name at a NUL: the file opened would not be
        // the one named (nor one the set's name rule has seen).
        if (text.find('\0') != std::string::npos)
            throw cli::CliError(name + " may not contain a NUL character", 2);
        // An empty path is no path: the field was cleared.
        if (text.empty() && name == "logo")
            continue;
        args.push_back("--" + name);
        args.push_back(text);
    }
    cli::Options o = cli::parseOptions(args);
    o.automaticSettings = false;
    return o;
}

// The page's fields are named as the command's options, from the module's table.
json settingsJson(const cli::ConfigValues &v) {
    json out = {{"logo", v.logo}};
    for (size_t i = 0; i < userSettingCount; ++i)
        if (userSettings[i].use == SETTING_SAVED)
            out[userSettings[i].option] = v.get(userSettings[i]);
    return out;
}

json runSettingsJson(const FilterSettings &record) {
    json out = json::object();
    for (size_t i = 0; i < userSettingCount; ++i)
        if (userSettings[i].use == SETTING_RUN)
            out[userSettings[i].option] = userSettingValue(&record, &userSettings[i]);
    return out;
}

json setReadouts(const FilterSettings &r) {
    KeyReadouts shown;
    keyReadouts(&r, &shown);
    return {{"blackMode", r.blackMode}, {"maskMode", r.maskMode}, {"black", shown.black},
            {"white", shown.white},     {"mask", shown.mask},     {"width", r.logoWidth},
            {"height", r.logoHeight}};
}

} // namespace pendra::web
