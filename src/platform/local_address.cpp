#include "platform/local_address.h"

#include <QFile>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <limits>

LocalAddress::LocalAddress() : m_interfaces(&LocalAddress::systemInterfaces), m_routes(&LocalAddress::systemRouteTable)
{
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
    QFile file(QStringLiteral("/proc/net/route"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(1024 * 1024);
}
