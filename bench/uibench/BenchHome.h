#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace ovra::bench {

// Points HOME and every XDG folder into a scratch folder (or HOME at `home`
// when given), so a benchmark never reads or writes the user's own files,
// settings or thumbnail cache.
class BenchHome {
public:
    explicit BenchHome(const QString& home = {});
    QString home() const { return m_home; }
    QString scratch() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_home;
};

// A picture that looks like something: a gradient sky, a horizon and a few
// discs, different for every seed.
void writePicture(const QString& path, int seed, int width = 640, int height = 420);

} // namespace ovra::bench
