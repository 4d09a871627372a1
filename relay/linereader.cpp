#include "linereader.h"

LineReader::LineReader(int maxLineLength)
    : m_maxLineLength(maxLineLength)
{
}

void LineReader::append(const QByteArray &data)
{
    if (m_overflowed)
        return;
    if (m_buffer.isEmpty())
        m_buffer = data; // shared, not copied: most reads end on a line feed
    else
        m_buffer.append(data);
}

bool LineReader::next(QLatin1String &line)
{
    if (m_overflowed)
        return false;
    const int end = m_buffer.indexOf('\n', m_position);
    if (end < 0) {
        keepPartialLine();
        return false;
    }
    if (end - m_position > m_maxLineLength) {
        overflow();
        return false;
    }
    line = QLatin1String(m_buffer.constData() + m_position, end - m_position);
    m_position = end + 1;
    return true;
}

QByteArray LineReader::takePartialLine()
{
    const QByteArray rest = m_buffer.mid(m_position);
    m_buffer.clear();
    m_position = 0;
    return rest;
}

void LineReader::keepPartialLine()
{
    if (m_position == m_buffer.size())
        m_buffer.clear();
    else if (m_position > 0)
        m_buffer = m_buffer.mid(m_position);
    m_position = 0;
    if (m_buffer.size() > m_maxLineLength)
        overflow();
}

void LineReader::overflow()
{
    m_overflowed = true;
    m_buffer.clear();
    m_position = 0;
}
