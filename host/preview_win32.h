// The host's preview for a filter's configuration dialog (Windows only): a
// window that shows one frame as the filter outputs it with the settings of
// the moment. The dialog drives it through IFilterPreview: Toggle shows and
// hides it, RedoFrame processes the frame again, UndoSystem and RedoSystem
// end and start the filter so that its start-time work sees new settings.
#pragma once

#include "host/filter_instance.h"
#include "host/frame_buffer.h"
#include "module/host_interface.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace pendra::host {

class PreviewWindow final : public IFilterPreview {
  public:
    // The instance is driven on frames of the given picture's size; frame is
    // the number the run callback sees.
    PreviewWindow(FilterInstance &instance, const FrameBuffer &picture, int32_t frame = 0);
    // Closes the window and ends the filter if it is running.
    ~PreviewWindow();
    PreviewWindow(const PreviewWindow &) = delete;
    PreviewWindow &operator=(const PreviewWindow &) = delete;

    void VDTHISCALL SetButtonCallback(FilterPreviewButtonCallback cb, void *data) override;
    void VDTHISCALL SetSampleCallback(FilterPreviewSampleCallback cb, void *data) override;
    bool VDTHISCALL isPreviewEnabled() override;
    void VDTHISCALL Toggle(VDXHWND hwnd) override;
    void VDTHISCALL Display(VDXHWND hwnd, bool fDisplay) override;
    void VDTHISCALL RedoFrame() override;
    void VDTHISCALL RedoSystem() override;
    void VDTHISCALL UndoSystem() override;
    void VDTHISCALL InitButton(VDXHWND hwnd) override;
    void VDTHISCALL Close() override;
    bool VDTHISCALL SampleCurrentFrame() override;
    long VDTHISCALL SampleFrames() override;

    // The preview window, or null while hidden.
    HWND window() const { return window_; }
    // Whether the filter's start callback succeeded for the running system.
    bool filterRunning() const { return running_; }

  private:
    void open(HWND owner);
    void close();
    void startFilter();
    void endFilter();
    void render();
    void updateButton();
    void paint(HDC dc);
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    FilterInstance &instance_;
    FrameBuffer picture_;
    int32_t frame_;
    HWND button_ = nullptr;
    HWND window_ = nullptr;
    bool started_ = false; // between a start callback and its end callback
    bool running_ = false; // the start callback returned 0
    FilterPreviewButtonCallback buttonCallback_ = nullptr;
    void *buttonData_ = nullptr;
};

} // namespace pendra::host
