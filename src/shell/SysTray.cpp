#include "shell/SysTray.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QStyleHints>
#include <QSystemTrayIcon>
#include <QWidget>

#include <algorithm>

namespace halcyra {

TSysTrayIcon::TSysTrayIcon(QWidget* owner)
    : QObject(owner), m_owner(owner), m_tray(new QSystemTrayIcon(this)),
      m_cycleTimer(0, [this](TWindowTimer&) { cycleTick(); }),
      m_clickTimer(0, [this](TWindowTimer&) { clickTick(); }) {
    setObjectName("TrayIcon");
    TrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    // The area reports whole clicks; each becomes the button transitions it stands for.
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        switch (reason) {
        case QSystemTrayIcon::Trigger:
            MouseNotification(TrayMouse::LeftDown);
            MouseNotification(TrayMouse::LeftUp);
            break;
        case QSystemTrayIcon::DoubleClick:
            MouseNotification(TrayMouse::LeftDblClick);
            MouseNotification(TrayMouse::LeftUp);
            break;
        case QSystemTrayIcon::Context:
            MouseNotification(TrayMouse::RightDown);
            MouseNotification(TrayMouse::RightUp);
            break;
        case QSystemTrayIcon::MiddleClick:
            MouseNotification(TrayMouse::MiddleDown);
            MouseNotification(TrayMouse::MiddleUp);
            break;
        default:
            break;
        }
    });
    if (m_owner != nullptr)
        m_owner->installEventFilter(this);
    ModifyIcon();
}

TSysTrayIcon::~TSysTrayIcon() {
    m_tray->hide();
}

QString TSysTrayIcon::TipText(const QString& hint, bool showHint) {
    if (!showHint)
        return {};
    qsizetype units = 0;
    for (int characters = 0; units < hint.size() && characters < MaxHintLength; ++characters) {
        const bool pair = hint.at(units).isHighSurrogate() && units + 1 < hint.size() &&
                          hint.at(units + 1).isLowSurrogate();
        units += pair ? 2 : 1;
    }
    return hint.left(units);
}

void TSysTrayIcon::SetIcon(const QIcon& icon) {
    m_icon = icon;
    ModifyIcon();
}

void TSysTrayIcon::SetIconVisible(bool visible) {
    if (visible)
        ShowIcon();
    else
        HideIcon();
}

void TSysTrayIcon::SetHint(const QString& hint) {
    m_hint = hint;
    ModifyIcon();
}

void TSysTrayIcon::SetShowHint(bool show) {
    m_showHint = show;
    ModifyIcon();
}

void TSysTrayIcon::SetPopupMenu(QMenu* menu) {
    m_popupMenu = menu;
}

void TSysTrayIcon::SetIconList(const QList<QIcon>& icons) {
    m_iconList = icons;
    SetIconIndex(0);
}

void TSysTrayIcon::SetIconIndex(int index) {
    m_iconIndex = m_iconList.isEmpty() ? 0 : std::max(index, 0);
    showListIcon();
}

void TSysTrayIcon::showListIcon() {
    if (!m_iconList.isEmpty())
        m_icon = m_iconList.at(std::min<qsizetype>(m_iconIndex, m_iconList.size() - 1));
    ModifyIcon();
}

void TSysTrayIcon::SetCycleIcons(bool cycle) {
    m_cycleIcons = cycle;
    if (cycle)
        SetIconIndex(0);
    m_cycleTimer.SetInterval(static_cast<std::int32_t>(std::min<std::uint32_t>(m_cycleInterval, INT32_MAX)));
    m_cycleTimer.SetEnabled(cycle);
}

void TSysTrayIcon::SetCycleInterval(std::uint32_t interval) {
    m_cycleInterval = interval;
    m_cycleTimer.SetInterval(static_cast<std::int32_t>(std::min<std::uint32_t>(interval, INT32_MAX)));
    if (m_cycleIcons && !m_cycleTimer.Enabled())
        m_cycleTimer.SetEnabled(true);
}

void TSysTrayIcon::Loaded() {
    if (m_owner != nullptr && OnStartup) {
        bool show = true;
        OnStartup(*this, show);
        if (!show)
            HideMainForm();
    }
    ModifyIcon();
    SetIconVisible(m_iconVisible);
    SetCycleIcons(m_cycleIcons);
}

void TSysTrayIcon::ShowIcon() {
    m_iconVisible = true;
    ModifyIcon();
    m_tray->show();
}

void TSysTrayIcon::HideIcon() {
    m_iconVisible = false;
    m_tray->hide();
}

void TSysTrayIcon::ModifyIcon() {
    m_tray->setIcon(m_icon);
    m_tray->setToolTip(TipText(m_hint, m_showHint));
}

void TSysTrayIcon::ShowMainForm() {
    if (m_owner == nullptr)
        return;
    if (m_owner->isMinimized())
        m_owner->setWindowState(m_owner->windowState() & ~Qt::WindowMinimized);
    m_owner->show();
    m_owner->raise();
    m_owner->activateWindow();
}

void TSysTrayIcon::HideMainForm() {
    if (m_owner == nullptr)
        return;
    m_owner->hide();
    HideTaskbarIcon();
}

void TSysTrayIcon::mouseButton(const MouseEvent& event, Qt::MouseButton button) {
    if (event)
        event(*this, button, QGuiApplication::queryKeyboardModifiers(), QCursor::pos());
}

void TSysTrayIcon::MouseNotification(TrayMouse message) {
    if (!Enabled)
        return;
    switch (message) {
    case TrayMouse::LeftDown:
        if (OnDblClick) {
            m_clickTimer.SetInterval(QGuiApplication::styleHints()->mouseDoubleClickInterval());
            m_clickTimer.SetEnabled(true);
        }
        mouseButton(OnMouseDown, Qt::LeftButton);
        m_clickStart = true;
        if (LeftPopup)
            ShowPopup();
        break;
    case TrayMouse::LeftUp: {
        if (m_clickStart)
            m_clickReady = true;
        const bool clickNow = m_clickStart && !m_clickTimer.Enabled();
        m_clickStart = false;
        if (clickNow) {
            m_clickReady = false;
            if (OnClick)
                OnClick(*this);
        }
        mouseButton(OnMouseUp, Qt::LeftButton);
        break;
    }
    case TrayMouse::LeftDblClick:
        m_clickReady = false;
        m_isDblClick = true;
        if (OnDblClick)
            OnDblClick(*this);
        if (m_popupMenu != nullptr && !LeftPopup && m_popupMenu->defaultAction() != nullptr)
            m_popupMenu->defaultAction()->trigger();
        break;
    case TrayMouse::RightDown:
        mouseButton(OnMouseDown, Qt::RightButton);
        ShowPopup();
        break;
    case TrayMouse::RightUp:
        mouseButton(OnMouseUp, Qt::RightButton);
        break;
    case TrayMouse::MiddleDown:
        mouseButton(OnMouseDown, Qt::MiddleButton);
        break;
    case TrayMouse::MiddleUp:
        mouseButton(OnMouseUp, Qt::MiddleButton);
        break;
    }
}

void TSysTrayIcon::clickTick() {
    m_clickTimer.SetEnabled(false);
    const bool click = !m_isDblClick && m_clickReady;
    m_isDblClick = false;
    if (click) {
        m_clickReady = false;
        if (OnClick)
            OnClick(*this);
    }
}

void TSysTrayIcon::cycleTick() {
    if (m_iconList.isEmpty())
        return;
    showListIcon();
    const int next = m_iconIndex >= m_iconList.size() - 1 ? 0 : m_iconIndex + 1;
    if (OnCycle)
        OnCycle(*this, next);
    m_iconIndex = next;
}

void TSysTrayIcon::ShowPopup() {
    // Not modal: the menu opens and this returns, so no report is handled inside another.
    if (m_popupMenu != nullptr)
        m_popupMenu->popup(QCursor::pos());
}

bool TSysTrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_owner && event->type() == QEvent::WindowStateChange && m_owner->isMinimized() &&
        MinimizeToTray && TrayAvailable && TrayAvailable()) {
        HideMainForm();
        ShowIcon();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace halcyra
