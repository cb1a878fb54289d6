// The invoker of the Qt program: each delivery is queued to the GUI thread's event loop.
// The monitor thread blocks in the component until the delivery ran, so together this is
// a blocking queued call, but one that Close can serve while it waits for the thread.
#pragma once

#include "EventInvoker.h"

#include <QObject>

#include <memory>

namespace orvik {

class TQtMainThreadInvoker final : public TMainThreadInvoker {
public:
    // Create on the GUI thread.
    TQtMainThreadInvoker();
    ~TQtMainThreadInvoker() override;

    void Post(std::function<void()> job) override;

private:
    std::unique_ptr<QObject> Context; // lives in the GUI thread; queued jobs die with it
};

} // namespace orvik
