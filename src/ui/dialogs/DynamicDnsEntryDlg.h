#pragma once

#include <QDialog>

#include <map>
#include <string>

#include "settings/DynamicDnsEntry.h"
#include "settings/DynamicDnsKinds.h"
#include "ui/pages/PageWidgets.h"

class QComboBox;
class QFormLayout;
class QLabel;

namespace orvex {

class Host;

// "Dynamic DNS Entry": one entry of the Dynamic DNS page. Its first field is the provider
// (typing filters the list), the providers of the catalog first and the generic kinds at the
// end; it shows the fields of the rule table's row for it only (settings/DynamicDnsKinds.h).
// OK refuses an entry the rule table's check finds fault with, with a box that says what is
// wrong, and stores nothing anywhere itself: the page takes Entry() after OK.
class CDynamicDnsEntryDlg : public QDialog {
    Q_OBJECT
public:
    CDynamicDnsEntryDlg(const DynamicDnsEntry& entry, Host& boxes, QWidget* parent = nullptr);

    // OK: checks the entry; closes only when it is complete.
    void accept() override;

    // The entry as the dialog shows it: the fields of the chosen protocol as typed (trimmed),
    // those of the other protocols empty, the last result as it came in.
    DynamicDnsEntry Entry() const;

signals:
    // F1 or "Help": the help on the chosen provider or kind ("DynamicDns.htm#url", ...).
    void HelpRequested(const QString& topic);

private:
    void ShowProtocolFields();
    CommitEdit* AddField(const char* name, size_t maxBytes, Accepts accepts);
    // The row of the rule table the provider list shows, or nullptr.
    const DdnsKind* ChosenKind() const;

    DynamicDnsEntry original_;
    Host& boxes_;
    QFormLayout* form_;
    QComboBox* protocol_;
    QComboBox* family_;
    CommitEdit* suffix_;
    QLabel* hint_;
    // Every text field of an entry by its key; the chosen kind's are shown.
    std::map<std::string, CommitEdit*> fields_;
};

}  // namespace orvex
