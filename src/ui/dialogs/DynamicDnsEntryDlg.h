#pragma once

#include <QDialog>

#include <string>

#include "settings/DynamicDnsEntry.h"
#include "ui/pages/PageWidgets.h"

class QComboBox;
class QFormLayout;
class QLabel;

namespace orvex {

class Host;

// Why an entry cannot be used as it stands: the first fault found, in words for the user, and
// the key of the field to mend ("Hosts", "TTL", ...). An empty text: nothing wrong.
struct DynamicDnsEntryProblem {
    std::string text;
    std::string field;
};

// Checks that the fields the entry's protocol needs are filled in, the host names are names
// (inside the zone, for a DNS UPDATE), the TSIG secret is base64, the TTL lies in range and
// the addresses to publish are chosen.
DynamicDnsEntryProblem CheckDynamicDnsEntry(const DynamicDnsEntry& entry);

// "Dynamic DNS Entry": one entry of the Dynamic DNS page. It shows the fields of the chosen
// protocol only; OK refuses an incomplete entry with a box that says what is missing, and
// stores nothing anywhere itself: the page takes Entry() after OK.
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
    // F1 or "Help": the help on the chosen protocol ("DynamicDns.htm#url", ...).
    void HelpRequested(const QString& topic);

private:
    void ShowProtocolFields();
    CommitEdit* AddField(const char* name, const char* label, size_t maxBytes, Accepts accepts);

    DynamicDnsEntry original_;
    Host& boxes_;
    QFormLayout* form_;
    QComboBox* protocol_;
    QComboBox* family_;
    QLabel* hint_;
    CommitEdit* server_;
    CommitEdit* hosts_;
    CommitEdit* user_;
    CommitEdit* password_;
    CommitEdit* url_;
    CommitEdit* expect_;
    CommitEdit* zone_;
    CommitEdit* tsigName_;
    CommitEdit* tsigSecret_;
    CommitEdit* ttl_;
    CommitEdit* command_;
};

}  // namespace orvex
