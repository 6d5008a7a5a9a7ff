#pragma once

#include <QString>

#include <cstddef>
#include <deque>

// A list of text lines that keeps only its newest `capacity` lines, oldest first. Holds the
// raw-frame lines and the header lines of the frame intake.
class RecentLines
{
public:
    explicit RecentLines(std::size_t capacity) : m_capacity(capacity) {}

    void append(const QString &line)
    {
        m_lines.push_back(line);
        if (m_lines.size() > m_capacity)
            m_lines.pop_front();
    }
    const std::deque<QString> &lines() const { return m_lines; }
    std::size_t capacity() const { return m_capacity; }

private:
    std::size_t m_capacity;
    std::deque<QString> m_lines;
};
