#include "web/settings_form.h"

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
        std::string text;
        if (value.is_number_integer())
            text = std::to_string(value.get<long long>());
        else if (value.is_string())
            text = value.get<std::string>();
        else
            throw cli::CliError(name + " wants a number or a text", 2);
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

json settingsJson(const cli::ConfigValues &v) {
    return {{"logo", v.logo},
            {"x", v.x},
            {"y", v.y},
            {"alpha", v.alpha},
            {"start", v.start},
            {"end", v.end},
            {"fade-in", v.fadeIn},
            {"fade-out", v.fadeOut},
            {"threshold1", cli::packedField(v.thresholds, 2)},
            {"threshold2", cli::packedField(v.thresholds, 1)},
            {"threshold3", cli::packedField(v.thresholds, 0)},
            {"blur", cli::packedField(v.blurs, 2)},
            {"blur3", cli::packedField(v.blurs, 1)},
            {"bitmap-blur", cli::packedField(v.blurs, 0)},
            {"white", v.white},
            {"side", v.side},
            {"scene", v.scene}};
}

json runSettingsJson(const FilterSettings &record) {
    return {{"noise", record.noiseL}, {"feather", record.feather}};
}

namespace {

std::string colour(const int key[3]) {
    char text[48];
    std::snprintf(text, sizeof text, "(%d,%d,%d)", key[0], key[1], key[2]);
    return text;
}

} // namespace

json setReadouts(const FilterSettings &r) {
    const char *na = "N/A";
    json black = r.blackMode == BLACK_NONE ? json(na) : json(colour(r.blackKey));
    json white = r.blackMode == BLACK_AND_WHITE ? json(colour(r.whiteKey))
                 : r.blackMode == BLACK_ONLY    ? json("Enter \\/")
                                                : json(na);
    json mask = r.maskMode == MASK_OWN          ? json(colour(r.maskKey))
                : r.maskMode == MASK_FROM_BLACK ? json("<- Using Black")
                                                : json(na);
    return {{"blackMode", r.blackMode}, {"maskMode", r.maskMode}, {"black", black},
            {"white", white},           {"mask", mask},           {"width", r.logoWidth},
            {"height", r.logoHeight}};
}

} // namespace pendra::web
