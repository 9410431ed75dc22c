#include "platform/local_address.h"

#include <QFile>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstring>
#include <limits>

LocalAddress::LocalAddress() : m_interfaces(&LocalAddress::systemInterfaces), m_routes(&LocalAddress::systemRouteTable)
{
    setIpv6Sources({}, {});
}

void LocalAddress::setSources(InterfaceSource interfaces, RouteTableSource routes)
{
    m_interfaces = interfaces ? std::move(interfaces) : InterfaceSource(&LocalAddress::systemInterfaces);
    m_routes = routes ? std::move(routes) : RouteTableSource(&LocalAddress::systemRouteTable);
}

QString LocalAddress::LocalIP() const
{
    return chooseAddress(m_interfaces(), defaultRouteInterface(m_routes()));
}

QString LocalAddress::chooseAddress(const QList<Interface>& interfaces, const QByteArray& defaultRouteInterface)
{
    const auto usable = [](const Interface& entry) { return entry.up && !entry.loopback && !entry.ipv4.isEmpty(); };
    if (!defaultRouteInterface.isEmpty()) {
        for (const Interface& entry : interfaces) {
            if (entry.name == defaultRouteInterface && usable(entry))
                return entry.ipv4;
        }
    }
    for (const Interface& entry : interfaces) {
        if (usable(entry))
            return entry.ipv4;
    }
    return {};
}

QByteArray LocalAddress::defaultRouteInterface(const QByteArray& routeTable)
{
    // Columns: Iface Destination Gateway Flags RefCnt Use Metric Mask ... (hexadecimal where numeric).
    constexpr unsigned kRouteUp = 0x1;
    QByteArray best;
    qulonglong bestMetric = std::numeric_limits<qulonglong>::max();
    const QList<QByteArray> lines = routeTable.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() < 8)
            continue;
        bool ok = true;
        const qulonglong destination = fields[1].toULongLong(&ok, 16);
        if (!ok || destination != 0)
            continue;
        const qulonglong flags = fields[3].toULongLong(&ok, 16);
        if (!ok || !(flags & kRouteUp))
            continue;
        const qulonglong mask = fields[7].toULongLong(&ok, 16);
        if (!ok || mask != 0)
            continue;
        const qulonglong metric = fields[6].toULongLong(&ok, 10);
        if (!ok)
            continue;
        if (best.isEmpty() || metric < bestMetric) {
            best = fields[0];
            bestMetric = metric;
        }
    }
    return best;
}

QList<LocalAddress::Interface> LocalAddress::systemInterfaces()
{
    QList<Interface> result;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return result;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (!::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text))
            continue;
        Interface item;
        item.name = QByteArray(entry->ifa_name);
        item.up = (entry->ifa_flags & IFF_UP) != 0;
        item.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        item.ipv4 = QString::fromLatin1(text);
        result << item;
    }
    ::freeifaddrs(list);
    return result;
}

QByteArray LocalAddress::systemRouteTable()
{
    return systemFile("/proc/net/route");
}

void LocalAddress::setIpv6Sources(TextSource addresses, TextSource routes)
{
    m_ipv6Addresses = addresses ? std::move(addresses) : TextSource([] { return systemFile("/proc/net/if_inet6"); });
    m_ipv6Routes = routes ? std::move(routes) : TextSource([] { return systemFile("/proc/net/ipv6_route"); });
}

QString LocalAddress::LocalIPv6() const
{
    return chooseIpv6Address(m_ipv6Addresses(), defaultRouteInterface6(m_ipv6Routes()));
}

QString LocalAddress::chooseIpv6Address(const QByteArray& ifInet6, const QByteArray& defaultRouteInterface)
{
    // Columns: address (32 hex digits), interface index, prefix length, scope, flags, name.
    constexpr unsigned Temporary = 0x01, DadFailed = 0x08, Deprecated = 0x20, Tentative = 0x40;
    constexpr unsigned GlobalScope = 0x00;
    QString first;
    for (const QByteArray& line : ifInet6.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[0].size() != 32)
            continue;
        bool scopeOk = false;
        bool flagsOk = false;
        const unsigned scope = fields[3].toUInt(&scopeOk, 16);
        const unsigned flags = fields[4].toUInt(&flagsOk, 16);
        if (!scopeOk || !flagsOk || scope != GlobalScope || (flags & (Temporary | DadFailed | Deprecated | Tentative)))
            continue;
        const QByteArray raw = QByteArray::fromHex(fields[0]);
        if (raw.size() != 16 || raw.toHex() != fields[0].toLower())
            continue;
        // Global unicast only: unique-local (fc00::/7), link-local, loopback and multicast lie outside 2000::/3.
        if ((quint8(raw[0]) & 0xe0) != 0x20)
            continue;
        in6_addr address{};
        std::memcpy(address.s6_addr, raw.constData(), 16);
        char text[INET6_ADDRSTRLEN] = {};
        if (!::inet_ntop(AF_INET6, &address, text, sizeof text))
            continue;
        if (!defaultRouteInterface.isEmpty() && fields[5] == defaultRouteInterface)
            return QString::fromLatin1(text);
        if (first.isEmpty())
            first = QString::fromLatin1(text);
    }
    return first;
}

QByteArray LocalAddress::defaultRouteInterface6(const QByteArray& ipv6Routes)
{
    // Columns: destination, its prefix length, source, its prefix length, next hop, metric, reference count,
    // use, flags, name; hexadecimal where numeric.
    constexpr unsigned RouteUp = 0x1, RouteReject = 0x200;
    QByteArray best;
    qulonglong bestMetric = std::numeric_limits<qulonglong>::max();
    for (const QByteArray& line : ipv6Routes.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 10 || fields[0] != QByteArray(32, '0') || fields[1] != "00")
            continue;
        bool ok = true;
        const qulonglong flags = fields[8].toULongLong(&ok, 16);
        if (!ok || !(flags & RouteUp) || (flags & RouteReject))
            continue;
        const qulonglong metric = fields[5].toULongLong(&ok, 16);
        if (!ok)
            continue;
        if (best.isEmpty() || metric < bestMetric) {
            best = fields[9];
            bestMetric = metric;
        }
    }
    return best;
}

QByteArray LocalAddress::systemFile(const char* path)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(1024 * 1024);
}
