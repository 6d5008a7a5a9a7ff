#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

// The bytes of online_conf.ini as text, and the key=value shape of one of its lines. Shared by
// the reader (Configuration) and the writer (ConfigurationWriter) so both see a line alike.

// Larger files are refused unread: the file holds seven short keys, so this bounds memory only.
inline constexpr qint64 MaxConfigurationFileSize = 64 * 1024;

enum class TextEncoding { Utf8, Latin1 };

struct ConfigurationText
{
    QString text;
    TextEncoding encoding = TextEncoding::Utf8;
    bool byteOrderMark = false; // a UTF-8 byte-order mark led the bytes; the writer keeps it
};

// UTF-8 when the bytes are valid UTF-8, otherwise Latin-1 (what older files were written in);
// a leading UTF-8 byte-order mark is dropped from the text either way.
ConfigurationText decodeConfigurationText(const QByteArray &bytes);

// The reverse of decodeConfigurationText. A Latin-1 file that now holds a character beyond
// Latin-1 is written as UTF-8, so no character is lost.
QByteArray encodeConfigurationText(const ConfigurationText &text);

// Key and value of a line, trimmed of blanks (spaces and tabs), as positions into the line.
struct KeyValueSpan
{
    qsizetype keyStart = 0;
    qsizetype keyEnd = 0;
    qsizetype valueStart = 0;
    qsizetype valueEnd = 0;
};

enum class LineKind { Skipped, KeyValue, Malformed };

// Empty lines and lines whose very first character is "#" are skipped; a line without "="
// is malformed. The first "=" splits key from value.
LineKind classifyLine(QStringView line, KeyValueSpan *span = nullptr);

// Calls visit(line, lineEnd) for each line of text, where line excludes its CR LF or LF end
// and lineEnd is that end (empty for a last line without one).
template <typename Visit>
void forEachLine(QStringView text, Visit &&visit)
{
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        const qsizetype next = end < 0 ? text.size() : end + 1;
        if (end < 0)
            end = text.size();
        qsizetype lineEnd = end;
        if (lineEnd > start && text[lineEnd - 1] == u'\r')
            --lineEnd;
        if (!visit(text.mid(start, lineEnd - start), text.mid(lineEnd, next - lineEnd)))
            return;
        start = next;
    }
}
