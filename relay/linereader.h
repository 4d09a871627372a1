#pragma once

#include <QByteArray>
#include <QLatin1String>

// Cuts a byte stream into lines ended by a line feed, without copying complete lines.
class LineReader
{
public:
    explicit LineReader(int maxLineLength);

    void append(const QByteArray &data);
    // Takes the next complete line, without its line feed. The view stays valid until the
    // next append. Returns false when no complete line is buffered or the bound was exceeded.
    bool next(QLatin1String &line);
    bool overflowed() const { return m_overflowed; }
    // Takes what follows the last complete line: the end of a stream without a line feed.
    QByteArray takePartialLine();

private:
    void keepPartialLine();
    void overflow();

    QByteArray m_buffer;
    int m_position = 0;
    const int m_maxLineLength;
    bool m_overflowed = false;
};
