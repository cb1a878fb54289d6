// A file read on a thread of its own while the window goes on: the live bus, its plot and its
// events keep running, and a progress dialog offers Cancel.
#pragma once

#include "link/capture/PcapngStream.h"

#include <QString>

#include <functional>

class QWidget;

// Runs `read` on a thread of its own and returns when it is done. The dialog shows how far
// `control` has come, and its Cancel sets control.cancel.
void ReadInBackground(QWidget* parent, const QString& label, orvik::ScanControl& control,
                      const std::function<void()>& read);
