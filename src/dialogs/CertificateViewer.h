#pragma once
// A three-tab view of a certificate: general facts, the fields one by one,
// and the readable dump with the PEM text.

#include <QDialog>
#include <QMap>
#include <QSslCertificate>
#include <QString>

#include <memory>

class Ui_CertificateViewer;

namespace tessal {
namespace qt {

class CertificateViewer : public QDialog
{
    Q_OBJECT

public:
    CertificateViewer(const QSslCertificate& certificate, QWidget* parent = nullptr);
    explicit CertificateViewer(QWidget* parent = nullptr);
    ~CertificateViewer() override;

private slots:
    void on_certFields_itemSelectionChanged();

private:
    void init();
    void fillGeneral();
    void fillDetails();
    void fitDetails();
    void fillBase64();
    QString fieldValue(int id) const;

    std::unique_ptr<Ui_CertificateViewer> ui;
    QSslCertificate m_certificate;
    QString m_dateFormat;
    int m_rowHeight;
    QMap<int, QString> m_fieldNames;
};

} // namespace qt
} // namespace tessal
