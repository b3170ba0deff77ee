// Every built-in resource path names one file: two .qrc files registering
// the same path would leave it to link order which image a dialog shows.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace {

TEST(ResourcePathsTest, EachPathIsRegisteredOnce)
{
    const QString root = QDir::cleanPath(QStringLiteral(TESSAL_TEST_DATA_DIR "/../.."));
    QMap<QString, QStringList> owners;
    for (const char* folder : {"src", "resources"}) {
        QDirIterator it(root + QLatin1Char('/') + QLatin1String(folder), {QStringLiteral("*.qrc")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            QFile qrc(file);
            ASSERT_TRUE(qrc.open(QIODevice::ReadOnly)) << file.toStdString();
            QXmlStreamReader xml(&qrc);
            QString prefix;
            while (!xml.atEnd()) {
                if (xml.readNext() != QXmlStreamReader::StartElement)
                    continue;
                if (xml.name() == QLatin1String("qresource")) {
                    prefix = xml.attributes().value(QLatin1String("prefix")).toString();
                } else if (xml.name() == QLatin1String("file")) {
                    const QString alias = xml.attributes().value(QLatin1String("alias")).toString();
                    const QString name = xml.readElementText();
                    const QString path = QDir::cleanPath(QLatin1Char('/') + prefix + QLatin1Char('/') +
                                                         (alias.isEmpty() ? name : alias));
                    owners[path] << file.mid(root.size() + 1);
                }
            }
            EXPECT_FALSE(xml.hasError()) << file.toStdString() << ": " << xml.errorString().toStdString();
        }
    }
    ASSERT_TRUE(owners.contains(QStringLiteral("/cv_warning.png")));
    for (auto it = owners.cbegin(); it != owners.cend(); ++it)
        EXPECT_EQ(it.value().size(), 1) << it.key().toStdString() << ": " << it.value().join(' ').toStdString();
}

}  // namespace
