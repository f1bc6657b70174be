#pragma once

#include <QString>
#include <QWidget>

namespace orvex {

// One page of the main window. A page marks itself modified when the user changes a value;
// the sheet's "&Save" button is enabled while any page is marked.
class SheetPage : public QWidget {
    Q_OBJECT
public:
    explicit SheetPage(const QString& caption, QWidget* parent = nullptr);

    const QString& Caption() const { return caption_; }

    bool IsModified() const { return modified_; }
    void SetModified(bool modified = true);

    // The page became the active page (every time). The base records that it has been shown.
    virtual void OnSetActive();
    bool WasShown() const { return shown_; }

signals:
    void ModifiedChanged();

private:
    QString caption_;
    bool modified_ = false;
    bool shown_ = false;
};

}  // namespace orvex
