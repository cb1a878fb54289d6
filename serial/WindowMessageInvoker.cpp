#include "serial/WindowMessageInvoker.h"

#include <windows.h>

namespace orvik {

namespace {

constexpr UINT WM_ORVIK_DELIVER = WM_APP + 0x4F;
constexpr const char* WINDOW_CLASS = "OrvikSerialDeliveries";

LRESULT CALLBACK DeliverProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_ORVIK_DELIVER) {
        auto* invoker =
            reinterpret_cast<TWindowMessageInvoker*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (invoker)
            invoker->OnDeliverMessage();
        return 0;
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

} // namespace

TWindowMessageInvoker::TWindowMessageInvoker() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DeliverProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = WINDOW_CLASS;
    RegisterClassA(&wc); // a second invoker finds the class registered already
    HWND hwnd = CreateWindowExA(0, WINDOW_CLASS, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr);
    if (hwnd)
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Window = hwnd;
}

TWindowMessageInvoker::~TWindowMessageInvoker() {
    if (Window)
        DestroyWindow(static_cast<HWND>(Window));
}

void TWindowMessageInvoker::Wake() {
    DWORD error = GetLastError();
    PostMessageA(static_cast<HWND>(Window), WM_ORVIK_DELIVER, 0, 0);
    SetLastError(error);
}

} // namespace orvik
