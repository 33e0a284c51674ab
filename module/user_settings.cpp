/*
 * The table of the user's settings (user_settings.h).
 */
#include "module/user_settings.h"

#include "defaults/process_defaults.h"
#include "process/stages.h"

#include <climits>
#include <cstring>

#define SETTING(member, key, use, option, low, high, help)                                         \
    { #member, offsetof(FilterSettings, member), key, use, option, low, high, help }
#define INTERNAL(member) SETTING(member, NO_DEFAULT_KEY, SETTING_INTERNAL, nullptr, 0, 0, nullptr)

/* The modes are saved with the job, so they count as settings; a new
 * instance has no bitmap set loaded, hence no modes. Thresholds and blurs
 * travel packed eight bits each in the saved call, so they are held to
 * 0..255 rather than mangled there; the noise level is held where the noise
 * stage holds it; the scene threshold is a percentage. */
const UserSetting userSettings[] = {
    INTERNAL(debugOutput),
    SETTING(x, DEFAULT_X, SETTING_SAVED, "x", 0, INT_MAX,
            "the rectangle's left edge, in pixels from the picture's left edge"),
    SETTING(y, DEFAULT_Y, SETTING_SAVED, "y", 0, INT_MAX,
            "the rectangle's top line, in lines from the picture's top"),
    SETTING(alpha, DEFAULT_ALPHA, SETTING_SAVED, "alpha", 0, 255,
            "0 = all interpolation .. 255 = no interpolation (pure un-blending of the logo)"),
    SETTING(side, DEFAULT_SIDE, SETTING_SAVED, "side", 0, 4,
            "none, north, east, south or west: border line rebuilt as a gradient"),
    SETTING(start, DEFAULT_START, SETTING_SAVED, "start", 0, INT_MAX,
            "first frame to work on (frames count from 0)"),
    SETTING(end, DEFAULT_END, SETTING_SAVED, "end", 0, INT_MAX,
            "last frame to work on (0 = to the last frame)"),
    SETTING(fadeIn, DEFAULT_FADEIN, SETTING_SAVED, "fade-in", 0, INT_MAX,
            "the N+1 frames from --start are fully interpolated"),
    SETTING(fadeOut, DEFAULT_FADEOUT, SETTING_SAVED, "fade-out", 0, INT_MAX,
            "so are the N+1 frames up to --end (none when --end is 0)"),
    SETTING(t1, DEFAULT_T1, SETTING_SAVED, "threshold1", 0, 255,
            "colour threshold of the first repair pass"),
    SETTING(t2, DEFAULT_T2, SETTING_SAVED, "threshold2", 0, 255,
            "colour threshold of the second repair pass"),
    SETTING(t3, DEFAULT_T3, SETTING_SAVED, "threshold3", 0, 255,
            "colour threshold of the closing repair pass"),
    SETTING(b2, DEFAULT_B2, SETTING_SAVED, "blur", 0, 255,
            "smoothing of pixels repaired by passes 1 and 2"),
    SETTING(b3, DEFAULT_B3, SETTING_SAVED, "blur3", 0, 255, "smoothing of the other logo pixels"),
    SETTING(bb, DEFAULT_BB, SETTING_SAVED, "bitmap-blur", 0, 255,
            "blur passes over the whole rectangle (0 = none)"),
    SETTING(scene, DEFAULT_SCENE, SETTING_SAVED, "scene", 0, 100,
            "scene-change threshold: percent of the logo's outline that must change"),
    INTERNAL(blackMode),
    INTERNAL(maskMode),
    SETTING(white, DEFAULT_WHITE, SETTING_SAVED, "white", 0, 255,
            "white level assumed when there is no logo1.bmp"),
    SETTING(feather, DEFAULT_FEATHER, SETTING_RUN, "feather", 0, 255,
            "width of the bitmap blur's feathered border"),
    SETTING(noiseL, DEFAULT_NOISE_L, SETTING_RUN, "noise", 0, NOISE_LEVEL_MAX,
            "noise level added to the rectangle (0 = none)"),
};

const size_t userSettingCount = sizeof userSettings / sizeof userSettings[0];

const UserSetting *userSettingNamed(const char *name) {
    for (size_t i = 0; i < userSettingCount; ++i)
        if (std::strcmp(userSettings[i].name, name) == 0)
            return &userSettings[i];
    return nullptr;
}

int *userSettingOf(FilterSettings *s, const UserSetting *setting) {
    return reinterpret_cast<int *>(reinterpret_cast<char *>(s) + setting->field);
}

int userSettingValue(const FilterSettings *s, const UserSetting *setting) {
    return *reinterpret_cast<const int *>(reinterpret_cast<const char *>(s) + setting->field);
}

void applyUserDefaults(FilterSettings *s) {
    for (size_t i = 0; i < userSettingCount; ++i) {
        const UserSetting *setting = &userSettings[i];
        *userSettingOf(s, setting) =
            setting->defaultKey == NO_DEFAULT_KEY
                ? 0
                : processDefault(static_cast<DefaultKey>(setting->defaultKey));
    }
}

void copyUserSettings(FilterSettings *to, const FilterSettings *from) {
    std::memcpy(to->bitmapPath, from->bitmapPath, sizeof to->bitmapPath);
    for (size_t i = 0; i < userSettingCount; ++i)
        *userSettingOf(to, &userSettings[i]) = userSettingValue(from, &userSettings[i]);
}
