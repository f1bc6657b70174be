#include "ui/dialogs/QtFilePicker.h"

#include <QFileDialog>
#include <QRegularExpression>
#include <QStringList>

namespace orvex {

// A filter list of the form "Name (*.a;*.b)|*.a;*.b|...||" becomes the Qt filters
// "Name (*.a *.b)": Qt takes the patterns from the parentheses, separated by blanks, and
// "*.*" means every file.
QString QtFileFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i].trimmed();
        name.remove(QRegularExpression("\\s*\\([^)]*\\)\\s*$"));
        QStringList patterns = parts[i + 1].trimmed().split(';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == "*.*") {
                pattern = "*";
            }
        }
        if (!name.isEmpty() && !patterns.isEmpty()) {
            filters << QString("%1 (%2)").arg(name, patterns.join(' '));
        }
    }
    return filters.join(";;");
}

std::optional<std::string> QtFilePicker::OpenFile(QWidget* parent, const FileDialogSpec& setup) {
    QFileDialog dialog(parent, QString::fromStdString(setup.title),
                       QString::fromStdString(setup.initialDir), QtFileFilter(setup.filter));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QString extension = QString::fromStdString(setup.defaultExtension);
    // Only a real extension is added to a name typed without one.
    if (!extension.isEmpty() && !extension.contains(' ')) {
        dialog.setDefaultSuffix(extension);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front().toStdString();
}

}  // namespace orvex
