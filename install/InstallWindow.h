#pragma once
// What the install sequence and the progress pacing need of the main window. TMainForm
// implements it; tests implement it with a fake window and a fake clock. Nothing here
// knows of pixels or widgets. Texts are code page 936.

#include <array>
#include <string>

class MessagePump;

// The four company details as the information page's boxes hold them, untrimmed.
struct CompanyDetails {
    std::string name;        // Edit2
    std::string address;     // Edit4
    std::string department;  // Edit5
    std::string postcode;    // Edit6
};

// The five lines of a tip set, RxLabel1 first; an empty text clears its label.
using TipSet = std::array<std::string, 5>;

class InstallWindow {
public:
    virtual ~InstallWindow() = default;

    // What the person entered.
    virtual std::string FolderEditText() const = 0;  // DE1
    virtual CompanyDetails CompanyEntries() const = 0;

    // The header panel 240 high over the progress page, header strip hidden, installation
    // background shown.
    virtual void ShowInstallPicture() = 0;
    // Installation background hidden, finish picture shown.
    virtual void ShowFinishPicture() = 0;
    virtual void SetStatusCaption(const std::string& caption) = 0;  // InfoLabel
    virtual void SetTips(const TipSet& tips) = 0;                   // RxLabel1 .. RxLabel5
    // The hourglass while busy, else the default cursor.
    virtual void SetBusyCursor(bool busy) = 0;
    // ExitBtn enabled, captioned "关闭", focused.
    virtual void EnableCloseButton() = 0;

    // The gauge: SetGaugeProgress clamps to 0..100, does nothing for an unchanged value
    // and otherwise repaints before it returns.
    virtual int GaugeProgress() const = 0;
    virtual void SetGaugeProgress(int progress) = 0;
    // Timer1 (100 ms); enabling a running timer does not restart its period.
    virtual void SetTimerEnabled(bool enabled) = 0;

    // The window's message pump and clock.
    virtual MessagePump& Pump() = 0;
};
