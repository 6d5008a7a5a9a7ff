#include "TestCertificates.h"
#include "support/Programs.h"

#include <QDir>

namespace {

QString runOpenssl(const QString &directory, const QString &arguments)
{
    QProcess openssl;
    openssl.setWorkingDirectory(directory);
    openssl.start(QStringLiteral("openssl"), arguments.split(u' '));
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0)
        return QStringLiteral("openssl %1 failed: %2%3")
            .arg(arguments.section(u' ', 0, 0), openssl.errorString(),
                 QString::fromLocal8Bit(openssl.readAllStandardError()));
    return {};
}

} // namespace

TestCertificates TestCertificates::generate(const QString &directory)
{
    TestCertificates result;
    const QDir dir(directory);
    if (!writeFile(dir.filePath(QStringLiteral("server.ext")),
                   "subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n")) {
        result.error = QStringLiteral("cannot write ") + dir.filePath(QStringLiteral("server.ext"));
        return result;
    }
    // Each step is one line split at blanks, so no argument holds one.
    const QString ecKey = QStringLiteral("-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes");
    for (const QString &step :
         {QStringLiteral("req -x509 %1 -keyout ca.key -out ca.pem -days 2 -subj /CN=Halvora_test_CA").arg(ecKey),
          QStringLiteral("req %1 -keyout server.key -out server.csr -subj /CN=localhost").arg(ecKey),
          QStringLiteral("x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 "
                         "-extfile server.ext -out server.pem")}) {
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
