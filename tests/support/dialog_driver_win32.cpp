#include "tests/support/dialog_driver_win32.h"

#include "tests/support/png_file.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace pendra::test {

namespace {

constexpr int kWaitSteps = 2000; // of 10 ms

} // namespace

HWND waitForWindow(const char *title, const char *windowClass) {
    for (int i = 0; i < kWaitSteps; ++i) {
        HWND w = FindWindowA(windowClass, title);
        if (w && IsWindowVisible(w))
            return w;
        Sleep(10);
    }
    return nullptr;
}

bool waitUntilGone(HWND window) {
    for (int i = 0; i < kWaitSteps; ++i) {
        if (!IsWindow(window))
            return true;
        Sleep(10);
    }
    return false;
}

void DialogDriver::type(int id, const std::string &text) const {
    HWND field = item(id);
    SendMessageA(field, EM_SETSEL, 0, -1);
    if (text.empty())
        SendMessageA(field, WM_CHAR, VK_BACK, 0);
    for (char ch : text)
        SendMessageA(field, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(ch)), 0);
}

void DialogDriver::click(int id) const {
    SendMessageA(item(id), BM_CLICK, 0, 0);
}

void DialogDriver::clickLater(int id) const {
    PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(item(id)));
}

void DialogDriver::key(int id, int virtualKey) const {
    SendMessageA(item(id), WM_KEYDOWN, static_cast<WPARAM>(virtualKey), 0);
    SendMessageA(item(id), WM_KEYUP, static_cast<WPARAM>(virtualKey), 0xC0000001);
}

void DialogDriver::drag(int id, int position, bool vertical) const {
    HWND bar = item(id);
    SendMessageA(bar, TBM_SETPOS, TRUE, position);
    UINT msg = vertical ? WM_VSCROLL : WM_HSCROLL;
    SendMessageA(dialog_, msg, MAKEWPARAM(TB_THUMBTRACK, position), reinterpret_cast<LPARAM>(bar));
    SendMessageA(dialog_, msg, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(bar));
}

std::string DialogDriver::text(int id) const {
    char buffer[1100] = {};
    GetDlgItemTextA(dialog_, id, buffer, sizeof buffer);
    return buffer;
}

bool DialogDriver::checked(int id) const {
    return SendMessageA(item(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int DialogDriver::trackbar(int id) const {
    return static_cast<int>(SendMessageA(item(id), TBM_GETPOS, 0, 0));
}

bool DialogDriver::answerFileDialog(const char *title, const std::string &path) const {
    HWND files = waitForWindow(title);
    if (!files)
        return false;
    if (path.empty()) {
        PostMessageA(files, WM_COMMAND, IDCANCEL, 0);
    } else {
        // The name field: a combo box edit in the Explorer style, an edit in the old one.
        const int nameFields[] = {0x47c, 0x480};
        for (int id : nameFields)
            if (GetDlgItem(files, id))
                SetDlgItemTextA(files, id, path.c_str());
        PostMessageA(files, WM_COMMAND, IDOK, 0);
    }
    return waitUntilGone(files);
}

int driveModalDialog(const char *title, const std::function<int()> &open,
                     const std::function<void(DialogDriver &)> &script) {
    std::thread driver([&] {
        HWND dialog = waitForWindow(title);
        if (!dialog) {
            ADD_FAILURE() << "the dialog \"" << title << "\" did not open";
            return;
        }
        DialogDriver d(dialog);
        d.sync();
        script(d);
        if (IsWindow(dialog))
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    int result = open();
    driver.join();
    return result;
}

bool captureWindow(HWND window, const std::filesystem::path &file) {
    RECT r;
    if (!GetWindowRect(window, &r))
        return false;
    int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    const auto *px = static_cast<const uint8_t *>(bits);
    for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
        rgb[i * 3] = px[i * 4 + 2];
        rgb[i * 3 + 1] = px[i * 4 + 1];
        rgb[i * 3 + 2] = px[i * 4];
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return writePng(file, w, h, rgb);
}

} // namespace pendra::test
