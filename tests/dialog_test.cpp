// The configuration dialog, opened through the module's real config callback
// and driven the way a user would: typing into fields, moving trackbars,
// clicking buttons and answering the file-open dialog. Checks the record, the
// read-outs, which fields are greyed and the preview calls each change makes.
#include "dialog/resource.h"
#include "host/filter_instance.h"
#include "host/preview_win32.h"
#include "module/filter_settings.h"
#include "tests/support/bmp_file.h"
#include "tests/support/dialog_driver_win32.h"
#include "tests/support/test_folder.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

using pendra::host::FilterInstance;
using pendra::test::DialogDriver;

namespace {

const char kCaption[] = "filter: Pendra";
const char kFileTitle[] = "Bitmap Filename must end in 0 or 2";
const int kInterpolationFields[] = {IDC_T1, IDC_T2, IDC_T3, IDC_B2, IDC_B3, IDC_SCENE};

// A preview that records the calls the dialog makes. When given the instance
// it also ends and starts the filter on a restart, as the host does.
class RecordingPreview final : public IFilterPreview {
  public:
    explicit RecordingPreview(FilterInstance *restarts = nullptr) : restarts_(restarts) {}

    std::vector<std::string> take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(calls_, {});
    }

    void VDTHISCALL SetButtonCallback(FilterPreviewButtonCallback, void *) override {
        note("SetButtonCallback");
    }
    void VDTHISCALL SetSampleCallback(FilterPreviewSampleCallback, void *) override {
        note("SetSampleCallback");
    }
    bool VDTHISCALL isPreviewEnabled() override { return false; }
    void VDTHISCALL Toggle(VDXHWND) override { note("Toggle"); }
    void VDTHISCALL Display(VDXHWND, bool) override { note("Display"); }
    void VDTHISCALL RedoFrame() override { note("RedoFrame"); }
    void VDTHISCALL RedoSystem() override {
        note("RedoSystem");
        if (restarts_) {
            restarts_->start();
            running_ = true;
        }
    }
    void VDTHISCALL UndoSystem() override {
        note("UndoSystem");
        if (restarts_ && running_) {
            restarts_->end();
            running_ = false;
        }
    }
    void VDTHISCALL InitButton(VDXHWND hwnd) override {
        char text[64] = {};
        GetWindowTextA(static_cast<HWND>(hwnd), text, sizeof text);
        note(std::string("InitButton ") + text);
    }
    void VDTHISCALL Close() override { note("Close"); }
    bool VDTHISCALL SampleCurrentFrame() override { return false; }
    long VDTHISCALL SampleFrames() override { return 0; }

  private:
    void note(std::string call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::move(call));
    }
    std::mutex mutex_;
    std::vector<std::string> calls_;
    FilterInstance *restarts_;
    bool running_ = false;
};

using Calls = std::vector<std::string>;
const Calls kRedraw = {"RedoFrame"};
const Calls kRestart = {"UndoSystem", "RedoSystem"};

// Every setting of a record, named, for whole-record comparisons.
std::vector<std::pair<std::string, int>> settingsOf(const FilterSettings &s) {
    return {{"debugOutput", s.debugOutput},
            {"x", s.x},
            {"y", s.y},
            {"alpha", s.alpha},
            {"side", s.side},
            {"start", s.start},
            {"end", s.end},
            {"fadeIn", s.fadeIn},
            {"fadeOut", s.fadeOut},
            {"t1", s.t1},
            {"t2", s.t2},
            {"t3", s.t3},
            {"b2", s.b2},
            {"b3", s.b3},
            {"bb", s.bb},
            {"scene", s.scene},
            {"white", s.white},
            {"feather", s.feather},
            {"noiseL", s.noiseL},
            {"blackMode", s.blackMode},
            {"maskMode", s.maskMode}};
}

// Logo sets in the test's folder, 8 x 6 pixels, one logo pixel in the middle.
std::filesystem::path logoFolder() {
    auto folder = pendra::host::executableFolder() / "logos";
    std::filesystem::create_directories(folder);
    return folder;
}

// A black bitmap: key (16,16,16), its logo pixel `rise` above the key in red.
std::filesystem::path writeBlack(const std::string &name, int rise) {
    auto file = logoFolder() / name;
    auto image = pendra::test::BmpImage::filled(8, 6, 0x101010);
    image.at(3, 4) = static_cast<uint32_t>((16 + rise) << 16 | 0x1010);
    pendra::test::writeBmp(file, image);
    return file;
}

// A white or interpolate bitmap with the given key and one other pixel.
std::filesystem::path writeKeyed(const std::string &name, uint32_t key) {
    auto file = logoFolder() / name;
    auto image = pendra::test::BmpImage::filled(8, 6, key);
    image.at(3, 4) = 0x808080;
    pendra::test::writeBmp(file, image);
    return file;
}

class ConfigDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        pendra::test::removeDefaultsFile();
        module_ = pendra::test::loadModule();
        newInstance();
    }

    void newInstance() {
        instance_.reset();
        instance_ = std::make_unique<FilterInstance>(pendra::test::pendraFilter(*module_), 0xA5);
        instance_->setFrames(64, 48);
    }

    FilterSettings &record() { return instance_->dataAs<FilterSettings>(); }

    // Opens the dialog with the preview and runs the script on it; the result
    // of the config callback.
    int configure(IFilterPreview *preview, const std::function<void(DialogDriver &)> &script) {
        instance_->activation().ifp = preview;
        return pendra::test::driveModalDialog(
            kCaption,
            [&] {
                return instance_->definition().configProc(&instance_->activation(),
                                                          &instance_->functions(), nullptr);
            },
            script);
    }

    std::unique_ptr<pendra::host::LoadedModule> module_;
    std::unique_ptr<FilterInstance> instance_;
    RecordingPreview preview_;
};

TEST_F(ConfigDialog, OpensWithTheRecordShownAndOnlyHandsThePreviewItsButton) {
    FilterSettings &s = record();
    std::strcpy(s.bitmapPath, "C:\\logos\\news0.bmp");
    s.x = 640;
    s.y = 480;
    s.alpha = 100;
    s.start = -5; // shown as it is; only an edit reads it back as 0
    s.end = 900;
    s.fadeIn = 3;
    s.fadeOut = 4;
    s.side = 3;
    s.debugOutput = 1;
    s.b2 = 6;
    s.white = 210;

    int result = configure(&preview_, [&](DialogDriver &d) {
        EXPECT_EQ(preview_.take(), Calls{"InitButton Show preview"});
        EXPECT_EQ(d.text(IDC_BITMAP_PATH), "C:\\logos\\news0.bmp");
        EXPECT_EQ(d.trackbar(IDC_X), 640);
        EXPECT_EQ(d.text(IDC_X_VALUE), "640");
        EXPECT_EQ(d.trackbar(IDC_Y), 480);
        EXPECT_EQ(d.text(IDC_Y_VALUE), "480");
        EXPECT_EQ(d.trackbar(IDC_ALPHA), 100);
        EXPECT_EQ(d.text(IDC_ALPHA_VALUE), "100");
        EXPECT_EQ(d.text(IDC_START), "-5");
        EXPECT_EQ(d.text(IDC_END), "900");
        EXPECT_EQ(d.text(IDC_B2), "6");
        EXPECT_EQ(d.text(IDC_WHITE_LEVEL), "210");
        EXPECT_TRUE(d.checked(IDC_SIDE_S));
        EXPECT_FALSE(d.checked(IDC_SIDE_NONE));
        EXPECT_TRUE(d.checked(IDC_DEBUG));
        d.click(IDOK);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(s.start, -5); // opening and confirming wrote nothing
    EXPECT_EQ(s.side, 3);
    EXPECT_EQ(preview_.take(), Calls{});
}

TEST_F(ConfigDialog, AlphaAt255GreysTheInterpolationFieldsAndMovingAwayEnablesThem) {
    record().alpha = 255;
    configure(&preview_, [&](DialogDriver &d) {
        preview_.take();
        for (int id : kInterpolationFields)
            EXPECT_FALSE(d.enabled(id)) << id;
        EXPECT_TRUE(d.enabled(IDC_BITMAP_BLUR));
        EXPECT_TRUE(d.enabled(IDC_FEATHER));

        d.key(IDC_ALPHA, VK_LEFT); // one step towards interpolation
        EXPECT_EQ(record().alpha, 254);
        EXPECT_EQ(d.text(IDC_ALPHA_VALUE), "254");
        for (int id : kInterpolationFields)
            EXPECT_TRUE(d.enabled(id)) << id;
        EXPECT_EQ(preview_.take(), kRedraw);

        d.key(IDC_ALPHA, VK_RIGHT);
        EXPECT_EQ(record().alpha, 255);
        for (int id : kInterpolationFields)
            EXPECT_FALSE(d.enabled(id)) << id;
        EXPECT_EQ(preview_.take(), kRedraw);

        d.key(IDC_ALPHA, VK_RIGHT); // already at the end: nothing changes
        EXPECT_EQ(preview_.take(), Calls{});
        d.click(IDOK);
    });
}

TEST_F(ConfigDialog, EveryEditFieldSetsItsSettingAndRedrawsOrRestarts) {
    FilterSettings &s = record();
    struct Field {
        int id;
        int *setting;
        const Calls &calls;
    };
    const Field fields[] = {
        {IDC_START, &s.start, kRedraw},     {IDC_END, &s.end, kRedraw},
        {IDC_FADE_IN, &s.fadeIn, kRedraw},  {IDC_FADE_OUT, &s.fadeOut, kRedraw},
        {IDC_T1, &s.t1, kRedraw},           {IDC_T2, &s.t2, kRedraw},
        {IDC_T3, &s.t3, kRedraw},           {IDC_B2, &s.b2, kRedraw},
        {IDC_B3, &s.b3, kRedraw},           {IDC_SCENE, &s.scene, kRedraw},
        {IDC_NOISE, &s.noiseL, kRedraw},    {IDC_WHITE_LEVEL, &s.white, kRestart},
        {IDC_BITMAP_BLUR, &s.bb, kRestart}, {IDC_FEATHER, &s.feather, kRestart},
    };
    s.blackMode = 1; // White Level is typed into only while it is enabled
    configure(&preview_, [&](DialogDriver &d) {
        for (const Field &f : fields) {
            preview_.take();
            d.type(f.id, "7");
            EXPECT_EQ(*f.setting, 7) << f.id;
            // Every notification of the field redraws (or restarts) once.
            Calls calls = preview_.take();
            ASSERT_FALSE(calls.empty()) << f.id;
            for (size_t i = 0; i < calls.size(); ++i)
                EXPECT_EQ(calls[i], f.calls[i % f.calls.size()]) << f.id;
        }
        d.click(IDOK);
    });
}

TEST_F(ConfigDialog, TextThatIsNotAnUnsignedNumberReadsAsZero) {
    configure(&preview_, [&](DialogDriver &d) {
        const std::pair<const char *, int> typed[] = {
            {"123", 123}, {"abc", 0},        {"-5", 0}, {"12abc", 0}, {"", 0},
            {" 42 ", 42}, {"4294967296", 0}, {"-0", 0}, {"88", 88},   {"4294967295", -1},
        };
        for (const auto &[text, value] : typed) {
            d.type(IDC_START, "999");
            d.type(IDC_START, text);
            EXPECT_EQ(record().start, value) << '"' << text << '"';
        }
        d.type(IDC_SCENE, "-12");
        EXPECT_EQ(record().scene, 0);
        d.click(IDOK);
    });
}

TEST_F(ConfigDialog, PlusAndMinusMoveThePositionWithinItsLimits) {
    FilterSettings &s = record();
    s.x = 0;
    s.y = 600;
    configure(&preview_, [&](DialogDriver &d) {
        preview_.take();
        d.click(IDC_X_MINUS);
        d.click(IDC_Y_PLUS);
        EXPECT_EQ(s.x, 0);
        EXPECT_EQ(s.y, 600);
        EXPECT_EQ(preview_.take(), Calls{});

        d.click(IDC_X_PLUS);
        EXPECT_EQ(s.x, 1);
        EXPECT_EQ(d.text(IDC_X_VALUE), "1");
        EXPECT_EQ(d.trackbar(IDC_X), 1);
        d.click(IDC_Y_MINUS);
        EXPECT_EQ(s.y, 599);
        EXPECT_EQ(d.text(IDC_Y_VALUE), "599");
        EXPECT_EQ(d.trackbar(IDC_Y), 599);
        EXPECT_EQ(preview_.take(), (Calls{"RedoFrame", "RedoFrame"}));

        d.drag(IDC_X, 800);
        EXPECT_EQ(s.x, 800);
        EXPECT_EQ(d.text(IDC_X_VALUE), "800");
        d.click(IDC_X_PLUS);
        EXPECT_EQ(s.x, 800);
        d.drag(IDC_Y, 0, true);
        EXPECT_EQ(s.y, 0);
        d.click(IDC_Y_MINUS);
        EXPECT_EQ(s.y, 0);
        d.drag(IDC_Y, 0, true); // the same position again: no redraw
        EXPECT_EQ(preview_.take(), (Calls{"RedoFrame", "RedoFrame"}));
        d.click(IDOK);
    });
}

TEST_F(ConfigDialog, RadioButtonsAndDebugOutputSetTheirSettings) {
    configure(&preview_, [&](DialogDriver &d) {
        const std::pair<int, int> sides[] = {
            {IDC_SIDE_N, 1}, {IDC_SIDE_E, 2}, {IDC_SIDE_S, 3}, {IDC_SIDE_W, 4}, {IDC_SIDE_NONE, 0}};
        for (const auto &[button, side] : sides) {
            preview_.take();
            d.click(button);
            EXPECT_EQ(record().side, side);
            EXPECT_TRUE(d.checked(button));
            for (const auto &[other, unused] : sides) {
                if (other != button) {
                    EXPECT_FALSE(d.checked(other)) << other;
                }
            }
            EXPECT_EQ(preview_.take(), kRedraw);
        }
        d.click(IDC_DEBUG);
        EXPECT_EQ(record().debugOutput, 1);
        d.click(IDC_DEBUG);
        EXPECT_EQ(record().debugOutput, 0);
        d.click(IDOK);
    });
}

TEST_F(ConfigDialog, ZeroAndDefaultsTouchOnlyTheirOwnSettings) {
    pendra::test::writeDefaultsFile("DEFAULT_T1\t11\nDEFAULT_T2\t12\nDEFAULT_T3\t13\n"
                                    "DEFAULT_B2\t14\nDEFAULT_B3\t15\nDEFAULT_BB\t16\n"
                                    "DEFAULT_FEATHER\t17\nDEFAULT_SCENE\t18\n");
    newInstance();
    FilterSettings &s = record();
    s.t1 = 1, s.t2 = 2, s.t3 = 3, s.feather = 4, s.scene = 5, s.white = 6, s.noiseL = 7;
    s.x = 8, s.y = 9;
    configure(&preview_, [&](DialogDriver &d) {
        preview_.take();
        d.click(IDC_ZERO);
        EXPECT_EQ(std::vector<int>({s.b2, s.b3, s.bb}), std::vector<int>({0, 0, 0}));
        EXPECT_EQ(d.text(IDC_B2) + d.text(IDC_B3) + d.text(IDC_BITMAP_BLUR), "000");
        EXPECT_EQ(std::vector<int>({s.t1, s.t2, s.t3, s.feather}), std::vector<int>({1, 2, 3, 4}));
        EXPECT_EQ(preview_.take(), kRestart);

        d.click(IDC_DEFAULTS);
        EXPECT_EQ(std::vector<int>({s.t1, s.t2, s.t3, s.b2, s.b3, s.bb, s.feather}),
                  std::vector<int>({11, 12, 13, 14, 15, 16, 17}));
        EXPECT_EQ(d.text(IDC_T1), "11");
        EXPECT_EQ(d.text(IDC_FEATHER), "17");
        EXPECT_EQ(std::vector<int>({s.scene, s.white, s.noiseL, s.x, s.y}),
                  std::vector<int>({5, 6, 7, 8, 9}));
        EXPECT_EQ(preview_.take(), kRestart);
        d.click(IDOK);
    });
    pendra::test::removeDefaultsFile();
}

TEST_F(ConfigDialog, BrowseTakesThePositionFromTheNameAndDerivesAlpha) {
    auto black = writeBlack("station_x_600_y_700_0.bmp", 100);
    configure(&preview_, [&](DialogDriver &d) {
        preview_.take();
        d.clickLater(IDC_BROWSE);
        ASSERT_TRUE(d.answerFileDialog(kFileTitle, black.string()));
        d.sync();
        EXPECT_EQ(record().bitmapPath, black.string());
        EXPECT_EQ(d.text(IDC_BITMAP_PATH), black.string());
        EXPECT_EQ(record().x, 600);
        EXPECT_EQ(record().y, 600); // 700 is past the limit
        EXPECT_EQ(d.trackbar(IDC_X), 600);
        EXPECT_EQ(d.trackbar(IDC_Y), 600);
        EXPECT_EQ(d.text(IDC_Y_VALUE), "600");
        // A black bitmap alone: white comes from the White Level field.
        EXPECT_EQ(d.text(IDC_BLACK_KEY), "(16,16,16)");
        EXPECT_EQ(d.text(IDC_WHITE_KEY), "Enter \\/");
        EXPECT_EQ(d.text(IDC_MASK_KEY), "<- Using Black");
        EXPECT_TRUE(d.enabled(IDC_WHITE_LEVEL));
        // 80 + 255 - 100
        EXPECT_EQ(record().alpha, 235);
        EXPECT_EQ(d.trackbar(IDC_ALPHA), 235);
        EXPECT_EQ(d.text(IDC_ALPHA_VALUE), "235");
        EXPECT_TRUE(d.enabled(IDC_T1));
        EXPECT_EQ(preview_.take(), kRestart);
        d.click(IDOK);
    });
}

TEST_F(ConfigDialog, BrowseShowsEachKindOfSet) {
    writeBlack("pair0.bmp", 0);
    writeKeyed("pair1.bmp", 0xF0E0D0);
    writeKeyed("pair2.bmp", 0x010203);
    writeKeyed("only2.bmp", 0x040506);
    writeBlack("bright0.bmp", 230);
    struct Case {
        const char *file;
        const char *black, *white, *mask;
        bool whiteLevel;
        int alpha;
    };
    const Case cases[] = {
        // Black and white: no deviation, so no interpolation at all.
        {"pair0.bmp", "(16,16,16)", "(240,224,208)", "(1,2,3)", false, 255},
        // An interpolate bitmap alone: all interpolation.
        {"only2.bmp", "N/A", "N/A", "(4,5,6)", false, 0},
        // A strong logo: alpha is held at the least automatic value.
        {"bright0.bmp", "(16,16,16)", "Enter \\/", "<- Using Black", true, 150},
        // Not a set name: the failed load leaves no modes.
        {"pair1.bmp", "N/A", "N/A", "N/A", false, 150},
    };
    configure(&preview_, [&](DialogDriver &d) {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.file);
            d.clickLater(IDC_BROWSE);
            ASSERT_TRUE(d.answerFileDialog(kFileTitle, (logoFolder() / c.file).string()));
            d.sync();
            EXPECT_EQ(d.text(IDC_BLACK_KEY), c.black);
            EXPECT_EQ(d.text(IDC_WHITE_KEY), c.white);
            EXPECT_EQ(d.text(IDC_MASK_KEY), c.mask);
            EXPECT_EQ(d.enabled(IDC_WHITE_LEVEL), c.whiteLevel);
            EXPECT_EQ(record().alpha, c.alpha);
            EXPECT_EQ(d.enabled(IDC_T1), c.alpha != 255);
        }
        d.click(IDOK);
    });
}

TEST_F(ConfigDialog, CancelledBrowseKeepsThePathAndEverythingElse) {
    FilterSettings &s = record();
    std::strcpy(s.bitmapPath, "C:\\logos\\kept0.bmp");
    s.x = 12;
    s.alpha = 40;
    configure(&preview_, [&](DialogDriver &d) {
        preview_.take();
        d.clickLater(IDC_BROWSE);
        ASSERT_TRUE(d.answerFileDialog(kFileTitle, ""));
        d.sync();
        EXPECT_STREQ(s.bitmapPath, "C:\\logos\\kept0.bmp");
        EXPECT_EQ(d.text(IDC_BITMAP_PATH), "C:\\logos\\kept0.bmp");
        EXPECT_EQ(s.x, 12);
        EXPECT_EQ(s.alpha, 40);
        EXPECT_EQ(preview_.take(), Calls{});
        d.click(IDOK);
    });
}

// Cancel after edits, Browse loads and preview restarts (which end and start
// the filter, releasing and replacing images and buffers): every setting is
// as before, and the record holds the live images and buffers, never the
// released ones of the copy taken when the dialog opened.
TEST_F(ConfigDialog, CancelRestoresEverySettingAndKeepsTheLiveImages) {
    auto original = writeBlack("first0.bmp", 30);
    auto other = writeBlack("second_x_17_0.bmp", 60);
    writeKeyed("second1.bmp", 0xE0E0E0);
    RecordingPreview host(instance_.get());
    FilterSettings &s = record();
    std::strcpy(s.bitmapPath, original.string().c_str());
    s.alpha = 255;
    s.side = 2;
    s.white = 199;
    ASSERT_EQ(instance_->start(), 0); // images and buffers the dialog's actions will replace
    const auto before = settingsOf(s);
    const std::string pathBefore = s.bitmapPath;

    FilterSettings live{};
    int result = configure(&host, [&](DialogDriver &d) {
        d.type(IDC_START, "10");
        d.type(IDC_END, "20");
        d.type(IDC_FADE_IN, "1");
        d.type(IDC_FADE_OUT, "2");
        d.type(IDC_WHITE_LEVEL, "111");
        d.type(IDC_NOISE, "9");
        d.key(IDC_ALPHA, VK_HOME);
        d.type(IDC_T2, "3");
        d.type(IDC_SCENE, "44");
        d.click(IDC_X_PLUS);
        d.click(IDC_Y_PLUS);
        d.click(IDC_SIDE_N);
        d.click(IDC_DEBUG);
        d.click(IDC_ZERO);
        d.click(IDC_DEFAULTS);
        d.type(IDC_FEATHER, "3");
        d.clickLater(IDC_BROWSE);
        ASSERT_TRUE(d.answerFileDialog(kFileTitle, other.string()));
        d.sync();
        d.type(IDC_BITMAP_BLUR, "5"); // one more restart after the load
        EXPECT_NE(settingsOf(s), before);
        std::memcpy(&live, &s, offsetof(FilterSettings, unblendTable));
        d.click(IDCANCEL);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(settingsOf(s), before);
    EXPECT_EQ(s.bitmapPath, pathBefore);
    EXPECT_EQ(s.blackFile, live.blackFile);
    EXPECT_EQ(s.whiteFile, live.whiteFile);
    EXPECT_EQ(s.maskFile, live.maskFile);
    EXPECT_EQ(s.sideTable, live.sideTable);
    EXPECT_EQ(s.rectPixels, live.rectPixels);
    EXPECT_EQ(s.logoWidth, live.logoWidth);

    // The host ends the run the preview left; a new run starts cleanly.
    EXPECT_EQ(instance_->end(), 0);
    EXPECT_EQ(s.blackFile, nullptr);
    EXPECT_EQ(s.sideTable, nullptr);
    instance_->start();
    EXPECT_EQ(instance_->end(), 0);
    EXPECT_EQ(settingsOf(s), before);
}

// The real preview window, with screenshots of it and of the dialog.
TEST_F(ConfigDialog, ShowPreviewOpensTheHostWindowWithTheFrame) {
    pendra::host::FrameBuffer picture(160, 120);
    for (int r = 0; r < 120; ++r)
        for (int c = 0; c < 160; ++c)
            picture.at(r, c) = static_cast<uint32_t>(c * 255 / 159) << 16 |
                               static_cast<uint32_t>(r * 255 / 119) << 8 | 0x60;
    pendra::host::PreviewWindow preview(*instance_, picture);
    auto folder = pendra::host::executableFolder();
    configure(&preview, [&](DialogDriver &d) {
        EXPECT_EQ(d.text(IDC_PREVIEW), "Show preview");
        d.click(IDC_PREVIEW);
        HWND window = pendra::test::waitForWindow(nullptr, "PendraPreview");
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(d.text(IDC_PREVIEW), "Hide preview");
        d.drag(IDC_X, 20);
        d.sync();
        Sleep(300); // let the X server show what was painted
        EXPECT_TRUE(pendra::test::captureWindow(d.handle(), folder / "dialog.png"));
        EXPECT_TRUE(pendra::test::captureWindow(window, folder / "preview.png"));

        // The frame outside the logo rectangle is shown unchanged.
        RECT client;
        GetClientRect(window, &client);
        POINT corner{0, 0};
        ClientToScreen(window, &corner);
        HDC screen = GetDC(nullptr);
        COLORREF topRight = GetPixel(screen, corner.x + 159, corner.y + 0);
        ReleaseDC(nullptr, screen);
        EXPECT_EQ(client.right, 160);
        EXPECT_EQ(client.bottom, 120);
        EXPECT_EQ(topRight, RGB(255, 255, 0x60));

        d.click(IDC_PREVIEW);
        EXPECT_TRUE(pendra::test::waitUntilGone(window));
        EXPECT_EQ(d.text(IDC_PREVIEW), "Show preview");
        EXPECT_FALSE(preview.filterRunning());
        d.click(IDOK);
    });
    EXPECT_EQ(record().blackFile, nullptr); // the preview ended the filter
    EXPECT_GT(std::filesystem::file_size(folder / "dialog.png"), 1000u);
    EXPECT_GT(std::filesystem::file_size(folder / "preview.png"), 1000u);
}

} // namespace
