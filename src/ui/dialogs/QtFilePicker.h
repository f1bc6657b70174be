#pragma once

#include "ui/PageContext.h"

namespace orvex {

// Open-file dialogs of the desktop.
class QtFilePicker : public FilePicker {
public:
    std::optional<std::string> OpenFile(QWidget* parent, const FileDialogSpec& spec) override;
};

}  // namespace orvex
