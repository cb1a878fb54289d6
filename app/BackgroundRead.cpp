#include "app/BackgroundRead.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {
constexpr int STEPS = 1000;
constexpr int LOOK_MS = 50;        // how often the dialog looks at the reading
constexpr int SHOW_AFTER_MS = 300; // a short read shows no dialog
} // namespace

void ReadInBackground(QWidget* parent, const QString& label, orvik::ScanControl& control,
                      const std::function<void()>& read) {
    std::atomic<bool> done{false};
    QProgressDialog progress(label, "Cancel", 0, STEPS, parent);
    progress.setObjectName("ReadProgress");
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(SHOW_AFTER_MS);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    QObject::connect(&progress, &QProgressDialog::canceled, [&control] { control.cancel = true; });
    QEventLoop loop;
    QTimer look;
    look.setInterval(LOOK_MS);
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (const std::uint64_t size = control.size; size > 0)
            progress.setValue(static_cast<int>(STEPS * control.bytesRead / size));
        if (done)
            loop.quit();
    });
    std::thread reader([&] {
        read();
        done = true;
    });
    look.start();
    loop.exec();
    reader.join();
}
