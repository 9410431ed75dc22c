#pragma once

#include "settings/settings_model.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class OptionButton;

// The IPv6 settings, a window of their own opened from the basic page (the pages of the main window are full):
// how the IPv6 address is found, the address found, and each slot's IPv6 marker and its tick. It edits a copy
// and hands it over on OK; Cancel and the close box drop what was typed.
class Ipv6Form : public QWidget
{
    Q_OBJECT
public:
    explicit Ipv6Form(QWidget* parent);

    // Shows the settings of the model, each slot's marker beside its number.
    void showSettings(const SettingsModel& settings);
    // Writes what the window shows into the model: USEIPV6, GLOBALURL6 and slots 0 to 8's markers and ticks.
    void commitSettings(SettingsModel& settings) const;

    // The address found and the text that replaces the marker, shared state as on the basic page.
    QLabel* addressLabel() const { return m_IP_address6; }
    QLineEdit* replacementBox() const { return m_CHIKANto2; }

signals:
    // OK: the caller takes the settings with commitSettings().
    void accepted();

private:
    void updateEnabled();

    QCheckBox* m_UseIPv6 = nullptr;
    std::array<OptionButton*, 2> m_IPv6Route{};
    QLineEdit* m_GlobalURL6 = nullptr;
    QLabel* m_IP_address6 = nullptr;
    QLineEdit* m_CHIKANto2 = nullptr;
    std::array<QCheckBox*, SlotCount> m_CHIKANcheck2{};
    std::array<QLineEdit*, SlotCount> m_CHIKANfrom2{};
    QPushButton* m_OK = nullptr;
    QPushButton* m_Cancel = nullptr;
};
