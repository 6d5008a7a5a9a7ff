#include "app/gui/ActivityLogText.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

void insertLogBatch(QTextDocument &document, QStringList top, const QStringList &bottom,
                    int maxLines)
{
    if (!top.isEmpty()) {
        // Newest first: the last entry made goes to the very top.
        std::reverse(top.begin(), top.end());
        QString block = top.join(u'\n');
        if (!document.isEmpty())
            block += u'\n';
        QTextCursor(&document).insertText(block);
    }
    if (!bottom.isEmpty()) {
        QTextCursor cursor(&document);
        cursor.movePosition(QTextCursor::End);
        QString block = bottom.join(u'\n');
        if (!document.isEmpty())
            block.prepend(u'\n');
        cursor.insertText(block);
    }
    // The newest entries are at the top, so the oldest lines are cut at the bottom.
    if (document.blockCount() > maxLines) {
        QTextCursor cut(document.findBlockByNumber(maxLines - 1));
        cut.movePosition(QTextCursor::EndOfBlock);
        cut.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cut.removeSelectedText();
    }
}
