#include "widgets/SwitchAccessible.h"

#include "switchmodel/SwitchParse.h"
#include "widgets/SwitchAccess.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QWidget>

#include <vector>

using namespace orvik;

namespace {

// The array as a grouping of its switches.
class SwitchArrayAccessible : public QAccessibleWidget {
public:
    SwitchArrayAccessible(QWidget* widget, SwitchAccess* access);
    ~SwitchArrayAccessible() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

private:
    // Null once the widget is gone.
    SwitchAccess* Array() const { return widget() ? access_ : nullptr; }
    // One child per switch, made when first asked for and again after the list changed.
    void Sync() const;
    void Release() const;

    SwitchAccess* access_;
    mutable std::vector<QAccessible::Id> children_;
};

// One switch as a check box.
class SwitchAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    SwitchAccessible(QWidget* widget, SwitchAccess* access, int index)
        : widget_(widget), access_(access), index_(index) {}

    bool isValid() const override { return widget_ && index_ < access_->SwitchCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        return widget_ ? widget_->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(widget_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QString text(QAccessible::Text t) const override {
        if (!isValid())
            return {};
        if (t == QAccessible::Name)
            return access_->SwitchName(index_);
        if (t == QAccessible::Description && !access_->ShowsData())
            return "no data";
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect cell = access_->SwitchCell(index_);
        return QRect(widget_->mapToGlobal(cell.topLeft()), cell.size());
    }
    QAccessible::Role role() const override { return QAccessible::CheckBox; }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const quint8 state = access_->SwitchState(index_);
        s.checkable = true;
        s.checked = access_->ShowsData() && state == STATE_ON;
        s.checkStateMixed = !access_->ShowsData() || state == STATE_UNDEFINED;
        s.focusable = true;
        s.focused = widget_->hasFocus() && access_->KeyboardSwitch() == index_;
        s.invisible = !widget_->isVisible();
        s.disabled = !widget_->isEnabled();
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                 : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && isValid() && widget_->isEnabled())
            access_->PressFor(index_);
    }
    QStringList keyBindingsForAction(const QString& name) const override {
        return name == pressAction() ? QStringList{"Space"} : QStringList{};
    }

private:
    QPointer<QWidget> widget_;
    SwitchAccess* access_;
    int index_;
};

QAccessibleInterface* Factory(const QString&, QObject* object) {
    if (auto* widget = qobject_cast<QWidget*>(object))
        if (auto* access = dynamic_cast<SwitchAccess*>(object))
            return new SwitchArrayAccessible(widget, access);
    return nullptr;
}

SwitchArrayAccessible::SwitchArrayAccessible(QWidget* widget, SwitchAccess* access)
    : QAccessibleWidget(widget, QAccessible::Grouping), access_(access) {}

SwitchArrayAccessible::~SwitchArrayAccessible() {
    Release();
}

void SwitchArrayAccessible::Release() const {
    for (QAccessible::Id id : children_)
        QAccessible::deleteAccessibleInterface(id);
    children_.clear();
}

void SwitchArrayAccessible::Sync() const {
    const int n = Array() ? Array()->SwitchCount() : 0;
    if (static_cast<int>(children_.size()) == n)
        return;
    Release();
    for (int k = 0; k < n; ++k)
        children_.push_back(
            QAccessible::registerAccessibleInterface(new SwitchAccessible(widget(), access_, k)));
}

int SwitchArrayAccessible::childCount() const {
    return Array() ? Array()->SwitchCount() : 0;
}

QAccessibleInterface* SwitchArrayAccessible::child(int index) const {
    Sync();
    if (index < 0 || index >= static_cast<int>(children_.size()))
        return nullptr;
    return QAccessible::accessibleInterface(children_[static_cast<std::size_t>(index)]);
}

int SwitchArrayAccessible::indexOfChild(const QAccessibleInterface* child) const {
    Sync();
    for (std::size_t k = 0; k < children_.size(); ++k)
        if (QAccessible::accessibleInterface(children_[k]) == child)
            return static_cast<int>(k);
    return -1;
}

QAccessibleInterface* SwitchArrayAccessible::childAt(int x, int y) const {
    const SwitchAccess* array = Array();
    if (!array)
        return nullptr;
    const auto hit = array->SwitchAt(widget()->mapFromGlobal(QPoint(x, y)));
    return hit ? child(*hit) : nullptr;
}

QAccessibleInterface* SwitchArrayAccessible::focusChild() const {
    const SwitchAccess* array = Array();
    if (!array || !widget()->hasFocus())
        return nullptr;
    return child(array->KeyboardSwitch());
}

} // namespace

void InstallSwitchAccessibility() {
    static const bool done = (QAccessible::installFactory(Factory), true);
    (void)done;
}

void AnnounceSwitchState(QWidget* array, int k) {
    QAccessible::State changed;
    changed.checked = true;
    changed.checkStateMixed = true;
    QAccessibleStateChangeEvent event(array, changed);
    event.setChild(k);
    QAccessible::updateAccessibility(&event);
}

void AnnounceSwitchFocus(QWidget* array, int k) {
    QAccessibleEvent event(array, QAccessible::Focus);
    event.setChild(k);
    QAccessible::updateAccessibility(&event);
}
