#pragma once

#include "platform/UiServices.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace halcyra::test {

// The child of `parent` with the object name `name` and type T; a test failure when there is none.
template <class T = QWidget> T* child(const QObject* parent, const char* name) {
    T* found = parent->findChild<T*>(QLatin1String(name));
    if (found == nullptr)
        ADD_FAILURE() << "no " << name << " of the expected type";
    return found;
}

// Runs `action` with the modal window once it is shown and active, from a zero-delay timer inside the
// window's own event loop. A window the action leaves open by mistake is closed after 20 s, so that a
// failing test cannot hang.
inline void onModal(std::function<void(QWidget*)> action, int attempts = 50) {
    QTimer::singleShot(0, [action = std::move(action), attempts]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr && attempts > 0)
            return onModal(std::move(action), attempts - 1);
        if (modal == nullptr)
            return ADD_FAILURE() << "no modal window was shown", void();
        QTimer::singleShot(20000, modal, [modal] {
            if (auto* dialog = qobject_cast<QDialog*>(modal); dialog != nullptr && dialog->isVisible()) {
                ADD_FAILURE() << "the modal window was left open";
                dialog->done(QDialog::Rejected);
            }
        });
        modal->activateWindow(); // short cuts reach only the active window
        EXPECT_TRUE(QTest::qWaitForWindowActive(modal, 5000));
        action(modal);
    });
}

// Installs scripted UI services for one scope and puts the previous ones back.
class ScopedScriptedUi {
public:
    ScopedScriptedUi() : m_previous(currentUiServices()) { setCurrentUiServices(&ui); }
    ~ScopedScriptedUi() { setCurrentUiServices(m_previous); }
    ScopedScriptedUi(const ScopedScriptedUi&) = delete;
    ScopedScriptedUi& operator=(const ScopedScriptedUi&) = delete;

    ScriptedUiServices ui;

private:
    UiServices* m_previous;
};

} // namespace halcyra::test
