#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

// A throw-away self-signed server certificate for 127.0.0.1 and localhost, unknown to clients,
// made with the openssl command in a directory the test owns. For TLS tests only.
struct TestCertificates
{
    QSslCertificate server;
    QSslKey serverKey;
    QString error; // set when openssl is missing or failed

    static TestCertificates generate(const QString &directory);
};
