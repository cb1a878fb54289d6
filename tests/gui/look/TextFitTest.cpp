// Every label, edit text, check box, radio button, button and group title of the six windows,
// measured in the window font against the room the layout gives it: no text is cut, no control
// runs into its neighbour or out of its group.
#include "DialogTestSupport.h"
#include "FormFont.h"
#include "MainWindowSupport.h"
#include "StatusTexts.h"
#include "Switch.h"
#include "Unit15.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "ValueTables.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOption>

#include <gtest/gtest.h>

#include <map>

using namespace orvik;
using namespace orvik::test;

namespace {

QStringList Tenths(std::uint32_t last, const char* unit) {
    QStringList out;
    for (std::uint32_t v = 0; v <= last; ++v)
        out << QString::fromStdString(FormatTenths(v) + unit);
    return out;
}

QString Text(const ShortText& t) {
    return QString::fromLatin1(t.View().data(), static_cast<qsizetype>(t.Size()));
}

// The widest of the texts.
QString Widest(const QFontMetrics& m, const QStringList& texts) {
    QString widest;
    int most = -1;
    for (const QString& s : texts) {
        if (const int w = m.horizontalAdvance(s); w > most) {
            most = w;
            widest = s;
        }
    }
    return widest;
}

// Of every text an edit of the program can show, the widest in the window font, by window
// and edit name.
std::map<QString, QString> WidestEditTexts(const QFontMetrics& m) {
    std::map<QString, QStringList> texts;
    ShortText t;
    for (int v = 0; v < 256; ++v) {
        const auto b = static_cast<std::uint8_t>(v);
        texts["Form1.Edit10"] << JoiningOptionText(b);
        PowerOnText(b, t);
        texts["Form1.Edit11"] << Text(t);
        for (std::uint8_t flags : {std::uint8_t{0}, OPT_PROGRAMMABLE}) {
            ProfileText(flags, b, t);
            texts["Form1.Edit12"] << Text(t);
        }
        texts["Form1.Edit13"] << WigwagModeText(b);
        if (FlasherModeText(b))
            texts["Form1.Edit14"] << FlasherModeText(b);
        texts["Form3.Edit1"] << QString::fromStdString("Current interval " + FormatTenths(b));
    }
    texts["Form1.Edit15"] = Tenths(255, " seconds");
    texts["Form1.Edit16"] = QStringList{DualLedText(false), DualLedText(true)};
    QStringList tripCurrents = Tenths(65535, "A"), tripTimes = Tenths(255, " seconds");
    for (const char* item : TripCurrentItems)
        tripCurrents << item;
    for (const char* item : TripTimeItems)
        tripTimes << item;

    std::map<QString, QString> widest;
    for (const auto& [edit, all] : texts)
        widest[edit] = Widest(m, all);
    const QString current = Widest(m, Tenths(65535, "")); // currents and input voltage
    for (int n = 1; n <= 9; ++n)
        widest["Form1.Edit" + QString::number(n)] = current;
    for (int n = 1; n <= 16; ++n)
        widest["Form4.ComboBox" + QString::number(n)] = Widest(m, n % 2 ? tripCurrents : tripTimes);
    return widest;
}

// The room a control's parent gives its children.
QRect Room(QWidget* parent) {
    if (auto* group = qobject_cast<QGroupBox*>(parent)) {
        QStyleOptionGroupBox opt;
        opt.initFrom(group);
        opt.text = group->title();
        opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        opt.lineWidth = 1;
        return group->style()->subControlRect(QStyle::CC_GroupBox, &opt,
                                              QStyle::SC_GroupBoxContents, group);
    }
    return parent->contentsRect();
}

// Controls that lie behind others by design: the raised frame around the node strip and the
// switch array, whose empty lower part the current edits and fault indicators share.
bool IsBackground(QWidget* w) {
    return w->metaObject() == &QFrame::staticMetaObject || qobject_cast<TSwitchArray*>(w);
}

class TextFit {
public:
    explicit TextFit(std::map<QString, QString> texts) : texts_(std::move(texts)) {}

    void Check(QWidget* window) {
        window_ = window->objectName();
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (w->window() != window || qobject_cast<QMenuBar*>(w->parentWidget()) ||
                qobject_cast<QComboBox*>(w->parentWidget()) ||
                qobject_cast<QAbstractSpinBox*>(w->parentWidget()) || qobject_cast<QMenuBar*>(w))
                continue;
            CheckText(w);
            CheckPlace(w);
        }
    }
    const QStringList& Findings() const { return findings_; }

private:
    QString Name(QWidget* w) const {
        return window_ + "." +
               (w->objectName().isEmpty() ? "\"" + Caption(w) + "\"" : w->objectName());
    }
    static QString Caption(QWidget* w) {
        if (auto* l = qobject_cast<QLabel*>(w))
            return l->text();
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            return b->text();
        if (auto* g = qobject_cast<QGroupBox*>(w))
            return g->title();
        return w->metaObject()->className();
    }
    void Cut(QWidget* w, const QString& text, int need, int room, const char* what) {
        findings_ << QString("%1: \"%2\" needs %3 px %4, has %5")
                         .arg(Name(w), text)
                         .arg(need)
                         .arg(what)
                         .arg(room);
    }
    void Fits(QWidget* w, const QString& text, const QRect& room) {
        const QFontMetrics m(w->font());
        if (m.horizontalAdvance(text) > room.width())
            Cut(w, text, m.horizontalAdvance(text), room.width(), "wide");
        if (m.height() > room.height())
            Cut(w, text, m.height(), room.height(), "high");
    }
    QStringList TextsOf(QWidget* w, const QString& shown) const {
        const auto it = texts_.find(window_ + "." + w->objectName());
        return it == texts_.end() ? QStringList{shown} : QStringList{it->second, shown};
    }
    void CheckEdit(QWidget* owner, QLineEdit* edit, const QStringList& texts) {
        QStyleOptionFrame opt;
        opt.initFrom(edit);
        opt.lineWidth =
            edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
        // The edit keeps 2 px beside its text on either side, and 1 above and below.
        QRect room = edit->style()
                         ->subElementRect(QStyle::SE_LineEditContents, &opt, edit)
                         .marginsRemoved(edit->textMargins())
                         .adjusted(2, 1, -2, -1);
        const QString widest = Widest(QFontMetrics(edit->font()), texts);
        if (!widest.isEmpty())
            Fits(owner, widest, room);
    }
    void CheckText(QWidget* w) {
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->wordWrap()) {
                const int need = label->heightForWidth(label->contentsRect().width());
                if (need > label->contentsRect().height())
                    Cut(w, label->text().left(20) + "...", need, label->contentsRect().height(),
                        "high");
            } else {
                Fits(w, label->text(), label->contentsRect());
            }
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            CheckEdit(w, edit, TextsOf(w, edit->text()));
        } else if (auto* box = qobject_cast<QComboBox*>(w)) {
            if (box->lineEdit())
                CheckEdit(w, box->lineEdit(), TextsOf(w, box->currentText()));
        } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
            CheckIndicated(check, QStyle::SE_CheckBoxIndicator, QStyle::SE_CheckBoxContents);
        } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
            CheckIndicated(radio, QStyle::SE_RadioButtonIndicator, QStyle::SE_RadioButtonContents);
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            QStyleOptionButton opt;
            opt.initFrom(button);
            QRect room =
                button->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, button);
            if (!button->icon().isNull())
                room.setLeft(room.left() + button->iconSize().width() + 4);
            Fits(w, QString(button->text()).remove('&'), room);
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            Fits(w, group->title(), group->rect().adjusted(8, 0, -8, 0));
        }
    }
    void CheckIndicated(QAbstractButton* b, QStyle::SubElement indicator,
                        QStyle::SubElement contents) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        const QRect mark = b->style()->subElementRect(indicator, &opt, b);
        if (!b->rect().contains(mark))
            Cut(b, "(indicator)", mark.height(), b->height(), "high");
        Fits(b, b->text(), b->style()->subElementRect(contents, &opt, b) & b->rect());
    }
    void CheckPlace(QWidget* w) {
        QWidget* parent = w->parentWidget();
        const QRect room = Room(parent);
        if (!room.contains(w->geometry()))
            findings_ << QString("%1: (%2) reaches out of %3 (%4)")
                             .arg(Name(w), Rect(w->geometry()), Name(parent), Rect(room));
        if (IsBackground(w))
            return;
        for (QWidget* other : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other == w || other->isWindow() || IsBackground(other) || other < w)
                continue;
            if (w->geometry().intersects(other->geometry()))
                findings_ << QString("%1 (%2) runs into %3 (%4)")
                                 .arg(Name(w), Rect(w->geometry()), Name(other),
                                      Rect(other->geometry()));
        }
        // A control on the node strip's frame stays inside it.
        for (QWidget* frame : parent->findChildren<QFrame*>(Qt::FindDirectChildrenOnly)) {
            if (frame == w || !IsBackground(frame) || qobject_cast<TSwitchArray*>(frame))
                continue;
            const QRect inside = frame->contentsRect().translated(frame->pos());
            if (frame->geometry().intersects(w->geometry()) && !inside.contains(w->geometry()))
                findings_ << QString("%1 (%2) crosses the edge of %3 (%4)")
                                 .arg(Name(w), Rect(w->geometry()), Name(frame), Rect(inside));
        }
    }
    static QString Rect(const QRect& r) {
        return QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    }

    std::map<QString, QString> texts_;
    QString window_;
    QStringList findings_;
};

} // namespace

TEST(TextFit, EveryTextOfTheSixWindowsFitsItsRoomInTheWindowFont) {
    const QFont font = FormFont();
    std::cout << "window font: " << QFontInfo(font).family().toStdString() << " "
              << font.pointSize() << " pt" << std::endl;

    MessageRecorder recorder;
    QTemporaryDir dir;
    const std::string path = dir.filePath("Orvik.INI").toStdString();
    WriteFile(path, "[Ports]\nCOM1=" + dir.filePath("absent").toStdString() + "\n");
    TForm1 form1(path);
    TForm15 form15(form1.Link(), form1.Line());
    TForm2 form2(form1.Link());
    TForm3 form3(form1.Link());
    TForm4 form4(form1.Link());
    TForm5 form5(form1.Link());
    QWidget* windows[] = {&form1, &form15, &form2, &form3, &form4, &form5};

    TextFit fit(WidestEditTexts(QFontMetrics(font)));
    for (QWidget* w : windows) {
        w->show(); // the activation fills the dialogs' texts
        EXPECT_EQ(QFontInfo(w->font()).family(), QFontInfo(font).family())
            << w->objectName().toStdString();
        fit.Check(w);
        SavePicture(w, w->objectName().toLatin1().constData());
        w->hide();
    }
    for (const QString& f : fit.Findings())
        ADD_FAILURE() << f.toStdString();

    // The trip lists drop down whole, without a scroll bar.
    form4.show();
    for (auto* box :
         {form4.findChild<QComboBox*>("ComboBox1"), form4.findChild<QComboBox*>("ComboBox2")}) {
        box->showPopup();
        QAbstractItemView* view = box->view();
        const QRect last = view->visualRect(view->model()->index(box->count() - 1, 0));
        EXPECT_TRUE(view->viewport()->rect().contains(last)) << box->count() << " items";
        box->hidePopup();
    }
}
