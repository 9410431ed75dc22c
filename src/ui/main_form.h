#pragma once

#include "run/engine.h"

#include <QWidget>

class QLabel;

// The program's main window. (Layout still to come: for now a placeholder that owns the engine.)
class MainForm : public QWidget, public FormView
{
    Q_OBJECT
public:
    explicit MainForm(QWidget* parent = nullptr);
    ~MainForm() override;

    Engine& engine() { return m_engine; }

    QString IP_address() const override { return m_ipAddress; }
    void setIP_address(const QString& caption) override { m_ipAddress = caption; }
    QString CHIKANto0() const override { return m_chikanTo0; }
    void setCHIKANto0(const QString& text) override { m_chikanTo0 = text; }
    QString CHIKANto1() const override { return m_chikanTo1; }
    void setCHIKANto1(const QString& text) override { m_chikanTo1 = text; }
    QString FTP_now() const override { return m_ftpNow; }
    void setFTP_now(const QString& caption) override { m_ftpNow = caption; }
    QString FTP_Kekka() const override { return m_ftpKekka; }
    void setFTP_Kekka(const QString& caption) override { m_ftpKekka = caption; }
    QString GlobalURL() const override { return m_engine.settings.global.GLOBALURL; }
    bool UseRoute(int index) const override { return index == m_engine.settings.global.USEROUTE; }
    QString TIMERset() const override { return m_engine.settings.global.TIMERSET; }
    void Set_Memory(int) override {}
    void Put_Memory(int) override {}

private:
    Engine m_engine;
    QString m_ipAddress = QStringLiteral("未取得");
    QString m_chikanTo0 = QStringLiteral("HOSTNAME");
    QString m_chikanTo1 = QStringLiteral("NOWDTTM");
    QString m_ftpNow = QStringLiteral("未実行");
    QString m_ftpKekka;
};
