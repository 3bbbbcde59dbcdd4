#pragma once

#include <QString>
#include <QStringView>

#include <algorithm>
#include <cstddef>

// The text last formatted for a key, kept per thread: used as a `thread_local`, so that a text that
// many messages of one second or one day share is formatted once per thread. The storage is plain on
// purpose: MinGW-w64 frees a thread-local's storage before it runs the object's destructor, so a
// thread-local QString crashes every thread at its exit.
template<typename Key, std::size_t capacity>
class ThreadTextCache
{
public:
    template<typename Format>
    QStringView textOf(const Key& key, Format format)
    {
        if (!filled || key != cachedKey) {
            const QString text = format();
            size = std::min(static_cast<std::size_t>(text.size()), capacity);
            std::copy_n(text.utf16(), size, characters);
            cachedKey = key;
            filled = true;
        }
        return QStringView(characters, static_cast<qsizetype>(size));
    }

private:
    Key cachedKey {};
    bool filled = false;
    std::size_t size = 0;
    char16_t characters[capacity] {};
};
