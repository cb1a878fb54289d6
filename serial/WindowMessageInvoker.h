// Windows: deliveries reach the main thread as a message posted to a hidden window that the
// main thread owns. Any message loop of that thread runs them: a toolkit's loop, a modal
// dialog's, or a plain GetMessage/DispatchMessage loop. Posting allocates nothing.
#pragma once

#include "serial/EventInvoker.h"

namespace orvik {

class TWindowMessageInvoker : public TMainThreadInvoker {
public:
    // Create on the main thread; the window belongs to the creating thread.
    TWindowMessageInvoker();
    ~TWindowMessageInvoker() override;

    // The hidden window's message handler: runs the waiting deliveries.
    void OnDeliverMessage() { RunPending(); }

protected:
    void Wake() override;

private:
    void* Window = nullptr; // HWND
};

} // namespace orvik
