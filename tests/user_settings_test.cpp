// The table of the user's settings against the record itself: Cancel in the
// dialog restores through it, so a setting missing there would silently keep
// the value the user cancelled.
#include "defaults/process_defaults.h"
#include "module/filter_settings.h"
#include "module/user_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// Every integer a user sets, named here independently of the table.
std::vector<int *> userFields(FilterSettings &s) {
    return {&s.debugOutput, &s.x,       &s.y,     &s.alpha,   &s.side,   &s.start,     &s.end,
            &s.fadeIn,      &s.fadeOut, &s.t1,    &s.t2,      &s.t3,     &s.b2,        &s.b3,
            &s.bb,          &s.scene,   &s.white, &s.feather, &s.noiseL, &s.blackMode, &s.maskMode};
}

TEST(UserSettings, CopyingTakesEverySettingAndThePathButNoBuffers) {
    auto from = std::make_unique<FilterSettings>(), to = std::make_unique<FilterSettings>();
    std::memset(from.get(), 0, sizeof *from);
    std::memset(to.get(), 0, sizeof *to);
    std::vector<int *> fields = userFields(*from);
    for (size_t i = 0; i < fields.size(); ++i)
        *fields[i] = 1000 + static_cast<int>(i);
    std::strcpy(from->bitmapPath, "/logos/news0.bmp");
    int32_t buffer[4];
    from->workMap = buffer;
    from->logoWidth = 7;

    copyUserSettings(to.get(), from.get());
    std::vector<int *> copied = userFields(*to);
    for (size_t i = 0; i < copied.size(); ++i)
        EXPECT_EQ(*copied[i], 1000 + static_cast<int>(i)) << "field " << i;
    EXPECT_STREQ(to->bitmapPath, "/logos/news0.bmp");
    EXPECT_EQ(to->workMap, nullptr);
    EXPECT_EQ(to->logoWidth, 0);
}

TEST(UserSettings, NamesAreTheRecordsAndListedOnce) {
    auto s = std::make_unique<FilterSettings>();
    std::set<std::string> names;
    for (size_t i = 0; i < userSettingCount; ++i)
        EXPECT_TRUE(names.insert(userSettings[i].name).second) << userSettings[i].name;
    EXPECT_EQ(names.size(), userFields(*s).size());
}

// The command's options, its help and the page's fields are made from the
// table: each setting a user names needs a unique name, a range and words.
TEST(UserSettings, EverySettingAUserNamesHasItsOptionRangeAndHelp) {
    std::set<std::string> options;
    for (size_t i = 0; i < userSettingCount; ++i) {
        const UserSetting &setting = userSettings[i];
        SCOPED_TRACE(setting.name);
        if (setting.use == SETTING_INTERNAL) {
            EXPECT_EQ(setting.option, nullptr);
            continue;
        }
        ASSERT_NE(setting.option, nullptr);
        EXPECT_TRUE(options.insert(setting.option).second);
        EXPECT_LT(setting.low, setting.high);
        ASSERT_NE(setting.help, nullptr);
        EXPECT_GT(std::strlen(setting.help), 10u);
        // A new instance must start inside the range the user may give.
        EXPECT_NE(setting.defaultKey, NO_DEFAULT_KEY);
        const int start = processDefault(static_cast<DefaultKey>(setting.defaultKey));
        EXPECT_GE(start, setting.low);
        EXPECT_LE(start, setting.high);
    }
    EXPECT_EQ(userSettingNamed("bb")->field, offsetof(FilterSettings, bb));
    EXPECT_EQ(userSettingNamed("nonesuch"), nullptr);
}

} // namespace
