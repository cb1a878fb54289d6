#include "serial/qt/QtMainThreadInvoker.h"

#ifndef _WIN32
#include <QSocketNotifier>

#include <cerrno>
#include <cstdint>

#include <sys/eventfd.h>
#include <unistd.h>

namespace orvik {

TQtMainThreadInvoker::TQtMainThreadInvoker()
    : WakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      Notifier(std::make_unique<QSocketNotifier>(WakeFd, QSocketNotifier::Read)) {
    QObject::connect(Notifier.get(), &QSocketNotifier::activated, Notifier.get(), [this] {
        std::uint64_t count = 0;
        [[maybe_unused]] auto n = ::read(WakeFd, &count, sizeof count);
        RunPending();
    });
}

TQtMainThreadInvoker::~TQtMainThreadInvoker() {
    Notifier.reset();
    if (WakeFd >= 0)
        ::close(WakeFd);
}

void TQtMainThreadInvoker::Wake() {
    const std::uint64_t one = 1;
    const int saved = errno;
    [[maybe_unused]] auto n = ::write(WakeFd, &one, sizeof one);
    errno = saved;
}

} // namespace orvik
#endif
