/*
 * The table of the user's settings (user_settings.h).
 */
#include "module/user_settings.h"

#include "defaults/process_defaults.h"

#include <cstring>

#define SETTING(member, key)                                                                       \
    { #member, offsetof(FilterSettings, member), key }

/* The modes are saved with the job, so they count as settings; a new
 * instance has no bitmap set loaded, hence no modes. */
const UserSetting userSettings[] = {
    SETTING(debugOutput, NO_DEFAULT_KEY),
    SETTING(x, DEFAULT_X),
    SETTING(y, DEFAULT_Y),
    SETTING(alpha, DEFAULT_ALPHA),
    SETTING(side, DEFAULT_SIDE),
    SETTING(start, DEFAULT_START),
    SETTING(end, DEFAULT_END),
    SETTING(fadeIn, DEFAULT_FADEIN),
    SETTING(fadeOut, DEFAULT_FADEOUT),
    SETTING(t1, DEFAULT_T1),
    SETTING(t2, DEFAULT_T2),
    SETTING(t3, DEFAULT_T3),
    SETTING(b2, DEFAULT_B2),
    SETTING(b3, DEFAULT_B3),
    SETTING(bb, DEFAULT_BB),
    SETTING(scene, DEFAULT_SCENE),
    SETTING(blackMode, NO_DEFAULT_KEY),
    SETTING(maskMode, NO_DEFAULT_KEY),
    SETTING(white, DEFAULT_WHITE),
    SETTING(feather, DEFAULT_FEATHER),
    SETTING(noiseL, DEFAULT_NOISE_L),
};

const size_t userSettingCount = sizeof userSettings / sizeof userSettings[0];

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
