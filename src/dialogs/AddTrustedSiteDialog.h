#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class AddTrustedSiteDialog;
}

namespace tessal {
namespace qt {

// Asks whether an access server that is not on the trusted-site list may go
// on. The result code tells the answer: 0 always, 1 this session only, 2 no.
class AddTrustedSiteDialog final : public QDialog
{
    Q_OBJECT

public:
    enum Answer {
        AlwaysAllow = 0,
        AllowForSession = 1,
        DoNotAllow = 2,
    };

    AddTrustedSiteDialog(QWidget* parent, bool vpnMode, const QString& site);
    ~AddTrustedSiteDialog() override;

public slots:
    void on_btnAlwaysAllow_clicked();
    void on_btnAllowForSession_clicked();
    void on_btnDoNotAllow_clicked();
    // Escape and every other way of dismissing the dialog refuse the site.
    void reject() override;

private:
    Ui::AddTrustedSiteDialog* ui;
};

} // namespace qt
} // namespace tessal
