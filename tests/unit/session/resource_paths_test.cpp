// Every built-in resource path names one file: two .qrc files registering the
// same path would leave it to link order which image a dialog shows.

#include <QDir>
#include <QDirIterator>
#include <QMap>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

TEST(ResourcePathsTest, EachPathIsRegisteredOnce)
{
    const QString root = QDir::cleanPath(QStringLiteral(TESSAL_TEST_DATA_DIR "/../.."));
    // Only flat files with prefix "/" exist here: the alias, else the file name, is the path.
    const QRegularExpression entry(QStringLiteral("<file(?:\\s+alias=\"([^\"]+)\")?\\s*>([^<]+)</file>"));
    QMap<QString, QStringList> owners;
    for (const char* folder : {"src", "resources"}) {
        for (QDirIterator it(root + "/" + folder, {"*.qrc"}, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();) {
            QFile qrc(it.next());
            ASSERT_TRUE(qrc.open(QIODevice::ReadOnly));
            for (const auto& m : QRegularExpression(entry).globalMatch(QString::fromUtf8(qrc.readAll())))
                owners[m.captured(1).isEmpty() ? m.captured(2).trimmed() : m.captured(1)] << qrc.fileName();
        }
    }
    EXPECT_TRUE(owners.contains("cv_warning.png"));
    for (auto it = owners.cbegin(); it != owners.cend(); ++it)
        EXPECT_EQ(it.value().size(), 1) << it.key().toStdString() << ": " << it.value().join(' ').toStdString();
}

} // namespace
