#include "dialogs/CertificateErrorDialog.h"

#include "dialogs/CertificateDetails.h"
#include "dialogs/CertificateViewer.h"
#include "dialogs/ServerUrls.h"
#include "ui_CertificateErrorDialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>

static void registerCertificateImages()
{
    Q_INIT_RESOURCE(certificates);
}

namespace tessal {
namespace qt {

CertificateErrorDialog::CertificateErrorDialog(const QString& reasons, const QSslCertificate& certificate,
                                               const QUrl& url, QWidget* parent)
    : QDialog(parent, Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui(std::make_unique<Ui_CertificateErrorDialog>()),
      m_certificate(certificate),
      m_url(url)
{
    registerCertificateImages();
    ui->setupUi(this);
    setWindowTitle(QCoreApplication::applicationName() +
                   QCoreApplication::translate("QObject", " - Certificate Warning"));
    // Host names and reasons come from the server: never rich text.
    ui->labelHdr->setTextFormat(Qt::PlainText);
    ui->labelReasons->setTextFormat(Qt::PlainText);
    // A look-alike internationalised name would read like the trusted one:
    // it is shown in its ASCII form. A long one wraps.
    ui->labelHdr->setText(
        QCoreApplication::translate("QObject", "Identity of site %1 cannot be verified due to following reason(s):")
            .arg(wrappableText(displayedCertificateName(url.host(QUrl::FullyDecoded)))));
    ui->labelReasons->setText(reasons);

    // Keys pressed without looking refuse: focus and Return start on No.
    QPushButton* no = ui->buttonBox->button(QDialogButtonBox::No);
    no->setDefault(true);
    no->setFocus(Qt::OtherFocusReason);
    fitIntoScreen(*this);
}

CertificateErrorDialog::~CertificateErrorDialog() = default;

void CertificateErrorDialog::on_pushButton_clicked()
{
    auto* viewer = new CertificateViewer(m_certificate, this);
    connect(viewer, &QDialog::finished, viewer, &QObject::deleteLater);
    viewer->show();
}

} // namespace qt
} // namespace tessal
