#pragma once

#include <QString>

struct ServerIdentity;

// The few controls of the main window whose contents are the program's shared state: the caption of
// IP_address is the record of the last address, CHIKANto0/CHIKANto1 hold the replacement texts, and the run
// reads GlobalURL, UseRoute and TIMERset straight from their controls. MainForm implements this with its
// widgets; the engine's tests implement it with plain fields. The engine never sees a widget.
class FormView
{
public:
    virtual ~FormView() = default;

    virtual QString IP_address() const = 0;
    virtual void setIP_address(const QString& caption) = 0;
    virtual QString CHIKANto0() const = 0;
    virtual void setCHIKANto0(const QString& text) = 0;
    virtual QString CHIKANto1() const = 0;
    virtual void setCHIKANto1(const QString& text) = 0;
    // The IPv6 address's caption and the text that replaces the IPv6 marker, as IP_address and CHIKANto0 are
    // for IPv4. Left as they are while IPv6 is not looked up.
    virtual QString IP_address6() const = 0;
    virtual void setIP_address6(const QString& caption) = 0;
    virtual QString CHIKANto2() const = 0;
    virtual void setCHIKANto2(const QString& text) = 0;
    virtual QString FTP_now() const = 0;
    virtual void setFTP_now(const QString& caption) = 0;
    virtual QString FTP_Kekka() const = 0;
    virtual void setFTP_Kekka(const QString& caption) = 0;

    // What stands behind a caption, shown when the pointer rests on it: a failure's stage and the server's
    // reply, or when it last succeeded. Views without a pointer keep none.
    virtual void setIP_addressToolTip(const QString&) {}
    virtual void setIP_address6ToolTip(const QString&) {}
    virtual void setFTP_nowToolTip(const QString&) {}
    virtual void setFTP_KekkaToolTip(const QString&) {}

    // Asks the person at the window whether to trust a server that showed an unknown host key or certificate
    // (or only tells them, for a changed one); true when they chose to trust it. Views without a person never
    // do, and a run nobody started never asks.
    virtual bool askTrust(const ServerIdentity&) { return false; }

    virtual QString GlobalURL() const = 0;
    virtual bool UseRoute(int index) const = 0;
    virtual QString TIMERset() const = 0;

    // The slot editor's two copy steps: No < 0 the shared settings, 0 to 10 a slot, above 10 nothing.
    virtual void Set_Memory(int No) = 0;
    virtual void Put_Memory(int No) = 0;
};
