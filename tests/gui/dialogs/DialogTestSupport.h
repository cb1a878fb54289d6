// Helpers of the dialog tests: the user's gestures and a way to keep pictures of the dialogs.
#pragma once

#include "tests/unit/link/LinkTestSupport.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace orvik::test {

// Opens the box's list and clicks item `index`, as the user does.
inline void ChooseItem(QComboBox* box, int index) {
    box->showPopup();
    QAbstractItemView* view = box->view();
    const QModelIndex item = view->model()->index(index, 0);
    view->scrollTo(item);
    const QPoint at = view->visualRect(item).center();
    QTest::mouseMove(view->viewport(), at);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
}

// Shows the dialog and waits (bounded) until it is the active window.
inline bool ShowActive(QWidget* w) {
    w->show();
    w->activateWindow();
    return QTest::qWaitForWindowActive(w, 2000);
}

// With ORVIK_DIALOG_PICTURES set to a directory, saves a picture of the dialog there.
inline void SavePicture(QWidget* w, const char* name) {
    const QByteArray dir = qgetenv("ORVIK_DIALOG_PICTURES");
    if (!dir.isEmpty())
        w->grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
}

// Command code, node byte and payload of a written frame.
struct Sent {
    std::uint8_t command;
    std::uint8_t node;
    Bytes payload;
};
inline Sent Decode(const Bytes& frame) {
    EXPECT_GE(frame.size(), 7u);
    if (frame.size() < 7)
        return {};
    return {frame[2], frame[4], Bytes(frame.begin() + 5, frame.end() - 2)};
}

} // namespace orvik::test

QT_BEGIN_NAMESPACE
// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE
