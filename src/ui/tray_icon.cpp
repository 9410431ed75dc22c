#include "ui/tray_icon.h"

#include <QApplication>
#include <QMenu>
#include <QStyle>
#include <QWidget>

namespace {

std::optional<bool> s_availableOverride;

} // namespace

TaskTray::TaskTray(QObject* parent) : QObject(parent) {}

TaskTray::~TaskTray()
{
    Del_TaskTray();
}

void TaskTray::Add_TaskTray(QWidget* window)
{
    if (m_icon)
        return;
    m_window = window;
    m_icon = new QSystemTrayIcon(this);
    QIcon icon = window ? window->windowIcon() : QApplication::windowIcon();
    // An icon without a picture would be invisible, and the hidden window out of reach.
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
    m_icon->setIcon(icon);
    m_icon->setToolTip(QStringLiteral("Veltora設定"));
    connect(m_icon, &QSystemTrayIcon::activated, this, &TaskTray::onActivated);
    m_menu = new QMenu;
    m_menu->setFont(window ? window->font() : QApplication::font());
    m_menu->addAction(QStringLiteral("設定を表示"), this, [this] { showWindow(m_window); });
    m_menu->addAction(QStringLiteral("今すぐ実行"), this, &TaskTray::runNowRequested);
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("常駐終了"), this, &TaskTray::endRequested);
    m_icon->setContextMenu(m_menu);
    m_icon->show();
}

void TaskTray::Del_TaskTray()
{
    if (!m_icon)
        return;
    m_icon->hide();
    delete m_icon;
    m_icon = nullptr;
    delete m_menu; // the icon does not own its menu
    m_menu = nullptr;
}

bool TaskTray::isAvailable()
{
    if (s_availableOverride)
        return *s_availableOverride;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TaskTray::setAvailableOverride(std::optional<bool> available)
{
    s_availableOverride = available;
}

void TaskTray::hideWindow(QWidget* window) const
{
    if (!window)
        return;
    if (isInstalled() && isAvailable())
        window->hide();
    else
        window->showMinimized();
}

void TaskTray::showWindow(QWidget* window)
{
    if (!window)
        return;
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}

void TaskTray::notify(const QString& title, const QString& text, bool failure)
{
    if (m_icon)
        m_icon->showMessage(title, text, failure ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
}

void TaskTray::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger)
        showWindow(m_window);
}
