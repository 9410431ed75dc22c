#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// Our socket stand-in: the local machine's IPv4 address in dotted form, read from the interface table
// (getifaddrs) and the kernel's routing table; it sends no packet.
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

private:
    InterfaceSource m_interfaces;
    RouteTableSource m_routes;
};
