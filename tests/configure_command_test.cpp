// `pendra-host configure JOB FRAME.bmp`, run as its own process and answered
// the way a user would: OK saves the job with the edits, Cancel leaves it alone.
#include "dialog/resource.h"
#include "host/module_library.h"
#include "tests/support/bmp_file.h"
#include "tests/support/dialog_driver_win32.h"

#include <gtest/gtest.h>

#include "pendra_version.h"
#include <fstream>
#include <sstream>

namespace {

std::string readText(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the host's configure command while script answers its dialog; the exit code.
DWORD configureInHost(const std::filesystem::path &job, const std::filesystem::path &frame,
                      const std::function<void(pendra::test::DialogDriver &)> &script) {
    auto host = pendra::host::executableFolder() / ".." / ".." / "bin" / "pendra-host.exe";
    std::string command =
        "\"" + host.string() + "\" configure \"" + job.string() + "\" \"" + frame.string() + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        ADD_FAILURE() << "cannot run " << command;
        return 99;
    }
    HWND dialog = pendra::test::waitForWindow("filter: Pendra");
    if (dialog) {
        pendra::test::DialogDriver d(dialog);
        d.sync();
        script(d);
    } else {
        ADD_FAILURE() << "the host showed no dialog";
    }
    DWORD code = 99;
    if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 98);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

} // namespace

TEST(ConfigureCommand, OkSavesTheJobAndCancelLeavesIt) {
    auto folder = pendra::host::executableFolder();
    auto job = folder / "configured.job";
    auto frame = folder / "frame.bmp";
    std::filesystem::remove(job);
    pendra::test::writeBmp(frame, pendra::test::BmpImage::filled(64, 48, 0x336699));

    DWORD saved = configureInHost(job, frame, [](pendra::test::DialogDriver &d) {
        EXPECT_EQ(d.text(IDC_PREVIEW), "Show preview"); // the host's preview took the button
        d.type(IDC_END, "777");
        d.click(IDOK);
    });
    EXPECT_EQ(saved, 0u);
    std::string text = readText(job);
    EXPECT_NE(text.find(PENDRA_FILTER_NAME), std::string::npos) << text;
    EXPECT_NE(text.find(", 0, 777, "), std::string::npos) << text; // start 0, end 777

    DWORD cancelled = configureInHost(job, frame, [](pendra::test::DialogDriver &d) {
        EXPECT_EQ(d.text(IDC_END), "777"); // the saved job was replayed
        d.type(IDC_END, "5");
        d.click(IDCANCEL);
    });
    EXPECT_EQ(cancelled, 1u);
    EXPECT_EQ(readText(job), text);
}
