// Drives a modal dialog from a second thread with the window messages that a
// user's typing, clicking and dragging send, and captures windows as PNG.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>

namespace pendra::test {

// A visible top-level window with that title (and class, unless null),
// waited for up to 20 s.
HWND waitForWindow(const char *title, const char *windowClass = nullptr);
// Waits up to 20 s until the window is gone; false if it stays.
bool waitUntilGone(HWND window);

class DialogDriver {
  public:
    explicit DialogDriver(HWND dialog) : dialog_(dialog) {}
    HWND handle() const { return dialog_; }
    HWND item(int id) const { return GetDlgItem(dialog_, id); }

    // Selects the field's text and types text over it, one character at a time.
    void type(int id, const std::string &text) const;
    // Clicks a button; returns once the dialog has handled it.
    void click(int id) const;
    // Clicks a button without waiting (for buttons that open another modal window).
    void clickLater(int id) const;
    // Presses and releases a key on a control.
    void key(int id, int virtualKey) const;
    // Drags a trackbar's thumb to position.
    void drag(int id, int position, bool vertical = false) const;

    std::string text(int id) const;
    bool enabled(int id) const { return IsWindowEnabled(item(id)) != FALSE; }
    bool checked(int id) const;
    int trackbar(int id) const;
    // Returns once the dialog's thread has handled everything sent before.
    void sync() const { SendMessageA(dialog_, WM_NULL, 0, 0); }

    // Answers the file-open dialog that a click opened: picks path, or cancels
    // when path is empty. Returns false if no file dialog showed up.
    bool answerFileDialog(const char *title, const std::string &path) const;

  private:
    HWND dialog_;
};

// Runs open (which shows a modal dialog titled title and returns its result)
// on this thread while script drives the dialog from another. The dialog is
// cancelled if the script leaves it open.
int driveModalDialog(const char *title, const std::function<int()> &open,
                     const std::function<void(DialogDriver &)> &script);

// Saves what the screen shows of the window as a PNG file.
bool captureWindow(HWND window, const std::filesystem::path &file);

} // namespace pendra::test
