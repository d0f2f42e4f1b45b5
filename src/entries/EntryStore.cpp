#include "entries/EntryStore.h"

#include "entries/CodePage.h"
#include "entries/EEntryStoreError.h"
#include "entries/EntryList.h"
#include "entries/IniFile.h"
#include "entries/Installation.h"
#include "entries/IntConv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <unistd.h>

namespace {

const QString EntryNameKey = QStringLiteral("entryname");
const QString AddressKey = QStringLiteral("address");
const QString PortKey = QStringLiteral("port");
const QString LocalFileKey = QStringLiteral("localfile");
const QString RemoteFileKey = QStringLiteral("remotefile");
// An option's stored value; 0 (not asked) for one missing or out of its range.
qint32 OptionValue(const TIniFile& Ini, const QString& Section, const TEntryOption& Option,
                   const QString& EntryName, QStringList* Ignored) {
    const std::optional<QString> text = Ini.Value(Section, QLatin1String(Option.Key));
    const auto value = TryStrToInt(text.value_or(QString()));
    if (value && *value >= Option.Low && *value <= Option.High) {
        return *value;
    }
    if (text && Ignored) {
        Ignored->append(QStringLiteral("entry \"%1\": %2=%3 ignored: it takes %4 to %5")
                            .arg(EntryName, QLatin1String(Option.Key), *text)
                            .arg(Option.Low)
                            .arg(Option.High));
    }
    return 0;
}

QString SectionName(int Index) {
    return QStringLiteral("entryno%1").arg(Index);
}

[[noreturn]] void CannotWrite(const QString& Path) {
    throw EEntryStoreError(QStringLiteral("%1 に書き込めません").arg(Path).toStdString());
}

// A file the program cannot read counts as foreign: it is the user's, not the program's.
TStoreContent StoreContent(const QString& Path) {
    try {
        TEntryList ignored;
        return LoadEntries(ignored, Path);
    } catch (const EEntryStoreError&) {
        return TStoreContent::Foreign;
    }
}

} // namespace

TStoreLocation::TStoreLocation(QString Path, QString Shipped)
    : Path(std::move(Path))
    , Shipped(std::move(Shipped)) {}

QString TStoreLocation::ReadPath() const {
    return ReadsWhatItSaves() ? Path : Shipped;
}

bool TStoreLocation::ReadsWhatItSaves() const {
    return Shipped.isEmpty() || QFileInfo::exists(Path);
}

namespace {

// The XDG base directory rules: a variable that is unset, empty or relative counts as unset.
bool IsAbsolute(const QString& Path) {
    return Path.startsWith(QLatin1Char('/'));
}

QString ConfigHomeOf(const TStoreEnvironment& Environment) {
    return IsAbsolute(Environment.ConfigHome) ? Environment.ConfigHome
                                              : Environment.Home + QStringLiteral("/.config");
}

QString AdministratorsList(const TStoreEnvironment& Environment) {
    QStringList dirs;
    for (const QString& dir : Environment.ConfigDirs.split(QLatin1Char(':'))) {
        if (IsAbsolute(dir)) {
            dirs.append(dir);
        }
    }
    if (dirs.isEmpty()) {
        dirs.append(QStringLiteral("/etc/xdg"));
    }
    for (const QString& dir : dirs) {
        const QString list = dir + QStringLiteral("/zanvel-tftp/entrys.txt");
        if (QFileInfo::exists(list)) {
            return list;
        }
    }
    return QString();
}

} // namespace

TStoreLocation StoreLocation(const TStoreEnvironment& Environment) {
    const QString own = ConfigHomeOf(Environment) + QStringLiteral("/zanvel-tftp/entrys.txt");
    if (Environment.Installed) {
        return TStoreLocation(own, AdministratorsList(Environment));
    }
    const QString beside = Environment.ProgramDir + QStringLiteral("/entrys.txt");
    if (Environment.ProgramDirWritable) {
        return TStoreLocation(beside);
    }
    return TStoreLocation(own, beside);
}

TStoreLocation EntryStoreLocation() {
    TStoreEnvironment environment;
    environment.ProgramDir = QCoreApplication::applicationDirPath();
    environment.Installed = RunsInstalled(environment.ProgramDir);
    // access(2) answers for the user who runs the program, and for a read-only file system.
    environment.ProgramDirWritable =
        ::access(QFile::encodeName(environment.ProgramDir).constData(), W_OK) == 0;
    environment.Home = QDir::homePath();
    environment.ConfigHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    environment.ConfigDirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    return StoreLocation(environment);
}

TStoreContent LoadEntries(TEntryList& List, const QString& Path, QStringList* Ignored) {
    QFile file(Path);
    if (!file.exists()) {
        return TStoreContent::Nothing;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        throw EEntryStoreError(QStringLiteral("%1 を読み込めません").arg(Path).toStdString());
    }
    const QByteArray bytes = file.readAll();
    const TIniFile ini = TIniFile::Parse(DecodeStoreText(bytes));
    int n = 0;
    for (;; ++n) {
        const QString section = SectionName(n);
        if (!ini.HasSection(section)) {
            break;
        }
        // A damaged section still loads with what it has, so the entries after it survive.
        auto entry = std::make_unique<TServerEntry>();
        entry->EntryName = ini.Value(section, EntryNameKey).value_or(QString());
        entry->ServerAddress = ini.Value(section, AddressKey).value_or(QString());
        if (const auto port = TryStrToInt(ini.Value(section, PortKey).value_or(QString()))) {
            entry->ServerPort = *port;
        }
        entry->LocalFile = ini.Value(section, LocalFileKey).value_or(QString());
        entry->RemoteFile = ini.Value(section, RemoteFileKey).value_or(QString());
        for (const TEntryOption& option : EntryOptions) {
            entry.get()->*option.Field =
                OptionValue(ini, section, option, entry->EntryName, Ignored);
        }
        List.Append(std::move(entry));
    }
    if (n > 0) {
        return TStoreContent::Entries;
    }
    return bytes.isEmpty() ? TStoreContent::Nothing : TStoreContent::Foreign;
}

namespace {

void Write(const QString& Path, const QByteArray& Bytes) {
    // QSaveFile writes a temporary file in the same folder, flushes it to disk and renames it.
    // Its buffered writes let a short write (a full disk) pass unnoticed, so write unbuffered and
    // count the bytes the system took.
    const bool created = !QFileInfo::exists(Path);
    QSaveFile file(Path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        CannotWrite(Path);
    }
    // Remote names may carry a device's password (config/PASSWORD): a new list is its owner's
    // alone. A list that exists keeps the mode it has, which QSaveFile carries over.
    if (created) {
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    if (file.write(Bytes) != Bytes.size()) {
        file.cancelWriting();
    }
    if (!file.commit()) {
        CannotWrite(Path);
    }
}

void Save(const TEntryList& List, const QString& Path, bool KeepEmptyStore) {
    if (List.Count() == 0) {
        const bool exists = QFile::exists(Path);
        if (exists && StoreContent(Path) == TStoreContent::Foreign) {
            return;
        }
        if (KeepEmptyStore) {
            Write(Path, QByteArray());
        } else if (exists) {
            // A store that cannot be removed is not worth a word: it keeps the last saved list.
            QFile::remove(Path);
        }
        return;
    }
    TIniFile ini;
    for (int i = 0; i < List.Count(); ++i) {
        const TServerEntry* entry = List.Get(i);
        const QString section = SectionName(i);
        ini.SetValue(section, EntryNameKey, entry->EntryName);
        ini.SetValue(section, AddressKey, entry->ServerAddress);
        ini.SetValue(section, PortKey, QString::number(entry->ServerPort));
        ini.SetValue(section, LocalFileKey, entry->LocalFile);
        ini.SetValue(section, RemoteFileKey, entry->RemoteFile);
        // Written only when set, after the five keys, so other entries stay as they were.
        for (const TEntryOption& option : EntryOptions) {
            if (entry->*option.Field > 0) {
                ini.SetValue(section, QLatin1String(option.Key),
                             QString::number(entry->*option.Field));
            }
        }
    }
    Write(Path, ini.Text().toUtf8());
}

} // namespace

void SaveEntries(const TEntryList& List, const QString& Path) {
    Save(List, Path, false);
}

void SaveEntries(const TEntryList& List, const TStoreLocation& Store) {
    const bool shipped = !Store.Shipped.isEmpty() && QFileInfo::exists(Store.Shipped);
    // The user's folder under the configuration home may not be there yet.
    if (List.Count() > 0 || shipped) {
        QDir().mkpath(QFileInfo(Store.Path).path());
    }
    Save(List, Store.Path, shipped);
}
