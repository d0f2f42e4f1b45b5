#pragma once

#include <QAbstractScrollArea>
#include <QStringList>

// A read-only list of text lines of one fixed height. Appending is constant work however long
// the list grows: only the visible lines are ever painted, and the view never scrolls by itself.
class TLineListBox : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit TLineListBox(QWidget* parent = nullptr);

    void Append(const QString& Line);
    const QStringList& Lines() const { return FLines; }

    static constexpr int ItemHeight = 12;
    // The index of the first line shown.
    int TopIndex() const;
    // How many whole lines the list shows at once.
    int VisibleCount() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateScrollRange();

    QStringList FLines;
};
