#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

// An INI document read and written the way Windows' private-profile routines do it: section and
// key names match in any letter case, blanks around a value are not part of it, and one pair of
// matching quotation marks around a value is removed. Sections and keys keep the order in which
// they were read or set; the first of two equal names wins.
class TIniFile {
public:
    // Reads text whose lines end in LF or CR LF.
    static TIniFile Parse(QStringView Text);

    bool HasSection(const QString& Section) const;
    std::optional<QString> Value(const QString& Section, const QString& Key) const;
    // Sets a value, adding the section and the key at the end when they are new.
    void SetValue(const QString& Section, const QString& Key, const QString& Value);

    // The document with CR LF line ends; values that reading would change are quoted, and a line
    // break in a value is written as a blank.
    QString Text() const;

private:
    struct Section {
        QString Name;
        QList<std::pair<QString, QString>> Keys;
    };

    const Section* Find(const QString& Name) const;

    QList<Section> Sections;
    QHash<QString, qsizetype> Index; // case-folded name to position in Sections
};
