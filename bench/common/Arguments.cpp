#include "Arguments.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace ovra::bench {

Arguments::Arguments(QStringList words)
    : m_words(std::move(words))
{
}

qsizetype Arguments::valueIndex(const QString& name) const
{
    const qsizetype at = m_words.lastIndexOf(name);
    return at >= 0 && at + 1 < m_words.size() ? at + 1 : -1;
}

bool Arguments::has(const QString& name) const
{
    return valueIndex(name) >= 0;
}

QString Arguments::text(const QString& name, const QString& fallback) const
{
    const qsizetype at = valueIndex(name);
    return at >= 0 ? m_words[at] : fallback;
}

long long Arguments::integer(const QString& name, long long fallback) const
{
    const qsizetype at = valueIndex(name);
    return at >= 0 ? m_words[at].toLongLong() : fallback;
}

double Arguments::number(const QString& name, double fallback) const
{
    const qsizetype at = valueIndex(name);
    return at >= 0 ? m_words[at].toDouble() : fallback;
}

QString Arguments::firstUnknown(std::initializer_list<const char*> options,
                                std::initializer_list<const char*> flags) const
{
    const auto named = [](std::initializer_list<const char*> names, const QString& word) {
        return std::any_of(names.begin(), names.end(),
                           [&](const char* name) { return word == QLatin1String(name); });
    };
    for (qsizetype i = 0; i < m_words.size(); ++i) {
        if (named(options, m_words[i]) && i + 1 < m_words.size())
            ++i;
        else if (!named(flags, m_words[i]))
            return m_words[i];
    }
    return {};
}

int runSubcommand(const char* program, const std::vector<Subcommand>& subcommands,
                  QStringList words)
{
    const QString name = words.isEmpty() ? QString() : words.takeFirst();
    for (const Subcommand& subcommand : subcommands) {
        if (name == QLatin1String(subcommand.name)) return subcommand.run(Arguments(words));
    }
    int width = 0;
    for (const Subcommand& subcommand : subcommands)
        width = std::max(width, int(std::strlen(subcommand.name)));
    std::fprintf(stderr, "usage: %s <subcommand> [options]\n", program);
    for (const Subcommand& subcommand : subcommands) {
        if (*subcommand.summary)
            std::fprintf(stderr, "  %-*s %s\n", width, subcommand.name, subcommand.summary);
    }
    return 2;
}

} // namespace ovra::bench
