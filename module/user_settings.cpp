/*
 * The table of the user's settings (user_settings.h).
 */
#include "module/user_settings.h"

#include <cstring>

#define SETTING(member)                                                                            \
    { #member, offsetof(FilterSettings, member) }

/* The modes are saved with the job, so they count as settings. */
const UserSetting userSettings[] = {
    SETTING(debugOutput), SETTING(x),         SETTING(y),        SETTING(alpha),   SETTING(side),
    SETTING(start),       SETTING(end),       SETTING(fadeIn),   SETTING(fadeOut), SETTING(t1),
    SETTING(t2),          SETTING(t3),        SETTING(b2),       SETTING(b3),      SETTING(bb),
    SETTING(scene),       SETTING(blackMode), SETTING(maskMode), SETTING(white),   SETTING(feather),
    SETTING(noiseL),
};

const size_t userSettingCount = sizeof userSettings / sizeof userSettings[0];

int *userSettingOf(FilterSettings *s, const UserSetting *setting) {
    return reinterpret_cast<int *>(reinterpret_cast<char *>(s) + setting->field);
}

int userSettingValue(const FilterSettings *s, const UserSetting *setting) {
    return *reinterpret_cast<const int *>(reinterpret_cast<const char *>(s) + setting->field);
}

void copyUserSettings(FilterSettings *to, const FilterSettings *from) {
    std::memcpy(to->bitmapPath, from->bitmapPath, sizeof to->bitmapPath);
    for (size_t i = 0; i < userSettingCount; ++i)
        *userSettingOf(to, &userSettings[i]) = userSettingValue(from, &userSettings[i]);
}
