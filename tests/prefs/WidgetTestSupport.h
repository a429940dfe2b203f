#pragma once

#include "prefs/Input_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

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

// Answers the input dialog that the next click opens: types `typed` and
// confirms, or cancels when there is nothing to type. `prefill` gets what
// the line held.
inline void AnswerInput(const std::optional<QString>& typed, QString* prefill = nullptr) {
    WhenModal<InputDialog>([typed, prefill](InputDialog& form) {
        if (prefill)
            *prefill = form.InputLine()->text();
        if (typed)
            form.InputLine()->setText(*typed);
        (typed ? form.OkButton() : form.CancelButton())->click();
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
