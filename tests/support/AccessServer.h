#pragma once
// Test-side helper for the access-server stand-in (tools/access_server):
// starts it on 127.0.0.1, makes certificates with openssl, writes route
// scripts and reads the request log. Header-only; needs Qt Core.

#include <QCoreApplication>
#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QLockFile>
#include <QMap>
#include <QProcess>
#include <QSaveFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

namespace tessal {
namespace test {

// Runs openssl with args in dir; returns an empty text on success, else what went wrong.
inline QString runOpenssl(const QStringList& args, const QString& dir)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForStarted(10000))
        return QStringLiteral("openssl did not start");
    p.closeWriteChannel();
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("openssl %1 failed: %2").arg(args.join(' '), QString::fromLocal8Bit(p.readAll()));
    return {};
}

// Certificates made at test time in a temporary folder.
class TestCertificates
{
public:
    struct Blueprint {
        QString name; // file stem
        QString subject = QStringLiteral("/CN=127.0.0.1");
        QStringList extensions; // lines of the v3 section, e.g. "keyUsage = digitalSignature"
        bool issuedByCa = false; // else self-signed
        QString key = QStringLiteral("ec"); // "ec" (P-256) or "rsa" (2048 bits)
        QString serial; // decimal or 0x-hex; random when empty
        int days = 30;
        int rsaBits = 2048; // for key "rsa"
        QString digest; // signature digest ("sha1", ...); openssl's default when empty
        QString issuerCert, issuerKey; // another issuer than the test CA (issuedByCa ignored)
    };

    // Makes the test CA, a server certificate it issued, and two self-signed
    // server certificates, all for 127.0.0.1 and localhost. The set is made
    // once per machine and day and shared by all test processes (each gets
    // its own copy), since making it costs more than most tests.
    bool make()
    {
        if (!m_dir.isValid()) {
            m_error = QStringLiteral("no temporary folder");
            return false;
        }
        const QString cache = QDir::tempPath() + QStringLiteral("/tessal-test-certs-") +
                              QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
        QDir().mkpath(cache);
        {
            QLockFile lock(cache + QStringLiteral("/.lock"));
            lock.setStaleLockTime(60000);
            if (!lock.lock()) {
                m_error = QStringLiteral("cannot lock ") + cache;
                return false;
            }
            if (!QFile::exists(cache + QStringLiteral("/complete"))) {
                TestCertificates fresh;
                if (!fresh.makeStandardSet())
                    return m_error = fresh.error(), false;
                for (const QString& name : standardFiles()) {
                    QFile::remove(cache + '/' + name);
                    if (!QFile::copy(fresh.dir() + '/' + name, cache + '/' + name))
                        return m_error = QStringLiteral("cannot fill ") + cache, false;
                }
                QFile done(cache + QStringLiteral("/complete"));
                if (!done.open(QIODevice::WriteOnly))
                    return m_error = QStringLiteral("cannot fill ") + cache, false;
            }
            for (const QString& name : standardFiles()) {
                if (!QFile::copy(cache + '/' + name, m_dir.path() + '/' + name))
                    return m_error = QStringLiteral("cannot copy ") + name, false;
            }
        }
        setStandardPaths();
        return true;
    }

    static QStringList serverExtensions()
    {
        return {QStringLiteral("subjectAltName = IP:127.0.0.1, DNS:localhost"),
                QStringLiteral("extendedKeyUsage = serverAuth"), QStringLiteral("basicConstraints = CA:FALSE")};
    }

    // Another server certificate of the test CA, with a key of its own.
    bool makeServerCertificate(const QString& name, QString* certPath, QString* keyPath)
    {
        Blueprint leaf;
        leaf.name = name;
        leaf.subject = QStringLiteral("/CN=127.0.0.1/O=") + name;
        leaf.extensions = serverExtensions();
        leaf.issuedByCa = true;
        return makeCertificate(leaf, certPath, keyPath);
    }

    // Makes the standard set afresh in this object's own folder.
    bool makeStandardSet()
    {
        const QStringList server = serverExtensions();
        Blueprint ca;
        ca.name = QStringLiteral("ca");
        ca.subject = QStringLiteral("/CN=Test CA/O=Tessal Tests");
        ca.extensions = {QStringLiteral("basicConstraints = critical, CA:TRUE"),
                         QStringLiteral("keyUsage = critical, keyCertSign, cRLSign"),
                         QStringLiteral("subjectKeyIdentifier = hash")};
        if (!makeCertificate(ca, &caCert, &caKey))
            return false;
        Blueprint issued;
        issued.name = QStringLiteral("server");
        issued.subject = QStringLiteral("/CN=127.0.0.1/O=Tessal Tests");
        issued.extensions = server;
        issued.issuedByCa = true;
        if (!makeCertificate(issued, &serverCert, &serverKey))
            return false;
        Blueprint self;
        self.name = QStringLiteral("self");
        self.subject = QStringLiteral("/CN=127.0.0.1/O=Self Signed");
        self.extensions = server;
        if (!makeCertificate(self, &selfCert, &selfKey))
            return false;
        Blueprint other = self;
        other.name = QStringLiteral("self2");
        other.subject = QStringLiteral("/CN=127.0.0.1/O=Other Self Signed");
        return makeCertificate(other, &otherSelfCert, &otherSelfKey);
    }

    static QStringList standardFiles()
    {
        QStringList files;
        for (const char* stem : {"ca", "server", "self", "self2"})
            files << QString::fromLatin1(stem) + QStringLiteral(".pem")
                  << QString::fromLatin1(stem) + QStringLiteral(".key");
        return files;
    }

    void setStandardPaths()
    {
        const QString d = m_dir.path() + '/';
        caCert = d + QStringLiteral("ca.pem");
        caKey = d + QStringLiteral("ca.key");
        serverCert = d + QStringLiteral("server.pem");
        serverKey = d + QStringLiteral("server.key");
        selfCert = d + QStringLiteral("self.pem");
        selfKey = d + QStringLiteral("self.key");
        otherSelfCert = d + QStringLiteral("self2.pem");
        otherSelfKey = d + QStringLiteral("self2.key");
    }

    bool makeCertificate(const Blueprint& blueprint, QString* certPath, QString* keyPath)
    {
        const QString dir = m_dir.path();
        const QString key = blueprint.name + QStringLiteral(".key");
        const QString csr = blueprint.name + QStringLiteral(".csr");
        const QString crt = blueprint.name + QStringLiteral(".pem");
        const QString cnf = blueprint.name + QStringLiteral(".cnf");
        QFile conf(dir + '/' + cnf);
        if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            m_error = QStringLiteral("cannot write ") + conf.fileName();
            return false;
        }
        conf.write("[ext]\n");
        for (const QString& line : blueprint.extensions)
            conf.write(line.toUtf8() + '\n');
        if (blueprint.extensions.isEmpty())
            conf.write("subjectKeyIdentifier = hash\n");
        conf.close();

        QStringList keyArgs = {QStringLiteral("genpkey"), QStringLiteral("-out"), key};
        if (blueprint.key == QLatin1String("rsa"))
            keyArgs << QStringLiteral("-algorithm") << QStringLiteral("RSA") << QStringLiteral("-pkeyopt")
                    << QStringLiteral("rsa_keygen_bits:%1").arg(blueprint.rsaBits);
        else
            keyArgs << QStringLiteral("-algorithm") << QStringLiteral("EC") << QStringLiteral("-pkeyopt")
                    << QStringLiteral("ec_paramgen_curve:P-256");
        QStringList reqArgs = {QStringLiteral("req"),
                               QStringLiteral("-new"),
                               QStringLiteral("-utf8"),
                               QStringLiteral("-key"),
                               key,
                               QStringLiteral("-subj"),
                               blueprint.subject,
                               QStringLiteral("-out"),
                               csr};
        QStringList signArgs = {
            QStringLiteral("x509"),        QStringLiteral("-req"),          QStringLiteral("-in"),      csr,
            QStringLiteral("-days"),       QString::number(blueprint.days), QStringLiteral("-extfile"), cnf,
            QStringLiteral("-extensions"), QStringLiteral("ext"),           QStringLiteral("-out"),     crt};
        if (!blueprint.serial.isEmpty())
            signArgs << QStringLiteral("-set_serial") << blueprint.serial;
        if (!blueprint.digest.isEmpty())
            signArgs << QLatin1Char('-') + blueprint.digest;
        if (!blueprint.issuerCert.isEmpty())
            signArgs << QStringLiteral("-CA") << blueprint.issuerCert << QStringLiteral("-CAkey")
                     << blueprint.issuerKey;
        else if (blueprint.issuedByCa)
            signArgs << QStringLiteral("-CA") << caCert << QStringLiteral("-CAkey") << caKey;
        else
            signArgs << QStringLiteral("-signkey") << key;
        for (const QStringList& args : {keyArgs, reqArgs, signArgs}) {
            m_error = runOpenssl(args, dir);
            if (!m_error.isEmpty())
                return false;
        }
        *certPath = dir + '/' + crt;
        *keyPath = dir + '/' + key;
        return true;
    }

    QString dir() const { return m_dir.path(); }
    QString error() const { return m_error; }

    QString caCert, caKey; // the test CA
    QString serverCert, serverKey; // issued by the test CA
    QString selfCert, selfKey; // self-signed
    QString otherSelfCert, otherSelfKey; // another self-signed one, to play a changed certificate

private:
    QTemporaryDir m_dir;
    QString m_error;
};

// One running access-server stand-in.
class AccessServer
{
public:
    struct Listener {
        Listener(const QString& n, const QString& s = QStringLiteral("http"), const QString& c = {},
                 const QString& k = {}, int p = 0)
            : name(n), scheme(s), cert(c), key(k), port(p)
        {}
        QString name;
        QString scheme;
        QString cert; // https only
        QString key; // https only
        int port = 0; // 0: any free port
    };

    AccessServer() = default;
    AccessServer(const AccessServer&) = delete;
    AccessServer& operator=(const AccessServer&) = delete;
    ~AccessServer() { stop(); }

    static QString program() { return QCoreApplication::applicationDirPath() + QStringLiteral("/access_server"); }

    bool start(const QList<Listener>& listeners = {Listener(QStringLiteral("http"))})
    {
        if (!m_dir.isValid()) {
            m_error = QStringLiteral("no temporary folder");
            return false;
        }
        if (!setRoutes(QJsonArray()))
            return false;
        QStringList args = {QStringLiteral("--routes"),   routesFile(), QStringLiteral("--log"),        logFile(),
                            QStringLiteral("--sent-log"), sentFile(),   QStringLiteral("--watch-stdin")};
        for (const Listener& l : listeners) {
            QString blueprint = l.name + '=' + l.scheme;
            if (l.port)
                blueprint += QStringLiteral(",port=") + QString::number(l.port);
            if (l.scheme == QLatin1String("https"))
                blueprint += QStringLiteral(",cert=") + l.cert + QStringLiteral(",key=") + l.key;
            args << QStringLiteral("--listen") << blueprint;
        }
        m_process.setProgram(program());
        m_process.setArguments(args);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        if (!m_process.waitForStarted(10000)) {
            m_error = QStringLiteral("cannot start ") + program() + QStringLiteral(": ") + m_process.errorString();
            return false;
        }
        QDeadlineTimer deadline(15000);
        while (!m_process.canReadLine()) {
            if (deadline.hasExpired() || m_process.state() != QProcess::Running ||
                !m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
                if (!m_process.canReadLine()) {
                    m_error = QStringLiteral("access_server did not come up: ") +
                              QString::fromLocal8Bit(m_process.readAllStandardError());
                    stop();
                    return false;
                }
            }
        }
        const QJsonObject ports = QJsonDocument::fromJson(m_process.readLine()).object();
        for (auto it = ports.begin(); it != ports.end(); ++it)
            m_ports.insert(it.key(), it.value().toInt());
        for (const Listener& l : listeners)
            m_schemes.insert(l.name, l.scheme);
        return true;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000)) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000)) {
                m_process.kill();
                m_process.waitForFinished(3000);
            }
        }
    }

    int port(const QString& name = QStringLiteral("http")) const { return m_ports.value(name); }

    // scheme://127.0.0.1:port followed by pathAndQuery (which begins with "/").
    QUrl url(const QString& pathAndQuery = QStringLiteral("/"), const QString& name = QStringLiteral("http")) const
    {
        return QUrl(QStringLiteral("%1://127.0.0.1:%2%3")
                        .arg(m_schemes.value(name, QStringLiteral("http")))
                        .arg(port(name))
                        .arg(pathAndQuery));
    }

    // Replaces the route script (atomically, so the server never reads half of it).
    bool setRoutes(const QJsonArray& routes)
    {
        QSaveFile f(routesFile());
        if (!f.open(QIODevice::WriteOnly)) {
            m_error = QStringLiteral("cannot write ") + routesFile();
            return false;
        }
        f.write(QJsonDocument(routes).toJson(QJsonDocument::Compact));
        return f.commit();
    }

    QList<QJsonObject> requests() const { return readLines(logFile()); }
    QList<QJsonObject> answers() const { return readLines(sentFile()); }

    static QList<QJsonObject> readLines(const QString& file)
    {
        QList<QJsonObject> out;
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return out;
        while (!f.atEnd()) {
            const QByteArray line = f.readLine().trimmed();
            if (!line.isEmpty())
                out << QJsonDocument::fromJson(line).object();
        }
        return out;
    }

    // Waits (without an event loop) until the log holds at least n requests.
    bool waitForRequests(int n, int ms = 5000) const
    {
        QDeadlineTimer deadline(ms);
        while (requests().size() < n) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(10);
        }
        return true;
    }

    void clearLog()
    {
        QFile::resize(logFile(), 0);
        QFile::resize(sentFile(), 0);
    }

    QString dir() const { return m_dir.path(); }
    QString routesFile() const { return m_dir.path() + QStringLiteral("/routes.json"); }
    QString logFile() const { return m_dir.path() + QStringLiteral("/requests.jsonl"); }
    QString sentFile() const { return m_dir.path() + QStringLiteral("/sent.jsonl"); }
    QString error() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QMap<QString, int> m_ports;
    QMap<QString, QString> m_schemes;
    QString m_error;
};

} // namespace test
} // namespace tessal
