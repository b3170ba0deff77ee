#include "dialogs/CertificateViewer.h"

#include "dialogs/CertificateDetails.h"
#include "dialogs/ServerUrls.h"
#include "ui_CertificateViewer.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QScreen>
#include <QStyle>
#include <QTableWidgetItem>

namespace tessal {
namespace qt {

namespace {

QString trQ(const char* text)
{
    return QCoreApplication::translate("QObject", text);
}

QString firstOf(const QStringList& list)
{
    return list.isEmpty() ? QString() : list.first();
}

// Names read as they are: a look-alike one in ASCII form, nothing hidden.
QString subjectName(const QSslCertificate& certificate)
{
    return displayedCertificateName(firstOf(certificate.subjectInfo(QSslCertificate::CommonName)));
}

QString issuerName(const QSslCertificate& certificate)
{
    return displayedCertificateName(firstOf(certificate.issuerInfo(QSslCertificate::CommonName)));
}

enum Field {
    Version = 0,
    SerialNumber = 1,
    SignatureAlgorithm = 2,
    Issuer = 4,
    ValidFrom = 5,
    ValidTo = 6,
    Subject = 7,
    PublicKey = 8,
};

} // namespace

CertificateViewer::CertificateViewer(const QSslCertificate& certificate, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui_CertificateViewer>()), m_certificate(certificate)
{
    init();
    ui->setupUi(this);
    fillGeneral();
    fillDetails();
    fillBase64();
}

CertificateViewer::CertificateViewer(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui_CertificateViewer>())
{
    init();
    ui->setupUi(this);
}

CertificateViewer::~CertificateViewer() = default;

void CertificateViewer::init()
{
    m_dateFormat = QStringLiteral("MM/dd/yyyy");
    m_rowHeight = 18;
    m_fieldNames = {
        {Version, trQ(QT_TRANSLATE_NOOP("QObject", "Version"))},
        {SerialNumber, trQ(QT_TRANSLATE_NOOP("QObject", "Serial Number"))},
        {SignatureAlgorithm, trQ(QT_TRANSLATE_NOOP("QObject", "Signature Algorithm"))},
        {Issuer, trQ(QT_TRANSLATE_NOOP("QObject", "Issuer"))},
        {ValidFrom, trQ(QT_TRANSLATE_NOOP("QObject", "Valid From"))},
        {ValidTo, trQ(QT_TRANSLATE_NOOP("QObject", "Valid To"))},
        {Subject, trQ(QT_TRANSLATE_NOOP("QObject", "Subject"))},
        {PublicKey, trQ(QT_TRANSLATE_NOOP("QObject", "Public Key"))},
    };
}

void CertificateViewer::fillGeneral()
{
    ui->subjectName->setTextFormat(Qt::PlainText);
    ui->issuerName->setTextFormat(Qt::PlainText);
    ui->validity->setTextFormat(Qt::PlainText);
    ui->subjectName->setText(subjectName(m_certificate));
    ui->issuerName->setText(issuerName(m_certificate));
    ui->validity->setText(m_certificate.effectiveDate().toString(m_dateFormat) + QStringLiteral("  to  ") +
                          m_certificate.expiryDate().toString(m_dateFormat));
    QString purposes;
    for (const QString& text : extendedKeyUsageTexts(m_certificate))
        purposes += QLatin1Char('-') + text + QLatin1Char('\n');
    for (const QString& text : keyUsageTexts(m_certificate))
        purposes += QLatin1Char('-') + text + QLatin1Char('\n');
    ui->certPurpose->setPlainText(purposes);
}

QString CertificateViewer::fieldValue(int id) const
{
    switch (id) {
    case Version: return QStringLiteral("V") + QString::fromLatin1(m_certificate.version());
    case SerialNumber: return QString::fromLatin1(serialNumberText(m_certificate, true));
    case SignatureAlgorithm: return signatureAlgorithmName(m_certificate);
    case Issuer: return issuerName(m_certificate);
    case Subject: return subjectName(m_certificate);
    case ValidFrom: return m_certificate.effectiveDate().toString();
    case ValidTo: return m_certificate.expiryDate().toString();
    case PublicKey: return publicKeyDerHex(m_certificate);
    default: return {};
    }
}

void CertificateViewer::fillDetails()
{
    QTableWidget* table = ui->certFields;
    table->setColumnCount(3);
    table->setHorizontalHeaderLabels({trQ(QT_TRANSLATE_NOOP("QObject", "Id")),
                                      trQ(QT_TRANSLATE_NOOP("QObject", "Field")),
                                      trQ(QT_TRANSLATE_NOOP("QObject", "value"))});
    table->horizontalHeader()->setVisible(true);
    table->setColumnHidden(0, true);
    const int order[] = {Version, SerialNumber, SignatureAlgorithm, Issuer, Subject, ValidFrom, ValidTo, PublicKey};
    for (int id : order) {
        const int row = table->rowCount();
        table->insertRow(row);
        table->setRowHeight(row, m_rowHeight);
        auto* idItem = new QTableWidgetItem(QString::number(id));
        idItem->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        auto* nameItem = new QTableWidgetItem(m_fieldNames.value(id));
        nameItem->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        table->setItem(row, 0, idItem);
        table->setItem(row, 1, nameItem);
        table->setItem(row, 2, new QTableWidgetItem(fieldValue(id)));
    }
    fitDetails();
}

void CertificateViewer::fitDetails()
{
    // Names and values whole beside each other, every row in sight without
    // scrolling, in whatever font and language: the table and with it the
    // window take the room their content needs. The public key alone may be
    // cut at the window's edge; the box below shows it whole.
    QTableWidget* table = ui->certFields;
    QHeaderView* header = table->horizontalHeader();
    header->setStretchLastSection(true);
    table->setTextElideMode(Qt::ElideRight);
    table->setWordWrap(false);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->resizeColumnToContents(1);

    const int textMargin = 2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1);
    int valueWidth = header->sectionSizeHint(2);
    int rowsHeight = 0;
    const QAbstractItemView* view = table;
    for (int row = 0; row < table->rowCount(); ++row) {
        table->setRowHeight(row, qMax(m_rowHeight, view->sizeHintForRow(row)));
        rowsHeight += table->rowHeight(row);
        if (table->item(row, 0)->text().toInt() != PublicKey)
            valueWidth =
                qMax(valueWidth, table->fontMetrics().horizontalAdvance(table->item(row, 2)->text()) + textMargin);
    }
    const int frame = 2 * table->frameWidth();
    const int vertical = table->verticalHeader()->isVisible() ? table->verticalHeader()->sizeHint().width() : 0;
    int width = frame + vertical + table->columnWidth(1) + valueWidth +
                table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, table);
    if (const QScreen* shown = screen())
        width = qMin(width, shown->availableGeometry().width() * 4 / 5);
    table->setMinimumSize(width, frame + header->sizeHint().height() + rowsHeight);
}

void CertificateViewer::fillBase64()
{
    // The dump holds every name of the certificate (its alternative names, organisations).
    ui->editBase64->setPlainText(displayedCertificateField(m_certificate.toText(), true) + QLatin1Char('\n') +
                                 QString::fromLatin1(m_certificate.toPem()));
}

void CertificateViewer::on_certFields_itemSelectionChanged()
{
    const int row = ui->certFields->currentRow();
    const QTableWidgetItem* idItem = row >= 0 ? ui->certFields->item(row, 0) : nullptr;
    bool ok = false;
    const int id = idItem ? idItem->text().toInt(&ok) : -1;
    ui->fieldDetails->setPlainText(ok ? fieldValue(id) : QString());
}

} // namespace qt
} // namespace tessal
