// The flag-file reader and the machine identity.
#include "foundation/String.h"
#include "session/HttpNetworkManager.h"
#include "shell/MachineIdentity.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using tessal::qt::checkFlag;
using tessal::qt::readMachineIdentity;

namespace {

class FlagFileTest : public testing::Test
{
protected:
    bool flagWith(const QByteArray& text)
    {
        QFile f(dir.filePath("tessal_epi.conf"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        return checkFlag(CString(dir.filePath("tessal_epi.conf").toUtf8().constData()), CString("ALLOW_HTTP_SERVERS"));
    }
    QTemporaryDir dir;
};

TEST_F(FlagFileTest, Lines)
{
    EXPECT_FALSE(checkFlag(CString(dir.filePath("missing").toUtf8().constData()), CString("ALLOW_HTTP_SERVERS")));
    EXPECT_TRUE(flagWith("ALLOW_HTTP_SERVERS = YES\n"));
    EXPECT_TRUE(flagWith("# comment\nOTHER=no\n  ALLOW_HTTP_SERVERS=yes\r\n"));
    EXPECT_FALSE(flagWith("allow_http_servers=yes\n"));
    EXPECT_FALSE(flagWith("ALLOW_HTTP_SERVERS=no\nALLOW_HTTP_SERVERS=yes\n"));
    EXPECT_FALSE(flagWith("ALLOW_HTTP_SERVERS=yess\n"));
    EXPECT_FALSE(flagWith("=yes\nALLOW_HTTP_SERVERS\n"));
    EXPECT_FALSE(flagWith(""));
}

TEST(MachineIdentity, ReadsWhatExistsInOrder)
{
    QTemporaryDir root;
    EXPECT_EQ(readMachineIdentity(root.path()), "");
    auto put = [&](const QString& rel, const QByteArray& text) {
        QDir().mkpath(QFileInfo(root.filePath(rel)).path());
        QFile f(root.filePath(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    put("proc/sys/kernel/random/boot_id", "boot-1234\n");
    EXPECT_EQ(readMachineIdentity(root.path()), "boot-1234\n");
    put("var/lib/dbus/machine-id", "mid\n");
    put("sys/class/dmi/id/product_uuid", "uuid\n");
    EXPECT_EQ(readMachineIdentity(root.path()), "boot-1234\nuuid\nmid\n");
}

} // namespace
