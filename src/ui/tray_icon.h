#pragma once

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <optional>

class QMenu;
class QWidget;

// The program's icon in the notification area: one icon with the window's icon and the tooltip
// "Veltora設定"; releasing the left button over it brings the window back, the right button opens a menu of
// 設定を表示, 今すぐ実行 and 常駐終了. It stays while the window is shown and goes at exit, and carries the
// program's desktop notifications.
class TaskTray : public QObject
{
    Q_OBJECT
public:
    explicit TaskTray(QObject* parent = nullptr);
    ~TaskTray() override;

    // Adds the icon for window (its current window icon). A second call while installed changes nothing.
    void Add_TaskTray(QWidget* window);
    // Removes the icon. Harmless when it is already gone or was never added.
    void Del_TaskTray();

    bool isInstalled() const { return m_icon != nullptr; }
    QSystemTrayIcon* icon() const { return m_icon; }
    QWidget* window() const { return m_window; }

    // Whether the desktop has a notification area to show the icon in.
    static bool isAvailable();
    // Tests: pretend the desktop has (true) or lacks (false) a notification area; nullopt asks the desktop.
    static void setAvailableOverride(std::optional<bool> available);

    // Hides window, the way the hide button and the hidden start do. Without a notification area (or
    // without the icon) a hidden window could never be brought back, so it is minimised instead.
    void hideWindow(QWidget* window) const;

    // Shows window, un-minimised, and brings it to the front.
    static void showWindow(QWidget* window);

    // A desktop notification from the icon (a warning when failure); nothing without the icon.
    void notify(const QString& title, const QString& text, bool failure);

    // The icon's menu (while installed): 設定を表示, 今すぐ実行, 常駐終了.
    QMenu* menu() const { return m_menu; }

signals:
    void runNowRequested();
    void endRequested();

public slots:
    // Connected to the icon's activated signal: only the left button's release (Trigger) shows the window.
    void onActivated(QSystemTrayIcon::ActivationReason reason);

private:
    QPointer<QWidget> m_window;
    QSystemTrayIcon* m_icon = nullptr;
    QMenu* m_menu = nullptr;
};
