#include "ui/tray_icon.h"

#include <QPixmap>
#include <QTest>
#include <QWidget>

class TestTrayIcon : public QObject
{
    Q_OBJECT
private:
    static QIcon redIcon()
    {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::red);
        return QIcon(pixmap);
    }

private slots:
    void cleanup() { TaskTray::setAvailableOverride(std::nullopt); }

    void addThenRemoveTwice()
    {
        QWidget window;
        window.setWindowIcon(redIcon());
        TaskTray tray;
        QVERIFY(!tray.isInstalled());
        tray.Del_TaskTray(); // before any add: harmless
        QVERIFY(!tray.isInstalled());

        tray.Add_TaskTray(&window);
        QVERIFY(tray.isInstalled());
        QCOMPARE(tray.icon()->toolTip(), QStringLiteral("Veltora設定"));
        QCOMPARE(tray.icon()->icon().pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red));
        QCOMPARE(tray.findChildren<QSystemTrayIcon*>().size(), 1);

        tray.Add_TaskTray(&window); // still one icon
        QCOMPARE(tray.findChildren<QSystemTrayIcon*>().size(), 1);

        tray.Del_TaskTray();
        QVERIFY(!tray.isInstalled());
        QCOMPARE(tray.findChildren<QSystemTrayIcon*>().size(), 0);
        tray.Del_TaskTray();
        QVERIFY(!tray.isInstalled());
    }

    void iconStaysWhileWindowShown()
    {
        QWidget window;
        TaskTray tray;
        tray.Add_TaskTray(&window);
        window.show();
        tray.hideWindow(&window);
        TaskTray::showWindow(&window);
        QVERIFY(tray.isInstalled());
        tray.Del_TaskTray();
    }

    void activation_data()
    {
        QTest::addColumn<int>("reason");
        QTest::addColumn<bool>("shows");
        QTest::newRow("left button released") << int(QSystemTrayIcon::Trigger) << true;
        QTest::newRow("right button (menu)") << int(QSystemTrayIcon::Context) << false;
        QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << false;
        QTest::newRow("middle button") << int(QSystemTrayIcon::MiddleClick) << false;
        QTest::newRow("unknown") << int(QSystemTrayIcon::Unknown) << false;
    }
    void activation()
    {
        QFETCH(int, reason);
        QFETCH(bool, shows);
        QWidget window;
        TaskTray tray;
        tray.Add_TaskTray(&window);
        QVERIFY(!window.isVisible());

        // The very signal the icon sends, so that a missing connection fails too.
        emit tray.icon()->activated(QSystemTrayIcon::ActivationReason(reason));
        QCOMPARE(window.isVisible(), shows);
        if (shows)
            QVERIFY(!window.isMinimized());
    }

    void clickBringsBackAMinimisedWindow()
    {
        QWidget window;
        TaskTray tray;
        tray.Add_TaskTray(&window);
        window.showMinimized();
        QVERIFY(window.isMinimized());
        tray.onActivated(QSystemTrayIcon::Trigger);
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
        tray.onActivated(QSystemTrayIcon::Trigger); // a second click while shown changes nothing
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
    }

    void clickAfterRemovalDoesNothing()
    {
        auto* window = new QWidget;
        TaskTray tray;
        tray.Add_TaskTray(window);
        delete window; // a stale window must not be touched
        tray.onActivated(QSystemTrayIcon::Trigger);
        QVERIFY(tray.window() == nullptr);
    }

    void hideWindow_data()
    {
        QTest::addColumn<bool>("available");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("hidden"); // false: minimised and still shown
        QTest::newRow("notification area with icon") << true << true << true;
        QTest::newRow("no notification area") << false << true << false;
        QTest::newRow("icon already removed") << true << false << false;
    }
    void hideWindow()
    {
        QFETCH(bool, available);
        QFETCH(bool, installed);
        QFETCH(bool, hidden);
        TaskTray::setAvailableOverride(available);
        QWidget window;
        TaskTray tray;
        if (installed)
            tray.Add_TaskTray(&window);
        window.show();
        tray.hideWindow(&window);
        QCOMPARE(window.isVisible(), !hidden);
        if (!hidden)
            QVERIFY(window.isMinimized());
        tray.Del_TaskTray();
    }

    void hiddenStartWithoutNotificationArea()
    {
        TaskTray::setAvailableOverride(false);
        QWidget window; // never shown yet
        TaskTray tray;
        tray.Add_TaskTray(&window);
        tray.hideWindow(&window);
        QVERIFY(window.isVisible());
        QVERIFY(window.isMinimized());
    }

    // The offscreen platform of the tests has no notification area: the desktop's own answer must reach
    // the fallback.
    void offscreenHasNoNotificationArea()
    {
        if (QGuiApplication::platformName() != QLatin1String("offscreen"))
            QSKIP("only meaningful on the offscreen platform");
        QVERIFY(!TaskTray::isAvailable());
        QWidget window;
        TaskTray tray;
        tray.Add_TaskTray(&window);
        window.show();
        tray.hideWindow(&window);
        QVERIFY(window.isVisible());
        QVERIFY(window.isMinimized());
    }
};

QTEST_MAIN(TestTrayIcon)
#include "test_tray_icon.moc"
