#pragma once

#include "run/form_view.h"

#include <QList>

#include <functional>

// The main window's shared controls as plain fields, with the start-up captions of the real window.
class FakeView : public FormView
{
public:
    QString ipAddress = QStringLiteral("未取得");
    QString chikanTo0 = QStringLiteral("HOSTNAME");
    QString chikanTo1 = QStringLiteral("NOWDTTM");
    QString ipAddress6;
    QString chikanTo2 = QStringLiteral("HOSTNAME6");
    QString ipAddress6ToolTip;
    QString ftpNow = QStringLiteral("未実行");
    QString ftpKekka;
    QString ipAddressToolTip;
    QString ftpNowToolTip;
    QString ftpKekkaToolTip;
    QString globalUrl;
    int route = 0; // which UseRoute button is selected
    QString timerSet = QStringLiteral("5");
    QList<int> setMemoryCalls;
    QList<int> putMemoryCalls;
    QStringList ipAddressHistory;         // every caption IP_address was given, in order
    QStringList ftpNowHistory;            // every caption FTP_now was given, in order
    std::function<void(int)> onSetMemory; // runs inside Set_Memory: a way into the middle of a run

    QString IP_address() const override { return ipAddress; }
    void setIP_address(const QString& caption) override
    {
        ipAddress = caption;
        ipAddressHistory << caption;
    }
    QString CHIKANto0() const override { return chikanTo0; }
    void setCHIKANto0(const QString& text) override { chikanTo0 = text; }
    QString CHIKANto1() const override { return chikanTo1; }
    void setCHIKANto1(const QString& text) override { chikanTo1 = text; }
    QString IP_address6() const override { return ipAddress6; }
    void setIP_address6(const QString& caption) override { ipAddress6 = caption; }
    QString CHIKANto2() const override { return chikanTo2; }
    void setCHIKANto2(const QString& text) override { chikanTo2 = text; }
    void setIP_address6ToolTip(const QString& text) override { ipAddress6ToolTip = text; }
    QString FTP_now() const override { return ftpNow; }
    void setFTP_now(const QString& caption) override
    {
        ftpNow = caption;
        ftpNowHistory << caption;
    }
    QString FTP_Kekka() const override { return ftpKekka; }
    void setFTP_Kekka(const QString& caption) override { ftpKekka = caption; }
    void setIP_addressToolTip(const QString& text) override { ipAddressToolTip = text; }
    void setFTP_nowToolTip(const QString& text) override { ftpNowToolTip = text; }
    void setFTP_KekkaToolTip(const QString& text) override { ftpKekkaToolTip = text; }
    QString GlobalURL() const override { return globalUrl; }
    bool UseRoute(int index) const override { return index == route; }
    QString TIMERset() const override { return timerSet; }
    void Set_Memory(int No) override
    {
        setMemoryCalls << No;
        if (onSetMemory)
            onSetMemory(No);
    }
    void Put_Memory(int No) override { putMemoryCalls << No; }
};
