#pragma once

#include <QString>

// A failure of the start-up sequence, numbered like the classic runtime errors so users and
// old forum answers recognise them. Built by the configuration reader, the link and the capture
// file; turned into the "Open Error" report by the Station.
struct StartupError
{
    int number = 0;
    QString description;

    static StartupError fileNotFound() { return {53, QStringLiteral("File not found")}; }
    static StartupError inputPastEndOfFile() { return {62, QStringLiteral("Input past end of file")}; }
    static StartupError invalidArgument()
    {
        return {5, QStringLiteral("Invalid procedure call or argument")};
    }
    static StartupError typeMismatch() { return {13, QStringLiteral("Type mismatch")}; }
    static StartupError pathFileAccess() { return {75, QStringLiteral("Path/File access error")}; }
    static StartupError invalidPropertyValue()
    {
        return {380, QStringLiteral("Invalid property value")};
    }

    // The text of the report: "The following error occured: " CR LF "Error # n" CR LF
    // "online_conf.ini " description. It names the configuration file whatever failed.
    QString reportText() const
    {
        return QStringLiteral("The following error occured: \r\nError # %1\r\nonline_conf.ini %2")
            .arg(number)
            .arg(description);
    }
};
