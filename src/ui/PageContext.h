#pragma once

#include <optional>
#include <string>

class QWidget;

namespace orvex {

class AppState;
class Scheduler;
class Host;
class MonitoredPrograms;

// An open-file dialog's set-up.
struct FileDialogSpec {
    std::string title;
    std::string filter;            // e.g. "Log Files (*.log) | *.log"
    std::string defaultExtension;  // e.g. "Log"
    std::string initialName;       // e.g. "*.log": with wildcards, the files listed at first
    std::string initialDir;
    bool mustExist = true;  // false: a name for a file not created yet may be given
    bool several = false;   // several files may be selected; the first one is the answer
};

// Open-file dialogs, behind an interface so tests can answer them.
class FilePicker {
public:
    virtual ~FilePicker() = default;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<std::string> OpenFile(QWidget* parent, const FileDialogSpec& dialog) = 0;
};

// What the pages work with. All of it lives as long as the main window.
struct PageContext {
    AppState& state;
    Scheduler& scheduler;  // ScheduleRefresh when the interval is committed
    Host& boxes;           // message boxes, on the window's thread
    FilePicker& picker;
    MonitoredPrograms& programs;  // the monitored-program list of the cycles
    std::string startDir;         // the start-up directory, restored by the FTP pickers
};

}  // namespace orvex
