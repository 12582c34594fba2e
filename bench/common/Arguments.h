#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>
#include <vector>

namespace ovra::bench {

// The words given to a subcommand: options (`--files 1000`), flags (`--print`)
// and plain words, in any order. An option given twice takes its last value;
// one given last, with no value after it, counts as not given.
class Arguments {
public:
    explicit Arguments(QStringList words = {});

    const QStringList& words() const { return m_words; }
    QString word(qsizetype index) const { return m_words.value(index); }
    qsizetype size() const { return m_words.size(); }

    bool has(const QString& name) const;
    QString text(const QString& name, const QString& fallback = {}) const;
    // A value that is not a number reads as 0, as Qt reads it.
    long long integer(const QString& name, long long fallback) const;
    double number(const QString& name, double fallback) const;
    bool flag(const QString& name) const { return m_words.contains(name); }

    // The first word that is none of the options (each with its value) and
    // flags named; empty when every word is known.
    QString firstUnknown(std::initializer_list<const char*> options,
                         std::initializer_list<const char*> flags = {}) const;

private:
    qsizetype valueIndex(const QString& name) const;

    QStringList m_words;
};

// One subcommand of a benchmark driver. One without a summary is started by
// another subcommand, not by a person, and the usage leaves it out.
struct Subcommand {
    const char* name;
    std::function<int(const Arguments&)> run;
    const char* summary = "";
};

// Runs the subcommand that the first word names with the words after it; with
// none, or one no subcommand has, prints the usage and answers 2.
int runSubcommand(const char* program, const std::vector<Subcommand>& subcommands,
                  QStringList words);

} // namespace ovra::bench
