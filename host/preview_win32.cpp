#include "host/preview_win32.h"

#include <algorithm>
#include <cstring>

namespace pendra::host {

namespace {

const char *const kWindowClass = "PendraPreview";

void registerWindowClass(WNDPROC proc) {
    static bool registered = false;
    if (registered)
        return;
    WNDCLASSA wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    RegisterClassA(&wc);
    registered = true;
}

} // namespace

PreviewWindow::PreviewWindow(FilterInstance &instance, const FrameBuffer &picture, int32_t frame)
    : instance_(instance), picture_(picture), frame_(frame) {
    instance_.setFrames(picture.width(), picture.height());
}

PreviewWindow::~PreviewWindow() {
    close();
    endFilter();
}

void VDTHISCALL PreviewWindow::SetButtonCallback(FilterPreviewButtonCallback cb, void *data) {
    buttonCallback_ = cb;
    buttonData_ = data;
}

void VDTHISCALL PreviewWindow::SetSampleCallback(FilterPreviewSampleCallback, void *) {}

bool VDTHISCALL PreviewWindow::isPreviewEnabled() {
    return window_ != nullptr;
}

void VDTHISCALL PreviewWindow::Toggle(VDXHWND hwnd) {
    if (window_)
        close();
    else
        open(static_cast<HWND>(hwnd));
}

void VDTHISCALL PreviewWindow::Display(VDXHWND hwnd, bool fDisplay) {
    if (fDisplay && !window_)
        open(static_cast<HWND>(hwnd));
    else if (!fDisplay && window_)
        close();
}

void VDTHISCALL PreviewWindow::RedoFrame() {
    if (window_)
        render();
}

void VDTHISCALL PreviewWindow::RedoSystem() {
    if (!window_)
        return;
    endFilter();
    startFilter();
    render();
}

void VDTHISCALL PreviewWindow::UndoSystem() {
    endFilter();
}

void VDTHISCALL PreviewWindow::InitButton(VDXHWND hwnd) {
    button_ = static_cast<HWND>(hwnd);
    if (button_)
        EnableWindow(button_, TRUE);
    updateButton();
}

void VDTHISCALL PreviewWindow::Close() {
    close();
}

bool VDTHISCALL PreviewWindow::SampleCurrentFrame() {
    return false;
}

long VDTHISCALL PreviewWindow::SampleFrames() {
    return 0;
}

void PreviewWindow::open(HWND owner) {
    registerWindowClass(&PreviewWindow::windowProc);
    RECT area{0, 0, picture_.width(), picture_.height()};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRect(&area, style, FALSE);
    int left = 0, top = 0;
    if (owner) {
        RECT ownerRect;
        GetWindowRect(owner, &ownerRect);
        left = ownerRect.right + 4; // beside the dialog, not over it
        top = ownerRect.top;
    }
    window_ =
        CreateWindowExA(0, kWindowClass, "Pendra preview", style, left, top, area.right - area.left,
                        area.bottom - area.top, owner, nullptr, GetModuleHandleA(nullptr), this);
    if (!window_)
        return;
    startFilter();
    render();
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    updateButton();
    if (buttonCallback_)
        buttonCallback_(true, buttonData_);
}

void PreviewWindow::close() {
    if (window_) {
        HWND w = window_;
        window_ = nullptr;
        DestroyWindow(w);
    }
    endFilter();
    updateButton();
    if (buttonCallback_)
        buttonCallback_(false, buttonData_);
}

void PreviewWindow::startFilter() {
    if (started_)
        return;
    started_ = true;
    running_ = instance_.start() == 0;
}

void PreviewWindow::endFilter() {
    if (!started_)
        return;
    instance_.end();
    started_ = false;
    running_ = false;
}

void PreviewWindow::render() {
    // The filter may process in place; give it the untouched picture each time.
    FrameBuffer &source = instance_.source();
    for (int r = 0; r < picture_.height(); ++r)
        std::copy_n(picture_.row(r), picture_.width(), source.row(r));
    if (running_)
        instance_.run(frame_);
    else if (!instance_.inPlace())
        for (int r = 0; r < picture_.height(); ++r)
            std::copy_n(picture_.row(r), picture_.width(), instance_.destination().row(r));
    SetWindowTextA(window_,
                   running_ ? "Pendra preview" : "Pendra preview (the filter did not start)");
    InvalidateRect(window_, nullptr, FALSE);
    UpdateWindow(window_);
}

void PreviewWindow::updateButton() {
    if (button_ && IsWindow(button_))
        SetWindowTextA(button_, window_ ? "Hide preview" : "Show preview");
}

void PreviewWindow::paint(HDC dc) {
    FrameBuffer &out = instance_.destination();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(out.pitch() / 4);
    info.bmiHeader.biHeight = out.height(); // bottom-up, as the frames are stored
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(out.width()), static_cast<DWORD>(out.height()),
                      0, 0, 0, static_cast<UINT>(out.height()), out.row(0), &info, DIB_RGB_COLORS);
}

LRESULT CALLBACK PreviewWindow::windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto *create = reinterpret_cast<CREATESTRUCTA *>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto *self = reinterpret_cast<PreviewWindow *>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (self)
            self->paint(dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_CLOSE:
        if (self)
            self->close();
        return 0;
    case WM_NCDESTROY:
        // Destroyed with its owner, the dialog: the filter stops with it.
        if (self && self->window_ == hwnd) {
            self->window_ = nullptr;
            self->endFilter();
            self->updateButton();
        }
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace pendra::host
