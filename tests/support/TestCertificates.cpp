#include "TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

QString runOpenssl(const QString &directory, const QStringList &arguments)
{
    QProcess openssl;
    openssl.setWorkingDirectory(directory);
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0)
        return QStringLiteral("openssl %1 failed: %2%3")
            .arg(arguments.value(0), openssl.errorString(),
                 QString::fromLocal8Bit(openssl.readAllStandardError()));
    return {};
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TestCertificates TestCertificates::generate(const QString &directory)
{
    TestCertificates result;
    const QDir dir(directory);
    QFile extensions(dir.filePath(QStringLiteral("server.ext")));
    if (!extensions.open(QIODevice::WriteOnly) ||
        extensions.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                         "basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n") < 0) {
        result.error = QStringLiteral("cannot write ") + extensions.fileName();
        return result;
    }
    extensions.close();

    const QStringList ecKey{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                            QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    const QList<QStringList> steps{
        QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ecKey +
            QStringList{QStringLiteral("-keyout"), QStringLiteral("ca.key"), QStringLiteral("-out"),
                        QStringLiteral("ca.pem"), QStringLiteral("-days"), QStringLiteral("2"),
                        QStringLiteral("-subj"), QStringLiteral("/CN=Halvora test CA")},
        QStringList{QStringLiteral("req")} + ecKey +
            QStringList{QStringLiteral("-keyout"), QStringLiteral("server.key"), QStringLiteral("-out"),
                        QStringLiteral("server.csr"), QStringLiteral("-subj"), QStringLiteral("/CN=localhost")},
        QStringList{QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                    QStringLiteral("server.csr"), QStringLiteral("-CA"), QStringLiteral("ca.pem"),
                    QStringLiteral("-CAkey"), QStringLiteral("ca.key"), QStringLiteral("-CAcreateserial"),
                    QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"),
                    QStringLiteral("server.ext"), QStringLiteral("-out"), QStringLiteral("server.pem")}};
    for (const QStringList &step : steps) {
        result.error = runOpenssl(directory, step);
        if (!result.error.isEmpty())
            return result;
    }

    result.authority = QSslCertificate(readFile(dir.filePath(QStringLiteral("ca.pem"))));
    result.server = QSslCertificate(readFile(dir.filePath(QStringLiteral("server.pem"))));
    result.serverKey = QSslKey(readFile(dir.filePath(QStringLiteral("server.key"))), QSsl::Ec);
    if (result.authority.isNull() || result.server.isNull() || result.serverKey.isNull())
        result.error = QStringLiteral("openssl wrote certificates Qt cannot read");
    return result;
}
