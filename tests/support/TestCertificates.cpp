#include "TestCertificates.h"
#include "support/Programs.h"

#include <QDir>

TestCertificates TestCertificates::generate(const QString &directory)
{
    // Self-signed: no client trusts it unless told to.
    TestCertificates result;
    QProcess openssl;
    openssl.setWorkingDirectory(directory);
    openssl.start(QStringLiteral("openssl"),
                  QStringLiteral("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "
                                 "server.key -out server.pem -days 2 -subj /CN=localhost -addext "
                                 "subjectAltName=IP:127.0.0.1,DNS:localhost")
                      .split(u' '));
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        result.error = QStringLiteral("openssl failed: ") + openssl.errorString() +
                       QString::fromLocal8Bit(openssl.readAllStandardError());
        return result;
    }
    const QDir dir(directory);
    result.server = QSslCertificate(readFile(dir.filePath(QStringLiteral("server.pem"))));
    result.serverKey = QSslKey(readFile(dir.filePath(QStringLiteral("server.key"))), QSsl::Ec);
    if (result.server.isNull() || result.serverKey.isNull())
        result.error = QStringLiteral("openssl wrote certificates Qt cannot read");
    return result;
}
