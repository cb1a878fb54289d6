// Finds a window's control by its name without regard to case ("checkbox3" finds CheckBox3).
#pragma once

#include <QObject>
#include <QString>

template <typename T> T* FindComponent(QObject* root, const QString& name) {
    const auto all = root->findChildren<T*>();
    for (T* child : all) {
        if (child->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return child;
    }
    return nullptr;
}
