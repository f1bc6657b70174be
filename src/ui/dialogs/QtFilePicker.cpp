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

void SetUpFileDialog(QFileDialog& dialog, const FileDialogSpec& setup) {
    dialog.setWindowTitle(QString::fromStdString(setup.title));
    dialog.setDirectory(QString::fromStdString(setup.initialDir));
    QStringList filters;
    const QString filterList = QtFileFilter(setup.filter);
    if (!filterList.isEmpty()) {
        filters = filterList.split(";;");
    }
    const QString initialName = QString::fromStdString(setup.initialName);
    const bool wildcards = initialName.contains('*') || initialName.contains('?');
    if (wildcards) {
        // Patterns for a first name list the matching files first, as their own filter.
        const QString patterns = initialName.split(';', Qt::SkipEmptyParts).join(' ');
        filters.prepend(patterns);
    }
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.front());
    }
    if (!initialName.isEmpty() && !wildcards) {
        dialog.selectFile(initialName);
    }
    dialog.setFileMode(!setup.mustExist ? QFileDialog::AnyFile
                       : setup.several  ? QFileDialog::ExistingFiles
                                        : QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QString extension = QString::fromStdString(setup.defaultExtension);
    // Only a real extension is added to a name typed without one.
    if (!extension.isEmpty() && !extension.contains(' ')) {
        dialog.setDefaultSuffix(extension);
    }
}

std::optional<std::string> QtFilePicker::OpenFile(QWidget* parent, const FileDialogSpec& setup) {
    QFileDialog dialog(parent);
    SetUpFileDialog(dialog, setup);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front().toStdString();
}

}  // namespace orvex
