#include "entries/IniFile.h"

namespace {

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

// Only spaces and tabs: other white space, such as an ideographic space, belongs to the value.
QStringView TrimBlanks(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.sliced(begin, end - begin);
}

bool IsQuotedPair(QStringView text) {
    return text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') &&
           text.back() == text.front();
}

QString Unquote(QStringView value) {
    return (IsQuotedPair(value) ? value.sliced(1, value.size() - 2) : value).toString();
}

// A line break inside a value would end its key line there and let the rest pass for further
// lines, sections included. The format has no escape for it, so a break becomes a blank: the one
// change to a value that writing makes.
QString OneLine(QString value) {
    value.replace(u'\r', u' ').replace(u'\n', u' ');
    return value;
}

QString Quote(const QString& value) {
    const bool changedByReading =
        !value.isEmpty() &&
        (IsBlank(value.front()) || IsBlank(value.back()) || IsQuotedPair(value));
    return changedByReading ? QLatin1Char('"') + value + QLatin1Char('"') : value;
}

} // namespace

TIniFile TIniFile::Parse(QStringView Text) {
    TIniFile ini;
    // Keys go to this section; -1 before the first section and inside a repeated one.
    qsizetype current = -1;
    for (QStringView line : Text.tokenize(u'\n')) {
        if (line.endsWith(u'\r')) {
            line.chop(1);
        }
        line = TrimBlanks(line);
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            const QString name =
                TrimBlanks(close < 0 ? line.sliced(1) : line.sliced(1, close - 1)).toString();
            current = ini.Find(name) ? -1 : ini.Sections.size();
            if (current >= 0) {
                ini.Index.insert(name.toCaseFolded(), current);
                ini.Sections.append({name, {}});
            }
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (current < 0 || equals < 0) {
            continue;
        }
        ini.Sections[current].Keys.append({TrimBlanks(line.first(equals)).toString(),
                                           Unquote(TrimBlanks(line.sliced(equals + 1)))});
    }
    return ini;
}

const TIniFile::Section* TIniFile::Find(const QString& Name) const {
    const auto found = Index.constFind(Name.toCaseFolded());
    return found == Index.cend() ? nullptr : &Sections[*found];
}

bool TIniFile::HasSection(const QString& Section) const {
    return Find(Section) != nullptr;
}

std::optional<QString> TIniFile::Value(const QString& Section, const QString& Key) const {
    if (const TIniFile::Section* section = Find(Section)) {
        for (const auto& [name, value] : section->Keys) {
            if (name.compare(Key, Qt::CaseInsensitive) == 0) {
                return value;
            }
        }
    }
    return std::nullopt;
}

void TIniFile::SetValue(const QString& Section, const QString& Key, const QString& Value) {
    const QString folded = Section.toCaseFolded();
    auto found = Index.constFind(folded);
    if (found == Index.cend()) {
        found = Index.insert(folded, Sections.size());
        Sections.append({Section, {}});
    }
    auto& keys = Sections[*found].Keys;
    for (auto& [name, value] : keys) {
        if (name.compare(Key, Qt::CaseInsensitive) == 0) {
            value = Value;
            return;
        }
    }
    keys.append({Key, Value});
}

QString TIniFile::Text() const {
    QString text;
    for (const Section& section : Sections) {
        text += QLatin1Char('[') + section.Name + QLatin1String("]\r\n");
        for (const auto& [name, value] : section.Keys) {
            text += name + QLatin1Char('=') + Quote(OneLine(value)) + QLatin1String("\r\n");
        }
    }
    return text;
}
