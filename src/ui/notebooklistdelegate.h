#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QStyledItemDelegate>

// Pixel sizes of a sidebar row, derived from the editor body size.
struct NotebookListMetrics
{
    int name = 0;
    int count = 0;
    int rowHeight = 0; // the same for every kind of row
};

// `bodyPixelSize` below 1 counts as 16.
NotebookListMetrics notebookListMetrics(int bodyPixelSize);

// Where paint() puts the parts of one row; kept apart from the painting so
// that what a row shows can be checked without reading pixels.
struct NotebookRowLayout
{
    QRect glyph; // 16 × 16
    int textLeft = 0;
    int textRight = 0;
    int baseline = 0; // of the name and the count
    QFont nameFont;
    QFont countFont;
    QString name; // elided to fit beside the count
    QString count; // empty when no count is drawn
    int countWidth = 0; // the count's advance and its gap, 0 without a count
};

// `kind` is a NotebookListWidget::RowKind.
NotebookRowLayout notebookRowLayout(const QRect &rect, int kind, const QString &name, int count, bool selected,
                                    int bodyPixelSize);

// Paints one NotebookListWidget row: background, selection bar, glyph, name
// and note count.
class NotebookListDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit NotebookListDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
