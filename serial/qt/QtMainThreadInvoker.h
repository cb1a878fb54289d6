// The invoker of the Qt program: deliveries run in the GUI thread's event loop, and in every
// nested loop (modal dialogs, message boxes, the breaker setup wait). On POSIX an eventfd that
// a socket notifier of the GUI thread watches wakes it; on Windows a message to a hidden window
// of the GUI thread, which Qt's loop dispatches. Neither allocates per delivery.
#pragma once

#ifdef _WIN32
#include "serial/WindowMessageInvoker.h"
#else
#include "serial/EventInvoker.h"

#include <memory>

class QSocketNotifier;
#endif

namespace orvik {

#ifdef _WIN32
class TQtMainThreadInvoker final : public TWindowMessageInvoker {};
#else
class TQtMainThreadInvoker final : public TMainThreadInvoker {
public:
    // Create on the GUI thread.
    TQtMainThreadInvoker();
    ~TQtMainThreadInvoker() override;

protected:
    void Wake() override;

private:
    int WakeFd = -1;
    std::unique_ptr<QSocketNotifier> Notifier; // lives in the GUI thread
};
#endif

} // namespace orvik
