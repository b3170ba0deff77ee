#include "dialogs/AddTrustedSiteDialog.h"

#include <QCoreApplication>
#include <QFont>

#include "dialogs/CertificateDetails.h"
#include "dialogs/ServerUrls.h"
#include "ui_AddTrustedSiteDialog.h"

// The warning image is the one the certificate warning shows.
static void registerWarningImage()
{
    Q_INIT_RESOURCE(certificates);
}

namespace tessal {
namespace qt {

AddTrustedSiteDialog::AddTrustedSiteDialog(QWidget* parent, bool vpnMode, const QString& site)
    // No close, minimise or maximise button: the user answers with one of the three.
    : QDialog(parent, Qt::CustomizeWindowHint | Qt::WindowTitleHint), ui(new Ui::AddTrustedSiteDialog)
{
    registerWarningImage();
    ui->setupUi(this);

    // The site comes from the launch URL, which any web page can open: it is
    // shown as plain text, never interpreted as markup.
    // A look-alike name is shown in its ASCII form; a long one wraps.
    ui->labelUrl->setTextFormat(Qt::PlainText);
    const QString shown = wrappableText(displayedCertificateField(displayedSite(site)));
    if (vpnMode) {
        ui->labelUrl->setText(
            QCoreApplication::translate(
                "QObject",
                "The site %1 is attempting to start a Virtual Private Network (VPN) connection from your system.")
                .arg(shown));
        ui->btnAlwaysAllow->setText(
            QCoreApplication::translate("QObject", "Always allow VPN connection from this site"));
        ui->btnAllowForSession->setText(
            QCoreApplication::translate("QObject", "Allow VPN connection only for this session"));
        ui->btnDoNotAllow->setText(QCoreApplication::translate("QObject", "Do not allow VPN connection"));
    } else {
        ui->labelUrl->setText(
            QCoreApplication::translate("QObject", "The site %1 is attempting to inspect your system's configuration.")
                .arg(shown));
    }

    setWindowTitle(QCoreApplication::applicationName() + QCoreApplication::translate("QObject", " - Security Warning"));

    QFont font = ui->btnAlwaysAllow->font();
    font.setPointSize(font.pointSize());
    ui->btnAlwaysAllow->setFont(font);
    ui->btnAllowForSession->setFont(font);
    ui->btnDoNotAllow->setFont(font);

    // Return, Enter and Space alone refuse. The styles draw no focus on a
    // command link, and only after a key moved it: a frame of the highlight
    // colour shows, from the start, which answer the keys give.
    ui->btnDoNotAllow->setDefault(true);
    ui->btnDoNotAllow->setFocus(Qt::OtherFocusReason);
    setStyleSheet(QStringLiteral("QCommandLinkButton { border: 2px solid transparent; border-radius: 4px; }"
                                 "QCommandLinkButton:focus { border-color: palette(highlight); }"));
    fitIntoScreen(*this);
}

AddTrustedSiteDialog::~AddTrustedSiteDialog()
{
    delete ui;
}

void AddTrustedSiteDialog::on_btnAlwaysAllow_clicked()
{
    done(AlwaysAllow);
}

void AddTrustedSiteDialog::on_btnAllowForSession_clicked()
{
    done(AllowForSession);
}

void AddTrustedSiteDialog::on_btnDoNotAllow_clicked()
{
    done(DoNotAllow);
}

void AddTrustedSiteDialog::reject()
{
    done(DoNotAllow);
}

} // namespace qt
} // namespace tessal
