#include "commandwords.h"

#include <algorithm>
#include <utility>

namespace {

// As the window's direction buttons: J for up and down, K for right and left.
const std::pair<const char *, const char *> directions[] = {
    {"up", "J01010\r"}, {"down", "J02010\r"}, {"right", "K01010\r"}, {"left", "K02010\r"}};
// As the window's LED1 to LED4 and ETEINDRE.
const std::pair<const char *, const char *> lights[] = {
    {"1", "E0200\r"}, {"2", "E0300\r"}, {"3", "E0400\r"}, {"4", "E0500\r"}, {"off", "E0000\r"}};

template <size_t N>
QByteArray lookUp(const std::pair<const char *, const char *> (&table)[N], const QString &word)
{
    for (const auto &[name, command] : table)
        if (word == QLatin1String(name))
            return command;
    return QByteArray();
}

} // namespace

QByteArray motorBytes(const QString &direction)
{
    return lookUp(directions, direction);
}

int lightLevelOf(const QString &word)
{
    const bool digits =
        std::all_of(word.cbegin(), word.cend(), [](QChar c) { return c >= '0' && c <= '9'; });
    // A whole number, whatever its leading zeros: 099 is 99, 0005 is 5.
    int first = 0;
    while (first < word.size() - 1 && word.at(first) == QLatin1Char('0'))
        ++first;
    return digits && !word.isEmpty() && word.size() - first <= 2 ? word.mid(first).toInt() : -1;
}

QByteArray lightBytes(const QStringList &words)
{
    if (words.size() == 2 && words.first() == QLatin1String("all")) {
        const int level = lightLevelOf(words.at(1));
        // In decimal without padding: 5 gives E015, as the window sends it.
        return level < 0 ? QByteArray() : "E01" + QByteArray::number(level) + '\r';
    }
    return words.size() == 1 ? lookUp(lights, words.first()) : QByteArray();
}
