#pragma once

#include <QString>

class QFileDialog;

#include "ui/PageContext.h"

namespace orvex {

// An open-file dialog's filter list ("HTML Files (*.html;*.htm)|*.html;*.htm|...||") as Qt
// name filters ("HTML Files (*.html *.htm)", separated by ";;").
QString QtFileFilter(const std::string& filter);

// Gives the dialog the title, folder, filters, initial name, default extension and the kind
// of choice `setup` describes.
void SetUpFileDialog(QFileDialog& dialog, const FileDialogSpec& setup);

// Open-file dialogs of the desktop.
class QtFilePicker : public FilePicker {
public:
    std::optional<std::string> OpenFile(QWidget* parent, const FileDialogSpec& setup) override;
};

}  // namespace orvex
