#pragma once
// The warning shown when the server's certificate fails verification: what
// is wrong, a way to view the certificate, and Yes or No.

#include <QDialog>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <memory>

class Ui_CertificateErrorDialog;

namespace tessal {
namespace qt {

class CertificateErrorDialog : public QDialog
{
    Q_OBJECT

public:
    CertificateErrorDialog(const QString& reasons, const QSslCertificate& certificate, const QUrl& url,
                           QWidget* parent = nullptr);
    ~CertificateErrorDialog() override;

private slots:
    void on_pushButton_clicked();

private:
    std::unique_ptr<Ui_CertificateErrorDialog> ui;
    QSslCertificate m_certificate;
    QUrl m_url;
};

} // namespace qt
} // namespace tessal
