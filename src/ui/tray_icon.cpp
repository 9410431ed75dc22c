#include "ui/tray_icon.h"

#include <QApplication>
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
    m_icon->show();
}

void TaskTray::Del_TaskTray()
{
    if (!m_icon)
        return;
    m_icon->hide();
    delete m_icon;
    m_icon = nullptr;
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

void TaskTray::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger)
        showWindow(m_window);
}
