#pragma once

#include <string>

namespace orvex {

// Buttons, icon and default button of a message box.
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Error, Warning, Question, Information };
enum class MsgAnswer { Ok, Cancel, Yes, No };

struct MessageBoxRequest {
    std::string text;
    std::string caption = "Orvex";
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
    int defaultButton = 1;  // 1 = first button, 2 = second, 3 = third
};

// What a publishing cycle (or any subsystem reporting to the user) may ask of the main window.
// Every call is synchronous: it returns after the window's thread has handled it. Once the
// window is gone, a Host does nothing and message boxes answer as if dismissed (Ok / Cancel /
// No, the box's last button).
class Host {
public:
    virtual ~Host() = default;

    // A new host message: the window shows it on the Status page and logs it.
    virtual void Status(const std::string& text) = 0;
    // Cycle codes: 100 / 101 show and hide the shutdown window, 200 / 201 disable and enable
    // the Refresh button, -1 reports a failed offline publication at exit.
    virtual void Cycle(int code) = 0;
    // The offline cycle is done: close the program.
    virtual void ExitRequest() = 0;
    virtual MsgAnswer MessageBox(const MessageBoxRequest& request) = 0;
    // Makes page `index` (0 to 5) the active page of the main window.
    virtual void ActivatePage(int index) = 0;
};

// A Host that does nothing; what a late worker reaches once the window is destroyed.
class NullHost : public Host {
public:
    void Status(const std::string&) override {}
    void Cycle(int) override {}
    void ExitRequest() override {}
    MsgAnswer MessageBox(const MessageBoxRequest& request) override;
    void ActivatePage(int) override {}
};

// The answer of a message box closed without a choice.
MsgAnswer DismissedAnswer(MsgButtons buttons);

}  // namespace orvex
