#include "QtMainThreadInvoker.h"

#include <QMetaObject>

namespace orvik {

TQtMainThreadInvoker::TQtMainThreadInvoker() : Context(std::make_unique<QObject>()) {}

TQtMainThreadInvoker::~TQtMainThreadInvoker() = default;

void TQtMainThreadInvoker::Post(std::function<void()> job) {
    QMetaObject::invokeMethod(Context.get(), std::move(job), Qt::QueuedConnection);
}

} // namespace orvik
