#pragma once

#include <QAbstractListModel>
#include <QStringList>

// The trace lines behind the trace window's list: appending is one insertion at the end, so the
// list stays fast at hundreds of thousands of lines.
class TDebugLines : public QAbstractListModel {
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    void Append(const QString& Line);
    const QStringList& Lines() const { return FLines; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QStringList FLines;
};
