/*
 * The user's settings in the instance record, as one table: the integers a
 * user sets (through the dialog, a job's Config call or the defaults file)
 * besides the bitmap path. Code that treats them all alike, such as the
 * dialog's undo on Cancel, walks this table, so a new setting is listed here
 * once rather than in each such place.
 */
#ifndef PENDRA_MODULE_USER_SETTINGS_H
#define PENDRA_MODULE_USER_SETTINGS_H

#include "module/filter_settings.h"

#include <cstddef>

/* One integer setting: its name as the record spells it, and its place there. */
struct UserSetting {
    const char *name;
    size_t field;
};

/* Every user setting, in the record's order. */
extern const UserSetting userSettings[];
extern const size_t userSettingCount;

/* The setting's value in s. */
int *userSettingOf(FilterSettings *s, const UserSetting *setting);
int userSettingValue(const FilterSettings *s, const UserSetting *setting);

/* Copies the path and every user setting of from into to; images, buffers
 * and what describes them stay as they are in to. */
void copyUserSettings(FilterSettings *to, const FilterSettings *from);

#endif
