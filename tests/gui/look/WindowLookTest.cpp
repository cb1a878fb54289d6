// Every label, edit text, check box and radio button of the six windows measured in the window
// font against the room the layout gives it: no text cut, no control running into its
// neighbour or out of its frame; the trip lists drop down whole.
#include "app/EditPanelStyle.h"
#include "dialogs/RadioGroupLayout.h"
#include "dialogs/Unit15.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit4.h"
#include "dialogs/Unit5.h"
#include "link/protocol/StatusTexts.h"
#include "tests/gui/dialogs/DialogTestSupport.h"
#include "tests/gui/main/MainWindowSupport.h"
#include "widgets/FormFont.h"
#include "widgets/Switch.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPixmapCache>
#include <QRadioButton>
#include <QStyleOption>

using namespace orvik;
using namespace orvik::test;

namespace {

// The texts each edit shows, by window and edit name: every text of the few-valued fields, and
// the longest numbers (digits are all of a width in the window fonts).
std::map<QString, QStringList> EditTexts() {
    std::map<QString, QStringList> texts;
    ShortText t;
    auto text = [&] { return QString::fromLatin1(t.View().data(), t.Size()); };
    auto tenths = [](std::uint32_t v) { return QString::fromStdString(FormatTenths(v)); };
    for (std::uint8_t v = 0; v < 6; ++v) {
        texts["Form1.Edit10"] << JoiningOptionText(v);
        texts["Form1.Edit13"] << WigwagModeText(v);
        texts["Form1.Edit14"] << (FlasherModeText(v) ? FlasherModeText(v) : "");
        texts["Form1.Edit16"] << DualLedText(v & 1);
        ProfileText(v % 2 ? OPT_PROGRAMMABLE : 0, 255, t);
        texts["Form1.Edit12"] << text();
    }
    PowerOnText(0, t); // all "Off "
    texts["Form1.Edit11"] << text();
    texts["Form1.Edit15"] << tenths(255) + " seconds";
    texts["Form3.Edit1"] << "Current interval " + tenths(255);
    for (int n = 1; n <= 16; ++n) {
        if (n <= 9) // currents and input voltage
            texts["Form1.Edit" + QString::number(n)] << tenths(65535);
        // Longer than any list item.
        texts["Form4.ComboBox" + QString::number(n)]
            << (n % 2 ? tenths(65535) + "A" : tenths(255) + " seconds");
    }
    return texts;
}

struct TextFit {
    std::map<QString, QStringList> editTexts;
    QStringList findings;

    static QString Name(const QWidget* w) {
        const auto* label = qobject_cast<const QLabel*>(w);
        const auto* button = qobject_cast<const QAbstractButton*>(w);
        return w->window()->objectName() + "." +
               (label    ? label->text()
                : button ? button->text()
                         : w->objectName());
    }
    void Fits(const QWidget* w, const QString& text, const QRect& room) {
        const QSize need = QFontMetrics(w->font()).size(0, text);
        if (need.width() > room.width() || need.height() > room.height())
            findings << QString("%1: \"%2\" needs %3 x %4 px, has %5 x %6")
                            .arg(Name(w), text)
                            .arg(need.width())
                            .arg(need.height())
                            .arg(room.width())
                            .arg(room.height());
    }
    void Check(QWidget* w) {
        auto* label = qobject_cast<QLabel*>(w);
        auto* button = qobject_cast<QAbstractButton*>(w);
        auto* box = qobject_cast<QComboBox*>(w);
        const bool radio = qobject_cast<QRadioButton*>(w);
        if (label && label->wordWrap() && label->heightForWidth(label->width()) > label->height())
            findings << Name(w) + ": the wrapped text is too high";
        else if (label && !label->wordWrap())
            Fits(w, label->text(), label->contentsRect());
        if (auto* edit = box ? box->lineEdit() : qobject_cast<QLineEdit*>(w)) {
            QStyleOptionFrame opt;
            opt.initFrom(edit);
            opt.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
            // The edit keeps 2 px beside its text on either side, and 1 above and below.
            const QRect room = edit->style()
                                   ->subElementRect(QStyle::SE_LineEditContents, &opt, edit)
                                   .marginsRemoved(edit->textMargins())
                                   .adjusted(2, 1, -2, -1);
            for (const QString& text : editTexts[Name(w)] << edit->text())
                Fits(w, text, room);
        }
        if (button && (radio || qobject_cast<QCheckBox*>(w))) {
            QStyleOptionButton opt;
            opt.initFrom(button);
            opt.text = button->text();
            using S = QStyle;
            const QRect mark = w->style()->subElementRect(
                radio ? S::SE_RadioButtonIndicator : S::SE_CheckBoxIndicator, &opt, w);
            const QRect text = w->style()->subElementRect(
                radio ? S::SE_RadioButtonContents : S::SE_CheckBoxContents, &opt, w);
            if (!w->rect().contains(mark))
                findings << Name(w) + ": its indicator is cut";
            if (auto* group = qobject_cast<QGroupBox*>(w->parentWidget());
                group &&
                !GroupContentsRect(group).adjusted(0, 1, 0, -1).contains(mark.translated(w->pos())))
                findings << Name(w) + ": its indicator touches the frame of " + Name(group);
            Fits(w, button->text(), text & w->rect());
        }
        QWidget* parent = w->parentWidget();
        auto* group = qobject_cast<QGroupBox*>(parent);
        if (!(group ? GroupContentsRect(group) : parent->contentsRect()).contains(w->geometry()))
            findings << Name(w) + " reaches out of " + Name(parent);
        // Behind others by design: the node strip's raised frame (the controls on it stay
        // inside it) and the switch array, whose empty lower part the current edits and fault
        // indicators share.
        auto background = [](const QWidget* c) {
            return c->metaObject() == &QFrame::staticMetaObject ||
                   qobject_cast<const TSwitchArray*>(c);
        };
        for (QWidget* other : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other == w || other->isWindow() || other->isHidden() || background(w) ||
                !w->geometry().intersects(other->geometry()))
                continue;
            if (!background(other) && std::less<QWidget*>()(w, other)) // each pair once
                findings << Name(w) + " runs into " + Name(other);
            else if (!qobject_cast<TSwitchArray*>(other) && background(other) &&
                     !other->contentsRect().translated(other->pos()).contains(w->geometry()))
                findings << Name(w) + " crosses the edge of " + Name(other);
        }
    }
};

} // namespace

TEST(WindowLook, EveryTextFitsItsRoomInTheWindowFont) {
    const QFont font = FormFont();
    std::cout << "window font: " << QFontInfo(font).family().toStdString() << ", scale "
              << qApp->devicePixelRatio() << std::endl;
    QTemporaryDir dir;
    const std::string path = dir.filePath("Orvik.INI").toStdString();
    WriteFile(path, "[Ports]\nCOM1=" + dir.filePath("absent").toStdString() + "\n");
    MessageRecorder recorder;
    auto form1 = std::make_unique<TForm1>(path);
    TForm15 form15(form1->Link(), form1->Line());
    TForm2 form2(form1->Link());
    TForm3 form3(form1->Link());
    TForm4 form4(form1->Link());
    TForm5 form5(form1->Link());
    // Every node on the bus with a fault: the red marks beside the node strip show too.
    StatusRecord faults;
    faults.SetNodePresent(0xFF);
    for (std::size_t n = 0; n < NODE_COUNT; ++n)
        faults.SetBreakerFault(n, 0x10);
    const Bytes frame = StatusFrame(faults);
    form1->Link().FeedBytes(frame.data(), frame.size());

    TextFit fit{EditTexts(), {}};
    for (QWidget* w : {(QWidget*)form1.get(), (QWidget*)&form15, (QWidget*)&form2, (QWidget*)&form3,
                       (QWidget*)&form4, (QWidget*)&form5}) {
        w->show(); // the dialogs fill their texts
        EXPECT_EQ(QFontInfo(w->font()).family(), QFontInfo(font).family());
        for (QWidget* c : w->findChildren<QWidget*>()) {
            const QWidget* p = c->parentWidget();
            if (c->window() == w && c->isVisibleTo(w) && !qobject_cast<const QComboBox*>(p) &&
                !qobject_cast<const QAbstractSpinBox*>(p) && !qobject_cast<const QMenuBar*>(c))
                fit.Check(c);
        }
        SavePicture(w, (w->objectName() + QString("-%1").arg(qApp->devicePixelRatio() * 100))
                           .toLatin1()
                           .constData());
    }
    for (const QString& f : fit.findings)
        ADD_FAILURE() << f.toStdString();

    for (const char* name : {"ComboBox1", "ComboBox2"}) { // the trip lists drop down whole
        auto* box = form4.findChild<QComboBox*>(name);
        box->showPopup();
        const QRect last = box->view()->visualRect(box->model()->index(box->count() - 1, 0));
        EXPECT_TRUE(box->view()->viewport()->rect().contains(last)) << name;
        box->hidePopup();
    }
}

// The display edits' panels are drawn once per look and copied: the copy must be the drawing,
// focused or not, at each scale of the surface.
TEST(WindowLook, ACopiedEditPanelIsThePanelDrawn) {
    EditPanelStyle copying;
    QWidget window;
    auto* edit = new QLineEdit("12.5", &window);
    edit->setReadOnly(true);
    edit->setGeometry(13, 17, 121, 21);
    for (const qreal dpr : {1.0, 2.0, 1.5}) {
        for (const bool focused : {false, true}) {
            QStyleOptionFrame panel;
            panel.initFrom(edit);
            panel.rect = edit->geometry();
            panel.lineWidth = 1;
            if (focused)
                panel.state |= QStyle::State_HasFocus;
            auto draw = [&](QStyle* style) {
                QImage image(QSize(200, 60) * dpr, QImage::Format_ARGB32_Premultiplied);
                image.setDevicePixelRatio(dpr);
                image.fill(window.palette().color(QPalette::Window));
                QPainter p(&image);
                style->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &p, edit);
                return image;
            };
            const QImage drawn = draw(QApplication::style());
            EXPECT_EQ(draw(&copying), drawn) << "scale " << dpr << ", focused " << focused;
            EXPECT_EQ(draw(&copying), drawn) << "again, scale " << dpr << ", focused " << focused;
        }
    }
}

// Qt's cache may drop a kept panel, and the style forgets its looks once it holds many: either
// way the next copy is drawn again, never left empty.
TEST(WindowLook, ACopiedEditPanelOutlivesItsCache) {
    EditPanelStyle copying;
    QWidget window;
    auto* edit = new QLineEdit("12.5", &window);
    edit->setReadOnly(true);
    auto draw = [&](QStyle* style, int width) {
        QStyleOptionFrame panel;
        panel.initFrom(edit);
        panel.rect = QRect(3, 4, width, 21);
        panel.lineWidth = 1;
        QImage image(QSize(200, 30), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter p(&image);
        style->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &p, edit);
        return image;
    };
    const QImage drawn = draw(QApplication::style(), 121);
    EXPECT_EQ(draw(&copying, 121), drawn);
    QPixmapCache::clear();
    EXPECT_EQ(draw(&copying, 121), drawn) << "after Qt's cache dropped it";
    for (int width = 20; width < 120; ++width)
        draw(&copying, width);
    EXPECT_EQ(draw(&copying, 121), drawn) << "after a hundred other looks";
}
