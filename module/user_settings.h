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

/* A setting a new instance takes from no defaults file key: it starts at 0. */
#define NO_DEFAULT_KEY (-1)

/* Where a setting travels. */
enum SettingUse {
    SETTING_INTERNAL, /* the filter's own (the set's modes) or the dialog's alone (debug output) */
    SETTING_SAVED,    /* saved with the job, in the Config call */
    SETTING_RUN       /* not saved: every new instance takes it from the defaults file */
};

/* One integer setting: its name as the record spells it, its place there, the
 * defaults file key a new instance takes it from (a DefaultKey) or
 * NO_DEFAULT_KEY, where it travels (a SettingUse), and for the user: the name
 * the pendra command and its page give it, the values it may take and what it
 * does. The command's options, its help and the page's fields are made from
 * these rows. */
struct UserSetting {
    const char *name;
    size_t field;
    int defaultKey;
    int use;
    const char *option; /* nullptr for an internal setting */
    int low, high;
    const char *help;
};

/* Every user setting, in the record's order. */
extern const UserSetting userSettings[];
extern const size_t userSettingCount;

/* The row of the setting the record calls `name`, or nullptr. */
const UserSetting *userSettingNamed(const char *name);

/* The setting's value in s. */
int *userSettingOf(FilterSettings *s, const UserSetting *setting);
int userSettingValue(const FilterSettings *s, const UserSetting *setting);

/* Gives every user setting its value for a new instance. */
void applyUserDefaults(FilterSettings *s);

/* Copies the path and every user setting of from into to; images, buffers
 * and what describes them stay as they are in to. */
void copyUserSettings(FilterSettings *to, const FilterSettings *from);

#endif
