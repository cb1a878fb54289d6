// A main window on a temporary settings file, with recorded message boxes and a recording port.
#pragma once

#include "app/Messages.h"
#include "app/Unit1.h"
#include "tests/unit/link/LinkTestSupport.h"

#include <QDialog>
#include <QStringList>
#include <QTemporaryDir>

#include <fstream>
#include <memory>
#include <string>

namespace orvik::test {

// A dialog whose exec() only counts.
struct CountingDialog : QDialog {
    int shown = 0;
    int exec() override {
        ++shown;
        return Accepted;
    }
};

struct MessageRecorder {
    QStringList messages;
    QStringList details;
    QStringList questions;
    bool answer = false;

    MessageRecorder() {
        messages::SetHooks({[this](const QString& t) { messages << t; },
                            [this](const QString& t) {
                                questions << t;
                                return answer;
                            },
                            [this](const QString& t) { details << t; }});
    }
    ~MessageRecorder() { messages::SetHooks({}); }
};

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace orvik::test
