#include "SettingsStore.h"

#include "AtomicSave.h"
#include "PathsSaidOnce.h"
#include "XdgPaths.h"

#include <QDir>
#include <QFileInfo>

#include <mutex>
#include <utility>

namespace ovra {
namespace {

// How the file form spells a value that is none, an empty list among them.
constexpr QByteArrayView kNoValue = "@Invalid()";

// Saves read the file, change their keys and write it back: two stores of one
// file, each with its own writer, would otherwise write over each other's keys.
std::mutex& savingSettings()
{
    static std::mutex saving;
    return saving;
}

// Settings files a save was refused for, as too large to be read again.
PathsSaidOnce& refusedFiles()
{
    static PathsSaidOnce files;
    return files;
}

// A save never writes a file the next read refuses: from then on that file
// would be set aside at every start, and every setting with it. The file on
// the disk stays as it was; the values hold in memory for this run, and a later
// save that fits (a shorter value) writes them.
bool fitsTheBound(const QString& path, const QByteArray& bytes)
{
    if (bytes.size() <= IniFile::kLargestFile) return true;
    if (refusedFiles().firstTime(path))
        qWarning("Did not save %s: %lld bytes, more than the %lld a settings file may hold; the "
                 "previous file is kept",
                 qUtf8Printable(path), qlonglong(bytes.size()), qlonglong(IniFile::kLargestFile));
    return false;
}

} // namespace

// The values this store wrote and no save has put in the file yet, in the
// order they were first written (so new keys join the file in that order).
struct SettingsStore::Unsaved {
    QString filePath;
    std::mutex mutex;
    QList<std::pair<QString, QByteArray>> values;
    // Something other than a file stands at the path: nothing is saved there.
    bool isLeftAlone = false;

    void set(const QString& key, const QByteArray& value)
    {
        std::lock_guard lock(mutex);
        for (auto& [name, raw] : values) {
            if (name != key) continue;
            raw = value;
            return;
        }
        values.append({key, value});
    }

    // Runs on the writer's pool thread: the file is read again there, so what
    // another program wrote into it meanwhile stays.
    void save()
    {
        QList<std::pair<QString, QByteArray>> taken;
        {
            std::lock_guard lock(mutex);
            taken = values;
        }
        if (taken.isEmpty()) return;
        std::unique_lock saving(savingSettings());
        if (isLeftAlone) return;
        OwnFile::Status status = OwnFile::Status::absent;
        IniFile file = IniFile::read(filePath, &status);
        if (!mayReplace(status)) return;
        for (const auto& [key, raw] : taken)
            file.setRaw(key, raw);
        const QByteArray bytes = file.encoded();
        if (!fitsTheBound(filePath, bytes)) return;
        QDir().mkpath(QFileInfo(filePath).absolutePath());
        if (!AtomicSave::save(filePath, bytes, OwnFile::Links::followed)) return;
        refusedFiles().wentWell(filePath);
        saving.unlock();
        // A value written again while this save ran waits for the next one.
        std::lock_guard lock(mutex);
        values.removeIf([&](const auto& value) { return taken.contains(value); });
    }

    // A file that could not be read (too large to be ours, unreadable) may
    // still hold everything the user set: it is set aside, never saved over.
    // What is no file at all (a FIFO, a device, a link to /dev/null, a folder)
    // holds nothing to keep and was put there on purpose: it stays, and the
    // settings live in memory alone for this run.
    bool mayReplace(OwnFile::Status status)
    {
        switch (status) {
        case OwnFile::Status::open:
        case OwnFile::Status::absent: return true;
        case OwnFile::Status::notRegular: isLeftAlone = true; return false;
        case OwnFile::Status::tooLarge:
        case OwnFile::Status::unreadable:
            return AtomicSave::setAside(AtomicSave::target(filePath, OwnFile::Links::followed));
        }
        return false;
    }
};

SettingsStore::SettingsStore()
    : SettingsStore(appFilePath())
{
    // A save cut short (a kill, a power cut) leaves its temporary beside the
    // file, where nothing else would ever remove it.
    AtomicSave::removeStaleTemporariesOf(m_filePath, OwnFile::Links::followed);
}

SettingsStore::SettingsStore(const QString& filePath)
    : SettingsStore(filePath, IniFile())
{
    OwnFile::Status status = OwnFile::Status::absent;
    m_file = IniFile::read(filePath, &status);
    // What stands at the path was said once, as it was read.
    if (m_unsaved) m_unsaved->isLeftAlone = status == OwnFile::Status::notRegular;
}

SettingsStore::SettingsStore(QString filePath, IniFile file)
    : m_filePath(std::move(filePath))
    , m_file(std::move(file))
{
    if (m_filePath.isEmpty()) return;
    m_unsaved = std::make_shared<Unsaved>();
    m_unsaved->filePath = m_filePath;
    m_writer = std::make_unique<CoalescingWriter>(background::Pool::files);
}

SettingsStore SettingsStore::inMemory()
{
    return SettingsStore(QString(), IniFile());
}

SettingsStore::SettingsStore(SettingsStore&&) noexcept = default;

SettingsStore& SettingsStore::operator=(SettingsStore&& other) noexcept
{
    if (this == &other) return *this;
    flush();
    m_filePath = std::move(other.m_filePath);
    m_file = std::move(other.m_file);
    m_unsaved = std::move(other.m_unsaved);
    m_writer = std::move(other.m_writer);
    return *this;
}

SettingsStore::~SettingsStore()
{
    flush();
}

void SettingsStore::flush() const
{
    if (m_writer) m_writer->flush();
}

QString SettingsStore::appFilePath()
{
    return xdg::appConfigDir() + QStringLiteral("/Ovra.conf");
}

QString SettingsStore::filePath() const
{
    return m_filePath;
}

bool SettingsStore::contains(QAnyStringView key) const
{
    return m_file.raw(key.toString()).has_value();
}

std::optional<QString> SettingsStore::text(QAnyStringView key) const
{
    const auto raw = m_file.raw(key.toString());
    if (!raw) return std::nullopt;
    const IniValue value = IniValue::decode(*raw);
    if (value.isList) return std::nullopt;
    return value.elements.value(0);
}

std::optional<QStringList> SettingsStore::textList(QAnyStringView key) const
{
    const auto raw = m_file.raw(key.toString());
    if (!raw) return std::nullopt;
    const IniValue value = IniValue::decode(*raw);
    // The INI form cannot tell a one-element list from a single text, and
    // writes an empty list as no value; a single value of any other type is not
    // a list of texts.
    if (!value.isList) {
        if (const auto text = value.elements.value(0)) return QStringList{*text};
        if (raw->trimmed() == kNoValue) return QStringList();
        return std::nullopt;
    }
    // A list with a foreign element in it (a date, raw bytes, an unreadable
    // value) keeps its text elements rather than losing them all.
    QStringList texts;
    for (const std::optional<QString>& element : value.elements)
        if (element) texts.append(*element);
    return texts;
}

std::optional<bool> SettingsStore::flag(QAnyStringView key) const
{
    const std::optional<QString> stored = text(key);
    if (stored == QLatin1StringView("true")) return true;
    if (stored == QLatin1StringView("false")) return false;
    return std::nullopt;
}

void SettingsStore::setText(QAnyStringView key, const QString& value)
{
    write(key, IniValue::encode(value));
}

void SettingsStore::setTextList(QAnyStringView key, const QStringList& value)
{
    write(key, IniValue::encode(value));
}

void SettingsStore::setFlag(QAnyStringView key, bool value)
{
    write(key, value ? QByteArrayLiteral("true") : QByteArrayLiteral("false"));
}

void SettingsStore::write(QAnyStringView key, const QByteArray& value)
{
    const QString name = key.toString();
    m_file.setRaw(name, value);
    if (!m_writer) return;
    m_unsaved->set(name, value);
    m_writer->save([unsaved = m_unsaved] { unsaved->save(); });
}

} // namespace ovra
