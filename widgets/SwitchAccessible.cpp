#include "widgets/SwitchAccessible.h"

#include "widgets/Switch.h"

#include <QPointer>

using namespace orvik;

namespace {

class SwitchAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    SwitchAccessible(TSwitchArray* array, int index) : array_(array), index_(index) {}

    bool isValid() const override { return array_ && index_ < array_->GetNumberOfSwitches(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return array_ ? array_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(array_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !isValid())
            return {};
        return QString::fromStdString(array_->Model().Records()[index_].Designation);
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect cell = array_->SwitchRect(static_cast<quint16>(index_));
        return QRect(array_->mapToGlobal(cell.topLeft()), cell.size());
    }
    QAccessible::Role role() const override { return QAccessible::CheckBox; }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const quint8 state = array_->GetSwitch(static_cast<quint16>(index_));
        s.checkable = true;
        s.checked = state == STATE_ON;
        s.checkStateMixed = state == STATE_UNDEFINED;
        s.focusable = true;
        s.focused = array_->hasFocus() && array_->CurrentSwitch() == index_;
        s.invisible = !array_->isVisible();
        s.disabled = !array_->isEnabled();
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                 : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && isValid() && array_->isEnabled())
            array_->PressSwitch(static_cast<quint16>(index_));
    }
    QStringList keyBindingsForAction(const QString& name) const override {
        return name == pressAction() ? QStringList{"Space"} : QStringList{};
    }

private:
    QPointer<TSwitchArray> array_;
    int index_;
};

QAccessibleInterface* Factory(const QString& key, QObject* object) {
    if (key == QLatin1String("TSwitchArray"))
        if (auto* array = qobject_cast<TSwitchArray*>(object))
            return new SwitchArrayAccessible(array);
    return nullptr;
}

} // namespace

SwitchArrayAccessible::SwitchArrayAccessible(TSwitchArray* array)
    : QAccessibleWidget(array, QAccessible::Grouping) {}

SwitchArrayAccessible::~SwitchArrayAccessible() {
    Release();
}

TSwitchArray* SwitchArrayAccessible::Array() const {
    return static_cast<TSwitchArray*>(widget());
}

void SwitchArrayAccessible::Release() const {
    for (QAccessible::Id id : children_)
        QAccessible::deleteAccessibleInterface(id);
    children_.clear();
}

void SwitchArrayAccessible::Sync() const {
    const int n = Array() ? Array()->GetNumberOfSwitches() : 0;
    if (static_cast<int>(children_.size()) == n)
        return;
    Release();
    for (int k = 0; k < n; ++k)
        children_.push_back(
            QAccessible::registerAccessibleInterface(new SwitchAccessible(Array(), k)));
}

int SwitchArrayAccessible::childCount() const {
    return Array() ? Array()->GetNumberOfSwitches() : 0;
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
    const TSwitchArray* array = Array();
    if (!array)
        return nullptr;
    const QPoint at = array->mapFromGlobal(QPoint(x, y));
    const auto hit = array->Model().HitTest(at.x(), at.y());
    return hit ? child(*hit) : nullptr;
}

QAccessibleInterface* SwitchArrayAccessible::focusChild() const {
    const TSwitchArray* array = Array();
    if (!array || !array->hasFocus())
        return nullptr;
    return child(array->CurrentSwitch());
}

void InstallSwitchAccessibility() {
    static const bool done = (QAccessible::installFactory(Factory), true);
    (void)done;
}

void AnnounceSwitchState(TSwitchArray* array, int k) {
    QAccessible::State changed;
    changed.checked = true;
    changed.checkStateMixed = true;
    QAccessibleStateChangeEvent event(array, changed);
    event.setChild(k);
    QAccessible::updateAccessibility(&event);
}

void AnnounceSwitchFocus(TSwitchArray* array, int k) {
    QAccessibleEvent event(array, QAccessible::Focus);
    event.setChild(k);
    QAccessible::updateAccessibility(&event);
}
