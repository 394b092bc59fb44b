#pragma once
// A window without pixels, on a clock that only moves when the code under test waits: the
// install sequence and the pacing run against it in milliseconds of real time.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "install/InstallWindow.h"
#include "platform/CodePage.h"
#include "support/FakeClockPump.h"

class FakeInstallWindow : public InstallWindow {
public:
    FakeInstallWindow() {
        using namespace cp936::literals;
        caption = "正在安装..."_gbk;  // the form's caption before the sequence sets one
        // Pumps between two other events show as one "pump": where the sequence lets the
        // window answer is what matters, not how often a pause polls.
        pump.onPump = [this] {
            if (events.empty() || events.back() != "pump") events.push_back("pump");
        };
    }

    FakeClockPump pump;
    int gauge = 0;
    std::vector<int> gaugeHistory;  // every value the gauge was set to
    std::string folder = "C:\\Program Files\\Korvane";
    CompanyDetails entries{"Company", "Address", "Department", "100000"};
    std::string caption;
    TipSet tips{};
    std::vector<std::string> events;  // what the window was told, in order
    bool busy = false;

    std::string FolderEditText() const override { return folder; }
    CompanyDetails CompanyEntries() const override { return entries; }
    void ShowInstallPicture() override { events.push_back("install picture"); }
    void ShowFinishPicture() override { events.push_back("finish picture"); }
    void SetStatusCaption(const std::string& text) override {
        caption = text;
        events.push_back("caption " + text);
    }
    void SetTips(const TipSet& lines) override {
        tips = lines;
        events.push_back("tips " + lines[0]);
    }
    void SetBusyCursor(bool value) override {
        busy = value;
        events.push_back(value ? "busy cursor" : "default cursor");
    }
    void EnableCloseButton() override { events.push_back("close button"); }
    int GaugeProgress() const override { return gauge; }
    void SetGaugeProgress(int progress) override {
        progress = progress < 0 ? 0 : progress > 100 ? 100 : progress;
        if (progress == gauge) return;
        gauge = progress;
        gaugeHistory.push_back(progress);
    }
    void SetTimerEnabled(bool enabled) override { pump.SetTimerEnabled(enabled); }
    MessagePump& Pump() override { return pump; }
};
