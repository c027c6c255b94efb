#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "settings/installer_settings.h"
#include "support/scratch_home.h"
#include "support/temp_folder.h"
#include "toolkit/headless_host.h"
#include "ui/message_box_wnd.h"

namespace ui_test {

// A machine of the test's own: home, configuration (the registry store), data and temporary
// folders inside one temp folder, so install records, install folders and analytics files land
// there; the settings record is put back afterwards. Analytics reports nothing unless a test
// switches it on (reports made without a tracker would otherwise wait for the next one).
class InstallerEnvironment {
public:
    InstallerEnvironment() {
        for (const char* folder : {"home/.config", "home/.local/share", "tmp"}) {
            std::filesystem::create_directories(temp_.path() / folder);
        }
        g_settings.IsEnableAppUsage = false;
        g_settings.IsCheckNet = false;
        g_settings.DownloadType = 1;
        g_settings.DownloadScale = 0.7;
        // Nothing listens there: a test that reaches the download by mistake fails at once
        // instead of going to the maker's server.
        g_settings.SetDownloadUrl(L"http://127.0.0.1:9/software/327");
    }
    ~InstallerEnvironment() { g_settings = saved_; }
    InstallerEnvironment(const InstallerEnvironment&) = delete;
    InstallerEnvironment& operator=(const InstallerEnvironment&) = delete;

    const test_support::TempFolder& temp() const { return temp_; }
    std::filesystem::path path() const { return temp_.path(); }
    std::filesystem::path dataHome() const { return temp_.path() / "home/.local/share"; }

private:
    test_support::ScratchHome home_;
    const test_support::TempFolder& temp_ = home_.temp();
    const InstallerSettings saved_ = g_settings;
};

// What a prompt showed when it was answered.
struct SeenPrompt {
    std::wstring layout;   // as the caller named it, e.g. "ExitTipWnd.xml"
    std::wstring caption;  // the text of captionLbl; empty for prompts without one
    std::wstring text;     // the text of textLbl; empty for prompts without one
    bool ownerEnabled = true;
};

// One answer: the control a user clicks (empty: the prompt is closed without a click, as Alt+F4
// does), and what the test does first, while the prompt is still open.
struct PromptAnswer {
    std::wstring control;
    std::function<void()> before;
};

// Answers the prompts a scenario opens, in the order they open, from inside each prompt's modal
// loop (an idle action of the host). While no unanswered prompt is open it sleeps until something
// is posted, so a loop that waits for the pipeline does not spin; when nothing comes within the
// host's stall limit it gives up and leaves the stall to the loop.
class PromptAnswerer {
public:
    PromptAnswerer(SkinUI::HeadlessHost& host, std::vector<PromptAnswer> answers)
        : state_(std::make_shared<State>()) {
        state_->answers = std::move(answers);
        if (!state_->answers.empty()) {
            host.whenIdle([&host, state = state_] { act(host, state); });
        }
    }
    ~PromptAnswerer() { state_->cancelled = true; }
    PromptAnswerer(const PromptAnswerer&) = delete;
    PromptAnswerer& operator=(const PromptAnswerer&) = delete;

    const std::vector<SeenPrompt>& seen() const { return state_->seen; }
    bool allAnswered() const { return state_->seen.size() == state_->answers.size(); }

private:
    struct State {
        std::vector<PromptAnswer> answers;
        std::vector<SeenPrompt> seen;
        std::uint64_t lastAnsweredId = 0;
        bool cancelled = false;
    };

    static std::wstring textOf(const SkinUI::Window& window, std::wstring_view name) {
        const SkinUI::Control* control = window.findControl(name);
        return control != nullptr ? control->text() : std::wstring();
    }

    static void act(SkinUI::HeadlessHost& host, const std::shared_ptr<State>& state) {
        if (state->cancelled || state->seen.size() >= state->answers.size()) {
            return;
        }
        auto* prompt = dynamic_cast<CMessageBoxWnd*>(host.newestWindow());
        if (prompt != nullptr && prompt->isAlive() && prompt->id() != state->lastAnsweredId) {
            const PromptAnswer& answer = state->answers[state->seen.size()];
            const SkinUI::Window* owner = prompt->owner();
            state->seen.push_back({prompt->skinFile(), textOf(*prompt, L"captionLbl"),
                                   textOf(*prompt, L"textLbl"),
                                   owner == nullptr || owner->isEnabled()});
            state->lastAnsweredId = prompt->id();
            if (answer.before) {
                answer.before();
            }
            if (answer.control.empty()) {
                prompt->close(SkinUI::kCloseButtonResult);
            } else if (!host.click(*prompt, answer.control)) {
                ADD_FAILURE() << "the prompt has no clickable control of that name";
                prompt->close(SkinUI::kCloseButtonResult);
            }
        } else if (!host.queue()->waitFor(SkinUI::HeadlessHost::kStallLimitMs)) {
            return;
        }
        if (state->seen.size() < state->answers.size()) {
            host.whenIdle([&host, state] { act(host, state); });
        }
    }

    std::shared_ptr<State> state_;
};

}  // namespace ui_test
