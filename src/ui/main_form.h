#pragma once

#include "run/engine.h"
#include "run/resident.h"
#include "ui/tray_icon.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class ImageLabel;
class Ipv6Form;
class OptionButton;
class TabStrip;
class TerminationSignals;

// The program's only working window: the shared settings on the tab "基本設定", one transfer slot at a time on
// the tabs "設定1" to "設定9", the buttons along the bottom and the status line. Controls carry their names
// as object names. It owns the engine and shows it the few controls that are shared state. Its start and end
// are Resident's; the window adds only its own part: the close question and reasons, the icon, and waiting
// for its editor windows.
class MainForm : public QWidget, public FormView
{
    Q_OBJECT
public:
    explicit MainForm(const CodePage& codePage = CodePage::system(), QWidget* parent = nullptr);
    ~MainForm() override;

    Engine& engine() { return m_engine; }

    // FormView
    QString IP_address() const override;
    void setIP_address(const QString& caption) override;
    QString CHIKANto0() const override;
    void setCHIKANto0(const QString& text) override;
    QString CHIKANto1() const override;
    void setCHIKANto1(const QString& text) override;
    QString FTP_now() const override;
    void setFTP_now(const QString& caption) override;
    QString FTP_Kekka() const override;
    void setFTP_Kekka(const QString& caption) override;
    void setIP_addressToolTip(const QString& text) override;
    QString IP_address6() const override;
    void setIP_address6(const QString& caption) override;
    QString CHIKANto2() const override;
    void setCHIKANto2(const QString& text) override;
    void setIP_address6ToolTip(const QString& text) override;
    void setFTP_nowToolTip(const QString& text) override;
    void setFTP_KekkaToolTip(const QString& text) override;
    bool askTrust(const ServerIdentity& identity) override;
    QString GlobalURL() const override;
    bool UseRoute(int index) const override;
    QString TIMERset() const override;
    void Set_Memory(int No) override;
    void Put_Memory(int No) override;

    // Why the window is asked to close: the user (close box, system menu, Alt+F4) is asked first; the
    // program's own end button and the desktop's ends (logout, SIGTERM, SIGINT, SIGHUP) are not.
    enum CloseReason { CloseByUser = 0, CloseByProgram = 1, CloseBySystem = 2 };

    // Runs when the window is created, before the event loop.
    void Form_Load();
    // A request to end the program; refused only when the user answers No.
    void Form_QueryUnload(int UnloadMode);

    TaskTray& tray() { return m_tray; }
    bool isClosing() const { return m_closing; }

    void TabStrip1_Click();
    void Command_SAVE_Click();
    void AutoExec_Click();
    void OK_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Image1_Click();
    // Opens the IPv6 settings; their OK takes them into the model.
    void Command7_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Unload();
    void exitWhenAlone();

    // Set_Memory's copy from the controls into the model.
    void commitShown(int No);

    void createControls();
    void setKeyboardOrder();
    void moveToClientArea(QWidget* page);
    // The address line's tooltip: why or when for IPv4, and the IPv6 address while it is looked up.
    void showAddressToolTip();

    Engine m_engine;
    Resident m_resident; // the start and end sequence, which the headless service shares
    TaskTray m_tray;
    TerminationSignals* m_terminationSignals = nullptr;
    int m_nextCloseReason = CloseByUser;
    int m_closeReason = CloseByUser; // of the accepted close
    bool m_closing = false;          // an accepted close is under way
    bool m_unloaded = false;         // the shutdown has run; the window may go

    // Bottom of the window.
    ImageLabel* m_Image1 = nullptr;
    QFrame* m_Line1 = nullptr;
    QLabel* m_FTP_now = nullptr;
    QPushButton* m_OK = nullptr;
    QPushButton* m_Command2 = nullptr;
    QPushButton* m_Command_SAVE = nullptr;
    TabStrip* m_TabStrip1 = nullptr;
    QFrame* m_Frame1 = nullptr;
    QFrame* m_Frame2 = nullptr;

    // Shared-settings page.
    QGroupBox* m_Frame3 = nullptr;
    std::array<OptionButton*, 2> m_UseRoute{};
    QLineEdit* m_GlobalURL = nullptr;
    QLabel* m_IP_address = nullptr;
    QPushButton* m_GetGlobalIP = nullptr;
    QGroupBox* m_Frame4 = nullptr;
    QLineEdit* m_FTPserverName = nullptr;
    QLineEdit* m_FTPuserID = nullptr;
    QLineEdit* m_FTPuserPASS = nullptr;
    QGroupBox* m_Frame5 = nullptr;
    QCheckBox* m_TASKTRAYcheck = nullptr;
    QCheckBox* m_Log_Out_check = nullptr;
    QPushButton* m_Command6 = nullptr;
    QCheckBox* m_AutoExec = nullptr;
    QComboBox* m_TIMERset = nullptr;
    QPushButton* m_Command1 = nullptr;
    QPushButton* m_Command7 = nullptr;
    Ipv6Form* m_Ipv6Form = nullptr;
    QString m_addressToolTip;
    QString m_address6ToolTip;

    // Slot page.
    QCheckBox* m_OKcheck = nullptr;
    QGroupBox* m_Frame6 = nullptr;
    QLineEdit* m_FTPputFROM = nullptr;
    QPushButton* m_Command5 = nullptr;
    QPushButton* m_Command4 = nullptr;
    QPushButton* m_Command3 = nullptr;
    QCheckBox* m_CHIKANcheck0 = nullptr;
    QLineEdit* m_CHIKANfrom0 = nullptr;
    QLineEdit* m_CHIKANto0 = nullptr;
    QCheckBox* m_CHIKANcheck1 = nullptr;
    QLineEdit* m_CHIKANfrom1 = nullptr;
    QLineEdit* m_CHIKANto1 = nullptr;
    QLineEdit* m_FTPdir = nullptr;
    QLineEdit* m_FTPputTO = nullptr;
    OptionButton* m_EXEC_TIMING1 = nullptr;
    OptionButton* m_EXEC_TIMING2 = nullptr;
    OptionButton* m_EXEC_TIMING3 = nullptr;
    QLabel* m_FTP_Kekka = nullptr;
    QPushButton* m_FTPcommand = nullptr;
};
