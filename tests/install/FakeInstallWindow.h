#pragma once
// A window without pixels and a clock that only moves when the code under test waits: the
// install sequence and the pacing run against it in milliseconds of real time.
//
// The timer behaves like a Windows timer: at most one tick is pending at a time, a tick is
// handled only while messages are pumped, and enabling a running timer keeps its period.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "install/InstallWindow.h"
#include "platform/CodePage.h"
#include "utils/mUtils.h"

class FakeClockPump : public MessagePump {
public:
    std::uint32_t now = 0;
    bool timerEnabled = false;
    std::uint32_t nextTick = 0;
    std::function<void()> onTick;
    std::function<void()> onPump;
    int pumps = 0;
    int waits = 0;

    std::uint32_t TickCount() override { return now; }

    void PumpMessages() override {
        ++pumps;
        if (onPump) onPump();
        if (timerEnabled && static_cast<std::int32_t>(now - nextTick) >= 0) {
            nextTick = now + 100;
            if (onTick) onTick();
        }
    }

    void WaitForMessages(std::uint32_t ms) override {
        ++waits;
        std::uint32_t step = ms;
        if (timerEnabled && nextTick - now < step) step = nextTick - now;
        now += step;
    }

    void SetTimerEnabled(bool enabled) {
        if (enabled && !timerEnabled) nextTick = now + 100;
        timerEnabled = enabled;
    }
};

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
