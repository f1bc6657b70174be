#pragma once

#include <string>

#include "platform/HostMessage.h"

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

// What a cycle asks of the window besides messages; the values are the ones the log and the
// tests' transcripts record.
enum class CycleCode : int {
    ShowShutdownWindow = 100,
    HideShutdownWindow = 101,
    DisableRefresh = 200,
    EnableRefresh = 201,
    OfflinePublishFailed = -1,  // the offline page could not be published at exit
};

// A page of the main window. Its list belongs to the window's side (app/WindowPort.h), where
// the pages are named in tab order; here it is only the type a worker passes on.
enum class Page : int;

// What a publishing cycle (or any subsystem reporting to the user) may ask of the main window.
// Every call is synchronous: it returns after the window's thread has handled it. Once the
// window is gone, a Host does nothing and message boxes answer as if dismissed (Ok / Cancel /
// No, the box's last button).
class Host {
public:
    virtual ~Host() = default;

    // A new host message: the window shows it on the Status page and logs it.
    virtual void Status(const HostMessage& message) = 0;
    virtual void Cycle(CycleCode code) = 0;
    // The offline cycle is done: close the program.
    virtual void ExitRequest() = 0;
    virtual MsgAnswer MessageBox(const MessageBoxRequest& request) = 0;
    // Makes `page` the active page of the main window.
    virtual void ActivatePage(Page page) = 0;
};

// A Host that does nothing; what a late worker reaches once the window is destroyed.
class NullHost : public Host {
public:
    void Status(const HostMessage&) override {}
    void Cycle(CycleCode) override {}
    void ExitRequest() override {}
    MsgAnswer MessageBox(const MessageBoxRequest& request) override;
    void ActivatePage(Page) override {}
};

// The answer of a message box closed without a choice.
MsgAnswer DismissedAnswer(MsgButtons buttons);

}  // namespace orvex
