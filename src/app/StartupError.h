#pragma once

#include <QString>

// A failure of the start-up sequence, numbered like the classic runtime errors so users and
// old forum answers recognise them. Built by the configuration reader, the link and the capture
// file; turned into the "Open Error" report by the Station.
struct StartupError
{
    // What failed decides how a headless station exits: 78 for the configuration, 74 for files.
    enum class Kind { Configuration, Files };

    int number = 0;
    QString description;
    QString subject = QStringLiteral("online_conf.ini"); // what failed: a file or an address
    QString reason;                                      // the operating system's words, if any
    Kind kind = Kind::Configuration;

    static StartupError numbered(int number, const QString &description)
    {
        StartupError error;
        error.number = number;
        error.description = description;
        return error;
    }

    static StartupError fileNotFound() { return numbered(53, QStringLiteral("File not found")); }
    static StartupError inputPastEndOfFile() { return numbered(62, QStringLiteral("Input past end of file")); }
    static StartupError invalidArgument()
    {
        return numbered(5, QStringLiteral("Invalid procedure call or argument"));
    }
    static StartupError typeMismatch() { return numbered(13, QStringLiteral("Type mismatch")); }
    static StartupError pathFileAccess() { return numbered(75, QStringLiteral("Path/File access error")); }
    static StartupError invalidPropertyValue()
    {
        return numbered(380, QStringLiteral("Invalid property value"));
    }

    // A failure of a file other than the configuration, with the OS reason.
    static StartupError fileAccess(const QString &path, const QString &osReason)
    {
        StartupError error = pathFileAccess();
        error.subject = path;
        error.reason = osReason;
        error.kind = Kind::Files;
        return error;
    }

    int exitStatus() const { return kind == Kind::Configuration ? 78 : 74; }

    // The text of the report: "The following error occured: " CR LF "Error # n" CR LF, then
    // what failed, the description and, when known, ": " and the OS reason.
    QString reportText() const
    {
        QString text = QStringLiteral("The following error occured: \r\nError # %1\r\n%2 %3")
                           .arg(number)
                           .arg(subject, description);
        if (!reason.isEmpty())
            text += QStringLiteral(": ") + reason;
        return text;
    }
};
