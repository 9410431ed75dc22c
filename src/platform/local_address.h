#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// Our socket stand-in: the local machine's IPv4 address in dotted form, read from the interface table
// (getifaddrs) and the kernel's routing table, and its global IPv6 address, read from the kernel's address
// and IPv6 routing tables; it sends no packet.
class LocalAddress
{
public:
    struct Interface
    {
        QByteArray name;
        bool up = false;
        bool loopback = false;
        QString ipv4; // dotted form
    };
    using InterfaceSource = std::function<QList<Interface>()>;
    using RouteTableSource = std::function<QByteArray()>; // the text of /proc/net/route
    using TextSource = std::function<QByteArray()>;

    LocalAddress();

    // Tests hand in their own tables; the defaults read the system's.
    void setSources(InterfaceSource interfaces, RouteTableSource routes);

    // The address of the interface that holds the default route, else the first non-loopback address of an
    // interface that is up; empty when there is none.
    QString LocalIP() const;

    static QString chooseAddress(const QList<Interface>& interfaces, const QByteArray& defaultRouteInterface);
    // The interface of the default route with the lowest metric; empty when there is none.
    static QByteArray defaultRouteInterface(const QByteArray& routeTable);

    static QList<Interface> systemInterfaces();
    static QByteArray systemRouteTable();

    // IPv6: the texts of /proc/net/if_inet6 and /proc/net/ipv6_route; the defaults read the system's.
    void setIpv6Sources(TextSource addresses, TextSource routes);
    // A global address of this computer that others can reach and that stays (see chooseIpv6Address); empty
    // when there is none.
    QString LocalIPv6() const;
    // The first global unicast address (2000::/3, global scope) of the address table that is neither
    // temporary, deprecated, tentative nor failed its duplicate check; one on the interface of the IPv6
    // default route first. Never link-local, unique-local or loopback. Compressed form, lower case.
    static QString chooseIpv6Address(const QByteArray& ifInet6, const QByteArray& defaultRouteInterface);
    // The interface of the IPv6 default route with the lowest metric (routes that are up and do not reject);
    // empty when there is none.
    static QByteArray defaultRouteInterface6(const QByteArray& ipv6Routes);

private:
    static QByteArray systemFile(const char* path);

    InterfaceSource m_interfaces;
    RouteTableSource m_routes;
    TextSource m_ipv6Addresses;
    TextSource m_ipv6Routes;
};
