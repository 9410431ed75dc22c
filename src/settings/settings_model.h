#pragma once

#include <QString>
#include <QList>
#include <QStringList>

#include <array>

inline constexpr int SlotCount = 9;      // the slots the user sees: "設定1" to "設定9"
inline constexpr int SlotTableSize = 11; // entries 0 to 10; the settings file may address all of them

// The echo page asked by default: it answers "Current IP Address: a.b.c.d", which the page parser reads.
inline constexpr char DefaultGlobalUrl[] = "http://checkip.dyndns.org/";
// Its IPv6 counterpart, which answers "Current IP Address: 2001:db8::7" (fetched over IPv6 only).
inline constexpr char DefaultGlobalUrl6[] = "http://checkipv6.dyndns.org/";

// How the IPv6 address is found (USEIPV6): not at all, from an echo page, or from this computer's interface.
enum Ipv6Lookup : qint16 { Ipv6Off = 0, Ipv6EchoPage = 1, Ipv6Interface = 2 };

// Fields carry their settings-file keys. Check-box values are 16-bit integers tested against 1
// (LOG counts as on whenever it is not 0); Booleans are plain bool.
struct GlobalSettings
{
    QString GLOBALURL;
    qint16 USEROUTE = 0;
    QString FTPSERVERNAME;
    QString FTPUSERID;
    QString FTPUSERPASS;
    qint16 TASKTRAY = 0;
    qint16 AUTOEXEC = 0;
    QString TIMERSET;
    qint16 LOG = 0;
    // Written after the records above, and only when one of the IPv6 records differs from its default.
    qint16 USEIPV6 = Ipv6Off;
    QString GLOBALURL6;
};

struct TransferSlot
{
    qint16 OKCHECK = 0;
    QString TEMPLATE;
    QString HOSTNAME;
    QString NOWDTTM;
    qint16 HOSTNAMEEXEC = 0;
    qint16 NOWDTTMEXEC = 0;
    QString FTPDIR;
    QString FTPFILENAME;
    bool EXEC_TIMING1 = false;
    bool EXEC_TIMING2 = false;
    bool EXEC_TIMING3 = false;
    QString HOSTNAME6;
    qint16 HOSTNAME6EXEC = 0; // off by default: a slot uses the IPv6 address only when asked to

    // Run state, never stored.
    QString ResultText;
    QString ResultToolTip; // why the last upload failed, or when it succeeded
    bool ChangeSent = false;
    // destinationOf() the slot at its last successful on-change upload: a page that went up elsewhere, or
    // from another template, is not the page the slot now asks for.
    QString SentDestination;
};

struct SettingsModel
{
    GlobalSettings global;
    std::array<TransferSlot, SlotTableSize> slot;

    // The start-up defaults: shared settings and slot entries 0 to 9; entry 10 stays empty.
    void applyDefaults();

    // Any IPv6 record differs from its default: only then are they written to the settings file.
    bool usesIpv6Records() const;
};

// What decides which page goes where for a slot: the server and user, the remote folder and file name, the
// template and its markers with their switches. Equal texts, the same page in the same place.
QString destinationOf(const GlobalSettings& global, const TransferSlot& slot);

// Slots 0 to 8 whose destination differs between before and after: their result line goes back to "未実行",
// since the last result was about another page. Returns those slots.
QList<int> resetChangedResults(const SettingsModel& before, SettingsModel& after);

// The twenty periods of the TIMERset list, in minutes, in list order.
const QStringList& timerSetTexts();
