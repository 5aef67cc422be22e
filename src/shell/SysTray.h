#pragma once

#include "shell/WindowTimer.h"

#include <QIcon>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>

class QSystemTrayIcon;
class QWidget;

namespace halcyra {

// The mouse reports of the notification area, one per button transition.
enum class TrayMouse { LeftDown, LeftUp, LeftDblClick, RightDown, RightUp, MiddleDown, MiddleUp };

// One icon in the desktop's notification area for the window that owns it: turns the area's mouse reports
// into click, double-click and button events, shows a pop-up menu at the cursor, hides the owner window into
// the area when it is minimised (only where a notification area exists, so the window can never become
// unreachable) and brings it back. The toolkit puts a visible icon back when the area is re-created.
//
// The area reports no pointer motion and this icon shows no balloon tips: OnMouseMove, OnMouseEnter and
// OnMouseExit are never raised. The owner window's taskbar entry comes and goes with the window itself.
class TSysTrayIcon : public QObject {
    Q_OBJECT

public:
    using Event = std::function<void(TSysTrayIcon& Sender)>;
    using MouseEvent = std::function<void(TSysTrayIcon& Sender, Qt::MouseButton Button,
                                          Qt::KeyboardModifiers Shift, QPoint At)>;

    // `owner` (may be null) is the main window the icon hides and shows; the icon is a child of it.
    explicit TSysTrayIcon(QWidget* owner);
    ~TSysTrayIcon() override;

    // The longest tool tip passed on, in characters.
    static constexpr int MaxHintLength = 127;
    // The tool tip shown for `hint`: empty when `showHint` is false, else `hint` cut to MaxHintLength
    // characters, never inside a character.
    static QString TipText(const QString& hint, bool showHint);

    // False: every mouse report is ignored.
    bool Enabled = true;
    // The left button shows the pop-up menu too.
    bool LeftPopup = false;
    // Minimising the owner window hides it into the notification area.
    bool MinimizeToTray = false;
    // Stored only: the area reports no pointer motion.
    bool WantEnterExitEvents = false;

    const QIcon& Icon() const { return m_icon; }
    void SetIcon(const QIcon& icon);
    bool IconVisible() const { return m_iconVisible; }
    void SetIconVisible(bool visible);
    const QString& Hint() const { return m_hint; }
    void SetHint(const QString& hint);
    bool ShowHint() const { return m_showHint; }
    void SetShowHint(bool show);
    QMenu* PopupMenu() const { return m_popupMenu; }
    void SetPopupMenu(QMenu* menu);
    // Icons for IconIndex and cycling; an empty list is none. Setting it sets IconIndex to 0.
    const QList<QIcon>& IconList() const { return m_iconList; }
    void SetIconList(const QList<QIcon>& icons);
    // With a list, the icon shown is the list's entry (an index past the end shows the last one); without
    // one the index stays 0.
    int IconIndex() const { return m_iconIndex; }
    void SetIconIndex(int index);
    // True: IconIndex 0, then the list's icons in turn every CycleInterval ms (0: no cycling steps).
    bool CycleIcons() const { return m_cycleIcons; }
    void SetCycleIcons(bool cycle);
    std::uint32_t CycleInterval() const { return m_cycleInterval; }
    void SetCycleInterval(std::uint32_t interval);

    Event OnClick;    // a left click; reported a double-click time late while OnDblClick is set
    Event OnDblClick; // a left double-click; it reports no click
    MouseEvent OnMouseDown;
    MouseEvent OnMouseUp;
    std::function<void(TSysTrayIcon& Sender, Qt::KeyboardModifiers Shift, QPoint At)> OnMouseMove;
    Event OnMouseEnter;
    Event OnMouseExit;
    // Before each cycle step, with the index shown next.
    std::function<void(TSysTrayIcon& Sender, int NextIndex)> OnCycle;
    // From Loaded: `ShowMainForm` arrives true; false hides the owner window at start.
    std::function<void(TSysTrayIcon& Sender, bool& ShowMainForm)> OnStartup;

    // Whether the desktop has a notification area; tests replace it.
    std::function<bool()> TrayAvailable;

    // Once the owner has set the icon up: OnStartup, then the icon, its visibility and cycling take effect.
    void Loaded();
    void ShowIcon();
    void HideIcon();
    // Passes the icon and tool tip on, whether the icon is shown or not.
    void ModifyIcon();
    // Restores, shows, raises and activates the owner window.
    void ShowMainForm();
    void HideMainForm();
    void ShowTaskbarIcon() {}
    void HideTaskbarIcon() {}

    // One mouse report of the notification area.
    void MouseNotification(TrayMouse message);
    // Shows the pop-up menu at the cursor (nothing without a menu).
    void ShowPopup();

    QSystemTrayIcon* PlatformIcon() const { return m_tray; }
    TWindowTimer& ClickTimer() { return m_clickTimer; }
    TWindowTimer& CycleTimer() { return m_cycleTimer; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void mouseButton(const MouseEvent& event, Qt::MouseButton button);
    void cycleTick();
    void clickTick();
    void showListIcon();

    QWidget* m_owner;
    QSystemTrayIcon* m_tray;
    QIcon m_icon;
    bool m_iconVisible = false;
    QString m_hint;
    bool m_showHint = true;
    QPointer<QMenu> m_popupMenu;
    QList<QIcon> m_iconList;
    int m_iconIndex = 0;
    bool m_cycleIcons = false;
    std::uint32_t m_cycleInterval = 0;

    TWindowTimer m_cycleTimer;
    TWindowTimer m_clickTimer;
    bool m_clickStart = false;
    bool m_clickReady = false;
    bool m_isDblClick = false;
};

} // namespace halcyra
