#include "fake_view.h"
#include "run/engine.h"

#include <QTest>

#include <arpa/inet.h>

namespace {

// "name flags address" entries separated by ';' — flags: U up, L loopback, '-' neither.
QList<LocalAddress::Interface> interfaces(const QString& description)
{
    QList<LocalAddress::Interface> list;
    for (const QString& entry : description.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList parts = entry.trimmed().split(QLatin1Char(' '));
        LocalAddress::Interface item;
        item.name = parts.value(0).toLatin1();
        item.up = parts.value(1).contains(QLatin1Char('U'));
        item.loopback = parts.value(1).contains(QLatin1Char('L'));
        item.ipv4 = parts.value(2);
        list << item;
    }
    return list;
}

const QByteArray kRouteHeader("Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n");

QByteArray route(const char* iface, const char* destination, const char* flags, int metric, const char* mask)
{
    return QByteArray(iface) + '\t' + destination + "\t010200C0\t" + flags + "\t0\t0\t" + QByteArray::number(metric) +
           '\t' + mask + "\t0\t0\t0\n";
}

// A line of /proc/net/if_inet6: address, index, prefix length, scope, flags, interface.
QByteArray inet6(const char* address, const char* scope, const char* flags, const char* iface)
{
    return QByteArray(address) + " 02 40 " + scope + ' ' + flags + ' ' + QByteArray(iface).rightJustified(8) + '\n';
}

// A line of /proc/net/ipv6_route: destination and prefix, source and prefix, next hop, metric, counts, flags.
QByteArray route6(const char* destination, const char* prefix, const char* metric, const char* flags, const char* iface)
{
    return QByteArray(destination) + ' ' + prefix + ' ' + QByteArray(32, '0') +
           " 00 fe800000000000000000000000000001 " + metric + " 00000001 00000000 " + flags + ' ' +
           QByteArray(iface).rightJustified(8) + '\n';
}

const char* const AnyAddress = "00000000000000000000000000000000";

} // namespace

class TestLocalLookup : public QObject
{
    Q_OBJECT
private slots:
    void init() { Clock::setNow(QDateTime(QDate(2026, 12, 6), QTime(0, 0, 0))); }
    void cleanup() { Clock::reset(); }

    void defaultRouteInterface_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QByteArray>("iface");
        QTest::newRow("one default route") << kRouteHeader + route("eth0", "00000000", "0003", 0, "00000000") +
                                                  route("eth0", "000200C0", "0001", 0, "00FFFFFF")
                                           << QByteArray("eth0");
        QTest::newRow("lowest metric wins") << kRouteHeader + route("wlan0", "00000000", "0003", 600, "00000000") +
                                                   route("eth1", "00000000", "0003", 100, "00000000")
                                            << QByteArray("eth1");
        QTest::newRow("route not up ignored")
            << kRouteHeader + route("eth0", "00000000", "0002", 0, "00000000") << QByteArray();
        QTest::newRow("only subnet routes")
            << kRouteHeader + route("eth0", "000200C0", "0001", 0, "00FFFFFF") << QByteArray();
        QTest::newRow("header only") << kRouteHeader << QByteArray();
        QTest::newRow("no table") << QByteArray() << QByteArray();
        QTest::newRow("garbage") << kRouteHeader + "eth0 zz\n\n" << QByteArray();
    }
    void defaultRouteInterface()
    {
        QFETCH(QByteArray, table);
        QFETCH(QByteArray, iface);
        QCOMPARE(LocalAddress::defaultRouteInterface(table), iface);
    }

    void chooseAddress_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QByteArray>("defaultIface");
        QTest::addColumn<QString>("address");
        const QString usual = QStringLiteral("lo UL 127.0.0.1; docker0 U 172.17.0.1; eth0 U 192.168.1.20");
        QTest::newRow("default route's interface") << usual << QByteArray("eth0") << QStringLiteral("192.168.1.20");
        QTest::newRow("no default route: first up non-loopback")
            << usual << QByteArray() << QStringLiteral("172.17.0.1");
        QTest::newRow("default route on an interface without IPv4")
            << usual << QByteArray("ppp0") << QStringLiteral("172.17.0.1");
        QTest::newRow("down interfaces skipped") << QStringLiteral("lo UL 127.0.0.1; eth0 - 10.0.0.1; eth1 U 10.0.0.2")
                                                 << QByteArray() << QStringLiteral("10.0.0.2");
        QTest::newRow("default route's interface down")
            << QStringLiteral("eth0 - 10.0.0.1; eth1 U 10.0.0.2") << QByteArray("eth0") << QStringLiteral("10.0.0.2");
        QTest::newRow("loopback only") << QStringLiteral("lo UL 127.0.0.1") << QByteArray("lo") << QString();
        QTest::newRow("no interfaces") << QString() << QByteArray() << QString();
    }
    void chooseAddress()
    {
        QFETCH(QString, list);
        QFETCH(QByteArray, defaultIface);
        QFETCH(QString, address);
        QCOMPARE(LocalAddress::chooseAddress(interfaces(list), defaultIface), address);
    }

    void chooseIpv6Address_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QByteArray>("defaultIface");
        QTest::addColumn<QString>("address");
        const QByteArray stable = inet6("20010db8000000010000000000000010", "00", "80", "eth0");
        const QByteArray other = inet6("20010db8000000020000000000000020", "00", "80", "wlan0");
        QTest::newRow("the stable global address")
            << stable << QByteArray("eth0") << QStringLiteral("2001:db8:0:1::10");
        QTest::newRow("temporary refused") << inet6("20010db80000000100000000000000aa", "00", "01", "eth0") + stable
                                           << QByteArray() << QStringLiteral("2001:db8:0:1::10");
        QTest::newRow("deprecated refused") << inet6("20010db80000000100000000000000bb", "00", "a0", "eth0") + stable
                                            << QByteArray() << QStringLiteral("2001:db8:0:1::10");
        QTest::newRow("tentative refused") << inet6("20010db80000000100000000000000cc", "00", "40", "eth0") + stable
                                           << QByteArray() << QStringLiteral("2001:db8:0:1::10");
        QTest::newRow("link-local, unique-local and loopback refused")
            << inet6("fe80000000000000021122fffe334455", "20", "80", "eth0") +
                   inet6("fd000000000000000000000000000002", "00", "80", "eth0") +
                   inet6("00000000000000000000000000000001", "10", "80", "lo")
            << QByteArray("eth0") << QString();
        QTest::newRow("default route's interface first")
            << other + stable << QByteArray("eth0") << QStringLiteral("2001:db8:0:1::10");
        QTest::newRow("no default route: the first")
            << other + stable << QByteArray() << QStringLiteral("2001:db8:0:2::20");
        QTest::newRow("garbage") << QByteArray("zz 1 2\n\n") + inet6("2001", "00", "80", "eth0") << QByteArray()
                                 << QString();
    }
    void chooseIpv6Address()
    {
        QFETCH(QByteArray, table);
        QFETCH(QByteArray, defaultIface);
        QFETCH(QString, address);
        QCOMPARE(LocalAddress::chooseIpv6Address(table, defaultIface), address);
    }

    void defaultRouteInterface6_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QByteArray>("iface");
        QTest::newRow("lowest metric wins") << route6(AnyAddress, "00", "00000400", "00000003", "wlan0") +
                                                   route6(AnyAddress, "00", "00000100", "00450003", "eth0")
                                            << QByteArray("eth0");
        // The kernel's own unreachable default route on lo.
        QTest::newRow("reject route ignored") << route6(AnyAddress, "00", "00000001", "00200201", "lo") +
                                                     route6(AnyAddress, "00", "00000400", "00000003", "eth0")
                                              << QByteArray("eth0");
        QTest::newRow("only prefix routes")
            << route6("20010db8000000010000000000000000", "40", "00000100", "00000001", "eth0") << QByteArray();
    }
    void defaultRouteInterface6()
    {
        QFETCH(QByteArray, table);
        QFETCH(QByteArray, iface);
        QCOMPARE(LocalAddress::defaultRouteInterface6(table), iface);
    }

    void lookup_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("chikanTo0");
        QTest::newRow("address found") << QStringLiteral("lo UL 127.0.0.1; eth0 U 192.168.1.20") << 1
                                       << QStringLiteral("192.168.1.20") << QStringLiteral("192.168.1.20");
        QTest::newRow("none") << QStringLiteral("lo UL 127.0.0.1") << 0 << QStringLiteral("未取得")
                              << QStringLiteral("HOSTNAME");
    }
    void lookup()
    {
        QFETCH(QString, list);
        QFETCH(int, state);
        QFETCH(QString, caption);
        QFETCH(QString, chikanTo0);
        FakeView view;
        const CodePage codePage("windows-31j"); // the engine keeps a reference
        Engine engine(view, codePage);
        engine.Winsock1.setSources([list] { return interfaces(list); },
                                   [] { return kRouteHeader + route("eth0", "00000000", "0003", 0, "00000000"); });
        engine.IpCheckState = -1;
        engine.LocalIPaddress();
        QCOMPARE(int(engine.IpCheckState), state);
        QCOMPARE(view.ipAddressHistory, QStringList({QStringLiteral("IPアドレス確認中"), caption}));
        QCOMPARE(view.chikanTo0, chikanTo0);
        QCOMPARE(view.chikanTo1, QStringLiteral("2026/12/06"));
    }

    void realInterfaces()
    {
        FakeView view;
        Engine engine(view);
        engine.LocalIPaddress();
        if (engine.IpCheckState == 1) {
            in_addr parsed{};
            QVERIFY2(inet_pton(AF_INET, view.ipAddress.toLatin1().constData(), &parsed) == 1,
                     qPrintable(view.ipAddress));
            QVERIFY(!view.ipAddress.startsWith(QLatin1String("127.")));
            QCOMPARE(view.chikanTo0, view.ipAddress);
        } else {
            QCOMPARE(int(engine.IpCheckState), 0);
            QCOMPARE(view.ipAddress, QStringLiteral("未取得"));
            QCOMPARE(view.chikanTo0, QStringLiteral("HOSTNAME"));
        }
    }
};

QTEST_GUILESS_MAIN(TestLocalLookup)
#include "test_local_lookup.moc"
