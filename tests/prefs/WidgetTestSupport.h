#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>

// Acts on the next modal window of type T once it is open; the code under
// test opens it with exec() after this call. Fails the test when no such
// window opens within a few seconds.
template <class T>
void WhenModal(std::function<void(T&)> act, int triesLeft = 500) {
    QTimer::singleShot(10, qApp, [act = std::move(act), triesLeft]() mutable {
        if (T* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
            act(*window);
            return;
        }
        if (triesLeft > 0) {
            WhenModal<T>(std::move(act), triesLeft - 1);
            return;
        }
        ADD_FAILURE() << "no modal " << T::staticMetaObject.className() << " opened";
        if (QWidget* other = QApplication::activeModalWidget())
            other->close();
    });
}

// The child of `parent` named `name`, failing the test when there is none.
template <class T>
T* Child(const QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

inline void Click(const QObject& parent, const char* name) {
    if (auto* button = Child<QAbstractButton>(parent, name))
        button->click();
}
