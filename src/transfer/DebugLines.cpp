#include "DebugLines.h"

void TDebugLines::Append(const QString& Line) {
    const int row = int(FLines.size());
    beginInsertRows(QModelIndex(), row, row);
    FLines.append(Line);
    endInsertRows();
}

int TDebugLines::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FLines.size());
}

QVariant TDebugLines::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= FLines.size()) {
        return {};
    }
    return FLines.at(index.row());
}
