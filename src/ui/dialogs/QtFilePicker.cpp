#include "ui/dialogs/QtFilePicker.h"

#include <QFileDialog>
#include <QStringList>

namespace orvex {

namespace {

// "Log Files (*.log) | *.log" becomes the Qt filter "Log Files (*.log)".
QString QtFilter(const std::string& filter) {
    QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        filters << parts[i].trimmed();
    }
    return filters.join(";;");
}

}  // namespace

std::optional<std::string> QtFilePicker::OpenFile(QWidget* parent, const FileDialogSpec& spec) {
    QFileDialog dialog(parent, QString::fromStdString(spec.title),
                       QString::fromStdString(spec.initialDir), QtFilter(spec.filter));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QString::fromStdString(spec.defaultExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front().toStdString();
}

}  // namespace orvex
